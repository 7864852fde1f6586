#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

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

struct SHistoryEntry {
    std::string url;
    std::string title;
    long long lastVisit = 0;  // seconds since the epoch
    long long lastUpdate = 0;
    int visitCount = 0;
};

// The URL history store with a cached copy of each page.
class IUrlHistoryStore {
public:
    virtual ~IUrlHistoryStore() = default;
    virtual void AddVisit(const std::string& url, const std::string& title, long long when) = 0;
    virtual void SetCachedCopy(const std::string& url, const std::string& html) = 0;
    // Entries whose URL starts with `prefix`, most recent first.
    virtual std::vector<SHistoryEntry> Enumerate(const std::string& prefix) const = 0;
    virtual std::optional<std::string> CachedCopy(const std::string& url) const = 0;
    virtual void Clear() = 0;
};

// The history kept in memory for the life of the process.
class CMemoryUrlHistory : public IUrlHistoryStore {
public:
    void AddVisit(const std::string& url, const std::string& title, long long when) override;
    void SetCachedCopy(const std::string& url, const std::string& html) override;
    std::vector<SHistoryEntry> Enumerate(const std::string& prefix) const override;
    std::optional<std::string> CachedCopy(const std::string& url) const override;
    void Clear() override;

private:
    std::map<std::string, SHistoryEntry> m_entries;
    std::map<std::string, std::string> m_cache;
};

} // namespace nimbra
