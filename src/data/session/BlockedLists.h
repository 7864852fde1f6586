#pragma once

#include "data/session/ListFile.h"

#include <string>

namespace nimbra {

// The blocked URL list ("close.html") and blocked title list
// ("closetitle.html") with the switches that govern them.
class CBlockedLists {
public:
    struct Switches {
        int CloseUrl = 0;   // 1 = the URL list is active
        int CloseTitle = 0; // non-zero = the title list is active
        int MyHome = 0;
        std::string MyHomeUrl = "about:blank";
        int NewBlank = 0;
    };

    void SetSwitches(const Switches& switches) { m_switches = switches; }
    const Switches& switches() const { return m_switches; }

    // Empties both lists and refills them from their files, which the
    // Add functions then write.
    void Load(const std::string& closeUrlPath, const std::string& closeTitlePath);
    void Clear();

    // Appends a non-empty entry (repeats allowed) and writes the whole list
    // to its file. The entry is in effect even when the file could not be
    // written; false then, and when the entry was empty.
    bool AddBlockedUrl(const std::string& url);
    bool AddBlockedTitle(const std::string& title);

    // A non-empty string when allowed, an empty one when blocked.
    std::string IsUrlAllowed(const std::string& url, int goHome) const;
    bool IsTitleBlocked(const std::string& title) const;

    const UrlList& urls() const { return m_urls; }
    const UrlList& titles() const { return m_titles; }

private:
    Switches m_switches;
    UrlList m_urls;
    UrlList m_titles;
    std::string m_urlPath;
    std::string m_titlePath;
};

} // namespace nimbra
