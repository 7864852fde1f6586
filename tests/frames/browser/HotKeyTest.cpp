#include "ui/CommandIds.h"
#include "ui/MenuResource.h"
#include "frames/browser/TrayHotKey.h"
#include "frames/browser/WindowCommands.h"

#include "TestBrowser.h"
#include "XServer.h"

#include <QMenuBar>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>

using namespace nimbra;

namespace {

using namespace testenv::xk;
constexpr int kVkHome = 0x24;
constexpr int kVkEnd = 0x23;
constexpr int kCtrlAlt = kHotKeyCtrl | kHotKeyAlt;

// Hands the hot key every event the server sent `connection` so far: keys
// pressed through XTest are delivered by the time that request is answered,
// and events come before the reply to a later request.
void Deliver(xcb_connection_t* connection, CTrayHotKey& hotKey)
{
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    while (xcb_generic_event_t* event = xcb_poll_for_queued_event(connection)) {
        hotKey.HandleEvent(event);
        std::free(event);
    }
}

// Holds a key on the root window, as another program would.
void GrabElsewhere(xcb_connection_t* other, unsigned keysym, uint16_t modifiers)
{
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(other);
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    std::free(xcb_request_check(other, xcb_grab_key_checked(other, 1, root, modifiers, codes[0], XCB_GRAB_MODE_ASYNC,
                                                            XCB_GRAB_MODE_ASYNC)));
    std::free(codes);
    xcb_key_symbols_free(symbols);
}

class HotKeyFrameTest : public testenv::BrowserTest {
protected:
    testenv::XServer m_x;
};

} // namespace

TEST(HotKeyLabel, NamesAndCase)
{
    const std::pair<SHotKey, const char*> cases[] = {
        {{0x78, kCtrlAlt}, "Ctrl+Alt+F9"},
        {{0x21, kHotKeyCtrl | kHotKeyShift}, "Ctrl+Shift+Page up"},
        {{0x41, kHotKeyAlt | kHotKeyShift | kHotKeyCtrl}, "Ctrl+Shift+Alt+A"},
        {{0x60, kHotKeyCtrl}, "Ctrl+Num 0"},
        {{0xBA, kHotKeyShift}, "Shift+;"},
        {{0x87, 0}, "F24"},
        {{0xFF, kHotKeyCtrl}, "Ctrl+unknown"},
    };
    for (const auto& [key, label] : cases)
        EXPECT_EQ(HotKeyLabel(key), label) << key.code;
    EXPECT_EQ(SHotKey::FromSetting((0x78 << 16) | 3).code, 0x78);
    EXPECT_EQ(SHotKey::FromSetting((0x78 << 16) | 3).modifiers, 3);
}

TEST(TrayHotKey, GrabsOnTheRootWindowWithLocksInAnyState)
{
    testenv::XServer x;
    ASSERT_FALSE(x.Display().isEmpty());
    xcb_connection_t* own = x.OpenClient();
    int presses = 0;
    CTrayHotKey hotKey([&presses] { ++presses; });

    // No X connection (offscreen), or a code without a key: nothing.
    EXPECT_FALSE(hotKey.Register({kVkHome, kCtrlAlt}));
    hotKey.SetConnection(own);
    EXPECT_FALSE(hotKey.Register({0xFF, kCtrlAlt}));

    // (Ctrl+Alt+F1..F12 switch consoles in the X server; Home is free.)
    ASSERT_TRUE(hotKey.Register({kVkHome, kCtrlAlt}));
    x.PressKeys({kControlL, kAltL, kHome});
    x.PressKeys({kControlL, kHome}); // not the key
    Deliver(own, hotKey);
    EXPECT_EQ(presses, 1);

    x.PressKeys({kNumLock}); // Num Lock on
    x.PressKeys({kControlL, kAltL, kHome});
    Deliver(own, hotKey);
    x.PressKeys({kNumLock});
    EXPECT_EQ(presses, 2);

    // Released, the key is free for others.
    hotKey.Unregister();
    x.PressKeys({kControlL, kAltL, kHome});
    Deliver(own, hotKey);
    EXPECT_EQ(presses, 2);

    // A key that another client holds cannot be registered.
    GrabElsewhere(x.OpenClient(), kEnd, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1);
    EXPECT_FALSE(hotKey.Register({kVkEnd, kCtrlAlt}));
    EXPECT_FALSE(hotKey.IsRegistered());
}

TEST_F(HotKeyFrameTest, TheMenuItemShowsTheRegisteredKey)
{
    ASSERT_FALSE(m_x.Display().isEmpty());
    CMainFrame* frame = Start();
    frame->Window()->HotKey().SetConnection(m_x.OpenClient());
    QAction* item = FindCommand(frame->MainMenu(), ID_TASK_TRAY);
    auto reload = [&](int hotKey) {
        Option("HotKey", hotKey);
        frame->ReloadSettings();
        return item->text().toStdString();
    };

    EXPECT_EQ(reload((0x78 << 16) | 3), "タスク トレイ(&T)\tCtrl+Alt+F9");
    EXPECT_TRUE(frame->Window()->HotKey().IsRegistered());
    EXPECT_EQ(reload((0x21 << 16) | 6), "タスク トレイ(&T)\tCtrl+Shift+Page up");

    // A key held elsewhere fails silently: the label stays.
    GrabElsewhere(m_x.OpenClient(), kEnd, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1);
    EXPECT_EQ(reload((kVkEnd << 16) | 3), "タスク トレイ(&T)\tCtrl+Shift+Page up");
    EXPECT_FALSE(frame->Window()->HotKey().IsRegistered());

    EXPECT_EQ(reload(0), "タスク トレイ(&T)\tCtrl+Alt+F9");
}
