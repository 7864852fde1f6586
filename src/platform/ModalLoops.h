#pragma once

class QWidget;

namespace nimbra {

// True while a modal dialog or a popup menu is open: each runs an event
// loop of its own, and a window closed under it would delete what that
// loop still serves.
bool ModalLoopRunning();

// Ends those loops as a cancel would: modal dialogs rejected, other modal
// windows and popups closed. Their loops return once control goes back to
// them.
void EndModalLoops();

// Ends one window as a cancel would: a dialog is rejected, another window
// closed.
void CancelWindow(QWidget* window);

} // namespace nimbra
