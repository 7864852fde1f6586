#include "data/bookmarks/BkItem.h"

#include "platform/Text.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <utility>

namespace nimbra::editor {

namespace {

uint64_t NextId()
{
    static std::atomic<uint64_t> next{1};
    return next++;
}

bool ContainsNoCase(std::string_view text, std::string_view needle)
{
    return std::search(text.begin(), text.end(), needle.begin(), needle.end(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           }) != text.end();
}

bool HoldsMarker(std::string_view text)
{
    if (text.find('<') == std::string_view::npos)
        return false;
    for (std::string_view marker : {"<UL>", "</UL>", "<LI>", "</A>", "<HR>"}) {
        if (ContainsNoCase(text, marker))
            return true;
    }
    return false;
}

std::string Replace(std::string_view text, char from, std::string_view to)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == from)
            out += to;
        else
            out += c;
    }
    return out;
}

// Takes the texts of `item`, which keeps its entries.
BkItemPtr MakeEntry(BookmarkItem& item)
{
    switch (item.kind) {
    case BookmarkKind::Link:
        return CBkItem::MakeLink(std::move(item.title), std::move(item.url));
    case BookmarkKind::Folder:
        return CBkItem::MakeFolder(std::move(item.title));
    case BookmarkKind::Separator:
        break;
    }
    return CBkItem::MakeSeparator();
}

BookmarkItem MakeBookmark(const CBkItem& item)
{
    switch (item.Kind()) {
    case EBkKind::Link:
        return BookmarkItem::Link(item.Title(), item.Url());
    case EBkKind::Folder:
        return BookmarkItem::Folder(item.Title());
    case EBkKind::Separator:
        break;
    }
    return BookmarkItem::Separator();
}

} // namespace

CBkItem::CBkItem(EBkKind kind, std::string title, std::string url)
    : m_kind(kind), m_title(std::move(title)), m_url(std::move(url)), m_id(NextId())
{
}

CBkItem::~CBkItem()
{
    // Takes the entries of every folder below into one flat list first, so
    // that no destructor below runs into another.
    BkItemList pending = std::move(m_items);
    while (!pending.empty()) {
        BkItemPtr item = std::move(pending.back());
        pending.pop_back();
        for (BkItemPtr& child : item->m_items)
            pending.push_back(std::move(child));
        item->m_items.clear();
    }
}

BkItemPtr CBkItem::MakeLink(std::string title, std::string url)
{
    return BkItemPtr(new CBkItem(EBkKind::Link, std::move(title), std::move(url)));
}

BkItemPtr CBkItem::MakeFolder(std::string name)
{
    return BkItemPtr(new CBkItem(EBkKind::Folder, std::move(name), kFolderMarker));
}

BkItemPtr CBkItem::MakeSeparator()
{
    return BkItemPtr(new CBkItem(EBkKind::Separator, kSeparatorTitle, kSeparatorMarker));
}

int CBkItem::Row() const
{
    if (!m_parent)
        return -1;
    const BkItemList& list = m_parent->m_items;
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i].get() == this)
            return int(i);
    }
    return -1;
}

int CBkItem::Depth() const
{
    int depth = 0;
    for (const CBkItem* p = m_parent; p; p = p->m_parent)
        ++depth;
    return depth;
}

bool CBkItem::IsWithin(const CBkItem* folder) const
{
    for (const CBkItem* p = this; p; p = p->m_parent) {
        if (p == folder)
            return true;
    }
    return false;
}

int CBkItem::FolderHeight() const
{
    int height = 0;
    std::vector<std::pair<const CBkItem*, int>> stack{{this, 0}};
    while (!stack.empty()) {
        const auto [folder, level] = stack.back();
        stack.pop_back();
        height = std::max(height, level);
        for (const BkItemPtr& child : folder->m_items) {
            if (child->IsFolder())
                stack.emplace_back(child.get(), level + 1);
        }
    }
    return height;
}

CBkItem* CBkItem::Append(BkItemPtr item)
{
    item->m_parent = this;
    m_items.push_back(std::move(item));
    return m_items.back().get();
}

BkItemList CBkItem::TakeItems()
{
    for (BkItemPtr& item : m_items)
        item->m_parent = nullptr;
    return std::exchange(m_items, {});
}

std::string EntryTitle(std::string_view text)
{
    if (HoldsMarker(text))
        return CutText(Replace(text, '<', "＜"), kStoredTitleWidth);
    return CutText(text, kStoredTitleWidth);
}

std::string EntryUrl(std::string_view text)
{
    std::string url = Replace(text, '"', "%22");
    if (HoldsMarker(url))
        url = Replace(url, '<', "%3C");
    return url;
}

BkItemPtr FromBookmark(BookmarkItem item)
{
    BkItemPtr folder = MakeEntry(item);
    std::vector<std::pair<BookmarkItem*, CBkItem*>> stack{{&item, folder.get()}};
    while (!stack.empty()) {
        const auto [source, target] = stack.back();
        stack.pop_back();
        target->m_items.reserve(source->items.size());
        for (BookmarkItem& child : source->items) {
            CBkItem* made = target->Append(MakeEntry(child));
            if (child.IsFolder())
                stack.emplace_back(&child, made);
        }
    }
    return folder;
}

BookmarkItem ToBookmark(const CBkItem& item)
{
    BookmarkItem root = MakeBookmark(item);
    std::vector<std::pair<const CBkItem*, BookmarkItem*>> stack{{&item, &root}};
    while (!stack.empty()) {
        const auto [source, target] = stack.back();
        stack.pop_back();
        target->items.reserve(source->Items().size());
        for (const BkItemPtr& item : source->Items())
            target->items.push_back(MakeBookmark(*item));
        // The list is complete, so pointers into it stay valid.
        for (size_t i = 0; i < source->Items().size(); ++i) {
            if (source->Items()[i]->IsFolder())
                stack.emplace_back(source->Items()[i].get(), &target->items[i]);
        }
    }
    return root;
}

BkItemPtr Clone(const CBkItem& item)
{
    auto copyOne = [](const CBkItem& from) {
        if (from.IsFolder())
            return CBkItem::MakeFolder(from.Title());
        return from.IsLink() ? CBkItem::MakeLink(from.Title(), from.Url()) : CBkItem::MakeSeparator();
    };
    BkItemPtr copy = copyOne(item);
    std::vector<std::pair<const CBkItem*, CBkItem*>> stack{{&item, copy.get()}};
    while (!stack.empty()) {
        const auto [source, target] = stack.back();
        stack.pop_back();
        for (const BkItemPtr& child : source->Items()) {
            CBkItem* made = target->Append(copyOne(*child));
            if (child->IsFolder())
                stack.emplace_back(child.get(), made);
        }
    }
    return copy;
}

} // namespace nimbra::editor
