#include "ui/MenuBarKeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStyleOptionMenuItem>
#include <QTimer>

#include "platform/EventWidget.h"

namespace nimbra {

namespace {

QChar MnemonicOf(const QString& text)
{
    for (qsizetype i = text.indexOf(u'&'); i >= 0 && i + 1 < text.size(); i = text.indexOf(u'&', i + 2))
        if (text[i + 1] != u'&')
            return text[i + 1].toUpper();
    return {};
}

bool IsButton(const QAction* action)
{
    return action->isVisible() && !action->isSeparator();
}

} // namespace

CMenuBarKeys::CMenuBarKeys(QMenuBar* bar) : QObject(bar), m_pBar(bar)
{
    qApp->installEventFilter(this);
}

CMenuBarKeys::~CMenuBarKeys()
{
    qApp->removeEventFilter(this);
}

CMenuBarKeys::EState CMenuBarKeys::State() const
{
    QAction* action = m_pBar->activeAction();
    if (action && action->menu() && action->menu()->isVisible())
        return EState::Popup;
    if (action && m_bKeyboard)
        return EState::Keyboard;
    return action ? EState::Hot : EState::Idle;
}

void CMenuBarKeys::Highlight(QAction* action)
{
    // The bar highlights the button under the pointer; it is told the
    // pointer is there.
    const QPoint at = m_pBar->actionGeometry(action).center();
    QMouseEvent move(QEvent::MouseMove, at, m_pBar->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_pBar, &move);
}

void CMenuBarKeys::PaintHighlight()
{
    QAction* action = m_pBar->activeAction();
    QPainter painter(m_pBar);
    QStyleOptionMenuItem option;
    option.initFrom(m_pBar);
    option.rect = m_pBar->actionGeometry(action);
    option.menuRect = m_pBar->rect();
    option.text = action->text();
    option.menuItemType = QStyleOptionMenuItem::Normal;
    option.state |= QStyle::State_Selected | QStyle::State_Sunken | QStyle::State_HasFocus;
    m_pBar->style()->drawControl(QStyle::CE_MenuBarItem, &option, &painter, m_pBar);
}

void CMenuBarKeys::EnterKeyboard(int index)
{
    const QList<QAction*> actions = m_pBar->actions();
    if (index < 0 || index >= actions.size() || !IsButton(actions[index]))
        index = int(std::find_if(actions.begin(), actions.end(), IsButton) - actions.begin());
    if (index >= actions.size())
        return;
    m_bKeyboard = true;
    Highlight(actions[index]);
    m_pBar->update();
}

void CMenuBarKeys::Move(int step)
{
    const QList<QAction*> actions = m_pBar->actions();
    const int count = int(actions.size());
    int index = int(actions.indexOf(m_pBar->activeAction()));
    for (int n = 0; n < count; ++n) {
        index = (index + step + count) % count;
        if (IsButton(actions[index])) {
            Highlight(actions[index]);
            m_pBar->update();
            return;
        }
    }
}

void CMenuBarKeys::Open(QAction* action)
{
    m_bKeyboard = false;
    if (!action->menu()) {
        Leave();
        action->trigger();
        return;
    }
    m_pBar->setActiveAction(action);
    // The popup opens with its first item selected.
    const QList<QAction*> items = action->menu()->actions();
    const auto first = std::find_if(items.begin(), items.end(),
                                    [](const QAction* item) { return IsButton(item) && item->isEnabled(); });
    if (first != items.end())
        action->menu()->setActiveAction(*first);
}

QAction* CMenuBarKeys::MnemonicAction(const QString& text) const
{
    const QChar key = text.at(0).toUpper();
    const QList<QAction*> actions = m_pBar->actions();
    const auto it = std::find_if(actions.begin(), actions.end(), [key](const QAction* action) {
        return IsButton(action) && action->isEnabled() && MnemonicOf(action->text()) == key;
    });
    return it == actions.end() ? nullptr : *it;
}

void CMenuBarKeys::Leave()
{
    m_bKeyboard = false;
    m_pBar->update();
    while (QWidget* popup = QApplication::activePopupWidget())
        if (!popup->close())
            break;
    if (m_pBar->activeAction()) {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(m_pBar, &leave);
    }
}

bool CMenuBarKeys::OnKeyPress(QKeyEvent* key)
{
    const int k = key->key();
    const EState state = State();
    if (k == Qt::Key_Alt || k == Qt::Key_Meta) {
        // Alone it enters the keyboard state when it goes up; while the bar
        // is not idle it only takes it back to idle.
        m_bAltAlone = state == EState::Idle;
        if (state != EState::Idle)
            Leave();
        return state != EState::Idle;
    }
    m_bAltAlone = false;
    if (k == Qt::Key_F10 && !(key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier))) {
        Leave();
        if (state == EState::Idle || state == EState::Hot)
            EnterKeyboard(0);
        return true;
    }
    if (state == EState::Popup && k == Qt::Key_Escape
        && QApplication::activePopupWidget() == m_pBar->activeAction()->menu()) {
        // Esc on the bar's own popup goes back to its highlighted button.
        const int index = int(m_pBar->actions().indexOf(m_pBar->activeAction()));
        QTimer::singleShot(0, this, [this, index] {
            if (State() == EState::Idle)
                EnterKeyboard(index);
        });
        return false;
    }
    if (state != EState::Keyboard)
        return false;
    switch (k) {
    case Qt::Key_Escape:
        Leave();
        return true;
    case Qt::Key_Left:
    case Qt::Key_Right:
        Move(k == Qt::Key_Left ? -1 : 1);
        return true;
    case Qt::Key_Space:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Open(m_pBar->activeAction());
        return true;
    case Qt::Key_Shift:
    case Qt::Key_Control:
        return true;
    default:
        break;
    }
    const QString text = key->text();
    if (text.size() == 1 && text[0].isLetterOrNumber() && !(key->modifiers() & Qt::ControlModifier)) {
        // A letter without a button is swallowed.
        if (QAction* action = MnemonicAction(text))
            Open(action);
        return true;
    }
    Leave();
    return true;
}

bool CMenuBarKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_pBar->isVisible())
        return false;
    QWidget* widget = EventWidget(watched);
    if (!widget)
        return false;
    // The frame's keys, and the keys of the bar's popups.
    const bool ours = widget->window() == m_pBar->window() || State() == EState::Popup;
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        if (!ours)
            return false;
        // Alt is this class's alone: the bar's own handling of it (in some
        // styles) never sees it.
        const int k = static_cast<QKeyEvent*>(event)->key();
        if (k == Qt::Key_Alt || k == Qt::Key_Meta)
            return true;
        m_bAltAlone = false;
        // In the keyboard state the keys belong to the bar, not to shortcuts.
        if (State() == EState::Keyboard) {
            event->accept();
            return true;
        }
        return false;
    }
    case QEvent::KeyPress:
        return ours && OnKeyPress(static_cast<QKeyEvent*>(event));
    case QEvent::KeyRelease: {
        const int k = static_cast<QKeyEvent*>(event)->key();
        if (!ours || !m_bAltAlone || (k != Qt::Key_Alt && k != Qt::Key_Meta))
            return false;
        m_bAltAlone = false;
        if (State() == EState::Idle)
            EnterKeyboard(0);
        return true;
    }
    case QEvent::FocusIn:
        if (widget != m_pBar) {
            if (widget->window() == m_pBar->window())
                m_pFocus = widget;
            return false;
        }
        // The bar's own keyboard state (some styles have one) becomes
        // this one, and the focus goes back where it was.
        QTimer::singleShot(0, this, [this] {
            if (!m_pBar->hasFocus())
                return;
            const int index = int(m_pBar->actions().indexOf(m_pBar->activeAction()));
            if (m_pFocus)
                m_pFocus->setFocus(Qt::MenuBarFocusReason);
            else
                m_pBar->clearFocus();
            EnterKeyboard(index);
        });
        return false;
    case QEvent::Paint:
        if (watched != m_pBar || State() != EState::Keyboard)
            return false;
        // Some styles show no hover highlight: the keyboard state's button
        // is drawn pressed over the bar's own painting.
        static_cast<QObject*>(m_pBar)->event(event);
        PaintHighlight();
        return true;
    case QEvent::MouseButtonPress:
        m_bAltAlone = false;
        // A click outside the bar ends the keyboard state.
        if (State() == EState::Keyboard && widget != m_pBar)
            Leave();
        return false;
    default:
        return false;
    }
}

} // namespace nimbra
