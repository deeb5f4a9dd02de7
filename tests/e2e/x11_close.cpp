#include "support/xvfb.h"

#include <X11/Xlib.h>

#include <cstdlib>

namespace parktotals::testing {

// What a window manager sends when someone clicks a window's close box.
bool AskWindowToClose(const std::string& display, unsigned long window) {
    Display* x = XOpenDisplay(display.c_str());
    if (x == nullptr) return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(x, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(x, window, False, NoEventMask, &event) != 0;
    XCloseDisplay(x); // flushes
    return sent;
}

} // namespace parktotals::testing
