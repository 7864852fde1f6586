#pragma once

#include <string>

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

    // The engine's own home page.
    std::string StartPage() const;

    bool Offline() const;
    void SetOffline(bool offline);

    static std::string Path();
};

} // namespace nimbra
