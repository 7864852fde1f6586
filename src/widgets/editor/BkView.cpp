#include "widgets/editor/BkView.h"

#include "widgets/bookmarks/BookmarkImages.h"
#include "platform/Text.h"

#include <QCoreApplication>
#include <QDrag>
#include <QDragMoveEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>

namespace nimbra::editor {

namespace {

QIcon SeparatorIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QPen(QColor(128, 128, 128), 1));
    painter.drawLine(1, 7, 14, 7);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawLine(1, 8, 14, 8);
    return QIcon(pixmap);
}

// The list's images by kind: link, folder, separator.
const QIcon& KindIcon(EBkKind kind)
{
    static const std::vector<QIcon> icons = [] {
        const SBookmarkImages images = LoadBookmarkImages();
        return std::vector<QIcon>{images.bookmark, images.closedFolder, SeparatorIcon()};
    }();
    return icons[size_t(kind)];
}

} // namespace

bool IsOwnDrag(const QMimeData* mime)
{
    return mime && mime->data(kDragMime) == QByteArray::number(QCoreApplication::applicationPid());
}

bool AcceptDrop(QDropEvent* event, bool accept)
{
    if (accept)
        event->acceptProposedAction();
    else
        event->ignore();
    return accept;
}

QMimeData* MakeDragMime()
{
    auto* mime = new QMimeData;
    mime->setData(kDragMime, QByteArray::number(QCoreApplication::applicationPid()));
    return mime;
}

// --- CCommitDelegate ---------------------------------------------------------

CCommitDelegate::CCommitDelegate(Commit commit, QObject* parent) : QStyledItemDelegate(parent), m_commit(std::move(commit))
{
}

QWidget* CCommitDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                       const QModelIndex& index) const
{
    m_editor = QStyledItemDelegate::createEditor(parent, option, index);
    return m_editor;
}

void CCommitDelegate::setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const
{
    if (auto* line = qobject_cast<QLineEdit*>(editor))
        m_commit(index, line->text());
}

void CCommitDelegate::CommitOpenEditor()
{
    if (QWidget* editor = m_editor.data()) {
        m_editor.clear();
        Q_EMIT commitData(editor);
        Q_EMIT closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

// --- CBkListModel ------------------------------------------------------------

CBkListModel::CBkListModel(QObject* parent) : QAbstractTableModel(parent) {}

void CBkListModel::SetFolder(CBkItem* folder)
{
    beginResetModel();
    m_folder = folder;
    endResetModel();
}

void CBkListModel::Refresh()
{
    beginResetModel();
    endResetModel();
}

void CBkListModel::RefreshItem(const CBkItem* item)
{
    if (!m_folder || item->Parent() != m_folder)
        return;
    const int row = item->Row();
    Q_EMIT dataChanged(index(row, 0), index(row, 1));
}

CBkItem* CBkListModel::ItemAt(int row) const
{
    if (!m_folder || row < 0 || size_t(row) >= m_folder->Items().size())
        return nullptr;
    return m_folder->Items()[size_t(row)].get();
}

int CBkListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_folder ? 0 : int(m_folder->Items().size());
}

int CBkListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant CBkListModel::data(const QModelIndex& index, int role) const
{
    const CBkItem* item = ItemAt(index.row());
    if (!item)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return ToQ(index.column() == 0 ? item->Title() : item->Url());
    case Qt::DecorationRole:
        return index.column() == 0 ? QVariant(KindIcon(item->Kind())) : QVariant();
    default:
        return {};
    }
}

QVariant CBkListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == 0 ? QStringLiteral("タイトル") : QStringLiteral("URL");
}

Qt::ItemFlags CBkListModel::flags(const QModelIndex& index) const
{
    const CBkItem* item = ItemAt(index.row());
    if (!item)
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    if (index.column() == 0 ? !item->IsSeparator() : item->IsLink())
        flags |= Qt::ItemIsEditable;
    if (item->IsFolder())
        flags |= Qt::ItemIsDropEnabled;
    return flags;
}

// --- CBkView -----------------------------------------------------------------

CBkView::CBkView(bool sortable, SHandlers handlers, QWidget* parent)
    : QTreeView(parent), m_sortable(sortable), m_handlers(std::move(handlers)), m_model(new CBkListModel(this))
{
    m_delegate = new CCommitDelegate(
        [this](const QModelIndex& index, const QString& text) {
            if (CBkItem* item = m_model->ItemAt(index.row()))
                m_handlers.commit(item, index.column(), text);
        },
        this);
    setModel(m_model);
    setItemDelegate(m_delegate);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(NoEditTriggers);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(DragDrop);
    setContextMenuPolicy(Qt::CustomContextMenu);
    header()->setStretchLastSection(true);
    header()->setSectionsClickable(sortable);
    header()->setSortIndicatorShown(false);
    connect(header(), &QHeaderView::sectionClicked, this, [this](int column) {
        if (m_sortable)
            m_handlers.sort(column);
    });
    connect(this, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            m_handlers.activate(index.row());
    });
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { m_handlers.contextMenu(viewport()->mapToGlobal(pos)); });
}

std::vector<int> CBkView::SelectedRows() const
{
    std::vector<int> rows;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int CBkView::FocusedRow() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void CBkView::SelectRows(const std::vector<int>& rows)
{
    // One range for each run of adjacent rows: a paste of many rows is one.
    QItemSelection selection;
    for (size_t i = 0; i < rows.size();) {
        size_t end = i + 1;
        while (end < rows.size() && rows[end] == rows[end - 1] + 1)
            ++end;
        selection.select(m_model->index(rows[i], 0), m_model->index(rows[end - 1], 1));
        i = end;
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!rows.empty()) {
        selectionModel()->setCurrentIndex(m_model->index(rows.front(), 0), QItemSelectionModel::NoUpdate);
        scrollTo(m_model->index(rows.front(), 0));
    }
}

void CBkView::EditCell(int row, int column)
{
    const QModelIndex index = m_model->index(row, column);
    if (!index.isValid() || !(m_model->flags(index) & Qt::ItemIsEditable))
        return;
    scrollTo(index);
    edit(index);
}

void CBkView::ShowSortIndicator(int column, bool ascending)
{
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void CBkView::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && state() != EditingState) {
        if (currentIndex().isValid())
            m_handlers.activate(currentIndex().row());
        return;
    }
    QTreeView::keyPressEvent(event);
}

void CBkView::startDrag(Qt::DropActions)
{
    std::vector<CBkItem*> items;
    for (int row : SelectedRows()) {
        if (CBkItem* item = m_model->ItemAt(row))
            items.push_back(item);
    }
    if (!items.empty())
        m_handlers.startDrag(items);
}

CBkItem* CBkView::DropTarget(const QDropEvent* event) const
{
    CBkItem* item = m_model->ItemAt(indexAt(event->position().toPoint()).row());
    if (!IsOwnDrag(event->mimeData()) || !item || !item->IsFolder() || !m_handlers.canDrop(item))
        return nullptr;
    return item;
}

void CBkView::dragEnterEvent(QDragEnterEvent* event)
{
    AcceptDrop(event, IsOwnDrag(event->mimeData()) || event->mimeData()->hasUrls());
}

void CBkView::dragMoveEvent(QDragMoveEvent* event)
{
    if (!IsOwnDrag(event->mimeData())) {
        AcceptDrop(event, event->mimeData()->hasUrls());
        return;
    }
    AcceptDrop(event, DropTarget(event) != nullptr);
}

void CBkView::dropEvent(QDropEvent* event)
{
    if (!IsOwnDrag(event->mimeData())) {
        if (AcceptDrop(event, event->mimeData()->hasUrls()))
            m_handlers.dropFromOutside(event->mimeData());
        return;
    }
    CBkItem* target = DropTarget(event);
    if (AcceptDrop(event, target != nullptr))
        m_handlers.drop(target);
}

} // namespace nimbra::editor
