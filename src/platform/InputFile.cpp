#include "platform/InputFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbra {

namespace {

class CFd {
public:
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

EInputFileError OpenError(int error)
{
    return error == ENOENT || error == ENOTDIR ? EInputFileError::Missing : EInputFileError::Unreadable;
}

} // namespace

bool IsSpecialFile(const std::string& path)
{
    struct stat info = {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

SInputFile ReadInputFile(const std::string& path)
{
    SInputFile result;
    if (path.empty()) {
        result.error = EInputFileError::Missing;
        return result;
    }
    const CFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) {
        result.error = OpenError(errno);
        return result;
    }
    struct stat info = {};
    if (::fstat(fd.get(), &info) != 0) {
        result.error = EInputFileError::Unreadable;
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.error = EInputFileError::NotRegular;
        return result;
    }
    if (info.st_size > kMaxInputFileSize) {
        result.error = EInputFileError::TooLarge;
        return result;
    }
    // The size may change while reading; never more than the limit is kept.
    result.bytes.resize(size_t(info.st_size) + 1);
    size_t used = 0;
    for (;;) {
        if (used == result.bytes.size()) {
            if (used > size_t(kMaxInputFileSize)) {
                result.bytes.clear();
                result.error = EInputFileError::TooLarge;
                return result;
            }
            result.bytes.resize(std::min(used * 2 + 4096, size_t(kMaxInputFileSize) + 1));
        }
        const ssize_t n = ::read(fd.get(), result.bytes.data() + used, result.bytes.size() - used);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result.error = EInputFileError::Unreadable;
            break;
        }
        if (n == 0)
            break;
        used += size_t(n);
    }
    result.bytes.resize(used);
    return result;
}

} // namespace nimbra
