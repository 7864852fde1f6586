// Text from files and pages: CP932/UTF-8 decoding, the Shift-JIS width, the
// cut (never splits a character, never wider than asked), and the number
// readers of the settings values.
#include "platform/Text.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdlib>

using namespace nimbra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const int width = in.ConsumeIntegralInRange(-2, 300);
    const std::string bytes = in.ConsumeRemainingBytesAsString();

    const std::string text = DecodeLine(bytes);
    if (!IsValidUtf8(text) || (IsValidUtf8(bytes) && text != bytes))
        std::abort();
    if (FromQ(ToQ(text)) != text)
        std::abort();

    bool straddled = false;
    const std::string cut = CutText(text, width, &straddled);
    if (text.compare(0, cut.size(), cut) != 0 || !IsValidUtf8(cut))
        std::abort(); // a prefix that ends between characters
    const int full = TextWidth(text);
    const int kept = TextWidth(cut);
    if (kept > std::max(width, 0) || (full <= width && cut != text))
        std::abort();
    if (cut.size() < text.size()) {
        // Only as much was left out as had to be: the next character does not fit.
        const int next = CutText(std::string_view(text).substr(cut.size()), 1).empty() ? 2 : 1;
        if (kept + next <= width || straddled != (next == 2 && kept == width - 1))
            std::abort();
    }

    const std::string title = TruncateTitle(text, width);
    if (full > width && width >= 0 && TextWidth(title) != width + 3)
        std::abort();

    ParseLeadingInt(bytes);
    bool whole = false;
    ParseIntList(bytes, &whole);
    OneLine(bytes);
    return 0;
}
