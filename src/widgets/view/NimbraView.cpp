#include "widgets/view/NimbraView.h"

#include "data/session/BlockedLists.h"
#include "data/settings/Settings.h"
#include "widgets/bars/StatusBar.h"
#include "ui/CommandIds.h"
#include "platform/DialogLoops.h"
#include "platform/HistoryDb.h"
#include "platform/LoginDialog.h"
#include "platform/Text.h"
#include "platform/UrlText.h"
#include "platform/Wildcard.h"
#include "widgets/view/Downloads.h"
#include "widgets/view/EngineServices.h"
#include "widgets/view/PageContextMenu.h"
#include "widgets/view/PageNotices.h"
#include "widgets/view/PopupLimiter.h"
#include "widgets/view/ViewHost.h"

#include <QAction>
#include <QDateTime>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QTimerEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

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

CNimbraView::CNimbraView(IViewHost& host, QWidget* parent) : QWidget(parent), m_host(host)
{
    const CFrameSettings& s = m_host.FrameSettings();
    m_dwDLControl = unsigned(s.DownloadCtrl);
    setFocusPolicy(Qt::StrongFocus);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_pBrowser = m_host.CreateBrowser(this);
    m_pBrowser->SetEvents(this);
    layout->addWidget(m_pBrowser->Widget(), 1);

    if (s.HostUI != 0) {
        m_pHostUI = std::make_unique<SHostUI>(SHostUI{unsigned(s.HostUIFlags), unsigned(s.HostUIDblClk)});
        m_pBrowser->SetHostUI(m_pHostUI->flags, m_pHostUI->doubleClick);
    }
    m_pBrowser->SetDownloadControl(m_dwDLControl);
    m_pBrowser->SetRegisterAsBrowser(s.RegisterAsBrowser != 0);
    m_pBrowser->SetSilent(s.SilentBrowser != 0);
    m_host.SetDocumentTitle(*this, "Loading..");
    QTimer::singleShot(kFirstNavigationWaitMs, this, [this] {
        if (!m_bBlankPopup && !m_pBrowser->Busy())
            ShowUnstartedTab();
    });
}

void CNimbraView::OnClosing()
{
    if (m_bActive && (m_nRefusedOpens > 0 || m_nBlockedRequests > 0))
        CPopupLimiter::Of(m_host.Window())->Show(nullptr);
    if (m_bNoCloseRecord)
        return;
    std::string url = GetLocationURL();
    if (url.empty())
        url = m_strUrl;
    std::string title = GetLocationName();
    if (title.empty())
        title = m_strTitle;
    m_host.RecordClosedTab(url, title, m_pBrowser->History());
}

bool CNimbraView::DelayClose()
{
    m_pBrowser->RefuseDialogs();
    if (m_bCloseDelayed)
        return true;
    m_bCloseDelayed = EndDialogLoopsFor(this, [this] {
        m_bCloseDelayed = false;
        m_host.CloseTab(*this);
    });
    return m_bCloseDelayed;
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
    return m_host.BlockedLists().IsUrlAllowed(url, 0).empty();
}

void CNimbraView::QueueForClosing()
{
    m_host.QueueBlockedClose(*this);
}

void CNimbraView::MarkAndQueueUncounted()
{
    if (m_bMarkedForClose)
        return;
    m_bMarkedForClose = true;
    m_bTabPending = false;
    m_host.QueueClose(*this);
}

bool CNimbraView::SetViewTitle(const std::string& title)
{
    m_strTitle = title;
    if (m_host.BlockedLists().IsTitleBlocked(title)) {
        QueueForClosing();
        return false;
    }
    if (!m_bNaviLock && m_nTab != -1 && !m_bTabRemoved) {
        m_host.SetTabText(m_nTab, title);
        m_host.SetDocumentTitle(*this, TruncateTitle(title, kDocumentTitleWidth));
        return true;
    }
    return false;
}

void CNimbraView::SetTabImage(int index)
{
    if (m_bNaviLock || m_nTab == -1 || m_bTabRemoved)
        return;
    if (index != m_nTabImage)
        m_host.SetTabImage(m_nTab, index);
    m_nTabImage = index;
}

CNimbraView* CNimbraView::CreateNewView()
{
    CNimbraView* view = m_host.CreateNewView();
    if (view && m_host.FrameSettings().RegisterAsBrowser != 0)
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
    if (CNimbraStatusBar* status = m_host.StatusBar()) {
        status->SetSecure(m_bActive && m_nSecureLock > 0 && m_nSecureLock < 8);
        status->SetSecureBroken(m_bActive && m_nSecureLock == SECURELOCK_SET_BROKEN);
    }
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
    m_nTab = m_host.AddTab(*this, text);
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
    m_nTab = m_host.AddTab(*this, text);
    SetViewTitle(text);
    if (activateIfActiveNewTab && m_host.FrameSettings().ActiveNewTab == 1) {
        m_host.ActivateTab(*this);
    } else if (m_bActivateOnFirstNavigate) {
        m_bActivateOnFirstNavigate = false;
        m_host.ActivateTab(*this);
    }
    m_bFirstActivatePending = false;
    m_bTabPending = false;
}

bool CNimbraView::BeforeNavigate2(const std::string& url, int flags, const std::string&)
{
    const CFrameSettings& s = m_host.FrameSettings();

    if (m_bNewWindowPending) {
        m_bNewWindowPending = false;
        if (MatchWildcard("about:blank*", ToLowerAscii(url))) {
            m_bBlankPopup = true;
            return true;
        }
        if (IsBlocked(url) || m_host.OpenSpecialUrl(url)) {
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
        if (m_host.OpenSpecialUrl(url)) {
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
        m_bNewPagePending = !(flags & NAVFLAG_HISTORY);
        // The page is loaded anew: its requests are counted again.
        if (std::exchange(m_nBlockedRequests, 0) > 0 && m_bActive)
            CPopupLimiter::Of(m_host.Window())->Show(this);
        // Flags changed without a reload act from the next page on.
        if (m_pBrowser->DownloadControl() != m_dwDLControl)
            m_pBrowser->SetDownloadControl(m_dwDLControl);
        return true;
    }
    if (s.NaviNewTabLock == 0)
        m_host.OpenUrl(url);
    return false;
}

bool CNimbraView::SubFrameNavigate(const std::string& url)
{
    return m_host.FrameSettings().NewWindowClose != 0 || !IsBlocked(url);
}

void CNimbraView::DownloadBegin()
{
    if (m_pCrashPanel) {
        m_pCrashPanel->hide();
        m_pBrowser->Widget()->show();
    }
    m_host.RefreshOfflineState();
    if (CNimbraStatusBar* status = m_host.StatusBar())
        status->SetOffline(m_host.IsOffline());
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
        if (CNimbraStatusBar* status = m_host.StatusBar())
            status->SetProgress(m_nProgress);
}

void CNimbraView::NavigateComplete2(const std::string& url)
{
    if (std::exchange(m_bNewPagePending, false) && m_nRefusedOpens > 0) {
        // Another page, which may open windows again.
        m_bOpensRefused = false;
        m_nRefusedOpens = 0;
        if (m_bActive)
            CPopupLimiter::Of(m_host.Window())->Show(this);
    }
    if (m_bActive) {
        const std::string location = GetLocationURL();
        m_host.SetAddressText(location.empty() ? url : location);
        if (CNimbraStatusBar* status = m_host.StatusBar())
            status->SetZone(UrlZone(location.empty() ? url : location));
    }
    SetTabImage(TABIMG_NAVIGATED);
    m_host.OpenTabsChanged();
}

void CNimbraView::TitleChange(const std::string& text)
{
    SetViewTitle(text);
    // While a load runs its end decides whether it is a visit, and the
    // visit takes the title; the engine's error page is no visit at all.
    const std::string location = GetLocationURL();
    if (IsHistoryUrl(location) && !m_pBrowser->Busy() && !m_pBrowser->LoadFailed())
        m_host.History().SetTitle(location, StoredTitle(location, text));
}

void CNimbraView::ResolveBlankPopup()
{
    const CFrameSettings& s = m_host.FrameSettings();
    if (IsBlocked("about:blank")) {
        QueueForClosing();
        return;
    }
    m_bBlankPopup = false;
    if (m_nTab == -1) {
        m_nTab = m_host.AddTab(*this, "about:blank");
        SetViewTitle("about:blank");
        SetTabImage(TABIMG_NAVIGATED);
    }
    if (s.ActiveNewTab == 1)
        m_host.ActivateTab(*this);
    m_bTabPending = false;
    SetTabImage(s.ActiveNewTab == 1 || m_host.TabCount() == 1 ? TABIMG_NONE : TABIMG_UNREAD);
}

void CNimbraView::DownloadComplete()
{
    // The engine reports no end of progress; the bar empties now.
    ProgressChange(-1, 0);
    if (m_host.IsOffline() && m_bBlankPopup && EqualsNoCase(GetLocationURL(), "about:blank")) {
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
    if (IsHistoryUrl(location) && !m_pBrowser->LoadFailed()) {
        const std::string title = StoredTitle(location, GetLocationName());
        m_host.History().AddVisit(location, title, QDateTime::currentSecsSinceEpoch());
        // The visit keeps an earlier title; a page that has none now says so.
        if (title.empty())
            m_host.History().SetTitle(location, title);
        // Pages of the local disk are never searched, so they get no copy.
        if (!StartsWithNoCase(location, "file:"))
            m_pBrowser->ReadHtml([view = QPointer<CNimbraView>(this), location](const std::string& html) {
                if (view && view->GetLocationURL() == location)
                    view->m_host.History().SetCachedCopy(location, html, QDateTime::currentSecsSinceEpoch());
            });
    }
    Q_EMIT DocumentCompleted(ToQ(url));
}

IWebBrowser* CNimbraView::NewWindow2(bool userInitiated)
{
    const CFrameSettings& s = m_host.FrameSettings();
    if (m_bNaviLock && s.NaviNewTabLock != 0)
        return nullptr;
    if (!CPopupLimiter::Of(m_host.Window())->Allow(this, userInitiated))
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
        if (CNimbraStatusBar* status = m_host.StatusBar())
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

void CNimbraView::ContextMenu(const SContextMenu& info, const QPoint& globalPos)
{
    QMenu* menu = CreatePageContextMenu(*this, info, this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(globalPos);
}

bool CNimbraView::AuthenticationRequired(const std::string& site, const std::string& realm, bool,
                                         std::string& user, std::string& password)
{
    QString name = ToQ(user), secret;
    const QString prompt = realm.empty()
                               ? QStringLiteral("%1 がユーザー名とパスワードを要求しています。").arg(ToQ(site))
                               : QStringLiteral("%1 がユーザー名とパスワードを要求しています。\n領域: %2")
                                     .arg(ToQ(site), ToQ(realm));
    if (!AskLogin(this, QStringLiteral("ログイン"), prompt, name, secret))
        return false;
    user = FromQ(name);
    password = FromQ(secret);
    return true;
}

void CNimbraView::CertificateError(const std::string& url, const std::string& description,
                                   std::function<void(bool proceed)> answer)
{
    AskCertificate(m_host.Window(), url, description, [this, guard = QPointer<CNimbraView>(this), answer](bool go) {
        if (!guard)
            return;
        answer(go);
        if (!go && m_bCanGoBack)
            GoBack();
    });
}

void CNimbraView::RendererGone(ERendererEnd how, int exitCode)
{
    if (!m_pCrashPanel) {
        m_pCrashPanel = new CCrashPanel(this);
        static_cast<QVBoxLayout*>(layout())->insertWidget(layout()->indexOf(m_pBrowser->Widget()) + 1, m_pCrashPanel,
                                                          1);
        connect(m_pCrashPanel, &CCrashPanel::ReloadClicked, this, [this] {
            const std::string url = GetLocationURL().empty() ? m_strUrl : GetLocationURL();
            if (!url.empty())
                m_pBrowser->Navigate(url, 0, {});
        });
    }
    m_pCrashPanel->SetReason(how, exitCode);
    m_pBrowser->Widget()->hide();
    m_pCrashPanel->show();
    SetTabImage(m_bActive ? TABIMG_NONE : TABIMG_UNREAD);
    if (m_bActive)
        if (CNimbraStatusBar* status = m_host.StatusBar())
            status->SetProgress(0);
    m_nProgress = 0;
}

void CNimbraView::PermissionRequested(const std::string& origin, EPermission what,
                                      std::function<void(bool grant)> answer)
{
    if (!m_pPermissionBar) {
        m_pPermissionBar = new CPermissionBar(this);
        static_cast<QVBoxLayout*>(layout())->insertWidget(0, m_pPermissionBar);
    }
    m_pPermissionBar->Ask(origin, what, std::move(answer));
}

void CNimbraView::RequestBlocked(const std::string&)
{
    ++m_nBlockedRequests;
    if (m_bActive)
        CPopupLimiter::Of(m_host.Window())->Show(this);
}

void CNimbraView::DownloadRequested(std::shared_ptr<IDownload> download)
{
    // A tab on its way out asks nothing more.
    if (m_bTabRemoved || m_bMarkedForClose || DownloadsRefused()) {
        download->Cancel();
        return;
    }
    // A tab that was opened for the file alone has nothing to show: it goes
    // once the file has been asked for, unrecorded, as the file is no page.
    if (m_host.Downloads().Request(this, std::move(download)) && !m_pBrowser->HasPage()) {
        m_bNoCloseRecord = true;
        MarkAndQueueUncounted();
    }
}

void CNimbraView::RefuseDownloads()
{
    m_strDownloadsRefused = CopyKey(GetLocationURL());
}

bool CNimbraView::DownloadsRefused() const
{
    return !m_strDownloadsRefused.empty() && CopyKey(GetLocationURL()) == m_strDownloadsRefused;
}

bool CNimbraView::HandlePageKey(QKeyCombination key)
{
    const Qt::KeyboardModifiers mods = key.keyboardModifiers() & ~Qt::KeypadModifier;
    const int code = key.key();
    // A key of the menus keeps its command.
    const QKeySequence sequence(key);
    for (const QAction* action : m_host.Window()->findChildren<QAction*>())
        if (action->shortcuts().contains(sequence))
            return false;
    const int zoom = m_pBrowser->GetZoom();
    int id = 0;
    if (mods == Qt::ControlModifier && code == Qt::Key_F)
        id = ID_FIND;
    else if (mods == Qt::ControlModifier && code == Qt::Key_P)
        id = ID_PRINT;
    else if (mods == Qt::AltModifier && code == Qt::Key_Left)
        id = ID_BACK;
    else if (mods == Qt::AltModifier && code == Qt::Key_Right)
        id = ID_FORWARD;
    else if ((mods & Qt::ControlModifier) && (code == Qt::Key_Plus || code == Qt::Key_Equal || code == Qt::Key_Semicolon))
        id = ID_TEXT_SMALLEST - std::min(zoom + 1, 4);
    else if (mods == Qt::ControlModifier && code == Qt::Key_Minus)
        id = ID_TEXT_SMALLEST - std::max(zoom - 1, 0);
    else if (mods == Qt::ControlModifier && code == Qt::Key_0)
        id = ID_TEXT_SMALLEST - 2;
    else
        return false;
    m_commands.Run(id);
    return true;
}

void CNimbraView::keyPressEvent(QKeyEvent* event)
{
    if (!HandlePageKey(event->keyCombination()))
        QWidget::keyPressEvent(event);
}

void CNimbraView::OnActivateView(bool active)
{
    CNimbraStatusBar* status = m_host.StatusBar();
    if (active) {
        const std::string location = GetLocationURL();
        m_host.SetAddressText(location);
        if (status)
            status->SetProgress(m_nProgress);
        m_bActive = true;
        MarkRead();
        CPopupLimiter::Of(m_host.Window())->Show(this);
        if (m_nTab != -1)
            m_host.SelectTab(m_nTab);
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
    if (m_host.FrameSettings().SetFocus == 0)
        m_pBrowser->Widget()->setFocus();
}

} // namespace nimbra
