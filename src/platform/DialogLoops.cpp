#include "platform/DialogLoops.h"

#include "platform/WebEngineBrowser.h"

#include <QApplication>
#include <QDialog>
#include <QWidget>

namespace nimbra {

bool DialogLoopRunning()
{
    return QApplication::activeModalWidget() || QApplication::activePopupWidget()
           || CWebEngineBrowser::OpenPageDialogs() > 0;
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
        if (!window->isVisible() || window->windowModality() == Qt::NonModal)
            continue;
        if (auto* dialog = qobject_cast<QDialog*>(window))
            dialog->reject();
        else
            window->close();
    }
}

void AllowPageDialogs()
{
    CWebEngineBrowser::RefusePageDialogs(false);
}

} // namespace nimbra
