#pragma once

#include "data/bookmarks/BkItem.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra::editor {

// The kinds of change the undo journal reverses.
enum class EUndoKind { Deleted = 1, Moved = 2, Added = 3, TextChanged = 4, Pasted = 5 };

struct SUndoEntry {
    CBkItem* item = nullptr;
    BkItemPtr owned;           // Deleted: the entry while it is out of the tree
    CBkItem* folder = nullptr; // Deleted, Moved: the folder it was in
    int position = 0;          // Deleted, Moved: its position there
};

// One record: the entries of one user action.
struct SUndoRecord {
    EUndoKind kind = EUndoKind::Added;
    std::vector<SUndoEntry> entries;
    bool url = false;   // TextChanged: the URL changed, else the title
    std::string former; // TextChanged: the text before
};

// The tree as a saved file reads back, with the live folder each of its
// folders was written from (in tree order, the root first). Entries that
// the browser appends later are told apart from it.
struct SBkSnapshot {
    BookmarkItem tree;
    std::vector<uint64_t> folderIds;
};

enum class ESortColumn { Title, Url };

// The editor's model: the tree, the undo journal (no depth limit) and the
// editor's own clipboard. Every change goes through here; the panes follow
// through the observer.
class CBkDoc {
public:
    class IObserver {
    public:
        virtual ~IObserver() = default;
        virtual void OnTreeReset() = 0;
        // The folder's list changed; `subFolders` when folders came, went or moved in it.
        virtual void OnFolderChanged(CBkItem* folder, bool subFolders) = 0;
        virtual void OnItemChanged(CBkItem* item) = 0;
    };

    CBkDoc();
    ~CBkDoc();
    CBkDoc(const CBkDoc&) = delete;
    CBkDoc& operator=(const CBkDoc&) = delete;

    void SetObserver(IObserver* observer) { m_observer = observer; }

    CBkItem* Root() const { return m_root.get(); }
    // Grows with every change of the tree, undo included.
    uint64_t Revision() const { return m_revision; }

    // A new tree, labelled kRootLabel; empties the journal.
    void Reset(BookmarkItem root);
    // A new tree of finished entries (an import); empties the journal.
    void Reset(BkItemList items);
    BookmarkItem ToFileTree() const { return ToBookmark(*m_root); }

    // New entries at the end of `folder`, each one record. nullptr when the
    // folder is missing or a folder would nest deeper than the file holds.
    CBkItem* NewLink(CBkItem* folder, std::string_view title, std::string_view url);
    CBkItem* NewSeparator(CBkItem* folder);
    CBkItem* NewFolder(CBkItem* folder, std::string_view name);
    // Finished entries (an import) at the end of `folder`, one record.
    std::vector<CBkItem*> Append(CBkItem* folder, BkItemList items);

    // In-place edits through the marker rule. False, with nothing recorded,
    // for an empty or unchanged text, the root, a separator, or the URL of
    // anything but a link.
    bool SetTitle(CBkItem* item, std::string_view text);
    bool SetUrl(CBkItem* item, std::string_view text);

    // Removes the rows of a folder (any order, duplicates ignored), one record.
    void Delete(CBkItem* folder, const std::vector<int>& rows);
    // Removes a folder with everything below it; false for the root.
    bool DeleteFolder(CBkItem* folder);

    // Moves entries to the end of `target`, one record. False when nothing
    // moves: every entry is in `target` already, a folder would go into
    // itself or below itself, or nest deeper than the file holds.
    bool Move(const std::vector<CBkItem*>& items, CBkItem* target);
    bool CanMove(const std::vector<CBkItem*>& items, const CBkItem* target) const;

    // Case-insensitive, stable. With `foldersFirst` the folders come first
    // when ascending and last when descending. Not recorded.
    void Sort(CBkItem* folder, ESortColumn column, bool ascending, bool foldersFirst);

    // The editor's clipboard: deep copies.
    void Copy(CBkItem* folder, const std::vector<int>& rows);
    // Copy, then Delete: one record.
    void Cut(CBkItem* folder, const std::vector<int>& rows);
    bool CanPaste() const { return !m_clipboard.empty(); }
    // Copies of the clipboard at `position` (clamped), one record; empty
    // when nothing fits.
    std::vector<CBkItem*> Paste(CBkItem* folder, int position);

    bool CanUndo() const { return !m_journal.empty(); }
    size_t JournalSize() const { return m_journal.size(); }
    const SUndoRecord* LastRecord() const { return m_journal.empty() ? nullptr : &m_journal.back(); }
    // Reverts the latest record; positions that no longer exist are clamped.
    bool Undo();

    struct SHit {
        CBkItem* folder;
        int row;
    };
    // The first entry from `row` of `folder` on, then through the following
    // folders in tree order, whose title or URL contains `text`.
    std::optional<SHit> Find(std::string_view text, bool matchCase, CBkItem* folder, int row) const;

    // Every folder in tree order, the root first.
    std::vector<CBkItem*> Folders() const;
    CBkItem* NextFolder(const CBkItem* folder) const;
    CBkItem* PreviousFolder(const CBkItem* folder) const;
    // The live folder with that id, nullptr when it is not in the tree.
    CBkItem* FindFolder(uint64_t id) const;

    // The snapshot of the tree written as `fileText`.
    SBkSnapshot Snapshot(std::string_view fileText) const;
    // Appends to the live folders what `disk` holds beyond `saved`, folder by
    // folder, into the same folders (the root when gone). Not recorded; the
    // journal stays. The number of entries taken.
    int MergeAppended(const SBkSnapshot& saved, const BookmarkItem& disk);

    // "[label] N 個のオブジェクト"
    static std::string StatusText(const CBkItem& folder);

private:
    using Placed = std::vector<std::pair<int, BkItemPtr>>;

    bool Fits(const CBkItem* item, const CBkItem* target) const;
    CBkItem* Add(CBkItem* folder, BkItemPtr item);
    void Record(SUndoRecord record);
    bool SetText(CBkItem* item, bool url, std::string text);
    // Takes the entries out of their folders; their former positions, per folder.
    std::vector<std::pair<CBkItem*, Placed>> Detach(const std::vector<CBkItem*>& items);
    // Puts entries back at positions of the final list, ascending, clamped.
    void Insert(CBkItem* folder, Placed placed);
    void Changed(CBkItem* folder, bool subFolders);
    bool IsAttached(const CBkItem* item) const;

    IObserver* m_observer = nullptr;
    BkItemPtr m_root;
    std::vector<SUndoRecord> m_journal;
    BkItemList m_clipboard;
    uint64_t m_revision = 0;
};

} // namespace nimbra::editor
