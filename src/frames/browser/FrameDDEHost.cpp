#include "frames/browser/FrameDDEHost.h"

#include "widgets/bars/AddressCombo.h"
#include "frames/browser/ViewManager.h"
#include "frames/browser/MainFrame.h"
#include "frames/browser/WindowCommands.h"
#include "widgets/view/NimbraView.h"

#include <QTimer>

namespace nimbra {

namespace {
SDDEPage PageOf(const CNimbraView* view)
{
    return {view->GetLocationURL(), view->GetLocationName()};
}
} // namespace

int CFrameDDEHost::TabCount() const
{
    return m_frame.ViewManager()->GetItemCount();
}

std::optional<SDDEPage> CFrameDDEHost::TabPage(int index) const
{
    const CNimbraView* view = m_frame.ViewManager()->ViewAt(index);
    if (!view)
        return std::nullopt;
    return PageOf(view);
}

std::optional<SDDEPage> CFrameDDEHost::ActivePage() const
{
    const CNimbraView* view = m_frame.ActiveView();
    if (!view)
        return std::nullopt;
    return PageOf(view);
}

void CFrameDDEHost::Go(const std::string& text, int addToHistory, int newTab, int touchHistory, int notifyFrame)
{
    m_frame.AddressCombo()->Go(text, addToHistory, newTab, touchHistory, notifyFrame);
}

bool CFrameDDEHost::IsHiddenInTray() const
{
    return m_frame.Window() && m_frame.Window()->IsInTray();
}

void CFrameDDEHost::PostRestoreFromTray()
{
    QTimer::singleShot(0, &m_frame, [this] {
        if (IsHiddenInTray())
            m_frame.Window()->ToggleTray();
    });
}

void CFrameDDEHost::RestoreMainWindow()
{
    if (m_frame.isMinimized() || !m_frame.isVisible())
        m_frame.showNormal();
    m_frame.raise();
    m_frame.activateWindow();
}

void CFrameDDEHost::PostClose()
{
    QTimer::singleShot(0, &m_frame, &QWidget::close);
}

} // namespace nimbra
