#include "ui/CommandRouter.h"

#include "platform/EventWidget.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTimer>
#include <QWidget>

namespace nimbra {

namespace {

// Marks our actions with their command id.
constexpr const char* kIdProperty = "nimbraCommandId";

bool IsTextField(const QWidget* widget)
{
    // A row edited in place in a list keeps every key until its edit ends.
    const QWidget* viewport = widget->parentWidget();
    if (viewport && qobject_cast<const QAbstractItemView*>(viewport->parentWidget()))
        return false;
    if (const auto* combo = qobject_cast<const QComboBox*>(widget))
        return combo->isEditable();
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget)
        || qobject_cast<const QTextEdit*>(widget) || qobject_cast<const QPlainTextEdit*>(widget);
}

// The keys a person expects a text field to keep: typing and deleting, the
// cursor keys with Home and End, cut, copy, paste, undo and select all.
bool IsEditingKey(const QKeyEvent* key)
{
    for (const QKeySequence::StandardKey standard : {QKeySequence::Cut, QKeySequence::Copy, QKeySequence::Paste,
                                                     QKeySequence::Undo, QKeySequence::SelectAll})
        if (key->matches(standard))
            return true;
    switch (key->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        return true;
    default:
        return !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
            && !key->text().isEmpty() && key->text().front().isPrint();
    }
}

} // namespace

// --- CCommandTable ----------------------------------------------------------

void CCommandTable::SetHandler(int id, Handler handler)
{
    m_handlers[id] = std::move(handler);
}

void CCommandTable::SetUpdateHandler(int id, UpdateHandler handler)
{
    m_updates[id] = std::move(handler);
}

void CCommandTable::SetRangeHandler(int first, int last, RangeHandler handler)
{
    m_ranges.push_back({first, last, std::move(handler), {}});
}

void CCommandTable::SetRangeUpdateHandler(int first, int last, UpdateHandler handler)
{
    m_ranges.push_back({first, last, {}, std::move(handler)});
}

void CCommandTable::Remove(int id)
{
    m_handlers.erase(id);
    m_updates.erase(id);
}

void CCommandTable::Clear()
{
    m_handlers.clear();
    m_updates.clear();
    m_ranges.clear();
}

// The latest range registered wins, as a later single handler replaces an
// earlier one.
const CCommandTable::SRange* CCommandTable::FindRange(int id, bool update) const
{
    for (auto it = m_ranges.rbegin(); it != m_ranges.rend(); ++it) {
        if (id < it->first || id > it->last)
            continue;
        if (update ? bool(it->update) : bool(it->handler))
            return &*it;
    }
    return nullptr;
}

bool CCommandTable::HasHandler(int id) const
{
    return m_handlers.count(id) != 0 || FindRange(id, false) != nullptr;
}

bool CCommandTable::Run(int id) const
{
    // Copies, so a handler may drop its own table (a view closing itself).
    if (auto it = m_handlers.find(id); it != m_handlers.end()) {
        Handler handler = it->second;
        handler();
        return true;
    }
    if (const SRange* range = FindRange(id, false)) {
        RangeHandler handler = range->handler;
        handler(id);
        return true;
    }
    return false;
}

bool CCommandTable::Update(SCmdUI& ui) const
{
    if (auto it = m_updates.find(ui.id); it != m_updates.end()) {
        UpdateHandler update = it->second;
        update(ui);
        return true;
    }
    if (const SRange* range = FindRange(ui.id, true)) {
        UpdateHandler update = range->update;
        update(ui);
        return true;
    }
    return false;
}

// --- CCommandRouter ---------------------------------------------------------

CCommandRouter::CCommandRouter(QObject* parent)
    : QObject(parent)
{
    // Refreshes the state of a command just before its key is matched, as
    // the accelerators of a frame see the current state.
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
}

CCommandRouter::~CCommandRouter() = default;

CCommandTable& CCommandRouter::Table(ELevel level)
{
    return level == ELevel::Frame ? m_frame : m_app;
}

void CCommandRouter::SetHandler(ELevel level, int id, CCommandTable::Handler handler)
{
    Table(level).SetHandler(id, std::move(handler));
}

void CCommandRouter::SetUpdateHandler(ELevel level, int id, CCommandTable::UpdateHandler handler)
{
    Table(level).SetUpdateHandler(id, std::move(handler));
}

void CCommandRouter::SetViewTableProvider(ViewTableProvider provider)
{
    m_viewProvider = std::move(provider);
}

QAction* CCommandRouter::Action(int id)
{
    if (QAction* action = FindAction(id))
        return action;
    auto* action = new QAction(this);
    action->setProperty(kIdProperty, id);
    connect(action, &QAction::triggered, this, [this, id] { OnTriggered(id); });
    m_actions[id] = action;
    Update(id);
    return action;
}

QAction* CCommandRouter::FindAction(int id) const
{
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second.data();
}

QAction* CCommandRouter::AddAlias(int id, const QString& text, QObject* parent)
{
    auto* action = new QAction(text, parent);
    action->setProperty(kIdProperty, id);
    connect(action, &QAction::triggered, this, [this, id] { OnTriggered(id); });
    auto& aliases = m_aliases[id];
    std::erase_if(aliases, [](const QPointer<QAction>& a) { return a.isNull(); });
    aliases.emplace_back(action);
    Update(id);
    return action;
}

int CCommandRouter::IdOf(const QAction* action)
{
    return action ? action->property(kIdProperty).toInt() : 0;
}

std::vector<QAction*> CCommandRouter::ActionsOf(int id) const
{
    std::vector<QAction*> actions;
    if (QAction* action = FindAction(id))
        actions.push_back(action);
    if (auto it = m_aliases.find(id); it != m_aliases.end()) {
        for (const QPointer<QAction>& alias : it->second) {
            if (alias)
                actions.push_back(alias.data());
        }
    }
    return actions;
}

bool CCommandRouter::Execute(int id)
{
    if (CCommandTable* view = m_viewProvider ? m_viewProvider() : nullptr) {
        if (view->HasHandler(id))
            return view->Run(id);
    }
    if (m_frame.HasHandler(id))
        return m_frame.Run(id);
    return m_app.Run(id);
}

SCmdUI CCommandRouter::Query(int id) const
{
    SCmdUI ui;
    ui.id = id;
    const CCommandTable* view = m_viewProvider ? m_viewProvider() : nullptr;
    for (const CCommandTable* table : {view, &m_frame, &m_app}) {
        if (table && table->Update(ui))
            return ui;
    }
    ui.enabled = false;
    for (const CCommandTable* table : {view, &m_frame, &m_app}) {
        if (table && table->HasHandler(id)) {
            ui.enabled = true;
            break;
        }
    }
    return ui;
}

void CCommandRouter::Update(int id)
{
    const std::vector<QAction*> actions = ActionsOf(id);
    if (actions.empty())
        return;
    const SCmdUI ui = Query(id);
    for (QAction* action : actions) {
        action->setEnabled(ui.enabled);
        if (ui.checked) {
            action->setCheckable(true);
            action->setChecked(*ui.checked);
        } else if (action->isCheckable()) {
            action->setChecked(false);
        }
    }
}

void CCommandRouter::UpdateAll()
{
    m_updatePending = false;
    std::vector<int> ids;
    ids.reserve(m_actions.size() + m_aliases.size());
    for (const auto& [id, action] : m_actions)
        ids.push_back(id);
    for (const auto& [id, aliases] : m_aliases) {
        if (!m_actions.count(id))
            ids.push_back(id);
    }
    for (int id : ids)
        Update(id);
}

void CCommandRouter::UpdateMenu(QMenu* menu)
{
    for (QAction* action : menu->actions()) {
        if (const int id = IdOf(action))
            Update(id);
    }
}

void CCommandRouter::WatchMenu(QMenu* menu)
{
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { UpdateMenu(menu); });
}

void CCommandRouter::AttachShortcuts(QWidget* window)
{
    m_pShortcutWindow = window;
    for (const auto& [id, action] : m_actions) {
        if (action && !action->shortcut().isEmpty())
            window->addAction(action.data());
    }
}

void CCommandRouter::OnTriggered(int id)
{
    // A toolbar button may show a state that is out of date.
    if (!Query(id).enabled) {
        Update(id);
        return;
    }
    Execute(id);
    ScheduleUpdateAll();
}

// After a command the states of others may have changed (a tab closed):
// refresh once the event loop is idle again.
void CCommandRouter::ScheduleUpdateAll()
{
    if (m_updatePending)
        return;
    m_updatePending = true;
    QTimer::singleShot(0, this, [this] {
        if (m_updatePending)
            UpdateAll();
    });
}

bool CCommandRouter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::ShortcutOverride)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const QKeyCombination pressed = key->keyCombination();
    bool commandKey = false;
    for (const auto& [id, action] : m_actions) {
        if (!action)
            continue;
        for (const QKeySequence& sequence : action->shortcuts()) {
            if (sequence.count() == 1 && sequence[0] == pressed) {
                Update(id);
                commandKey |= action->isEnabled();
                break;
            }
        }
    }
    // A text field of the window would keep a key that it binds as well
    // (Ctrl+E, its end of line): the command wins, but for the keys that
    // edit the field.
    const QWidget* widget = EventWidget(watched);
    if (commandKey && widget && m_pShortcutWindow && widget->window() == m_pShortcutWindow && IsTextField(widget)
        && !IsEditingKey(key)) {
        key->ignore();
        return true;
    }
    return false;
}

} // namespace nimbra

// Compiled here, not with the folder's other classes: the bookmark editor
// takes this file alone, without what those need (the web engine).
#include "moc_CommandRouter.cpp"
