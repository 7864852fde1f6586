#include "platform/PrivateFolder.h"

#include "platform/Paths.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbra {

namespace {

// A real folder (not a link to one) of this user that nobody else may use.
bool IsPrivate(const std::string& path)
{
    struct stat info = {};
    return !path.empty() && ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid()
           && (info.st_mode & 077) == 0;
}

bool EndsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Works below an open folder, so that nothing on the way can be swapped for
// a link: every entry is opened with O_NOFOLLOW relative to its parent.
void Clean(int dirFd, const std::string& suffix)
{
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat info = {};
        if (::fstatat(::dirfd(dir), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(info.st_mode)) {
            const int sub = ::openat(::dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0) {
                Clean(sub, suffix);
                ::unlinkat(::dirfd(dir), name.c_str(), AT_REMOVEDIR);
            }
        } else if (S_ISREG(info.st_mode) && EndsWith(name, suffix)) {
            ::unlinkat(::dirfd(dir), name.c_str(), 0);
        }
    }
    ::closedir(dir);
}

} // namespace

std::string PrivateFolder(const std::string& name, bool create)
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && IsPrivate(runtime.toStdString())) {
        const std::string path = runtime.toStdString() + "/" + name;
        if (create)
            ::mkdir(path.c_str(), 0700);
        return IsPrivate(path) ? path : std::string();
    }
    // Made once per process under a name nobody can guess or plant.
    static std::map<std::string, std::string> made;
    std::string& path = made[name];
    if (path.empty() && create) {
        for (const std::string& base : {QFile::encodeName(QDir::tempPath()).toStdString(), DataDirectory()}) {
            std::string pattern = base + "/" + name + "-XXXXXX";
            if (::mkdtemp(pattern.data())) {
                path = pattern;
                break;
            }
        }
    }
    return IsPrivate(path) ? path : std::string();
}

void RemovePrivateFolder(const std::string& folder, const std::string& suffix)
{
    if (!IsPrivate(folder))
        return;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    Clean(fd, suffix);
    ::rmdir(folder.c_str());
}

} // namespace nimbra
