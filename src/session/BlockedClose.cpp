#include "session/BlockedClose.h"

#include "bars/ViewManager.h"
#include "frame/MainFrame.h"
#include "view/NimbraView.h"

namespace nimbra {

void QueueBlockedClose(CNimbraView* view, CMainFrame* frame)
{
    if (view->m_bMarkedForClose)
        return;
    view->m_bMarkedForClose = true;
    view->m_bTabPending = false;
    ++frame->m_nCWC;
    frame->ViewManager()->QueueClose(view);
}

} // namespace nimbra
