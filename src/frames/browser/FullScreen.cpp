#include "frames/browser/FullScreen.h"

#include <QApplication>
#include <QCursor>
#include <QMainWindow>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QWindow>
#include <algorithm>

namespace nimbra {

namespace {
constexpr int kPollMs = 150;
// How far below the shown top bars the pointer may go before they hide.
constexpr int kRevealMargin = 8;
} // namespace

CFullScreen::CFullScreen(QMainWindow& window) : QObject(&window), m_window(window)
{
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &CFullScreen::OnPoll);
}

std::vector<QWidget*> CFullScreen::TopBars() const
{
    std::vector<QWidget*> bars;
    if (QWidget* menu = m_window.menuWidget())
        bars.push_back(menu);
    for (QToolBar* bar : m_window.findChildren<QToolBar*>(QString(), Qt::FindDirectChildrenOnly))
        if (m_window.toolBarArea(bar) == Qt::TopToolBarArea)
            bars.push_back(bar);
    return bars;
}

void CFullScreen::Enter()
{
    if (m_bOn)
        return;
    m_bWasMaximized = m_window.isMaximized();
    m_normal = m_window.normalGeometry().isEmpty() ? m_window.geometry() : m_window.normalGeometry();
    m_topBars.clear();
    for (QWidget* bar : TopBars()) {
        if (bar->isVisible()) {
            m_topBars.emplace_back(bar);
            bar->hide();
        }
    }
    auto* status = m_window.findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly);
    m_statusBar = status && status->isVisible() ? status : nullptr;
    if (m_statusBar)
        m_statusBar->hide();

    QScreen* screen = m_window.screen();
    m_window.showFullScreen();
    // Without a window manager nobody else sizes the window. (The widget's
    // own setGeometry would take the full-screen state away again.)
    if (screen && m_window.windowHandle())
        m_window.windowHandle()->setGeometry(screen->geometry());
    m_bOn = true;
    m_bRevealed = false;
    m_poll.start();
}

void CFullScreen::Leave()
{
    if (!m_bOn)
        return;
    m_poll.stop();
    m_bOn = false;
    RestoreBars();
    m_window.setWindowState(m_window.windowState() & ~(Qt::WindowFullScreen | Qt::WindowMaximized));
    m_window.setGeometry(m_normal);
    if (m_bWasMaximized)
        m_window.setWindowState(m_window.windowState() | Qt::WindowMaximized);
}

void CFullScreen::RestoreBars()
{
    m_poll.stop();
    ShowTopBars(true);
    m_topBars.clear();
    if (m_statusBar)
        m_statusBar->show();
    m_statusBar = nullptr;
    m_bRevealed = false;
}

void CFullScreen::ShowTopBars(bool show)
{
    for (const QPointer<QWidget>& bar : m_topBars)
        if (bar)
            bar->setVisible(show);
}

void CFullScreen::OnPoll()
{
    if (!m_window.isVisible())
        return;
    const QPoint pointer = QCursor::pos();
    const QRect frame = m_window.geometry();
    if (!m_bRevealed) {
        if (pointer.y() <= frame.top() + 1 && pointer.x() >= frame.left() && pointer.x() <= frame.right()) {
            ShowTopBars(true);
            m_bRevealed = true;
        }
        return;
    }
    int bottom = frame.top();
    for (const QPointer<QWidget>& bar : m_topBars)
        if (bar && bar->isVisible())
            bottom = std::max(bottom, bar->mapToGlobal(QPoint(0, bar->height())).y());
    if (pointer.y() > bottom + kRevealMargin && !QApplication::activePopupWidget()) {
        ShowTopBars(false);
        m_bRevealed = false;
    }
}

} // namespace nimbra
