#pragma once

#include <QRegularExpression>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

// What a request is for, as a filter rule's type options name it.
enum EFilterType : unsigned {
    FILTER_SCRIPT = 0x1,
    FILTER_IMAGE = 0x2,
    FILTER_STYLESHEET = 0x4,
    FILTER_XHR = 0x8,
    FILTER_SUBDOCUMENT = 0x10,
    FILTER_OTHER = 0x20,
    FILTER_ANY_TYPE = 0x3F,
};

// Which requests a rule takes by the party of the page that makes them.
enum class EFilterParty { Any, First, Third };

// A network rule: `pattern` is matched against the request URL (lower case
// unless `matchCase`); `*` stands for any run of characters and `^` for a
// separator (a character other than a letter, digit, "_", "-", ".", "%",
// or the end of the URL). `hostAnchor` ("||") starts the match at the
// host or at one of its labels, `startAnchor` ("|") at the start of the
// URL, `endAnchor` ("|" at the end) ends it at the end of the URL.
struct SNetworkRule {
    std::string pattern;
    std::optional<QRegularExpression> regex; // "/regex/" rules: pattern holds its source
    bool exception = false;                  // "@@"
    bool matchCase = false;
    bool hostAnchor = false;
    bool startAnchor = false;
    bool endAnchor = false;
    unsigned types = FILTER_ANY_TYPE;
    EFilterParty party = EFilterParty::Any;
    // "$domain=": the page's host is one of `domains` (or below one) when
    // that list is not empty, and none of `notDomains`. Lower case.
    std::vector<std::string> domains;
    std::vector<std::string> notDomains;
};

// An element hiding rule "domains##selector": without domains it hides on
// every page.
struct SHidingRule {
    std::string selector;
    std::vector<std::string> domains;
    std::vector<std::string> notDomains;
};

enum class EFilterLine {
    Blank,   // empty
    Comment, // "!" comments and "[Adblock ...]" headers
    Network,
    Hiding,
    Skipped, // a form or option this browser does not understand
};

// Reads one line of a filter list into `network` or `hiding`.
EFilterLine ParseFilterLine(std::string_view line, SNetworkRule& network, SHidingRule& hiding);

// True when `host` is `domain` or a host below it ("a.example.com" is
// below "example.com").
bool HostIsOrUnder(std::string_view host, std::string_view domain);

// The part of a host that one owner holds, which tells first from third
// parties: an IP address whole, else the last two labels, or three under
// the usual two-letter country suffixes of the form "co.uk" / "ne.jp".
std::string_view BaseDomain(std::string_view host);

// Whether the pattern of `rule` (one that is no regular expression)
// matches `url` (lower case already unless the rule matches case);
// `hostBegin`/`hostEnd` delimit the URL's host.
bool MatchNetworkPattern(const SNetworkRule& rule, std::string_view url, size_t hostBegin, size_t hostEnd);

} // namespace nimbra
