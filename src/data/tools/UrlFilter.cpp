#include "data/tools/UrlFilter.h"

#include "platform/AtomicFile.h"
#include "platform/Ini.h"
#include "platform/Text.h"
#include "platform/Wildcard.h"

#include <unordered_map>

namespace nimbra {

namespace {
constexpr char kSection[] = "UrlExtract";
} // namespace

CUrlFilter::CUrlFilter(std::string_view text) : m_bEmpty(text.empty())
{
    const std::string lower = ToLowerAscii(text);
    size_t start = 0;
    while (start <= lower.size()) {
        size_t end = lower.find(';', start);
        if (end == std::string::npos)
            end = lower.size();
        if (end > start)
            m_patterns.push_back(lower.substr(start, end - start));
        start = end + 1;
    }
}

bool CUrlFilter::Matches(std::string_view url) const
{
    const std::string lower = ToLowerAscii(url);
    for (const std::string& pattern : m_patterns) {
        if (MatchWildcard(pattern, lower))
            return true;
    }
    return false;
}

const std::vector<std::string>& DefaultUrlFilters()
{
    static const std::vector<std::string> filters = {
        "*.lzh;*.zip;*.cab;*.rar", "*.aif;*.wav;*.au;*.mp2;*.mp3;*.mid", "*.jpg;*.jpeg", "*.gif",
        "*.qt;*.mov;*.avi",        "*.htm;*.html;*.cgi",
    };
    return filters;
}

std::vector<std::string> ReadUrlFilters(const std::string& path)
{
    // Key names compare without case; the first of a repeated key counts.
    std::unordered_map<std::string, std::string> values;
    for (auto& [key, value] : CIniFile(path).SectionValues(kSection))
        values.emplace(ToLowerAscii(key), std::move(value));
    std::vector<std::string> filters;
    for (size_t n = 1;; ++n) {
        const auto it = values.find("filter" + std::to_string(n));
        if (it == values.end() || it->second.empty())
            break;
        filters.push_back(CutText(it->second, kFilterTextWidth));
    }
    return filters.empty() ? DefaultUrlFilters() : filters;
}

bool WriteUrlFilters(const std::string& path, const std::vector<std::string>& filters)
{
    std::string text;
    int n = 0;
    for (const std::string& filter : filters) {
        if (filter.empty())
            continue;
        if (n == 0)
            text = std::string("[") + kSection + "]\r\n";
        text += "Filter" + std::to_string(++n) + "=" + OneLine(filter) + "\r\n";
    }
    return WriteFileAtomically(path, text);
}

} // namespace nimbra
