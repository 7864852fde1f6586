// The history side file of a URL list: arbitrary files read against
// arbitrary lists without fault, give only bounded histories that belong to
// their entries, and what they give survives its own writer.
#include "FuzzSupport.h"

#include "data/session/TabHistoryFile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

using namespace nimbra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    UrlList list(in.ConsumeIntegralInRange<size_t>(0, 4));
    for (std::string& entry : list)
        entry = in.ConsumeRandomLengthString(64);
    // Half the inputs get a sound header, so that the blocks below it are
    // read and not only the checksum refused.
    const bool header = in.ConsumeBool();
    const std::string rest = in.ConsumeRemainingBytesAsString();
    const std::string text = header ? CTabHistoryFile::WithHeader(list, rest) : rest;

    const std::vector<STabHistory> histories = CTabHistoryFile::Parse(text, list);
    if (histories.size() != list.size())
        std::abort();
    bool stable = true;
    for (size_t i = 0; i < histories.size(); ++i) {
        const STabHistory& history = histories[i];
        if (history.Empty())
            continue;
        size_t bytes = 0;
        for (const SHistoryPage& page : history.entries)
            bytes += page.url.size() + page.title.size() + page.state.size();
        if (history.entries.size() > CTabHistoryFile::kMaxEntries || history.current >= history.entries.size()
            || history.Current().url != list[i] || bytes > CTabHistoryFile::kMaxTabBytes)
            std::abort();
        stable = stable && CTabHistoryFile::Bounded(history) == history;
    }
    if (stable && CTabHistoryFile::Parse(CTabHistoryFile::Format(list, histories), list) != histories)
        std::abort();

    // The same through the file.
    const std::string path = fuzzsupport::WriteFile("eaou.log.history", text);
    if (CTabHistoryFile::Read(path, list) != histories)
        std::abort();
    return 0;
}
