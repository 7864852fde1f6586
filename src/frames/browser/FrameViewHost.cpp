#include "frames/browser/FrameViewHost.h"

#include "frames/browser/ChildFrame.h"
#include "frames/browser/MainFrame.h"
#include "frames/browser/ViewManager.h"
#include "ui/CommandRouter.h"
#include "widgets/bookmarks/BookmarkCommands.h"
#include "widgets/view/Downloads.h"
#include "widgets/view/NimbraView.h"

namespace nimbra {

QMainWindow* CFrameViewHost::Window()
{
    return &m_frame;
}

const CFrameSettings& CFrameViewHost::FrameSettings() const
{
    return m_frame.FrameSettings();
}

CSettings& CFrameViewHost::Settings()
{
    return m_frame.Host().Settings();
}

CShell& CFrameViewHost::Shell()
{
    return m_frame.Host().Shell();
}

CNimbraStatusBar* CFrameViewHost::StatusBar()
{
    return m_frame.StatusBar();
}

CBlockedLists& CFrameViewHost::BlockedLists()
{
    return m_frame.BlockedLists();
}

CHistoryDb& CFrameViewHost::History()
{
    return m_frame.History();
}

bool CFrameViewHost::IsOffline() const
{
    return m_frame.Offline().IsOffline();
}

void CFrameViewHost::RefreshOfflineState()
{
    m_frame.RefreshOfflineState();
}

std::unique_ptr<IWebBrowser> CFrameViewHost::CreateBrowser(QWidget* parent)
{
    return m_frame.Host().CreateBrowser(parent);
}

CNimbraView* CFrameViewHost::CreateNewView()
{
    return m_frame.CreateNewView();
}

CDownloadManager& CFrameViewHost::Downloads()
{
    // Made when first needed: most runs download nothing.
    if (CDownloadManager* downloads = CDownloadManager::Of(&m_frame))
        return *downloads;
    return *new CDownloadManager(*this);
}

int CFrameViewHost::AddTab(CNimbraView& view, const std::string& text)
{
    return m_frame.ViewManager()->AddTab(&view, text);
}

void CFrameViewHost::SetTabText(int tab, const std::string& text)
{
    m_frame.ViewManager()->SetItemText(tab, text);
}

void CFrameViewHost::SetTabImage(int tab, int image)
{
    m_frame.ViewManager()->SetItemImage(tab, image);
}

void CFrameViewHost::SelectTab(int tab)
{
    m_frame.ViewManager()->SelectItem(tab);
}

int CFrameViewHost::TabCount() const
{
    return m_frame.ViewManager()->GetItemCount();
}

void CFrameViewHost::ActivateTab(CNimbraView& view)
{
    m_frame.ActivateTab(CChildFrame::Of(&view));
}

void CFrameViewHost::SetDocumentTitle(CNimbraView& view, const std::string& title)
{
    CChildFrame::Of(&view)->SetDocumentTitle(title);
}

void CFrameViewHost::CloseTab(CNimbraView& view)
{
    CChildFrame::Of(&view)->close();
}

void CFrameViewHost::QueueClose(CNimbraView& view)
{
    m_frame.ViewManager()->QueueClose(&view);
}

void CFrameViewHost::QueueBlockedClose(CNimbraView& view)
{
    m_frame.QueueBlockedClose(&view);
}

void CFrameViewHost::RecordClosedTab(const std::string& url, const std::string& title, const STabHistory& history)
{
    m_frame.RecordClosedTab(url, title, history);
}

void CFrameViewHost::OpenTabsChanged()
{
    Q_EMIT m_frame.OpenTabsChanged();
}

void CFrameViewHost::SetAddressText(const std::string& url)
{
    m_frame.SetAddressText(url);
}

bool CFrameViewHost::OpenSpecialUrl(const std::string& url)
{
    return m_frame.Host().OpenSpecialUrl(url);
}

void CFrameViewHost::OpenUrl(const std::string& url)
{
    m_frame.Host().OpenUrl(url);
}

void CFrameViewHost::AddBookmark(const std::string& title, const std::string& url)
{
    if (CBookmarkCommands* bookmarks = BookmarkCommandsOf(m_frame))
        bookmarks->AddLink(title, url);
}

bool CFrameViewHost::CommandEnabled(int id)
{
    return m_frame.Router().Query(id).enabled;
}

void CFrameViewHost::RunCommand(int id)
{
    m_frame.ExecuteCommand(id);
}

} // namespace nimbra
