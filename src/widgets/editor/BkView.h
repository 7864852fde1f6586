#pragma once

#include "data/bookmarks/BkItem.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <functional>
#include <vector>

class QDropEvent;
class QMimeData;

namespace nimbra::editor {

// In-place editing that hands the finished text to the owner instead of
// writing it into the model; the owner changes the document, which updates
// the panes.
class CCommitDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using Commit = std::function<void(const QModelIndex& index, const QString& text)>;
    CCommitDelegate(Commit commit, QObject* parent);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    // Ends an open edit as if the focus had left it.
    void CommitOpenEditor();

private:
    Commit m_commit;
    mutable QPointer<QWidget> m_editor;
};

// The entries of one folder as the list's rows: title and URL (or marker),
// the kind's image.
class CBkListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CBkListModel(QObject* parent);

    void SetFolder(CBkItem* folder);
    CBkItem* Folder() const { return m_folder; }
    CBkItem* ItemAt(int row) const;
    // The folder's list changed.
    void Refresh();
    void RefreshItem(const CBkItem* item);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    CBkItem* m_folder = nullptr;
};

// The right pane: the selected folder's entries in a report list.
class CBkView : public QTreeView {
    Q_OBJECT
public:
    struct SHandlers {
        std::function<void(int row)> activate;               // double click, Enter
        std::function<void(CBkItem* item, int column, const QString& text)> commit;
        std::function<void(int column)> sort;                  // header click
        std::function<void(const std::vector<CBkItem*>&)> startDrag;
        std::function<bool(const CBkItem* target)> canDrop;
        std::function<void(CBkItem* target)> drop;
        std::function<void(const QPoint& global)> contextMenu;
        std::function<void(const QMimeData* mime)> dropFromOutside; // files, links
    };

    CBkView(bool sortable, SHandlers handlers, QWidget* parent);

    CBkListModel* Model() const { return m_model; }
    // Selected rows, ascending.
    std::vector<int> SelectedRows() const;
    int FocusedRow() const;
    void SelectRows(const std::vector<int>& rows);
    void EditCell(int row, int column);
    void CommitOpenEditor() { m_delegate->CommitOpenEditor(); }
    bool IsEditing() const { return state() == EditingState; }
    bool Sortable() const { return m_sortable; }
    void ShowSortIndicator(int column, bool ascending);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void startDrag(Qt::DropActions actions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The folder row under a drop that may take the dragged entries.
    CBkItem* DropTarget(const QDropEvent* event) const;

    bool m_sortable;
    SHandlers m_handlers;
    CBkListModel* m_model;
    CCommitDelegate* m_delegate;
};

// The mime type of entries dragged inside one editor.
inline constexpr char kDragMime[] = "application/x-nimbra-bookmark-entries";
// Whether a drag carries this process's entries.
bool IsOwnDrag(const QMimeData* mime);
QMimeData* MakeDragMime();
// Accepts the drag or drop event when `accept`, else ignores it; returns `accept`.
bool AcceptDrop(QDropEvent* event, bool accept);

} // namespace nimbra::editor
