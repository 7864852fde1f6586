#pragma once

namespace nimbra {

class CMainFrame;
class CNimbraView;

// Marks a tab for closing and hands it to the tab bar's timer; false when
// it was marked already.
bool QueueTabClose(CNimbraView* view, CMainFrame* frame);

// Queues a tab that a blocking rule closes: marked once, counted in the
// closed-window count, closed by the tab bar's timer.
void QueueBlockedClose(CNimbraView* view, CMainFrame* frame);

} // namespace nimbra
