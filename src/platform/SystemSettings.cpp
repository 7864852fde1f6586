#include "platform/SystemSettings.h"

#include "platform/Paths.h"
#include "platform/Text.h"

#include <QDir>
#include <QNetworkProxyFactory>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <optional>

namespace nimbra {

namespace {
QSettings Store()
{
    return QSettings(QString::fromStdString(CSystemSettings::Path()), QSettings::IniFormat);
}
} // namespace

std::string CSystemSettings::Path()
{
    const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                         + QStringLiteral("/Orvane/system.conf");
    return path.toStdString();
}

int CSystemSettings::ProxyMode() const
{
    return Store().value("Internet Settings/ProxyMode", 0).toInt();
}

std::string CSystemSettings::ProxyServer() const
{
    return Store().value("Internet Settings/ProxyServer").toString().toStdString();
}

void CSystemSettings::SetProxy(int mode, const std::string& server)
{
    QSettings store = Store();
    store.setValue("Internet Settings/ProxyMode", mode);
    store.setValue("Internet Settings/ProxyServer", QString::fromStdString(server));
}

int CSystemSettings::CookiePolicy() const
{
    return Store().value("Internet Settings/CookiePolicy", 0).toInt();
}

void CSystemSettings::SetCookiePolicy(int policy)
{
    Store().setValue("Internet Settings/CookiePolicy", policy);
}

std::string CSystemSettings::StartPage() const
{
    const std::string file = ResourceFile("start.html");
    const QString bundled = file.empty() ? QStringLiteral("qrc:/start.html")
                                         : QUrl::fromLocalFile(QString::fromStdString(file)).toString();
    return Store().value("Main/Start Page", bundled).toString().toStdString();
}

std::optional<std::string> CSystemSettings::FavoritesFolder() const
{
    const std::string stored =
        Store().value("User Shell Folders/Favorites", QStringLiteral("~/Favorites")).toString().toStdString();
    const std::string path = ExpandPathVariables(stored);
    if (path.empty())
        return std::nullopt;
    return path;
}

std::string ExpandPathVariables(std::string_view text)
{
    auto variable = [](std::string_view name) {
        const char* value = std::getenv(std::string(name).c_str());
        return std::string(value ? value : "");
    };
    auto isNameChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    std::string out;
    size_t pos = 0;
    if (!text.empty() && text[0] == '~' && (text.size() == 1 || text[1] == '/')) {
        out = QDir::homePath().toStdString();
        pos = 1;
    }
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '%') {
            const size_t end = text.find('%', pos + 1);
            if (end != std::string_view::npos && end > pos + 1) {
                // As on Windows, an unknown name stays as written.
                const std::string name(text.substr(pos + 1, end - pos - 1));
                out += std::getenv(name.c_str()) ? variable(name) : "%" + name + "%";
                pos = end + 1;
                continue;
            }
        } else if (c == '$' && pos + 1 < text.size() && text[pos + 1] == '{') {
            const size_t end = text.find('}', pos + 2);
            if (end != std::string_view::npos && end > pos + 2) {
                out += variable(text.substr(pos + 2, end - pos - 2));
                pos = end + 1;
                continue;
            }
        } else if (c == '$' && pos + 1 < text.size() && isNameChar(text[pos + 1])) {
            size_t end = pos + 1;
            while (end < text.size() && isNameChar(text[end]))
                ++end;
            out += variable(text.substr(pos + 1, end - pos - 1));
            pos = end;
            continue;
        }
        out += c;
        ++pos;
    }
    return out;
}

bool CSystemSettings::Offline() const
{
    return Store().value("Internet Settings/GlobalUserOffline", false).toBool();
}

void CSystemSettings::SetOffline(bool offline)
{
    Store().setValue("Internet Settings/GlobalUserOffline", offline);
}

SHostPort SplitHostPort(std::string_view text)
{
    SHostPort result;
    std::string_view portText;
    bool hasPort = false;
    if (!text.empty() && text.front() == '[' && text.find(']') != std::string_view::npos) {
        const size_t close = text.find(']');
        result.host = std::string(text.substr(0, close + 1));
        const std::string_view rest = text.substr(close + 1);
        hasPort = !rest.empty();
        if (hasPort && rest.front() != ':') {
            result.badPort = true;
            return result;
        }
        portText = hasPort ? rest.substr(1) : rest;
    } else {
        const size_t colon = text.find(':');
        result.host = std::string(text.substr(0, colon));
        hasPort = colon != std::string_view::npos;
        if (hasPort)
            portText = text.substr(colon + 1);
    }
    if (!hasPort || portText.empty())
        return result;
    int port = 0;
    for (char c : portText) {
        if (c < '0' || c > '9' || port > 65535) {
            result.badPort = true;
            return result;
        }
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535)
        result.badPort = true;
    else
        result.port = port;
    return result;
}

QNetworkProxy ParseProxyServer(const std::string& server)
{
    std::optional<std::string> http;
    std::optional<std::string> socks;
    std::string_view rest = server;
    while (!rest.empty()) {
        const size_t semicolon = rest.find(';');
        const std::string item = Trim(rest.substr(0, semicolon));
        rest = semicolon == std::string_view::npos ? std::string_view() : rest.substr(semicolon + 1);
        const size_t eq = item.find('=');
        if (item.empty()) {
            continue;
        } else if (eq == std::string::npos) {
            if (!http)
                http = item;
        } else {
            const std::string kind = ToLowerAscii(Trim(std::string_view(item).substr(0, eq)));
            std::optional<std::string>& slot = kind == "http" ? http : socks;
            if ((kind == "http" || kind == "socks") && !slot)
                slot = Trim(std::string_view(item).substr(eq + 1));
        }
    }
    // An HTTP entry without a host leaves the choice to SOCKS.
    SHostPort target = SplitHostPort(http.value_or(std::string()));
    bool useSocks = target.host.empty();
    if (useSocks)
        target = SplitHostPort(socks.value_or(std::string()));
    std::string host = target.host;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host.empty() || target.badPort)
        return QNetworkProxy(QNetworkProxy::NoProxy);
    const int port = target.port > 0 ? target.port : (useSocks ? 1080 : 80);
    return QNetworkProxy(useSocks ? QNetworkProxy::Socks5Proxy : QNetworkProxy::HttpProxy, ToQ(host), quint16(port));
}

void CSystemSettings::ApplyProxy() const
{
    switch (ProxyMode()) {
    case 1:
        QNetworkProxyFactory::setUseSystemConfiguration(false);
        QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
        break;
    case 2:
        QNetworkProxyFactory::setUseSystemConfiguration(false);
        QNetworkProxy::setApplicationProxy(ParseProxyServer(ProxyServer()));
        break;
    default:
        QNetworkProxyFactory::setUseSystemConfiguration(true);
        break;
    }
}

void CSystemSettings::ApplyCookiePolicy(QWebEngineProfile* profile) const
{
    // The filter runs on the engine's IO thread: it reads one atomic value.
    static std::atomic<int> policy{0};
    policy.store(CookiePolicy());
    profile->setPersistentCookiesPolicy(policy.load() == 2 ? QWebEngineProfile::NoPersistentCookies
                                                           : QWebEngineProfile::AllowPersistentCookies);
    profile->cookieStore()->setCookieFilter([](const QWebEngineCookieStore::FilterRequest& request) {
        const int p = policy.load(std::memory_order_relaxed);
        return p != 3 && !(p == 1 && request.thirdParty);
    });
}

} // namespace nimbra
