#include "platform/XDisplay.h"

#include <QByteArray>
#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace nimbra;

// The display check runs only where Qt will start its xcb platform, so a
// start offscreen or on Wayland never waits for an X server.
TEST(XDisplay, CheckedOnlyWhereQtRunsOnX)
{
    const char* const names[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    std::vector<std::optional<QByteArray>> saved;
    for (const char* name : names)
        saved.push_back(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
    const struct {
        const char* display;
        const char* wayland;
        const char* platform;
        std::vector<const char*> args;
        bool onX;
    } cases[] = {
        {":5", "", "", {}, true},
        {":5", "", "xcb", {}, true},
        {":5", "wayland-0", "xcb:nograb", {"http://a/"}, true},
        {":5", "wayland-0", "", {}, false},
        {":5", "", "offscreen", {}, false},
        {":5", "", "wayland", {}, false},
        {":5", "", "", {"-platform", "offscreen"}, false},
        {":5", "", "", {"--platform", "offscreen"}, false},
        {"", "", "xcb", {}, false},
        {"", "", "xcb", {"-display", ":7"}, true},
        // An option without its value chooses nothing.
        {":5", "", "", {"-platform"}, true},
    };
    for (const auto& c : cases) {
        qputenv("DISPLAY", c.display);
        qputenv("WAYLAND_DISPLAY", c.wayland);
        qputenv("QT_QPA_PLATFORM", c.platform);
        std::vector<char*> argv{const_cast<char*>("nimbrab")};
        for (const char* arg : c.args)
            argv.push_back(const_cast<char*>(arg));
        EXPECT_EQ(RunsOnXDisplay(int(argv.size()), argv.data()), c.onX)
            << c.display << " " << c.wayland << " " << c.platform << " " << c.args.size();
    }
    for (size_t i = 0; i < saved.size(); ++i)
        saved[i] ? qputenv(names[i], *saved[i]) : qunsetenv(names[i]);
}
