#include "frame/ChildFrame.h"

#include "frame/MainFrame.h"
#include "platform/Text.h"
#include "view/NimbraDoc.h"
#include "view/NimbraView.h"

#include <QCloseEvent>

namespace nimbra {

namespace {
// Width of a tab text when the tab bar sets no limit of its own.
constexpr int kTabTextWidth = 60;
} // namespace

CChildFrame::CChildFrame(CMainFrame* mainFrame)
    : m_pMainFrame(mainFrame), m_pDoc(std::make_unique<CNimbraDoc>())
{
    setWindowFlags(Qt::FramelessWindowHint);
    setAttribute(Qt::WA_DeleteOnClose);
    m_pView = new CNimbraView(mainFrame, this);
    setWidget(m_pView);
}

CChildFrame::~CChildFrame() = default;

void CChildFrame::closeEvent(QCloseEvent* event)
{
    QMdiSubWindow::closeEvent(event);
    if (event->isAccepted())
        m_pMainFrame->OnChildClosed(this);
}

void CChildFrame::SetTitle(const std::string& title)
{
    m_pDoc->SetTitle(title);
    setWindowTitle(ToQ(TruncateTitle(title, kTabTextWidth)));
}

} // namespace nimbra
