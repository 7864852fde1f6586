#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <map>
#include <optional>
#include <vector>

class QAction;
class QMenu;
class QWidget;

namespace nimbra {

// The state an update handler gives a command: enabled and, when set, the
// check mark.
struct SCmdUI {
    int id = 0;
    bool enabled = true;
    std::optional<bool> checked;

    void Enable(bool on = true) { enabled = on; }
    void SetCheck(bool on = true) { checked = on; }
};

// The command and update handlers of one command target (a view, the frame,
// the application). Range handlers serve the ids that are made at run time.
class CCommandTable {
public:
    using Handler = std::function<void()>;
    using RangeHandler = std::function<void(int id)>;
    using UpdateHandler = std::function<void(SCmdUI&)>;

    void SetHandler(int id, Handler handler);
    void SetUpdateHandler(int id, UpdateHandler handler);
    // Both ends included.
    void SetRangeHandler(int first, int last, RangeHandler handler);
    void SetRangeUpdateHandler(int first, int last, UpdateHandler handler);
    void Remove(int id);
    void Clear();

    bool HasHandler(int id) const;
    // Runs the handler of `id`; false when there is none.
    bool Run(int id) const;
    // Runs the update handler of `ui.id`; false when there is none.
    bool Update(SCmdUI& ui) const;

private:
    struct SRange {
        int first;
        int last;
        RangeHandler handler;
        UpdateHandler update;
    };
    const SRange* FindRange(int id, bool update) const;

    std::map<int, Handler> m_handlers;
    std::map<int, UpdateHandler> m_updates;
    std::vector<SRange> m_ranges;
};

// One QAction per command id, routed in the order active view, frame,
// application. An id that no level handles is disabled; one with a command
// handler but no update handler is enabled.
class CCommandRouter : public QObject {
    Q_OBJECT
public:
    enum class ELevel { Frame, App };
    using ViewTableProvider = std::function<CCommandTable*()>;

    explicit CCommandRouter(QObject* parent = nullptr);
    ~CCommandRouter() override;

    CCommandTable& Table(ELevel level);
    void SetHandler(ELevel level, int id, CCommandTable::Handler handler);
    void SetUpdateHandler(ELevel level, int id, CCommandTable::UpdateHandler handler);
    // The active view's table, asked at each routing; it may return nullptr.
    void SetViewTableProvider(ViewTableProvider provider);

    // The action of `id`, made on first request.
    QAction* Action(int id);
    QAction* FindAction(int id) const;
    // A further action for `id` with its own text (the same command under
    // another label, as in the tray menu); it follows the command's state.
    QAction* AddAlias(int id, const QString& text, QObject* parent);
    // The command id of an action made here (primary or alias), else 0.
    static int IdOf(const QAction* action);

    // Runs the first handler of `id`; whether one ran.
    bool Execute(int id);
    // The state the update handlers give `id` now.
    SCmdUI Query(int id) const;
    // Applies that state to the actions of `id`.
    void Update(int id);
    void UpdateAll();
    void UpdateMenu(QMenu* menu);
    // Updates the menu's actions each time it is about to show.
    void WatchMenu(QMenu* menu);
    // Adds every action with a shortcut to `window`, so the keys work there,
    // also in its text fields, which keep only the keys that edit them.
    void AttachShortcuts(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnTriggered(int id);
    void ScheduleUpdateAll();
    std::vector<QAction*> ActionsOf(int id) const;

    CCommandTable m_frame;
    CCommandTable m_app;
    ViewTableProvider m_viewProvider;
    std::map<int, QPointer<QAction>> m_actions;
    QPointer<QWidget> m_pShortcutWindow;
    std::map<int, std::vector<QPointer<QAction>>> m_aliases;
    bool m_updatePending = false;
};

} // namespace nimbra
