#pragma once

#include "data/session/ListFile.h"

#include <string>

namespace nimbra {

// A recovery file left by a run that did not end (the running save of its
// open tabs) becomes the open-tabs log, replacing it in one step. False
// when there was none.
bool PromoteRecoveryFile(const std::string& recoveryPath, const std::string& logPath);

// Appends a URL of at least three characters to the start-up list.
// False when it was too short or the file could not be written.
bool AddStartupUrl(const std::string& startupPath, const std::string& url);

} // namespace nimbra
