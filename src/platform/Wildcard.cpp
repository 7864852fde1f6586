#include "platform/Wildcard.h"

namespace nimbra {

bool MatchWildcard(std::string_view pattern, std::string_view text)
{
    size_t p = 0;
    size_t t = 0;
    // Position after the last star seen and the text position it was tried at;
    // a mismatch lets that star swallow one more byte. Earlier stars never
    // need revisiting, so this stays O(|pattern| * |text|).
    size_t starP = std::string_view::npos;
    size_t starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = ++p;
            starT = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (starP != std::string_view::npos) {
            p = starP;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

} // namespace nimbra
