#pragma once

#include "widgets/sidebar/BookmarkTree.h"
#include "widgets/sidebar/HistorySearchPane.h"
#include "widgets/sidebar/HistoryTree.h"
#include "widgets/sidebar/NimbraBar.h"
#include "widgets/sidebar/WebSearchPane.h"

#include <QObject>
#include <QPointer>
#include <string>

class QEvent;

namespace nimbra {

class CMainFrame;
class IBrowserHost;

// The side bar in the main frame: its creation, the commands that show,
// hide and switch its panes, its settings, the wheel rule and its saved
// layout. It is also the bookmark tree's link to the frame. The bookmark
// tree is made at once (the bookmark loader fills it with the menu); the
// other panes when first shown or first asked for here.
class CSidebarCommands : public QObject, public IBookmarkTreeHost, public IHistoryHost {
    Q_OBJECT
public:
    enum EPane : int { kBookmarkPane, kHistoryPane, kHistorySearchPane, kWebSearchPane };

    explicit CSidebarCommands(CMainFrame& frame);
    ~CSidebarCommands() override;

    CNimbraBar* Bar() const { return m_pBar; }
    CBookmarkTree* Tree() const { return m_pTree; }
    CHistoryTree* HistoryTree() const;
    CHistorySearchPane* HistorySearch() const;
    CWebSearchPane* WebSearch() const;
    // The web search pane when it has been made, else nullptr.
    CWebSearchPane* MadeWebSearch() const { return m_pWebSearch; }

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
    CSettings& Settings() const override;

private:
    void Register();
    // The selected pane's focus target, or with `command` what its pane
    // command focuses.
    void FocusTarget(bool command = false);

    CMainFrame& m_frame;
    // Kept apart from the frame: the panes write their settings when they
    // go, which is while the frame is being destroyed.
    IBrowserHost& m_host;
    CBookmarkTree* m_pTree;
    QPointer<CHistoryTree> m_pHistoryTree;
    QPointer<CHistorySearchPane> m_pHistorySearch;
    QPointer<CWebSearchPane> m_pWebSearch;
    QPointer<CNimbraBar> m_pBar;
};

// The frame's creation, settings, layout and event steps for the side bar.
void CreateNimbraBar(CMainFrame& frame);
CSidebarCommands* SidebarCommandsOf(const CMainFrame& frame);
void ApplyNimbraBarSettings(CMainFrame& frame);
void LoadNimbraBarState(CMainFrame& frame);
void SaveNimbraBarState(CMainFrame& frame);
bool FilterNimbraBarWheel(CMainFrame& frame, QObject* watched, QEvent* event);

// The link of pane 3 to the frame: it opens searches through the address
// bar and serves the quick search (32972) and the selection search.
IWebSearchHost& CreateWebSearchCommands(CMainFrame& frame);
// The web search pane, made now if it was not yet.
CWebSearchPane* WebSearchPaneOf(const CMainFrame& frame);
// The frame's exit sequence: writes search.ini, also when the pane was
// never made.
void SaveWebSearchAtExit(CMainFrame& frame);

} // namespace nimbra
