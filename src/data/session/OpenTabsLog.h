#pragma once

#include "data/session/ListFile.h"
#include "platform/TabHistory.h"

#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

// The open tabs as they are saved: each tab's URL, and its history when
// the engine has one.
struct SOpenTabs {
    UrlList urls;
    std::vector<STabHistory> histories; // one per URL
    bool operator==(const SOpenTabs&) const = default;
};

// Writes the list file of the tabs, then the side file of their histories
// (CTabHistoryFile) for the entries as the list reads back. False when the
// list could not be written.
bool WriteOpenTabs(std::string_view heading, const std::string& path, const SOpenTabs& tabs);

// An entry of the open-tabs log to open again, with the history it had.
struct SRestoreEntry {
    std::string url;
    STabHistory history;
};

// The entries of the open-tabs log to open again, in order: repeats removed
// (first occurrence kept, exact comparison) when `removeRepeats`, and the
// entries of the start-up list removed when `startupPath` is not empty.
// Empty entries are dropped. Each keeps the history of the log's side file.
std::vector<SRestoreEntry> LogEntriesToRestore(const std::string& logPath, bool removeRepeats,
                                               const std::string& startupPath);

// A recovery file left by a run that did not end (the running save of its
// open tabs) becomes the open-tabs log, replacing it in one step, and its
// side file the log's. False when there was none.
bool PromoteRecoveryFile(const std::string& recoveryPath, const std::string& logPath);

// Removes a list file (or "rcul.ini") and its history side file.
void RemoveListWithHistory(const std::string& path);

// Appends a URL of at least three characters to the start-up list.
// False when it was too short or the file could not be written.
bool AddStartupUrl(const std::string& startupPath, const std::string& url);

} // namespace nimbra
