#pragma once

#include <string>
#include <vector>

namespace nimbra {

// Pages of recently closed tabs, newest first, with the last closed URL.
class CRecentClosed {
public:
    static constexpr size_t kMaxEntries = 19;

    struct SEntry {
        std::string url;
        std::string title;
    };

    // Records a closed tab: the last closed URL always; the list only for a
    // URL that is neither empty nor "about:blank", moving an equal URL to
    // the front.
    void AddRecentClosed(const std::string& url, const std::string& title);

    const std::vector<SEntry>& Entries() const { return m_entries; }
    const std::string& LastClosedUrl() const { return m_strLastClosedUrl; }

private:
    std::vector<SEntry> m_entries;
    std::string m_strLastClosedUrl;
};

} // namespace nimbra
