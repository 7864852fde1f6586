#pragma once

#include "platform/HistoryDb.h"
#include "data/sidebar/HistorySearch.h"
#include "widgets/sidebar/NimbraBarPane.h"
#include "widgets/sidebar/PaneTree.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QMenu;

namespace nimbra {

class CSettings;

// What the two history panes need from the browser around them.
class IHistoryHost {
public:
    virtual ~IHistoryHost() = default;
    virtual std::shared_ptr<CHistoryDb> History() const = 0;
    // Opens `url` in the active tab, or in a new tab.
    virtual void Navigate(const std::string& url) = 0;
    virtual void OpenNewTab(const std::string& url) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // Moves the keyboard focus to the active page once the event at hand is done.
    virtual void FocusView() = 0;
    virtual bool IsBarVisible() const = 0;
    // The settings store, for the panes' own keys.
    virtual CSettings& Settings() const = 0;
};

// Runs `read` on a worker with a connection of its own, then `done` on the
// owner's thread; nothing when the owner is gone by then.
template <class T>
void ReadHistory(QObject* owner, std::shared_ptr<CHistoryDb> db, std::function<T(const CHistoryReader&)> read,
                 std::function<void(T)> done)
{
    auto* watcher = new QFutureWatcher<T>(owner);
    QObject::connect(watcher, &QFutureWatcherBase::finished, owner, [watcher, done = std::move(done)] {
        done(watcher->result());
        watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run([db = std::move(db), read = std::move(read)] { return read(db->Reader()); }));
}

// Pane 1 of the side bar: the history by day or week, then site, then
// page. Each level is read when it is first opened.
class CHistoryTree : public CPaneTree, public INimbraBarPane {
    Q_OBJECT
public:
    enum ECommand : int {
        ID_HIST_PROPERTIES = 32947,
        ID_HIST_RELOAD = 32946,
        ID_HIST_STANDARD_ACTION = 32948,
        ID_HIST_OPEN = 32950,
        ID_HIST_OPEN_NEW = 32951,
        ID_HIST_COPY_URL = 32952,
        ID_HIST_COPY_TITLE = 32953,
        ID_HIST_OPEN_VERB = 32954,
    };
    static constexpr int kIconHitWidth = 19;

    explicit CHistoryTree(IHistoryHost& host, QWidget* parent = nullptr);

    // INimbraBarPane.
    QWidget* Widget() override { return this; }
    QWidget* FocusTarget() override { return this; }
    void OnActivate() override;

    bool IsStale() const { return m_bStale; }
    // 32946: empties the tree and reads the first level again.
    void Reload();
    // Empties the tree at once; it is read again when next shown.
    void ClearAll();
    // True while a level is being read.
    bool IsReading() const { return m_nReads > 0; }

    void Click(QTreeWidgetItem* item, Qt::KeyboardModifiers modifiers) override;
    void RunCommand(int id) override;
    QMenu* CreateContextMenu(QTreeWidgetItem* target);
    QTreeWidgetItem* Selected() const { return currentItem(); }
    static bool IsPage(const QTreeWidgetItem* item);
    static std::string UrlOf(const QTreeWidgetItem* item);
    bool IsOnLabel(const QTreeWidgetItem* item, const QPoint& viewportPos) const override;

Q_SIGNALS:
    // A level arrived (tests wait on it).
    void LevelFilled();

protected:
    void OnEnter(Qt::KeyboardModifiers modifiers) override;
    int KeyCommand(const QKeyEvent* key) const override;
    void ShowMenuAtSelection() override;
    std::string HoverText(const QTreeWidgetItem* item) const override { return UrlOf(item); }
    void FocusPage() override { m_host.FocusView(); }
    void ShowStatus(const std::string& text) override { m_host.SetStatusText(text); }
    // Delete removes nothing from the history, and reaches nothing else.
    bool SwallowsKey(int key) const override { return key == Qt::Key_Delete; }
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void Fill(QTreeWidgetItem* folder);
    // Opens the page once the database confirms it is still there.
    void Open(const QTreeWidgetItem* item, bool newTab, bool viewSource);
    void ShowProperties(const QTreeWidgetItem* item);
    int ClickOpenNew() const;

    IHistoryHost& m_host;
    bool m_bStale = true;
    int m_nReads = 0;
    // Bumped by every reset: reads of an older tree are dropped.
    unsigned m_nGeneration = 0;
};

} // namespace nimbra
