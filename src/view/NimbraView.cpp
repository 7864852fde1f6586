#include "view/NimbraView.h"

#include "app/NimbraApp.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "platform/Text.h"
#include "view/WebPage.h"

#include <QDir>
#include <QFileInfo>
#include <QVBoxLayout>
#include <QWebEngineView>

namespace nimbra {

namespace {

// A local path becomes a file URL; everything else is read as a user would
// type it ("example.com" gets http://).
QUrl UrlFromText(const std::string& text)
{
    const QString q = ToQ(text);
    if (q.startsWith('/'))
        return QUrl::fromLocalFile(q);
    const QUrl url(q, QUrl::StrictMode);
    if (url.isValid() && !url.scheme().isEmpty() && url.scheme().size() > 1)
        return url;
    return QUrl::fromUserInput(q, QDir::currentPath(), QUrl::AssumeLocalFile);
}

} // namespace

CNimbraView::CNimbraView(CMainFrame* mainFrame, CChildFrame* childFrame)
    : QWidget(childFrame), m_pMainFrame(mainFrame), m_pChildFrame(childFrame)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pBrowser = new QWebEngineView(this);
    m_pPage = new CWebPage(CNimbraApp::Instance()->Profile(), this);
    m_pBrowser->setPage(m_pPage);
    layout->addWidget(m_pBrowser);

    connect(m_pPage, &QWebEnginePage::urlChanged, this,
            [this](const QUrl& url) { OnNavigateComplete2(FromQ(url.toString())); });
    connect(m_pPage, &QWebEnginePage::titleChanged, this,
            [this](const QString& title) { OnTitleChange(FromQ(title)); });
    connect(m_pPage, &QWebEnginePage::loadFinished, this, &CNimbraView::OnDocumentComplete);
}

CNimbraView::~CNimbraView()
{
    // The page must go before the profile and before the view that shows it.
    m_pBrowser->setPage(nullptr);
    delete m_pPage;
}

QWebEnginePage* CNimbraView::Page() const
{
    return m_pPage;
}

void CNimbraView::Navigate(const std::string& url, int, const std::string&)
{
    m_strUrl = url;
    m_pPage->load(UrlFromText(url));
}

void CNimbraView::GoHome()
{
    Navigate(CNimbraApp::Instance()->EngineHomePage());
}

void CNimbraView::Reload()
{
    m_pPage->triggerAction(QWebEnginePage::Reload);
}

void CNimbraView::Stop()
{
    m_pPage->triggerAction(QWebEnginePage::Stop);
}

std::string CNimbraView::GetLocationURL() const
{
    const QUrl url = m_pPage->url();
    return url.isEmpty() ? std::string() : FromQ(url.toString());
}

std::string CNimbraView::GetLocationName() const
{
    return FromQ(m_pPage->title());
}

bool CNimbraView::SetViewTitle(const std::string& title)
{
    if (m_bTabRemoved)
        return false;
    m_strTitle = title;
    m_pChildFrame->SetTitle(title);
    return true;
}

void CNimbraView::CreateTabItem(const std::string& text)
{
    if (!m_bTabPending)
        return;
    m_bTabPending = false;
    m_pChildFrame->SetTitle(text);
    m_nTab = m_pMainFrame->AddTab(m_pChildFrame, m_bActivateOnFirstNavigate);
}

void CNimbraView::CreateTabItemOnFirstNavigate()
{
    const bool activate = m_bActivateOnFirstNavigate || m_pMainFrame->FrameSettings().ActiveNewTab == 1;
    m_bTabPending = false;
    m_nTab = m_pMainFrame->AddTab(m_pChildFrame, activate);
}

bool CNimbraView::OnBeforeNavigate2(const std::string& url, bool mainFrame)
{
    if (!mainFrame)
        return true;
    m_strUrl = url;
    m_bNewWindowPending = false;
    if (m_bTabPending)
        CreateTabItemOnFirstNavigate();
    return true;
}

QWebEnginePage* CNimbraView::OnNewWindow2()
{
    CNimbraView* view = m_pMainFrame->CreateNewView();
    if (!view)
        return nullptr;
    view->m_bNewWindowPending = true;
    view->SetViewTitle("Loading..");
    return view->Page();
}

void CNimbraView::OnNavigateComplete2(const std::string& url)
{
    // Pages that never asked for a navigation decision (about:blank) still
    // get their tab.
    if (m_bTabPending)
        CreateTabItemOnFirstNavigate();
    if (m_bActive)
        m_pMainFrame->SetAddressText(url);
}

void CNimbraView::OnTitleChange(const std::string& title)
{
    SetViewTitle(title);
}

void CNimbraView::OnDocumentComplete(bool ok)
{
    Q_EMIT DocumentComplete(ok);
}

} // namespace nimbra
