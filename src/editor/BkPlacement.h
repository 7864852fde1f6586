#pragma once

#include <QPoint>
#include <QRect>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace nimbra::editor {

// A window placement as WindowPos stores it:
// "flags,show,minX,minY,maxX,maxY,left,top,right,bottom".
struct SWindowPlacement {
    static constexpr unsigned kRestoreToMaximized = 2;
    static constexpr unsigned kShowNormal = 1;
    static constexpr unsigned kShowMinimized = 2;
    static constexpr unsigned kShowMaximized = 3;

    unsigned flags = 0;
    unsigned showCmd = kShowNormal;
    QPoint minPosition{-1, -1};
    QPoint maxPosition{-1, -1};
    QRect normal; // stored as left, top, right, bottom with right and bottom outside it

    bool operator==(const SWindowPlacement&) const = default;
};

// Exactly ten integers separated by commas; nullopt otherwise (or when the
// normal rectangle is empty).
std::optional<SWindowPlacement> ParsePlacement(std::string_view text);
std::string FormatPlacement(const SWindowPlacement& placement);

// The rectangle made to fit the screens: no larger than the screen it
// overlaps most, its top edge on that screen, and enough of it showing to be
// grabbed. Unchanged when there are no screens.
QRect FitToScreens(QRect rect, const std::vector<QRect>& screens);

// The window's placement now; the restore-to-maximised flag when maximised.
SWindowPlacement CapturePlacement(const QWidget& window);
// Applies a stored placement before the window is shown: the flags are
// ignored, the rectangle is fitted to the screens, and a maximised show
// command maximises (a minimised one shows the window normally).
void ApplyPlacement(QWidget& window, const SWindowPlacement& placement);

} // namespace nimbra::editor
