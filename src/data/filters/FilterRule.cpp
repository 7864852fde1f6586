#include "data/filters/FilterRule.h"

#include "platform/Text.h"

#include <algorithm>

namespace nimbra {

namespace {

bool IsHostChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_' || c == ':'
           || c == '[' || c == ']' || static_cast<unsigned char>(c) >= 0x80;
}

// "a|~b" (option) or "a,~b" (hiding rule) into the two lists; false when
// an entry is empty or not a host.
bool ParseDomains(std::string_view text, char separator, std::vector<std::string>& domains,
                  std::vector<std::string>& notDomains)
{
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view entry = text.substr(start, end - start);
        const bool negated = !entry.empty() && entry.front() == '~';
        if (negated)
            entry.remove_prefix(1);
        std::string domain = ToLowerAscii(entry);
        if (domain.empty() || !std::all_of(domain.begin(), domain.end(), IsHostChar))
            return false;
        (negated ? notDomains : domains).push_back(std::move(domain));
        start = end + 1;
    }
    return true;
}

bool ParseOptions(std::string_view text, SNetworkRule& rule)
{
    unsigned included = 0;
    unsigned excluded = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string option = ToLowerAscii(Trim(text.substr(start, end - start)));
        start = end + 1;
        const bool negated = !option.empty() && option.front() == '~';
        const std::string_view name = negated ? std::string_view(option).substr(1) : std::string_view(option);
        unsigned type = 0;
        if (name == "script")
            type = FILTER_SCRIPT;
        else if (name == "image")
            type = FILTER_IMAGE;
        else if (name == "stylesheet" || name == "css")
            type = FILTER_STYLESHEET;
        else if (name == "xmlhttprequest" || name == "xhr")
            type = FILTER_XHR;
        else if (name == "subdocument" || name == "frame")
            type = FILTER_SUBDOCUMENT;
        else if (name == "other")
            type = FILTER_OTHER;
        if (type) {
            (negated ? excluded : included) |= type;
            continue;
        }
        if (name == "third-party" || name == "3p") {
            rule.party = negated ? EFilterParty::First : EFilterParty::Third;
        } else if (name == "first-party" || name == "1p") {
            rule.party = negated ? EFilterParty::Third : EFilterParty::First;
        } else if (name == "match-case" && !negated) {
            rule.matchCase = true;
        } else if (!negated && name.substr(0, 7) == "domain=") {
            if (!ParseDomains(name.substr(7), '|', rule.domains, rule.notDomains))
                return false;
        } else {
            return false; // an option this browser does not know
        }
    }
    rule.types = (included ? included : FILTER_ANY_TYPE) & ~excluded;
    return rule.types != 0;
}

EFilterLine ParseHiding(std::string_view line, size_t separator, SHidingRule& hiding)
{
    hiding = {};
    const std::string_view domains = line.substr(0, separator);
    const std::string_view selector = line.substr(separator + 2);
    // Exceptions ("#@#") and the extended forms ("#?#", "#$#", "+js(...)")
    // are not understood; a selector may not leave its rule.
    if (domains.find('#') != std::string_view::npos || selector.empty() || selector.front() == '+'
        || selector.find_first_of("{}") != std::string_view::npos || selector.find("/*") != std::string_view::npos
        || selector.back() == '\\')
        return EFilterLine::Skipped;
    if (!domains.empty() && !ParseDomains(domains, ',', hiding.domains, hiding.notDomains))
        return EFilterLine::Skipped;
    hiding.selector = std::string(selector);
    return EFilterLine::Hiding;
}

bool IsSeparator(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'
             || c == '.' || c == '%' || u >= 0x80);
}

// The pattern against the text from `from` on; with `leadingStar` the match
// may start anywhere after it. Iterative: a star is retried one character
// further on each failure, so the cost stays within |pattern| * |text|.
bool Glob(std::string_view p, std::string_view t, size_t from, bool leadingStar, bool endAnchor)
{
    size_t pi = 0;
    size_t ti = from;
    bool star = leadingStar;
    size_t starP = 0;
    size_t starT = from;
    for (;;) {
        if (pi == p.size()) {
            if (!endAnchor || ti == t.size())
                return true;
        } else if (p[pi] == '*') {
            star = true;
            starP = ++pi;
            starT = ti;
            continue;
        } else if (ti < t.size() && (p[pi] == '^' ? IsSeparator(t[ti]) : p[pi] == t[ti])) {
            ++pi;
            ++ti;
            continue;
        } else if (p[pi] == '^' && ti == t.size()) {
            ++pi;
            continue;
        }
        if (!star || starT >= t.size())
            return false;
        pi = starP;
        ti = ++starT;
    }
}

} // namespace

EFilterLine ParseFilterLine(std::string_view raw, SNetworkRule& network, SHidingRule& hiding)
{
    const std::string text = Trim(raw);
    std::string_view line = text;
    if (line.empty())
        return EFilterLine::Blank;
    if (line.front() == '!' || (line.front() == '[' && line.back() == ']'))
        return EFilterLine::Comment;
    for (const std::string_view mark : {"##", "#@#", "#?#", "#$#", "#%#"}) {
        const size_t at = line.find(mark);
        if (at == std::string_view::npos)
            continue;
        if (mark != "##")
            return EFilterLine::Skipped;
        return ParseHiding(line, at, hiding);
    }

    network = {};
    if (line.substr(0, 2) == "@@") {
        network.exception = true;
        line.remove_prefix(2);
    }
    // Options follow the last "$", unless it belongs to a regular expression.
    const size_t dollar = line.rfind('$');
    if (dollar != std::string_view::npos
        && !(line.front() == '/' && line.find('/', dollar) != std::string_view::npos)) {
        if (!ParseOptions(line.substr(dollar + 1), network))
            return EFilterLine::Skipped;
        line = line.substr(0, dollar);
    }
    if (line.size() > 2 && line.front() == '/' && line.back() == '/') {
        const QString source = QString::fromUtf8(line.data() + 1, qsizetype(line.size() - 2));
        QRegularExpression regex(source, network.matchCase ? QRegularExpression::NoPatternOption
                                                           : QRegularExpression::CaseInsensitiveOption);
        if (!regex.isValid())
            return EFilterLine::Skipped;
        network.regex = std::move(regex);
        network.pattern = std::string(line.substr(1, line.size() - 2));
        return EFilterLine::Network;
    }
    if (line.substr(0, 2) == "||") {
        network.hostAnchor = true;
        line.remove_prefix(2);
    } else if (!line.empty() && line.front() == '|') {
        network.startAnchor = true;
        line.remove_prefix(1);
    }
    if (!line.empty() && line.back() == '|') {
        network.endAnchor = true;
        line.remove_suffix(1);
    }
    if (line.find_first_of("| \t") != std::string_view::npos)
        return EFilterLine::Skipped;
    if (line.empty() && dollar == std::string_view::npos)
        return EFilterLine::Skipped; // a rule of nothing but anchors
    network.pattern = network.matchCase ? std::string(line) : ToLowerAscii(line);
    return EFilterLine::Network;
}

bool HostIsOrUnder(std::string_view host, std::string_view domain)
{
    if (host.size() < domain.size() || host.substr(host.size() - domain.size()) != domain)
        return false;
    return host.size() == domain.size() || host[host.size() - domain.size() - 1] == '.';
}

std::string_view BaseDomain(std::string_view host)
{
    if (host.empty() || host.front() == '[' || host.find_first_not_of("0123456789.") == std::string_view::npos)
        return host;
    const size_t last = host.rfind('.');
    if (last == std::string_view::npos || last == 0)
        return host;
    size_t second = host.rfind('.', last - 1);
    const size_t secondLen = last - (second == std::string_view::npos ? 0 : second + 1);
    if (host.size() - last - 1 == 2 && secondLen <= 3 && second != std::string_view::npos && second > 0) {
        const size_t third = host.rfind('.', second - 1);
        return host.substr(third == std::string_view::npos ? 0 : third + 1);
    }
    return host.substr(second == std::string_view::npos ? 0 : second + 1);
}

bool MatchNetworkPattern(const SNetworkRule& rule, std::string_view url, size_t hostBegin, size_t hostEnd)
{
    const std::string_view p = rule.pattern;
    if (rule.hostAnchor) {
        for (size_t start = hostBegin; start < hostEnd; ++start) {
            if ((start == hostBegin || url[start - 1] == '.') && Glob(p, url, start, false, rule.endAnchor))
                return true;
        }
        return false;
    }
    if (rule.startAnchor)
        return Glob(p, url, 0, false, rule.endAnchor);
    if (!rule.endAnchor && p.find_first_of("*^") == std::string_view::npos)
        return url.find(p) != std::string_view::npos;
    return Glob(p, url, 0, true, rule.endAnchor);
}

} // namespace nimbra
