#pragma once

#include "data/bookmarks/BookmarkFile.h"
#include "data/bookmarks/BkItem.h"
#include "platform/InputFile.h"
#include "data/session/ListFile.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace nimbra::editor {

// What an import keeps at most: the raw bytes of a title or folder name
// (far more than the stored width), of a URL (the longest the engine
// takes) and of a META charset; the size of a ".url" file read. An export
// tries "(0)" to "(kMaxNameSuffix)" after a name that exists.
inline constexpr size_t kMaxImportTextBytes = 16 * 1024;
inline constexpr size_t kMaxImportUrlBytes = 2 * 1024 * 1024;
inline constexpr size_t kMaxCharsetBytes = 256;
inline constexpr std::int64_t kMaxShortcutSize = 1024 * 1024;
inline constexpr int kMaxNameSuffix = 9999;

// Progress of a conversion running off the UI thread, and its Cancel.
struct SBkProgress {
    std::atomic<bool> cancel{false};
    std::atomic<std::int64_t> done{0};
    std::atomic<std::int64_t> total{0}; // 0 while unknown

    bool Cancelled() const { return cancel.load(std::memory_order_relaxed); }
};

// The entries an import made for its target folder.
struct SBkImport {
    BkItemList items;
    bool cancelled = false;
    bool foundList = false; // Netscape: a list was there
    EInputFileError error = EInputFileError::None;
};

// Why an export stopped: the file or folder and the reason.
struct SBkExportError {
    std::string path;
    std::string reason;
};

// Titles and URLs of HTML: named and numeric character references decoded.
// An invalid code point gives U+FFFD, a control character a blank.
std::string DecodeEntities(std::string_view text);
// "&", "<", ">" and `"` as references.
std::string EscapeHtml(std::string_view text);

// Reads a Netscape bookmark file as browsers write it, piece by piece:
// tags and attributes in any case and anywhere, an element split over
// lines, encoding from a byte-order mark (UTF-8, UTF-16) or a META
// charset that the system decodes (else per text: UTF-8 when valid, else
// CP932). Every list of the file goes into
// the target; "<H3>" names the next "<DL>". Folders deeper than
// `maxDepth` below the target are not opened. Attribute values but HREF
// and the charset are never kept.
class CNetscapeParser {
public:
    explicit CNetscapeParser(int maxDepth = kMaxFolderDepth);
    ~CNetscapeParser();
    CNetscapeParser(const CNetscapeParser&) = delete;
    CNetscapeParser& operator=(const CNetscapeParser&) = delete;

    void Feed(std::string_view bytes);
    // The entries read; foundList tells whether any list was there.
    SBkImport Finish();

private:
    struct SState;
    std::unique_ptr<SState> m;
};

SBkImport ParseNetscape(std::string_view bytes, int maxDepth = kMaxFolderDepth);
// Any size; only regular files. progress.total is the file's size.
SBkImport ReadNetscapeFile(const std::string& path, SBkProgress& progress, int maxDepth = kMaxFolderDepth);

// The whole export file of `root` (CR LF line ends, UTF-8).
std::string FormatNetscape(const BookmarkItem& root, std::string_view label);

// The Favorites folder: entries in case-insensitive name order, folders
// as folders, ".url" files (in any case, regular, up to 1 MB) as links.
// Unreadable folders, a folder already on the path (a link to a parent)
// and folders deeper than `maxDepth` are skipped. error is set when
// `folder` itself cannot be read.
SBkImport ReadFavorites(const std::string& folder, SBkProgress& progress, int maxDepth = kMaxFolderDepth);

// The file or folder name for a title: the eleven characters that names
// cannot hold in full width, each control character (NUL, line breaks) a
// blank, "ファイル名を付けれません" for an empty title, cut to 80 cells.
std::string FavoriteName(std::string_view title);

// Writes the root's entries into `folder`: a directory per folder and a
// ".url" per link, "(0)" to "(maxSuffix)" added to names that exist.
// Stops at the first failure and tells it.
std::optional<SBkExportError> WriteFavorites(const BookmarkItem& root, const std::string& folder,
                                             SBkProgress& progress, int maxSuffix = kMaxNameSuffix);

// Number of entries below a folder (for progress).
std::int64_t CountEntries(const BookmarkItem& folder);

// One "無題" link per URL.
BkItemList LinksFromList(const UrlList& urls);

// What a file dropped from another program adds, by its extension in any
// case: ".url" a link (its own path when it holds no URL), ".lnk" a link
// to its target, ".nbl" a "無題" link per URL, a ".desktop" file of
// Type=Link a link; nothing for other files, folders and empty texts.
BkItemList ItemsFromDroppedFile(const std::string& path);

} // namespace nimbra::editor
