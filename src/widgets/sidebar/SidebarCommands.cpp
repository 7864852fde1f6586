#include "widgets/sidebar/SidebarCommands.h"

#include "widgets/bars/AddressCombo.h"
#include "widgets/bars/StatusBar.h"
#include "widgets/bookmarks/BookmarkCommands.h"
#include "widgets/bars/BarLayout.h"
#include "ui/CommandIds.h"
#include "ui/CommandRouter.h"
#include "frames/browser/MainFrame.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "widgets/sidebar/NimbraBar.h"
#include "widgets/sidebar/WebSearchPane.h"
#include "widgets/view/NimbraView.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>
#include <QWheelEvent>
#include <optional>

namespace nimbra {

namespace {

constexpr int kPaneCommands[kNimbraBarPaneCount] = {ID_NB_BOOKMARK, ID_NB_HISTORY, ID_NB_HISTORY_SEARCH,
                                                   ID_NB_WEB_SEARCH};

} // namespace

CSidebarCommands::CSidebarCommands(CMainFrame& frame) : QObject(&frame), m_frame(frame), m_host(frame.Host())
{
    setObjectName(QStringLiteral("SidebarCommands"));
    m_pTree = new CBookmarkTree(*this);
    IWebSearchHost& webSearch = CreateWebSearchCommands(frame);
    NimbraBarPaneMakers makers;
    makers[kBookmarkPane] = [this] { return m_pTree; };
    makers[kHistoryPane] = [this] {
        m_pHistoryTree = new CHistoryTree(*this);
        connect(&m_frame, &CMainFrame::HistoryCleared, m_pHistoryTree, &CHistoryTree::ClearAll);
        return m_pHistoryTree;
    };
    makers[kHistorySearchPane] = [this] {
        m_pHistorySearch = new CHistorySearchPane(*this);
        connect(&m_frame, &CMainFrame::HistoryCleared, m_pHistorySearch, &CHistorySearchPane::ClearAll);
        return m_pHistorySearch;
    };
    makers[kWebSearchPane] = [this, &webSearch] {
        m_pWebSearch = new CWebSearchPane(webSearch, DataFile("search.ini"));
        return m_pWebSearch;
    };
    m_pBar = new CNimbraBar(&frame, std::move(makers),
                            frame.Host().Settings().GetInt(EKey::NimbraBarSelTab));
    m_pBar->Pane(kBookmarkPane);
    m_pBar->setAllowedAreas(Qt::AllDockWidgetAreas);
    frame.addDockWidget(Qt::LeftDockWidgetArea, m_pBar);
    connect(m_pBar, &CSizingControlBar::FocusLeft, &frame, &CMainFrame::PostFocusView);
    if (CBookmarkCommands* bookmarks = BookmarkCommandsOf(frame))
        bookmarks->Menu().SetTree(m_pTree);
    Register();
}

CSidebarCommands::~CSidebarCommands()
{
    // The tree calls back into this object: the bar goes first.
    delete m_pBar.data();
}

CSettings& CSidebarCommands::Settings() const
{
    return m_host.Settings();
}

CHistoryTree* CSidebarCommands::HistoryTree() const
{
    m_pBar->Pane(kHistoryPane);
    return m_pHistoryTree;
}

CHistorySearchPane* CSidebarCommands::HistorySearch() const
{
    m_pBar->Pane(kHistorySearchPane);
    return m_pHistorySearch;
}

CWebSearchPane* CSidebarCommands::WebSearch() const
{
    m_pBar->Pane(kWebSearchPane);
    return m_pWebSearch;
}

void CSidebarCommands::Register()
{
    CCommandTable& t = m_frame.Router().Table(CCommandRouter::ELevel::Frame);
    t.SetHandler(ID_NIMBRA_BAR, [this] { ToggleBar(); });
    t.SetUpdateHandler(ID_NIMBRA_BAR, [this](SCmdUI& ui) { ui.SetCheck(m_pBar->IsBarVisible()); });
    for (int pane = 0; pane < kNimbraBarPaneCount; ++pane) {
        t.SetHandler(kPaneCommands[pane], [this, pane] { PaneCommand(pane); });
        t.SetUpdateHandler(kPaneCommands[pane], [this, pane](SCmdUI& ui) {
            ui.SetCheck(m_pBar->IsBarVisible() && m_pBar->SelectedPane() == pane);
        });
    }
    t.SetHandler(ID_NB_FOCUS, [this] { FocusPane(); });
}

void CSidebarCommands::FocusTarget(bool command)
{
    if (QWidget* target = command ? m_pBar->CurrentCommandTarget() : m_pBar->CurrentFocusTarget())
        target->setFocus(Qt::OtherFocusReason);
}

void CSidebarCommands::ToggleBar()
{
    if (m_pBar->IsBarVisible()) {
        m_pBar->hide();
        m_frame.PostFocusView();
        return;
    }
    m_pBar->show();
    FocusTarget();
}

void CSidebarCommands::PaneCommand(int pane)
{
    if (m_pBar->IsBarVisible() && m_pBar->SelectedPane() == pane) {
        m_pBar->HideBar();
        return;
    }
    m_pBar->show();
    if (m_pBar->SelectedPane() != pane)
        m_pBar->SelectPane(pane);
    FocusTarget(true);
}

void CSidebarCommands::FocusPane()
{
    if (m_pBar->IsBarVisible())
        FocusTarget();
}

void CSidebarCommands::ApplySettings()
{
    const CFrameSettings& settings = m_frame.FrameSettings();
    m_pBar->SetTabPosition(settings.NBTabStyleTop != 0);
    m_pBar->SetTabText(settings.NBTabText != 0);
    m_pTree->SetOptions({settings.NBLClickOpenNew, settings.NBSetFocusView, settings.InfoTip});
}

void CSidebarCommands::LoadState()
{
    const CSettings state(BarStatePath(m_host.IniPath()));
    m_pBar->LoadState(state, kNimbraBarProfile);
}

void CSidebarCommands::SaveState()
{
    CSettings state(BarStatePath(m_host.IniPath()));
    m_pBar->SaveState(state, kNimbraBarProfile);
    m_host.Settings().WriteInt(EKey::NimbraBarSelTab, m_pBar->SelectedPane());
}

bool CSidebarCommands::FilterWheel(QObject* watched, QEvent* event)
{
    return event->type() == QEvent::Wheel && m_pBar->OnWheel(watched, static_cast<QWheelEvent*>(event));
}

const std::vector<std::string>& CSidebarCommands::Urls() const
{
    static const std::vector<std::string> none;
    CBookmarkCommands* bookmarks = BookmarkCommandsOf(m_frame);
    return bookmarks ? bookmarks->Menu().Urls() : none;
}

void CSidebarCommands::Navigate(const std::string& url)
{
    m_frame.AddressCombo()->Go(url, 0, 0, 0, 0);
}

void CSidebarCommands::OpenNewTab(const std::string& url)
{
    m_host.OpenUrl(url);
}

void CSidebarCommands::SetStatusText(const std::string& text)
{
    if (CNimbraStatusBar* status = m_frame.StatusBar())
        status->SetStatusText(text);
}

void CSidebarCommands::FocusView()
{
    m_frame.PostFocusView();
}

void CSidebarCommands::SaveClickOpenNew(int value)
{
    m_host.Settings().WriteInt(EKey::NBLClickOpenNew, value);
    m_frame.FrameSettings().NBLClickOpenNew = value;
}

std::shared_ptr<CHistoryDb> CSidebarCommands::History() const
{
    return m_frame.SharedHistory();
}

bool CSidebarCommands::IsBarVisible() const
{
    return m_pBar && m_pBar->IsBarVisible();
}

void CreateNimbraBar(CMainFrame& frame)
{
    new CSidebarCommands(frame);
}

CSidebarCommands* SidebarCommandsOf(const CMainFrame& frame)
{
    return frame.findChild<CSidebarCommands*>(QString(), Qt::FindDirectChildrenOnly);
}

void ApplyNimbraBarSettings(CMainFrame& frame)
{
    if (CSidebarCommands* sidebar = SidebarCommandsOf(frame))
        sidebar->ApplySettings();
}

void LoadNimbraBarState(CMainFrame& frame)
{
    if (CSidebarCommands* sidebar = SidebarCommandsOf(frame))
        sidebar->LoadState();
}

void SaveNimbraBarState(CMainFrame& frame)
{
    if (CSidebarCommands* sidebar = SidebarCommandsOf(frame))
        sidebar->SaveState();
}

bool FilterNimbraBarWheel(CMainFrame& frame, QObject* watched, QEvent* event)
{
    CSidebarCommands* sidebar = SidebarCommandsOf(frame);
    return sidebar && sidebar->FilterWheel(watched, event);
}

// --- Web search pane -------------------------------------------------------

namespace {

class CWebSearchCommands : public QObject, public IWebSearchHost {
public:
    explicit CWebSearchCommands(CMainFrame& frame) : QObject(&frame), m_frame(frame)
    {
        CCommandTable& t = frame.Router().Table(CCommandRouter::ELevel::Frame);
        t.SetHandler(ID_FIND_WEB, [this] {
            if (CWebSearchPane* pane = WebSearchPaneOf(m_frame))
                pane->QuickSearch(FromQ(QGuiApplication::clipboard()->text()), m_frame.FrameSettings().FindWebDlg);
        });
        t.SetHandler(ID_SEARCH_SELECTION, [this] {
            CNimbraView* view = m_frame.ActiveView();
            CWebSearchPane* pane = WebSearchPaneOf(m_frame);
            if (!view || !pane)
                return;
            view->Browser()->ReadSelectionText([pane = QPointer<CWebSearchPane>(pane)](const std::string& text) {
                if (pane)
                    pane->SearchSelection(text);
            });
        });
        t.SetUpdateHandler(ID_SEARCH_SELECTION, [this](SCmdUI& ui) { ui.Enable(HasCheckedEngine()); });
    }

    void Go(const std::string& url) override
    {
        if (CAddressCombo* combo = m_frame.AddressCombo())
            combo->Go(url, 0, 1, 0, 0);
    }
    void FocusView() override { m_frame.PostFocusView(); }

private:
    // Until the pane is made, the file answers; only the pane writes it.
    bool HasCheckedEngine()
    {
        CSidebarCommands* sidebar = SidebarCommandsOf(m_frame);
        if (CWebSearchPane* pane = sidebar ? sidebar->MadeWebSearch() : nullptr)
            return pane->HasCheckedEngine();
        if (!m_bFileChecked) {
            CSearchEngineList engines;
            engines.Load(DataFile("search.ini"));
            m_bFileChecked = engines.HasCheckedEngine();
        }
        return *m_bFileChecked;
    }

    CMainFrame& m_frame;
    std::optional<bool> m_bFileChecked;
};

} // namespace

IWebSearchHost& CreateWebSearchCommands(CMainFrame& frame)
{
    return *new CWebSearchCommands(frame);
}

CWebSearchPane* WebSearchPaneOf(const CMainFrame& frame)
{
    CSidebarCommands* sidebar = SidebarCommandsOf(frame);
    return sidebar ? sidebar->WebSearch() : nullptr;
}

void SaveWebSearchAtExit(CMainFrame& frame)
{
    CSidebarCommands* sidebar = SidebarCommandsOf(frame);
    if (CWebSearchPane* pane = sidebar ? sidebar->MadeWebSearch() : nullptr) {
        pane->SaveAtExit();
        return;
    }
    // The list as the pane would have read it, written as the pane would.
    const std::string path = DataFile("search.ini");
    CSearchEngineList engines;
    engines.Load(path);
    engines.Save(path, CSearchEngineList::ESave::Auto);
}

} // namespace nimbra
