#include "widgets/bars/CoolBar.h"

#include "widgets/bars/AddressBar.h"
#include "widgets/bars/BandChild.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

namespace nimbra {

// The widget of one band: the gripper, and the child clipped to the band.
class CBandFrame : public QWidget {
public:
    CBandFrame(CCoolBar* bar, int id) : QWidget(bar), m_pBar(bar), m_nId(id)
    {
        m_pGrip = new QWidget(this);
        m_pGrip->setCursor(Qt::SizeAllCursor);
        m_pGrip->installEventFilter(this);
    }
    void SetGripHeight(int height) { m_pGrip->setGeometry(0, 0, CCoolBar::kGripWidth, height); }

protected:
    bool event(QEvent* event) override
    {
        // The child's size hint changed.
        if (event->type() == QEvent::LayoutRequest)
            m_pBar->Relayout();
        return QWidget::event(event);
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_pGrip)
            return false;
        switch (event->type()) {
        case QEvent::Paint: {
            QPainter painter(m_pGrip);
            QStyleOption option;
            option.initFrom(m_pGrip);
            option.rect = m_pGrip->rect().adjusted(1, 2, -1, -2);
            option.state |= QStyle::State_Horizontal;
            style()->drawPrimitive(QStyle::PE_IndicatorToolBarHandle, &option, &painter, m_pGrip);
            return true;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            // Other buttons pass on (a right click opens the bar's menu).
            if (!((mouse->buttons() | mouse->button()) & Qt::LeftButton))
                return false;
            const QPoint at = m_pBar->mapFromGlobal(mouse->globalPosition().toPoint());
            if (event->type() == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton)
                m_pBar->BeginDrag(m_nId, at);
            else if (event->type() == QEvent::MouseMove && (mouse->buttons() & Qt::LeftButton))
                m_pBar->DragTo(at);
            else if (event->type() == QEvent::MouseButtonRelease)
                m_pBar->m_nDragId = -1;
            return true;
        }
        default:
            return false;
        }
    }

private:
    CCoolBar* m_pBar;
    int m_nId;
    QWidget* m_pGrip;
};

namespace {

// Where a toolbar or a menu bar shows an action, in its coordinates.
QRect ActionRect(QWidget* child, QAction* action)
{
    if (auto* menuBar = qobject_cast<QMenuBar*>(child))
        return menuBar->actionGeometry(action);
    if (auto* toolBar = qobject_cast<QToolBar*>(child))
        return toolBar->actionGeometry(action);
    return {};
}

} // namespace

CCoolBar::CCoolBar(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

CCoolBar::~CCoolBar()
{
    for (SEntry& band : m_bands)
        if (band.child)
            band.child->removeEventFilter(this);
}

bool CCoolBar::InsertBand(QWidget* child, int minWidth, int minHeight, int width, int idealWidth, bool breakBefore,
                          bool chevron, int id)
{
    if (!child || IdToIndex(id) >= 0)
        return false;
    auto* frame = new CBandFrame(this, id);
    const bool hidden = child->isHidden() && child->testAttribute(Qt::WA_WState_ExplicitShowHide);
    child->setParent(frame);
    if (!hidden)
        child->show();
    child->installEventFilter(this);
    auto* chevronButton = new QToolButton(frame);
    chevronButton->setAutoRaise(true);
    chevronButton->setText(QStringLiteral("»"));
    chevronButton->hide();
    connect(chevronButton, &QToolButton::clicked, this, [this, id] { PushChevron(id); });
    m_bands.push_back({id, child, frame, chevronButton, breakBefore ? kBandBreak : 0, 0, std::max(minWidth, 0),
                       std::max(minHeight, 0), std::max(idealWidth, 0), chevron});
    // The child's size is set again once the band exists; with the chevron
    // the band starts at its least width.
    SetBandWidth(id, chevron ? 0 : width);
    return true;
}

int CCoolBar::IdToIndex(int id) const
{
    const auto it = std::find_if(m_bands.begin(), m_bands.end(), [id](const SEntry& b) { return b.id == id; });
    return it == m_bands.end() ? -1 : int(it - m_bands.begin());
}

QWidget* CCoolBar::BandChild(int id) const
{
    const int index = IdToIndex(id);
    return index < 0 ? nullptr : m_bands[size_t(index)].child.data();
}

bool CCoolBar::IsHiddenChild(const SEntry& band) const
{
    // Hidden on purpose, not merely because the window is not shown yet.
    return !band.child || (band.child->isHidden() && band.child->testAttribute(Qt::WA_WState_ExplicitShowHide));
}

int CCoolBar::BandStyle(int id) const
{
    const int index = IdToIndex(id);
    if (index < 0)
        return 0;
    const SEntry& band = m_bands[size_t(index)];
    return (band.style & ~kBandHidden) | (IsHiddenChild(band) ? kBandHidden : 0);
}

void CCoolBar::SetBandStyle(int id, int style)
{
    const int index = IdToIndex(id);
    if (index < 0)
        return;
    SEntry& band = m_bands[size_t(index)];
    band.style = style & ~kBandHidden;
    if (band.child && IsHiddenChild(band) != bool(style & kBandHidden))
        band.child->setVisible(!(style & kBandHidden)); // lays out again
    Relayout();
}

int CCoolBar::BandWidth(int id) const
{
    const int index = IdToIndex(id);
    return index < 0 ? 0 : m_bands[size_t(index)].width;
}

void CCoolBar::SetBandWidth(int id, int width)
{
    const int index = IdToIndex(id);
    if (index < 0)
        return;
    m_bands[size_t(index)].width = std::max(width, 0);
    Relayout();
}

void CCoolBar::SetBandMinHeight(int id, int height)
{
    const int index = IdToIndex(id);
    if (index < 0)
        return;
    m_bands[size_t(index)].minHeight = std::max(height, 0);
    Relayout();
}

void CCoolBar::MoveBand(int from, int to)
{
    if (from < 0 || from >= BandCount() || to < 0 || to >= BandCount() || from == to)
        return;
    const SEntry band = m_bands[size_t(from)];
    m_bands.erase(m_bands.begin() + from);
    m_bands.insert(m_bands.begin() + to, band);
    Relayout();
}

bool CCoolBar::IsBandVisible(int id) const
{
    const int index = IdToIndex(id);
    return index >= 0 && !IsHiddenChild(m_bands[size_t(index)]);
}

void CCoolBar::ShowBand(int id, bool show)
{
    if (QWidget* child = BandChild(id))
        child->setVisible(show);
}

QRect CCoolBar::BandRect(int id) const
{
    const int index = IdToIndex(id);
    if (index < 0 || IsHiddenChild(m_bands[size_t(index)]))
        return {};
    return m_bands[size_t(index)].frame->geometry();
}

QRect CCoolBar::ChevronRect(int id) const
{
    const int index = IdToIndex(id);
    if (index < 0)
        return {};
    const QToolButton* chevron = m_bands[size_t(index)].chevron;
    if (chevron->isHidden() || IsHiddenChild(m_bands[size_t(index)]))
        return {};
    return QRect(chevron->mapToGlobal(QPoint(0, 0)), chevron->size());
}

std::vector<std::vector<size_t>> CCoolBar::Rows() const
{
    std::vector<std::vector<size_t>> rows;
    for (size_t i = 0; i < m_bands.size(); ++i) {
        if (IsHiddenChild(m_bands[i]))
            continue;
        if (rows.empty() || (m_bands[i].style & kBandBreak))
            rows.emplace_back();
        rows.back().push_back(i);
    }
    return rows;
}

int CCoolBar::ChildHeight(const SEntry& band) const
{
    return std::max(band.minHeight, band.child ? band.child->sizeHint().height() : 0);
}

int CCoolBar::WantedWidth(const SEntry& band) const
{
    if (band.idealWidth > 0)
        return band.idealWidth;
    return band.child ? band.child->sizeHint().width() : 0;
}

int CCoolBar::LeastWidth(const SEntry& band) const
{
    return kGripWidth + band.minWidth + (band.useChevron ? kChevronWidth : 0);
}

void CCoolBar::Relayout()
{
    if (m_bInLayout)
        return;
    m_bInLayout = true;
    for (SEntry& band : m_bands)
        if (IsHiddenChild(band))
            band.frame->hide();
    int y = 0;
    for (const std::vector<size_t>& row : Rows()) {
        if (y > 0)
            y += kRowGap;
        int height = 0;
        for (size_t i : row)
            height = std::max(height, ChildHeight(m_bands[i]));
        // Each band keeps its width, the last takes the rest; when the row
        // is too narrow, bands give way from the right down to their least.
        std::vector<int> widths;
        for (size_t i : row)
            widths.push_back(std::max(m_bands[i].width, LeastWidth(m_bands[i])));
        int rest = width();
        for (size_t k = 0; k + 1 < row.size(); ++k)
            rest -= widths[k];
        for (size_t k = row.size() - 1; k > 0 && rest < LeastWidth(m_bands[row.back()]); --k) {
            const int give = std::min(widths[k - 1] - LeastWidth(m_bands[row[k - 1]]),
                                      LeastWidth(m_bands[row.back()]) - rest);
            widths[k - 1] -= give;
            rest += give;
        }
        widths.back() = std::max(rest, LeastWidth(m_bands[row.back()]));
        int x = 0;
        for (size_t k = 0; k < row.size(); ++k) {
            LayoutBand(m_bands[row[k]], QRect(x, y, widths[k], height));
            x += widths[k];
        }
        y += height;
    }
    m_bInLayout = false;
    update();
    if (y != m_nHeight) {
        m_nHeight = y;
        updateGeometry();
        Q_EMIT HeightChanged(y);
    }
}

void CCoolBar::LayoutBand(SEntry& band, const QRect& rect)
{
    band.frame->setGeometry(rect);
    band.frame->SetGripHeight(rect.height());
    band.frame->show();
    const int wanted = WantedWidth(band);
    int area = rect.width() - kGripWidth;
    const bool chevron = band.useChevron && area < wanted;
    if (chevron)
        area -= kChevronWidth;
    band.chevron->setVisible(chevron);
    band.chevron->setGeometry(rect.width() - kChevronWidth, 0, kChevronWidth, rect.height());
    band.chevron->raise();
    if (!band.child)
        return;
    // A child that cannot list its hidden items keeps its full width and
    // is clipped; the band's chevron lists them.
    const bool clipped = band.useChevron && !dynamic_cast<IBandChild*>(band.child.data());
    const int width = clipped ? std::max(area, wanted) : std::max(area, 0);
    const int height = std::min(ChildHeight(band), rect.height());
    band.child->setGeometry(kGripWidth, (rect.height() - height) / 2, width, height);
}

void CCoolBar::PushChevron(int id)
{
    const int index = IdToIndex(id);
    const QRect chevron = ChevronRect(id);
    if (index < 0 || chevron.isEmpty())
        return;
    const SEntry& band = m_bands[size_t(index)];
    if (auto* child = dynamic_cast<IBandChild*>(band.child.data()))
        child->ShowHiddenItems(chevron);
    else
        ShowHiddenActions(band);
}

void CCoolBar::ShowHiddenActions(const SEntry& band)
{
    const int visible = band.chevron->x() - kGripWidth;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (QAction* action : band.child->actions()) {
        const QRect rect = ActionRect(band.child, action);
        if (action->isVisible() && !rect.isEmpty() && rect.right() >= visible)
            menu->addAction(action);
    }
    if (menu->isEmpty()) {
        delete menu;
        return;
    }
    const QRect chevron = ChevronRect(band.id);
    menu->popup(chevron.bottomLeft() + QPoint(0, 1));
}

void CCoolBar::BeginDrag(int id, QPoint at)
{
    m_nDragId = id;
    m_nDragOffset = at.x() - BandRect(id).left();
}

void CCoolBar::DragTo(QPoint at)
{
    const int index = IdToIndex(m_nDragId);
    if (index < 0)
        return;
    const std::vector<std::vector<size_t>> rows = Rows();
    int rowOf = -1;
    size_t pos = 0;
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t k = 0; k < rows[r].size(); ++k)
            if (rows[r][k] == size_t(index))
                rowOf = int(r), pos = k;
    if (rowOf < 0)
        return;
    // The row under the pointer; -1 above the bar, rows.size() below it.
    int target = at.y() < 0 ? -1 : int(rows.size());
    for (size_t r = 0; r < rows.size(); ++r) {
        const QRect rect = m_bands[rows[r].front()].frame->geometry();
        if (at.y() >= rect.top() - kRowGap && at.y() <= rect.bottom())
            target = int(r);
    }
    const std::vector<size_t>& row = rows[size_t(rowOf)];
    const bool alone = row.size() == 1;
    if (target == rowOf) {
        // Past the left end of the band before it, or the middle of the
        // band after it, the band changes places; else it resizes.
        const bool pastPrevious = pos > 0 && at.x() - m_nDragOffset < m_bands[row[pos - 1]].frame->x();
        const bool pastNext = pos + 1 < row.size() && at.x() > m_bands[row[pos + 1]].frame->geometry().center().x();
        if (pastPrevious || pastNext)
            MoveToRow(size_t(index), rowOf, at);
        else
            ResizeInRow(row, pos, at.x() - m_nDragOffset);
    } else if (!(alone && target == -1 && rowOf == 0) && !(alone && target == int(rows.size()) && rowOf + 1 == target))
        MoveToRow(size_t(index), target, at);
}

void CCoolBar::ResizeInRow(const std::vector<size_t>& row, size_t pos, int left)
{
    // The first band of a row has nothing to its left to resize.
    if (pos == 0)
        return;
    SEntry& before = m_bands[row[pos - 1]];
    SEntry& band = m_bands[row[pos]];
    const int start = before.frame->x();
    const int right = band.frame->geometry().right() + 1;
    const int newLeft = std::clamp(left, start + LeastWidth(before), std::max(start + LeastWidth(before), right - LeastWidth(band)));
    before.width = newLeft - start;
    band.width = right - newLeft;
    Relayout();
}

void CCoolBar::MoveToRow(size_t index, int row, QPoint at)
{
    const std::vector<std::vector<size_t>> rows = Rows();
    // The band after it in its old row starts that row now.
    for (const std::vector<size_t>& r : rows)
        if (r.size() > 1 && r.front() == index)
            m_bands[r[1]].style |= kBandBreak;
    int to;
    bool startsRow = true;
    int displaced = -1; // the band that no longer starts its row
    if (row < 0) {
        to = 0;
        if (!rows.empty())
            m_bands[rows.front().front()].style |= kBandBreak;
    } else if (row >= int(rows.size())) {
        to = BandCount() - 1;
    } else {
        const std::vector<size_t>& r = rows[size_t(row)];
        auto before = std::find_if(r.begin(), r.end(), [&](size_t i) {
            return i != index && m_bands[i].frame->geometry().center().x() > at.x();
        });
        // The band lands where it was let go: the band before it ends there.
        if (before != r.begin()) {
            SEntry& previous = m_bands[*(before - 1)];
            previous.width = std::max(at.x() - m_nDragOffset - previous.frame->x(), LeastWidth(previous));
        }
        if (before == r.end()) {
            startsRow = false;
            to = int(r.back()) + (int(r.back()) < int(index) ? 1 : 0);
        } else {
            startsRow = before == r.begin();
            if (startsRow)
                displaced = m_bands[*before].id;
            to = int(*before) - (int(*before) > int(index) ? 1 : 0);
        }
    }
    SEntry& band = m_bands[index];
    band.style = startsRow ? (band.style | kBandBreak) : (band.style & ~kBandBreak);
    if (displaced >= 0)
        m_bands[size_t(IdToIndex(displaced))].style &= ~kBandBreak;
    m_bInLayout = true;
    CCoolBar::MoveBand(int(index), std::clamp(to, 0, BandCount() - 1));
    m_bInLayout = false;
    Relayout();
}

QSize CCoolBar::sizeHint() const
{
    int width = 0;
    for (const std::vector<size_t>& row : Rows()) {
        int w = 0;
        for (size_t i : row)
            w += LeastWidth(m_bands[i]);
        width = std::max(width, w);
    }
    return {width, m_nHeight};
}

QSize CCoolBar::minimumSizeHint() const
{
    return {0, m_nHeight};
}

void CCoolBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Relayout();
}

void CCoolBar::paintEvent(QPaintEvent*)
{
    // Band borders: an etched line between rows and before each band.
    QPainter painter(this);
    const QPalette& pal = palette();
    for (const std::vector<size_t>& row : Rows()) {
        for (size_t i : row) {
            const QRect rect = m_bands[i].frame->geometry();
            if (rect.left() > 0) {
                painter.setPen(pal.color(QPalette::Mid));
                painter.drawLine(rect.left() - 2, rect.top(), rect.left() - 2, rect.bottom());
                painter.setPen(pal.color(QPalette::Light));
                painter.drawLine(rect.left() - 1, rect.top(), rect.left() - 1, rect.bottom());
            }
        }
        const int top = m_bands[row.front()].frame->geometry().top();
        if (top > 0) {
            painter.setPen(pal.color(QPalette::Mid));
            painter.drawLine(0, top - 2, width(), top - 2);
            painter.setPen(pal.color(QPalette::Light));
            painter.drawLine(0, top - 1, width(), top - 1);
        }
    }
}

bool CCoolBar::eventFilter(QObject* watched, QEvent* event)
{
    // A child shown or hidden by its own command shows or hides its band.
    if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)
        Relayout();
    return QWidget::eventFilter(watched, event);
}

CNimbraCoolBar::CNimbraCoolBar(QWidget* parent) : CCoolBar(parent)
{
    setObjectName(QStringLiteral("ReBar"));
}

CNimbraCoolBar::~CNimbraCoolBar() = default;

void CNimbraCoolBar::SetContextMenu(QMenu* menu)
{
    m_pContextMenu = menu;
}

std::optional<SBand> CNimbraCoolBar::GetBand(int id) const
{
    const int index = IdToIndex(id);
    if (index < 0)
        return std::nullopt;
    return SBand{BandStyle(id), index, BandWidth(id)};
}

void CNimbraCoolBar::SetBand(int id, int style, int width)
{
    SetBandStyle(id, style);
    SetBandWidth(id, width);
}

void CNimbraCoolBar::MoveBand(int id, int index)
{
    CCoolBar::MoveBand(IdToIndex(id), index);
}

bool CNimbraCoolBar::IsMoveButtonVisible() const
{
    const auto* bar = qobject_cast<const CAddressBar*>(BandChild(kBandAddressBar));
    return bar && bar->IsGoButtonVisible();
}

void CNimbraCoolBar::ShowMoveButton(bool show)
{
    if (auto* bar = qobject_cast<CAddressBar*>(BandChild(kBandAddressBar)))
        bar->SetGoButtonVisible(show);
}

void CNimbraCoolBar::contextMenuEvent(QContextMenuEvent* event)
{
    if (m_pContextMenu)
        m_pContextMenu->popup(event->globalPos());
    event->accept();
}

} // namespace nimbra
