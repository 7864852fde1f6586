#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nimbra::editor {

// The editor's settings in nbbe.ini of the data directory, named as their
// keys. Values out of range are clamped, unreadable ones give the defaults.
struct CBkSettings {
    int SplitterSize = 200;
    int ColumnTitle = 200; // ColumnSize "title,url"
    int ColumnUrl = 300;
    bool SortList = true;
    bool SortPriorityFolder = true;
    bool DropSelFolder = true;
    bool DblClkNavi = true;
    bool NaviShell = false;
    bool StartOpenTree = false;
    bool DeleteCheck = false;
    bool FavoritesAutoSearch = true;
    int ExpandTimer = 1300;
    std::string WindowPos;
    bool StatusBarVisible = true;

    std::string FindTextLast;
    bool FindTextCollate = false;
    std::vector<std::string> FindHistory; // FindText0..9, empty ones left out
    std::string IniDir;
    std::string LastPath;

    static constexpr int kFindHistorySize = 10;

    static std::string Path();
    void Load();
    // What the window stores when it closes.
    void StoreAtClose() const;
    void StoreColumnSize() const;
    void StoreSortList() const;
    void StoreDropSelFolder() const;
    void StoreIniDir() const;
    void StoreLastPath() const;
    // A search run from the dialog: the text goes on top of the history
    // unless it is its first entry already; history, last text and case
    // option are stored.
    void RememberFind(std::string_view text, bool matchCase);
};

// The standard bookmark file: BookmarkPath of the browser's nimbrab.ini,
// else bookmark.html in the data directory.
std::string StandardBookmarkPath();

} // namespace nimbra::editor
