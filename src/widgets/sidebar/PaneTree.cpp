#include "widgets/sidebar/PaneTree.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace nimbra {

namespace {

bool IsEnter(const QKeyEvent* key)
{
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

bool IsPlain(const QKeyEvent* key)
{
    return (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

} // namespace

void CHotTrackDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (option->state & QStyle::State_MouseOver)
        option->font.setUnderline(true);
}

CPaneTree::CPaneTree(QWidget* parent) : QTreeWidget(parent)
{
    setColumnCount(1);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setMouseTracking(true);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setItemDelegate(new CHotTrackDelegate(this));
    viewport()->setAttribute(Qt::WA_Hover);
}

bool CPaneTree::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (KeyCommand(key) != 0 || IsEnter(key) || SwallowsKey(key->key())) {
            event->accept();
            return true;
        }
    }
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab && IsPlain(key)) {
            FocusPage();
            return true;
        }
    }
    return QTreeWidget::event(event);
}

void CPaneTree::keyPressEvent(QKeyEvent* event)
{
    if (IsEnter(event)) {
        OnEnter(event->modifiers());
        return;
    }
    if (SwallowsKey(event->key()))
        return;
    if (event->key() == Qt::Key_Space && IsPlain(event)) {
        ShowMenuAtSelection();
        return;
    }
    if (const int id = KeyCommand(event)) {
        RunCommand(id);
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void CPaneTree::mousePressEvent(QMouseEvent* event)
{
    m_pPressed = event->button() == Qt::LeftButton ? itemAt(event->position().toPoint()) : nullptr;
    QTreeWidget::mousePressEvent(event);
}

void CPaneTree::mouseReleaseEvent(QMouseEvent* event)
{
    QTreeWidget::mouseReleaseEvent(event);
    const QPoint pos = event->position().toPoint();
    QTreeWidgetItem* item = itemAt(pos);
    const bool click = event->button() == Qt::LeftButton && item && item == m_pPressed;
    m_pPressed = nullptr;
    if (click && IsOnLabel(item, pos))
        Click(item, event->modifiers());
}

void CPaneTree::mouseDoubleClickEvent(QMouseEvent*)
{
    // The first click already acted; the second one does nothing more.
    m_pPressed = nullptr;
}

void CPaneTree::mouseMoveEvent(QMouseEvent* event)
{
    QTreeWidget::mouseMoveEvent(event);
    const QPoint pos = event->position().toPoint();
    const QTreeWidgetItem* item = itemAt(pos);
    ShowStatus(item && IsOnLabel(item, pos) ? HoverText(item) : std::string());
}

bool CPaneTree::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Leave)
        ShowStatus({});
    return QTreeWidget::viewportEvent(event);
}

} // namespace nimbra
