// Waits on the X server for a top-level window whose caption contains TEXT.
//   caption_watch TEXT [TIMEOUT_MS]
// Prints "ready" once it listens, then, at the first matching caption, the
// CLOCK_MONOTONIC time in nanoseconds and exits 0; exits 1 on timeout.
// bench/compare_browsers.py starts the program under test after "ready", so
// no caption can be missed and no polling adds load.
#include "XcbProperty.h"

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <string>

using benchutil::Atom;
using benchutil::NowNs;
using benchutil::Property;

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: caption_watch TEXT [TIMEOUT_MS]\n");
        return 2;
    }
    const std::string text = argv[1];
    const long long deadline = NowNs() + (argc > 2 ? std::atoll(argv[2]) : 60000) * 1000000LL;

    xcb_connection_t* c = benchutil::Connect("caption_watch");
    if (!c)
        return 2;
    const xcb_window_t root = benchutil::Root(c);
    const xcb_atom_t netName = Atom(c, "_NET_WM_NAME");
    const uint32_t rootMask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &rootMask);

    auto matches = [&](xcb_window_t window) {
        return Property(c, window, netName).find(text) != std::string::npos
               || Property(c, window, XCB_ATOM_WM_NAME).find(text) != std::string::npos;
    };
    const uint32_t windowMask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_flush(c);
    std::printf("ready\n");
    std::fflush(stdout);

    pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            xcb_window_t candidate = XCB_WINDOW_NONE;
            switch (event->response_type & 0x7f) {
            case XCB_CREATE_NOTIFY: {
                candidate = reinterpret_cast<xcb_create_notify_event_t*>(event)->window;
                xcb_change_window_attributes(c, candidate, XCB_CW_EVENT_MASK, &windowMask);
                break;
            }
            case XCB_PROPERTY_NOTIFY: {
                auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
                if (notify->atom == netName || notify->atom == XCB_ATOM_WM_NAME)
                    candidate = notify->window;
                break;
            }
            default:
                break;
            }
            std::free(event);
            if (candidate != XCB_WINDOW_NONE && matches(candidate)) {
                std::printf("%lld\n", NowNs());
                return 0;
            }
        }
        if (xcb_connection_has_error(c))
            return 2;
        const long long left = deadline - NowNs();
        if (left <= 0)
            return 1;
        poll(&fd, 1, int(left / 1000000) + 1);
    }
}
