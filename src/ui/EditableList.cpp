#include "ui/EditableList.h"

#include "platform/Text.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

namespace nimbra {

namespace {

// Longer entries are shown cut, so painting stays quick; they are kept whole.
constexpr int kShownWidth = 2048;

std::string Entry(std::string_view text)
{
    return text.find_first_of("\r\n") == std::string_view::npos ? std::string(text) : OneLine(text);
}

// While an entry is edited its keys go to the editor, not to the window's
// shortcuts (Delete deletes characters, not the row); keys with Ctrl or
// Alt still reach the window's commands.
class CEntryDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            line->setMaxLength(std::numeric_limits<int>::max());
        return editor;
    }

protected:
    bool eventFilter(QObject* editor, QEvent* event) override
    {
        if (event->type() == QEvent::ShortcutOverride) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (!(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
                event->accept();
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(editor, event);
    }
};

} // namespace

void CEditableListModel::SetRows(std::vector<std::string> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    for (std::string& row : m_rows)
        row = Entry(row);
    endResetModel();
}

void CEditableListModel::Append(std::vector<std::string> rows)
{
    if (rows.empty())
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + int(rows.size()) - 1);
    m_rows.reserve(m_rows.size() + rows.size());
    for (std::string& row : rows)
        m_rows.push_back(Entry(row));
    endInsertRows();
}

int CEditableListModel::Insert(int row, std::string text)
{
    if (row < 0 || row > rowCount())
        row = rowCount();
    beginInsertRows({}, row, row);
    m_rows.insert(m_rows.begin() + row, Entry(text));
    endInsertRows();
    return row;
}

void CEditableListModel::Remove(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

bool CEditableListModel::Move(int from, int to)
{
    const int count = rowCount();
    if (from < 0 || from >= count || to < 0 || to >= count || from == to)
        return false;
    // Qt counts the destination before the move.
    beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
    if (to > from)
        std::rotate(m_rows.begin() + from, m_rows.begin() + from + 1, m_rows.begin() + to + 1);
    else
        std::rotate(m_rows.begin() + to, m_rows.begin() + from, m_rows.begin() + from + 1);
    endMoveRows();
    return true;
}

int CEditableListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant CEditableListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const std::string& row = m_rows[size_t(index.row())];
    if (role == Qt::DisplayRole && row.size() > size_t(kShownWidth))
        return ToQ(TruncateTitle(std::string_view(row).substr(0, size_t(kShownWidth) * 4), kShownWidth));
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return ToQ(row);
    return {};
}

bool CEditableListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.row() >= rowCount())
        return false;
    m_rows[size_t(index.row())] = Entry(FromQ(value.toString()));
    Q_EMIT dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

Qt::ItemFlags CEditableListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsDragEnabled
           | Qt::ItemNeverHasChildren;
}

Qt::DropActions CEditableListModel::supportedDropActions() const
{
    return Qt::MoveAction | Qt::CopyAction;
}

CEditableListView::CEditableListView(QWidget* parent) : QListView(parent)
{
    setItemDelegate(new CEntryDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
}

void CEditableListView::keyPressEvent(QKeyEvent* event)
{
    // Keys the entry's editor leaves are not the list's. Return has ended
    // the edit there and goes no further: in a dialog it would press OK as
    // well. (The editor keeps Escape itself.)
    if (IsEditing()) {
        const int key = event->key();
        event->setAccepted(key == Qt::Key_Return || key == Qt::Key_Enter);
        return;
    }
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::ControlModifier && (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
        Q_EMIT MovePressed(event->key() == Qt::Key_Up ? -1 : 1);
        return;
    }
    if (mods == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Home:
            Q_EMIT HomePressed();
            return;
        case Qt::Key_Insert:
            Q_EMIT InsertPressed();
            return;
        case Qt::Key_Delete:
            Q_EMIT DeletePressed();
            return;
        case Qt::Key_Space:
        case Qt::Key_F2:
            if (currentIndex().isValid())
                edit(currentIndex());
            return;
        default:
            break;
        }
    }
    QListView::keyPressEvent(event);
}

void CEditableListView::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->source() == this) {
        QListView::dragEnterEvent(event);
        return;
    }
    if (event->mimeData()->hasUrls() || event->mimeData()->hasText())
        event->acceptProposedAction();
}

void CEditableListView::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->source() == this) {
        QListView::dragMoveEvent(event);
        event->setDropAction(Qt::MoveAction);
        event->accept();
        return;
    }
    if (event->mimeData()->hasUrls() || event->mimeData()->hasText())
        event->acceptProposedAction();
}

int CEditableListView::DropRow(const QPoint& pos) const
{
    const QModelIndex at = indexAt(pos);
    if (!at.isValid())
        return model()->rowCount();
    const QRect rect = visualRect(at);
    return pos.y() < rect.center().y() ? at.row() : at.row() + 1;
}

void CEditableListView::dropEvent(QDropEvent* event)
{

    const int row = DropRow(event->position().toPoint());
    if (event->source() == this) {
        // Moved here; the drag must not remove the source row afterwards.
        const int from = currentIndex().row();
        auto* list = static_cast<CEditableListModel*>(model());
        const int to = row > from ? row - 1 : row;
        if (from >= 0 && list->Move(from, to))
            setCurrentIndex(list->index(to));
        event->setDropAction(Qt::CopyAction);
        event->accept();
        stopAutoScroll();
        setState(NoState);
        viewport()->update();
        return;
    }
    std::vector<std::string> entries;
    const QMimeData* mime = event->mimeData();
    if (mime->hasUrls()) {
        for (const QUrl& url : mime->urls())
            entries.push_back(FromQ(url.isLocalFile() ? url.toLocalFile() : url.toString()));
    } else if (mime->hasText()) {
        entries.push_back(FromQ(mime->text().trimmed()));
    }
    std::erase_if(entries, [](const std::string& entry) { return entry.empty(); });
    event->acceptProposedAction();
    if (!entries.empty())
        Q_EMIT EntriesDropped(entries, row);
}

CEditableList::CEditableList(QWidget* parent) : QWidget(parent)
{
    m_pView = new CEditableListView(this);
    m_pView->setModel(&m_model);
    m_pBar = new QToolBar(this);
    m_pBar->setIconSize(QSize(16, 16));
    auto button = [this](QStyle::StandardPixmap icon, const char* tip, std::function<void()> action) {
        QAction* a = m_pBar->addAction(style()->standardIcon(icon), QString());
        a->setToolTip(QString::fromUtf8(tip));
        connect(a, &QAction::triggered, this, action);
    };
    button(QStyle::SP_DirHomeIcon, "Home (Home)", [this] { AppendHome(); });
    button(QStyle::SP_FileIcon, "Insert (Insert)", [this] { InsertRow(); });
    button(QStyle::SP_TrashIcon, "Delete (Delete)", [this] { DeleteSelected(); });
    button(QStyle::SP_ArrowUp, "Up (Ctrl+↑)", [this] { MoveSelected(-1); });
    button(QStyle::SP_ArrowDown, "Down (Ctrl+↓)", [this] { MoveSelected(1); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_pBar);
    layout->addWidget(m_pView, 1);

    connect(m_pView, &CEditableListView::HomePressed, this, &CEditableList::AppendHome);
    connect(m_pView, &CEditableListView::InsertPressed, this, &CEditableList::InsertRow);
    connect(m_pView, &CEditableListView::DeletePressed, this, &CEditableList::DeleteSelected);
    connect(m_pView, &CEditableListView::MovePressed, this, &CEditableList::MoveSelected);
    connect(m_pView, &CEditableListView::EntriesDropped, this, [this](const std::vector<std::string>& entries, int row) {
        for (size_t i = 0; i < entries.size(); ++i)
            m_model.Insert(row + int(i), entries[i]);
        SelectRow(row);
    });
    connect(m_pView->itemDelegate(), &QAbstractItemDelegate::closeEditor, this, &CEditableList::OnEditorClosed,
            Qt::QueuedConnection);
}

int CEditableList::CurrentRow() const
{
    const QModelIndex current = m_pView->currentIndex();
    return current.isValid() && m_pView->selectionModel()->isSelected(current) ? current.row() : -1;
}

void CEditableList::SelectRow(int row)
{
    if (row < 0 || row >= m_model.rowCount())
        return;
    const QModelIndex index = m_model.index(row);
    m_pView->setCurrentIndex(index);
    m_pView->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
    m_pView->scrollTo(index);
}

void CEditableList::AppendHome()
{
    const std::string text = m_homeText ? m_homeText() : std::string();
    if (text.empty())
        return;
    SelectRow(m_model.Insert(m_model.rowCount(), text));
}

void CEditableList::InsertRow()
{
    CommitEdit();
    const int current = CurrentRow();
    const int row = m_model.Insert(current < 0 ? m_model.rowCount() : current + 1, {});
    SelectRow(row);
    m_newRow = m_model.index(row);
    m_pView->setFocus();
    m_pView->edit(m_model.index(row));
}

void CEditableList::DeleteSelected()
{
    CommitEdit();
    const int row = CurrentRow();
    if (row < 0)
        return;
    m_model.Remove(row);
    SelectRow(std::min(row, m_model.rowCount() - 1));
}

void CEditableList::MoveSelected(int delta)
{
    CommitEdit();
    const int row = CurrentRow();
    if (row >= 0 && m_model.Move(row, row + delta))
        SelectRow(row + delta);
}

void CEditableList::EditSelected()
{
    const int row = CurrentRow();
    if (row >= 0)
        m_pView->edit(m_model.index(row));
}

bool CEditableList::IsEditing() const
{
    return m_pView->IsEditing();
}

void CEditableList::CommitEdit()
{
    if (!IsEditing())
        return;
    if (QWidget* editor = m_pView->indexWidget(m_pView->currentIndex())) {
        Q_EMIT m_pView->itemDelegate()->commitData(editor);
        Q_EMIT m_pView->itemDelegate()->closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
    OnEditorClosed();
}

void CEditableList::OnEditorClosed()
{
    // A new entry left empty is not kept.
    if (!m_newRow.isValid() || IsEditing())
        return;
    const int row = m_newRow.row();
    m_newRow = QPersistentModelIndex();
    if (!m_model.Rows()[size_t(row)].empty())
        return;
    m_model.Remove(row);
    SelectRow(std::max(row - 1, 0));
}

} // namespace nimbra
