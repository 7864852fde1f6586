#pragma once

#include <string_view>

namespace nimbra {

// True when `pattern` covers the whole of `text`. `*` matches any run of
// characters, including none; every other byte must equal the text's byte
// exactly (case matters). There is no other wildcard and no escape.
// Runs in O(|pattern| * |text|) at worst.
bool MatchWildcard(std::string_view pattern, std::string_view text);

} // namespace nimbra
