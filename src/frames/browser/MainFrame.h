#pragma once

#include "data/settings/Settings.h"
#include "data/dde/NimbraDDEClient.h"
#include "frames/browser/BrowserHost.h"
#include "frames/browser/FrameDDEHost.h"
#include "frames/browser/FrameViewHost.h"
#include "platform/DeleteInTurns.h"
#include "platform/HeapTrim.h"
#include "platform/HistoryDb.h"
#include "platform/Ipc.h"
#include "data/session/BlockedLists.h"
#include "data/session/RecentClosed.h"
#include "widgets/view/EngineServices.h"

#include <QMainWindow>
#include <QPointer>
#include <memory>
#include <string>
#include <vector>

class QMdiArea;
class QMenu;
class QMenuBar;
class QMdiSubWindow;
class QToolBar;

namespace nimbra {

class CAddressCombo;
class CChildFrame;
class CCommandRouter;
class CNimbraStatusBar;
class CNimbraView;
class CViewManager;
class CWindowCommands;

// The browser's main window: an MDI frame whose children are the tabs.
// `host` is the application, which outlives the frame.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(IBrowserHost& host);
    ~CMainFrame() override;

    // Creates the bars, reads the settings and starts listening for other
    // programs. False when the window could not be built.
    bool Create();

    // Set from construction until the end of start-up; hand-overs that
    // arrive meanwhile are dropped.
    bool m_bStartup = true;
    void EndStartup();

    // The application: settings store, data paths, new tabs, profile.
    IBrowserHost& Host() const { return m_host; }
    // The frame as its tabs' views see it.
    IViewHost& ViewHost() { return m_viewHost; }
    CFrameSettings& FrameSettings() { return m_settings; }
    const CFrameSettings& FrameSettings() const { return m_settings; }
    CBlockedLists& BlockedLists() { return m_blockedLists; }
    CAddressCombo* AddressCombo() const { return m_pAddressCombo; }
    CViewManager* ViewManager() const { return m_pViewManager; }
    CNimbraStatusBar* StatusBar() const { return m_pStatusBar; }
    COfflineState& Offline() { return m_offline; }
    CHistoryDb& History() { return *m_pHistory; }
    // For workers, which may outlive the frame's widgets.
    std::shared_ptr<CHistoryDb> SharedHistory() const { return m_pHistory; }
    CRecentClosed& RecentClosed() { return m_recentClosed; }
    CCommandRouter& Router() { return *m_pRouter; }
    // Placement, full screen, bar layout, tray; nullptr before the bars exist.
    CWindowCommands* Window() const { return m_pWindow; }
    QMdiArea* MdiArea() const { return m_pMdiArea; }
    // The frame's one menu bar (built from menu 128). Not QMainWindow's
    // menuBar(), which makes a new empty bar when the menu widget is
    // something else.
    QMenuBar* MainMenu() const { return m_pMainMenu; }
    // The main toolbar: band 135 of the rebar, or with ToolBarDockingMode 1
    // a dockable toolbar; nullptr when there is none.
    QWidget* ToolBar() const { return m_pToolBar; }

    // Runs a command by id, as its menu item would.
    bool ExecuteCommand(int id);

    // Download-control flags: those of the active tab, or the frame's (the
    // new tabs' default) when there is no tab.
    void ToggleDownloadFlag(unsigned bit);
    bool IsDownloadFlagSet(unsigned bit) const;
    // Hands the active tab's flags to its page and reloads it, unless
    // PropChangeRefresh leaves them for the next navigation.
    void ApplyDownloadFlags();
    unsigned DownloadFlags() const { return unsigned(m_settings.DownloadCtrl); }
    // The security-level drop-down (44288..44292) of the toolbar button.
    QMenu* SecurityLevelMenu() const { return m_pSecurityLevelMenu; }
    // Sets the system's offline state; the engine, the indicator and the
    // caption follow what the store then holds.
    void SetOfflineMode(bool offline);
    // Takes the system's offline state again (another program may have
    // changed it).
    void RefreshOfflineState();
    // Hands the system's cookie preferences to the engine.
    void ApplyCookieRules();

    // The tab whose context menu is open, -1 when none.
    int m_nContextTab = -1;
    CNimbraView* ContextView() const;
    // URLs of the tabs that the last bulk close closed.
    UrlList m_closeAllRestore;

    // Closes a tab through its frame, unless it is locked.
    void CloseTab(CNimbraView* view);
    // Closes every tab but `spare` that is neither locked nor already
    // closing by a blocking rule, keeping their URLs for the restore.
    void BulkClose(CNimbraView* spare, bool lastToFirst);
    // The tab index to select when the active tab `i` of `n` closes under
    // rule `tabPosToCls`; -1 leaves the choice to the activation order.
    static int NextActiveTab(int tabPosToCls, int i, int n);
    // Called by a closing child frame before it goes.
    void OnChildClosing(CChildFrame* child);

    // Re-reads the frame's settings group and the blocked lists.
    void ReloadSettings();

    // Tabs that exist, including those whose first page has not arrived.
    int TabCount() const;
    // TabMax is on and TabMaxCount tabs are open.
    bool AtTabLimit() const;
    // Views in tab order, then those still waiting for their tab item.
    std::vector<CNimbraView*> Views() const;
    CNimbraView* ActiveView() const;
    CChildFrame* ActiveChild() const;

    // A new tab in the background (no activation); nullptr at the tab limit.
    CNimbraView* CreateNewView();
    // The new-document command: a new tab with its item, made active.
    CNimbraView* NewDocument();
    // Shows and activates a tab.
    void ActivateTab(CChildFrame* child);
    // A closing tab: its view records it, its item goes.
    void RecordClosedTab(const std::string& url, const std::string& title, const STabHistory& history);
    // A tab's child frame is closing: it no longer counts as a tab.
    const CHeapTrim& HeapTrim() const { return m_heapTrim; }
    // Deletes a closed tab's frame in a later turn of the event loop.
    void DeleteClosedFrame(CChildFrame* child);
    void OnChildClosed(CChildFrame* child);
    void OnDocumentTitleChanged(CChildFrame* child);

    void SetAddressText(const std::string& url);

    // Gives the keyboard focus to the active tab's page, later.
    void PostFocusView();

    // Writes the URLs of all tabs, in tab order, to a list file; the
    // open-tabs log when `path` is empty.
    void SaveOpenTabs(const std::string& path);

    // Queues a tab that a blocking rule closes: marked once, counted in the
    // closed-window count, closed by the tab bar's timer.
    void QueueBlockedClose(CNimbraView* view);

    // Messages from other programs.
    qint64 OnWindowMessage(const ipc::Message& message);
    qint64 OnCopyData(const ipc::Message& message);

    int m_nCWC = 0;
    // Proxy mode (1 system configuration, 2 direct, 4 named) and the index
    // of the named proxy in proxy.ini, -1 for none.
    int m_nProxyMode = 1;
    int m_nProxyIndex = -1;

Q_SIGNALS:
    // A tab was added, removed or moved, or one of their URLs changed.
    void OpenTabsChanged();
    // The history was cleared: every view of it empties itself at once.
    void HistoryCleared();

public:

    // Commands.
    void OnFileNew();
    void OnFileNewHome();
    void OnFileClose();
    void OnNewTabFromClipboard();
    void OnCopyTitle();
    void OnCopyUrl();
    void OnStartEditor();
    void OnInternetOptions(int page);
    // Internet Options' clearing of the history, and of the page copies.
    void ClearHistory();
    void DropHistoryCopies();
    // Files dropped on the frame: the first in the active tab (or a new one
    // with Shift), the others in new tabs.
    void OpenDroppedFiles(const QStringList& paths, bool shift);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // A right click on a docked bar: the bar context menu.
    QMenu* createPopupMenu() override;

private:
    void CreateMenus();
    void RegisterFrameCommands();
    // Creation steps of bars and services that are not part of this window yet.
    void CreateToolBar();
    void CreateSideBar();
    void LoadBarLayout();
    void SetUpProxyMenu();
    void PrepareSecurityLevelItems();
    void RegisterToggleCommands();
    void SetFrameDownloadFlags(unsigned flags);
    void ApplyDownloadPreset(int n);
    // A click on a toggle pane of the status bar.
    void OnTogglePane(unsigned bit);
    void ShowOfflineState(bool offline);
    void ToggleCookies(int id);
    void CreateAddressBar();
    void UpdateCaption();
    void OnSubWindowActivated(QMdiSubWindow* window);

    IBrowserHost& m_host;
    CFrameSettings m_settings;
    CBlockedLists m_blockedLists;
    QMdiArea* m_pMdiArea = nullptr;
    QMenuBar* m_pMainMenu = nullptr;
    QWidget* m_pToolBar = nullptr;
    CAddressCombo* m_pAddressCombo = nullptr;
    CViewManager* m_pViewManager = nullptr;
    CCommandRouter* m_pRouter = nullptr;
    CNimbraStatusBar* m_pStatusBar = nullptr;
    QMenu* m_pSecurityLevelMenu = nullptr;
    // The frame's download-control flags before the last preset.
    unsigned m_dwDLControlPrev = unsigned(-1);
    CWindowCommands* m_pWindow = nullptr;
    COfflineState m_offline;
    std::shared_ptr<CHistoryDb> m_pHistory;
    CRecentClosed m_recentClosed;
    QPointer<CChildFrame> m_pLastActive;
    std::vector<QPointer<CChildFrame>> m_children;
    // Closed tabs' frames, deleted a few per turn of the event loop.
    CDeleteInTurns m_closedFrames;
    // After tabs closed, what their pages left in the heap goes back.
    CHeapTrim m_heapTrim;
    std::unique_ptr<ipc::CWindowEndpoint> m_pEndpoint;
    CFrameDDEHost m_ddeHost{*this};
    CFrameViewHost m_viewHost{*this};
    std::unique_ptr<CNimbraDDEClient> m_pDDE;
    bool m_bClosing = false;
};

} // namespace nimbra
