#include "data/settings/BkSettings.h"

#include "platform/Ini.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <algorithm>

namespace nimbra::editor {

namespace {

constexpr char kSettings[] = "Settings";
constexpr char kOptions[] = "Options";
constexpr char kBarSection[] = "NimbraBe-Bar0";
constexpr int kMinPane = 16;
constexpr int kMaxPane = 4096;
constexpr int kMinExpandTimer = 50;
constexpr int kMaxExpandTimer = 60000;
// Longer search texts are cut: the field holds a line, not a file.
constexpr int kMaxFindWidth = 512;

std::string FindKey(int index)
{
    return "FindText" + std::to_string(index);
}

bool Flag(const CIniFile& ini, const char* key, bool def)
{
    return ini.GetInt(kSettings, key, def ? 1 : 0) != 0;
}

} // namespace

std::string CBkSettings::Path()
{
    return DataFile("nbbe.ini");
}

void CBkSettings::Load()
{
    const CIniFile ini(Path());
    SplitterSize = std::clamp(ini.GetInt(kSettings, "SplitterSize", 200), kMinPane, kMaxPane);
    const std::string columns = ini.GetString(kSettings, "ColumnSize", "200,300");
    const size_t comma = columns.find(',');
    const std::optional<int> title = ParseLeadingInt(columns.substr(0, comma));
    const std::optional<int> url =
        comma == std::string::npos ? std::nullopt : ParseLeadingInt(std::string_view(columns).substr(comma + 1));
    ColumnTitle = title && url ? std::clamp(*title, kMinPane, kMaxPane) : 200;
    ColumnUrl = title && url ? std::clamp(*url, kMinPane, kMaxPane) : 300;
    SortList = Flag(ini, "SortList", true);
    SortPriorityFolder = Flag(ini, "SortPriorityFolder", true);
    DropSelFolder = Flag(ini, "DropSelFolder", true);
    DblClkNavi = Flag(ini, "DblClkNavi", true);
    NaviShell = Flag(ini, "NaviShell", false);
    StartOpenTree = Flag(ini, "StartOpenTree", false);
    DeleteCheck = Flag(ini, "DeleteCheck", false);
    FavoritesAutoSearch = Flag(ini, "FavoritesAutoSearch", true);
    ExpandTimer = std::clamp(ini.GetInt(kSettings, "ExpandTimer", 1300), kMinExpandTimer, kMaxExpandTimer);
    WindowPos = ini.GetString(kSettings, "WindowPos", "");
    StatusBarVisible = ini.GetInt(kBarSection, "Visible", 1) != 0;

    FindTextLast = CutText(ini.GetString(kOptions, "FindTextLast", ""), kMaxFindWidth);
    FindTextCollate = ini.GetInt(kOptions, "FindTextCollate", 0) != 0;
    FindHistory.clear();
    for (int i = 0; i < kFindHistorySize; ++i) {
        std::string text = CutText(ini.GetString(kOptions, FindKey(i), ""), kMaxFindWidth);
        if (!text.empty())
            FindHistory.push_back(std::move(text));
    }
    IniDir = ini.GetString(kOptions, "IniDir", "");
    LastPath = ini.GetString(kOptions, "LastPath", "");
}

void CBkSettings::StoreAtClose() const
{
    CIniFile ini(Path());
    ini.WriteInt(kSettings, "SplitterSize", SplitterSize);
    ini.WriteInt(kSettings, "DblClkNavi", DblClkNavi);
    ini.WriteInt(kSettings, "StartOpenTree", StartOpenTree);
    ini.WriteInt(kSettings, "DeleteCheck", DeleteCheck);
    ini.WriteInt(kSettings, "FavoritesAutoSearch", FavoritesAutoSearch);
    ini.WriteInt(kSettings, "NaviShell", NaviShell);
    ini.WriteInt(kSettings, "SortPriorityFolder", SortPriorityFolder);
    ini.WriteInt(kSettings, "ExpandTimer", ExpandTimer);
    if (!WindowPos.empty())
        ini.WriteString(kSettings, "WindowPos", WindowPos);
    ini.WriteInt(kBarSection, "Visible", StatusBarVisible);
    StoreColumnSize();
}

void CBkSettings::StoreColumnSize() const
{
    CIniFile(Path()).WriteString(kSettings, "ColumnSize",
                                 std::to_string(ColumnTitle) + "," + std::to_string(ColumnUrl));
}

void CBkSettings::StoreSortList() const
{
    CIniFile(Path()).WriteInt(kSettings, "SortList", SortList);
}

void CBkSettings::StoreDropSelFolder() const
{
    CIniFile(Path()).WriteInt(kSettings, "DropSelFolder", DropSelFolder);
}

void CBkSettings::StoreIniDir() const
{
    CIniFile(Path()).WriteString(kOptions, "IniDir", IniDir);
}

void CBkSettings::StoreLastPath() const
{
    CIniFile(Path()).WriteString(kOptions, "LastPath", LastPath);
}

void CBkSettings::RememberFind(std::string_view text, bool matchCase)
{
    const std::string entry = CutText(text, kMaxFindWidth);
    if (entry.empty())
        return;
    if (FindHistory.empty() || FindHistory.front() != entry)
        FindHistory.insert(FindHistory.begin(), entry);
    if (FindHistory.size() > size_t(kFindHistorySize))
        FindHistory.resize(size_t(kFindHistorySize));
    FindTextLast = entry;
    FindTextCollate = matchCase;
    CIniFile ini(Path());
    for (int i = 0; i < kFindHistorySize; ++i)
        ini.WriteString(kOptions, FindKey(i), size_t(i) < FindHistory.size() ? FindHistory[size_t(i)] : "");
    ini.WriteString(kOptions, "FindTextLast", FindTextLast);
    ini.WriteInt(kOptions, "FindTextCollate", FindTextCollate);
}

std::string StandardBookmarkPath()
{
    const std::string path = CIniFile(DataFile("nimbrab.ini")).GetString("Options", "BookmarkPath", "");
    return path.empty() ? DataFile("bookmark.html") : path;
}

} // namespace nimbra::editor
