#pragma once

#include "session/ListFile.h"

#include <string>

namespace nimbra {

// The entries of the open-tabs log to open again, in order: repeats removed
// (first occurrence kept, exact comparison) when `removeRepeats`, and the
// entries of the start-up list removed when `startupPath` is not empty.
// Empty entries are dropped.
UrlList LogEntriesToRestore(const std::string& logPath, bool removeRepeats, const std::string& startupPath);

} // namespace nimbra
