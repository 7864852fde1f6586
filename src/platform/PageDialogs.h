#pragma once

#include <QString>

class QUrl;
class QWidget;

namespace nimbra {

// The dialogs that pages raise through alert(), confirm() and prompt(),
// shown by the browser itself. Alerts and confirmations are the page's
// warnings: while they are to be closed automatically, an alert shows no
// window and a confirmation answers Cancel, except the question before
// leaving a page, which answers "leave" so that the user's own navigation
// goes on. Prompts always show. Script errors reach only the page's
// console and open no window.
void SetCloseWarningDialogs(bool on);
bool CloseWarningDialogs();
// Cancels every alert and confirmation still open (a leave-page question
// answers "leave"); how many there were.
int RejectWarningDialogs();
// Alerts and confirmations open now.
int OpenWarningDialogs();

void ShowPageAlert(QWidget* parent, const QUrl& origin, const QString& text);
bool AskPageConfirm(QWidget* parent, const QUrl& origin, const QString& text);
bool AskPagePrompt(QWidget* parent, const QUrl& origin, const QString& text, const QString& value, QString* result);

// The engine asks before a page is left with this text.
bool IsLeavePageQuestion(const QString& text);

} // namespace nimbra
