#pragma once

#include <map>
#include <string>

namespace nimbra {

// Security zones.
enum EUrlZone : int {
    URLZONE_LOCAL_MACHINE = 0,
    URLZONE_INTRANET = 1,
    URLZONE_TRUSTED = 2,
    URLZONE_INTERNET = 3,
    URLZONE_UNTRUSTED = 4,
};

// The zone of a URL: files and local paths are My Computer; loopback,
// dot-less and private-address hosts the Local intranet; the rest Internet.
int UrlZone(const std::string& url);

// The system's offline state ("work offline").
class COfflineState {
public:
    bool IsOffline() const { return m_bOffline; }
    void SetOffline(bool offline) { m_bOffline = offline; }

private:
    bool m_bOffline = false;
};

// Cookie preferences per zone, kept as the privacy texts the system uses
// ("IE6-P3PV1/settings: always=a session=a").
class CCookiePolicies {
public:
    std::string Preference(int zone) const;
    void SetPreference(int zone, const std::string& text);

private:
    std::map<int, std::string> m_preferences;
};

} // namespace nimbra
