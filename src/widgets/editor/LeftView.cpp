#include "widgets/editor/LeftView.h"

#include "widgets/bookmarks/BookmarkImages.h"
#include "widgets/editor/BkView.h"
#include "platform/Text.h"

#include <QDragMoveEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QSignalBlocker>

namespace nimbra::editor {

namespace {

const SBookmarkImages& Images()
{
    static const SBookmarkImages images = LoadBookmarkImages();
    return images;
}

constexpr int kFolderRole = Qt::UserRole;

} // namespace

CLeftView::CLeftView(SHandlers handlers, QWidget* parent) : QTreeWidget(parent), m_handlers(std::move(handlers))
{
    m_delegate = new CCommitDelegate(
        [this](const QModelIndex& index, const QString& text) {
            if (CBkItem* folder = FolderOf(itemFromIndex(index)))
                m_handlers.rename(folder, text);
        },
        this);
    setItemDelegate(m_delegate);
    setHeaderHidden(true);
    setColumnCount(1);
    setUniformRowHeights(true);
    setEditTriggers(EditKeyPressed | SelectedClicked);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(DragDrop);
    setAutoScroll(true);
    setAutoScrollMargin(10);
    m_expand.setSingleShot(true);
    m_expand.setInterval(1300);
    connect(&m_expand, &QTimer::timeout, this, [this] {
        if (m_hover)
            m_hover->setExpanded(true);
    });
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        if (!m_syncing)
            m_handlers.selected(FolderOf(current));
    });
    connect(this, &QTreeWidget::itemExpanded, this,
            [](QTreeWidgetItem* item) { item->setIcon(0, Images().openFolder); });
    connect(this, &QTreeWidget::itemCollapsed, this,
            [](QTreeWidgetItem* item) { item->setIcon(0, Images().closedFolder); });
}

CBkItem* CLeftView::FolderOf(const QTreeWidgetItem* item)
{
    return item ? reinterpret_cast<CBkItem*>(item->data(0, kFolderRole).value<quintptr>()) : nullptr;
}

QTreeWidgetItem* CLeftView::ItemOf(const CBkItem* folder) const
{
    auto it = m_items.find(folder);
    return it == m_items.end() ? nullptr : it->second;
}

// The item of a folder and of every folder below it, without recursion.
QTreeWidgetItem* CLeftView::MakeItems(CBkItem* folder)
{
    auto make = [this](CBkItem* f) {
        auto* item = new QTreeWidgetItem;
        item->setText(0, ToQ(f->Title()));
        item->setIcon(0, Images().closedFolder);
        item->setData(0, kFolderRole, QVariant::fromValue(reinterpret_cast<quintptr>(f)));
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled;
        if (f->Parent())
            flags |= Qt::ItemIsEditable | Qt::ItemIsDragEnabled;
        item->setFlags(flags);
        m_items[f] = item;
        return item;
    };
    QTreeWidgetItem* top = make(folder);
    std::vector<std::pair<CBkItem*, QTreeWidgetItem*>> stack{{folder, top}};
    while (!stack.empty()) {
        const auto [f, item] = stack.back();
        stack.pop_back();
        QList<QTreeWidgetItem*> children;
        for (const BkItemPtr& child : f->Items()) {
            if (child->IsFolder()) {
                children.append(make(child.get()));
                stack.emplace_back(child.get(), children.back());
            }
        }
        item->addChildren(children);
    }
    return top;
}

void CLeftView::Forget(QTreeWidgetItem* item)
{
    std::vector<QTreeWidgetItem*> stack{item};
    while (!stack.empty()) {
        QTreeWidgetItem* next = stack.back();
        stack.pop_back();
        m_items.erase(FolderOf(next));
        if (next == m_hover)
            m_hover = nullptr;
        for (int i = 0; i < next->childCount(); ++i)
            stack.push_back(next->child(i));
    }
}

void CLeftView::Rebuild(CBkItem* root)
{
    m_syncing = true;
    clear();
    m_items.clear();
    m_hover = nullptr;
    QTreeWidgetItem* top = MakeItems(root);
    addTopLevelItem(top);
    top->setExpanded(true);
    setCurrentItem(top);
    m_syncing = false;
    m_handlers.selected(root);
}

void CLeftView::SyncChildren(CBkItem* folder)
{
    QTreeWidgetItem* parent = ItemOf(folder);
    if (!parent)
        return;
    const QSignalBlocker blocker(this);
    m_syncing = true;
    QTreeWidgetItem* current = currentItem();

    std::vector<CBkItem*> wanted;
    for (const BkItemPtr& child : folder->Items()) {
        if (child->IsFolder())
            wanted.push_back(child.get());
    }
    std::unordered_map<const CBkItem*, int> wantedSet;
    for (size_t i = 0; i < wanted.size(); ++i)
        wantedSet.emplace(wanted[i], int(i));
    // Folders that left: one moved elsewhere keeps its item for its new
    // folder's turn; a removed one loses it with everything below.
    for (int i = parent->childCount() - 1; i >= 0; --i) {
        CBkItem* child = FolderOf(parent->child(i));
        if (wantedSet.count(child))
            continue;
        QTreeWidgetItem* item = parent->takeChild(i);
        if (!child->Parent()) {
            for (const QTreeWidgetItem* up = current; up; up = up->parent()) {
                if (up == item) {
                    current = nullptr; // goes with the removed folder
                    break;
                }
            }
            Forget(item);
            delete item;
        }
    }
    // Then the order: move or make what is not in its place.
    for (size_t i = 0; i < wanted.size(); ++i) {
        QTreeWidgetItem* child = parent->child(int(i));
        if (child && FolderOf(child) == wanted[i])
            continue;
        QTreeWidgetItem* existing = ItemOf(wanted[i]);
        if (!existing) {
            parent->insertChild(int(i), MakeItems(wanted[i]));
            continue;
        }
        // Taking an item out of the view loses its expansion: keep it.
        std::vector<std::pair<QTreeWidgetItem*, bool>> expanded;
        std::vector<QTreeWidgetItem*> stack{existing};
        while (!stack.empty()) {
            QTreeWidgetItem* next = stack.back();
            stack.pop_back();
            expanded.emplace_back(next, next->isExpanded());
            for (int k = 0; k < next->childCount(); ++k)
                stack.push_back(next->child(k));
        }
        if (QTreeWidgetItem* holder = existing->parent())
            holder->takeChild(holder->indexOfChild(existing));
        parent->insertChild(int(i), existing);
        for (const auto& [item, open] : expanded)
            item->setExpanded(open);
    }
    setCurrentItem(current && current->treeWidget() == this ? current : parent);
    m_syncing = false;
}

bool CLeftView::Shows(const CBkItem* folder) const
{
    const QTreeWidgetItem* item = ItemOf(folder);
    return item && item->treeWidget() == this;
}

void CLeftView::UpdateLabel(CBkItem* folder)
{
    if (QTreeWidgetItem* item = ItemOf(folder))
        item->setText(0, ToQ(folder->Title()));
}

CBkItem* CLeftView::SelectedFolder() const
{
    return FolderOf(currentItem());
}

void CLeftView::SelectFolder(CBkItem* folder, bool notify)
{
    QTreeWidgetItem* item = ItemOf(folder);
    if (!item || item->treeWidget() != this)
        return;
    m_syncing = !notify;
    setCurrentItem(item);
    scrollToItem(item);
    m_syncing = false;
}

std::vector<int> CLeftView::SelectedPath() const
{
    std::vector<int> path;
    for (const QTreeWidgetItem* item = currentItem(); item && item->parent(); item = item->parent())
        path.insert(path.begin(), item->parent()->indexOfChild(const_cast<QTreeWidgetItem*>(item)));
    return path;
}

void CLeftView::SelectPath(const std::vector<int>& path)
{
    QTreeWidgetItem* item = topLevelItem(0);
    for (int index : path) {
        if (!item || index >= item->childCount())
            break;
        item = item->child(index);
    }
    if (item) {
        setCurrentItem(item);
        scrollToItem(item);
    }
}

void CLeftView::EditLabel(CBkItem* folder)
{
    if (QTreeWidgetItem* item = ItemOf(folder); item && folder->Parent())
        editItem(item);
}

void CLeftView::CommitOpenEditor()
{
    m_delegate->CommitOpenEditor();
}

void CLeftView::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_Delete && mods == Qt::NoModifier)
        m_handlers.deleteKey();
    else if (event->key() == Qt::Key_V && mods == Qt::ControlModifier)
        m_handlers.paste();
    else if ((event->key() == Qt::Key_Z && mods == Qt::ControlModifier)
             || (event->key() == Qt::Key_Backspace && mods == Qt::AltModifier))
        m_handlers.undo();
    else
        QTreeWidget::keyPressEvent(event);
}

void CLeftView::startDrag(Qt::DropActions)
{
    CBkItem* folder = SelectedFolder();
    if (folder && folder->Parent())
        m_handlers.startDrag({folder});
}

void CLeftView::Highlight(QTreeWidgetItem* item)
{
    if (item == m_hover)
        return;
    if (m_hover)
        m_hover->setBackground(0, QBrush());
    m_hover = item;
    if (m_hover) {
        m_hover->setBackground(0, palette().brush(QPalette::Highlight).color().lighter(160));
        m_expand.start();
    } else {
        m_expand.stop();
    }
}

CBkItem* CLeftView::DropTarget(const QDropEvent* event) const
{
    CBkItem* folder = FolderOf(itemAt(event->position().toPoint()));
    return IsOwnDrag(event->mimeData()) && folder && m_handlers.canDrop(folder) ? folder : nullptr;
}

void CLeftView::dragEnterEvent(QDragEnterEvent* event)
{
    AcceptDrop(event, IsOwnDrag(event->mimeData()));
}

void CLeftView::dragMoveEvent(QDragMoveEvent* event)
{
    startAutoScroll();
    CBkItem* target = DropTarget(event);
    Highlight(ItemOf(target));
    AcceptDrop(event, target != nullptr);
}

void CLeftView::dragLeaveEvent(QDragLeaveEvent* event)
{
    Highlight(nullptr);
    QTreeWidget::dragLeaveEvent(event);
}

void CLeftView::dropEvent(QDropEvent* event)
{
    Highlight(nullptr);
    CBkItem* target = DropTarget(event);
    if (AcceptDrop(event, target != nullptr))
        m_handlers.drop(target);
}

} // namespace nimbra::editor
