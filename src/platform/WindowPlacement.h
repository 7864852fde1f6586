#pragma once

#include <QList>
#include <QRect>
#include <optional>
#include <string>
#include <string_view>

class QWidget;

namespace nimbra {

// Show commands and the flag of a window placement record.
enum EShowCommand : unsigned {
    SW_HIDE = 0,
    SW_SHOWNORMAL = 1,
    SW_SHOWMINIMIZED = 2,
    SW_SHOWMAXIMIZED = 3,
    SW_MINIMIZE = 6,
    SW_SHOWMINNOACTIVE = 7,
    SW_SHOWDEFAULT = 10,
    SW_FORCEMINIMIZE = 11,
};
inline constexpr unsigned WPF_RESTORETOMAXIMIZED = 2;

// A window placement as the settings file keeps it: flags, show command,
// minimised x and y, maximised x and y, normal left, top, right, bottom. The
// normal rectangle is the window's own area, without decorations, so that a
// window put back where it was read stays there.
struct SWindowPlacement {
    unsigned flags = 0;
    unsigned showCmd = SW_SHOWNORMAL;
    int minX = -1;
    int minY = -1;
    int maxX = -1;
    int maxY = -1;
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    QRect Normal() const { return QRect(left, top, right - left, bottom - top); }
    bool operator==(const SWindowPlacement&) const = default;
};

// "%u,%u,%d,%d,%d,%d,%d,%d,%d,%d". Anything but exactly ten numbers within
// 32 bits gives nullopt. A show command that would leave the window
// minimised or hidden reads as normal (1), or maximised (3) when the flags
// restore it maximised: a window started that way could not be reached.
std::optional<SWindowPlacement> ParseWindowPlacement(std::string_view text);
// The same format; a minimised or hidden show command is written as normal
// or maximised in the same way.
std::string FormatWindowPlacement(SWindowPlacement placement);

// The placement of a top-level window: its normal rectangle and whether it
// is (or goes back to) maximised, flags 2 and show command 3 then. The
// minimised and maximised positions are taken from `kept`.
SWindowPlacement GetWindowPlacement(const QWidget& window, const SWindowPlacement& kept = {});

// Gives a hidden window the normal rectangle of `placement` (under Wayland
// only its size), moved onto the nearest screen when it is empty or lies
// off every screen. The show command to use: the stored one when the
// requested one is normal (1) or default (10), else the requested one.
unsigned SetWindowPlacement(QWidget& window, const SWindowPlacement& placement, unsigned requested);

// Shows a window maximised for show command 3, normally otherwise.
void ShowWindow(QWidget& window, unsigned showCmd);

// `rect` unchanged when it is not empty and meets one of the `screens`;
// otherwise (with `fallback`'s size when it is empty) moved into the
// nearest screen, shrunk to fit it.
QRect PlaceOnScreen(const QRect& rect, const QSize& fallback, const QList<QRect>& screens);

} // namespace nimbra
