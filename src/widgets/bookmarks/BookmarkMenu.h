#pragma once

#include "ui/CommandIds.h"

#include "data/bookmarks/BookmarkFile.h"

#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;
class QObject;

namespace nimbra {

// The bookmark menu is the fourth menu of the menu bar; it keeps its first
// four items (add, add all, edit, separator) at every rebuild.
inline constexpr int kBookmarkMenuIndex = 3;
inline constexpr int kBookmarkFixedItems = 4;
inline constexpr char kBookmarkTreeRootText[] = "Nimbra Browser Bookmark";

// Folders nested deeper than this get no submenu of their own: their
// entries go into the deepest submenu. The tree and the link bar still see
// every folder.
inline constexpr int kMaxBookmarkMenuDepth = 32;

// The link bar as the bookmark pass fills it.
class IBookmarkLinkBar {
public:
    virtual ~IBookmarkLinkBar() = default;
    virtual void ClearButtons() = 0;
    // A link (command id, no drop-down) or a folder (empty URL, id -1, its
    // popup menu as drop-down).
    virtual void AddButton(const std::string& title, const std::string& url, int id, QMenu* dropDown) = 0;
};

// The side bar's bookmark tree as the bookmark pass fills it. Items are
// handles the tree hands out.
class IBookmarkTree {
public:
    using Item = void*;
    virtual ~IBookmarkTree() = default;
    // Leaves only the root item (kBookmarkTreeRootText) and returns it.
    virtual Item ResetRoot() = 0;
    // Fills a folder's item with its entries.
    using Filler = std::function<void(IBookmarkTree& tree, Item folder)>;
    // A folder item (closed/open folder images) at the end of `parent`.
    // With a `fill`, the folder has entries that the tree asks for when it
    // first needs them (when the folder opens), not before.
    virtual Item AddFolder(Item parent, const std::string& name, Filler fill = {}) = 0;
    // A link item (bookmark image) at the end of `parent`; `number` is its
    // link number (command - ID_BOOKMARK_FIRST).
    virtual void AddLink(Item parent, const std::string& title, int number) = 0;
    virtual void ExpandAndSelectRoot() = 0;
};

// Titles are shown at most this wide (menus, link bar buttons), so a
// runaway line of the file cannot make a widget unusable.
inline constexpr int kMaxBookmarkTextWidth = 1024;

// The text of a bookmark in the menu: with `shorten` on, titles wider than
// `width` are cut and get "..." (or "...." after a cut before a 2-wide
// character); without it only kMaxBookmarkTextWidth applies.
std::string BookmarkMenuText(std::string_view title, bool shorten, int width);

// The menu at kBookmarkMenuIndex when its first item is ID_BOOKMARK_ADD;
// nullptr otherwise.
QMenu* FindBookmarkMenu(const QMenuBar* bar);

// The bookmark items of the menu, the URL table behind their commands, and
// the calls that fill the link bar and the side-bar tree.
class CBookmarkMenu {
public:
    struct Options {
        bool shortenTitles = false; // MenuTitle
        int titleWidth = 20;        // MenuTitleLength
    };

    // `run` is called with the command of a chosen bookmark item.
    explicit CBookmarkMenu(std::function<void(int id)> run);
    ~CBookmarkMenu();
    CBookmarkMenu(const CBookmarkMenu&) = delete;
    CBookmarkMenu& operator=(const CBookmarkMenu&) = delete;

    void SetLinkBar(IBookmarkLinkBar* linkBar) { m_pLinkBar = linkBar; }
    void SetTree(IBookmarkTree* tree) { m_pTree = tree; }
    IBookmarkLinkBar* LinkBar() const { return m_pLinkBar; }
    IBookmarkTree* Tree() const { return m_pTree; }

    // Removes the bookmark items of `menu` and empties the link bar, the
    // tree and the URL table.
    void Clear(QMenu* menu);
    // Clear() followed by the items of `root`, in file order. Each menu
    // gets its items, and each folder its submenu, when the menu is about
    // to show for the first time: a start with a large file builds nothing
    // a person has not opened. The link bar's drop-downs are the same
    // submenus.
    void Rebuild(QMenu* menu, std::shared_ptr<const BookmarkItem> root, const Options& options);
    void Rebuild(QMenu* menu, const BookmarkItem& root, const Options& options);
    // Appends one link at the end of the root list, as a rebuild would
    // place it after the file gained it there.
    void AppendRootLink(QMenu* menu, const std::string& title, const std::string& url, const Options& options);

    // The URL of a bookmark command; empty when the command has none.
    std::string UrlOf(int id) const;
    const std::vector<std::string>& Urls() const { return m_urls; }
    // Links placed so far; the next command is ID_BOOKMARK_FIRST + LinkCount().
    int LinkCount() const { return int(m_urls.size()); }

private:
    // One entry of a menu: a link (its text and command), a folder's
    // submenu, or a separator (neither).
    struct Entry {
        QString text;
        int id = 0;
        QMenu* sub = nullptr;
    };
    // Where a folder's links start in the URL table, how many it holds at
    // every depth, and how deep its menu lies (1 below the top menu).
    struct FolderInfo {
        int firstLink = 0;
        int linkCount = 0;
        int depth = 0;
    };
    // The tree of the last rebuild and where each folder's links start;
    // shared with the side-bar tree's folders that are not filled yet.
    struct Data {
        std::shared_ptr<const BookmarkItem> root;
        std::unordered_map<const BookmarkItem*, FolderInfo> folders;
        int FirstLink(const BookmarkItem& folder) const;
    };
    // A menu not opened yet: the folder it shows.
    struct Pending {
        const BookmarkItem* folder;
        int depth;
    };
    void Number(const BookmarkItem& folder, int depth);
    // The entries of `folder` in the tree, its sub-folders to be filled
    // when they open.
    static void FillTree(IBookmarkTree& tree, const std::shared_ptr<const Data>& data, const BookmarkItem& folder,
                         IBookmarkTree::Item parent);
    void Entries(const BookmarkItem& folder, int depth, std::vector<Entry>& out);
    // The submenu of `folder`, made (empty, filled when it shows) on first use.
    QMenu* SubMenu(const BookmarkItem& folder);
    void AddEntries(QMenu* menu, const std::vector<Entry>& entries);
    QAction* AddLinkItem(QMenu* menu, QAction* before, const QString& text, int id);
    void Own(QMenu* menu, QObject* object);
    void FillPending(QMenu* menu);

    std::function<void(int)> m_run;
    IBookmarkLinkBar* m_pLinkBar = nullptr;
    IBookmarkTree* m_pTree = nullptr;
    IBookmarkTree::Item m_treeRoot = nullptr;
    std::vector<std::string> m_urls;
    // The top menu of the last rebuild; its items and submenus are deleted
    // at the next Clear().
    QPointer<QMenu> m_pTop;
    std::vector<QPointer<QObject>> m_owned;
    Options m_options;
    std::shared_ptr<Data> m_data;
    std::unordered_map<const BookmarkItem*, QMenu*> m_subMenus;
    // Menus not opened yet, and what fills them when they are.
    std::unordered_map<QMenu*, Pending> m_pending;
    std::vector<QMetaObject::Connection> m_fills;
    // Links added to the root list while the top menu was not filled yet.
    std::vector<Entry> m_appended;
};

} // namespace nimbra
