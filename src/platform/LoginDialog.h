#pragma once

#include <QString>

class QWidget;

namespace nimbra {

// Asks for a user name and password in a modal dialog titled `title`, under
// `prompt` (plain text); `user` and `password` hold the starting values and
// get the answer. False when the user cancels.
bool AskLogin(QWidget* parent, const QString& title, const QString& prompt, QString& user, QString& password);

} // namespace nimbra
