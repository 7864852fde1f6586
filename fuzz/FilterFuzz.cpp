// The filter-list parser and matcher on lists and requests from the input:
// every line is read or skipped without harm, the index gives the same
// answer as trying every rule, and a hiding style sheet holds only whole
// rules (no selector can open or close one).
#include "data/filters/FilterEngine.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

using namespace nimbra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const std::string url = in.ConsumeRandomLengthString(512);
    const std::string pageHost = in.ConsumeRandomLengthString(64);
    const auto type = static_cast<ERequestType>(in.ConsumeIntegralInRange<int>(0, 5));
    const std::string list = in.ConsumeRemainingBytesAsString();

    CFilterEngine engine;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find('\n', start);
        if (end == std::string::npos)
            end = list.size();
        engine.AddLine(std::string_view(list).substr(start, end - start));
        start = end + 1;
    }
    const size_t begin = url.find("://");
    const std::string host = begin == std::string::npos ? std::string() : url.substr(begin + 3, 32);
    const SRequest request{url, host, pageHost, type};
    if (engine.Blocks(request) != engine.BlocksByScan(request))
        std::abort();

    const std::string css = engine.HidingStyleSheet(pageHost);
    constexpr std::string_view kRule = " { display: none !important; }";
    for (size_t at = 0; at < css.size();) {
        const size_t end = css.find('\n', at);
        if (end == std::string::npos)
            std::abort();
        const std::string_view line = std::string_view(css).substr(at, end - at);
        if (line.size() <= kRule.size() || line.substr(line.size() - kRule.size()) != kRule
            || line.substr(0, line.size() - kRule.size()).find_first_of("{}") != std::string_view::npos)
            std::abort();
        at = end + 1;
    }
    return 0;
}
