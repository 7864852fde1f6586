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
// Shows a message box that does not wait: it stays until the user closes
// it while everything else goes on. Tests' handler gets the text as above.
void ShowNotice(QWidget* parent, const QString& text, QMessageBox::Icon icon = QMessageBox::Information);
// Asks a yes-or-no question; true for yes. With a handler in place the
// handler gets the text and the answer is yes.
bool AskYesNo(QWidget* parent, const QString& text);
// Asks with OK and Cancel; true for OK. With a handler in place as above.
bool AskOkCancel(QWidget* parent, const QString& text, QMessageBox::Icon icon = QMessageBox::Question);
std::function<void(const QString&)> SetMessageHandler(std::function<void(const QString&)> handler);
// Tests answer questions through this handler (it gets the text and gives
// the answer) instead of the message handler's yes.
std::function<bool(const QString&)> SetAnswerHandler(std::function<bool(const QString&)> handler);

} // namespace nimbra
