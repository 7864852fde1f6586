#pragma once

#include <optional>
#include <string>

namespace nimbra {

// A page window as the DDE topics report it.
struct SDDEPage {
    std::string url;   // location URL
    std::string title; // location name
};

// What the browser's DDE topics need from the main frame.
class IDDEBrowserHost {
public:
    virtual ~IDDEBrowserHost() = default;

    // Number of tabs in the tab bar.
    virtual int TabCount() const = 0;
    // The page of tab `index` (0-based); nullopt when that tab has no view.
    virtual std::optional<SDDEPage> TabPage(int index) const = 0;
    // The active page view; nullopt when there is none.
    virtual std::optional<SDDEPage> ActivePage() const = 0;
    // The address bar's Go(text, addToHistory, newTab, touchHistory, notifyFrame).
    virtual void Go(const std::string& text, int addToHistory, int newTab, int touchHistory, int notifyFrame) = 0;
    // True while the main window is hidden in the notification area.
    virtual bool IsHiddenInTray() const = 0;
    // Queues the frame's restore-from-tray message (WM_USER+0x31).
    virtual void PostRestoreFromTray() = 0;
    // Restores the main window (SW_RESTORE).
    virtual void RestoreMainWindow() = 0;
    // Queues a close of the main window, handled as if the user closed it.
    virtual void PostClose() = 0;
};

} // namespace nimbra
