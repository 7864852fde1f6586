#pragma once

#include <functional>

class QWidget;

namespace nimbra {

// Qt drops the window manager's close request for a window that a modal
// dialog blocks (a page's alert, a file dialog). On X11 this catches that
// request for `window` and calls `onClose` instead, which may end the
// dialog first. Elsewhere it does nothing.
void OnBlockedWindowManagerClose(QWidget* window, std::function<void()> onClose);

} // namespace nimbra
