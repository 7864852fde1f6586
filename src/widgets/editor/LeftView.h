#pragma once

#include "data/bookmarks/BkItem.h"

#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <unordered_map>
#include <vector>

namespace nimbra::editor {

class CCommitDelegate;

// The left pane: the folders as a tree under the root "Nimbra Browser
// BookMark". Its items follow the document's folders; the selected item
// is the folder the list shows.
class CLeftView : public QTreeWidget {
    Q_OBJECT
public:
    struct SHandlers {
        std::function<void(CBkItem* folder)> selected;
        std::function<void(CBkItem* folder, const QString& text)> rename;
        std::function<void()> deleteKey;
        std::function<void()> paste;
        std::function<void()> undo;
        std::function<void(const std::vector<CBkItem*>&)> startDrag;
        std::function<bool(const CBkItem* target)> canDrop;
        std::function<void(CBkItem* target)> drop;
    };

    CLeftView(SHandlers handlers, QWidget* parent);

    // Builds the whole tree for a new document.
    void Rebuild(CBkItem* root);
    // Brings the children of a folder's item in line with its sub-folders.
    // The selection stays unless its item left the view; then the folder's
    // item is selected, without telling the handler.
    void SyncChildren(CBkItem* folder);
    // Whether the folder's item is in the view.
    bool Shows(const CBkItem* folder) const;
    void UpdateLabel(CBkItem* folder);

    CBkItem* SelectedFolder() const;
    // Selects the folder's item; the handler hears of it when `notify`.
    void SelectFolder(CBkItem* folder, bool notify = true);
    QTreeWidgetItem* ItemOf(const CBkItem* folder) const;
    static CBkItem* FolderOf(const QTreeWidgetItem* item);
    // The selected folder's place as child indexes from the root, to find
    // the same place in a reloaded tree.
    std::vector<int> SelectedPath() const;
    void SelectPath(const std::vector<int>& path);

    void EditLabel(CBkItem* folder);
    void CommitOpenEditor();
    bool IsEditing() const { return state() == EditingState; }
    void SetExpandDelay(int ms) { m_expand.setInterval(ms); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void startDrag(Qt::DropActions actions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QTreeWidgetItem* MakeItems(CBkItem* folder);
    CBkItem* DropTarget(const QDropEvent* event) const;
    void Forget(QTreeWidgetItem* item);
    void Highlight(QTreeWidgetItem* item);

    SHandlers m_handlers;
    CCommitDelegate* m_delegate;
    std::unordered_map<const CBkItem*, QTreeWidgetItem*> m_items;
    bool m_syncing = false;
    QTimer m_expand;
    QTreeWidgetItem* m_hover = nullptr;
};

} // namespace nimbra::editor
