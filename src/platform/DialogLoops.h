#pragma once

namespace nimbra {

// True while a modal dialog, a popup menu or a page's own dialog (alert,
// confirm, prompt, file chooser) is open: each runs an event loop of its own,
// and a window closed under it would delete what that loop still serves.
bool DialogLoopRunning();

// Ends those loops as a cancel would: page dialogs are answered and refused
// from now on, modal dialogs rejected, popups closed. Their loops return
// once control goes back to them.
void EndDialogLoops();

// Lets pages show their dialogs again (a new main window).
void AllowPageDialogs();

} // namespace nimbra
