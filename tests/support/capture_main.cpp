// tessel-test-capture WINDOW OUT.ppm: writes what WINDOW (an X window id,
// decimal or 0x hex, or "root") shows on $DISPLAY. Exit code 1 when there
// is no display, or the window is gone or not viewable.

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/support/x_capture.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s WINDOW|root OUT.ppm\n", argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "%s: cannot open the display\n", argv[0]);
        return 1;
    }
    const unsigned long window =
        std::strcmp(argv[1], "root") == 0 ? DefaultRootWindow(display) : std::strtoul(argv[1], nullptr, 0);
    const tessel::test::rgb_picture picture = tessel::test::capture_window(display, window);
    XCloseDisplay(display);
    if (picture.width == 0) {
        std::fprintf(stderr, "%s: window %s cannot be read\n", argv[0], argv[1]);
        return 1;
    }
    if (!tessel::test::write_ppm(picture, argv[2])) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
        return 1;
    }
    return 0;
}
