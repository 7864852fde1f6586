#include "session/RecentClosed.h"

#include <algorithm>

namespace nimbra {

void CRecentClosed::AddRecentClosed(const std::string& url, const std::string& title)
{
    m_strLastClosedUrl = url;
    if (url.empty() || url == "about:blank")
        return;
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [&](const SEntry& entry) { return entry.url == url; }),
                    m_entries.end());
    m_entries.insert(m_entries.begin(), SEntry{url, title});
    if (m_entries.size() > kMaxEntries)
        m_entries.resize(kMaxEntries);
}

} // namespace nimbra
