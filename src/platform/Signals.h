#pragma once

#include <functional>

namespace nimbra {

// Runs `onSignal` on the user-interface thread when the process gets SIGTERM
// or SIGINT, so that the desktop session's end closes the window the normal
// way. A second signal while the first is handled ends the process at once.
void OnTerminationSignal(std::function<void()> onSignal);

} // namespace nimbra
