#include "data/filters/FilterLists.h"

#include "platform/Ini.h"
#include "platform/Text.h"

namespace nimbra {

namespace {

constexpr char kSection[] = "FilterLists";

} // namespace

std::vector<SFilterList> ReadFilterListsFile(const std::string& path)
{
    const CIniSnapshot ini(path);
    std::vector<SFilterList> lists;
    const int count = ini.GetInt(kSection, "Count", 0);
    for (int i = 0; i < count; ++i) {
        SFilterList list;
        list.path = ini.GetString(kSection, "Path" + std::to_string(i), "");
        list.enabled = ini.GetInt(kSection, "Enabled" + std::to_string(i), 0) != 0;
        if (!list.path.empty())
            lists.push_back(std::move(list));
    }
    return lists;
}

bool WriteFilterListsFile(const std::string& path, const std::vector<SFilterList>& lists)
{
    std::vector<SIniEdit> edits;
    const int old = CIniSnapshot(path).GetInt(kSection, "Count", 0);
    for (int i = int(lists.size()); i < old; ++i) {
        edits.push_back({kSection, "Path" + std::to_string(i), std::nullopt});
        edits.push_back({kSection, "Enabled" + std::to_string(i), std::nullopt});
    }
    edits.push_back({kSection, "Count", std::to_string(lists.size())});
    for (size_t i = 0; i < lists.size(); ++i) {
        edits.push_back({kSection, "Path" + std::to_string(i), OneLine(lists[i].path)});
        edits.push_back({kSection, "Enabled" + std::to_string(i), lists[i].enabled ? "1" : "0"});
    }
    return WriteIniValues(path, edits);
}

SFilterListCount ReadFilterList(const std::string& path, CFilterEngine* engine)
{
    SFilterListCount count;
    const SInputFile file = ReadInputFile(path);
    count.error = file.error;
    std::string_view bytes = file.bytes;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    SNetworkRule network;
    SHidingRule hiding;
    while (!bytes.empty()) {
        size_t end = bytes.find('\n');
        if (end == std::string_view::npos)
            end = bytes.size();
        const std::string line = DecodeLine(bytes.substr(0, end));
        bytes.remove_prefix(std::min(end + 1, bytes.size()));
        const EFilterLine kind = engine ? engine->AddLine(line) : ParseFilterLine(line, network, hiding);
        if (kind == EFilterLine::Network || kind == EFilterLine::Hiding)
            ++count.rules;
        else if (kind == EFilterLine::Skipped)
            ++count.skipped;
    }
    return count;
}

SFilterLoad LoadFilterLists(const std::vector<SFilterList>& lists)
{
    SFilterLoad load;
    auto engine = std::make_shared<CFilterEngine>();
    bool any = false;
    for (const SFilterList& list : lists) {
        if (!list.enabled) {
            load.counts.emplace_back();
            continue;
        }
        any = true;
        load.counts.push_back(ReadFilterList(list.path, engine.get()));
    }
    if (any)
        load.engine = std::move(engine);
    return load;
}

} // namespace nimbra
