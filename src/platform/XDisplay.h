#pragma once

#include <string>

namespace nimbra {

// Whether Qt will start its xcb platform for a program run with `argv`
// (none: by the environment alone): a display is named (DISPLAY or
// "-display"), no "-platform" argument chooses a platform, and
// QT_QPA_PLATFORM names xcb, or is unset outside a Wayland session.
bool RunsOnXDisplay(int argc = 0, char** argv = nullptr);

// Connects to the X display that Qt will use ("-display NAME" or DISPLAY),
// trying again for a while when the server is busy or just resetting.
// Empty when a connection could be made, else which display could not be
// reached and why (in Japanese). The connection stays open until the
// application object is built: a server that its last client left resets,
// and refuses connections meanwhile, Qt's among them.
std::string ReachXDisplay(int argc, char** argv);

} // namespace nimbra
