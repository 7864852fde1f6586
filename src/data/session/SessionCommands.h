#pragma once

#include "platform/FileDialog.h"

#include <QDateTime>
#include <functional>
#include <string>

class QWidget;

namespace nimbra {

class CMainFrame;
class COpenTabsAutoSave;

// Asks for a list file: the chosen path, or an empty string when cancelled.
// `save` asks for a file to write; `folder` is the initial folder and
// `name` the proposed file name.
using ListFileDialog =
    std::function<std::string(QWidget* parent, bool save, const std::string& folder, const std::string& name)>;
// Replaces the system's file dialog (tests); an empty function restores it.
// Returns the dialog it replaced.
ListFileDialog SetListFileDialog(ListFileDialog dialog);

// Everything before the last "/" of a path; empty when there is none.
std::string FolderOf(const std::string& path);

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

// The frame's saver of the open-tabs log, nullptr before registration.
COpenTabsAutoSave* OpenTabsAutoSaveOf(const CMainFrame& frame);

} // namespace nimbra
