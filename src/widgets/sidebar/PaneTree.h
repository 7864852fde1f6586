#pragma once

#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <string>

class QKeyEvent;

namespace nimbra {

// The item under the mouse is underlined, as a link would be.
class CHotTrackDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

// A side-bar pane's tree. An item acts when the left button is released over
// the label it was pressed on; Enter acts on the selection and Space opens
// the menu at it; the tree's Ctrl keys run its commands before the frame's
// shortcuts see them; Tab hands the focus back to the page; the status bar
// shows what lies under the mouse.
class CPaneTree : public QTreeWidget {
    Q_OBJECT
public:
    // One column without header, single selection, hot tracking.
    explicit CPaneTree(QWidget* parent = nullptr);

    virtual void Click(QTreeWidgetItem* item, Qt::KeyboardModifiers modifiers) = 0;
    virtual void RunCommand(int id) = 0;
    virtual bool IsOnLabel(const QTreeWidgetItem* item, const QPoint& viewportPos) const = 0;

protected:
    virtual void OnEnter(Qt::KeyboardModifiers modifiers) = 0;
    // The tree's command for a key with Ctrl, 0 for none.
    virtual int KeyCommand(const QKeyEvent* key) const = 0;
    virtual void ShowMenuAtSelection() = 0;
    // The status text for the mouse over the item's label; empty for none.
    virtual std::string HoverText(const QTreeWidgetItem* item) const = 0;
    virtual void FocusPage() = 0;
    virtual void ShowStatus(const std::string& text) = 0;
    // A key the tree takes without acting, so that the frame never sees it.
    virtual bool SwallowsKey(int) const { return false; }

    // The items went: a press on one of them clicks nothing.
    void ForgetPress() { m_pPressed = nullptr; }

    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QTreeWidgetItem* m_pPressed = nullptr;
};

} // namespace nimbra
