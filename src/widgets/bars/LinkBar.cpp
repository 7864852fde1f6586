#include "widgets/bars/LinkBar.h"

#include "widgets/bookmarks/BookmarkImages.h"
#include "platform/Text.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionToolButton>
#include <QToolButton>
#include <QToolTip>

namespace nimbra {

namespace {

constexpr int kTipDelayMs = 400;
constexpr int kTipShowMs = 9000;
constexpr int kImageSize = 16;
constexpr int kImageMargin = 30; // added to a button's width with images
constexpr int kPlainMargin = 10; // without
// The ideal width a bar reports; entries past it are not measured for it.
constexpr int kMaxIdealWidth = 4096;

// A title as a button shows it: cut as the bookmark menu cuts it, on one
// line (control characters become blanks).
QString ShownTitle(const std::string& title)
{
    QString text = ToQ(BookmarkMenuText(title, false, 0));
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    return text;
}

QFont MenuFont()
{
    return QApplication::font("QMenu");
}

QColor MenuColor(QPalette::ColorRole role)
{
    return QApplication::palette("QMenu").color(role);
}

} // namespace

CLinkButton::CLinkButton(CLinkBar& bar, int index) : QWidget(&bar), m_bar(bar), m_nIndex(index)
{
    setObjectName(QStringLiteral("LinkButtonClass"));
    setCursor(Qt::ArrowCursor);
    setAttribute(Qt::WA_Hover);
    m_tipTimer.setSingleShot(true);
    m_tipTimer.setInterval(kTipDelayMs);
    connect(&m_tipTimer, &QTimer::timeout, this, &CLinkButton::ShowToolTip);
}

void CLinkButton::SetIndex(int index)
{
    if (index == m_nIndex)
        return;
    m_nIndex = index;
    m_bPressed = m_bCaptured = false;
    update();
}

const SLinkEntry& CLinkButton::Entry() const
{
    return m_bar.EntryAt(m_nIndex);
}

void CLinkButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const SLinkEntry& entry = Entry();
    if (m_bPressed || m_bHot) {
        QStyleOptionToolButton option;
        option.initFrom(this);
        option.rect = rect();
        option.state |= QStyle::State_AutoRaise | QStyle::State_Enabled;
        option.state |= m_bPressed ? QStyle::State_Sunken : QStyle::State_Raised;
        if (m_bHot)
            option.state |= QStyle::State_MouseOver;
        style()->drawPrimitive(QStyle::PE_PanelButtonTool, &option, &painter, this);
    }
    const int shift = m_bPressed ? 1 : 0;
    QRect text = rect().adjusted(5 + shift, shift, -5 + shift, shift);
    if (m_bar.DrawsImages()) {
        const QRect image(4 + shift, (height() - kImageSize) / 2 + shift, kImageSize, kImageSize);
        m_bar.Icon(entry.IsFolder()).paint(&painter, image);
        text.setLeft(image.right() + 5);
    }
    painter.setPen(MenuColor(QPalette::WindowText));
    // No mnemonic processing: "&" is shown as it stands.
    const QString shown = fontMetrics().elidedText(entry.title, Qt::ElideRight, text.width());
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

void CLinkButton::mousePressEvent(QMouseEvent* event)
{
    m_tipTimer.stop();
    QToolTip::hideText();
    if (event->button() == Qt::LeftButton) {
        m_bCaptured = m_bPressed = true;
        update();
    }
}

void CLinkButton::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_bCaptured)
        return;
    const bool inside = rect().contains(event->position().toPoint());
    if (inside != m_bPressed) {
        m_bPressed = inside;
        update();
    }
}

void CLinkButton::mouseReleaseEvent(QMouseEvent* event)
{
    const bool inside = rect().contains(event->position().toPoint());
    const SLinkEntry& entry = Entry();
    if (event->button() == Qt::MiddleButton) {
        if (inside && !entry.IsFolder())
            m_bar.Run(entry.command, true);
        return;
    }
    if (event->button() != Qt::LeftButton || !m_bCaptured)
        return;
    m_bCaptured = m_bPressed = false;
    update();
    if (!inside)
        return;
    if (entry.IsFolder())
        DropMenu();
    else
        m_bar.Run(entry.command, false);
}

void CLinkButton::DropMenu()
{
    QMenu* menu = Entry().menu;
    if (!menu)
        return;
    m_pDropped = menu;
    m_bPressed = true;
    update();
    connect(menu, &QMenu::aboutToHide, this, [this] {
        m_bPressed = false;
        update();
    }, Qt::SingleShotConnection);
    menu->popup(mapToGlobal(QPoint(0, height())));
}

void CLinkButton::enterEvent(QEnterEvent*)
{
    m_bHot = true;
    update();
    if (!Entry().url.isEmpty())
        m_tipTimer.start();
}

void CLinkButton::leaveEvent(QEvent*)
{
    m_bHot = false;
    update();
    m_tipTimer.stop();
    QToolTip::hideText();
}

bool CLinkButton::event(QEvent* event)
{
    // The URL is shown on the button's own timer, not the style's delay.
    if (event->type() == QEvent::ToolTip)
        return true;
    return QWidget::event(event);
}

void CLinkButton::ShowToolTip()
{
    if (underMouse())
        QToolTip::showText(QCursor::pos(), PlainToolTip(Entry().url), this, rect(), kTipShowMs);
}

CLinkBar::CLinkBar(std::function<void(int id)> run, std::function<void(int id)> runInNewTab, QWidget* parent)
    : QWidget(parent), m_run(std::move(run)), m_runInNewTab(std::move(runInNewTab)), m_pMore(new QToolButton(this))
{
    setObjectName(QStringLiteral("LinkBar"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFont(MenuFont());
    const SBookmarkImages images = LoadBookmarkImages();
    m_linkIcon = images.bookmark;
    m_folderIcon = images.closedFolder;

    m_pMore->setObjectName(QString::number(kLinkBarMoreButtonId));
    m_pMore->setAutoRaise(true);
    m_pMore->setArrowType(Qt::RightArrow);
    m_pMore->setFocusPolicy(Qt::NoFocus);
    m_pMore->hide();
    connect(m_pMore, &QToolButton::clicked, this, [this] {
        ShowMoreList(m_pMore->mapToGlobal(QPoint(0, m_pMore->height())));
    });
}

void CLinkBar::SetLook(bool drawImages, int fixedWidth)
{
    const int fixed = fixedWidth < 0 ? -1 : fixedWidth;
    if (drawImages == m_bDrawImages && fixed == m_nFixedWidth)
        return;
    m_bDrawImages = drawImages;
    m_nFixedWidth = fixed;
    std::fill(m_widths.begin(), m_widths.end(), -1);
    updateGeometry();
    Relayout();
}

void CLinkBar::AddButton(const std::string& title, const std::string& url, int id, QMenu* dropDown)
{
    const bool allPlaced = m_nFirstHidden == EntryCount();
    m_entries.push_back({ShownTitle(title), ToQ(url), dropDown ? -1 : id, dropDown});
    m_widths.push_back(-1);
    // Once one entry is hidden every later one is too: nothing to place.
    if (allPlaced && Place(m_nFirstHidden))
        ++m_nFirstHidden;
}

void CLinkBar::RemoveAllButtons()
{
    for (CLinkButton* button : m_buttons)
        delete button;
    m_buttons.clear();
    m_entries.clear();
    m_widths.clear();
    m_nFirstHidden = 0;
    m_nNextX = 0;
    m_pMore->hide();
    delete m_pMoreMenu.data();
    updateGeometry();
}

int CLinkBar::ButtonWidth(int index)
{
    int& width = m_widths[size_t(index)];
    if (width < 0) {
        const int base = m_nFixedWidth >= 0 ? m_nFixedWidth
                                            : fontMetrics().horizontalAdvance(m_entries[size_t(index)].title);
        width = base + (m_bDrawImages ? kImageMargin : kPlainMargin);
    }
    return width;
}

CLinkButton* CLinkBar::ButtonAt(int slot)
{
    while (int(m_buttons.size()) <= slot)
        m_buttons.push_back(new CLinkButton(*this, int(m_buttons.size())));
    CLinkButton* button = m_buttons[size_t(slot)];
    button->SetIndex(slot);
    return button;
}

bool CLinkBar::Place(int index)
{
    const int width = ButtonWidth(index);
    if (m_nNextX + width > this->width() - kLinkBarMoreWidth) {
        m_pMore->show();
        return false;
    }
    CLinkButton* button = ButtonAt(index);
    button->setGeometry(m_nNextX, kLinkButtonTop, width, kLinkButtonHeight);
    button->show();
    m_nNextX += width;
    return true;
}

void CLinkBar::Relayout()
{
    m_pMore->setGeometry(width() - kLinkBarMoreWidth, 0, kLinkBarMoreWidth, height());
    m_pMore->hide();
    m_nNextX = 0;
    m_nFirstHidden = 0;
    while (m_nFirstHidden < EntryCount() && Place(m_nFirstHidden))
        ++m_nFirstHidden;
    for (size_t slot = size_t(m_nFirstHidden); slot < m_buttons.size(); ++slot)
        m_buttons[slot]->hide();
    update();
}

std::vector<CLinkButton*> CLinkBar::VisibleButtons() const
{
    return {m_buttons.begin(), m_buttons.begin() + std::min<ptrdiff_t>(m_nFirstHidden, ptrdiff_t(m_buttons.size()))};
}

void CLinkBar::Run(int command, bool newTab)
{
    // After the click, so the button is free to go when the command
    // rebuilds the bar.
    QTimer::singleShot(0, this, [this, command, newTab] { (newTab ? m_runInNewTab : m_run)(command); });
}

void CLinkBar::ShowHiddenItems(const QRect& chevron)
{
    if (m_nFirstHidden < EntryCount())
        ShowMoreList(chevron.bottomLeft());
}

void CLinkBar::ShowMoreList(const QPoint& at)
{
    delete m_pMoreMenu.data();
    auto* menu = new QMenu(this);
    m_pMoreMenu = menu;
    for (int i = m_nFirstHidden; i < EntryCount(); ++i) {
        const SLinkEntry& entry = m_entries[size_t(i)];
        QString text = entry.title;
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* item = menu->addAction(text);
        if (entry.IsFolder()) {
            if (entry.menu)
                item->setMenu(entry.menu.data());
            else
                item->setEnabled(false);
            continue;
        }
        item->setData(entry.command);
        connect(item, &QAction::triggered, this, [this, command = entry.command] { Run(command, false); });
    }
    m_pMore->setDown(true);
    connect(menu, &QMenu::aboutToHide, this, [this, menu] {
        m_pMore->setDown(false);
        menu->deleteLater();
    });
    menu->popup(at);
}

QSize CLinkBar::sizeHint() const
{
    auto* self = const_cast<CLinkBar*>(this);
    int width = kLinkBarMoreWidth;
    for (int i = 0; i < EntryCount() && width < kMaxIdealWidth; ++i)
        width += self->ButtonWidth(i);
    return {std::min(width, kMaxIdealWidth), kLinkButtonTop * 2 + kLinkButtonHeight};
}

QSize CLinkBar::minimumSizeHint() const
{
    return {kLinkBarMoreWidth, kLinkButtonTop * 2 + kLinkButtonHeight};
}

void CLinkBar::paintEvent(QPaintEvent*)
{
    QPainter(this).fillRect(rect(), MenuColor(QPalette::Window));
}

void CLinkBar::resizeEvent(QResizeEvent*)
{
    Relayout();
}

void CLinkBar::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        std::fill(m_widths.begin(), m_widths.end(), -1);
        updateGeometry();
        Relayout();
    }
    QWidget::changeEvent(event);
}

} // namespace nimbra
