#include "frame/ToolBarBands.h"

#include "bars/AddressBar.h"
#include "frame/MainFrame.h"

#include <QToolBar>
#include <algorithm>

namespace nimbra {

namespace {

// Hidden on purpose, not merely because the frame is not shown yet.
bool IsHiddenBar(const QWidget* bar)
{
    return bar->isHidden() && bar->testAttribute(Qt::WA_WState_ExplicitShowHide);
}

} // namespace

CToolBarBands::CToolBarBands(CMainFrame& frame) : m_frame(frame) {}

void CToolBarBands::AddBand(int id, QWidget* bar)
{
    const bool menu = !qobject_cast<QToolBar*>(bar);
    if (auto* toolBar = qobject_cast<QToolBar*>(bar))
        toolBar->setMovable(false);
    m_bands.push_back({id, bar, menu ? 0 : kBandBreak, 0});
    Relayout();
}

int CToolBarBands::IndexOf(const QWidget* bar) const
{
    const auto it = std::find_if(m_bands.begin(), m_bands.end(), [bar](const SEntry& b) { return b.bar == bar; });
    return it == m_bands.end() ? -1 : int(it - m_bands.begin());
}

int CToolBarBands::IndexOf(int id) const
{
    const auto it = std::find_if(m_bands.begin(), m_bands.end(), [id](const SEntry& b) { return b.id == id; });
    return it == m_bands.end() ? -1 : int(it - m_bands.begin());
}

bool CToolBarBands::IsBandVisible(int id) const
{
    const int index = IndexOf(id);
    return index >= 0 && !IsHiddenBar(m_bands[size_t(index)].bar);
}

void CToolBarBands::ShowBand(int id, bool show)
{
    const int index = IndexOf(id);
    if (index >= 0)
        m_bands[size_t(index)].bar->setVisible(show);
}

int CToolBarBands::Style(const SEntry& band) const
{
    // The menu bar is never hidden here: nothing could bring it back.
    if (!qobject_cast<QToolBar*>(band.bar))
        return band.style;
    return (band.style & ~kBandHidden) | (IsHiddenBar(band.bar) ? kBandHidden : 0);
}

int CToolBarBands::BandCount() const
{
    return int(m_bands.size());
}

int CToolBarBands::RowCount() const
{
    int rows = 0;
    for (const SEntry& band : m_bands) {
        const int style = Style(band);
        if (!(style & kBandHidden) && (rows == 0 || (style & kBandBreak)))
            ++rows;
    }
    return rows;
}

std::optional<SBand> CToolBarBands::GetBand(int id) const
{
    const int index = IndexOf(id);
    if (index < 0)
        return std::nullopt;
    const SEntry& band = m_bands[size_t(index)];
    return SBand{Style(band), index, band.width};
}

void CToolBarBands::SetBand(int id, int style, int width)
{
    const int index = IndexOf(id);
    if (index < 0)
        return;
    SEntry& band = m_bands[size_t(index)];
    band.style = style;
    band.width = width;
    Relayout();
    if (qobject_cast<QToolBar*>(band.bar))
        band.bar->setVisible(!(style & kBandHidden));
}

void CToolBarBands::MoveBand(int id, int index)
{
    const int from = IndexOf(id);
    const bool menuFirst = !m_bands.empty() && !qobject_cast<QToolBar*>(m_bands.front().bar);
    if (from < 0 || (menuFirst && from == 0))
        return;
    const int to = std::clamp(index, menuFirst ? 1 : 0, BandCount() - 1);
    const SEntry band = m_bands[size_t(from)];
    m_bands.erase(m_bands.begin() + from);
    m_bands.insert(m_bands.begin() + to, band);
    Relayout();
}

bool CToolBarBands::IsMoveButtonVisible() const
{
    const CAddressBar* bar = CAddressBar::Of(m_frame);
    return bar && bar->IsGoButtonVisible();
}

void CToolBarBands::ShowMoveButton(bool show)
{
    if (CAddressBar* bar = CAddressBar::Of(m_frame))
        bar->SetGoButtonVisible(show);
}

void CToolBarBands::Relayout()
{
    std::vector<bool> hidden;
    for (const SEntry& band : m_bands) {
        hidden.push_back(IsHiddenBar(band.bar));
        if (auto* toolBar = qobject_cast<QToolBar*>(band.bar))
            m_frame.removeToolBar(toolBar);
    }
    // A docking toolbar at the top keeps a row of its own.
    bool first = true;
    for (QToolBar* other : m_frame.findChildren<QToolBar*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (IndexOf(other) < 0 && m_frame.toolBarArea(other) == Qt::TopToolBarArea && !other->isFloating())
            first = false;
    }
    for (size_t i = 0; i < m_bands.size(); ++i) {
        auto* toolBar = qobject_cast<QToolBar*>(m_bands[i].bar);
        if (!toolBar)
            continue;
        if (!first && (m_bands[i].style & kBandBreak))
            m_frame.addToolBarBreak(Qt::TopToolBarArea);
        m_frame.addToolBar(Qt::TopToolBarArea, toolBar);
        toolBar->setVisible(!hidden[i]);
        first = false;
    }
}

} // namespace nimbra
