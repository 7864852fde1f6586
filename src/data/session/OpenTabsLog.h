#pragma once

#include "data/session/ListFile.h"

#include <string>

namespace nimbra {

class CMainFrame;
class CNimbraApp;

// The URL of every tab in tab order: the engine's location, or the view's
// own URL when the page has not arrived yet.
UrlList OpenTabUrls(const CMainFrame& frame);

// Writes the open tabs to a list file; the open-tabs log when `path` is
// empty. False when the file could not be written.
bool SaveOpenTabs(const CMainFrame& frame, const std::string& path);

// A recovery file left by a run that did not end (the running save of its
// open tabs) becomes the open-tabs log, replacing it in one step. False
// when there was none.
bool PromoteRecoveryFile(const std::string& recoveryPath, const std::string& logPath);

// Opens every non-empty entry in a new tab of its own, in order.
void OpenListEntries(CNimbraApp& app, const UrlList& entries);

// Reopens the tabs of the open-tabs log. At start-up the entries of the
// start-up list, opened just before, are skipped when SURepeatCheck is on.
void RestoreLog(CNimbraApp& app, bool atStartup);

// Opens the start-up list when StartOpenUrl is 1.
void OpenStartupList(CNimbraApp& app);

// Appends a URL of at least three characters to the start-up list.
// False when it was too short or the file could not be written.
bool AddStartupUrl(const std::string& startupPath, const std::string& url);

} // namespace nimbra
