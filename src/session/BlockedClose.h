#pragma once

namespace nimbra {

class CMainFrame;
class CNimbraView;

// Queues a tab that a blocking rule closes: marked once, counted in the
// closed-window count, closed by the tab bar's timer.
void QueueBlockedClose(CNimbraView* view, CMainFrame* frame);

} // namespace nimbra
