#pragma once

#include <QString>
#include <functional>

class QAuthenticator;
class QWidget;

namespace nimbra {

struct SProxyCredentials {
    QString user;
    QString password;
};

// Asks for the user name and password of a proxy, starting from
// `credentials`; false when the user cancels.
using ProxyCredentialsPrompt =
    std::function<bool(QWidget* parent, const QString& proxyHost, SProxyCredentials& credentials)>;
// Replaces the dialog (tests); an empty function restores it. Returns the
// one it replaced.
ProxyCredentialsPrompt SetProxyCredentialsPrompt(ProxyCredentialsPrompt prompt);

// A proxy asks a page for a password: the user answers, and the answer is
// kept for this proxy for the rest of the session (never written).
void AnswerProxyAuthentication(const QString& proxyHost, QAuthenticator* authenticator);

} // namespace nimbra
