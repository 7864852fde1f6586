#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

// One web search engine: the search URL is front + text + back.
struct SSearchEngine {
    bool checked = true;
    std::string title;
    std::string front;
    std::string back;

    bool operator==(const SSearchEngine&) const = default;
};

// The four engines of a missing search.ini; only "Google" is checked.
std::vector<SSearchEngine> BuiltinSearchEngines();

// The search text as it goes into a URL: UTF-8 bytes other than A-Z a-z
// 0-9 - . _ ~ become %XX (a blank is %20).
std::string EncodeSearchText(std::string_view text);

// A text taken from the clipboard: trimmed and cut to kMaxClipboardChars
// characters, so no URL is ever formed from more.
inline constexpr size_t kMaxClipboardChars = 2048;
std::string ClipboardSearchText(std::string_view text);

// The engine list of the web search pane and its file, search.ini. The
// file is read once; it is written whole (CR LF) through a temporary file.
class CSearchEngineList {
public:
    static constexpr int kDefaultColumnSize = 300;
    static constexpr int kMinColumnSize = 20;
    static constexpr int kMaxColumnSize = 2000;

    enum class ESave {
        Command, // 3009: writes also over a file that could not be read
        Auto,    // at exit and after changes
    };

    // "ItemCount" missing, unreadable or -1: the built-in engines; 0 or
    // less: none. Otherwise one row per "SearchItem<i>" section present
    // with i below the count, in index order.
    void Load(const std::string& path);
    // False when nothing was written: the file failed, or it exists but
    // could not be read when loaded and `how` is Auto.
    bool Save(const std::string& path, ESave how);
    std::string Serialize() const;

    // The file existed but could not be read when loaded (and 3009 has not
    // written it since).
    bool Unreadable() const { return m_bUnreadable; }

    std::vector<SSearchEngine>& Engines() { return m_engines; }
    const std::vector<SSearchEngine>& Engines() const { return m_engines; }
    int Count() const { return int(m_engines.size()); }
    bool IsRow(int row) const { return row >= 0 && row < Count(); }

    // "Enable" of the options section, kept as read.
    int Enable() const { return m_nEnable; }
    int ColumnSize() const { return m_nColumnSize; }
    // Clamped to kMinColumnSize..kMaxColumnSize.
    void SetColumnSize(int width);

    // 3007: a checked "新しいサーチエンジン" at the end whose front URL is
    // the clipboard text when that holds "http://" or "https://", else
    // "http://". Returns its row.
    int Add(std::string_view clipboard);
    // Returns the row to select afterwards, -1 when the list is empty.
    int Remove(int row);
    // Swaps the row with its neighbour (step -1 up, +1 down); returns the
    // row that now holds it, or `row` when nothing moved.
    int Move(int row, int step);
    // Line breaks become blanks.
    void SetTexts(int row, std::string_view title, std::string_view front, std::string_view back);
    void CheckAll();
    void CheckOnly(int row);
    void InvertChecks();
    // By title ignoring ASCII case; equal titles keep their order.
    void SortByTitle(bool ascending);
    bool HasCheckedEngine() const;

    // The URLs to open for `text`, checked rows in list order; none for an
    // empty text.
    std::vector<std::string> SearchUrls(std::string_view text) const;

private:
    std::vector<SSearchEngine> m_engines;
    int m_nEnable = 1;
    int m_nColumnSize = kDefaultColumnSize;
    bool m_bUnreadable = false;
};

} // namespace nimbra
