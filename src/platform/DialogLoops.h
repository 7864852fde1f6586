#pragma once

#include <functional>

class QWidget;

namespace nimbra {

// True while a modal dialog, a popup menu or a dialog run for a tab (a
// page's alert, confirm, prompt or file chooser, a login, a save question)
// is open: each runs an event loop of its own, and a window closed under it
// would delete what that loop still serves.
bool DialogLoopRunning();

// Ends those loops as a cancel would: page dialogs are answered and refused
// from now on, modal dialogs rejected, popups closed. Their loops return
// once control goes back to them.
void EndDialogLoops();

// Lets pages show their dialogs again (a new main window).
void AllowPageDialogs();

// Marks a dialog loop that runs for `owner` (a tab's widget) while this
// object lives. The dialog's parent is `owner` or a widget inside it.
class CDialogLoopScope {
public:
    explicit CDialogLoopScope(QWidget* owner);
    ~CDialogLoopScope();
    CDialogLoopScope(const CDialogLoopScope&) = delete;
    CDialogLoopScope& operator=(const CDialogLoopScope&) = delete;
};

// True while a loop marked for `widget`, or for a widget inside it, runs.
bool DialogLoopRunningFor(const QWidget* widget);

// Ends the dialogs shown for `widget` (windows whose parent is `widget` or
// a widget inside it) as a cancel would. True while their loops have not
// returned yet: `widget` must outlive them, so whoever destroys it waits,
// and `then` is called once the last of them has returned (unless `widget`
// has gone meanwhile).
bool EndDialogLoopsFor(QWidget* widget, std::function<void()> then);

} // namespace nimbra
