#include "widgets/bars/TabBarCtrl.h"

#include "platform/ImageStrip.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "widgets/view/NimbraView.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHelpEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QToolTip>
#include <qdrawutil.h>
#include <algorithm>

namespace nimbra {

namespace {

// ti.bmp: six 8 x 8 images.
constexpr int kTabImageCount = 6;
constexpr int kTabImageSize = 8;
constexpr int kIconGap = 4;
constexpr int kTextPadding = 6;
constexpr int kScrollButtonWidth = 16;

QFont MakeFont(const QFont& base, int weight, bool italic, bool underline)
{
    QFont font = base;
    font.setWeight(weight >= 700 ? QFont::Bold : QFont::Normal);
    font.setItalic(italic);
    font.setUnderline(underline);
    return font;
}

} // namespace

CTabBarCtrl::CTabBarCtrl(DocumentTitle documentTitle, QWidget* parent)
    : QWidget(parent), m_documentTitle(std::move(documentTitle))
{
    setObjectName(QStringLiteral("TabBarCtrl"));
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setAcceptDrops(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_selText = m_unselText = palette().color(QPalette::ButtonText);
    m_selBack = m_unselBack = palette().color(QPalette::Button);
    m_selFont = m_unselFont = font();
    for (QToolButton** button : {&m_pScrollLeft, &m_pScrollRight}) {
        *button = new QToolButton(this);
        (*button)->setAutoRepeat(true);
        (*button)->setFocusPolicy(Qt::NoFocus);
        (*button)->hide();
    }
    m_pScrollLeft->setArrowType(Qt::LeftArrow);
    m_pScrollRight->setArrowType(Qt::RightArrow);
    connect(m_pScrollLeft, &QToolButton::clicked, this, [this] { Scroll(-1); });
    connect(m_pScrollRight, &QToolButton::clicked, this, [this] { Scroll(1); });
    m_images = LoadTabImages();
}

std::vector<QPixmap> CTabBarCtrl::LoadTabImages()
{
    return LoadImageStrip(ResourceFile("ti.bmp"), QStringLiteral(":/ti.bmp"), kTabImageCount, kTabImageSize);
}

void CTabBarCtrl::SetImages(std::vector<QPixmap> images)
{
    m_images = std::move(images);
    MeasureAll();
}

QPixmap CTabBarCtrl::Image(int index) const
{
    if (index < 0 || index >= int(m_images.size()))
        return {};
    return m_images[size_t(index)];
}

int CTabBarCtrl::MeasureWidth(const SItem& item) const
{
    if (m_bFixedWidth)
        return m_nFixedWidth;
    const QFont& measure = m_selFont.weight() >= m_unselFont.weight() ? m_selFont : m_unselFont;
    int width = kIconGap + QFontMetrics(measure).horizontalAdvance(item.text) + kTextPadding;
    const QPixmap icon = Image(item.image);
    if (!icon.isNull())
        width += icon.width() + kIconGap;
    return std::max(kMinTabWidth, width);
}

void CTabBarCtrl::MeasureAll()
{
    for (SItem& item : m_items)
        item.width = MeasureWidth(item);
    Changed(true);
}

void CTabBarCtrl::Changed(bool sizes)
{
    if (sizes) {
        m_bLayoutDirty = true;
        if (m_bMultiLine) {
            const int rows = m_nRows;
            if (RowCount() != rows) {
                updateGeometry();
                Q_EMIT RowsChanged();
            }
        }
    }
    update();
}

int CTabBarCtrl::InsertItem(int index, const QString& text, CNimbraView* view)
{
    index = std::clamp(index, 0, Count());
    SItem item;
    item.text = text;
    item.view = view;
    item.width = MeasureWidth(item);
    m_items.insert(m_items.begin() + index, std::move(item));
    if (m_nCurrent >= index)
        ++m_nCurrent;
    if (m_nFirstVisible > index)
        ++m_nFirstVisible;
    Changed(true);
    return index;
}

void CTabBarCtrl::RemoveItem(int index)
{
    if (index < 0 || index >= Count())
        return;
    m_items.erase(m_items.begin() + index);
    if (m_nCurrent == index)
        m_nCurrent = -1;
    else if (m_nCurrent > index)
        --m_nCurrent;
    if (m_nFirstVisible > index)
        --m_nFirstVisible;
    if (m_nDragSource == index)
        EndDrag();
    else if (m_nDragSource > index)
        --m_nDragSource;
    Changed(true);
}

void CTabBarCtrl::SetItemText(int index, const QString& text)
{
    if (index < 0 || index >= Count() || m_items[size_t(index)].text == text)
        return;
    SItem& item = m_items[size_t(index)];
    item.text = text;
    Remeasure(item);
}

QString CTabBarCtrl::ItemText(int index) const
{
    return index >= 0 && index < Count() ? m_items[size_t(index)].text : QString();
}

void CTabBarCtrl::SetItemImage(int index, int image)
{
    if (index < 0 || index >= Count())
        return;
    SItem& item = m_items[size_t(index)];
    item.image = image;
    Remeasure(item);
}

void CTabBarCtrl::Remeasure(SItem& item)
{
    const int width = MeasureWidth(item);
    const bool resized = width != item.width;
    item.width = width;
    Changed(resized);
}

int CTabBarCtrl::GetImage(int index) const
{
    return index >= 0 && index < Count() ? m_items[size_t(index)].image : -1;
}

CNimbraView* CTabBarCtrl::GetView(int index) const
{
    return index >= 0 && index < Count() ? m_items[size_t(index)].view.data() : nullptr;
}

void CTabBarCtrl::MoveTab(int from, int to)
{
    if (from < 0 || to < 0 || from >= Count() || to >= Count() || from == to)
        return;
    SItem& a = m_items[size_t(from)];
    SItem& b = m_items[size_t(to)];
    std::swap(a.text, b.text);
    std::swap(a.image, b.image);
    std::swap(a.view, b.view);
    std::swap(a.width, b.width);
    if (m_nCurrent == from)
        m_nCurrent = to;
    else if (m_nCurrent == to)
        m_nCurrent = from;
    Changed(true);
}

void CTabBarCtrl::SetCurrentIndex(int index)
{
    if (index < -1 || index >= Count() || index == m_nCurrent)
        return;
    m_nCurrent = index;
    if (index >= 0 && !m_bMultiLine) {
        // Scroll the item into view.
        const int avail = width() - 2 * kScrollButtonWidth;
        if (index < m_nFirstVisible) {
            m_nFirstVisible = index;
        } else {
            int span = 0;
            for (int i = m_nFirstVisible; i <= index; ++i)
                span += m_items[size_t(i)].width;
            while (span > avail && m_nFirstVisible < index)
                span -= m_items[size_t(m_nFirstVisible++)].width;
        }
        m_bLayoutDirty = true;
    }
    update();
}

void CTabBarCtrl::Scroll(int step)
{
    m_nFirstVisible = std::clamp(m_nFirstVisible + step, 0, std::max(0, Count() - 1));
    m_bLayoutDirty = true;
    update();
}

void CTabBarCtrl::SetColors(const QColor& selText, const QColor& unselText, const QColor& selBack,
                            const QColor& unselBack)
{
    m_selText = selText;
    m_unselText = unselText;
    m_selBack = selBack;
    m_unselBack = unselBack;
    update();
}

void CTabBarCtrl::SetFonts(int selWeight, bool selItalic, bool selUnderline, int unselWeight, bool unselItalic,
                           bool unselUnderline)
{
    // The base is the widget's font, which follows the system menu font.
    const QFont base = QApplication::font("QMenu");
    m_selFont = MakeFont(base, selWeight, selItalic, selUnderline);
    m_unselFont = MakeFont(base, unselWeight, unselItalic, unselUnderline);
    MeasureAll();
}

void CTabBarCtrl::SetTabMode(bool buttons, bool multiLine)
{
    m_bButtons = buttons;
    m_bMultiLine = multiLine;
    if (multiLine)
        m_nFirstVisible = 0;
    m_bLayoutDirty = true;
    updateGeometry();
    update();
}

void CTabBarCtrl::SetFixedWidth(bool on, int width)
{
    m_bFixedWidth = on;
    m_nFixedWidth = std::max(kMinTabWidth, width);
    MeasureAll();
}

void CTabBarCtrl::SetBottom(bool bottom)
{
    m_bBottom = bottom;
    m_bLayoutDirty = true;
    update();
}

int CTabBarCtrl::RowHeight() const
{
    return m_bButtons ? 24 : 23;
}

int CTabBarCtrl::RowCount() const
{
    Layout();
    return m_nRows;
}

QSize CTabBarCtrl::sizeHint() const
{
    const int rows = RowCount();
    int height;
    if (m_bButtons)
        height = rows == 1 ? 22 : RowHeight() * rows;
    else
        height = RowHeight() * rows + 1;
    return {200, height};
}

QSize CTabBarCtrl::minimumSizeHint() const
{
    return {kMinTabWidth, sizeHint().height()};
}

void CTabBarCtrl::Layout() const
{
    if (!m_bLayoutDirty)
        return;
    m_bLayoutDirty = false;
    auto* self = const_cast<CTabBarCtrl*>(this);
    const int top = m_bButtons || m_bBottom ? 0 : 2;
    if (m_bMultiLine) {
        int x = 0;
        int row = 0;
        for (SItem& item : self->m_items) {
            if (x > 0 && x + item.width > width()) {
                ++row;
                x = 0;
            }
            item.rect = QRect(x, top + row * RowHeight(), item.width, kItemHeight);
            x += item.width;
        }
        m_nRows = row + 1;
        m_bOverflow = false;
    } else {
        int total = 0;
        for (const SItem& item : m_items)
            total += item.width;
        m_bOverflow = total > width();
        if (!m_bOverflow)
            self->m_nFirstVisible = 0;
        self->m_nFirstVisible = std::clamp(m_nFirstVisible, 0, std::max(0, Count() - 1));
        int x = 0;
        for (int i = 0; i < m_nFirstVisible; ++i)
            x -= m_items[size_t(i)].width;
        for (SItem& item : self->m_items) {
            item.rect = QRect(x, top, item.width, kItemHeight);
            x += item.width;
        }
        m_nRows = 1;
    }
    const int h = std::min(height(), kItemHeight + 2);
    self->m_pScrollLeft->setGeometry(width() - 2 * kScrollButtonWidth, 0, kScrollButtonWidth, h);
    self->m_pScrollRight->setGeometry(width() - kScrollButtonWidth, 0, kScrollButtonWidth, h);
    self->m_pScrollLeft->setVisible(m_bOverflow);
    self->m_pScrollRight->setVisible(m_bOverflow);
}

int CTabBarCtrl::TabAt(const QPoint& pos) const
{
    Layout();
    if (m_bOverflow && pos.x() >= width() - 2 * kScrollButtonWidth)
        return -1;
    for (int i = m_bMultiLine ? 0 : m_nFirstVisible; i < Count(); ++i) {
        const QRect& rect = m_items[size_t(i)].rect;
        if (!m_bMultiLine && rect.left() > pos.x())
            break;
        if (rect.contains(pos))
            return i;
    }
    return -1;
}

QRect CTabBarCtrl::TabRect(int index) const
{
    Layout();
    return index >= 0 && index < Count() ? m_items[size_t(index)].rect : QRect();
}

void CTabBarCtrl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int rows = m_nRows;
    m_bLayoutDirty = true;
    if (m_bMultiLine && RowCount() != rows) {
        updateGeometry();
        Q_EMIT RowsChanged();
    }
}

void CTabBarCtrl::paintEvent(QPaintEvent*)
{
    Layout();
    // Drawn off-screen first, then copied in one piece.
    const qreal ratio = devicePixelRatioF();
    QPixmap buffer(size() * ratio);
    buffer.setDevicePixelRatio(ratio);
    buffer.fill(palette().color(QPalette::Window));
    {
        QPainter p(&buffer);
        const int avail = m_bOverflow ? width() - 2 * kScrollButtonWidth : width();
        p.setClipRect(0, 0, avail, height());
        if (!m_bButtons && !m_items.empty()) {
            p.setPen(palette().color(QPalette::Dark));
            for (int row = 0; row < m_nRows; ++row) {
                const QRect first(0, (m_bBottom ? 0 : 2) + row * RowHeight(), width(), kItemHeight);
                const int y = m_bBottom ? first.top() : first.bottom();
                p.drawLine(0, y, width(), y);
            }
        }
        for (int i = 0; i < Count(); ++i) {
            const SItem& item = m_items[size_t(i)];
            if (i == m_nCurrent || item.rect.right() < 0 || item.rect.left() > avail)
                continue;
            DrawItem(p, item, false);
        }
        if (m_nCurrent >= 0 && m_nCurrent < Count())
            DrawItem(p, m_items[size_t(m_nCurrent)], true);
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}

void CTabBarCtrl::DrawItem(QPainter& p, const SItem& item, bool selected) const
{
    QRect content = item.rect;
    const QColor back = selected ? m_selBack : m_unselBack;
    if (m_bButtons) {
        if (selected) {
            p.fillRect(item.rect, back);
            qDrawShadePanel(&p, item.rect, palette(), true, 1);
            content.translate(1, 1);
        } else {
            p.fillRect(item.rect.adjusted(0, 0, -2, 0), back);
            p.setPen(palette().color(QPalette::Mid));
            p.drawLine(item.rect.right(), item.rect.top() + 3, item.rect.right(), item.rect.bottom() - 3);
        }
    } else {
        QRect shape = selected ? item.rect.adjusted(-1, m_bBottom ? 0 : -2, 1, m_bBottom ? 2 : 0)
                               : item.rect.adjusted(0, m_bBottom ? 0 : 1, -1, m_bBottom ? -1 : 0);
        QPainterPath path;
        path.addRoundedRect(shape, 3, 3);
        // Square corners against the bar's edge.
        path.addRect(m_bBottom ? QRect(shape.left(), shape.top(), shape.width(), 4)
                               : QRect(shape.left(), shape.bottom() - 3, shape.width(), 4));
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(palette().color(QPalette::Dark));
        p.setBrush(back);
        p.drawPath(path.simplified());
        p.restore();
    }
    int x = content.left() + kIconGap;
    const QPixmap icon = Image(item.image);
    if (!icon.isNull()) {
        p.drawPixmap(x, content.top() + (content.height() - icon.height()) / 2, icon);
        x += icon.width() + kIconGap;
    }
    const QRect textRect(x, content.top(), content.right() - kIconGap + 1 - x, content.height());
    if (textRect.width() <= 0)
        return;
    const QFont& font = selected ? m_selFont : m_unselFont;
    p.setFont(font);
    p.setPen(selected ? m_selText : m_unselText);
    const QString text = QFontMetrics(font).elidedText(item.text, Qt::ElideRight, textRect.width());
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
}

bool CTabBarCtrl::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int index = TabAt(help->pos());
        CNimbraView* view = GetView(index);
        if (!view) {
            QToolTip::hideText();
            event->ignore();
            return true;
        }
        const std::string title = m_documentTitle(*view);
        std::string tip = title;
        const std::string url = view->GetLocationURL();
        if (!url.empty() && url != title)
            tip += "\n" + url;
        QToolTip::showText(help->globalPos(), PlainToolTip(ToQ(tip)), this, TabRect(index));
        return true;
    }
    return QWidget::event(event);
}

void CTabBarCtrl::mousePressEvent(QMouseEvent* event)
{
    m_buttons = event->buttons();
    m_cursorPos = event->globalPosition().toPoint();
    const int index = TabAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton) {
        if (m_bDragging) {
            EndDrag();
            return;
        }
        if (index < 0)
            return;
        m_nDragSource = index;
        m_pressPoint = m_cursorPos;
        m_pressTimer.start(kDragTimerMs, this);
        Q_EMIT MouseAction(EMouse::LeftPress, index, m_cursorPos);
    } else if (event->button() == Qt::MiddleButton) {
        Q_EMIT MouseAction(EMouse::MiddlePress, index, m_cursorPos);
    }
}

void CTabBarCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    m_buttons = event->buttons();
    m_cursorPos = event->globalPosition().toPoint();
    const int index = TabAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton) {
        EndDrag();
        Q_EMIT MouseAction(EMouse::LeftDouble, index, m_cursorPos);
    } else if (event->button() == Qt::MiddleButton) {
        Q_EMIT MouseAction(EMouse::MiddleDouble, index, m_cursorPos);
    }
}

void CTabBarCtrl::mouseMoveEvent(QMouseEvent* event)
{
    m_buttons = event->buttons();
    m_cursorPos = event->globalPosition().toPoint();
    if (m_bDragging)
        UpdateDragCursor(event->position().toPoint());
}

void CTabBarCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    m_buttons = event->buttons();
    m_cursorPos = event->globalPosition().toPoint();
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::RightButton) {
        const int index = TabAt(pos);
        Q_EMIT MouseAction(index >= 0 ? EMouse::RightClick : EMouse::BackgroundRight, index, m_cursorPos);
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    if (!m_bDragging) {
        m_pressTimer.stop();
        m_nDragSource = -1;
        return;
    }
    const int source = m_nDragSource;
    const int target = rect().contains(pos) ? TabAt(pos) : -1;
    EndDrag();
    if (target >= 0 && target != source)
        Q_EMIT DragDropped(source, target);
}

void CTabBarCtrl::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_pressTimer.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    const QPoint delta = m_cursorPos - m_pressPoint;
    if (std::abs(delta.x()) <= kDragThreshold && std::abs(delta.y()) <= kDragThreshold)
        return;
    if (m_buttons == Qt::NoButton) {
        m_pressPoint = m_cursorPos;
        return;
    }
    m_pressTimer.stop();
    m_bDragging = true;
    if (!m_bButtons)
        grabMouse();
    UpdateDragCursor(mapFromGlobal(m_cursorPos));
}

void CTabBarCtrl::UpdateDragCursor(const QPoint& pos)
{
    const int index = TabAt(pos);
    if (!rect().contains(pos))
        setCursor(Qt::ForbiddenCursor);
    else if (index == m_nDragSource)
        setCursor(Qt::ArrowCursor);
    else if (index >= 0)
        setCursor(Qt::DragMoveCursor);
    else
        setCursor(Qt::ForbiddenCursor);
}

void CTabBarCtrl::EndDrag()
{
    m_pressTimer.stop();
    if (m_bDragging && mouseGrabber() == this)
        releaseMouse();
    m_bDragging = false;
    m_nDragSource = -1;
    unsetCursor();
}

void CTabBarCtrl::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CTabBarCtrl::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CTabBarCtrl::dropEvent(QDropEvent* event)
{
    const int index = TabAt(event->position().toPoint());
    event->acceptProposedAction();
    if (index < 0)
        return;
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        paths << (url.isLocalFile() ? url.toLocalFile() : url.toString());
    if (!paths.isEmpty())
        Q_EMIT FilesDropped(index, paths);
}

} // namespace nimbra
