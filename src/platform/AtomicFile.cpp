#include "platform/AtomicFile.h"

#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace nimbra {

namespace {

// Writes all of `bytes` to `fd`; 0, or the errno of the failed write.
int WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        bytes.remove_prefix(size_t(n));
    }
    // A full disk or a failing device may show only when the data goes out.
    return ::fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
}

} // namespace

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error)
{
    QSaveFile file(QString::fromStdString(path));
    if (file.open(QIODevice::WriteOnly)) {
        // Written past QSaveFile's buffer, so that the reason of a failure
        // is the system's own and is read before the write is cancelled.
        if (const int failed = WriteAll(file.handle(), bytes)) {
            file.cancelWriting();
            if (error)
                *error = ErrorText(failed);
            return false;
        }
        if (file.commit())
            return true;
    }
    if (error)
        *error = file.errorString().toStdString();
    return false;
}

std::string ErrorText(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return "書き込みが許可されていません";
    case EROFS:
        return "読み取り専用の場所です";
    case ENOSPC:
    case EDQUOT:
        return "ディスクの空きが足りません";
    case EFBIG:
        return "ファイルが大きすぎます";
    case ENOENT:
    case ENOTDIR:
        return "フォルダがありません";
    case ENAMETOOLONG:
        return "名前が長すぎます";
    case EEXIST:
        return "同じ名前のものが多すぎます";
    default:
        return std::strerror(error);
    }
}

} // namespace nimbra
