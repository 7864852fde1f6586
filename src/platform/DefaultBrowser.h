#pragma once

#include <optional>
#include <string>
#include <vector>

namespace nimbra {

// Making this program the desktop's default browser: a desktop entry in
// $XDG_DATA_HOME/applications, the defaults set through xdg-mime and
// xdg-settings, the defaults it replaced kept in the program's own
// settings and put back when it gives the role up. Every call runs the
// xdg tools and waits for them (up to the timeout): call it off the UI
// thread.
struct SDefaultBrowserSetup {
    std::string programPath; // absolute
    std::string nimbraHome;  // NIMBRA_HOME of this instance, empty when unset
    int timeoutMs = 15000;   // per tool run
};

inline constexpr char kDesktopFileName[] = "nimbrab.desktop";

// The types the entry claims, in the order they are set.
const std::vector<std::string>& DefaultBrowserTypes();

// One argument quoted by the desktop-entry rules (double quotes where
// needed, \ " ` $ escaped, % doubled) and escaped as a string value.
std::string DesktopExecArgument(const std::string& argument);
// The Exec value that starts `programPath` with the links (%U), behind
// `env NIMBRA_HOME=...` when `nimbraHome` is set.
std::string DesktopExecLine(const std::string& programPath, const std::string& nimbraHome);
std::string DesktopEntryText(const SDefaultBrowserSetup& setup);

// $XDG_DATA_HOME/applications/nimbrab.desktop (~/.local/share when unset).
std::string DesktopEntryPath();

// Whether the http handler is this program's entry; nullopt with a message
// when the query failed.
struct SDefaultBrowserQuery {
    std::optional<bool> isDefault;
    std::string error;
};
SDefaultBrowserQuery QueryDefaultBrowser(int timeoutMs);

// Takes the role (on) or gives it back (off). Empty on success, else a
// message for the user.
std::string SetDefaultBrowser(const SDefaultBrowserSetup& setup, bool on);

} // namespace nimbra
