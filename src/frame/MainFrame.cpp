#include "frame/MainFrame.h"

#include "app/NimbraApp.h"
#include "bars/AddressCombo.h"
#include "frame/ChildFrame.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "session/ListFile.h"
#include "view/NimbraDoc.h"
#include "view/NimbraView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMdiArea>
#include <QMenuBar>
#include <QTimer>
#include <QToolBar>
#include <QWebEngineView>
#include <algorithm>

namespace nimbra {

namespace {
constexpr char kAppTitle[] = "Nimbra Browser";
} // namespace

CMainFrame::CMainFrame()
{
    m_settings.LoadConstructorGroup(CNimbraApp::Instance()->Settings());
    setWindowTitle(kAppTitle);
    setWindowIcon(QIcon(QStringLiteral(":/nimbrab.svg")));
    setAcceptDrops(true);
}

CMainFrame::~CMainFrame() = default;

bool CMainFrame::Create()
{
    CSettings& settings = CNimbraApp::Instance()->Settings();
    m_pMdiArea = new QMdiArea(this);
    m_pMdiArea->setViewMode(QMdiArea::TabbedView);
    m_pMdiArea->setDocumentMode(true);
    m_pMdiArea->setTabsMovable(false);
    setCentralWidget(m_pMdiArea);
    connect(m_pMdiArea, &QMdiArea::subWindowActivated, this, &CMainFrame::OnSubWindowActivated);

    CreateMenus();
    CreateAddressBar();
    m_settings.LoadCreationGroup(settings);
    m_nCWC = m_settings.CWC;
    ReloadSettings();

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
    CNimbraApp* app = CNimbraApp::Instance();
    m_settings.Reload(app->Settings());
    CBlockedLists::Switches switches;
    switches.CloseUrl = m_settings.CloseUrl;
    switches.CloseTitle = m_settings.CloseTitle;
    switches.MyHome = m_settings.MyHome;
    switches.MyHomeUrl = m_settings.MyHomeUrl;
    switches.NewBlank = m_settings.NewBlank;
    m_blockedLists.SetSwitches(switches);
    m_blockedLists.Load(app->CloseUrlPath(), app->CloseTitlePath());
}

void CMainFrame::CreateMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    file->addAction(QStringLiteral("新規タブ(&N)"), this, &CMainFrame::OnFileNew);
    QAction* closeTab = file->addAction(QStringLiteral("閉じる(&C)\tCtrl+W"), this, &CMainFrame::OnFileClose);
    closeTab->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    file->addSeparator();
    file->addAction(QStringLiteral("アプリケーションの終了(&X)\tAlt+F4"), this, &QWidget::close);

    QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    help->addAction(QStringLiteral("バージョン情報(&A)"), this,
                    [this] { CNimbraApp::Instance()->ShowAboutDialog(this); });
}

void CMainFrame::CreateAddressBar()
{
    QToolBar* bar = addToolBar(QStringLiteral("Address Bar"));
    bar->setObjectName(QStringLiteral("AddressBar"));
    bar->setMovable(false);
    m_pAddressCombo = new CAddressCombo(this, bar);
    bar->addWidget(m_pAddressCombo);
}

int CMainFrame::TabCount() const
{
    return int(Views().size());
}

std::vector<CNimbraView*> CMainFrame::Views() const
{
    std::vector<CNimbraView*> views;
    for (const QPointer<CChildFrame>& child : m_children)
        if (child)
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

CNimbraView* CMainFrame::CreateNewView()
{
    if (m_settings.TabMax == 1 && TabCount() >= m_settings.TabMaxCount)
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
    AddTab(view->ChildFrame(), true);
    view->m_bTabPending = false;
    return view;
}

int CMainFrame::AddTab(CChildFrame* child, bool activate)
{
    child->showMaximized();
    if (activate || !m_pMdiArea->currentSubWindow())
        ActivateTab(child);
    const std::vector<CNimbraView*> views = Views();
    return int(std::find(views.begin(), views.end(), child->View()) - views.begin());
}

void CMainFrame::ActivateTab(CChildFrame* child)
{
    m_pMdiArea->setActiveSubWindow(child);
}

void CMainFrame::OnChildClosed(CChildFrame* child)
{
    m_children.erase(std::remove_if(m_children.begin(), m_children.end(),
                                    [child](const QPointer<CChildFrame>& c) { return c.isNull() || c == child; }),
                     m_children.end());
}

void CMainFrame::OnSubWindowActivated(QMdiSubWindow* window)
{
    for (CNimbraView* view : Views())
        view->m_bActive = view->ChildFrame() == window;
    if (CNimbraView* view = ActiveView())
        SetAddressText(view->GetLocationURL());
    else if (!window)
        SetAddressText({});
    UpdateCaption();
}

void CMainFrame::UpdateCaption()
{
    CChildFrame* child = ActiveChild();
    if (!child) {
        setWindowTitle(kAppTitle);
        return;
    }
    const std::string& title = child->Doc()->GetTitle();
    setWindowTitle((title.empty() ? child->windowTitle() : ToQ(title)) + QStringLiteral(" - ") + kAppTitle);
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
            view->Browser()->setFocus();
    });
}

void CMainFrame::SaveOpenTabs(const std::string& path)
{
    UrlList urls;
    for (CNimbraView* view : Views()) {
        std::string url = view->GetLocationURL();
        urls.push_back(url.empty() ? view->m_strUrl : url);
    }
    if (path.empty())
        WriteListFile(kHeadingOpenTabsLog, CNimbraApp::Instance()->OpenTabsLogPath(), urls);
    else
        WriteListFile(kHeadingUrlList, path, urls);
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
        if (isMinimized())
            showNormal();
        raise();
        activateWindow();
        return 0;
    case ipc::WM_CLOSE:
        QTimer::singleShot(0, this, &QWidget::close);
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
    CNimbraApp* app = CNimbraApp::Instance();
    const std::string url = app->ResolveShortcut(*text);
    if (url.empty())
        return 0;
    const bool newTab = message.tag == 777 ? m_settings.BookmarkNewTab == 1 : true;
    m_pAddressCombo->Go(url, 0, newTab, 0, 1);
    return 0;
}

void CMainFrame::OnFileNew()
{
    if (m_settings.MyHome == 1 && m_settings.NewBlank == 1
        && EndsWithNoCase(m_settings.MyHomeUrl, ".nbl")) {
        m_pAddressCombo->Go(m_settings.MyHomeUrl, 0, 1, 0, 1);
        return;
    }
    CNimbraApp::Instance()->OpenUrl({}, 0, {}, m_settings.NewBlank, 1);
}

void CMainFrame::OnFileClose()
{
    CNimbraView* view = ActiveView();
    if (!view || view->m_bNaviLock)
        return;
    view->m_bTabRemoved = true;
    view->ChildFrame()->close();
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (m_bClosing) {
        event->accept();
        return;
    }
    m_bClosing = true;
    CNimbraApp* app = CNimbraApp::Instance();
    CSettings& settings = app->Settings();

    if (m_settings.ExitSaveLog != 0)
        SaveOpenTabs({});
    m_blockedLists.Clear();
    if (m_settings.MainExitEditClose != 0 && ipc::FindWindow(ipc::kEditorClass, ToQ(DataDirectory()))) {
        const QString dir = ToQ(DataDirectory());
        ipc::SendWindowMessage(ipc::kEditorClass, dir, {ipc::WM_USER + 0x2F, 0, {}});
        ipc::SendWindowMessage(ipc::kEditorClass, dir, {ipc::WM_CLOSE, 0, {}});
    }
    settings.WriteInt(EKey::CWC, m_nCWC);

    for (CNimbraView* view : Views())
        view->m_bTabRemoved = true;
    m_pMdiArea->closeAllSubWindows();
    if (m_pEndpoint)
        m_pEndpoint->Close();
    event->accept();
}

} // namespace nimbra
