#include "platform/WindowPlacement.h"

#include <gtest/gtest.h>

using namespace nimbra;

TEST(WindowPlacement, ReadsExactlyTenNumbers)
{
    struct Case {
        const char* text;
        bool valid;
    };
    const Case cases[] = {
        {"0,1,-1,-1,-1,-1,10,20,810,620", true},
        {" 2, 3,-1,-1,-8,-8,10,20,810,620", true},
        {"4294967295,1,-1,-1,-1,-1,10,20,810,620", true},
        {"0,1,-1,-1,-1,-1,10,20,810", false},          // 9 numbers
        {"0,1,-1,-1,-1,-1,10,20,810,620,5", false},    // 11 numbers
        {"0,1,-1,-1,-1,-1,10,20,810,abc", false},      // a word
        {"0,1,-1,-1,-1,-1,10,20,810,620x", false},     // trailing text
        {"0,1,-1,-1,-1,-1,10,20,810,4294967296", false}, // beyond 32 bits
        {"0,1,-1,-1,-1,-1,10,20,810,-2147483649", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseWindowPlacement(c.text).has_value(), c.valid) << c.text;

    const SWindowPlacement p = *ParseWindowPlacement("2,3,-1,-1,-8,-8,10,20,810,620");
    EXPECT_EQ(p.Normal(), QRect(10, 20, 800, 600));
    EXPECT_EQ(FormatWindowPlacement(p), "2,3,-1,-1,-8,-8,10,20,810,620");
}

TEST(WindowPlacement, MinimisedOrHiddenStartsNormalOrMaximised)
{
    // flags, stored show command -> show command read and written
    const unsigned cases[][3] = {{0, 2, 1}, {0, 6, 1}, {0, 7, 1}, {0, 11, 1}, {0, 0, 1},
                                 {2, 2, 3}, {2, 6, 3}, {0, 3, 3}, {0, 1, 1}, {0, 5, 5}};
    for (const auto& c : cases) {
        const std::string text = std::to_string(c[0]) + "," + std::to_string(c[1]) + ",-1,-1,-1,-1,0,0,100,100";
        EXPECT_EQ(ParseWindowPlacement(text)->showCmd, c[2]) << text;
        SWindowPlacement written;
        written.flags = c[0];
        written.showCmd = c[1];
        EXPECT_EQ(ParseWindowPlacement(FormatWindowPlacement(written))->showCmd, c[2]) << text;
    }
}

TEST(WindowPlacement, LandsOnTheNearestScreen)
{
    const QList<QRect> screens{QRect(0, 0, 1280, 900), QRect(1280, 0, 1024, 768)};
    const QSize fallback(800, 600);
    struct Case {
        QRect rect;
        QRect placed;
    };
    const Case cases[] = {
        {{100, 100, 640, 480}, {100, 100, 640, 480}},       // on a screen: kept
        {{1200, 700, 640, 480}, {1200, 700, 640, 480}},     // partly on: kept
        {{5000, 100, 640, 480}, {1664, 100, 640, 480}},     // far right: second screen
        {{-3000, -2000, 640, 480}, {0, 0, 640, 480}},       // far up left: first screen
        {{100, 5000, 2000, 2000}, {0, 0, 1280, 900}},       // too big: shrunk
        {{300, 200, 0, 0}, {300, 200, 800, 600}},           // empty: given a size
        {{1500, 2000, -5, 10}, {480, 300, 800, 600}},       // empty and off screen
    };
    for (const Case& c : cases)
        EXPECT_EQ(PlaceOnScreen(c.rect, fallback, screens), c.placed) << c.rect.x() << "," << c.rect.y();
}
