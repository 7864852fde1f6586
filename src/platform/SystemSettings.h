#pragma once

#include <QNetworkProxy>
#include <optional>
#include <string>
#include <string_view>

class QWebEngineProfile;

namespace nimbra {

enum : int {
    kCookieUnknown = 1024,
    kPrivacyTemplateCustom = 101,
    URLACTION_COOKIES = 0x1A02,
    URLACTION_COOKIES_SESSION = 0x1A03,
    URLPOLICY_ALLOW = 0,
    URLPOLICY_DISALLOW = 3,
};

// The per-user Internet settings that the system keeps for every program
// (~/.config/Orvane/system.conf): proxy, cookie policy, offline state.
class CSystemSettings {
public:
    // 0 the system configuration from the environment, 1 direct, 2 named.
    int ProxyMode() const;
    std::string ProxyServer() const;
    void SetProxy(int mode, const std::string& server);

    // Cookie preferences of the Internet zone, per party (0 first, 1 third):
    // a privacy template and, for the custom template 101, its text
    // ("IE6-P3PV1/settings: always=a session=a"); texts are read up to 256
    // characters. Missing values come from the old single cookie choice.
    int PrivacyTemplate(int party) const;
    std::string PrivacyText(int party) const;
    // The Internet zone's policy (0 allow, 3 disallow) of action 0x1A02
    // (cookies) or 0x1A03 (session cookies).
    int ZonePolicy(int action) const;
    // False when the store could not be written; it then keeps its value.
    bool SetPrivacyText(int party, const std::string& text);
    bool SetZonePolicy(int action, int policy);

    // A preference as the cookie items read it: with `session` whether
    // session cookies are always allowed, else whether cookies are; 0 or
    // 1, and kCookieUnknown when the store cannot be read.
    int ReadCookiePreference(int party, bool session) const;
    // Writes the custom text for accepting or rejecting, with " session=a".
    bool WriteCookiePreference(int party, bool accept, bool session);

    // The Internet Options choice: 0 accept all, 1 block third-party,
    // 2 session only, 3 block all; reading gives the nearest one.
    int CookieChoice() const;
    bool SetCookieChoice(int choice);

    // What the preferences and policies together do to cookies.
    struct SCookieRules {
        bool refuseFirstParty = false;
        bool refuseThirdParty = false;
        bool sessionOnly = false;      // persistent cookies live for the session
        bool dropSessionCookies = false;
    };
    SCookieRules CookieRules() const;

    // The engine's own home page: the stored one, else the bundled start page.
    std::string StartPage() const;

    // User Shell Folders/Favorites with its variables expanded (default
    // "~/Favorites"); nullopt when the value is empty.
    std::optional<std::string> FavoritesFolder() const;

    bool Offline() const;
    bool SetOffline(bool offline);

    static std::string Path();

    // Applies the proxy to the whole process and the cookie rules to the
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
