#pragma once

#include "widgets/bookmarks/BookmarkMenu.h"
#include "widgets/sidebar/NimbraBarPane.h"
#include "widgets/sidebar/PaneTree.h"

#include <QIcon>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class QMenu;

namespace nimbra {

// What the bookmark tree needs from the browser around it.
class IBookmarkTreeHost {
public:
    virtual ~IBookmarkTreeHost() = default;
    // The bookmark URL table that the items' link numbers index.
    virtual const std::vector<std::string>& Urls() const = 0;
    // Opens `url` in the active tab, or in a new tab.
    virtual void Navigate(const std::string& url) = 0;
    virtual void OpenNewTab(const std::string& url) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // Moves the keyboard focus to the active page, once the event at hand
    // is done.
    virtual void FocusView() = 0;
    // Stores a new NBLClickOpenNew.
    virtual void SaveClickOpenNew(int value) = 0;
};

// Pane 0 of the side bar: the bookmark file as a tree. Folders open and
// close; a bookmark opens its URL in the active tab or a new one. Items
// hold no URLs, only their link numbers (-1 for a folder).
class CBookmarkTree : public CPaneTree, public IBookmarkTree, public INimbraBarPane {
    Q_OBJECT
public:
    enum ECommand : int {
        ID_TREE_COLLAPSE_ALL = 32908,
        ID_TREE_EXPAND_ALL = 32909,
        ID_TREE_OPEN_NEW = 32905,
        ID_TREE_OPEN = 32906,
        ID_TREE_STANDARD_ACTION = 32914,
        ID_TREE_COPY_URL = 32942,
        ID_TREE_COPY_TITLE = 32943,
        ID_TREE_OPEN_FOLDER = 32944,
    };
    struct Options {
        int clickOpenNew = 0; // NBLClickOpenNew
        int setFocusView = 1; // NBSetFocusView
        int infoTip = 1;      // InfoTip
    };
    // The label and the icon left of it, for clicks and the menu.
    static constexpr int kIconHitWidth = 19;
    // Tip and status texts show titles and URLs at most this wide.
    static constexpr int kMaxTipWidth = 1024;

    explicit CBookmarkTree(IBookmarkTreeHost& host, QWidget* parent = nullptr);

    void SetOptions(const Options& options) { m_options = options; }
    const Options& GetOptions() const { return m_options; }

    // IBookmarkTree: the loader fills the tree. A folder added to the root
    // is built off the tree and joins it whole at the next item added to
    // the root or at ExpandAndSelectRoot(), so the view hears of one
    // insertion per top-level folder, not one per item. A folder with a
    // filler gets its entries when it first opens, when all folders open,
    // or when its bookmarks are opened together.
    Item ResetRoot() override;
    Item AddFolder(Item parent, const std::string& name, Filler fill = {}) override;
    void AddLink(Item parent, const std::string& title, int number) override;
    // Opens the root and the folders that were open before the reset,
    // and selects the root.
    void ExpandAndSelectRoot() override;

    // INimbraBarPane.
    QWidget* Widget() override { return this; }
    QWidget* FocusTarget() override { return this; }

    QTreeWidgetItem* Root() const { return topLevelItem(0); }
    QTreeWidgetItem* Selected() const;
    static int LinkNumber(const QTreeWidgetItem* item);
    // The image of a folder (number -1) or a link.
    const QIcon& Icon(int number) const { return number < 0 ? m_folderIcon : m_bookmarkIcon; }
    static bool IsFolder(const QTreeWidgetItem* item) { return LinkNumber(item) < 0; }
    // The item's URL from the table; empty for folders and numbers outside it.
    std::string UrlOf(const QTreeWidgetItem* item) const;

    // The label and the icon left of it, in viewport coordinates.
    QRect HitRect(const QTreeWidgetItem* item) const;
    bool IsOnLabel(const QTreeWidgetItem* item, const QPoint& viewportPos) const override;

    // A left click on the label or icon of `item`.
    void Click(QTreeWidgetItem* item, Qt::KeyboardModifiers modifiers) override;
    // Enter on the selection.
    void OnEnter(Qt::KeyboardModifiers modifiers) override;
    void RunCommand(int id) override;
    // The context menu for `target`; with `onLabel` it selects the target
    // and has its item commands. The caller shows or deletes it.
    QMenu* CreateContextMenu(QTreeWidgetItem* target, bool onLabel);
    // The info tip of an item (title, line feed, URL); empty for folders
    // and while InfoTip is off.
    QString InfoTip(const QTreeWidgetItem* item) const;

protected:
    int KeyCommand(const QKeyEvent* key) const override;
    void ShowMenuAtSelection() override;
    std::string HoverText(const QTreeWidgetItem* item) const override;
    void FocusPage() override { m_host.FocusView(); }
    void ShowStatus(const std::string& text) override { m_host.SetStatusText(text); }
    bool viewportEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QTreeWidgetItem* NewItem(QTreeWidgetItem* parent, const std::string& text, int number);
    // Gives a folder its entries if it has not got them yet.
    void Fill(QTreeWidgetItem* folder);
    void FillAll();
    // Opens the folders found again that were open before the reset.
    void Reopen();
    void AttachDetached();
    void Open(const QTreeWidgetItem* item, bool newTab, bool viewSource);
    void AfterOpen();
    void OpenFolderContents();
    void ExpandAll(bool expand);
    void CopyText(const std::string& text);
    std::string FolderPath(const QTreeWidgetItem* item) const;

    IBookmarkTreeHost& m_host;
    Options m_options;
    QIcon m_folderIcon;
    QIcon m_bookmarkIcon;
    // The top-level folder the loader is filling, not yet in the tree.
    std::unique_ptr<QTreeWidgetItem> m_pDetached;
    // Folders open before a reset, by path of names, and what the refill
    // found of them (kept until the next reset, as folders fill late).
    std::unordered_set<std::string> m_reopen;
    std::unordered_map<const QTreeWidgetItem*, std::string> m_paths;
    std::vector<QTreeWidgetItem*> m_toExpand;
    // Folders whose entries are not in the tree yet.
    std::unordered_map<const QTreeWidgetItem*, Filler> m_fillers;
    // The folder being filled and its entries so far.
    QTreeWidgetItem* m_pFilling = nullptr;
    QList<QTreeWidgetItem*> m_filled;
};

} // namespace nimbra
