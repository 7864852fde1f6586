#include "frames/browser/WindowCommands.h"

#include "widgets/bars/AddressBar.h"
#include "widgets/bars/CoolBar.h"
#include "widgets/bars/LinkBar.h"
#include "frames/browser/ViewManager.h"
#include "widgets/bookmarks/BookmarkCommands.h"
#include "ui/CommandIds.h"
#include "ui/CommandRouter.h"
#include "frames/browser/FullScreen.h"
#include "frames/browser/MainFrame.h"
#include "ui/MenuResource.h"
#include "frames/browser/TaskTray.h"
#include "platform/Text.h"

#include <QApplication>
#include <QEvent>
#include <QMenuBar>
#include <QTimer>
#include <QToolBar>
#include <QWindowStateChangeEvent>

namespace nimbra {

namespace {
constexpr char kTrayItemText[] = "タスク トレイ(&T)\t";
constexpr char kDefaultTrayKey[] = "Ctrl+Alt+F9";
constexpr int kViewMenu = 2;
// The least widths of the bands' children.
constexpr int kMenuMinWidth = 40;
constexpr int kToolBarMinWidth = 40;
constexpr int kAddressMinWidth = 120;
constexpr int kLinkBarMinWidth = 40;
constexpr int kTabBarMinWidth = 120;
} // namespace

CWindowCommands::CWindowCommands(CMainFrame& frame)
    : QObject(&frame),
      m_frame(frame),
      m_pCoolBar(new CNimbraCoolBar(&frame)),
      m_barState(BarStatePath(frame.Host().IniPath())),
      m_pFullScreen(new CFullScreen(frame)),
      m_pTray(new CTaskTray(frame, frame.Router())),
      m_hotKey([this] { QTimer::singleShot(0, this, &CWindowCommands::ToggleTray); })
{
    CreateBands();
    connect(m_pTray, &CTaskTray::Activated, this, &CWindowCommands::ToggleTray);
    connect(m_pTray, &CTaskTray::HostLost, this, [this] {
        if (IsInTray())
            ToggleTray();
    });
    frame.installEventFilter(this);
    RegisterCommands();
}

CWindowCommands::~CWindowCommands() = default;

void CWindowCommands::CreateBands()
{
    // The built-in order; the bar layout file moves them.
    InsertBand(kBandMenuBar, m_frame.MainMenu(), kMenuMinWidth, true);
    if (m_frame.FrameSettings().ToolBarDockingMode != 1)
        InsertBand(kBandToolBar, m_frame.ToolBar(), kToolBarMinWidth, true);
    InsertBand(kBandAddressBar, CAddressBar::Of(m_frame), kAddressMinWidth, false);
    if (CBookmarkCommands* bookmarks = BookmarkCommandsOf(m_frame))
        InsertBand(kBandLinkBar, bookmarks->LinkBar(), kLinkBarMinWidth, true);
    if (m_frame.ViewManager()->IsRebarMode())
        InsertBand(kBandTabBar, m_frame.ViewManager()->Bar(), kTabBarMinWidth, false);
    m_pCoolBar->SetContextMenu(FindPopup(m_frame.MainMenu(), {kViewMenu, 0}));
    m_frame.setMenuWidget(m_pCoolBar);
}

void CWindowCommands::InsertBand(int id, QWidget* bar, int minWidth, bool chevron)
{
    if (!bar)
        return;
    // A bar that put itself into the frame's toolbar area moves to its band.
    if (auto* toolBar = qobject_cast<QToolBar*>(bar)) {
        if (toolBar->parentWidget() == &m_frame && m_frame.toolBarArea(toolBar) != Qt::NoToolBarArea) {
            m_frame.removeToolBar(toolBar);
            toolBar->show();
        }
        toolBar->setMovable(false);
    }
    m_pCoolBar->InsertBand(bar, minWidth, 0, 0, 0, id != kBandMenuBar, chevron, id);
}

bool CWindowCommands::IsToolBarVisible() const
{
    if (m_pCoolBar->IdToIndex(kBandToolBar) >= 0)
        return m_pCoolBar->IsBandVisible(kBandToolBar);
    return m_frame.ToolBar() && !m_frame.ToolBar()->isHidden();
}

void CWindowCommands::ShowToolBar(bool show)
{
    if (m_pCoolBar->IdToIndex(kBandToolBar) >= 0)
        m_pCoolBar->ShowBand(kBandToolBar, show);
    else if (m_frame.ToolBar())
        m_frame.ToolBar()->setVisible(show);
}

void CWindowCommands::RegisterCommands()
{
    CCommandTable& t = m_frame.Router().Table(CCommandRouter::ELevel::Frame);
    t.SetHandler(ID_FULL_SCREEN, [this] { ToggleFullScreen(); });
    t.SetUpdateHandler(ID_FULL_SCREEN, [this](SCmdUI& ui) { ui.SetCheck(IsFullScreen()); });
    t.SetHandler(ID_TASK_TRAY, [this] { ToggleTray(); });
    t.SetHandler(ID_VIEW_TOOLBAR, [this] { ShowToolBar(!IsToolBarVisible()); });
    t.SetUpdateHandler(ID_VIEW_TOOLBAR, [this](SCmdUI& ui) {
        ui.Enable(m_frame.ToolBar() != nullptr);
        ui.SetCheck(IsToolBarVisible());
    });
    for (const auto& [id, band] : {std::pair{ID_VIEW_ADDRESS_BAR, kBandAddressBar}, {ID_VIEW_LINK_BAR, kBandLinkBar}}) {
        t.SetHandler(id, [this, band] { m_pCoolBar->ShowBand(band, !m_pCoolBar->IsBandVisible(band)); });
        t.SetUpdateHandler(id, [this, band](SCmdUI& ui) { ui.SetCheck(m_pCoolBar->IsBandVisible(band)); });
    }
}

unsigned CWindowCommands::RestorePlacement(unsigned requested)
{
    const std::optional<SWindowPlacement> placement =
        ParseWindowPlacement(m_frame.Host().Settings().GetString(EKey::WindowPos));
    if (!placement)
        return requested;
    m_kept = *placement;
    return SetWindowPlacement(m_frame, *placement, requested);
}

void CWindowCommands::ShowAtStartup(unsigned showCmd)
{
    ShowWindow(m_frame, showCmd);
    if (m_frame.Host().Settings().GetInt(EKey::FullScreenMode) != 0)
        ToggleFullScreen();
}

void CWindowCommands::LoadBarState()
{
    m_barState.LoadBarState(*m_pCoolBar);
}

void CWindowCommands::ResetBarState()
{
    m_barState.Reset();
}

bool CWindowCommands::IsFullScreen() const
{
    return m_pFullScreen->IsOn();
}

void CWindowCommands::ToggleFullScreen()
{
    if (m_pFullScreen->IsOn()) {
        m_pFullScreen->Leave();
        return;
    }
    m_saved = GetWindowPlacement(m_frame, m_kept);
    m_pFullScreen->Enter();
}

bool CWindowCommands::IsInTray() const
{
    return m_pTray->IsInTray();
}

void CWindowCommands::ToggleTray()
{
    if (m_pTray->IsInTray())
        m_pTray->Show();
    else if (CTaskTray::IsAvailable())
        HideInTray();
}

void CWindowCommands::HideInTray()
{
    if (!m_pFullScreen->IsOn())
        m_saved = GetWindowPlacement(m_frame, m_kept);
    m_pTray->Hide(TrayLook(m_frame.FrameSettings()));
}

bool CWindowCommands::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_frame && event->type() == QEvent::WindowStateChange && m_frame.isMinimized()
        && m_frame.FrameSettings().TaskMinimizeIn != 0 && !IsInTray() && CTaskTray::IsAvailable()) {
        // The window goes to the tray instead, in the state it had before.
        const Qt::WindowStates before = static_cast<QWindowStateChangeEvent*>(event)->oldState();
        QTimer::singleShot(0, this, [this, before] {
            if (!m_frame.isMinimized() || IsInTray())
                return;
            m_frame.hide();
            m_frame.setWindowState(before & ~Qt::WindowMinimized);
            HideInTray();
        });
    }
    return QObject::eventFilter(watched, event);
}

void CWindowCommands::SetTrayMenuText(const QString& text)
{
    QMenu* view = FindPopup(m_frame.MainMenu(), {kViewMenu});
    if (QAction* item = view ? FindCommand(view, ID_TASK_TRAY) : nullptr)
        item->setText(text);
}

void CWindowCommands::RegisterTrayHotKey(bool on)
{
    const SHotKey key = SHotKey::FromSetting(m_frame.FrameSettings().HotKey);
    if (!on) {
        m_hotKey.Unregister();
        return;
    }
    if (key.IsNone() || !m_hotKey.Register(key))
        return;
    SetTrayMenuText(QString::fromUtf8(kTrayItemText) + ToQ(HotKeyLabel(key)));
}

void CWindowCommands::OnSettingsReloaded()
{
    m_hotKey.Unregister();
    if (m_frame.FrameSettings().HotKey != 0)
        RegisterTrayHotKey(true);
    else
        SetTrayMenuText(QString::fromUtf8(kTrayItemText) + QString::fromLatin1(kDefaultTrayKey));
}

void CWindowCommands::SavePlacement()
{
    m_frame.Host().Settings().WriteInt(EKey::FullScreenMode, IsFullScreen() ? 1 : 0);
    m_frame.hide();
    const SWindowPlacement placement =
        IsInTray() || IsFullScreen() ? m_saved : GetWindowPlacement(m_frame, m_kept);
    m_frame.Host().Settings().WriteString(EKey::WindowPos, FormatWindowPlacement(placement));
}

bool CWindowCommands::SaveBarState()
{
    if (m_pFullScreen->IsOn())
        m_pFullScreen->RestoreBars();
    m_barState.SaveBarState(*m_pCoolBar);
    return !m_barState.IsReset();
}

void CWindowCommands::OnExit()
{
    m_hotKey.Unregister();
    if (!m_pTray->IsInTray())
        return;
    m_pTray->Leave();
    // A window closed while hidden does not end the program by itself.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

} // namespace nimbra
