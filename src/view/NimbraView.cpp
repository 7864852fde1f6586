#include "view/NimbraView.h"

#include "app/NimbraApp.h"
#include "bars/StatusBar.h"
#include "bars/ViewManager.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "platform/Text.h"
#include "platform/UrlText.h"
#include "platform/Wildcard.h"
#include "session/BlockedClose.h"
#include "view/EngineServices.h"
#include "view/ViewCommands.h"

#include <QDateTime>
#include <QTimer>
#include <QTimerEvent>
#include <QVBoxLayout>

namespace nimbra {

namespace {
constexpr int kDocumentTitleWidth = 100;
// The engine completes a pop-up's blank first document before the opener's
// script can send it elsewhere; the blank page counts as the pop-up's page
// only when it is still there a moment later.
constexpr int kBlankPopupSettleMs = 300;
// A new tab whose engine has neither started a load nor asked about a
// navigation by then never will (a "javascript:" pop-up).
constexpr int kFirstNavigationWaitMs = 1000;
} // namespace

CNimbraView::CNimbraView(CMainFrame* mainFrame, CChildFrame* childFrame)
    : QWidget(childFrame), m_pMainFrame(mainFrame), m_pChildFrame(childFrame)
{
    const CFrameSettings& s = m_pMainFrame->FrameSettings();
    m_dwDLControl = unsigned(s.DownloadCtrl);
    setFocusPolicy(Qt::StrongFocus);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_pBrowser = CNimbraApp::Instance()->CreateBrowser(this);
    m_pBrowser->SetEvents(this);
    layout->addWidget(m_pBrowser->Widget(), 1);

    if (s.HostUI != 0) {
        m_pHostUI = std::make_unique<SHostUI>(SHostUI{unsigned(s.HostUIFlags), unsigned(s.HostUIDblClk)});
        m_pBrowser->SetHostUI(m_pHostUI->flags, m_pHostUI->doubleClick);
    }
    m_pBrowser->SetDownloadControl(m_dwDLControl);
    m_pBrowser->SetRegisterAsBrowser(s.RegisterAsBrowser != 0);
    m_pBrowser->SetSilent(s.SilentBrowser != 0);
    m_pChildFrame->SetDocumentTitle("Loading..");
    RegisterViewCommands(*this);
    QTimer::singleShot(kFirstNavigationWaitMs, this, [this] {
        if (!m_bBlankPopup && !m_pBrowser->Busy())
            ShowUnstartedTab();
    });
}

void CNimbraView::OnClosing()
{
    if (m_bNoCloseRecord)
        return;
    std::string url = GetLocationURL();
    if (url.empty())
        url = m_strUrl;
    std::string title = GetLocationName();
    if (title.empty())
        title = m_strTitle;
    m_pMainFrame->RecordClosedTab(url, title);
}

CNimbraView::~CNimbraView()
{
    if (m_nRefreshTimer)
        killTimer(m_nRefreshTimer);
    m_pBrowser->SetEvents(nullptr);
}

void CNimbraView::Navigate(const std::string& url, int flags, const std::string& targetFrame)
{
    // The URL is known before the engine confirms it, so a tab that never
    // loaded still has its address.
    if (m_strUrl.empty() && !IsScriptUrl(url))
        m_strUrl = UrlFromText(url);
    m_pBrowser->Navigate(url, flags & 1, targetFrame);
}

void CNimbraView::GoHome()
{
    m_pBrowser->GoHome();
}

void CNimbraView::GoBack()
{
    m_pBrowser->GoBack();
}

void CNimbraView::GoForward()
{
    m_pBrowser->GoForward();
}

void CNimbraView::Refresh(int level)
{
    m_pBrowser->Refresh(level);
}

void CNimbraView::Stop()
{
    m_pBrowser->Stop();
}

std::string CNimbraView::GetLocationURL() const
{
    return m_pBrowser->LocationURL();
}

std::string CNimbraView::GetLocationName() const
{
    return m_pBrowser->LocationName();
}

bool CNimbraView::IsBlocked(const std::string& url) const
{
    return m_pMainFrame->BlockedLists().IsUrlAllowed(url, 0).empty();
}

void CNimbraView::QueueForClosing()
{
    QueueBlockedClose(this, m_pMainFrame);
}

void CNimbraView::MarkAndQueueUncounted()
{
    if (m_bMarkedForClose)
        return;
    m_bMarkedForClose = true;
    m_bTabPending = false;
    m_pMainFrame->ViewManager()->QueueClose(this);
}

bool CNimbraView::SetViewTitle(const std::string& title)
{
    m_strTitle = title;
    if (m_pMainFrame->BlockedLists().IsTitleBlocked(title)) {
        QueueForClosing();
        return false;
    }
    if (!m_bNaviLock && m_nTab != -1 && !m_bTabRemoved) {
        m_pMainFrame->ViewManager()->SetItemText(m_nTab, title);
        m_pChildFrame->SetDocumentTitle(TruncateTitle(title, kDocumentTitleWidth));
        return true;
    }
    return false;
}

void CNimbraView::SetTabImage(int index)
{
    if (m_bNaviLock || m_nTab == -1 || m_bTabRemoved)
        return;
    if (index != m_nTabImage)
        m_pMainFrame->ViewManager()->SetItemImage(m_nTab, index);
    m_nTabImage = index;
}

CNimbraView* CNimbraView::CreateNewView()
{
    CNimbraView* view = m_pMainFrame->CreateNewView();
    if (view && m_pMainFrame->FrameSettings().RegisterAsBrowser != 0)
        view->m_pBrowser->SetRegisterAsBrowser(true);
    return view;
}

void CNimbraView::StartAutoRefresh(bool on)
{
    if (m_nRefreshTimer) {
        killTimer(m_nRefreshTimer);
        m_nRefreshTimer = 0;
    }
    if (on && m_nRefreshInterval > 0)
        m_nRefreshTimer = startTimer(int(m_nRefreshInterval));
}

void CNimbraView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_nRefreshTimer) {
        if (!m_bNaviLock)
            Refresh(3);
    } else
        QWidget::timerEvent(event);
}

void CNimbraView::NotifyAmbientChange(int dispid)
{
    if (dispid == DISPID_AMBIENT_DLCONTROL)
        m_pBrowser->SetDownloadControl(m_dwDLControl);
}

void CNimbraView::SetSecureLockIcon(int state)
{
    m_nSecureLock = state;
    if (m_bActive)
        UpdateSecureIndicator();
}

void CNimbraView::UpdateSecureIndicator()
{
    if (CNimbraStatusBar* status = m_pMainFrame->StatusBar())
        status->SetSecure(m_bActive && m_nSecureLock > 0 && m_nSecureLock < 8);
}

void CNimbraView::MarkRead()
{
    if (m_nTabImage == TABIMG_UNREAD)
        SetTabImage(TABIMG_NONE);
}

void CNimbraView::CreateTabItem(const std::string& text)
{
    if (m_nTab != -1)
        return;
    m_nTab = m_pMainFrame->ViewManager()->AddTab(this, text);
    m_bTabPending = false;
}

void CNimbraView::ResetNavigationState()
{
    m_bNewWindowPending = false;
    m_bBlankPopup = false;
}

void CNimbraView::ShowUnstartedTab()
{
    if (!m_bTabPending || m_bMarkedForClose || m_bTabRemoved)
        return;
    CreatePendingTabItem(m_strUrl.empty() ? std::string("about:blank") : m_strUrl, true);
    SetTabImage(m_bActive ? TABIMG_NONE : TABIMG_UNREAD);
}

void CNimbraView::CreatePendingTabItem(const std::string& text, bool activateIfActiveNewTab)
{
    m_nTab = m_pMainFrame->ViewManager()->AddTab(this, text);
    SetViewTitle(text);
    if (activateIfActiveNewTab && m_pMainFrame->FrameSettings().ActiveNewTab == 1) {
        m_pMainFrame->ActivateTab(m_pChildFrame);
    } else if (m_bActivateOnFirstNavigate) {
        m_bActivateOnFirstNavigate = false;
        m_pMainFrame->ActivateTab(m_pChildFrame);
    }
    m_bFirstActivatePending = false;
    m_bTabPending = false;
}

bool CNimbraView::BeforeNavigate2(const std::string& url, int flags, const std::string&)
{
    CNimbraApp* app = CNimbraApp::Instance();
    const CFrameSettings& s = m_pMainFrame->FrameSettings();

    if (m_bNewWindowPending) {
        m_bNewWindowPending = false;
        if (MatchWildcard("about:blank*", ToLowerAscii(url))) {
            m_bBlankPopup = true;
            return true;
        }
        if (IsBlocked(url) || app->OpenSpecialUrl(url)) {
            QueueForClosing();
            return false;
        }
    } else {
        if (s.NewWindowClose == 0) {
            if (IsBlocked(url)) {
                if (m_bBlankPopup) {
                    m_bBlankPopup = false;
                    QueueForClosing();
                }
                ShowUnstartedTab();
                m_bTabPending = false;
                return false;
            }
            m_bBlankPopup = false;
        } else if (m_bBlankPopup) {
            m_bBlankPopup = false;
            if (IsBlocked(url) && !m_bMarkedForClose) {
                QueueForClosing();
                return false;
            }
        }
        if (app->OpenSpecialUrl(url)) {
            ShowUnstartedTab();
            m_bTabPending = false;
            return false;
        }
    }

    if (m_bTabPending)
        CreatePendingTabItem("Loading..", true);

    // A reload or a history move keeps a locked tab on its page.
    if (!m_bNaviLock || (flags & NAVFLAG_HISTORY)) {
        SetTabImage(TABIMG_LOADING);
        m_strUrl = url;
        // Flags changed without a reload act from the next page on.
        if (m_pBrowser->DownloadControl() != m_dwDLControl)
            m_pBrowser->SetDownloadControl(m_dwDLControl);
        return true;
    }
    if (s.NaviNewTabLock == 0)
        app->OpenUrl(url);
    return false;
}

bool CNimbraView::SubFrameNavigate(const std::string& url)
{
    return m_pMainFrame->FrameSettings().NewWindowClose != 0 || !IsBlocked(url);
}

void CNimbraView::DownloadBegin()
{
    m_pMainFrame->RefreshOfflineState();
    if (CNimbraStatusBar* status = m_pMainFrame->StatusBar())
        status->SetOffline(m_pMainFrame->Offline().IsOffline());
    SetTabImage(TABIMG_LOADING);
}

int CNimbraView::ProgressPercent(int progress, int progressMax)
{
    if (progress == -1 || (progress == 0 && progressMax == 0))
        return 0;
    if (progressMax == 0 || progress == progressMax)
        return 100;
    const double percent = double(progress) / double(progressMax) * 100.0;
    return percent > 100.0 || percent < 0.0 ? 100 : int(percent);
}

void CNimbraView::ProgressChange(int progress, int progressMax)
{
    m_nProgress = ProgressPercent(progress, progressMax);
    if (m_bActive)
        if (CNimbraStatusBar* status = m_pMainFrame->StatusBar())
            status->SetProgress(m_nProgress);
}

void CNimbraView::NavigateComplete2(const std::string& url)
{
    if (m_bActive) {
        const std::string location = GetLocationURL();
        m_pMainFrame->SetAddressText(location.empty() ? url : location);
        if (CNimbraStatusBar* status = m_pMainFrame->StatusBar())
            status->SetZone(UrlZone(location.empty() ? url : location));
    }
    SetTabImage(TABIMG_NAVIGATED);
    Q_EMIT m_pMainFrame->OpenTabsChanged();
}

void CNimbraView::TitleChange(const std::string& text)
{
    SetViewTitle(text);
}

void CNimbraView::ResolveBlankPopup()
{
    const CFrameSettings& s = m_pMainFrame->FrameSettings();
    if (IsBlocked("about:blank")) {
        QueueForClosing();
        return;
    }
    m_bBlankPopup = false;
    if (m_nTab == -1) {
        m_nTab = m_pMainFrame->ViewManager()->AddTab(this, "about:blank");
        SetViewTitle("about:blank");
        SetTabImage(TABIMG_NAVIGATED);
    }
    if (s.ActiveNewTab == 1)
        m_pMainFrame->ActivateTab(m_pChildFrame);
    m_bTabPending = false;
    SetTabImage(s.ActiveNewTab == 1 || m_pMainFrame->ViewManager()->GetItemCount() == 1 ? TABIMG_NONE
                                                                                          : TABIMG_UNREAD);
}

void CNimbraView::DownloadComplete()
{
    // The engine reports no end of progress; the bar empties now.
    ProgressChange(-1, 0);
    if (m_pMainFrame->Offline().IsOffline() && m_bBlankPopup && EqualsNoCase(GetLocationURL(), "about:blank")) {
        ResolveBlankPopup();
        return;
    }
    SetTabImage(m_bActive ? TABIMG_NONE : TABIMG_UNREAD);
}

void CNimbraView::DocumentComplete(const std::string& url)
{
    if (m_bBlankPopup && EqualsNoCase(GetLocationURL(), "about:blank")) {
        QTimer::singleShot(kBlankPopupSettleMs, this, [this] {
            if (m_bBlankPopup && !m_pBrowser->Busy() && EqualsNoCase(GetLocationURL(), "about:blank"))
                ResolveBlankPopup();
        });
        Q_EMIT DocumentCompleted(ToQ(url));
        return;
    }
    SetTabImage(m_bActive ? TABIMG_NONE : TABIMG_UNREAD);
    const std::string location = GetLocationURL();
    if (!location.empty() && !EqualsNoCase(location, "about:blank"))
        m_pMainFrame->History().AddVisit(location, GetLocationName(), QDateTime::currentSecsSinceEpoch());
    Q_EMIT DocumentCompleted(ToQ(url));
}

IWebBrowser* CNimbraView::NewWindow2()
{
    const CFrameSettings& s = m_pMainFrame->FrameSettings();
    if (m_bNaviLock && s.NaviNewTabLock != 0)
        return nullptr;
    CNimbraView* view = CreateNewView();
    if (!view)
        return nullptr;
    view->m_bNewWindowPending = true;
    view->SetViewTitle("Loading..");
    return view->Browser();
}

void CNimbraView::StatusTextChange(const std::string& text)
{
    if (m_bActive)
        if (CNimbraStatusBar* status = m_pMainFrame->StatusBar())
            status->SetStatusText(text);
}

void CNimbraView::CommandStateChange(int command, bool enabled)
{
    if (command == 1)
        m_bCanGoForward = enabled;
    else if (command == 2)
        m_bCanGoBack = enabled;
}

void CNimbraView::WindowClosing()
{
    // A page's window.close() leaves the tab open.
}

void CNimbraView::OnActivateView(bool active)
{
    CNimbraStatusBar* status = m_pMainFrame->StatusBar();
    if (active) {
        const std::string location = GetLocationURL();
        m_pMainFrame->SetAddressText(location);
        if (status)
            status->SetProgress(m_nProgress);
        m_bActive = true;
        MarkRead();
        if (m_nTab != -1)
            m_pMainFrame->ViewManager()->SelectItem(m_nTab);
        UpdateSecureIndicator();
        if (status)
            status->SetZone(UrlZone(location));
    } else {
        if (status)
            status->SetStatusText({});
        m_bActive = false;
        UpdateSecureIndicator();
    }
}

void CNimbraView::ToggleNaviLock()
{
    const bool wasLocked = m_bNaviLock;
    m_bNaviLock = false;
    SetTabImage(wasLocked ? TABIMG_NONE : TABIMG_LOCKED);
    m_bNaviLock = !wasLocked;
}

void CNimbraView::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    if (m_pMainFrame->FrameSettings().SetFocus == 0)
        m_pBrowser->Widget()->setFocus();
}

} // namespace nimbra
