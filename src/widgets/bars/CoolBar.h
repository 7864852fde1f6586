#pragma once

#include "widgets/bars/BarLayout.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

class QMenu;
class QToolButton;

namespace nimbra {

class CBandFrame;
class CMenuBarKeys;

// A rebar: bands in rows, each band a gripper (dragged to resize the band or
// to move it to another row), its child, and, with the chevron style, a
// chevron while the child is wider than the band. A band child that is an
// IBandChild lists its hidden items itself; for any other child the band
// keeps it at its full width, clips it and lists its hidden actions.
class CCoolBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kGripWidth = 9;
    static constexpr int kChevronWidth = 14;
    static constexpr int kRowGap = 2; // the border between two rows

    explicit CCoolBar(QWidget* parent = nullptr);
    ~CCoolBar() override;

    // Appends a band. `width` is the whole band (gripper included), 0 for
    // the least; `idealWidth` the child's full width, 0 for its size hint.
    // False when the id is taken or there is no child.
    bool InsertBand(QWidget* child, int minWidth, int minHeight, int width, int idealWidth, bool breakBefore,
                    bool chevron, int id);

    int BandCount() const { return int(m_bands.size()); }
    int RowCount() const { return int(Rows().size()); }
    int IdToIndex(int id) const;
    QWidget* BandChild(int id) const;
    // The style word; its hidden bit follows the child.
    int BandStyle(int id) const;
    // Sets the style word: the break bit starts a row, the hidden bit hides
    // the child; the other bits are kept.
    void SetBandStyle(int id, int style);
    int BandWidth(int id) const;
    void SetBandWidth(int id, int width);
    void SetBandMinHeight(int id, int height);
    // Moves the band at `from` to `to`; the bands in between shift by one.
    void MoveBand(int from, int to);
    bool IsBandVisible(int id) const;
    void ShowBand(int id, bool show);
    // In this bar's coordinates; empty while the band is hidden.
    QRect BandRect(int id) const;
    // In global coordinates; empty while no chevron shows.
    QRect ChevronRect(int id) const;
    // What the band's chevron does: the child lists what it cannot show.
    void PushChevron(int id);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    // The bar's height changed; the frame lays itself out again.
    void HeightChanged(int height);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class CBandFrame;
    struct SEntry {
        int id;
        QPointer<QWidget> child;
        CBandFrame* frame;
        QToolButton* chevron;
        int style;
        int width;
        int minWidth;
        int minHeight;
        int idealWidth;
        bool useChevron;
    };

    // Visible bands by row, as indices into m_bands.
    std::vector<std::vector<size_t>> Rows() const;
    bool IsHiddenChild(const SEntry& band) const;
    int ChildHeight(const SEntry& band) const;
    int WantedWidth(const SEntry& band) const;
    int LeastWidth(const SEntry& band) const;
    void Relayout();
    void LayoutBand(SEntry& band, const QRect& rect);
    void ShowHiddenActions(const SEntry& band);

    // Gripper drags, in this bar's coordinates.
    void BeginDrag(int id, QPoint at);
    void DragTo(QPoint at);
    void ResizeInRow(const std::vector<size_t>& row, size_t pos, int left);
    void MoveToRow(size_t index, int row, QPoint at);

    std::vector<SEntry> m_bands;
    int m_nHeight = 0;
    bool m_bInLayout = false;
    int m_nDragId = -1;
    int m_nDragOffset = 0;
};

// The frame's rebar: it is the frame's menu widget, holds the bands of the
// bar layout file and shows the bar context menu on a right click. The move
// button is the go button of the address bar in band kBandAddressBar.
class CNimbraCoolBar : public CCoolBar, public IBandHost {
    Q_OBJECT
public:
    explicit CNimbraCoolBar(QWidget* parent);
    ~CNimbraCoolBar() override;

    // The popup shown by a right click on the bar or its bands.
    void SetContextMenu(QMenu* menu);

    int BandCount() const override { return CCoolBar::BandCount(); }
    int RowCount() const override { return CCoolBar::RowCount(); }
    std::optional<SBand> GetBand(int id) const override;
    void SetBand(int id, int style, int width) override;
    void MoveBand(int id, int index) override;
    bool IsMoveButtonVisible() const override;
    void ShowMoveButton(bool show) override;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QPointer<QMenu> m_pContextMenu;
};

} // namespace nimbra
