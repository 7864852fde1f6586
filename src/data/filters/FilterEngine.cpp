#include "data/filters/FilterEngine.h"

#include "platform/Text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>

namespace nimbra {

namespace {

// Tokens found in almost every URL: a rule filed under one would be looked
// at for nearly every request.
constexpr std::array<std::string_view, 6> kCommonTokens{"http", "https", "www", "com", "html", "js"};

bool IsCommon(std::string_view token)
{
    return std::find(kCommonTokens.begin(), kCommonTokens.end(), token) != kCommonTokens.end();
}

// The token of a pattern that every URL it matches holds as a whole token:
// the longest run bounded on both sides by a character that is not a
// token character (a star may stand for any), by a host or start anchor
// on the left, or by the end anchor on the right.
std::string_view PickToken(const SNetworkRule& rule)
{
    const std::string_view p = rule.pattern;
    std::string_view best;
    size_t i = 0;
    while (i < p.size()) {
        if (!CFilterEngine::IsTokenChar(p[i])) {
            ++i;
            continue;
        }
        const size_t start = i;
        while (i < p.size() && CFilterEngine::IsTokenChar(p[i]))
            ++i;
        const bool left = start == 0 ? rule.hostAnchor || rule.startAnchor : p[start - 1] != '*';
        const bool right = i == p.size() ? rule.endAnchor : p[i] != '*';
        const std::string_view token = p.substr(start, i - start);
        if (left && right && !IsCommon(token) && token.size() > best.size())
            best = token;
    }
    return best;
}

// A text that every URL the regular expression `source` matches holds
// (in lower case), or an empty one when none is sure: the longest run of
// letters, digits and escaped punctuation outside groups, classes and
// counts, less a last character that a quantifier makes optional. An
// expression with alternatives has none.
std::string RegexLiteral(std::string_view source)
{
    // Inline options and quoting change what the characters mean.
    if (source.find('|') != std::string_view::npos || source.find("(?") != std::string_view::npos
        || source.find("\\Q") != std::string_view::npos)
        return {};
    std::string best, run;
    const auto end = [&] {
        if (run.size() > best.size())
            best = run;
        run.clear();
    };
    int depth = 0;
    for (size_t i = 0; i < source.size(); ++i) {
        const char c = source[i];
        const bool alnum = CFilterEngine::IsTokenChar(c) && c != '%';
        if (c == '\\' && i + 1 < source.size()) {
            const char next = source[++i];
            if (CFilterEngine::IsTokenChar(next)) {
                // A class, a code or a back reference: what follows it is no text.
                end();
                while (i + 1 < source.size() && CFilterEngine::IsTokenChar(source[i + 1]))
                    ++i;
            } else if (depth == 0 && static_cast<unsigned char>(next) < 0x80) {
                run += next;
            } else {
                end();
            }
            continue;
        }
        if (c == '[') {
            end();
            // Up to the closing bracket (one right after the opening is literal).
            size_t j = i + 1;
            if (j < source.size() && source[j] == '^')
                ++j;
            if (j < source.size() && source[j] == ']')
                ++j;
            while (j < source.size() && source[j] != ']')
                j += source[j] == '\\' ? 2 : 1;
            i = j;
            continue;
        }
        if (c == '(')
            ++depth;
        if (c == ')')
            --depth;
        if (c == '?' || c == '*' || c == '+' || c == '{') {
            if (!run.empty())
                run.pop_back();
            end();
            // A count: its digits are no text.
            if (c == '{') {
                size_t j = i + 1;
                while (j < source.size() && (std::isdigit(static_cast<unsigned char>(source[j])) || source[j] == ','))
                    ++j;
                if (j < source.size() && source[j] == '}')
                    i = j;
            }
            continue;
        }
        if (alnum && depth == 0)
            run += c;
        else
            end();
    }
    end();
    return ToLowerAscii(best);
}

// Where the host stands in a URL "scheme://user@host:port/...".
std::pair<size_t, size_t> HostSpan(std::string_view url)
{
    size_t begin = url.find("://");
    if (begin == std::string_view::npos)
        return {0, 0};
    begin += 3;
    size_t end = url.find_first_of("/?#", begin);
    if (end == std::string_view::npos)
        end = url.size();
    const size_t at = url.rfind('@', end);
    if (at != std::string_view::npos && at >= begin)
        begin = at + 1;
    if (begin < end && url[begin] == '[') {
        const size_t close = url.find(']', begin);
        if (close != std::string_view::npos && close < end)
            return {begin, close + 1};
    }
    const size_t colon = url.find(':', begin);
    if (colon != std::string_view::npos && colon < end)
        end = colon;
    return {begin, end};
}

unsigned TypeBit(ERequestType type)
{
    switch (type) {
    case ERequestType::Subdocument:
        return FILTER_SUBDOCUMENT;
    case ERequestType::Script:
        return FILTER_SCRIPT;
    case ERequestType::Image:
        return FILTER_IMAGE;
    case ERequestType::Stylesheet:
        return FILTER_STYLESHEET;
    case ERequestType::Xhr:
        return FILTER_XHR;
    case ERequestType::Other:
        break;
    }
    return FILTER_OTHER;
}

} // namespace

struct CFilterEngine::SMatchInput {
    std::string_view url;   // as given
    std::string lowerUrl;   // for the rules that ignore case, and the tokens
    size_t hostBegin = 0;
    size_t hostEnd = 0;
    std::string_view pageHost;
    unsigned type = FILTER_OTHER;
    bool thirdParty = false;
    std::vector<std::string_view> tokens;
    // The URL for the regular expressions, made once when the first needs it.
    mutable std::optional<QString> text;
};

bool CFilterEngine::IsTokenChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '%';
}

void CFilterEngine::AddNetwork(SNetworkRule rule)
{
    const auto id = uint32_t(m_rules.size());
    SIndex& index = rule.exception ? m_allow : m_block;
    const std::string_view token = rule.regex ? std::string_view() : PickToken(rule);
    if (rule.regex) {
        index.regexes.emplace_back(id, RegexLiteral(rule.pattern));
    } else if (token.empty()) {
        index.untokened.push_back(id);
    } else {
        // Tokens are looked up in the lower-case URL.
        auto it = index.byToken.find(token);
        if (it == index.byToken.end())
            it = index.byToken.emplace(ToLowerAscii(token), std::vector<uint32_t>()).first;
        it->second.push_back(id);
    }
    m_rules.push_back(std::move(rule));
}

void CFilterEngine::AddHiding(SHidingRule rule)
{
    const auto id = uint32_t(m_hiding.size());
    if (rule.domains.empty())
        m_hidingEverywhere.push_back(id);
    for (const std::string& domain : rule.domains)
        m_hidingByDomain[domain].push_back(id);
    m_hiding.push_back(std::move(rule));
}

EFilterLine CFilterEngine::AddLine(std::string_view line)
{
    SNetworkRule network;
    SHidingRule hiding;
    const EFilterLine kind = ParseFilterLine(line, network, hiding);
    if (kind == EFilterLine::Network)
        AddNetwork(std::move(network));
    else if (kind == EFilterLine::Hiding)
        AddHiding(std::move(hiding));
    return kind;
}

bool CFilterEngine::RuleApplies(const SNetworkRule& rule, const SMatchInput& input) const
{
    if (!(rule.types & input.type))
        return false;
    if (rule.party == EFilterParty::Third && !input.thirdParty)
        return false;
    if (rule.party == EFilterParty::First && input.thirdParty)
        return false;
    if (!rule.domains.empty()
        && std::none_of(rule.domains.begin(), rule.domains.end(),
                        [&](const std::string& d) { return HostIsOrUnder(input.pageHost, d); }))
        return false;
    if (std::any_of(rule.notDomains.begin(), rule.notDomains.end(),
                    [&](const std::string& d) { return HostIsOrUnder(input.pageHost, d); }))
        return false;
    if (rule.regex) {
        if (!input.text)
            input.text = QString::fromUtf8(input.url.data(), qsizetype(input.url.size()));
        return rule.regex->match(*input.text).hasMatch();
    }
    const std::string_view url = rule.matchCase ? input.url : std::string_view(input.lowerUrl);
    return MatchNetworkPattern(rule, url, input.hostBegin, input.hostEnd);
}

bool CFilterEngine::Matches(const SIndex& index, const SMatchInput& input) const
{
    for (const uint32_t id : index.untokened)
        if (RuleApplies(m_rules[id], input))
            return true;
    for (const auto& [id, literal] : index.regexes)
        if (input.lowerUrl.find(literal) != std::string::npos && RuleApplies(m_rules[id], input))
            return true;
    if (index.byToken.empty())
        return false;
    for (const std::string_view token : input.tokens) {
        const auto it = index.byToken.find(token);
        if (it == index.byToken.end())
            continue;
        for (const uint32_t id : it->second)
            if (RuleApplies(m_rules[id], input))
                return true;
    }
    return false;
}

bool CFilterEngine::Blocks(const SRequest& request) const
{
    return Decide(request, true);
}

bool CFilterEngine::BlocksByScan(const SRequest& request) const
{
    return Decide(request, false);
}

bool CFilterEngine::Scan(bool exceptions, const SMatchInput& input) const
{
    for (const SNetworkRule& rule : m_rules)
        if (rule.exception == exceptions && RuleApplies(rule, input))
            return true;
    return false;
}

bool CFilterEngine::Decide(const SRequest& request, bool indexed) const
{
    if (m_rules.empty())
        return false;
    const auto fill = [&](SMatchInput& input, std::string_view url) {
        input.url = url;
        input.lowerUrl = ToLowerAscii(url);
        std::tie(input.hostBegin, input.hostEnd) = HostSpan(url);
        input.pageHost = request.pageHost;
        input.type = TypeBit(request.type);
        input.thirdParty = !request.pageHost.empty() && BaseDomain(request.host) != BaseDomain(request.pageHost);
        const std::string_view lower = input.lowerUrl;
        for (size_t i = 0; i < lower.size();) {
            if (!IsTokenChar(lower[i])) {
                ++i;
                continue;
            }
            const size_t start = i;
            while (i < lower.size() && IsTokenChar(lower[i]))
                ++i;
            input.tokens.push_back(lower.substr(start, i - start));
        }
    };
    SMatchInput input;
    fill(input, request.url);
    // A rule names a host without its port: "||host/path" takes the host
    // on any port, so a URL with one is also tried without it.
    SMatchInput bare;
    std::string withoutPort;
    if (input.hostEnd < input.url.size() && input.url[input.hostEnd] == ':') {
        size_t portEnd = input.url.find_first_of("/?#", input.hostEnd);
        if (portEnd == std::string_view::npos)
            portEnd = input.url.size();
        withoutPort = std::string(input.url.substr(0, input.hostEnd)) + std::string(input.url.substr(portEnd));
        fill(bare, withoutPort);
    }
    const auto matches = [&](const SIndex& index) {
        if (!indexed) {
            const bool exceptions = &index == &m_allow;
            return Scan(exceptions, input) || (!withoutPort.empty() && Scan(exceptions, bare));
        }
        return Matches(index, input) || (!withoutPort.empty() && Matches(index, bare));
    };
    return matches(m_block) && !matches(m_allow);
}

std::string CFilterEngine::HidingStyleSheet(std::string_view host) const
{
    std::vector<uint32_t> ids;
    for (const uint32_t id : m_hidingEverywhere)
        ids.push_back(id);
    // The host and every domain above it.
    for (std::string_view domain = host; !domain.empty();) {
        const auto it = m_hidingByDomain.find(domain);
        if (it != m_hidingByDomain.end())
            ids.insert(ids.end(), it->second.begin(), it->second.end());
        const size_t dot = domain.find('.');
        domain = dot == std::string_view::npos ? std::string_view() : domain.substr(dot + 1);
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    std::string css;
    for (const uint32_t id : ids) {
        const SHidingRule& rule = m_hiding[id];
        if (std::any_of(rule.notDomains.begin(), rule.notDomains.end(),
                        [&](const std::string& d) { return HostIsOrUnder(host, d); }))
            continue;
        // One rule per selector: a selector the engine does not know then
        // drops only itself.
        css += rule.selector;
        css += " { display: none !important; }\n";
    }
    return css;
}

} // namespace nimbra
