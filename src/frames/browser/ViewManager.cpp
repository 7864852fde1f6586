#include "frames/browser/ViewManager.h"

#include "data/settings/Settings.h"
#include "widgets/bars/StatusBar.h"
#include "frames/browser/ChildFrame.h"
#include "ui/CommandIds.h"
#include "ui/CommandRouter.h"
#include "frames/browser/MainFrame.h"
#include "ui/MenuResource.h"
#include "platform/Text.h"
#include "widgets/view/NimbraDoc.h"
#include "widgets/view/NimbraView.h"

#include <QDockWidget>
#include <QFrame>
#include <QHBoxLayout>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QToolBar>
#include <algorithm>

namespace nimbra {

namespace {

constexpr int kDefaultTabTextWidth = 60;
constexpr int kWindowMenuTextWidth = 40;
constexpr int kLeftMargin = 10;
constexpr int kTabMenuId = 176;
constexpr int kBackgroundMenuId = 177;
constexpr char kRecentClosedText[] = "最近閉じたURL(&E)";

QMenu* BuildResourcePopup(int resourceId, CMainFrame* frame)
{
    const SMenu* resource = CMenuResource::Builtin().FindMenu(resourceId);
    if (!resource || resource->items.empty())
        return nullptr;
    QMenu* menu = BuildPopupMenu(resource->items.front(), frame->Router(), frame);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    return menu;
}

} // namespace

CViewManager::CViewManager(CMainFrame* mainFrame, QWidget* parent) : QObject(parent), m_pMainFrame(mainFrame)
{
    m_pHolder = new QWidget(parent);
    m_pHolder->setObjectName(QStringLiteral("TabBarHolder"));
    auto* layout = new QHBoxLayout(m_pHolder);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pTabCtrl = new CTabBarCtrl([](const CNimbraView& view) { return CChildFrame::Of(&view)->Doc()->GetTitle(); },
                                 m_pHolder);
    layout->addWidget(m_pTabCtrl);
    m_pTabCtrl->hide();
    connect(m_pTabCtrl, &CTabBarCtrl::MouseAction, this, &CViewManager::OnMouseAction);
    connect(m_pTabCtrl, &CTabBarCtrl::DragDropped, this, &CViewManager::MoveTab);
    connect(m_pTabCtrl, &CTabBarCtrl::FilesDropped, this, &CViewManager::OnFilesDropped);
    connect(m_pTabCtrl, &CTabBarCtrl::RowsChanged, this, &CViewManager::UpdateBarHeight);

    m_timer.setInterval(kPendingCloseMs);
    connect(&m_timer, &QTimer::timeout, this, &CViewManager::OnTick);
    m_timer.start();
}

void CViewManager::CreateBar(bool rebarMode)
{
    m_bRebarMode = rebarMode;
    if (rebarMode) {
        auto* band = new QToolBar(QStringLiteral("Tab Bar"), m_pMainFrame);
        band->setObjectName(QStringLiteral("TabBarBand"));
        band->addWidget(m_pHolder);
        m_pMainFrame->addToolBarBreak(Qt::TopToolBarArea);
        m_pMainFrame->addToolBar(Qt::TopToolBarArea, band);
        m_pBar = band;
    } else {
        auto* dock = new QDockWidget(QStringLiteral("Tab Bar"), m_pMainFrame);
        dock->setObjectName(QStringLiteral("TabBar"));
        dock->setAllowedAreas(Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);
        dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable |
                          QDockWidget::DockWidgetVerticalTitleBar);
        // The gripper is the bar's left margin.
        auto* grip = new QFrame(dock);
        grip->setFrameStyle(QFrame::VLine | QFrame::Raised);
        grip->setFixedWidth(kLeftMargin);
        dock->setTitleBarWidget(grip);
        dock->setWidget(m_pHolder);
        m_pMainFrame->addDockWidget(Qt::TopDockWidgetArea, dock);
        connect(dock, &QDockWidget::dockLocationChanged, this, &CViewManager::OnDockLocationChanged);
        connect(dock, &QDockWidget::topLevelChanged, this, &CViewManager::OnDockLocationChanged);
        m_pBar = dock;
    }
    if (QMdiArea* mdi = m_pMainFrame->MdiArea())
        mdi->viewport()->installEventFilter(this);
    UpdateBarHeight();
}

void CViewManager::OnDockLocationChanged()
{
    auto* dock = qobject_cast<QDockWidget*>(m_pBar);
    const bool bottom = dock && !dock->isFloating() &&
                        m_pMainFrame->dockWidgetArea(dock) == Qt::BottomDockWidgetArea;
    m_pTabCtrl->SetBottom(bottom && !m_pTabCtrl->IsButtonMode());
    UpdateBarHeight();
}

void CViewManager::UpdateBarHeight()
{
    auto* layout = static_cast<QHBoxLayout*>(m_pHolder->layout());
    int top = 0;
    int bottom = 0;
    if (!m_bRebarMode) {
        auto* dock = qobject_cast<QDockWidget*>(m_pBar);
        const bool atBottom = dock && !dock->isFloating() &&
                              m_pMainFrame->dockWidgetArea(dock) == Qt::BottomDockWidgetArea;
        (atBottom && !m_pTabCtrl->IsButtonMode() ? bottom : top) = 3;
    }
    layout->setContentsMargins(0, top, 0, bottom);
    // The bar keeps its height while the control is hidden.
    m_pHolder->setFixedHeight(m_pTabCtrl->sizeHint().height() + top + bottom);
}

bool CViewManager::IsBarVisible() const
{
    return m_pBar && !m_pBar->isHidden();
}

void CViewManager::ShowBar(bool show)
{
    if (m_pBar)
        m_pBar->setVisible(show);
}

void CViewManager::ApplySettings(const CFrameSettings& s)
{
    m_pTabCtrl->SetTabMode(s.TabMode == 1, m_bRebarMode && s.TabMultiLine == 1);
    m_pTabCtrl->SetFixedWidth(s.SetTabWidth == 1, s.TabWidth);
    m_pTabCtrl->SetFonts(TabFontWeight(s.SelTabWeight), IsOn(EKey::SelTabItalic, s.SelTabItalic),
                         IsOn(EKey::SelTabUnderline, s.SelTabUnderline), TabFontWeight(s.UnSelTabWeight),
                         IsOn(EKey::UnSelTabItalic, s.UnSelTabItalic),
                         IsOn(EKey::UnSelTabUnderline, s.UnSelTabUnderline));
    m_pTabCtrl->SetColors(s.SelTabClr, s.UnSelTabClr, s.SelTabBkgClr, s.UnSelTabBkgClr);
    OnDockLocationChanged();
}

std::string CViewManager::TabText(const std::string& title) const
{
    const CFrameSettings& s = m_pMainFrame->FrameSettings();
    const int width = s.SetTabWidth == 0 && s.SetTabCharMax == 1 ? s.TabCharMax : kDefaultTabTextWidth;
    return TruncateTitle(title, width);
}

int CViewManager::AddTab(CNimbraView* view, const std::string& text)
{
    const int count = GetItemCount();
    const int current = GetCurSel();
    int index = count;
    switch (m_pMainFrame->FrameSettings().NewTabPosition) {
    case 1:
        index = 0;
        break;
    case 2:
        index = std::max(current, 0);
        break;
    case 3:
        index = current < 0 ? 0 : current + 1;
        break;
    default:
        break;
    }
    index = m_pTabCtrl->InsertItem(index, ToQ(TabText(text)), view);
    view->m_nTab = index;
    if (count == 0)
        m_pTabCtrl->show();
    Renumber(index + 1);
    if (index < kWindowMenuTabs || count + 1 == kWindowMenuTabs)
        UpdateWindowMenu(index);
    return index;
}

void CViewManager::Renumber(int from)
{
    for (int i = from; i < GetItemCount(); ++i)
        if (CNimbraView* view = m_pTabCtrl->GetView(i))
            view->m_nTab = i;
}

void CViewManager::RemoveTab(CNimbraView* view)
{
    int index = view->m_nTab;
    if (m_pTabCtrl->GetView(index) != view) {
        index = -1;
        for (int i = 0; i < GetItemCount() && index < 0; ++i)
            if (m_pTabCtrl->GetView(i) == view)
                index = i;
    }
    if (index < 0)
        return;
    m_pTabCtrl->RemoveItem(index);
    view->m_nTab = -1;
    Renumber(index);
    if (index < kWindowMenuTabs || GetItemCount() + 1 == kWindowMenuTabs)
        UpdateWindowMenu(index);
    if (GetItemCount() == 0)
        Refresh();
}

void CViewManager::SetItemText(int nTab, const std::string& title)
{
    if (nTab < 0 || nTab >= GetItemCount())
        return;
    m_pTabCtrl->SetItemText(nTab, ToQ(TabText(title)));
    if (nTab < kWindowMenuTabs)
        UpdateWindowMenu(nTab);
}

void CViewManager::SetItemImage(int nTab, int image)
{
    m_pTabCtrl->SetItemImage(nTab, image);
}

int CViewManager::GetItemImage(int nTab) const
{
    return m_pTabCtrl->GetImage(nTab);
}

std::string CViewManager::GetItemText(int nTab) const
{
    return FromQ(m_pTabCtrl->ItemText(nTab));
}

int CViewManager::GetItemCount() const
{
    return m_pTabCtrl->Count();
}

int CViewManager::GetCurSel() const
{
    return m_pTabCtrl->CurrentIndex();
}

CNimbraView* CViewManager::ViewAt(int nTab) const
{
    return m_pTabCtrl->GetView(nTab);
}

std::optional<std::string> CViewManager::TabTitle(int nTab) const
{
    const CNimbraView* view = ViewAt(nTab);
    return view ? std::optional(view->m_strTitle) : std::nullopt;
}

std::string CViewManager::GetTabUrl(int nTab) const
{
    CNimbraView* view = ViewAt(nTab);
    return view ? view->GetLocationURL() : std::string();
}

std::vector<CNimbraView*> CViewManager::Views() const
{
    std::vector<CNimbraView*> views;
    views.reserve(size_t(GetItemCount()));
    for (int i = 0; i < GetItemCount(); ++i)
        if (CNimbraView* view = m_pTabCtrl->GetView(i))
            views.push_back(view);
    return views;
}

void CViewManager::SelectItem(int nTab)
{
    if (nTab >= 0 && nTab < GetItemCount())
        m_pTabCtrl->SetCurrentIndex(nTab);
}

void CViewManager::SelectTab(int nTab)
{
    CNimbraView* view = ViewAt(nTab);
    if (!view)
        return;
    m_pMainFrame->ActivateTab(CChildFrame::Of(view));
    m_pTabCtrl->SetCurrentIndex(nTab);
}

void CViewManager::SelectNextTab(bool previous)
{
    const int count = GetItemCount();
    if (count == 0)
        return;
    int next = GetCurSel() + (previous ? -1 : 1);
    if (next >= count)
        next = 0;
    else if (next < 0)
        next = count - 1;
    SelectTab(next);
}

void CViewManager::CloseTab(int nTab)
{
    m_pMainFrame->CloseTab(ViewAt(nTab));
}

void CViewManager::MoveTab(int from, int to)
{
    const int count = GetItemCount();
    if (from < 0 || to < 0 || from >= count || to >= count || from == to)
        return;
    m_pTabCtrl->MoveTab(from, to);
    Renumber(std::min(from, to));
    if (std::min(from, to) < kWindowMenuTabs)
        UpdateWindowMenu(std::min(from, to));
    Q_EMIT m_pMainFrame->OpenTabsChanged();
}

void CViewManager::CloseAll()
{
    m_pMainFrame->BulkClose(nullptr, false);
}

void CViewManager::CloseReadTabs()
{
    UrlList restore;
    std::vector<CNimbraView*> closing;
    for (CNimbraView* view : Views()) {
        if (view->m_bNaviLock || view->m_bNoCloseRecord || GetItemImage(view->m_nTab) != -1)
            continue;
        const std::string url = view->GetLocationURL();
        restore.push_back(url.empty() ? view->m_strUrl : url);
        closing.push_back(view);
    }
    m_pMainFrame->m_closeAllRestore = restore;
    CFrameSettings& settings = m_pMainFrame->FrameSettings();
    const int rule = settings.TabPosToCls;
    settings.TabPosToCls = 1;
    for (CNimbraView* view : closing) {
        view->m_bTabRemoved = true;
        CChildFrame::Of(view)->close();
    }
    settings.TabPosToCls = rule;
    Refresh();
}

void CViewManager::Refresh()
{
    m_pTabCtrl->setVisible(GetItemCount() > 0);
    if (GetItemCount() > 0)
        return;
    m_pMainFrame->SetAddressText({});
    if (CNimbraStatusBar* status = m_pMainFrame->StatusBar()) {
        status->SetStatusText({});
        status->SetProgress(0);
        status->SetSecure(false);
        status->ClearZone();
    }
}

void CViewManager::QueueClose(CNimbraView* view)
{
    if (!IsPendingClose(view))
        m_pendingClose.emplace_back(view);
}

bool CViewManager::IsPendingClose(const CNimbraView* view) const
{
    return std::any_of(m_pendingClose.begin(), m_pendingClose.end(),
                       [view](const QPointer<CNimbraView>& v) { return v == view; });
}

void CViewManager::OnTick()
{
    ProcessPendingClose();
    // The engine shows no native warning dialogs (its JavaScript dialogs
    // belong to the page), so only a sweep someone installed runs here.
    if (m_dialogSweep && m_pMainFrame->FrameSettings().KillDlg != 0)
        m_dialogSweep();
}

void CViewManager::ProcessPendingClose()
{
    std::vector<QPointer<CNimbraView>> pending;
    pending.swap(m_pendingClose);
    for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
        CNimbraView* view = *it;
        if (!view || !view->m_bMarkedForClose)
            continue;
        view->m_bNoCloseRecord = true;
        view->m_bTabRemoved = true;
        CChildFrame::Of(view)->close();
    }
}

void CViewManager::OnMouseAction(CTabBarCtrl::EMouse gesture, int index, const QPoint& globalPos)
{
    const CFrameSettings& s = m_pMainFrame->FrameSettings();
    switch (gesture) {
    case CTabBarCtrl::EMouse::LeftPress:
        SelectTab(index);
        break;
    case CTabBarCtrl::EMouse::MiddlePress:
        m_pMainFrame->m_nContextTab = -1;
        ApplyAction(s.TabWheelClick, index, globalPos, false);
        break;
    case CTabBarCtrl::EMouse::MiddleDouble:
        ApplyAction(s.TabWheelClick, index, globalPos, false);
        break;
    case CTabBarCtrl::EMouse::LeftDouble:
        ApplyAction(s.TabLeftDblClick, index, globalPos, false);
        break;
    case CTabBarCtrl::EMouse::RightClick:
        ApplyAction(s.TabRightClick, index, globalPos, true);
        break;
    case CTabBarCtrl::EMouse::BackgroundRight:
        ShowBackgroundMenu(globalPos);
        break;
    }
}

void CViewManager::ApplyAction(int action, int nTab, const QPoint& globalPos, bool popupOnZero)
{
    CNimbraView* view = ViewAt(nTab);
    if (!view)
        return;
    switch (action) {
    case 0:
        if (popupOnZero)
            ShowTabMenu(nTab, globalPos);
        break;
    case 1:
        CloseTab(nTab);
        break;
    case 2:
        if (!view->m_bNaviLock)
            view->Refresh();
        break;
    case 3:
        if (!view->m_bNaviLock)
            view->GoBack();
        break;
    case 4:
        view->ToggleNaviLock();
        break;
    default:
        break;
    }
}

QMenu* CViewManager::ShowTabMenu(int nTab, const QPoint& globalPos)
{
    if (!ViewAt(nTab))
        return nullptr;
    QMenu* menu = BuildResourcePopup(kTabMenuId, m_pMainFrame);
    if (!menu)
        return nullptr;
    m_pMainFrame->m_nContextTab = nTab;
    menu->popup(globalPos);
    return menu;
}

QMenu* CViewManager::ShowBackgroundMenu(const QPoint& globalPos)
{
    QMenu* menu = BuildResourcePopup(kBackgroundMenuId, m_pMainFrame);
    if (!menu)
        return nullptr;
    // The recently closed submenu is lent to the popup while it is open.
    QAction* recent = nullptr;
    if (QMenu* file = FindPopup(m_pMainFrame->MainMenu(), {0}))
        for (QAction* action : file->actions())
            if (action->menu() && action->text() == QString::fromUtf8(kRecentClosedText))
                recent = action;
    if (recent) {
        menu->insertAction(menu->actions().value(4, nullptr), recent);
        connect(menu, &QMenu::aboutToHide, menu, [menu, recent] { menu->removeAction(recent); });
    }
    menu->popup(globalPos);
    return menu;
}

void CViewManager::ShowTabManager()
{
    CTabManagerDlg dialog(*this, m_pMainFrame);
    dialog.exec();
}

QMenu* CViewManager::WindowMenu() const
{
    QMenuBar* bar = m_pMainFrame->MainMenu();
    for (QAction* action : bar->actions()) {
        QMenu* menu = action->menu();
        if (!menu)
            continue;
        const QList<QAction*> items = menu->actions();
        if (items.size() > 1 && CCommandRouter::IdOf(items[1]) == ID_NEXT_TAB)
            return menu;
    }
    return nullptr;
}

void CViewManager::UpdateWindowMenu(int from)
{
    QMenu* menu = WindowMenu();
    if (!menu)
        return;
    CCommandRouter& router = m_pMainFrame->Router();
    const int shown = std::min(GetItemCount(), kWindowMenuTabs);
    for (int i = std::max(from, 0); i < kWindowMenuTabs; ++i) {
        QAction* entry = router.Action(kWindowMenuFirstId + i);
        if (i >= shown) {
            menu->removeAction(entry);
            continue;
        }
        QString title = ToQ(TruncateTitle(GetItemText(i), kWindowMenuTextWidth));
        title.replace(QLatin1Char('&'), QStringLiteral("&&"));
        entry->setText(QStringLiteral("&%1 ").arg(i + 1) + title);
        if (!menu->actions().contains(entry))
            menu->insertAction(menu->actions().value(kWindowMenuFixedItems + i, nullptr), entry);
    }
    QAction* manager = menu->findChild<QAction*>(QStringLiteral("TabManagerEntry"), Qt::FindDirectChildrenOnly);
    if (GetItemCount() >= kWindowMenuTabs) {
        if (!manager) {
            manager = router.AddAlias(ID_TAB_MANAGER, QStringLiteral("タブ マネージャー(&M)..."), menu);
            manager->setObjectName(QStringLiteral("TabManagerEntry"));
            menu->addAction(manager);
        }
    } else {
        delete manager;
    }
}

void CViewManager::OnFilesDropped(int index, const QStringList& paths)
{
    CNimbraView* view = ViewAt(index);
    if (!view || paths.isEmpty())
        return;
    const std::string url = m_pMainFrame->Host().ResolveShortcut(FromQ(paths.front()));
    if (url.empty())
        return;
    view->Navigate(url);
    m_pMainFrame->PostFocusView();
}

bool CViewManager::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) {
            ShowBackgroundMenu(mouse->globalPosition().toPoint());
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace nimbra
