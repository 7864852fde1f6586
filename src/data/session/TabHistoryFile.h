#pragma once

#include "data/session/ListFile.h"
#include "platform/TabHistory.h"

#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

// The back and forward history of the tabs of a URL list, kept in a side
// file beside the list ("<list>.history"), so that the list itself keeps
// its format for other programs. The side file names a fingerprint of the
// list's entries; read against a list it does not match (the list was
// written again without it, by another program or by hand), or damaged in
// any way, it gives every tab its URL alone.
//
// Layout, UTF-8 with CR LF line ends:
//   NimbraTabHistory 1
//   List <fingerprint of the list's entries>
//   Sum <checksum of the lines below>
//   then for every list entry in order:
//   Tab <current index> <page count>
//   <url> TAB <title> TAB <engine state in base64>   (one line per page,
//                                                     oldest first)
class CTabHistoryFile {
public:
    // Bounds of one tab's history: pages, and bytes of its URLs, titles and
    // engine states.
    static constexpr size_t kMaxEntries = 50;
    static constexpr size_t kMaxTabBytes = 256 * 1024;
    // Characters of a title that are kept.
    static constexpr size_t kMaxTitleChars = 512;

    // The side file of the list at `listPath`.
    static std::string PathFor(const std::string& listPath);

    // One history per entry of `list` (the list as read from its file):
    // the side file's when it belongs to this list and is sound throughout,
    // otherwise all empty.
    static std::vector<STabHistory> Parse(std::string_view text, const UrlList& list);
    // The same from the file at `path`; a missing or unreadable file gives
    // empty histories.
    static std::vector<STabHistory> Read(const std::string& path, const UrlList& list);

    // The side file of `list` with `histories`, one per entry (missing ones
    // are empty). A history is bounded first and kept only when its current
    // page is the list's entry.
    static std::string Format(const UrlList& list, const std::vector<STabHistory>& histories);
    // The whole side file of `list` around `tabs`, its "Tab" blocks: the
    // header, the list's fingerprint and the checksum of the blocks.
    static std::string WithHeader(const UrlList& list, std::string_view tabs);
    // Writes Format atomically; false when the file could not be written.
    static bool Write(const std::string& path, const UrlList& list, const std::vector<STabHistory>& histories);

    // At most kMaxEntries pages and kMaxTabBytes around the current page,
    // titles on one line and cut to kMaxTitleChars. Empty when the history
    // cannot be kept: no current page, an empty URL, a URL holding a tab or
    // a line break, or a current page beyond the byte bound by itself.
    static STabHistory Bounded(const STabHistory& history);
};

} // namespace nimbra
