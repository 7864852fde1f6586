#include "data/session/BlockedClose.h"

#include "widgets/bars/ViewManager.h"
#include "frames/browser/MainFrame.h"
#include "widgets/view/NimbraView.h"

namespace nimbra {

bool QueueTabClose(CNimbraView* view, CMainFrame* frame)
{
    if (view->m_bMarkedForClose)
        return false;
    view->m_bMarkedForClose = true;
    view->m_bTabPending = false;
    frame->ViewManager()->QueueClose(view);
    return true;
}

void QueueBlockedClose(CNimbraView* view, CMainFrame* frame)
{
    if (QueueTabClose(view, frame))
        ++frame->m_nCWC;
}

} // namespace nimbra
