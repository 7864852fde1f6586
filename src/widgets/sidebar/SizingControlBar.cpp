#include "widgets/sidebar/SizingControlBar.h"

#include "data/settings/Settings.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMainWindow>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

namespace nimbra {

namespace {

// The bar's place beside its sizes, in the same section.
constexpr std::string_view kVisibleKey = "Visible";
constexpr std::string_view kDockAreaKey = "DockArea";
constexpr std::string_view kFloatingKey = "Floating";
constexpr std::string_view kFloatXKey = "FloatX";
constexpr std::string_view kFloatYKey = "FloatY";

struct SSizeKeys {
    CSizingControlBar::EPlace place;
    EKey cx;
    EKey cy;
};
constexpr SSizeKeys kSizeKeys[] = {
    {CSizingControlBar::EPlace::Horz, EKey::szHorzCX, EKey::szHorzCY},
    {CSizingControlBar::EPlace::Vert, EKey::szVertCX, EKey::szVertCY},
    {CSizingControlBar::EPlace::Float, EKey::szFloatCX, EKey::szFloatCY},
};

std::string Section(std::string_view profile, int id)
{
    return BarSizeKey(EKey::szHorzCX, profile, id).section;
}

Qt::DockWidgetArea AreaFromInt(int value)
{
    switch (value) {
    case Qt::RightDockWidgetArea:
    case Qt::TopDockWidgetArea:
    case Qt::BottomDockWidgetArea:
        return Qt::DockWidgetArea(value);
    default:
        return Qt::LeftDockWidgetArea;
    }
}

} // namespace

QRect FitFloatingRect(const QRect& rect, const QList<QRect>& screens, const QRect& primary)
{
    QRect screen;
    int best = 0;
    for (const QRect& candidate : screens) {
        const QRect common = candidate.intersected(rect);
        const int area = common.width() * common.height();
        if (area > best) {
            best = area;
            screen = candidate;
        }
    }
    QRect fitted = rect;
    if (screen.isNull()) {
        screen = primary;
        fitted.moveCenter(primary.center());
    }
    fitted.setWidth(std::min(fitted.width(), screen.width()));
    fitted.setHeight(std::min(fitted.height(), screen.height()));
    fitted.moveLeft(std::clamp(fitted.left(), screen.left(), screen.right() - fitted.width() + 1));
    fitted.moveTop(std::clamp(fitted.top(), screen.top(), screen.bottom() - fitted.height() + 1));
    return fitted;
}

// --- CSizingControlBar ------------------------------------------------------

CSizingControlBar::CSizingControlBar(const QString& title, QMainWindow* window, int id)
    : QDockWidget(title, window), m_pWindow(window), m_nId(id)
{
    setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    connect(this, &QDockWidget::dockLocationChanged, this, &CSizingControlBar::OnMoved);
    connect(this, &QDockWidget::topLevelChanged, this, &CSizingControlBar::OnMoved);
    window->installEventFilter(this);
}

CSizingControlBar::EPlace CSizingControlBar::Place() const
{
    if (isFloating())
        return EPlace::Float;
    const Qt::DockWidgetArea area = Area();
    return area == Qt::TopDockWidgetArea || area == Qt::BottomDockWidgetArea ? EPlace::Horz : EPlace::Vert;
}

QSize CSizingControlBar::Size(EPlace place) const
{
    switch (place) {
    case EPlace::Horz:
        return m_szHorz;
    case EPlace::Vert:
        return m_szVert;
    case EPlace::Float:
        break;
    }
    return m_szFloat;
}

QSize CSizingControlBar::MinSize(EPlace place)
{
    return place == EPlace::Float ? kMinFloat : place == EPlace::Horz ? kMinHorz : kMinVert;
}

void CSizingControlBar::SetSize(EPlace place, QSize size)
{
    size = size.expandedTo(MinSize(place));
    switch (place) {
    case EPlace::Horz:
        m_szHorz = size;
        break;
    case EPlace::Vert:
        m_szVert = size;
        break;
    case EPlace::Float:
        m_szFloat = size;
        break;
    }
}

bool CSizingControlBar::IsBarVisible() const
{
    return isVisibleTo(m_pWindow);
}

void CSizingControlBar::HideBar()
{
    const QWidget* focus = QApplication::focusWidget();
    const QWidget* windowFocus = m_pWindow->focusWidget();
    const bool hadFocus = (focus && isAncestorOf(focus)) || (windowFocus && isAncestorOf(windowFocus));
    hide();
    if (hadFocus)
        Q_EMIT FocusLeft();
}

int CSizingControlBar::Room(Qt::Orientation orientation) const
{
    auto extent = [orientation](const QWidget* widget) {
        return orientation == Qt::Horizontal ? widget->width() : widget->height();
    };
    const QWidget* centre = m_pWindow->centralWidget();
    if (!centre || !m_pWindow->isVisible())
        return extent(m_pWindow) - kKeepPages;
    const bool docked = isVisible() && !isFloating();
    return extent(centre) + (docked ? extent(this) : 0) - kKeepPages;
}

Qt::DockWidgetArea CSizingControlBar::Area() const
{
    return m_pWindow->dockWidgetArea(const_cast<CSizingControlBar*>(this));
}

QRect CSizingControlBar::FloatingRect() const
{
    // Stored sizes and places can be anything: bounded to what a widget can
    // be, so the rectangle's edges stay within int.
    const auto bound = [](int v) { return std::clamp(v, -QWIDGETSIZE_MAX, QWIDGETSIZE_MAX); };
    const QRect wanted(QPoint(bound(pos().x()), bound(pos().y())),
                       m_szFloat.expandedTo(kMinFloat).boundedTo(QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX)));
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return wanted;
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.push_back(screen->availableGeometry());
    return FitFloatingRect(wanted, screens, primary->availableGeometry());
}

QSize CSizingControlBar::SizeToApply(EPlace place) const
{
    const QSize min = MinSize(place);
    QSize size = Size(place).expandedTo(min);
    switch (place) {
    case EPlace::Vert:
        size.setWidth(std::max(min.width(), std::min(size.width(), Room(Qt::Horizontal))));
        break;
    case EPlace::Horz:
        size.setHeight(std::max(min.height(), std::min(size.height(), Room(Qt::Vertical))));
        break;
    case EPlace::Float:
        size = FloatingRect().size();
        break;
    }
    return size;
}

void CSizingControlBar::OnMoved()
{
    const EPlace place = Place();
    if (place != m_applied) {
        m_applied = place;
        OnPlaceChanged(place);
    }
    // The window first lays the bar out in its new place, at whatever size;
    // then the place's own size is applied.
    m_bSettling = true;
    QTimer::singleShot(0, this, [this] {
        m_bSettling = false;
        ApplySize();
    });
}

void CSizingControlBar::ApplySize()
{
    const EPlace place = Place();
    setMinimumSize(MinSize(place));
    const QSize size = SizeToApply(place);
    switch (place) {
    case EPlace::Vert:
        m_pWindow->resizeDocks({this}, {size.width()}, Qt::Horizontal);
        break;
    case EPlace::Horz:
        m_pWindow->resizeDocks({this}, {size.height()}, Qt::Vertical);
        break;
    case EPlace::Float:
        setGeometry(FloatingRect());
        break;
    }
}

void CSizingControlBar::OnPlaceChanged(EPlace)
{
}

QSize CSizingControlBar::sizeHint() const
{
    return SizeToApply(Place());
}

void CSizingControlBar::resizeEvent(QResizeEvent* event)
{
    QDockWidget::resizeEvent(event);
    if (!isVisible() || m_bSettling)
        return;
    if (Place() != m_applied) {
        OnMoved();
        return;
    }
    SetSize(m_applied, size());
}

void CSizingControlBar::showEvent(QShowEvent* event)
{
    QDockWidget::showEvent(event);
    ApplySize();
}

bool CSizingControlBar::eventFilter(QObject* watched, QEvent* event)
{
    // A smaller window: a docked bar gives the pages their room back.
    if (watched == m_pWindow && event->type() == QEvent::Resize && isVisible() && !isFloating()) {
        const EPlace place = Place();
        const QSize now = size();
        const QSize fit = SizeToApply(place);
        if (place == EPlace::Vert ? now.width() > fit.width() : now.height() > fit.height())
            ApplySize();
    }
    return QDockWidget::eventFilter(watched, event);
}

void CSizingControlBar::LoadState(const CSettings& state, std::string_view profile)
{
    const std::string section = Section(profile, m_nId);
    for (const SSizeKeys& keys : kSizeKeys) {
        const QSize current = Size(keys.place);
        const QSize min = MinSize(keys.place);
        const SKeyRef cx = BarSizeKey(keys.cx, profile, m_nId);
        const SKeyRef cy = BarSizeKey(keys.cy, profile, m_nId);
        const int width = state.GetInt(cx.section, cx.key, current.width());
        const int height = state.GetInt(cy.section, cy.key, current.height());
        SetSize(keys.place, QSize(std::max(width, min.width()), std::max(height, min.height())));
    }

    const Qt::DockWidgetArea area = AreaFromInt(state.GetInt(section, kDockAreaKey, Area()));
    // A row or column of its own along the edge.
    m_pWindow->addDockWidget(area, this, Qt::Vertical);
    if (state.GetInt(section, kFloatingKey, 0) != 0) {
        setFloating(true);
        move(state.GetInt(section, kFloatXKey, x()), state.GetInt(section, kFloatYKey, y()));
    }
    ApplySize();
    setVisible(state.GetInt(section, kVisibleKey, 1) != 0);
}

void CSizingControlBar::SaveState(CSettings& state, std::string_view profile) const
{
    for (const SSizeKeys& keys : kSizeKeys) {
        const QSize size = Size(keys.place);
        state.WriteInt(BarSizeKey(keys.cx, profile, m_nId), size.width());
        state.WriteInt(BarSizeKey(keys.cy, profile, m_nId), size.height());
    }
    const std::string section = Section(profile, m_nId);
    state.WriteInt(section, kVisibleKey, IsBarVisible() ? 1 : 0);
    state.WriteInt(section, kDockAreaKey, Area());
    state.WriteInt(section, kFloatingKey, isFloating() ? 1 : 0);
    state.WriteInt(section, kFloatXKey, x());
    state.WriteInt(section, kFloatYKey, y());
}

// --- CSizingControlBarG -----------------------------------------------------

// The gripper band: two raised lines along it and the hide button at its
// end. Mouse presses on the band are left to the dock widget, which drags.
class CSizingControlBarG::CGripper : public QWidget {
public:
    explicit CGripper(CSizingControlBar* bar) : QWidget(bar), m_pButton(new QToolButton(this))
    {
        m_pButton->setFocusPolicy(Qt::NoFocus);
        m_pButton->setAutoRaise(true);
        m_pButton->setFixedSize(kHideButtonSize, kHideButtonSize);
        m_pButton->setIconSize(QSize(kHideButtonSize - 2, kHideButtonSize - 2));
        m_pButton->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton, nullptr, this));
        m_pButton->setToolTip(QStringLiteral("閉じる"));
        connect(m_pButton, &QToolButton::clicked, bar, &CSizingControlBar::HideBar);
    }

    QToolButton* Button() const { return m_pButton; }

    void SetVertical(bool vertical)
    {
        m_bVertical = vertical;
        updateGeometry();
        PlaceButton();
        update();
    }

    QSize sizeHint() const override { return minimumSizeHint(); }
    QSize minimumSizeHint() const override
    {
        const int length = kHideButtonSize + 4;
        return m_bVertical ? QSize(kGripperWidth, length) : QSize(length, kGripperWidth);
    }

protected:
    void resizeEvent(QResizeEvent*) override { PlaceButton(); }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QPalette& pal = palette();
        // Two grooves along the band, stopping short of the button.
        for (int i = 0; i < 2; ++i) {
            const int at = 3 + i * 4;
            if (m_bVertical) {
                const int from = kHideButtonSize + 4, to = height() - 3;
                painter.setPen(pal.color(QPalette::Light));
                painter.drawLine(at, from, at, to);
                painter.setPen(pal.color(QPalette::Dark));
                painter.drawLine(at + 1, from, at + 1, to);
            } else {
                const int from = 2, to = width() - kHideButtonSize - 5;
                painter.setPen(pal.color(QPalette::Light));
                painter.drawLine(from, at, to, at);
                painter.setPen(pal.color(QPalette::Dark));
                painter.drawLine(from, at + 1, to, at + 1);
            }
        }
    }

private:
    void PlaceButton()
    {
        if (m_bVertical)
            m_pButton->move((width() - kHideButtonSize) / 2, 1);
        else
            m_pButton->move(width() - kHideButtonSize - 1, (height() - kHideButtonSize) / 2);
    }

    QToolButton* m_pButton;
    bool m_bVertical = false;
};

CSizingControlBarG::CSizingControlBarG(const QString& title, QMainWindow* window, int id)
    : CSizingControlBar(title, window, id), m_pGripper(new CGripper(this))
{
    setTitleBarWidget(m_pGripper);
}

QToolButton* CSizingControlBarG::HideButton() const
{
    return m_pGripper->Button();
}

void CSizingControlBarG::OnPlaceChanged(EPlace place)
{
    const bool vertical = place == EPlace::Horz;
    setFeatures(vertical ? features() | QDockWidget::DockWidgetVerticalTitleBar
                         : features() & ~QDockWidget::DockWidgetVerticalTitleBar);
    m_pGripper->SetVertical(vertical);
}

} // namespace nimbra
