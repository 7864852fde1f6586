#pragma once

#include "ui/CommandRouter.h"
#include "platform/WebBrowser.h"

#include <QWidget>
#include <memory>
#include <string>

namespace nimbra {

class CCrashPanel;
class CPermissionBar;
class IViewHost;

// Tab icon indices.
enum ETabImage : int {
    TABIMG_NONE = -1,
    TABIMG_LOADING = 1,
    TABIMG_NAVIGATED = 2,
    TABIMG_UNREAD = 4,
    TABIMG_LOCKED = 5,
};

// The browser view of one tab: hosts the tab's engine, receives its events
// and turns them into the tab's text and icon, the caption, the address bar
// and the status bar, applying the blocking and navigation-lock rules.
class CNimbraView : public QWidget, public IWebBrowserEvents {
    Q_OBJECT
public:
    // `host` is the frame that holds the tabs; `parent` the tab's window.
    CNimbraView(IViewHost& host, QWidget* parent);
    ~CNimbraView() override;

    IViewHost& Host() const { return m_host; }
    // The commands this tab's view carries; the frame routes to the active one.
    CCommandTable& Commands() { return m_commands; }
    IWebBrowser* Browser() const { return m_pBrowser.get(); }

    // The control's operations.
    void Navigate(const std::string& url, int flags = 0, const std::string& targetFrame = {});
    void GoHome();
    void GoBack();
    void GoForward();
    void Refresh(int level = 0);
    void Stop();
    std::string GetLocationURL() const;
    std::string GetLocationName() const;

    bool SetViewTitle(const std::string& title);
    void SetTabImage(int index);
    CNimbraView* CreateNewView();
    void StartAutoRefresh(bool on);
    // Tells the page that an ambient property changed
    // (DISPID_AMBIENT_DLCONTROL: the download-control flags in m_dwDLControl).
    static constexpr int DISPID_AMBIENT_DLCONTROL = -5512;
    void NotifyAmbientChange(int dispid);
    void SetSecureLockIcon(int state) override;
    void MarkRead();
    void UpdateSecureIndicator();

    // Creates the tab item at once (local files opened from OpenUrl).
    void CreateTabItem(const std::string& text);
    // Forgets the navigation history of the first page (OpenUrl's reset).
    void ResetNavigationState();
    // Called by the child frame on MDI activation changes.
    void OnActivateView(bool active);
    // The tab is closing: records it as recently closed unless the blocking
    // rules closed it.
    void OnClosing();
    // Asked before the tab's frame closes. True when the tab cannot go yet:
    // the dialogs it runs (a page's alert, confirm, prompt or file chooser,
    // a login, a save question) are told to end, and the frame is closed
    // again once their loops have returned, as they still use the tab.
    bool DelayClose();
    // Downloads that the page now shown starts are refused from now on (the
    // save question offers it); another page of the tab may download again.
    void RefuseDownloads();
    bool DownloadsRefused() const;
    // Toggles the navigation lock (command 61240 and the tab menu).
    void ToggleNaviLock();

    std::string m_strTitle;
    std::string m_strUrl;
    int m_nProgress = 0;
    int m_nTabImage = TABIMG_NONE;
    bool m_bTabPending = true;
    bool m_bActivateOnFirstNavigate = false;
    bool m_bFirstActivatePending = true;
    bool m_bCanGoForward = false;
    bool m_bCanGoBack = false;
    bool m_bActive = false;
    bool m_bNewWindowPending = false;
    bool m_bMarkedForClose = false;
    bool m_bNoCloseRecord = false;
    bool m_bTabRemoved = false;
    bool m_bNaviLock = false;
    bool m_bBlankPopup = false;
    // The page opened windows by itself beyond the rate: it opens none
    // without a gesture until the tab leaves it. Opens refused so far.
    bool m_bOpensRefused = false;
    int m_nRefusedOpens = 0;
    // Requests of the page the filter lists refused.
    int m_nBlockedRequests = 0;
    // A navigation to another page was let through; its page replaces the
    // one shown when it commits.
    bool m_bNewPagePending = false;
    int m_nTab = -1;
    int m_nSecureLock = -1;
    unsigned m_nRefreshInterval = 0;
    int m_nRefreshTimer = 0;
    unsigned m_dwDLControl;
    unsigned m_dwDLControlPrev = unsigned(-1);
    // Host UI record, present when HostUI is on.
    struct SHostUI {
        unsigned flags;
        unsigned doubleClick;
    };
    std::unique_ptr<SHostUI> m_pHostUI;

    // Engine events.
    bool BeforeNavigate2(const std::string& url, int flags, const std::string& targetFrame) override;
    bool SubFrameNavigate(const std::string& url) override;
    void DownloadBegin() override;
    void ProgressChange(int progress, int progressMax) override;
    void NavigateComplete2(const std::string& url) override;
    void TitleChange(const std::string& text) override;
    void DownloadComplete() override;
    void DocumentComplete(const std::string& url) override;
    IWebBrowser* NewWindow2(bool userInitiated) override;
    void StatusTextChange(const std::string& text) override;
    void CommandStateChange(int command, bool enabled) override;
    void WindowClosing() override;
    void ContextMenu(const SContextMenu& menu, const QPoint& globalPos) override;
    bool AuthenticationRequired(const std::string& site, const std::string& realm, bool proxy, std::string& user,
                                std::string& password) override;
    void CertificateError(const std::string& url, const std::string& description,
                          std::function<void(bool proceed)> answer) override;
    void RendererGone(ERendererEnd how, int exitCode) override;
    void PermissionRequested(const std::string& origin, EPermission what,
                             std::function<void(bool grant)> answer) override;
    void DownloadRequested(std::shared_ptr<IDownload> download) override;
    void RequestBlocked(const std::string& url) override;

    // The keys the page leaves unhandled that a browser gives a meaning
    // (Ctrl+F, Alt+Left, Ctrl+plus, ...), unless the menus
    // own the key. True when the key ran a command.
    bool HandlePageKey(QKeyCombination key);
    // The message over a page whose renderer ended; nullptr when none.
    CCrashPanel* CrashPanel() const { return m_pCrashPanel; }
    CPermissionBar* PermissionBar() const { return m_pPermissionBar; }

    // Progress percentage of ProgressChange.
    static int ProgressPercent(int progress, int progressMax);

Q_SIGNALS:
    // Emitted after the view handled DocumentComplete.
    void DocumentCompleted(const QString& url);

protected:
    void timerEvent(QTimerEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool IsBlocked(const std::string& url) const;
    void QueueForClosing();
    void MarkAndQueueUncounted();
    void ResolveBlankPopup();
    // Gives a tab whose first navigation never started its item.
    void ShowUnstartedTab();
    void CreatePendingTabItem(const std::string& text, bool activateIfActiveNewTab);

    IViewHost& m_host;
    std::unique_ptr<IWebBrowser> m_pBrowser;
    CCommandTable m_commands;
    CCrashPanel* m_pCrashPanel = nullptr;
    CPermissionBar* m_pPermissionBar = nullptr;
    // The page (without fragment) whose downloads are refused.
    std::string m_strDownloadsRefused;
    // A close waits for the tab's dialogs to end.
    bool m_bCloseDelayed = false;
};

} // namespace nimbra
