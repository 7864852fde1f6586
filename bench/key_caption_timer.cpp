// Presses a key in a top-level window and times the change of its caption.
//   key_caption_timer [--until-without TEXT] WINDOW_TEXT KEY COUNT [TIMEOUT_MS]
// Finds the top-level window whose caption contains WINDOW_TEXT, gives it the
// input focus, then COUNT times sends KEY ("ctrl+Tab", "ctrl+shift+w": ctrl,
// shift, Tab or a lower-case letter or digit, joined by "+") through the
// XTEST extension, as a keyboard would, and waits for the window's caption to
// change (with --until-without: until it no longer contains TEXT). Prints one
// line per press: the milliseconds from the key press to the caption's
// change, or "timeout". Exits 2 when there is
// no such window or no XTEST.
// bench/compare_browsers.py uses it for switching and closing tabs.
#include "XcbProperty.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

using benchutil::Atom;
using benchutil::NowNs;
using benchutil::Property;

int main(int argc, char** argv)
{
    int first = 1;
    std::string gone;
    if (argc > 2 && std::strcmp(argv[1], "--until-without") == 0) {
        gone = argv[2];
        first = 3;
    }
    if (argc - first < 3) {
        std::fprintf(stderr, "usage: key_caption_timer [--until-without TEXT] WINDOW_TEXT KEY COUNT [TIMEOUT_MS]\n");
        return 2;
    }
    const std::string windowText = argv[first];
    const std::string keyText = argv[first + 1];
    const int count = std::atoi(argv[first + 2]);
    const long long timeoutNs = (argc > first + 3 ? std::atoll(argv[first + 3]) : 10000) * 1000000LL;

    xcb_connection_t* c = benchutil::Connect("key_caption_timer");
    if (!c)
        return 2;
    const xcb_window_t root = benchutil::Root(c);
    const xcb_atom_t netName = Atom(c, "_NET_WM_NAME");
    const auto caption = [&](xcb_window_t window) {
        std::string name = Property(c, window, netName);
        return name.empty() ? Property(c, window, XCB_ATOM_WM_NAME) : name;
    };

    xcb_window_t window = XCB_WINDOW_NONE;
    if (xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr)) {
        const xcb_window_t* children = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree) && window == XCB_WINDOW_NONE; ++i)
            if (caption(children[i]).find(windowText) != std::string::npos)
                window = children[i];
        std::free(tree);
    }
    if (window == XCB_WINDOW_NONE) {
        std::fprintf(stderr, "key_caption_timer: no window shows \"%s\"\n", windowText.c_str());
        return 2;
    }

    // The key codes: modifiers first, the key last.
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(c);
    std::vector<xcb_keycode_t> codes;
    for (size_t start = 0; start <= keyText.size();) {
        size_t end = keyText.find('+', start);
        if (end == std::string::npos)
            end = keyText.size();
        const std::string name = keyText.substr(start, end - start);
        xcb_keysym_t sym = 0;
        if (name == "ctrl")
            sym = 0xffe3; // Control_L
        else if (name == "shift")
            sym = 0xffe1; // Shift_L
        else if (name == "Tab")
            sym = 0xff09;
        else if (name.size() == 1 && ((name[0] >= 'a' && name[0] <= 'z') || (name[0] >= '0' && name[0] <= '9')))
            sym = xcb_keysym_t(name[0]);
        xcb_keycode_t* found = sym ? xcb_key_symbols_get_keycode(symbols, sym) : nullptr;
        if (!found || !*found) {
            std::fprintf(stderr, "key_caption_timer: no key \"%s\"\n", name.c_str());
            return 2;
        }
        codes.push_back(*found);
        std::free(found);
        start = end + 1;
    }
    xcb_key_symbols_free(symbols);

    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &mask);
    xcb_set_input_focus(c, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    xcb_flush(c);
    usleep(500000); // the program activates its window on the focus

    const auto send = [&](uint8_t type, xcb_keycode_t code) {
        return xcb_test_fake_input_checked(c, type, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    };
    pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
    for (int press = 0; press < count; ++press) {
        const std::string before = caption(window);
        const long long start = NowNs();
        for (xcb_keycode_t code : codes)
            send(XCB_KEY_PRESS, code);
        for (size_t i = codes.size() - 1; i > 0; --i)
            send(XCB_KEY_RELEASE, codes[i]);
        if (xcb_generic_error_t* error = xcb_request_check(c, send(XCB_KEY_RELEASE, codes.front()))) {
            std::fprintf(stderr, "key_caption_timer: the X server has no XTEST\n");
            std::free(error);
            return 2;
        }
        long long changed = 0;
        while (!changed) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
                if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
                    auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
                    if (notify->window == window && (notify->atom == netName || notify->atom == XCB_ATOM_WM_NAME)) {
                        const std::string now = caption(window);
                        if (gone.empty() ? now != before : now.find(gone) == std::string::npos)
                            changed = NowNs();
                    }
                }
                std::free(event);
            }
            if (changed || xcb_connection_has_error(c))
                break;
            const long long left = start + timeoutNs - NowNs();
            if (left <= 0)
                break;
            poll(&fd, 1, int(left / 1000000) + 1);
        }
        if (changed)
            std::printf("%.2f\n", (changed - start) / 1e6);
        else
            std::printf("timeout\n");
        std::fflush(stdout);
        usleep(150000); // let the page paint before the next press
    }
    xcb_disconnect(c);
    return 0;
}
