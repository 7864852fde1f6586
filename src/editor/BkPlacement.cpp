#include "editor/BkPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <charconv>
#include <limits>

namespace nimbra::editor {

namespace {

constexpr int kMinWidth = 200;
constexpr int kMinHeight = 150;
// What must stay on the screen to grab the window again.
constexpr int kGrabWidth = 100;
constexpr int kGrabHeight = 40;

std::optional<long long> ParseNumber(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

int Area(const QRect& rect)
{
    return rect.isEmpty() ? 0 : rect.width() * rect.height();
}

} // namespace

std::optional<SWindowPlacement> ParsePlacement(std::string_view text)
{
    std::vector<long long> values;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string_view::npos)
            comma = text.size();
        const std::optional<long long> value = ParseNumber(text.substr(start, comma - start));
        if (!value)
            return std::nullopt;
        values.push_back(*value);
        start = comma + 1;
    }
    if (values.size() != 10)
        return std::nullopt;
    // The first two are unsigned, the rest signed 32-bit; sizes beyond that are refused.
    for (size_t i = 0; i < values.size(); ++i) {
        const long long low = i < 2 ? 0 : std::numeric_limits<int>::min();
        const long long high = i < 2 ? std::numeric_limits<unsigned>::max() : std::numeric_limits<int>::max();
        if (values[i] < low || values[i] > high)
            return std::nullopt;
    }
    const long long width = values[8] - values[6];
    const long long height = values[9] - values[7];
    if (width <= 0 || height <= 0 || width > std::numeric_limits<int>::max()
        || height > std::numeric_limits<int>::max())
        return std::nullopt;
    SWindowPlacement placement;
    placement.flags = unsigned(values[0]);
    placement.showCmd = unsigned(values[1]);
    placement.minPosition = QPoint(int(values[2]), int(values[3]));
    placement.maxPosition = QPoint(int(values[4]), int(values[5]));
    placement.normal = QRect(int(values[6]), int(values[7]), int(width), int(height));
    return placement;
}

std::string FormatPlacement(const SWindowPlacement& p)
{
    const QRect& r = p.normal;
    std::string text;
    for (long long value : {(long long)p.flags, (long long)p.showCmd, (long long)p.minPosition.x(),
                            (long long)p.minPosition.y(), (long long)p.maxPosition.x(),
                            (long long)p.maxPosition.y(), (long long)r.x(), (long long)r.y(),
                            (long long)r.x() + r.width(), (long long)r.y() + r.height()}) {
        if (!text.empty())
            text += ',';
        text += std::to_string(value);
    }
    return text;
}

QRect FitToScreens(QRect rect, const std::vector<QRect>& screens)
{
    if (screens.empty())
        return rect;
    QRect screen = screens.front();
    for (const QRect& candidate : screens) {
        if (Area(rect & candidate) > Area(rect & screen))
            screen = candidate;
    }
    rect.setWidth(std::clamp(rect.width(), std::min(kMinWidth, screen.width()), screen.width()));
    rect.setHeight(std::clamp(rect.height(), std::min(kMinHeight, screen.height()), screen.height()));
    const QRect shown = rect & screen;
    if (rect.top() < screen.top() || shown.width() < std::min(kGrabWidth, rect.width())
        || shown.height() < std::min(kGrabHeight, rect.height())) {
        rect.moveLeft(std::clamp(rect.left(), screen.left(), screen.left() + screen.width() - rect.width()));
        rect.moveTop(std::clamp(rect.top(), screen.top(), screen.top() + screen.height() - rect.height()));
    }
    return rect;
}

SWindowPlacement CapturePlacement(const QWidget& window)
{
    SWindowPlacement placement;
    placement.normal = window.isMaximized() || window.isMinimized() ? window.normalGeometry() : window.geometry();
    if (window.isMaximized()) {
        placement.showCmd = SWindowPlacement::kShowMaximized;
        placement.flags = SWindowPlacement::kRestoreToMaximized;
    } else if (window.isMinimized()) {
        placement.showCmd = SWindowPlacement::kShowMinimized;
    }
    return placement;
}

void ApplyPlacement(QWidget& window, const SWindowPlacement& placement)
{
    std::vector<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.push_back(screen->availableGeometry());
    window.setGeometry(FitToScreens(placement.normal, screens));
    // A window closed while minimised comes back in its normal place.
    if (placement.showCmd == SWindowPlacement::kShowMaximized)
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
}

} // namespace nimbra::editor
