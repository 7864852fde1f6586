#include "frames/browser/ChildFrame.h"

#include "frames/browser/MainFrame.h"
#include "widgets/view/NimbraDoc.h"
#include "widgets/view/NimbraView.h"
#include "widgets/view/ViewCommands.h"

#include <QCloseEvent>

namespace nimbra {

CChildFrame::CChildFrame(CMainFrame* mainFrame)
    : m_pMainFrame(mainFrame), m_pDoc(std::make_unique<CNimbraDoc>())
{
    setWindowFlags(Qt::FramelessWindowHint);
    setAttribute(Qt::WA_DeleteOnClose);
    m_pView = new CNimbraView(mainFrame->ViewHost(), this);
    RegisterViewCommands(*m_pView, *mainFrame);
    setWidget(m_pView);
}

CChildFrame* CChildFrame::Of(const CNimbraView* view)
{
    return qobject_cast<CChildFrame*>(view->parentWidget());
}

CChildFrame::~CChildFrame() = default;

void CChildFrame::closeEvent(QCloseEvent* event)
{
    if (m_pView->DelayClose()) {
        event->ignore();
        return;
    }
    m_pMainFrame->OnChildClosing(this);
    QMdiSubWindow::closeEvent(event);
    if (event->isAccepted()) {
        m_pView->m_bTabRemoved = true;
        m_pView->OnClosing();
        m_pMainFrame->OnChildClosed(this);
    }
}

bool CChildFrame::event(QEvent* event)
{
    // The deletion that closing asked for: each frame takes its engine page
    // with it, which is slow, so the frame lets the main frame spread a run
    // of them over several turns of the event loop.
    if (event->type() == QEvent::DeferredDelete) {
        m_pMainFrame->DeleteClosedFrame(this);
        return true;
    }
    return QMdiSubWindow::event(event);
}

void CChildFrame::SetDocumentTitle(const std::string& title)
{
    // Kept off the subwindow's own title: Qt copies the title of a
    // maximised subwindow into the main window's caption, even from a tab
    // loading in the background.
    m_pDoc->SetTitle(title);
    m_pMainFrame->OnDocumentTitleChanged(this);
}

} // namespace nimbra
