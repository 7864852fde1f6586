#pragma once

#include "data/filters/FilterRule.h"
#include "platform/WebBrowser.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace nimbra {

// The rules of the filter lists, indexed for matching. Each network rule
// is filed under one token of its pattern (a run of letters, digits and
// "%" that any URL it matches holds whole), so a request looks only at
// the rules filed under the tokens of its URL, and at the few rules that
// have no such token. Made once, then only read.
class CFilterEngine : public IRequestFilter {
public:
    void AddNetwork(SNetworkRule rule);
    void AddHiding(SHidingRule rule);
    // Adds one line of a list; what ParseFilterLine made of it.
    EFilterLine AddLine(std::string_view line);

    size_t NetworkCount() const { return m_rules.size(); }
    size_t HidingCount() const { return m_hiding.size(); }

    bool Blocks(const SRequest& request) const override;
    // The same answer without the index: every rule is tried. What the
    // index is checked and measured against.
    bool BlocksByScan(const SRequest& request) const;
    std::string HidingStyleSheet(std::string_view host) const override;

    // The URL's token runs, for the index.
    static bool IsTokenChar(char c);

private:
    struct STransparentHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };
    using Index = std::unordered_map<std::string, std::vector<uint32_t>, STransparentHash, std::equal_to<>>;

    struct SIndex {
        Index byToken;
        std::vector<uint32_t> untokened;
        // Regular expressions, each with a text the URL must hold first.
        std::vector<std::pair<uint32_t, std::string>> regexes;
    };

    struct SMatchInput;
    bool Decide(const SRequest& request, bool indexed) const;
    bool Scan(bool exceptions, const SMatchInput& input) const;
    bool Matches(const SIndex& index, const SMatchInput& input) const;
    bool RuleApplies(const SNetworkRule& rule, const SMatchInput& input) const;

    std::vector<SNetworkRule> m_rules;
    SIndex m_block;
    SIndex m_allow;
    std::vector<SHidingRule> m_hiding;
    // Hiding rules by each of their domains; those without one (for all
    // pages, perhaps less some) listed apart.
    std::unordered_map<std::string, std::vector<uint32_t>, STransparentHash, std::equal_to<>> m_hidingByDomain;
    std::vector<uint32_t> m_hidingEverywhere;
};

} // namespace nimbra
