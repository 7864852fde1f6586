#include "platform/DialogLoops.h"

#include "platform/ModalLoops.h"
#include "platform/WebEngineBrowser.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <utility>
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

struct SWaiter {
    QPointer<QWidget> widget;
    std::function<void()> then;
};

// What waits for the loops of a widget to return.
std::vector<SWaiter>& Waiters()
{
    static std::vector<SWaiter> waiters;
    return waiters;
}

// `widget` is `inner` or holds it, across window boundaries.
bool Holds(const QWidget* widget, const QWidget* inner)
{
    for (; inner; inner = inner->parentWidget())
        if (inner == widget)
            return true;
    return false;
}

} // namespace

bool DialogLoopRunning()
{
    return ModalLoopRunning() || !Loops().empty();
}

void EndDialogLoops()
{
    CWebEngineBrowser::RefusePageDialogs(true);
    EndModalLoops();
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
    // The loop returns into code of the widget's own (the engine's call of a
    // page dialog, a download's question): what waits runs after it.
    auto& waiters = Waiters();
    for (auto it = waiters.begin(); it != waiters.end();) {
        if (it->widget && DialogLoopRunningFor(it->widget)) {
            ++it;
            continue;
        }
        if (it->widget)
            QTimer::singleShot(0, it->widget, std::move(it->then));
        it = waiters.erase(it);
    }
}

bool DialogLoopRunningFor(const QWidget* widget)
{
    const auto& loops = Loops();
    return std::any_of(loops.begin(), loops.end(), [widget](const SLoop& loop) { return Holds(widget, loop.owner); });
}

bool EndDialogLoopsFor(QWidget* widget, std::function<void()> then)
{
    // A cancelled dialog's loop returns once control goes back to it.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        if (window->isVisible() && Holds(widget, window->parentWidget()))
            CancelWindow(window);
    if (!DialogLoopRunningFor(widget))
        return false;
    Waiters().push_back({widget, std::move(then)});
    return true;
}

} // namespace nimbra
