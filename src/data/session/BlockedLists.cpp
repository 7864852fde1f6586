#include "data/session/BlockedLists.h"

#include "platform/Wildcard.h"

#include <algorithm>

namespace nimbra {

namespace {

bool AnyMatches(const UrlList& patterns, const std::string& text)
{
    return std::any_of(patterns.begin(), patterns.end(),
                       [&](const std::string& pattern) { return MatchWildcard(pattern, text); });
}

} // namespace

void CBlockedLists::Load(const std::string& closeUrlPath, const std::string& closeTitlePath)
{
    Clear();
    m_urlPath = closeUrlPath;
    m_titlePath = closeTitlePath;
    ReadListFile(closeUrlPath, m_urls);
    ReadListFile(closeTitlePath, m_titles);
}

void CBlockedLists::Clear()
{
    m_urls.clear();
    m_titles.clear();
}

bool CBlockedLists::AddBlockedUrl(const std::string& url)
{
    if (url.empty())
        return false;
    m_urls.push_back(url);
    return WriteListFile(kHeadingCloseUrl, m_urlPath, m_urls);
}

bool CBlockedLists::AddBlockedTitle(const std::string& title)
{
    if (title.empty())
        return false;
    m_titles.push_back(title);
    return WriteListFile(kHeadingCloseTitle, m_titlePath, m_titles);
}

std::string CBlockedLists::IsUrlAllowed(const std::string& url, int goHome) const
{
    std::string text;
    if (goHome == 1)
        text = m_switches.MyHome == 1 ? m_switches.MyHomeUrl : std::string("Home");
    else
        text = url.empty() && m_switches.NewBlank == 0 ? std::string("about:blank") : url;
    // The answer for an allowed URL is the tested text, never empty.
    const std::string allowed = text.empty() ? std::string("about:blank") : text;
    if (m_switches.CloseUrl != 1)
        return allowed;
    return AnyMatches(m_urls, text) ? std::string() : allowed;
}

bool CBlockedLists::IsTitleBlocked(const std::string& title) const
{
    return m_switches.CloseTitle != 0 && AnyMatches(m_titles, title);
}

} // namespace nimbra
