#include "widgets/tools/ProxyAuthDlg.h"

#include "platform/LoginDialog.h"

#include <QApplication>
#include <QAuthenticator>
#include <map>
#include <utility>

namespace nimbra {

namespace {

bool AskInDialog(QWidget* parent, const QString& proxyHost, SProxyCredentials& credentials)
{
    return AskLogin(parent, QStringLiteral("プロキシの認証"),
                    QStringLiteral("プロキシ %1 がユーザー名とパスワードを要求しています。").arg(proxyHost),
                    credentials.user, credentials.password);
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
