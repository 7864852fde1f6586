#include "platform/WindowPlacement.h"

#include "platform/Text.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>

namespace nimbra {

namespace {

// How much of a window must show on a screen for it to be reachable.
constexpr int kMinVisible = 32;
// Rectangle coordinates are kept within this, so their arithmetic cannot
// overflow; no screen reaches that far.
constexpr long long kMaxCoordinate = 1 << 24;

int Coordinate(long long value)
{
    return int(std::clamp(value, -kMaxCoordinate, kMaxCoordinate));
}

std::optional<long long> ParseField(std::string_view field)
{
    const std::string text = Trim(field);
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

long long Distance(const QRect& a, const QRect& b)
{
    const long long dx = std::max({0LL, (long long)b.left() - a.right(), (long long)a.left() - b.right()});
    const long long dy = std::max({0LL, (long long)b.top() - a.bottom(), (long long)a.top() - b.bottom()});
    return dx * dx + dy * dy;
}

} // namespace

std::optional<SWindowPlacement> ParseWindowPlacement(std::string_view text)
{
    long long v[10];
    size_t count = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string_view::npos)
            comma = text.size();
        if (count == 10)
            return std::nullopt;
        const std::optional<long long> value = ParseField(text.substr(start, comma - start));
        if (!value)
            return std::nullopt;
        const bool unsignedField = count < 2;
        if (unsignedField ? (*value < 0 || *value > UINT_MAX) : (*value < INT_MIN || *value > INT_MAX))
            return std::nullopt;
        v[count++] = *value;
        start = comma + 1;
    }
    if (count != 10)
        return std::nullopt;
    SWindowPlacement p;
    p.flags = unsigned(v[0]);
    p.showCmd = unsigned(v[1]);
    p.minPosition = QPoint(int(v[2]), int(v[3]));
    p.maxPosition = QPoint(int(v[4]), int(v[5]));
    p.normal = QRect(QPoint(Coordinate(v[6]), Coordinate(v[7])), QPoint(Coordinate(v[8]) - 1, Coordinate(v[9]) - 1));
    return p;
}

std::string FormatWindowPlacement(const SWindowPlacement& p)
{
    char text[160];
    std::snprintf(text, sizeof(text), "%u,%u,%d,%d,%d,%d,%d,%d,%d,%d", p.flags, p.showCmd, p.minPosition.x(),
                  p.minPosition.y(), p.maxPosition.x(), p.maxPosition.y(), p.normal.left(), p.normal.top(),
                  p.normal.left() + p.normal.width(), p.normal.top() + p.normal.height());
    return text;
}

SWindowPlacement GetWindowPlacement(const QWidget& window)
{
    SWindowPlacement p;
    p.normal = window.normalGeometry().isValid() ? window.normalGeometry() : window.geometry();
    if (window.isMaximized()) {
        p.showCmd = SWindowPlacement::SW_SHOWMAXIMIZED;
        p.flags = SWindowPlacement::WPF_RESTORETOMAXIMIZED;
    }
    return p;
}

void SetWindowPlacement(QWidget& window, const SWindowPlacement& placement)
{
    std::vector<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.push_back(screen->availableGeometry());
    QRect rect = placement.normal;
    if (rect.width() <= 0 || rect.height() <= 0)
        rect.setSize(window.size());
    window.setGeometry(RectOntoScreens(rect, screens));
    const bool maximised = placement.showCmd == SWindowPlacement::SW_SHOWMAXIMIZED
                           || (placement.showCmd == SWindowPlacement::SW_SHOWMINIMIZED
                               && (placement.flags & SWindowPlacement::WPF_RESTORETOMAXIMIZED));
    window.setWindowState(maximised ? Qt::WindowMaximized : Qt::WindowNoState);
}

QRect RectOntoScreens(const QRect& rect, const std::vector<QRect>& screens)
{
    if (screens.empty())
        return rect;
    const QRect* nearest = &screens.front();
    for (const QRect& screen : screens) {
        const QRect shown = screen.intersected(rect);
        if (shown.width() >= std::min(kMinVisible, rect.width()) && shown.height() >= std::min(kMinVisible, rect.height()))
            return rect;
        if (Distance(screen, rect) < Distance(*nearest, rect))
            nearest = &screen;
    }
    QRect moved(rect.topLeft(), rect.size().boundedTo(nearest->size()));
    moved.moveLeft(std::clamp(moved.left(), nearest->left(), nearest->right() + 1 - moved.width()));
    moved.moveTop(std::clamp(moved.top(), nearest->top(), nearest->bottom() + 1 - moved.height()));
    return moved;
}

} // namespace nimbra
