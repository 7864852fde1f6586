#include "tools/ProxyAuthDlg.h"

#include <QApplication>
#include <QAuthenticator>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <map>
#include <utility>

namespace nimbra {

namespace {

bool AskInDialog(QWidget* parent, const QString& proxyHost, SProxyCredentials& credentials)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("プロキシの認証"));
    auto* layout = new QFormLayout(&dialog);
    auto* prompt = new QLabel(QStringLiteral("プロキシ %1 がユーザー名とパスワードを要求しています。").arg(proxyHost),
                              &dialog);
    prompt->setTextFormat(Qt::PlainText);
    prompt->setWordWrap(true);
    auto* user = new QLineEdit(credentials.user, &dialog);
    auto* password = new QLineEdit(credentials.password, &dialog);
    password->setEchoMode(QLineEdit::Password);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addRow(prompt);
    layout->addRow(QStringLiteral("ユーザー名(&U):"), user);
    layout->addRow(QStringLiteral("パスワード(&P):"), password);
    layout->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    credentials = {user->text(), password->text()};
    return true;
}

ProxyCredentialsPrompt& Prompt()
{
    static ProxyCredentialsPrompt prompt = AskInDialog;
    return prompt;
}

} // namespace

ProxyCredentialsPrompt SetProxyCredentialsPrompt(ProxyCredentialsPrompt prompt)
{
    return std::exchange(Prompt(), prompt ? std::move(prompt) : ProxyCredentialsPrompt(AskInDialog));
}

void AnswerProxyAuthentication(const QString& proxyHost, QAuthenticator* authenticator)
{
    static std::map<QString, SProxyCredentials> session;
    SProxyCredentials credentials = session[proxyHost];
    if (!Prompt()(QApplication::activeWindow(), proxyHost, credentials))
        return;
    session[proxyHost] = credentials;
    authenticator->setUser(credentials.user);
    authenticator->setPassword(credentials.password);
}

} // namespace nimbra
