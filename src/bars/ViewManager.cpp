#include "bars/ViewManager.h"

#include "frame/ChildFrame.h"
#include "bars/StatusBar.h"
#include "frame/MainFrame.h"
#include "platform/Text.h"
#include "view/NimbraView.h"

#include <QPainter>
#include <QTabBar>
#include <algorithm>

namespace nimbra {

namespace {

// Width of a tab text when no limit of its own is set.
constexpr int kTabTextWidth = 60;
constexpr int kPendingCloseMs = 200;

// The built-in tab icons: 1 loading, 2 navigated, 4 unread, 5 locked.
QIcon TabIcon(int image)
{
    static QIcon icons[6];
    if (image < 0 || image > 5 || image == 0 || image == 3)
        return {};
    if (icons[image].isNull()) {
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        switch (image) {
        case 1:
            p.setPen(QPen(QColor(0x2f, 0x6f, 0xc0), 2));
            p.drawArc(QRectF(2, 2, 12, 12), 90 * 16, 270 * 16);
            break;
        case 2:
            p.setBrush(QColor(0x3c, 0xa0, 0x4c));
            p.setPen(Qt::NoPen);
            p.drawEllipse(QRectF(4, 4, 8, 8));
            break;
        case 4:
            p.setBrush(QColor(0xe8, 0x8a, 0x1a));
            p.setPen(Qt::NoPen);
            p.drawEllipse(QRectF(3, 3, 10, 10));
            break;
        case 5:
            p.setPen(QPen(QColor(0x55, 0x55, 0x55), 2));
            p.drawArc(QRectF(4, 1, 8, 9), 0, 180 * 16);
            p.setBrush(QColor(0xc9, 0xa2, 0x27));
            p.setPen(Qt::NoPen);
            p.drawRect(QRectF(3, 7, 10, 8));
            break;
        }
        icons[image] = QIcon(pixmap);
    }
    return icons[image];
}

} // namespace

CViewManager::CViewManager(CMainFrame* mainFrame, QWidget* parent) : QObject(parent), m_pMainFrame(mainFrame)
{
    m_pTabCtrl = new QTabBar(parent);
    m_pTabCtrl->setObjectName(QStringLiteral("TabBar"));
    m_pTabCtrl->setExpanding(false);
    m_pTabCtrl->setElideMode(Qt::ElideRight);
    m_pTabCtrl->setDocumentMode(true);
    m_pTabCtrl->setUsesScrollButtons(true);
    connect(m_pTabCtrl, &QTabBar::currentChanged, this, &CViewManager::OnCurrentChanged);

    m_closeTimer.setInterval(kPendingCloseMs);
    connect(&m_closeTimer, &QTimer::timeout, this, &CViewManager::ProcessPendingClose);
    m_closeTimer.start();
}

int CViewManager::AddTab(CNimbraView* view, const std::string& text)
{
    const int index = int(m_views.size());
    m_views.emplace_back(view);
    m_images.push_back(-1);
    m_bSelecting = true;
    m_pTabCtrl->addTab(ToQ(TruncateTitle(text, kTabTextWidth)));
    m_bSelecting = false;
    view->m_nTab = index;
    return index;
}

void CViewManager::RemoveTab(CNimbraView* view)
{
    const auto it = std::find(m_views.begin(), m_views.end(), view);
    if (it == m_views.end())
        return;
    const int index = int(it - m_views.begin());
    m_views.erase(it);
    m_images.erase(m_images.begin() + index);
    m_bSelecting = true;
    m_pTabCtrl->removeTab(index);
    m_bSelecting = false;
    view->m_nTab = -1;
    for (size_t i = size_t(index); i < m_views.size(); ++i)
        if (m_views[i])
            m_views[i]->m_nTab = int(i);
}

void CViewManager::SetItemText(int nTab, const std::string& title)
{
    if (nTab < 0 || nTab >= GetItemCount())
        return;
    m_pTabCtrl->setTabText(nTab, ToQ(TruncateTitle(title, kTabTextWidth)));
    m_pTabCtrl->setTabToolTip(nTab, ToQ(title));
}

void CViewManager::SetItemImage(int nTab, int image)
{
    if (nTab < 0 || nTab >= GetItemCount())
        return;
    m_images[size_t(nTab)] = image;
    m_pTabCtrl->setTabIcon(nTab, TabIcon(image));
}

int CViewManager::GetItemImage(int nTab) const
{
    return nTab >= 0 && nTab < GetItemCount() ? m_images[size_t(nTab)] : -1;
}

std::string CViewManager::GetItemText(int nTab) const
{
    return FromQ(m_pTabCtrl->tabText(nTab));
}

int CViewManager::GetItemCount() const
{
    return int(m_views.size());
}

int CViewManager::GetCurSel() const
{
    return m_pTabCtrl->currentIndex();
}

CNimbraView* CViewManager::ViewAt(int nTab) const
{
    return nTab >= 0 && nTab < GetItemCount() ? m_views[size_t(nTab)].data() : nullptr;
}

std::vector<CNimbraView*> CViewManager::Views() const
{
    std::vector<CNimbraView*> views;
    for (const QPointer<CNimbraView>& view : m_views)
        if (view)
            views.push_back(view);
    return views;
}

void CViewManager::SelectItem(int nTab)
{
    if (nTab < 0 || nTab >= GetItemCount() || nTab == m_pTabCtrl->currentIndex())
        return;
    m_bSelecting = true;
    m_pTabCtrl->setCurrentIndex(nTab);
    m_bSelecting = false;
}

void CViewManager::SelectTab(int nTab)
{
    if (CNimbraView* view = ViewAt(nTab))
        m_pMainFrame->ActivateTab(view->ChildFrame());
}

void CViewManager::SelectNextTab(bool previous)
{
    const int count = GetItemCount();
    if (count < 2)
        return;
    const int current = std::max(0, GetCurSel());
    SelectTab((current + (previous ? count - 1 : 1)) % count);
}

void CViewManager::OnCurrentChanged(int index)
{
    if (!m_bSelecting)
        SelectTab(index);
}

void CViewManager::MoveTab(int from, int to)
{
    const int count = GetItemCount();
    if (from < 0 || to < 0 || from >= count || to >= count || from == to)
        return;
    m_bSelecting = true;
    m_pTabCtrl->moveTab(from, to);
    m_bSelecting = false;
    QPointer<CNimbraView> view = m_views[size_t(from)];
    const int image = m_images[size_t(from)];
    m_views.erase(m_views.begin() + from);
    m_images.erase(m_images.begin() + from);
    m_views.insert(m_views.begin() + to, view);
    m_images.insert(m_images.begin() + to, image);
    for (size_t i = 0; i < m_views.size(); ++i)
        if (m_views[i])
            m_views[i]->m_nTab = int(i);
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
        if (view->m_bNaviLock || view->m_bNoCloseRecord || m_images[size_t(view->m_nTab)] != -1)
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
        view->ChildFrame()->close();
    }
    settings.TabPosToCls = rule;
    Refresh();
}

void CViewManager::Refresh()
{
    m_pTabCtrl->setVisible(GetItemCount() > 0);
    if (GetItemCount() == 0) {
        m_pMainFrame->SetAddressText({});
        if (CNimbraStatusBar* status = m_pMainFrame->StatusBar()) {
            status->SetStatusText({});
            status->SetProgress(0);
        }
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

void CViewManager::ProcessPendingClose()
{
    std::vector<QPointer<CNimbraView>> pending;
    pending.swap(m_pendingClose);
    for (const QPointer<CNimbraView>& view : pending) {
        if (!view)
            continue;
        view->m_bNoCloseRecord = true;
        view->m_bTabRemoved = true;
        view->ChildFrame()->close();
    }
}

} // namespace nimbra
