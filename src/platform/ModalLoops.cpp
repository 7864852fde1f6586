#include "platform/ModalLoops.h"

#include <QApplication>
#include <QDialog>
#include <QWidget>

namespace nimbra {

bool ModalLoopRunning()
{
    return QApplication::activeModalWidget() || QApplication::activePopupWidget();
}

void EndModalLoops()
{
    while (QWidget* popup = QApplication::activePopupWidget()) {
        if (!popup->close())
            break;
    }
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (window->isVisible() && window->windowModality() != Qt::NonModal)
            CancelWindow(window);
    }
}

void CancelWindow(QWidget* window)
{
    if (auto* dialog = qobject_cast<QDialog*>(window))
        dialog->reject();
    else
        window->close();
}

} // namespace nimbra
