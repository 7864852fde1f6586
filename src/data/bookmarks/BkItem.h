#pragma once

#include "data/bookmarks/BookmarkFile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra::editor {

// The kinds, numbered as the list's images are.
enum class EBkKind { Link = 0, Folder = 1, Separator = 2 };

inline constexpr char kRootLabel[] = "Nimbra Browser BookMark";
// What the URL column shows for entries without a URL.
inline constexpr char kFolderMarker[] = "<フォルダ>";
inline constexpr char kSeparatorMarker[] = "<セパレーター>";
inline constexpr char kSeparatorTitle[] = "-";

class CBkItem;
using BkItemPtr = std::unique_ptr<CBkItem>;
using BkItemList = std::vector<BkItemPtr>;

// One entry of a folder. A folder owns its entries in list order; the tree
// pane's folders are the folder entries, so tree order and list order are
// one order. The root is a folder without a parent.
class CBkItem {
public:
    static BkItemPtr MakeLink(std::string title, std::string url);
    static BkItemPtr MakeFolder(std::string name);
    static BkItemPtr MakeSeparator();
    ~CBkItem(); // frees any depth without recursion
    CBkItem(const CBkItem&) = delete;
    CBkItem& operator=(const CBkItem&) = delete;

    EBkKind Kind() const { return m_kind; }
    bool IsLink() const { return m_kind == EBkKind::Link; }
    bool IsFolder() const { return m_kind == EBkKind::Folder; }
    bool IsSeparator() const { return m_kind == EBkKind::Separator; }

    const std::string& Title() const { return m_title; }
    // A link's URL; the folder or separator marker for the others.
    const std::string& Url() const { return m_url; }
    CBkItem* Parent() const { return m_parent; }
    const BkItemList& Items() const { return m_items; }
    // Unique within the run; survives edits, not a reload.
    uint64_t Id() const { return m_id; }

    // The position in the parent's list (a scan); -1 for the root.
    int Row() const;
    // Folders above this entry: 0 for the root, 1 for its entries.
    int Depth() const;
    // True for `folder` itself and everything below it.
    bool IsWithin(const CBkItem* folder) const;
    // Folder levels of the sub-tree below this folder (0 when it holds no folder).
    int FolderHeight() const;

    // Adds an entry at the end of a folder that is not in a document yet
    // (building an import); the document's own changes go through CBkDoc.
    CBkItem* Append(BkItemPtr item);
    // Empties such a folder, handing its entries over.
    BkItemList TakeItems();

private:
    friend class CBkDoc;
    friend BkItemPtr FromBookmark(BookmarkItem item);
    CBkItem(EBkKind kind, std::string title, std::string url);

    EBkKind m_kind;
    std::string m_title;
    std::string m_url;
    CBkItem* m_parent = nullptr;
    BkItemList m_items;
    uint64_t m_id;
};

// The marker rule: text that enters the tree from a user or another file.
// A title holding a string the file's reader keys on ("<UL>", "</UL>",
// "<LI>", "</A>", "<HR>", in any case) gets each "<" as "＜", so it cannot
// read back as another element; it is then cut to the stored width.
std::string EntryTitle(std::string_view text);
// A URL gets `"` as "%22", and "<" as "%3C" when it holds such a string.
std::string EntryUrl(std::string_view text);

// Conversions with the file's tree, without recursion. Titles come as the
// editor's reader made them; a tree handed over whole gives up its texts
// instead of copying them.
BkItemPtr FromBookmark(BookmarkItem item);
BookmarkItem ToBookmark(const CBkItem& item);
// A deep copy, detached.
BkItemPtr Clone(const CBkItem& item);

} // namespace nimbra::editor
