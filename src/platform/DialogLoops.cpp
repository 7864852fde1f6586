#include "platform/DialogLoops.h"

#include "platform/WebEngineBrowser.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <vector>

namespace nimbra {

namespace {

struct SLoop {
    const CDialogLoopScope* scope;
    QPointer<QWidget> owner;
};

// The loops running now, innermost last.
std::vector<SLoop>& Loops()
{
    static std::vector<SLoop> loops;
    return loops;
}

// `widget` is `inner` or holds it, across window boundaries.
bool Holds(const QWidget* widget, const QWidget* inner)
{
    for (; inner; inner = inner->parentWidget())
        if (inner == widget)
            return true;
    return false;
}

void Cancel(QWidget* window)
{
    if (auto* dialog = qobject_cast<QDialog*>(window))
        dialog->reject();
    else
        window->close();
}

} // namespace

bool DialogLoopRunning()
{
    return QApplication::activeModalWidget() || QApplication::activePopupWidget() || !Loops().empty();
}

void EndDialogLoops()
{
    CWebEngineBrowser::RefusePageDialogs(true);
    while (QWidget* popup = QApplication::activePopupWidget()) {
        if (!popup->close())
            break;
    }
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (window->isVisible() && window->windowModality() != Qt::NonModal)
            Cancel(window);
    }
}

void AllowPageDialogs()
{
    CWebEngineBrowser::RefusePageDialogs(false);
}

CDialogLoopScope::CDialogLoopScope(QWidget* owner)
{
    Loops().push_back({this, owner});
}

CDialogLoopScope::~CDialogLoopScope()
{
    auto& loops = Loops();
    loops.erase(std::find_if(loops.begin(), loops.end(), [this](const SLoop& loop) { return loop.scope == this; }));
}

bool DialogLoopRunningFor(const QWidget* widget)
{
    const auto& loops = Loops();
    return std::any_of(loops.begin(), loops.end(), [widget](const SLoop& loop) { return Holds(widget, loop.owner); });
}

bool EndDialogLoopsFor(QWidget* widget)
{
    // A cancelled dialog's loop returns once control goes back to it.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        if (window->isVisible() && Holds(widget, window->parentWidget()))
            Cancel(window);
    return DialogLoopRunningFor(widget);
}

} // namespace nimbra
