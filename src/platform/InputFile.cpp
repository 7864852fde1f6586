#include "platform/InputFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbra {

namespace {

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

bool IsRegularFile(const std::string& path)
{
    struct stat info = {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

CInputFile::~CInputFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

EInputFileError CInputFile::Open(const std::string& path)
{
    if (path.empty())
        return EInputFileError::Missing;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return OpenError(errno);
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const bool regular = S_ISREG(info.st_mode);
        ::close(fd);
        return regular ? EInputFileError::Unreadable : EInputFileError::NotRegular;
    }
    m_fd = fd;
    m_size = info.st_size;
    return EInputFileError::None;
}

long CInputFile::Read(char* buffer, unsigned long size)
{
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, size);
        if (n < 0 && errno == EINTR)
            continue;
        return long(n);
    }
}

SInputFile ReadInputFile(const std::string& path)
{
    SInputFile result;
    CInputFile file;
    result.error = file.Open(path);
    if (!result.Ok())
        return result;
    if (file.Size() > kMaxInputFileSize) {
        result.error = EInputFileError::TooLarge;
        return result;
    }
    // The size may change while reading; never more than the limit is kept.
    result.bytes.resize(size_t(file.Size()) + 1);
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
        const long n = file.Read(result.bytes.data() + used, result.bytes.size() - used);
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
