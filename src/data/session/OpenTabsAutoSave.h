#pragma once

#include "data/session/OpenTabsLog.h"

#include <QElapsedTimer>
#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>

namespace nimbra {

// Keeps a list file of the open tabs current while the browser runs, so
// that a crash does not lose them, with the tabs' histories in its side
// file. Changes are coalesced: the list is taken on
// the calling thread a little after a change, at most once every
// kMinIntervalMs, and written atomically on a worker thread unless it is
// the list written last.
class COpenTabsAutoSave : public QObject {
    Q_OBJECT
public:
    static constexpr int kDelayMs = 500;
    static constexpr int kMinIntervalMs = 2000;

    COpenTabsAutoSave(std::function<SOpenTabs()> collect, std::string path, QObject* parent = nullptr);
    ~COpenTabsAutoSave() override;

    // The tabs or one of their URLs changed.
    void Schedule();
    // No more writes; waits for a write in progress. Used before the exit
    // save so that no late write replaces it.
    void Stop();

    // A write is due or running.
    bool IsPending() const { return m_timer.isActive() || m_bWriting; }
    int WriteCount() const { return m_nWrites; }

private:
    void StartTimer();
    void OnTimeout();
    void OnWritten();

    std::function<SOpenTabs()> m_collect;
    std::string m_path;
    std::optional<SOpenTabs> m_written;
    QTimer m_timer;
    QElapsedTimer m_lastWrite;
    QFuture<bool> m_future;
    QFutureWatcher<bool> m_watcher;
    bool m_dirty = false;
    bool m_bWriting = false;
    bool m_bStopped = false;
    int m_nWrites = 0;
};

} // namespace nimbra
