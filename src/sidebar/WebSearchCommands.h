#pragma once

namespace nimbra {

class CMainFrame;
class CWebSearchPane;
class INimbraBarPane;

// Pane 3 of the side bar with its link to the frame: it opens searches
// through the address bar and serves the quick search (32972).
INimbraBarPane* CreateWebSearchPane(CMainFrame& frame);
CWebSearchPane* WebSearchPaneOf(const CMainFrame& frame);
// The frame's exit sequence: writes search.ini.
void SaveWebSearchAtExit(CMainFrame& frame);

} // namespace nimbra
