#include "data/session/RecentClosed.h"

#include "data/session/TabHistoryFile.h"
#include "platform/Ini.h"
#include "platform/Text.h"

#include <algorithm>

namespace nimbra {

namespace {

constexpr char kSectionPrefix[] = "RecentClosedUrl";

std::string SectionName(size_t index)
{
    return kSectionPrefix + std::to_string(index);
}

} // namespace

void CRecentClosed::AddRecentClosed(const std::string& url, const std::string& title, const STabHistory& history)
{
    m_strLastClosedUrl = url;
    if (url.empty() || url == "about:blank")
        return;
    const auto same = std::find_if(m_entries.begin(), m_entries.end(),
                                   [&](const SEntry& entry) { return entry.url == url; });
    if (same != m_entries.end())
        m_entries.erase(same);
    STabHistory kept = CTabHistoryFile::Bounded(history);
    if (!kept.Empty() && kept.Current().url != url)
        kept = {};
    m_entries.insert(m_entries.begin(), SEntry{url, title, std::move(kept)});
    if (m_entries.size() > kMaxEntries)
        m_entries.resize(kMaxEntries);
    if (m_changed)
        m_changed();
}

void CRecentClosed::Load(const std::string& path)
{
    m_entries.clear();
    const CIniFile ini(path);
    for (size_t i = 0; i < kMaxEntries; ++i) {
        const std::string section = SectionName(i);
        std::string url = ini.GetString(section, "Url", "");
        if (url.empty())
            break;
        // An entry keeps its own title, also an empty one, so titles never
        // slide onto the following URLs.
        m_entries.push_back(SEntry{std::move(url), ini.GetString(section, "Title", ""), {}});
    }
    std::vector<STabHistory> histories = CTabHistoryFile::Read(CTabHistoryFile::PathFor(path), Urls());
    for (size_t i = 0; i < m_entries.size(); ++i)
        m_entries[i].history = std::move(histories[i]);
    if (m_changed)
        m_changed();
}

bool CRecentClosed::Save(const std::string& path) const
{
    CIniFile ini(path);
    bool ok = true;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const std::string section = SectionName(i);
        ok = ini.WriteString(section, "Title", m_entries[i].title) && ok;
        ok = ini.WriteString(section, "Url", m_entries[i].url) && ok;
    }
    for (const std::string& section : ini.SectionNames()) {
        if (!StartsWithNoCase(section, kSectionPrefix))
            continue;
        const std::optional<int> index = ParseLeadingInt(std::string_view(section).substr(sizeof(kSectionPrefix) - 1));
        if (!index || *index < 0 || size_t(*index) >= m_entries.size())
            ok = ini.DeleteSection(section) && ok;
    }
    std::vector<STabHistory> histories;
    for (const SEntry& entry : m_entries)
        histories.push_back(entry.history);
    return CTabHistoryFile::Write(CTabHistoryFile::PathFor(path), Urls(), histories) && ok;
}

UrlList CRecentClosed::Urls() const
{
    UrlList urls;
    for (const SEntry& entry : m_entries)
        urls.push_back(entry.url);
    return urls;
}

std::string CRecentClosed::MenuLabel(size_t index) const
{
    const std::string key = index < 9 ? std::to_string(index + 1) : std::string(1, char('A' + (index - 9)));
    return "&" + key + " " + TruncateTitle(m_entries[index].title, m_nMenuCharLength);
}

} // namespace nimbra
