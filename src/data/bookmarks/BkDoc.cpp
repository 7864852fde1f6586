#include "data/bookmarks/BkDoc.h"

#include <QThreadPool>

#include <algorithm>
#include <cctype>
#include <deque>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace nimbra::editor {

namespace {

unsigned char Lower(char c)
{
    return static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(c)));
}

bool Contains(std::string_view text, std::string_view needle, bool matchCase)
{
    if (matchCase)
        return text.find(needle) != std::string_view::npos;
    return std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                       [](char a, char b) { return Lower(a) == Lower(b); })
        != text.end();
}

// The text as the list sorts it: byte order after ASCII case folding, so
// multibyte characters compare whole. Made once per entry, not per
// comparison.
std::string SortKey(std::string_view text)
{
    std::string key(text);
    for (char& c : key)
        c = char(Lower(c));
    return key;
}

// Every folder below `root` in tree order (root first), through `children`.
template <class Folder, class Children>
std::vector<Folder*> PreOrder(Folder* root, Children children)
{
    std::vector<Folder*> order;
    std::vector<Folder*> stack{root};
    while (!stack.empty()) {
        Folder* folder = stack.back();
        stack.pop_back();
        order.push_back(folder);
        const auto& items = children(folder);
        for (auto it = items.rbegin(); it != items.rend(); ++it) {
            if ((*it).get()->IsFolder())
                stack.push_back((*it).get());
        }
    }
    return order;
}

// A BookmarkItem child as the pointer-like thing PreOrder wants.
struct SRef {
    const BookmarkItem* item;
    const BookmarkItem* get() const { return item; }
};

std::vector<SRef> Refs(const BookmarkItem* folder)
{
    std::vector<SRef> refs;
    refs.reserve(folder->items.size());
    for (const BookmarkItem& item : folder->items)
        refs.push_back({&item});
    return refs;
}

std::string EntryKey(const BookmarkItem& item)
{
    std::string key(1, char('0' + int(item.kind)));
    key += item.title;
    key += '\x1f';
    key += item.url;
    return key;
}

// Entries that left the document for good (a replaced tree, a former
// clipboard, undone additions) may be many small blocks to free: that
// happens off the UI thread, once nothing points into them any more.
template <class Garbage>
void Discard(Garbage garbage)
{
    auto* raw = new Garbage(std::move(garbage));
    QThreadPool::globalInstance()->start([raw] { delete raw; });
}

} // namespace

CBkDoc::CBkDoc()
{
    Reset(BookmarkItem::Folder({}));
}

CBkDoc::~CBkDoc()
{
    // Records may hold entries below folders of the tree: free them first.
    m_journal.clear();
}

void CBkDoc::Reset(BookmarkItem root)
{
    Discard(std::exchange(m_journal, {}));
    // The panes let go of the old tree before it is freed.
    BkItemPtr old = std::move(m_root);
    m_root = FromBookmark(std::move(root));
    m_root->m_title = kRootLabel;
    ++m_revision;
    if (m_observer)
        m_observer->OnTreeReset();
    Discard(std::move(old));
}

void CBkDoc::Reset(BkItemList items)
{
    Discard(std::exchange(m_journal, {}));
    BkItemPtr old = std::move(m_root);
    m_root = CBkItem::MakeFolder(kRootLabel);
    for (BkItemPtr& item : items)
        m_root->Append(std::move(item));
    ++m_revision;
    if (m_observer)
        m_observer->OnTreeReset();
    Discard(std::move(old));
}

void CBkDoc::Changed(CBkItem* folder, bool subFolders)
{
    ++m_revision;
    if (m_observer)
        m_observer->OnFolderChanged(folder, subFolders);
}

void CBkDoc::Record(SUndoRecord record)
{
    m_journal.push_back(std::move(record));
}

bool CBkDoc::IsAttached(const CBkItem* item) const
{
    return item && item->IsWithin(m_root.get());
}

bool CBkDoc::Fits(const CBkItem* item, const CBkItem* target) const
{
    return !item->IsFolder() || target->Depth() + 1 + item->FolderHeight() <= kMaxFolderDepth;
}

CBkItem* CBkDoc::Add(CBkItem* folder, BkItemPtr item)
{
    if (!folder || !folder->IsFolder() || !Fits(item.get(), folder))
        return nullptr;
    CBkItem* added = folder->Append(std::move(item));
    SUndoRecord record{EUndoKind::Added, {}, false, {}};
    record.entries.push_back({added, nullptr, nullptr, 0});
    Record(std::move(record));
    Changed(folder, added->IsFolder());
    return added;
}

CBkItem* CBkDoc::NewLink(CBkItem* folder, std::string_view title, std::string_view url)
{
    return Add(folder, CBkItem::MakeLink(EntryTitle(title), EntryUrl(url)));
}

CBkItem* CBkDoc::NewSeparator(CBkItem* folder)
{
    return Add(folder, CBkItem::MakeSeparator());
}

CBkItem* CBkDoc::NewFolder(CBkItem* folder, std::string_view name)
{
    return Add(folder, CBkItem::MakeFolder(EntryTitle(name)));
}

std::vector<CBkItem*> CBkDoc::Append(CBkItem* folder, BkItemList items)
{
    std::vector<CBkItem*> added;
    if (!folder || !folder->IsFolder())
        return added;
    SUndoRecord record{EUndoKind::Added, {}, false, {}};
    bool subFolders = false;
    for (BkItemPtr& item : items) {
        if (!Fits(item.get(), folder))
            continue;
        subFolders |= item->IsFolder();
        added.push_back(folder->Append(std::move(item)));
        record.entries.push_back({added.back(), nullptr, nullptr, 0});
    }
    if (added.empty())
        return added;
    Record(std::move(record));
    Changed(folder, subFolders);
    return added;
}

bool CBkDoc::SetTitle(CBkItem* item, std::string_view text)
{
    if (!item || !item->Parent() || item->IsSeparator() || text.empty())
        return false;
    return SetText(item, false, EntryTitle(text));
}

bool CBkDoc::SetUrl(CBkItem* item, std::string_view text)
{
    if (!item || !item->IsLink() || text.empty())
        return false;
    return SetText(item, true, EntryUrl(text));
}

bool CBkDoc::SetText(CBkItem* item, bool url, std::string text)
{
    std::string& field = url ? item->m_url : item->m_title;
    if (text == field)
        return false;
    SUndoRecord record{EUndoKind::TextChanged, {}, url, std::move(field)};
    record.entries.push_back({item, nullptr, nullptr, 0});
    Record(std::move(record));
    field = std::move(text);
    ++m_revision;
    if (m_observer)
        m_observer->OnItemChanged(item);
    return true;
}

std::vector<std::pair<CBkItem*, CBkDoc::Placed>> CBkDoc::Detach(const std::vector<CBkItem*>& items)
{
    std::vector<std::pair<CBkItem*, Placed>> result;
    std::unordered_map<CBkItem*, std::unordered_set<CBkItem*>> byFolder;
    for (CBkItem* item : items) {
        if (!item->m_parent)
            continue;
        auto [it, fresh] = byFolder.try_emplace(item->m_parent);
        if (fresh)
            result.emplace_back(item->m_parent, Placed());
        it->second.insert(item);
    }
    for (auto& [folder, placed] : result) {
        const std::unordered_set<CBkItem*>& taken = byFolder[folder];
        BkItemList kept;
        kept.reserve(folder->m_items.size() - taken.size());
        for (size_t i = 0; i < folder->m_items.size(); ++i) {
            BkItemPtr& item = folder->m_items[i];
            if (taken.count(item.get())) {
                item->m_parent = nullptr;
                placed.emplace_back(int(i), std::move(item));
            } else {
                kept.push_back(std::move(item));
            }
        }
        folder->m_items = std::move(kept);
    }
    return result;
}

void CBkDoc::Insert(CBkItem* folder, Placed placed)
{
    BkItemList& old = folder->m_items;
    BkItemList out;
    out.reserve(old.size() + placed.size());
    size_t next = 0;
    for (auto& [position, item] : placed) {
        while (int(out.size()) < position && next < old.size())
            out.push_back(std::move(old[next++]));
        item->m_parent = folder;
        out.push_back(std::move(item));
    }
    while (next < old.size())
        out.push_back(std::move(old[next++]));
    old = std::move(out);
}

void CBkDoc::Delete(CBkItem* folder, const std::vector<int>& rows)
{
    if (!folder || !folder->IsFolder())
        return;
    std::vector<CBkItem*> items;
    for (int row : rows) {
        if (row >= 0 && size_t(row) < folder->m_items.size())
            items.push_back(folder->m_items[size_t(row)].get());
    }
    if (items.empty())
        return;
    SUndoRecord record{EUndoKind::Deleted, {}, false, {}};
    bool subFolders = false;
    for (auto& [from, placed] : Detach(items)) {
        for (auto& [position, item] : placed) {
            subFolders |= item->IsFolder();
            CBkItem* raw = item.get();
            record.entries.push_back({raw, std::move(item), from, position});
        }
    }
    Record(std::move(record));
    Changed(folder, subFolders);
}

bool CBkDoc::DeleteFolder(CBkItem* folder)
{
    if (!folder || !folder->IsFolder() || !folder->Parent())
        return false;
    CBkItem* parent = folder->Parent();
    Delete(parent, {folder->Row()});
    return true;
}

bool CBkDoc::CanMove(const std::vector<CBkItem*>& items, const CBkItem* target) const
{
    if (!target || !target->IsFolder() || !IsAttached(target))
        return false;
    bool any = false;
    for (const CBkItem* item : items) {
        if (item->IsFolder() && (target->IsWithin(item) || !Fits(item, target)))
            return false;
        any |= item->Parent() != target;
    }
    return any;
}

bool CBkDoc::Move(const std::vector<CBkItem*>& items, CBkItem* target)
{
    if (!CanMove(items, target))
        return false;
    std::vector<CBkItem*> moving;
    for (CBkItem* item : items) {
        if (item->Parent() != target && std::find(moving.begin(), moving.end(), item) == moving.end())
            moving.push_back(item);
    }
    SUndoRecord record{EUndoKind::Moved, {}, false, {}};
    std::unordered_map<CBkItem*, BkItemPtr> taken;
    bool subFolders = false;
    std::vector<CBkItem*> sources;
    for (auto& [from, placed] : Detach(moving)) {
        sources.push_back(from);
        for (auto& [position, item] : placed) {
            subFolders |= item->IsFolder();
            record.entries.push_back({item.get(), nullptr, from, position});
            taken.emplace(item.get(), std::move(item));
        }
    }
    for (CBkItem* item : moving)
        target->Append(std::move(taken[item]));
    Record(std::move(record));
    for (CBkItem* from : sources)
        Changed(from, subFolders);
    Changed(target, subFolders);
    return true;
}

void CBkDoc::Sort(CBkItem* folder, ESortColumn column, bool ascending, bool foldersFirst)
{
    if (!folder || !folder->IsFolder())
        return;
    BkItemList& items = folder->m_items;
    struct SKeyed {
        std::string key;
        BkItemPtr item;
    };
    std::vector<SKeyed> keyed;
    keyed.reserve(items.size());
    for (BkItemPtr& item : items) {
        std::string key = SortKey(column == ESortColumn::Title ? item->Title() : item->Url());
        keyed.push_back({std::move(key), std::move(item)});
    }
    // std::string compares its bytes unsigned, as the folded bytes are meant.
    std::stable_sort(keyed.begin(), keyed.end(), [](const SKeyed& a, const SKeyed& b) { return a.key < b.key; });
    for (size_t i = 0; i < items.size(); ++i)
        items[i] = std::move(keyed[i].item);
    if (!ascending)
        std::reverse(items.begin(), items.end());
    if (foldersFirst) {
        std::stable_partition(items.begin(), items.end(),
                              [ascending](const BkItemPtr& item) { return item->IsFolder() == ascending; });
    }
    Changed(folder, true);
}

void CBkDoc::Copy(CBkItem* folder, const std::vector<int>& rows)
{
    if (!folder || !folder->IsFolder())
        return;
    BkItemList copies;
    for (int row : rows) {
        if (row >= 0 && size_t(row) < folder->m_items.size())
            copies.push_back(Clone(*folder->m_items[size_t(row)]));
    }
    if (!copies.empty())
        Discard(std::exchange(m_clipboard, std::move(copies)));
}

void CBkDoc::Cut(CBkItem* folder, const std::vector<int>& rows)
{
    Copy(folder, rows);
    Delete(folder, rows);
}

std::vector<CBkItem*> CBkDoc::Paste(CBkItem* folder, int position)
{
    std::vector<CBkItem*> pasted;
    if (!folder || !folder->IsFolder() || m_clipboard.empty())
        return pasted;
    for (const BkItemPtr& item : m_clipboard) {
        if (!Fits(item.get(), folder))
            return pasted;
    }
    position = std::clamp(position, 0, int(folder->m_items.size()));
    Placed placed;
    SUndoRecord record{EUndoKind::Pasted, {}, false, {}};
    bool subFolders = false;
    for (const BkItemPtr& item : m_clipboard) {
        BkItemPtr copy = Clone(*item);
        subFolders |= copy->IsFolder();
        pasted.push_back(copy.get());
        record.entries.push_back({copy.get(), nullptr, nullptr, 0});
        placed.emplace_back(position++, std::move(copy));
    }
    Insert(folder, std::move(placed));
    Record(std::move(record));
    Changed(folder, subFolders);
    return pasted;
}

bool CBkDoc::Undo()
{
    if (m_journal.empty())
        return false;
    SUndoRecord record = std::move(m_journal.back());
    m_journal.pop_back();

    // The folders to put entries back into, each with its entries.
    std::vector<std::pair<CBkItem*, Placed>> restore;
    auto restoreInto = [&](CBkItem* folder, int position, BkItemPtr item) {
        if (!IsAttached(folder))
            folder = m_root.get();
        auto it = std::find_if(restore.begin(), restore.end(), [folder](const auto& p) { return p.first == folder; });
        if (it == restore.end()) {
            restore.emplace_back(folder, Placed());
            it = std::prev(restore.end());
        }
        it->second.emplace_back(position, std::move(item));
    };
    std::vector<std::pair<CBkItem*, Placed>> removed;
    std::vector<CBkItem*> items;
    for (const SUndoEntry& entry : record.entries)
        items.push_back(entry.item);

    switch (record.kind) {
    case EUndoKind::Deleted:
        for (SUndoEntry& entry : record.entries)
            restoreInto(entry.folder, entry.position, std::move(entry.owned));
        break;
    case EUndoKind::Moved: {
        removed = Detach(items);
        std::unordered_map<CBkItem*, BkItemPtr> taken;
        for (auto& [from, placed] : removed) {
            for (auto& [position, item] : placed)
                taken.emplace(item.get(), std::move(item));
        }
        for (SUndoEntry& entry : record.entries) {
            if (BkItemPtr& item = taken[entry.item])
                restoreInto(entry.folder, entry.position, std::move(item));
        }
        break;
    }
    case EUndoKind::Added:
    case EUndoKind::Pasted:
        removed = Detach(items);
        break;
    case EUndoKind::TextChanged: {
        CBkItem* item = record.entries.front().item;
        std::swap(record.url ? item->m_url : item->m_title, record.former);
        ++m_revision;
        if (m_observer)
            m_observer->OnItemChanged(item);
        return true;
    }
    }

    bool subFolders = false;
    for (const auto& [folder, placed] : removed) {
        for (const auto& entry : placed)
            subFolders |= entry.second && entry.second->IsFolder();
    }
    for (auto& [folder, placed] : restore) {
        for (const auto& entry : placed)
            subFolders |= entry.second->IsFolder();
        std::sort(placed.begin(), placed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        Insert(folder, std::move(placed));
    }
    // The panes let go of removed entries before they are freed.
    for (const auto& [folder, placed] : removed)
        Changed(folder, subFolders);
    for (const auto& [folder, placed] : restore)
        Changed(folder, subFolders);
    Discard(std::move(removed));
    return true;
}

std::vector<CBkItem*> CBkDoc::Folders() const
{
    return PreOrder(m_root.get(), [](CBkItem* folder) -> const BkItemList& { return folder->Items(); });
}

CBkItem* CBkDoc::NextFolder(const CBkItem* folder) const
{
    const std::vector<CBkItem*> folders = Folders();
    auto it = std::find(folders.begin(), folders.end(), folder);
    return it == folders.end() || std::next(it) == folders.end() ? nullptr : *std::next(it);
}

CBkItem* CBkDoc::PreviousFolder(const CBkItem* folder) const
{
    const std::vector<CBkItem*> folders = Folders();
    auto it = std::find(folders.begin(), folders.end(), folder);
    return it == folders.end() || it == folders.begin() ? nullptr : *std::prev(it);
}

CBkItem* CBkDoc::FindFolder(uint64_t id) const
{
    for (CBkItem* folder : Folders()) {
        if (folder->Id() == id)
            return folder;
    }
    return nullptr;
}

std::optional<CBkDoc::SHit> CBkDoc::Find(std::string_view text, bool matchCase, CBkItem* folder, int row) const
{
    if (text.empty())
        return std::nullopt;
    const std::vector<CBkItem*> folders = Folders();
    auto it = std::find(folders.begin(), folders.end(), folder);
    if (it == folders.end()) {
        it = folders.begin();
        row = 0;
    }
    for (; it != folders.end(); ++it, row = 0) {
        const BkItemList& items = (*it)->Items();
        for (size_t i = size_t(std::max(row, 0)); i < items.size(); ++i) {
            if (Contains(items[i]->Title(), text, matchCase) || Contains(items[i]->Url(), text, matchCase))
                return SHit{*it, int(i)};
        }
    }
    return std::nullopt;
}

SBkSnapshot CBkDoc::Snapshot(std::string_view fileText) const
{
    SBkSnapshot snapshot{ParseBookmarks(fileText, BookmarkReader::Editor), {}};
    for (const CBkItem* folder : Folders())
        snapshot.folderIds.push_back(folder->Id());
    return snapshot;
}

int CBkDoc::MergeAppended(const SBkSnapshot& saved, const BookmarkItem& disk)
{
    // The saved file's folders in tree order match the live folders the
    // snapshot named, one to one.
    std::unordered_map<const BookmarkItem*, uint64_t> savedIds;
    const std::vector<const BookmarkItem*> savedFolders = PreOrder(&saved.tree, Refs);
    for (size_t i = 0; i < savedFolders.size() && i < saved.folderIds.size(); ++i)
        savedIds.emplace(savedFolders[i], saved.folderIds[i]);
    std::unordered_map<uint64_t, CBkItem*> live;
    for (CBkItem* folder : Folders())
        live.emplace(folder->Id(), folder);

    int taken = 0;
    std::vector<std::pair<const BookmarkItem*, const BookmarkItem*>> stack{{&saved.tree, &disk}};
    while (!stack.empty()) {
        const auto [was, now] = stack.back();
        stack.pop_back();
        CBkItem* target = m_root.get();
        if (auto id = savedIds.find(was); id != savedIds.end()) {
            if (auto folder = live.find(id->second); folder != live.end())
                target = folder->second;
        }
        // Entries of the saved folder, counted; its sub-folders by name.
        std::unordered_map<std::string, int> known;
        std::unordered_map<std::string, std::deque<const BookmarkItem*>> folders;
        for (const BookmarkItem& item : was->items) {
            ++known[EntryKey(item)];
            if (item.IsFolder())
                folders[item.title].push_back(&item);
        }
        bool added = false;
        bool subFolders = false;
        for (const BookmarkItem& item : now->items) {
            auto it = known.find(EntryKey(item));
            if (it != known.end() && it->second > 0) {
                --it->second;
                if (item.IsFolder()) {
                    std::deque<const BookmarkItem*>& same = folders[item.title];
                    stack.emplace_back(same.front(), &item);
                    same.pop_front();
                }
                continue;
            }
            target->Append(FromBookmark(item));
            added = true;
            subFolders |= item.IsFolder();
            ++taken;
        }
        if (added)
            Changed(target, subFolders);
    }
    return taken;
}

std::string CBkDoc::StatusText(const CBkItem& folder)
{
    return "[" + folder.Title() + "] " + std::to_string(folder.Items().size()) + " 個のオブジェクト";
}

} // namespace nimbra::editor
