#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

// A filter of the URL extraction: wildcard patterns separated by ";",
// matched against whole URLs with both sides in ASCII lower case.
class CUrlFilter {
public:
    explicit CUrlFilter(std::string_view text);

    // An empty text: applying it changes nothing.
    bool IsEmpty() const { return m_bEmpty; }
    bool Matches(std::string_view url) const;

private:
    bool m_bEmpty;
    std::vector<std::string> m_patterns;
};

// The saved filters of "filter.ini".
inline constexpr char kFilterFileName[] = "filter.ini";
inline constexpr int kFilterTextWidth = 64;

const std::vector<std::string>& DefaultUrlFilters();
// The filters Filter1, Filter2, ... of section "UrlExtract" up to the first
// missing or empty one, each cut to 64 cells; the defaults when there are
// none. The file is read once.
std::vector<std::string> ReadUrlFilters(const std::string& path);
// Rewrites the whole file with the non-empty filters (an empty file when
// there are none); false when it could not be written.
bool WriteUrlFilters(const std::string& path, const std::vector<std::string>& filters);

} // namespace nimbra
