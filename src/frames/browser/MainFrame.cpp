#include "frames/browser/MainFrame.h"

#include "widgets/bars/AddressBar.h"
#include "widgets/bars/AddressCombo.h"
#include "widgets/bars/FlatToolBar.h"
#include "ui/MenuBarKeys.h"
#include "widgets/bars/StatusBar.h"
#include "frames/browser/ViewManager.h"
#include "widgets/bookmarks/BookmarkCommands.h"
#include "data/bookmarks/BookmarkMessages.h"
#include "data/filters/FilterCommands.h"
#include "frames/browser/ChildFrame.h"
#include "ui/CommandIds.h"
#include "ui/CommandRouter.h"
#include "ui/MenuResource.h"
#include "platform/DialogLoops.h"
#include "platform/EventWidget.h"
#include "frames/browser/WindowCommands.h"
#include "platform/MessageBox.h"
#include "platform/PageDialogs.h"
#include "platform/Paths.h"
#include "platform/SystemSettings.h"
#include "platform/WebEngineBrowser.h"
#include "platform/Text.h"
#include "data/session/ListFile.h"
#include "data/session/OpenTabsLog.h"
#include "data/session/SessionCommands.h"
#include "widgets/sidebar/SidebarCommands.h"
#include "widgets/tools/ToolsCommands.h"
#include "widgets/view/Downloads.h"
#include "widgets/view/NimbraDoc.h"
#include "widgets/view/NimbraView.h"

#include <QApplication>
#include <QMimeData>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <QCloseEvent>
#include <QMdiArea>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>
#include <QWebEngineProfile>
#include <QToolBar>
#include <algorithm>

namespace nimbra {

namespace {
constexpr char kAppTitle[] = "Nimbra Browser";
// A close asked for under an open dialog is tried again this much later.
constexpr int kCloseRetryMs = 50;
constexpr int kViewMenu = 2;
// How long the check of the history file waits when no page arrives.
constexpr int kHistoryCheckDelayMs = 10000;
} // namespace

CMainFrame::CMainFrame(IBrowserHost& host) : m_host(host)
{
    m_settings.LoadConstructorGroup(m_host.Settings());
    setWindowTitle(kAppTitle);
    setWindowIcon(QIcon(QStringLiteral(":/nimbrab.svg")));
    setAcceptDrops(true);
    // The database opens on its writer thread; what it has to say about
    // the file comes from there, at any time, in a box that stays until it
    // is read. The database may outlive this window. A data folder that
    // takes no writes at all has been told already, history included.
    const bool told = !CanWriteIn(DataDirectory());
    m_pHistory = std::make_shared<CHistoryDb>(DataDirectory() + "/history.db", kCopyBudgetBytes,
                                              [told, frame = QPointer<CMainFrame>(this)](const std::string& message) {
                                                  if (told)
                                                      return;
                                                  QMetaObject::invokeMethod(qApp, [frame, message] {
                                                      if (frame)
                                                          ShowNotice(frame, ToQ(message), QMessageBox::Warning);
                                                  }, Qt::QueuedConnection);
                                              },
                                              true);
    // The check of the history file's pages waits for the first visit, which
    // comes when the first page has loaded, or a while when none comes: a
    // large file does not slow the start.
    QTimer::singleShot(kHistoryCheckDelayMs, this, [this] { m_pHistory->StartCheck(); });
}

CMainFrame::~CMainFrame()
{
    // The MDI area outlives this part of the frame while its windows close.
    if (m_pMdiArea)
        disconnect(m_pMdiArea, nullptr, this, nullptr);
}

void CMainFrame::ClearHistory()
{
    // Views stop their reads first, so nothing holds the old rows open.
    Q_EMIT HistoryCleared();
    m_pHistory->Clear();
}

void CMainFrame::DropHistoryCopies()
{
    m_pHistory->DropCopies();
}

bool CMainFrame::Create()
{
    CSettings& settings = m_host.Settings();
    AllowPageDialogs();

    // 1. The frame and its menu bar.
    m_pRouter = new CCommandRouter(this);
    m_pRouter->SetViewTableProvider([this]() -> CCommandTable* {
        CNimbraView* view = ActiveView();
        return view ? &view->Commands() : nullptr;
    });
    auto* centre = new QWidget(this);
    auto* layout = new QVBoxLayout(centre);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_pViewManager = new CViewManager(this, centre);
    m_pMdiArea = new QMdiArea(centre);
    m_pMdiArea->setViewMode(QMdiArea::SubWindowView);
    m_pMdiArea->setOption(QMdiArea::DontMaximizeSubWindowOnActivation, false);
    layout->addWidget(m_pMdiArea, 1);
    setCentralWidget(centre);
    connect(m_pMdiArea, &QMdiArea::subWindowActivated, this, &CMainFrame::OnSubWindowActivated);

    CreateMenus();
    RegisterFrameCommands();
    m_settings.LoadCreationGroup(settings);

    // 2. The toolbar; 3. the rebar with the address bar, and the tab bar.
    CreateToolBar();
    CreateAddressBar();
    // A band of the rebar; with TabBarDockingMode 1 a docking bar.
    m_pViewManager->CreateBar(m_settings.TabBarDockingMode != 1);

    // 4. The side bar, the bar layout, the status bar.
    CreateSideBar();
    LoadBarLayout();
    m_pStatusBar = new CNimbraStatusBar(this);
    setStatusBar(m_pStatusBar);
    m_pStatusBar->SetDownloadFlags(DownloadFlags());
    m_pStatusBar->SetToggleHandler([this](unsigned bit) { OnTogglePane(bit); });
    m_pStatusBar->SetIndicatorActions([this] { ExecuteCommand(ID_WORK_OFFLINE); },
                                      [this] { ExecuteCommand(ID_PROPERTIES); });
    SetCloseWarningDialogs(m_settings.KillDlg != 0);
    m_pViewManager->SetDialogSweep([] { RejectWarningDialogs(); });

    // 5. The closed-window count.
    m_nCWC = m_settings.CWC;

    // 6. The settings. The user agent and the cookie policy go to the
    // engine's profile when the first tab makes it.
    ReloadSettings();

    // 7. The bookmark menu is built once the frame is up, from the file as
    // a worker thread reads it, so the first page does not wait for it.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (CBookmarkCommands* bookmarks = BookmarkCommandsOf(*this))
                bookmarks->ReloadInBackground();
        },
        Qt::QueuedConnection);

    // 8. The proxy menu and the indicators.
    SetUpProxyMenu();
    ShowOfflineState(CSystemSettings().Offline());

    // 9. The DDE server with its topics. Without it the rest still comes up.
    m_pDDE = std::make_unique<CNimbraDDEClient>(m_ddeHost);
    if (!m_pDDE->Start(m_settings.DDEServerName)) {
        m_pDDE.reset();
        ShowMessage(this, QString::fromLatin1(kDDEInitFailedText));
    }

    // 11. The security-level items; the focus.
    PrepareSecurityLevelItems();
    m_pRouter->AttachShortcuts(this);
    qApp->installEventFilter(this);

    m_pEndpoint = std::make_unique<ipc::CWindowEndpoint>(
        ipc::kBrowserClass, ToQ(DataDirectory()),
        [this](const ipc::Message& message) { return OnWindowMessage(message); });
    if (!m_pEndpoint->Listen())
        qWarning("nimbrab: cannot listen for other programs; a second start will not reach this window");
    resize(1024, 768);
    return true;
}

void CMainFrame::EndStartup()
{
    // Hand-overs that reached the socket during start-up are read while the
    // flag still holds, so they are dropped as they would be on Windows.
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_bStartup = false;
}

void CMainFrame::ReloadSettings()
{
    m_settings.Reload(m_host.Settings());
    CBlockedLists::Switches switches;
    switches.CloseUrl = m_settings.CloseUrl;
    switches.CloseTitle = m_settings.CloseTitle;
    switches.MyHome = m_settings.MyHome;
    switches.MyHomeUrl = m_settings.MyHomeUrl;
    switches.NewBlank = m_settings.NewBlank;
    m_blockedLists.SetSwitches(switches);
    m_blockedLists.Load(m_host.CloseUrlPath(), m_host.CloseTitlePath());
    m_pViewManager->ApplySettings(m_settings);
    if (m_pWindow)
        m_pWindow->OnSettingsReloaded();
    if (CBookmarkCommands* bookmarks = BookmarkCommandsOf(*this))
        bookmarks->ApplyLinkBarSettings(m_settings);
    if (CFilterCommands* filters = FilterCommandsOf(*this))
        filters->Reload();
    ApplyNimbraBarSettings(*this);

    // What the options dialog may have changed besides the reload group.
    m_settings.DownloadCtrl = m_host.Settings().GetInt(EKey::DownloadCtrl);
    if (m_pStatusBar)
        m_pStatusBar->SetDownloadFlags(DownloadFlags());
    for (CNimbraView* view : Views())
        view->Browser()->SetRegisterAsBrowser(m_settings.RegisterAsBrowser != 0);
    if (QWebEngineProfile* profile = m_host.ExistingProfile())
        profile->setHttpUserAgent(ToQ(CutText(m_host.Settings().GetString(EKey::UserAgent), 255)));
}

void CMainFrame::CreateMenus()
{
    const CMenuResource& resource = CMenuResource::Builtin();
    if (const SMenu* main = resource.FindMenu(128)) {
        // Its band in the rebar is its place; the rebar is the menu widget.
        m_pMainMenu = BuildMenuBar(*main, *m_pRouter, this);
        m_pMainMenu->setNativeMenuBar(false);
        new CMenuBarKeys(m_pMainMenu);
    }
    ApplyCommandInfo(resource.Commands(), *m_pRouter);
}

bool CMainFrame::ExecuteCommand(int id)
{
    return m_pRouter->Execute(id);
}

void CMainFrame::CreateToolBar()
{
    // A band of the rebar; with ToolBarDockingMode 1 the bar "Tool Bar",
    // which docks and floats.
    if (m_settings.ToolBarDockingMode != 1) {
        m_pToolBar = CreateFlatToolBar(*this, this);
        return;
    }
    auto* bar = new QToolBar(QStringLiteral("Tool Bar"), this);
    bar->setObjectName(QStringLiteral("ToolBar"));
    bar->addWidget(CreateFlatToolBar(*this, bar));
    bar->setAllowedAreas(Qt::TopToolBarArea | Qt::BottomToolBarArea);
    addToolBar(Qt::TopToolBarArea, bar);
    m_pToolBar = bar;
}

QMenu* CMainFrame::createPopupMenu()
{
    QMenu* bars = FindPopup(m_pMainMenu, {kViewMenu, 0});
    if (!bars)
        return nullptr;
    auto* menu = new QMenu(this);
    menu->addActions(bars->actions());
    m_pRouter->UpdateMenu(menu);
    return menu;
}

void CMainFrame::LoadBarLayout()
{
    m_pWindow = new CWindowCommands(*this);
    m_pWindow->LoadBarState();
    LoadNimbraBarState(*this);
}

void CMainFrame::CreateSideBar()
{
    CreateNimbraBar(*this);
}

void CMainFrame::SetUpProxyMenu()
{
    SetUpProxy(*this);
}

void CMainFrame::CreateAddressBar()
{
    // A band of the rebar once the bars are laid out.
    m_pAddressCombo = CreateFrameAddressBar(*this)->Combo();
}

int CMainFrame::TabCount() const
{
    return int(std::count_if(m_children.begin(), m_children.end(),
                             [](const QPointer<CChildFrame>& child) { return !child.isNull(); }));
}

std::vector<CNimbraView*> CMainFrame::Views() const
{
    std::vector<CNimbraView*> views = m_pViewManager->Views();
    for (const QPointer<CChildFrame>& child : m_children)
        if (child && child->View()->m_nTab == -1)
            views.push_back(child->View());
    return views;
}

CChildFrame* CMainFrame::ActiveChild() const
{
    return qobject_cast<CChildFrame*>(m_pMdiArea->currentSubWindow());
}

CNimbraView* CMainFrame::ActiveView() const
{
    CChildFrame* child = ActiveChild();
    return child ? child->View() : nullptr;
}

bool CMainFrame::AtTabLimit() const
{
    if (m_settings.TabMax != 1)
        return false;
    // Tabs whose first page is on its way count; tabs that a blocking rule
    // is closing before they were ever shown do not.
    const int waiting = int(std::count_if(m_children.begin(), m_children.end(), [](const QPointer<CChildFrame>& c) {
        return c && c->View()->m_nTab == -1 && !c->View()->m_bMarkedForClose;
    }));
    return m_pViewManager->GetItemCount() + waiting >= m_settings.TabMaxCount;
}

CNimbraView* CMainFrame::CreateNewView()
{
    if (AtTabLimit())
        return nullptr;
    auto* child = new CChildFrame(this);
    m_children.emplace_back(child);
    // Added now so that tabs keep the order in which they were opened; the
    // window is shown when its first page arrives.
    m_pMdiArea->addSubWindow(child);
    child->hide();
    return child->View();
}

CNimbraView* CMainFrame::NewDocument()
{
    CNimbraView* view = CreateNewView();
    if (!view)
        return nullptr;
    view->CreateTabItem("Loading..");
    ActivateTab(CChildFrame::Of(view));
    return view;
}

void CMainFrame::ActivateTab(CChildFrame* child)
{
    if (!child)
        return;
    child->showMaximized();
    m_pMdiArea->setActiveSubWindow(child);
}

void CMainFrame::RecordClosedTab(const std::string& url, const std::string& title, const STabHistory& history)
{
    m_recentClosed.AddRecentClosed(url, title, history);
}

void CMainFrame::OnChildClosed(CChildFrame* child)
{
    m_children.erase(std::remove_if(m_children.begin(), m_children.end(),
                                    [child](const QPointer<CChildFrame>& c) { return c.isNull() || c == child; }),
                     m_children.end());
    m_pViewManager->RemoveTab(child->View());
    if (m_pLastActive == child)
        m_pLastActive = nullptr;
    m_heapTrim.Request();
    Q_EMIT OpenTabsChanged();
}

void CMainFrame::DeleteClosedFrame(CChildFrame* child)
{
    m_closedFrames.Add(child);
}

void CMainFrame::OnSubWindowActivated(QMdiSubWindow* window)
{
    auto* child = qobject_cast<CChildFrame*>(window);
    if (!child || child == m_pLastActive) {
        UpdateCaption();
        return;
    }
    if (child->View()->m_nTab == -1 && m_pLastActive) {
        // A tab without its item yet (a pop-up the engine just created)
        // does not take the activation from the shown tab.
        child->hide();
        m_pMdiArea->setActiveSubWindow(m_pLastActive);
        return;
    }
    // Only the active tab is shown; the others load hidden.
    child->showMaximized();
    if (m_pLastActive) {
        m_pLastActive->View()->OnActivateView(false);
        m_pLastActive->hide();
    }
    m_pLastActive = child;
    child->View()->OnActivateView(true);
    UpdateCaption();
}

void CMainFrame::OnDocumentTitleChanged(CChildFrame* child)
{
    if (child == ActiveChild())
        UpdateCaption();
}

void CMainFrame::UpdateCaption()
{
    CChildFrame* child = ActiveChild();
    if (!child) {
        setWindowTitle(kAppTitle);
        return;
    }
    QString caption = ToQ(child->Doc()->GetTitle()) + QStringLiteral(" - ") + kAppTitle;
    if (m_offline.IsOffline())
        caption += QStringLiteral(" - [オフライン作業]");
    setWindowTitle(caption);
}

void CMainFrame::SetAddressText(const std::string& url)
{
    if (m_pAddressCombo)
        m_pAddressCombo->SetUrl(url);
    UpdateCaption();
}

void CMainFrame::PostFocusView()
{
    QTimer::singleShot(0, this, [this] {
        if (CNimbraView* view = ActiveView())
            view->Browser()->Widget()->setFocus();
    });
}

void CMainFrame::QueueBlockedClose(CNimbraView* view)
{
    if (view->m_bMarkedForClose)
        return;
    view->m_bMarkedForClose = true;
    view->m_bTabPending = false;
    ViewManager()->QueueClose(view);
    ++m_nCWC;
}

void CMainFrame::SaveOpenTabs(const std::string& path)
{
    nimbra::SaveOpenTabs(*this, path);
}

qint64 CMainFrame::OnWindowMessage(const ipc::Message& message)
{
    switch (message.id) {
    case ipc::WM_COPYDATA:
        return OnCopyData(message);
    case ipc::kMsgFlashWindow:
        QApplication::alert(this);
        return 0;
    case ipc::kMsgActivateWindow:
        if (m_pWindow && m_pWindow->IsInTray())
            m_pWindow->ToggleTray();
        if (isMinimized())
            showNormal();
        raise();
        activateWindow();
        return 0;
    case ipc::WM_CLOSE:
        QTimer::singleShot(0, this, &QWidget::close);
        return 0;
    case ipc::WM_USER_BOOKMARK_MENU_RELOAD:
        ReloadBookmarkMenu(*this);
        return 0;
    default:
        return 0;
    }
}

qint64 CMainFrame::OnCopyData(const ipc::Message& message)
{
    if (m_bStartup)
        return 0;
    const std::optional<std::string> text = ipc::CopyDataText(message);
    if (!text)
        return 0;
    const std::string url = m_host.ResolveShortcut(*text);
    if (url.empty())
        return 0;
    const bool newTab = message.tag == 777 ? m_settings.BookmarkNewTab == 1 : true;
    m_pAddressCombo->Go(url, 0, newTab, 0, 1);
    return 0;
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Wheel)
        return FilterNimbraBarWheel(*this, watched, event);
    // Keys for the browser that a page must not take: Ctrl+Tab switches
    // tabs, F6 goes to the address, F5 does nothing in a locked tab.
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return false;
    QWidget* widget = EventWidget(watched);
    if (!widget || !m_pMdiArea->isAncestorOf(widget))
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const bool ctrl = key->modifiers() & Qt::ControlModifier;
    if (ctrl && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
        if (event->type() == QEvent::KeyPress) {
            const bool previous = key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
            m_pViewManager->SelectNextTab(previous);
        }
        event->accept();
        return true;
    }
    // F6 pressed in the page goes to the address; the address bar hands
    // its own F6 on to the page, not as a key from the keyboard.
    if (key->key() == Qt::Key_F6 && key->modifiers() == Qt::NoModifier && event->spontaneous()) {
        if (event->type() == QEvent::KeyPress)
            ExecuteCommand(ID_ADDRESS_FOCUS);
        event->accept();
        return true;
    }
    if (key->key() == Qt::Key_F5 && key->modifiers() == Qt::NoModifier) {
        CNimbraView* view = ActiveView();
        if (view && view->m_bNaviLock) {
            event->accept();
            return true;
        }
    }
    return false;
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (m_bClosing) {
        event->accept();
        return;
    }
    if (DialogLoopRunning()) {
        // A dialog's loop still serves a tab or this window: end it, then
        // close once it has returned.
        event->ignore();
        EndDialogLoops();
        QTimer::singleShot(kCloseRetryMs, this, &QWidget::close);
        return;
    }
    m_bClosing = true;
    CSettings& settings = m_host.Settings();

    SaveSessionAtExit(*this);
    m_pWindow->SavePlacement();
    m_blockedLists.Clear();
    if (m_pWindow->SaveBarState())
        SaveNimbraBarState(*this);
    SaveWebSearchAtExit(*this);
    if (m_settings.MainExitEditClose != 0 && ipc::FindWindow(ipc::kEditorClass, ToQ(DataDirectory()))) {
        const QString dir = ToQ(DataDirectory());
        ipc::SendWindowMessage(ipc::kEditorClass, dir, {ipc::WM_USER + 0x2F, 0, {}});
        ipc::SendWindowMessage(ipc::kEditorClass, dir, {ipc::WM_CLOSE, 0, {}});
    }
    m_pWindow->OnExit();
    settings.WriteInt(EKey::CWC, m_nCWC);
    settings.WriteInt(EKey::DownloadCtrl, m_settings.DownloadCtrl);
    SaveProxyAtExit(*this);

    qApp->removeEventFilter(this);
    for (CNimbraView* view : Views())
        view->m_bTabRemoved = true;
    m_pMdiArea->closeAllSubWindows();
    CloseListEditor();
    if (CDownloadManager* downloads = CDownloadManager::Of(this))
        downloads->Window()->close();
    if (m_pEndpoint)
        m_pEndpoint->Close();
    m_pDDE.reset();
    event->accept();
}

} // namespace nimbra
