#pragma once

#include <cstdint>
#include <string>

namespace nimbra {

// Files read by a name that comes from outside the program (list files,
// shortcuts, the bookmark file, INI files) are regular files of at most
// this size.
inline constexpr std::int64_t kMaxInputFileSize = 64LL * 1024 * 1024;

enum class EInputFileError {
    None,
    Missing,    // no such file (or a folder on the way is missing)
    NotRegular, // a folder, FIFO, socket or device
    TooLarge,   // more than kMaxInputFileSize bytes
    Unreadable, // permission denied or a read error
};

struct SInputFile {
    EInputFileError error = EInputFileError::None;
    // The whole file; after a read error, the bytes read before it.
    std::string bytes;

    bool Ok() const { return error == EInputFileError::None; }
};

// True for a path that exists but is neither a regular file nor a folder
// (a FIFO, socket or device): reading it may block or never end.
bool IsSpecialFile(const std::string& path);
// True for a regular file (after symbolic links).
bool IsRegularFile(const std::string& path);

// A file read piece by piece (files too large to hold at once). Open() has
// the checks of ReadInputFile but for the size cap.
class CInputFile {
public:
    CInputFile() = default;
    ~CInputFile();
    CInputFile(const CInputFile&) = delete;
    CInputFile& operator=(const CInputFile&) = delete;

    EInputFileError Open(const std::string& path);
    std::int64_t Size() const { return m_size; }
    // Up to `size` bytes; 0 at the end, -1 after a read error.
    long Read(char* buffer, unsigned long size);

private:
    int m_fd = -1;
    std::int64_t m_size = 0;
};

// Reads a whole file. It is opened without blocking, so a FIFO or a device
// named by mistake is refused at once instead of stalling the caller.
SInputFile ReadInputFile(const std::string& path);

} // namespace nimbra
