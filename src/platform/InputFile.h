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

// Reads a whole file. It is opened without blocking, so a FIFO or a device
// named by mistake is refused at once instead of stalling the caller.
SInputFile ReadInputFile(const std::string& path);

} // namespace nimbra
