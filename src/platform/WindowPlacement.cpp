#include "platform/WindowPlacement.h"

#include "platform/Text.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <limits>

namespace nimbra {

namespace {

bool IsMinimisedOrHidden(unsigned showCmd)
{
    return showCmd == SW_HIDE || showCmd == SW_SHOWMINIMIZED || showCmd == SW_MINIMIZE
           || showCmd == SW_SHOWMINNOACTIVE || showCmd == SW_FORCEMINIMIZE;
}

// A window must come up where the user can reach it.
void MendShowCommand(SWindowPlacement& placement)
{
    if (IsMinimisedOrHidden(placement.showCmd))
        placement.showCmd = (placement.flags & WPF_RESTORETOMAXIMIZED) ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
}

// Squared distance between two rectangles; 0 when they meet.
qint64 Distance(const QRect& a, const QRect& b)
{
    const qint64 dx = std::max({0, b.left() - a.right(), a.left() - b.right()});
    const qint64 dy = std::max({0, b.top() - a.bottom(), a.top() - b.bottom()});
    return dx * dx + dy * dy;
}

bool IsWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

} // namespace

std::optional<SWindowPlacement> ParseWindowPlacement(std::string_view text)
{
    bool whole = false;
    const std::vector<int> n = ParseIntList(text, &whole);
    if (!whole || n.size() != 10)
        return std::nullopt;
    SWindowPlacement p{unsigned(n[0]), unsigned(n[1]), n[2], n[3], n[4], n[5], n[6], n[7], n[8], n[9]};
    MendShowCommand(p);
    return p;
}

std::string FormatWindowPlacement(SWindowPlacement p)
{
    MendShowCommand(p);
    char text[160];
    std::snprintf(text, sizeof text, "%u,%u,%d,%d,%d,%d,%d,%d,%d,%d", p.flags, p.showCmd, p.minX, p.minY, p.maxX,
                  p.maxY, p.left, p.top, p.right, p.bottom);
    return text;
}

SWindowPlacement GetWindowPlacement(const QWidget& window, const SWindowPlacement& kept)
{
    SWindowPlacement p = kept;
    QRect normal = window.normalGeometry();
    if (normal.isEmpty())
        normal = window.geometry();
    p.left = normal.left();
    p.top = normal.top();
    p.right = normal.left() + normal.width();
    p.bottom = normal.top() + normal.height();
    const bool maximised = window.windowState() & Qt::WindowMaximized;
    p.flags = maximised ? WPF_RESTORETOMAXIMIZED : 0;
    p.showCmd = maximised ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    return p;
}

QRect PlaceOnScreen(const QRect& rect, const QSize& fallback, const QList<QRect>& screens)
{
    const QRect wanted = rect.isEmpty() ? QRect(rect.topLeft(), fallback) : rect;
    const QRect* nearest = nullptr;
    qint64 best = std::numeric_limits<qint64>::max();
    for (const QRect& screen : screens) {
        const qint64 distance = Distance(wanted, screen);
        if (distance == 0 && !rect.isEmpty())
            return rect;
        if (distance < best) {
            best = distance;
            nearest = &screen;
        }
    }
    if (!nearest)
        return wanted;
    QRect placed(wanted.topLeft(), wanted.size().boundedTo(nearest->size()));
    placed.moveLeft(std::clamp(placed.left(), nearest->left(), nearest->right() + 1 - placed.width()));
    placed.moveTop(std::clamp(placed.top(), nearest->top(), nearest->bottom() + 1 - placed.height()));
    return placed;
}

unsigned SetWindowPlacement(QWidget& window, const SWindowPlacement& placement, unsigned requested)
{
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.push_back(screen->availableGeometry());
    const QRect rect = PlaceOnScreen(placement.Normal(), window.size(), screens);
    if (IsWayland())
        window.resize(rect.size());
    else
        window.setGeometry(rect);
    return requested == SW_SHOWNORMAL || requested == SW_SHOWDEFAULT ? placement.showCmd : requested;
}

void ShowWindow(QWidget& window, unsigned showCmd)
{
    if (showCmd == SW_SHOWMAXIMIZED)
        window.showMaximized();
    else
        window.show();
}

} // namespace nimbra
