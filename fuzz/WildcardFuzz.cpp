// The wildcard matcher of the blocked lists on patterns and texts from the
// input: the same answer as a plain table of prefixes, in bounded time
// (libFuzzer's time-out catches a matcher that backtracks).
#include "platform/Wildcard.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <vector>

using namespace nimbra;

namespace {

// match[i][j]: the first i pattern bytes cover the first j text bytes.
bool Reference(std::string_view pattern, std::string_view text)
{
    std::vector<std::vector<char>> match(pattern.size() + 1, std::vector<char>(text.size() + 1, 0));
    match[0][0] = 1;
    for (size_t i = 1; i <= pattern.size(); ++i) {
        for (size_t j = 0; j <= text.size(); ++j) {
            if (pattern[i - 1] == '*')
                match[i][j] = match[i - 1][j] || (j > 0 && match[i][j - 1]);
            else
                match[i][j] = j > 0 && match[i - 1][j - 1] && pattern[i - 1] == text[j - 1];
        }
    }
    return match[pattern.size()][text.size()];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const std::string pattern = in.ConsumeRandomLengthString(512);
    const std::string text = in.ConsumeRemainingBytesAsString();
    if (MatchWildcard(pattern, text) != Reference(pattern, text))
        std::abort();
    return 0;
}
