#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

namespace nimbra {

// Shows a message box captioned with the application's title. Tests put a
// handler in place of the window, which then records the text instead;
// the setter returns the handler it replaced.
void ShowMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon = QMessageBox::Information);
// Asks a yes-or-no question; true for yes. With a handler in place the
// handler gets the text and the answer is yes.
bool AskYesNo(QWidget* parent, const QString& text);
std::function<void(const QString&)> SetMessageHandler(std::function<void(const QString&)> handler);

} // namespace nimbra
