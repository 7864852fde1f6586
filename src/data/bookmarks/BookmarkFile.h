#pragma once

#include "platform/InputFile.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

// The bookmark file: one element per line, classified by plain substring
// tests. Both programs read and write it through this file.

enum class BookmarkKind { Link, Folder, Separator };

// One entry of a folder. A folder's entries are in file order; the root list
// is a folder with an empty title.
struct BookmarkItem {
    BookmarkKind kind = BookmarkKind::Link;
    std::string title;               // link title or folder name; empty for separators
    std::string url;                 // links only
    std::vector<BookmarkItem> items; // folders only

    static BookmarkItem Link(std::string title, std::string url);
    static BookmarkItem Folder(std::string name, std::vector<BookmarkItem> items = {});
    static BookmarkItem Separator();

    bool IsLink() const { return kind == BookmarkKind::Link; }
    bool IsFolder() const { return kind == BookmarkKind::Folder; }
    bool IsSeparator() const { return kind == BookmarkKind::Separator; }

    bool operator==(const BookmarkItem& other) const = default;
};

// The two readers differ only in what they do with the text they extract.
// Browser: stops at the end of the root list, takes everything as is.
// Editor: turns "&amp;" into "&" in titles and names, cuts them to
// kStoredTitleWidth, and reads every later list into the root as well.
enum class BookmarkReader { Browser, Editor };

inline constexpr char kBookmarkFileTitle[] = "Nimbra Browser BookMark";
inline constexpr char kLinksFolderName[] = "リンク";
inline constexpr int kStoredTitleWidth = 200;

// Folders nested deeper than this below the root are not opened: their
// entries go to the deepest open folder and their closing lines are matched
// up, so the rest of the file keeps its structure. Code that walks the tree
// recursively can rely on this bound.
inline constexpr int kMaxFolderDepth = 1000;

// Parses the text of a bookmark file (CR LF or LF line ends; lines that are
// not UTF-8 are read as CP932) and returns the root folder. `folded`, when
// given, tells whether folders nested deeper than kMaxFolderDepth were
// folded in, so that the tree does not hold the file whole.
BookmarkItem ParseBookmarks(std::string_view text, BookmarkReader reader, bool* folded = nullptr);

// Reads the file in one go and parses it; nullopt when it cannot be read
// (`error`, when given, tells why).
std::optional<BookmarkItem> ReadBookmarkFile(const std::string& path, BookmarkReader reader,
                                             EInputFileError* error = nullptr, bool* folded = nullptr);

// A title or folder name as the editor holds it: "&amp;" decoded, then cut
// to kStoredTitleWidth without splitting a character.
std::string EditorTitle(std::string_view text);

// True for the links folder's name ("リンク" after trimming).
bool IsLinksFolderName(std::string_view name);

// The whole file for `root`: header, the entries one tab deeper per level,
// footer, CR LF line ends. Text is written byte for byte, except that a line
// break inside a title, name or URL becomes a blank so that every element
// stays on its own line, and that a marker the readers key on ("<UL>",
// "</UL>", "</A>", "<HR>", "<LI>", "\">", in any case) has its "<" and ">"
// written as "＜" and "＞" (in URLs as "%3C" and "%3E").
std::string FormatBookmarkFile(const BookmarkItem& root);

// Writes FormatBookmarkFile(root) atomically; false when it failed (the old
// file is then unchanged, and `error`, when given, says why).
bool WriteBookmarkFile(const std::string& path, const BookmarkItem& root, std::string* error = nullptr);

// Writes the five-line empty file.
bool WriteEmptyBookmarkFile(const std::string& path);

// The link bar's contents: the links of every links folder (at any depth)
// and each of its sub-folders, in file order; a sub-folder follows the
// contents of any links folder nested in it.
struct LinkBarEntry {
    const BookmarkItem* item; // a link, or a folder shown as a drop-down button
    int linkNumber;           // the link's number among all links of the tree in file order; -1 for a folder
};
std::vector<LinkBarEntry> LinkBarEntries(const BookmarkItem& root);

// The folders of the file with the position of each folder's own closing
// line, for inserting at the end of a chosen folder. The root has an empty
// name. endLine is -1 when the file ended before the folder did.
struct BookmarkOutline {
    std::string name;
    int endLine = -1;
    std::vector<BookmarkOutline> folders;
};

// Where a folder lies in an outline: from the root down, each folder's name
// and how many folders of that name come before it among its siblings. It
// names the same folder after other programs added or removed other lines.
struct BookmarkFolderStep {
    std::string name;
    int sameNameBefore = 0;
};
using BookmarkFolderPath = std::vector<BookmarkFolderStep>;
// The folder at `path` below `root` (`root` itself for an empty path);
// nullptr when there is none.
const BookmarkOutline* FindOutlineFolder(const BookmarkOutline& root, const BookmarkFolderPath& path);

// The lines the browser inserts (one tab of indentation whatever the depth).
std::string BookmarkLinkLine(std::string_view url, std::string_view title);
std::string BookmarkFolderLine(std::string_view name);
inline constexpr char kBookmarkFolderEndLine[] = "\t</UL>";

// The file as an ordered list of lines (without their line breaks), as the
// browser edits it: every line it does not insert is kept byte for byte.
class CBookmarkLines {
public:
    // False when the file cannot be opened; the list is then empty.
    bool Load(const std::string& path);
    // Each line followed by CR LF, written atomically.
    bool Save(const std::string& path) const;

    const std::vector<std::string>& Lines() const { return m_lines; }

    // The root list can be extended only when the last line contains
    // "</HTML>" and the one before it "</UL>".
    bool CanAddToRoot() const;
    // Inserts a link line before the second-to-last line; false (and no
    // change) when CanAddToRoot() is false.
    bool AddLinkToRoot(std::string_view url, std::string_view title);

    // Insert before line `endLine` (a folder's closing line, from Outline());
    // false when it is not a line of the list.
    bool InsertLink(int endLine, std::string_view url, std::string_view title);
    bool InsertFolder(int endLine, std::string_view name);

    // The folder structure as the browser reads it (up to the end of the root list).
    BookmarkOutline Outline() const;

private:
    bool IsLine(int index) const;

    std::vector<std::string> m_lines;
};

struct BookmarkPage {
    std::string url;
    std::string title;
};

enum class RootAddResult {
    Added,       // the file was rewritten with the new links
    Unreadable,  // the file could not be opened
    Unsuitable,  // fewer than two lines, or not ending in "</UL>" and "</HTML>": left untouched
    WriteFailed, // the new file could not be written; the old one is unchanged
};

// Adds the pages, in order, at the end of the root list of the file.
RootAddResult AddPagesToRoot(const std::string& path, const std::vector<BookmarkPage>& pages);

} // namespace nimbra
