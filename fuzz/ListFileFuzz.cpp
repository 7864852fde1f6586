// The URL list reader on arbitrary files, and the writer's round trip: a
// list read from a file, written and read again, comes back the same (but
// for line breaks inside an entry, which the writer turns into blanks).
#include "FuzzSupport.h"

#include "platform/Text.h"
#include "data/session/ListFile.h"

#include <cstdlib>

using namespace nimbra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path =
        fuzzsupport::WriteFile("list.nbl", std::string_view(reinterpret_cast<const char*>(data), size));
    UrlList list;
    if (!ReadListFile(path, list))
        std::abort(); // a regular file of bounded size always reads
    for (const std::string& entry : list) {
        if (entry.empty() || !IsValidUtf8(entry))
            std::abort();
    }

    const std::string copy = fuzzsupport::PathOf("copy.nbl");
    if (!WriteListFile(kHeadingUrlList, copy, list))
        std::abort();
    // The writer keeps every entry on its own line.
    UrlList expected;
    for (const std::string& entry : list)
        expected.push_back(OneLine(entry));
    UrlList again;
    if (!ReadListFile(copy, again) || again != expected)
        std::abort();
    return 0;
}
