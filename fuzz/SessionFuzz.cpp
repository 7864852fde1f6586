// The open-tabs log with the start-up list, and "rcul.ini": arbitrary files
// load without fault, and the recently closed list survives its own file.
#include "FuzzSupport.h"

#include "platform/Text.h"
#include "data/session/OpenTabsLog.h"
#include "data/session/RecentClosed.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdlib>

using namespace nimbra;

namespace {

// A value that the INI reader gives back as written: no blanks or quotes
// at its ends and no line breaks.
bool StoresAsIs(const std::string& value)
{
    return value == Trim(value) && value.find_first_of("\r\n") == std::string::npos &&
           (value.empty() || (value.front() != '"' && value.back() != '"'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const bool removeRepeats = in.ConsumeBool();
    const std::string startup = fuzzsupport::WriteFile("startup.html", in.ConsumeRandomLengthString(4096));
    const std::string bytes = in.ConsumeRemainingBytesAsString();

    const std::string log = fuzzsupport::WriteFile("eaou.log", bytes);
    const std::vector<SRestoreEntry> entries = LogEntriesToRestore(log, removeRepeats, startup);
    if (std::any_of(entries.begin(), entries.end(), [](const SRestoreEntry& e) { return e.url.empty(); }))
        std::abort();

    const std::string rcul = fuzzsupport::WriteFile("rcul.ini", bytes);
    CRecentClosed closed;
    closed.Load(rcul);
    if (closed.Entries().size() > CRecentClosed::kMaxEntries)
        std::abort();
    for (size_t i = 0; i < closed.Entries().size(); ++i)
        closed.MenuLabel(i);

    const std::string saved = fuzzsupport::PathOf("rcul-saved.ini");
    std::remove(saved.c_str());
    if (!closed.Save(saved))
        std::abort();
    CRecentClosed again;
    again.Load(saved);
    const bool stable = std::all_of(closed.Entries().begin(), closed.Entries().end(),
                                    [](const CRecentClosed::SEntry& e) { return StoresAsIs(e.url) && StoresAsIs(e.title); });
    if (stable) {
        if (again.Entries().size() != closed.Entries().size())
            std::abort();
        for (size_t i = 0; i < again.Entries().size(); ++i) {
            if (again.Entries()[i].url != closed.Entries()[i].url || again.Entries()[i].title != closed.Entries()[i].title)
                std::abort();
        }
    }
    return 0;
}
