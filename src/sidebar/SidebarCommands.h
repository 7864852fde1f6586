#pragma once

#include "sidebar/BookmarkTree.h"
#include "sidebar/HistorySearchPane.h"
#include "sidebar/HistoryTree.h"
#include "sidebar/NimbraBar.h"

#include <QObject>
#include <QPointer>
#include <string>

class QEvent;

namespace nimbra {

class CMainFrame;
class CWebSearchPane;

// The side bar in the main frame: its creation, the commands that show,
// hide and switch its panes, its settings, the wheel rule and its saved
// layout. It is also the bookmark tree's link to the frame.
class CSidebarCommands : public QObject, public IBookmarkTreeHost, public IHistoryHost {
    Q_OBJECT
public:
    explicit CSidebarCommands(CMainFrame& frame);
    ~CSidebarCommands() override;

    CNimbraBar* Bar() const { return m_pBar; }
    CBookmarkTree* Tree() const { return m_pTree; }
    CHistoryTree* HistoryTree() const { return m_pHistoryTree; }
    CHistorySearchPane* HistorySearch() const { return m_pHistorySearch; }

    // 32891: shows or hides the bar.
    void ToggleBar();
    // 32962, 32961, 32965, 32971: shows pane `pane`, or hides the bar
    // when it already shows it.
    void PaneCommand(int pane);
    // 32915: focuses the selected pane while the bar is shown.
    void FocusPane();

    // NBTabStyleTop, NBTabText and the tree's options from the frame.
    void ApplySettings();
    // The bar's section of barstate.ini, and NimbraBarSelTab.
    void LoadState();
    void SaveState();
    bool FilterWheel(QObject* watched, QEvent* event);

    // IBookmarkTreeHost.
    const std::vector<std::string>& Urls() const override;
    void Navigate(const std::string& url) override;
    void OpenNewTab(const std::string& url) override;
    void SetStatusText(const std::string& text) override;
    void FocusView() override;
    void SaveClickOpenNew(int value) override;
    // IHistoryHost (with the four above).
    std::shared_ptr<CHistoryDb> History() const override;
    bool IsBarVisible() const override;

private:
    void Register();
    void FocusTarget();

    CMainFrame& m_frame;
    CBookmarkTree* m_pTree;
    CHistoryTree* m_pHistoryTree;
    CHistorySearchPane* m_pHistorySearch;
    QPointer<CNimbraBar> m_pBar;
};

// The frame's creation, settings, layout and event steps for the side bar.
void CreateNimbraBar(CMainFrame& frame);
CSidebarCommands* SidebarCommandsOf(const CMainFrame& frame);
void ApplyNimbraBarSettings(CMainFrame& frame);
void LoadNimbraBarState(CMainFrame& frame);
void SaveNimbraBarState(CMainFrame& frame);
bool FilterNimbraBarWheel(CMainFrame& frame, QObject* watched, QEvent* event);

// Pane 3 of the side bar with its link to the frame: it opens searches
// through the address bar and serves the quick search (32972).
INimbraBarPane* CreateWebSearchPane(CMainFrame& frame);
CWebSearchPane* WebSearchPaneOf(const CMainFrame& frame);
// The frame's exit sequence: writes search.ini.
void SaveWebSearchAtExit(CMainFrame& frame);

} // namespace nimbra
