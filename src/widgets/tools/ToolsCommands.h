#pragma once

#include <functional>

class QDialog;
class QMenu;

namespace nimbra {

class CCommandRouter;
class CMainFrame;
class CProxyFile;

// Where the tools meet the frame: the URL extraction of the active tab
// (32851), the list editor (32957), and the proxy commands: the submenu of
// "proxy.ini", switching between the system configuration, a direct
// connection and the named proxies, the proxy dialog. The proxy mode and
// index live in the frame.
void RegisterToolsCommands(CMainFrame& frame);

// Closes the list editor, if one is open (at exit).
void CloseListEditor();

// Start-up: the mode and index of "proxy.ini", the submenu, the mode applied
// before the first page loads.
void SetUpProxy(CMainFrame& frame);
// Exit: the frame's mode and index into "proxy.ini".
void SaveProxyAtExit(const CMainFrame& frame);
// The Internet Options changed the system's proxy: it acts while the frame
// uses the system configuration.
void OnSystemProxyChanged(CMainFrame& frame);

// Replaces the proxy submenu's items after its six fixed ones with the
// file's entries (at most the 256 the command range holds).
void FillProxyMenu(QMenu* menu, CCommandRouter& router, const CProxyFile& file);

// Replaces the proxy dialog's exec (tests); an empty function restores it.
// Returns the one it replaced.
std::function<int(QDialog&)> SetProxyDialogDriver(std::function<int(QDialog&)> driver);

} // namespace nimbra
