#pragma once

#include "platform/TabHistory.h"

#include <memory>
#include <string>

class QMainWindow;
class QWidget;

namespace nimbra {

class CBlockedLists;
class CDownloadManager;
class CHistoryDb;
class CNimbraStatusBar;
class CNimbraView;
class CSettings;
class CShell;
class IWebBrowser;
struct CFrameSettings;

// What a tab's view, the downloads and the page's context menu need of the
// window that holds the tabs. The frame hands it to every view it makes.
class IViewHost {
public:
    virtual ~IViewHost() = default;

    // The window of the tabs: the parent of the pages' questions and of the
    // downloads window, and the owner of the menus' keys.
    virtual QMainWindow* Window() = 0;
    virtual const CFrameSettings& FrameSettings() const = 0;
    // The settings store (the downloads' folder).
    virtual CSettings& Settings() = 0;
    // Opens files and folders with the desktop's programs.
    virtual CShell& Shell() = 0;
    // nullptr when there is none.
    virtual CNimbraStatusBar* StatusBar() = 0;
    virtual CBlockedLists& BlockedLists() = 0;
    virtual CHistoryDb& History() = 0;
    virtual bool IsOffline() const = 0;
    // Takes the system's offline state again.
    virtual void RefreshOfflineState() = 0;

    // The engine of a new view.
    virtual std::unique_ptr<IWebBrowser> CreateBrowser(QWidget* parent) = 0;
    // A new tab in the background; nullptr at the tab limit.
    virtual CNimbraView* CreateNewView() = 0;
    // The downloads of the tabs.
    virtual CDownloadManager& Downloads() = 0;

    // The tab bar's item of a view, by its index.
    virtual int AddTab(CNimbraView& view, const std::string& text) = 0;
    virtual void SetTabText(int tab, const std::string& text) = 0;
    virtual void SetTabImage(int tab, int image) = 0;
    virtual void SelectTab(int tab) = 0;
    virtual int TabCount() const = 0;
    // Shows and activates the view's tab.
    virtual void ActivateTab(CNimbraView& view) = 0;
    // The title the caption shows while the view's tab is active.
    virtual void SetDocumentTitle(CNimbraView& view, const std::string& title) = 0;
    // Closes the view's tab now.
    virtual void CloseTab(CNimbraView& view) = 0;
    // Closes the view's tab from the tab bar's timer, uncounted.
    virtual void QueueClose(CNimbraView& view) = 0;
    // Closes the view's tab as a blocking rule does: counted as a blocked
    // window.
    virtual void QueueBlockedClose(CNimbraView& view) = 0;
    // A closing tab's page and its history for the recently closed list.
    virtual void RecordClosedTab(const std::string& url, const std::string& title, const STabHistory& history) = 0;
    // A tab's URL changed.
    virtual void OpenTabsChanged() = 0;
    virtual void SetAddressText(const std::string& url) = 0;

    // Mail links and URL list files; true when the URL was handled.
    virtual bool OpenSpecialUrl(const std::string& url) = 0;
    // Opens `url` in a new tab.
    virtual void OpenUrl(const std::string& url) = 0;
    // The add-bookmark dialog for a link.
    virtual void AddBookmark(const std::string& title, const std::string& url) = 0;
    // The frame's commands, as their menu items run them.
    virtual bool CommandEnabled(int id) = 0;
    virtual void RunCommand(int id) = 0;
};

} // namespace nimbra
