#include "data/session/OpenTabsAutoSave.h"

#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

namespace nimbra {

COpenTabsAutoSave::COpenTabsAutoSave(std::function<SOpenTabs()> collect, std::string path, QObject* parent)
    : QObject(parent), m_collect(std::move(collect)), m_path(std::move(path))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &COpenTabsAutoSave::OnTimeout);
    connect(&m_watcher, &QFutureWatcher<bool>::finished, this, &COpenTabsAutoSave::OnWritten);
}

COpenTabsAutoSave::~COpenTabsAutoSave()
{
    Stop();
}

void COpenTabsAutoSave::Schedule()
{
    if (m_bStopped)
        return;
    m_dirty = true;
    // A running write reschedules itself when it ends.
    if (!m_timer.isActive() && !m_bWriting)
        StartTimer();
}

void COpenTabsAutoSave::StartTimer()
{
    qint64 wait = kDelayMs;
    if (m_lastWrite.isValid())
        wait = std::max<qint64>(wait, kMinIntervalMs - m_lastWrite.elapsed());
    m_timer.start(int(wait));
}

void COpenTabsAutoSave::OnTimeout()
{
    if (m_bStopped)
        return;
    m_dirty = false;
    SOpenTabs tabs = m_collect();
    if (m_written && tabs == *m_written)
        return;
    m_written = tabs;
    m_lastWrite.start();
    m_bWriting = true;
    m_future = QtConcurrent::run([path = m_path, tabs = std::move(tabs)] {
        return WriteOpenTabs(kHeadingOpenTabsLog, path, tabs);
    });
    m_watcher.setFuture(m_future);
}

void COpenTabsAutoSave::OnWritten()
{
    m_bWriting = false;
    ++m_nWrites;
    if (m_dirty && !m_bStopped)
        StartTimer();
}

void COpenTabsAutoSave::Stop()
{
    m_bStopped = true;
    m_timer.stop();
    m_future.waitForFinished();
}

} // namespace nimbra
