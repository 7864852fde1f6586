#include "data/bookmarks/BkFileWatch.h"

#include "platform/Text.h"

#include <QFileInfo>
#include <QFileSystemWatcher>

#include <sys/stat.h>

namespace nimbra::editor {

namespace {
// Writers rename a new file over the old one; wait for the burst to end.
constexpr int kSettleMs = 200;
} // namespace

SFileStamp StampOf(const std::string& path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return {};
    return {true, uint64_t(st.st_dev), uint64_t(st.st_ino), int64_t(st.st_size),
            int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

CBkFileWatch::CBkFileWatch(QObject* parent) : QObject(parent), m_watcher(new QFileSystemWatcher(this))
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &CBkFileWatch::Check);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, [this] { m_settle.start(); });
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { m_settle.start(); });
}

void CBkFileWatch::Watch(const std::string& path)
{
    if (!m_watcher->files().isEmpty())
        m_watcher->removePaths(m_watcher->files());
    if (!m_watcher->directories().isEmpty())
        m_watcher->removePaths(m_watcher->directories());
    m_path = path;
    Rearm();
    Remember();
}

// A file replaced by a rename is a new file: watch it again, and its folder
// for when it comes back after being removed.
void CBkFileWatch::Rearm()
{
    if (m_path.empty())
        return;
    const QString file = ToQ(m_path);
    const QString folder = QFileInfo(file).absolutePath();
    if (!m_watcher->directories().contains(folder))
        m_watcher->addPath(folder);
    if (QFileInfo::exists(file) && !m_watcher->files().contains(file))
        m_watcher->addPath(file);
}

void CBkFileWatch::Remember()
{
    m_stamp = StampOf(m_path);
}

bool CBkFileWatch::DiffersFromRemembered() const
{
    return StampOf(m_path) != m_stamp;
}

void CBkFileWatch::Check()
{
    Rearm();
    if (DiffersFromRemembered())
        Q_EMIT Changed();
}

} // namespace nimbra::editor
