#pragma once

#include "frame/BarLayout.h"

#include <vector>

class QWidget;

namespace nimbra {

class CMainFrame;

// The bands on the frame's top toolbar area, until the frame has a rebar of
// its own. The menu bar is the first band and stays first; every other band
// is a toolbar, each row starting at a band with the break bit. Bands move
// only through the bar layout (they have no grip), and their widths are
// kept as read, for the rebar to use.
class CToolBarBands : public IBandHost {
public:
    explicit CToolBarBands(CMainFrame& frame);

    // Appends a band: the frame's menu bar, or a toolbar.
    void AddBand(int id, QWidget* bar);
    bool IsBandVisible(int id) const;
    void ShowBand(int id, bool show);

    int BandCount() const override;
    int RowCount() const override;
    std::optional<SBand> GetBand(int id) const override;
    void SetBand(int id, int style, int width) override;
    void MoveBand(int id, int index) override;
    bool IsMoveButtonVisible() const override;
    void ShowMoveButton(bool show) override;

private:
    struct SEntry {
        int id;
        QWidget* bar;
        int style;
        int width;
    };
    int IndexOf(int id) const;
    int IndexOf(const QWidget* bar) const;
    int Style(const SEntry& band) const;
    // Puts the toolbars into the area again, in band order.
    void Relayout();

    CMainFrame& m_frame;
    std::vector<SEntry> m_bands;
};

} // namespace nimbra
