#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <string>

class QFileSystemWatcher;

namespace nimbra::editor {

// What tells one state of a file from another: the file and its size and
// modification time. A missing file has exists == false.
struct SFileStamp {
    bool exists = false;
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t mtimeNs = 0;

    bool operator==(const SFileStamp&) const = default;
};

SFileStamp StampOf(const std::string& path);

// Watches one file for changes that did not come from this program: the
// program remembers the stamp after each of its own reads and writes, and
// Changed() comes (once things settled) only when the file differs from it.
class CBkFileWatch : public QObject {
    Q_OBJECT
public:
    explicit CBkFileWatch(QObject* parent = nullptr);

    void Watch(const std::string& path);
    const std::string& Path() const { return m_path; }
    // The file as it is now is this program's own.
    void Remember();
    bool DiffersFromRemembered() const;

Q_SIGNALS:
    void Changed();

private:
    void Rearm();
    void Check();

    QFileSystemWatcher* m_watcher;
    QTimer m_settle;
    std::string m_path;
    SFileStamp m_stamp;
};

} // namespace nimbra::editor
