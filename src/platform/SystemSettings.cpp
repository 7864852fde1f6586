#include "platform/SystemSettings.h"

#include "platform/Paths.h"
#include "platform/Text.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkProxyFactory>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>
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

namespace {

constexpr int kMaxPrivacyText = 256;
constexpr char kAcceptText[] = "IE6-P3PV1/settings: always=a";
constexpr char kRejectText[] = "IE6-P3PV1/settings: always=r";
constexpr char kSessionSuffix[] = " session=a";

QString PrivacyKey(const char* name, int party)
{
    return QStringLiteral("Zones/3/%1%2").arg(QLatin1String(name)).arg(party);
}

QString PolicyKey(int action)
{
    return QStringLiteral("Zones/3/") + QString::number(action, 16).toUpper();
}

// The cookie choice of the store before it kept preferences.
int OldCookieChoice(const QSettings& store)
{
    return std::clamp(store.value("Internet Settings/CookiePolicy", 0).toInt(), 0, 3);
}

std::string ChoiceText(int choice, int party)
{
    const std::string accept = std::string(kAcceptText) + kSessionSuffix;
    const std::string session = std::string(kRejectText) + kSessionSuffix;
    switch (choice) {
    case 1:
        return party == 0 ? accept : kRejectText;
    case 2:
        return session;
    case 3:
        return kRejectText;
    default:
        return accept;
    }
}

int ChoicePolicy(int choice, int action)
{
    if (action == URLACTION_COOKIES)
        return choice >= 2 ? URLPOLICY_DISALLOW : URLPOLICY_ALLOW;
    return choice == 3 ? URLPOLICY_DISALLOW : URLPOLICY_ALLOW;
}

// A file with lines that do not parse still gives what it can; only a
// store that is there but cannot be read is unknown.
bool Readable()
{
    const QFileInfo file(QString::fromStdString(CSystemSettings::Path()));
    return !file.exists() || (file.isFile() && file.isReadable());
}

// Writes one value; when the file cannot take it, the value goes back to
// what the file holds, so a later read never shows the failed write.
bool WriteChecked(const QString& key, const QVariant& value)
{
    if (!Readable())
        return false;
    QSettings store = Store();
    const bool had = store.contains(key);
    const QVariant old = store.value(key);
    store.setValue(key, value);
    store.sync();
    if (store.status() != QSettings::AccessError)
        return true;
    if (had)
        store.setValue(key, old);
    else
        store.remove(key);
    return false;
}

bool HasWord(const std::string& text, const char* word)
{
    return ToLowerAscii(text).find(word) != std::string::npos;
}

} // namespace

int CSystemSettings::PrivacyTemplate(int party) const
{
    return Store().value(PrivacyKey("PrivacyTemplate", party), int(kPrivacyTemplateCustom)).toInt();
}

std::string CSystemSettings::PrivacyText(int party) const
{
    const QSettings store = Store();
    const QVariant value = store.value(PrivacyKey("Privacy", party));
    if (!value.isValid())
        return ChoiceText(OldCookieChoice(store), party);
    return FromQ(value.toString().left(kMaxPrivacyText));
}

int CSystemSettings::ZonePolicy(int action) const
{
    const QSettings store = Store();
    return store.value(PolicyKey(action), ChoicePolicy(OldCookieChoice(store), action)).toInt();
}

bool CSystemSettings::SetPrivacyText(int party, const std::string& text)
{
    return WriteChecked(PrivacyKey("Privacy", party), ToQ(text))
           && WriteChecked(PrivacyKey("PrivacyTemplate", party), int(kPrivacyTemplateCustom));
}

bool CSystemSettings::SetZonePolicy(int action, int policy)
{
    // A policy of its own makes the zone's level custom.
    return WriteChecked(PolicyKey(action), policy) && WriteChecked(QStringLiteral("Zones/3/CurrentLevel"), 0);
}

int CSystemSettings::ReadCookiePreference(int party, bool session) const
{
    if (!Readable())
        return kCookieUnknown;
    if (PrivacyTemplate(party) != kPrivacyTemplateCustom)
        return 0;
    return HasWord(PrivacyText(party), session ? "session=a" : "always=a") ? 1 : 0;
}

bool CSystemSettings::WriteCookiePreference(int party, bool accept, bool session)
{
    return SetPrivacyText(party, std::string(accept ? kAcceptText : kRejectText) + (session ? kSessionSuffix : ""));
}

CSystemSettings::SCookieRules CSystemSettings::CookieRules() const
{
    SCookieRules rules;
    const bool allow = ZonePolicy(URLACTION_COOKIES) == URLPOLICY_ALLOW;
    const bool allowSession = ZonePolicy(URLACTION_COOKIES_SESSION) == URLPOLICY_ALLOW;
    bool refuse[2];
    for (int party = 0; party < 2; ++party) {
        const int level = PrivacyTemplate(party);
        const std::string text = PrivacyText(party);
        // Of the fixed levels only "no cookies" (0) refuses.
        const bool accept = level == kPrivacyTemplateCustom ? HasWord(text, "always=a") : level != 0;
        const bool session = level == kPrivacyTemplateCustom && HasWord(text, "session=a");
        refuse[party] = (!accept && !session) || (!allow && !allowSession);
        if (!refuse[party] && ((!accept && session) || !allow))
            rules.sessionOnly = true;
    }
    rules.refuseFirstParty = refuse[0];
    rules.refuseThirdParty = refuse[1];
    rules.dropSessionCookies = allow && !allowSession;
    return rules;
}

int CSystemSettings::CookieChoice() const
{
    const SCookieRules rules = CookieRules();
    if (rules.refuseFirstParty)
        return 3;
    if (rules.sessionOnly)
        return 2;
    return rules.refuseThirdParty ? 1 : 0;
}

bool CSystemSettings::SetCookieChoice(int choice)
{
    choice = std::clamp(choice, 0, 3);
    return SetPrivacyText(0, ChoiceText(choice, 0)) && SetPrivacyText(1, ChoiceText(choice, 1))
           && SetZonePolicy(URLACTION_COOKIES, ChoicePolicy(choice, URLACTION_COOKIES))
           && SetZonePolicy(URLACTION_COOKIES_SESSION, ChoicePolicy(choice, URLACTION_COOKIES_SESSION));
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

bool CSystemSettings::SetOffline(bool offline)
{
    return WriteChecked(QStringLiteral("Internet Settings/GlobalUserOffline"), offline);
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

} // namespace nimbra
