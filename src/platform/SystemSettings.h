#pragma once

#include <QNetworkProxy>
#include <optional>
#include <string>
#include <string_view>

class QWebEngineProfile;

namespace nimbra {

// The per-user Internet settings that the system keeps for every program
// (~/.config/Orvane/system.conf): proxy, cookie policy, offline state.
class CSystemSettings {
public:
    // 0 the system configuration from the environment, 1 direct, 2 named.
    int ProxyMode() const;
    std::string ProxyServer() const;
    void SetProxy(int mode, const std::string& server);

    // 0 accept all, 1 block third-party, 2 session only, 3 block all.
    int CookiePolicy() const;
    void SetCookiePolicy(int policy);

    // The engine's own home page: the stored one, else the bundled start page.
    std::string StartPage() const;

    // User Shell Folders/Favorites with its variables expanded (default
    // "~/Favorites"); nullopt when the value is empty.
    std::optional<std::string> FavoritesFolder() const;

    bool Offline() const;
    void SetOffline(bool offline);

    static std::string Path();

    // Applies the proxy to the whole process and the cookie policy to the
    // engine's profile.
    void ApplyProxy() const;
    void ApplyCookiePolicy(QWebEngineProfile* profile) const;
};

// "~" at the start as the home folder, "$VAR", "${VAR}" and "%VAR%" as the
// environment holds them ($ names unset: empty, % names unset: kept);
// anything else as written.
std::string ExpandPathVariables(std::string_view text);

// A host and port as proxy texts write them: "host:port", "[v6]:port" or
// the host alone.
struct SHostPort {
    std::string host; // as written, with the brackets of an IPv6 address
    int port = -1;    // -1 when no port is given
    bool badPort = false; // a port is given but is not 1..65535
};
SHostPort SplitHostPort(std::string_view text);

// The proxy a server text names: "host:port", or entries such as
// "http=host:port;socks=host:port" of which the HTTP one is taken, or SOCKS
// when only SOCKS names a host. A missing port is 80 (SOCKS 1080). NoProxy
// when nothing usable is there (no host, a port outside 1..65535, only
// entries of other protocols).
QNetworkProxy ParseProxyServer(const std::string& server);

} // namespace nimbra
