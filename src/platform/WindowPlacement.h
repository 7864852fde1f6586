#pragma once

#include <QPoint>
#include <QRect>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace nimbra {

// A top-level window's placement as the settings store it:
// "%u,%u,%d,%d,%d,%d,%d,%d,%d,%d" = flags, show command, minimised position,
// maximised position, normal rectangle (left, top, right, bottom; right and
// bottom exclusive). The normal rectangle is the window's geometry without
// decorations.
struct SWindowPlacement {
    enum : unsigned { SW_SHOWNORMAL = 1, SW_SHOWMINIMIZED = 2, SW_SHOWMAXIMIZED = 3 };
    enum : unsigned { WPF_RESTORETOMAXIMIZED = 2 };

    unsigned flags = 0;
    unsigned showCmd = SW_SHOWNORMAL;
    QPoint minPosition{-1, -1};
    QPoint maxPosition{-1, -1};
    QRect normal;

    bool operator==(const SWindowPlacement&) const = default;
};

// Exactly ten comma-separated 32-bit integers, else nullopt.
std::optional<SWindowPlacement> ParseWindowPlacement(std::string_view text);
std::string FormatWindowPlacement(const SWindowPlacement& placement);

// The window's placement now. A minimised window is stored as shown
// normally, so it never comes back minimised.
SWindowPlacement GetWindowPlacement(const QWidget& window);
// Gives the window the placement's normal rectangle, moved onto a screen
// when it lies off every one, and its maximised state.
void SetWindowPlacement(QWidget& window, const SWindowPlacement& placement);

// `rect` when it meets one of `screens` (available areas) by at least a
// corner a title bar wide; otherwise moved (and shrunk if need be) into the
// screen nearest to it.
QRect RectOntoScreens(const QRect& rect, const std::vector<QRect>& screens);

} // namespace nimbra
