#include "x_input.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>

#include "toolkit/toolkit.h"

namespace xinput {

namespace {

Display* g_display = nullptr;
int g_error = 0;

int note_error(Display*, XErrorEvent* e) {
    g_error = e->error_code;
    return 0;
}

unsigned modifier_state(int status) {
    unsigned state = 0;
    if (status & STATUS_SHIFT) state |= ShiftMask;
    if (status & STATUS_CONTROL) state |= ControlMask;
    return state;
}

unsigned button_state(int held) {
    unsigned state = 0;
    if (held & 1) state |= Button1Mask;
    if (held & 2) state |= Button2Mask;
    if (held & 4) state |= Button3Mask;
    return state;
}

void send(Window window, XEvent& event, long mask) {
    XSendEvent(g_display, window, False, mask, &event);
    XSync(g_display, False);
}

}  // namespace

bool open() {
    if (!g_display) g_display = XOpenDisplay(nullptr);
    return g_display != nullptr;
}

void close() {
    if (g_display) XCloseDisplay(g_display);
    g_display = nullptr;
}

void sync() { XSync(g_display, False); }

void send_key(unsigned long window, const char* keysym, int status) {
    XEvent event{};
    event.xkey.type = KeyPress;
    event.xkey.display = g_display;
    event.xkey.window = window;
    event.xkey.root = DefaultRootWindow(g_display);
    event.xkey.same_screen = True;
    event.xkey.state = modifier_state(status);
    event.xkey.keycode = XKeysymToKeycode(g_display, XStringToKeysym(keysym));
    send(window, event, KeyPressMask);
}

void send_button(unsigned long window, int button, bool press, int x, int y, int held) {
    XEvent event{};
    event.xbutton.type = press ? ButtonPress : ButtonRelease;
    event.xbutton.display = g_display;
    event.xbutton.window = window;
    event.xbutton.root = DefaultRootWindow(g_display);
    event.xbutton.same_screen = True;
    event.xbutton.button = static_cast<unsigned>(button);
    event.xbutton.state = button_state(held);
    event.xbutton.x = x;
    event.xbutton.y = y;
    send(window, event, press ? ButtonPressMask : ButtonReleaseMask);
}

void send_motion(unsigned long window, int x, int y, int held) {
    XEvent event{};
    event.xmotion.type = MotionNotify;
    event.xmotion.display = g_display;
    event.xmotion.window = window;
    event.xmotion.root = DefaultRootWindow(g_display);
    event.xmotion.same_screen = True;
    event.xmotion.state = button_state(held);
    event.xmotion.x = x;
    event.xmotion.y = y;
    send(window, event, PointerMotionMask);
}

void send_delete_window(unsigned long window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(g_display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(g_display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    send(window, event, NoEventMask);
}

void resize(unsigned long window, int width, int height) {
    XResizeWindow(g_display, window, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XSync(g_display, False);
}

void unmap(unsigned long window) {
    XUnmapWindow(g_display, window);
    XSync(g_display, False);
}

void map(unsigned long window) {
    XMapWindow(g_display, window);
    XSync(g_display, False);
}

void destroy(unsigned long window) {
    XDestroyWindow(g_display, window);
    XSync(g_display, False);
}

void focus(unsigned long window) {
    XSetInputFocus(g_display, window, RevertToPointerRoot, CurrentTime);
    XSync(g_display, False);
}

bool exists(unsigned long window) {
    g_error = 0;
    const XErrorHandler previous = XSetErrorHandler(note_error);
    XWindowAttributes attributes;
    const Status ok = XGetWindowAttributes(g_display, window, &attributes);
    XSync(g_display, False);
    XSetErrorHandler(previous);
    return ok && g_error == 0;
}

std::string wm_class(unsigned long window) {
    XClassHint hint{};
    if (!XGetClassHint(g_display, window, &hint)) return {};
    std::string result = std::string(hint.res_name ? hint.res_name : "") + "." +
                         (hint.res_class ? hint.res_class : "");
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    return result;
}

std::string wm_name(unsigned long window) {
    char* name = nullptr;
    if (!XFetchName(g_display, window, &name) || !name) return {};
    std::string result = name;
    XFree(name);
    return result;
}

std::vector<unsigned long> net_wm_icon(unsigned long window) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom icon = XInternAtom(g_display, "_NET_WM_ICON", False);
    std::vector<unsigned long> result;
    if (XGetWindowProperty(g_display, window, icon, 0, 1 << 20, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) == Success && data) {
        if (format == 32) {
            // Xlib hands 32-bit items back as (sign-extended) longs.
            const long* values = reinterpret_cast<const long*>(data);
            for (unsigned long i = 0; i < count; ++i) result.push_back(static_cast<unsigned long>(values[i]) & 0xFFFFFFFFul);
        }
        XFree(data);
    }
    return result;
}

geometry root_geometry(unsigned long window) {
    XWindowAttributes attributes{};
    XGetWindowAttributes(g_display, window, &attributes);
    int x = 0;
    int y = 0;
    Window child = 0;
    XTranslateCoordinates(g_display, window, DefaultRootWindow(g_display), 0, 0, &x, &y, &child);
    return {x, y, attributes.width, attributes.height};
}

normal_hints wm_normal_hints(unsigned long window) {
    XSizeHints hints{};
    long supplied = 0;
    if (!XGetWMNormalHints(g_display, window, &hints, &supplied)) return {};
    return {hints.flags, hints.x, hints.y, hints.width, hints.height};
}

long us_position() { return USPosition; }
long p_position() { return PPosition; }
long us_size() { return USSize; }

}  // namespace xinput
