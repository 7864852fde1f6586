#pragma once

#include <QPoint>
#include <QRect>
#include <string>

class QMenu;
class QWidget;

namespace nimbra {

class CMainFrame;
class CNimbraView;

// The page commands a tab's view carries: navigation, text size, find,
// source, save, print, properties, comments, selection, duplicate, blocking
// lists. Registered in the view's own command table; `frame` holds the tab.
void RegisterViewCommands(CNimbraView& view, CMainFrame& frame);

// Frame commands built on the same operations: open (URL entry dialog),
// save-as of the context tab, and the auto-refresh pair, which act on the
// active view and keep their states without one.
void RegisterPageFrameCommands(CMainFrame& frame);

// Makes the comments of a body's HTML visible text with their markers.
std::string ShowComments(std::string html);

// The back (or forward) history of a view as a menu, "%dつ戻る" /
// "%dつ進む", whose items run the history commands through the frame.
QMenu* CreateHistoryMenu(CMainFrame& frame, CNimbraView& view, bool forward, QWidget* parent);

// Where the text size menu drops: left-aligned under the button; when the
// toolbar floats and the button's centre is outside the main window, 13
// pixels above the window's bottom. Never left of x = 0.
QPoint TextSizeMenuPosition(const QRect& button, const QRect& frame, bool toolbarFloating);

// The save-as dialog for a view's page: complete page or HTML only.
void SavePageAs(CNimbraView& view, QWidget* parent);

// The auto-refresh interval dialog for a view; OK sets the interval and
// starts the timer from five seconds on.
void EditAutoRefresh(CNimbraView& view, QWidget* parent);

// A page title or URL as a file name: no path separators, at most 100
// cells wide.
std::string PageFileName(const std::string& title);

} // namespace nimbra
