#pragma once

#include "data/session/ListFile.h"
#include "data/session/OpenTabsLog.h"
#include "platform/FileDialog.h"

#include <QDateTime>
#include <functional>
#include <string>

class QWidget;

namespace nimbra {

class CMainFrame;
class COpenTabsAutoSave;
class IBrowserHost;

// Asks for a list file: the chosen path, or an empty string when cancelled.
// `save` asks for a file to write; `folder` is the initial folder and
// `name` the proposed file name.
using ListFileDialog =
    std::function<std::string(QWidget* parent, bool save, const std::string& folder, const std::string& name)>;
// Replaces the system's file dialog (tests); an empty function restores it.
// Returns the dialog it replaced.
ListFileDialog SetListFileDialog(ListFileDialog dialog);

// The frame's commands over list files, the log, the start-up list, the
// recently closed pages and the blocked lists; loads the recently closed
// list and keeps the open-tabs log current.
void RegisterSessionCommands(CMainFrame& frame);

// Refills the submenu "最近閉じたURL(&E)" from the recently closed list.
void RebuildRecentClosedMenu(CMainFrame& frame);

// The exit steps: the open-tabs log when ExitSaveLog is on (then the
// recovery file goes), and the recently closed list (or its file removed
// when RectUrlEnable is off).
void SaveSessionAtExit(CMainFrame& frame);

// The URL of every tab in tab order: the engine's location, or the view's
// own URL when the page has not arrived yet; with each tab's history.
SOpenTabs OpenTabs(const CMainFrame& frame);

// Writes the open tabs to a list file; the open-tabs log, with the tabs'
// histories beside it, when `path` is empty. False when the file could not
// be written.
bool SaveOpenTabs(const CMainFrame& frame, const std::string& path);

// Opens every non-empty entry in a new tab of its own, in order.
void OpenListEntries(IBrowserHost& host, const UrlList& entries);

// Opens `url` in a new tab as OpenUrl does (`focusAfter` the same) and
// gives the tab `history` when it has one.
void OpenWithHistory(IBrowserHost& host, const std::string& url, const STabHistory& history, int focusAfter);

// Reopens the tabs of the open-tabs log. At start-up the entries of the
// start-up list, opened just before, are skipped when SURepeatCheck is on.
void RestoreLog(IBrowserHost& host, bool atStartup);

// Opens the start-up list when StartOpenUrl is 1.
void OpenStartupList(IBrowserHost& host);

// The frame's saver of the open-tabs log, nullptr before registration.
COpenTabsAutoSave* OpenTabsAutoSaveOf(const CMainFrame& frame);

} // namespace nimbra
