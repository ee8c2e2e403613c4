// The toolkit's message queue: posted messages, X events translated into
// window messages, and the owed repaint, taken in that order.

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <deque>

#include "toolkit/window.h"

namespace tessel::toolkit {

namespace {

std::deque<message> g_posted;      // posted messages, the quit request among them
std::deque<message> g_translated;  // messages translated from one X event, not yet taken

std::int32_t key_status_of(unsigned int state) {
    std::int32_t status = 0;
    if (state & ShiftMask) status |= STATUS_SHIFT;
    if (state & ControlMask) status |= STATUS_CONTROL;
    return status;
}

std::uintptr_t held_buttons_of(unsigned int state) {
    std::uintptr_t held = 0;
    if (state & Button1Mask) held |= MK_LBUTTON;
    if (state & Button3Mask) held |= MK_RBUTTON;
    if (state & Button2Mask) held |= MK_MBUTTON;
    return held;
}

std::uintptr_t virtual_key_of(KeySym sym) {
    switch (sym) {
        case XK_Return:
        case XK_KP_Enter:
            return VK_RETURN;
        case XK_Escape:
            return VK_ESCAPE;
        case XK_space:
        case XK_KP_Space:
            return VK_SPACE;
        case XK_Home:
        case XK_KP_Home:
            return VK_HOME;
        case XK_Prior:
        case XK_KP_Prior:
            return VK_PRIOR;
        case XK_Next:
        case XK_KP_Next:
            return VK_NEXT;
        case XK_Left:
        case XK_KP_Left:
            return VK_LEFT;
        case XK_Up:
        case XK_KP_Up:
            return VK_UP;
        case XK_Right:
        case XK_KP_Right:
            return VK_RIGHT;
        case XK_Down:
        case XK_KP_Down:
            return VK_DOWN;
        default:
            break;
    }
    if (sym >= XK_a && sym <= XK_z) return 'A' + (sym - XK_a);
    if (sym >= XK_A && sym <= XK_Z) return 'A' + (sym - XK_A);
    if (sym >= XK_0 && sym <= XK_9) return '0' + (sym - XK_0);
    return 0;
}

void emit(std::uint32_t code, std::uintptr_t wparam, std::intptr_t lparam,
          std::int32_t key_status = 0) {
    g_translated.push_back(message{g_window.window, code, wparam, lparam, key_status});
}

void translate_key(XKeyEvent& event) {
    char text[16];
    KeySym sym = NoSymbol;
    const int length = XLookupString(&event, text, sizeof text, &sym, nullptr);
    const std::int32_t status = key_status_of(event.state);
    const std::uintptr_t virtual_key = virtual_key_of(sym);
    if (virtual_key) emit(WM_KEYDOWN, virtual_key, 0, status);
    // Translation: the characters a key press types follow its key-down.
    for (int i = 0; i < length; ++i)
        emit(WM_CHAR, static_cast<unsigned char>(text[i]), 0, status);
}

void translate_button(const XButtonEvent& event, bool press) {
    std::uint32_t code = 0;
    switch (event.button) {
        case Button1:
            code = press ? WM_LBUTTONDOWN : WM_LBUTTONUP;
            break;
        case Button3:
            code = press ? WM_RBUTTONDOWN : WM_RBUTTONUP;
            break;
        case Button2:
            code = press ? WM_MBUTTONDOWN : WM_MBUTTONUP;
            break;
        case Button4:
        case Button5:
            // One notch is a press and a release at once; the press is the notch.
            if (press) {
                const int turn = event.button == Button4 ? WHEEL_DELTA : -WHEEL_DELTA;
                emit(WM_MOUSEWHEEL,
                     held_buttons_of(event.state) | (static_cast<std::uintptr_t>(turn & 0xFFFF) << 16),
                     make_lparam(event.x, event.y), key_status_of(event.state));
            }
            return;
        default:
            return;  // sideways scrolling and extra buttons mean nothing to the window
    }
    emit(code, held_buttons_of(event.state), make_lparam(event.x, event.y),
         key_status_of(event.state));
}

void translate_configure(const XConfigureEvent& event) {
    int x = event.x;
    int y = event.y;
    // Without a window manager, or for its synthetic notices, the position is
    // on the root already; a reparenting manager reports it in its frame.
    if (!event.send_event) {
        Window child = 0;
        grab_x_errors();
        XTranslateCoordinates(g_window.display, event.window,
                              RootWindow(g_window.display, g_window.screen), 0, 0, &x, &y,
                              &child);
        if (release_x_errors()) return;  // already gone
    }
    if (x != g_window.record.x || y != g_window.record.y) emit(WM_MOVE, 0, make_lparam(x, y));
    if (!g_window.minimised &&
        (event.width != g_window.record.width || event.height != g_window.record.height))
        emit(WM_SIZE, 0, make_lparam(event.width, event.height));
}

void translate(XEvent& event) {
    if (!g_window.window || event.xany.window != g_window.window) return;
    switch (event.type) {
        case KeyPress:
            translate_key(event.xkey);
            break;
        case ButtonPress:
        case ButtonRelease:
            translate_button(event.xbutton, event.type == ButtonPress);
            break;
        case MotionNotify:
            emit(WM_MOUSEMOVE, held_buttons_of(event.xmotion.state),
                 make_lparam(event.xmotion.x, event.xmotion.y), key_status_of(event.xmotion.state));
            break;
        case Expose:
            request_redraw(g_window.window);
            break;
        case ConfigureNotify:
            translate_configure(event.xconfigure);
            break;
        case MapNotify:
            g_window.mapped = true;
            if (g_window.minimised) {
                g_window.minimised = false;
                XWindowAttributes attributes;
                grab_x_errors();
                const Status ok = XGetWindowAttributes(g_window.display, g_window.window, &attributes);
                if (!release_x_errors() && ok)
                    emit(WM_SIZE, 0, make_lparam(attributes.width, attributes.height));
            }
            break;
        case UnmapNotify:
            // A window that leaves the screen has been minimised: it has no
            // client area to draw into until it comes back.
            if (g_window.mapped && !g_window.minimised) {
                g_window.minimised = true;
                emit(WM_SIZE, 0, make_lparam(0, 0));
            }
            break;
        case FocusIn:
        case FocusOut:
            if (event.xfocus.mode == NotifyGrab || event.xfocus.mode == NotifyUngrab) break;
            emit(WM_ACTIVATE,
                 (event.type == FocusIn ? WA_ACTIVE : WA_INACTIVE) |
                     (g_window.minimised ? std::uintptr_t{1} << 16 : 0),
                 0);
            break;
        case ClientMessage:
            if (event.xclient.message_type == g_window.wm_protocols &&
                static_cast<unsigned long>(event.xclient.data.l[0]) == g_window.wm_delete_window)
                emit(WM_CLOSE, 0, 0);
            break;
        case DestroyNotify:
            // Destroyed by someone else; our own destruction has already run
            // the close-down and forgotten the window.
            if (event.xdestroywindow.window == g_window.window) {
                const window_handle window = g_window.window;
                g_window.window = 0;  // nothing may be asked of the server about it now
                emit(WM_DESTROY, 0, 0);
                g_translated.back().window = window;
            }
            break;
        default:
            break;
    }
}

bool take_posted(message* out, bool take_quit) {
    auto it = std::find_if(g_posted.begin(), g_posted.end(), [take_quit](const message& m) {
        return take_quit || m.code != WM_QUIT;
    });
    if (it == g_posted.end()) return false;
    *out = *it;
    g_posted.erase(it);
    return true;
}

}  // namespace

void post_message(window_handle window, std::uint32_t code, std::uintptr_t wparam,
                  std::intptr_t lparam) {
    g_posted.push_back(message{window, code, wparam, lparam, 0});
}

void post_quit_message(int exit_code) {
    post_message(0, WM_QUIT, static_cast<std::uintptr_t>(exit_code), 0);
}

bool message_posted(window_handle window, std::uint32_t code) {
    return std::any_of(g_posted.begin(), g_posted.end(), [&](const message& m) {
        return m.window == window && m.code == code;
    });
}

std::size_t posted_count(std::uint32_t code) {
    return static_cast<std::size_t>(std::count_if(
        g_posted.begin(), g_posted.end(), [code](const message& m) { return m.code == code; }));
}

void discard_posted(std::uint32_t code, std::size_t keep_first) {
    std::size_t seen = 0;
    std::erase_if(g_posted, [&](const message& m) { return m.code == code && seen++ >= keep_first; });
}

void clear_posted_messages() {
    g_posted.clear();
    g_translated.clear();
}

bool next_message(message* out, bool take_quit) {
    if (take_posted(out, take_quit)) return true;
    for (;;) {
        if (!g_translated.empty()) {
            *out = g_translated.front();
            g_translated.pop_front();
            return true;
        }
        if (!g_window.display || XPending(g_window.display) == 0) break;
        XEvent event;
        XNextEvent(g_window.display, &event);
        translate(event);
    }
    take_due_repaint();
    if (g_window.paint_pending && g_window.window) {
        *out = message{g_window.window, WM_PAINT, 0, 0, 0};
        return true;
    }
    return false;
}

void dispatch_message(const message& m) {
    g_window.key_status = m.key_status;
    window_procedure(m.window, m.code, m.wparam, m.lparam);
}

bool take_due_repaint() {
    if (!g_window.repaint_timed || redisplay_due_in() != 0) return false;
    g_window.repaint_timed = false;
    request_redraw(g_window.window);
    return true;
}

void wait_for_x_input() {
    if (!g_window.display) return;
    XFlush(g_window.display);
    if (XEventsQueued(g_window.display, QueuedAlready) > 0) return;
    pollfd fd{ConnectionNumber(g_window.display), POLLIN, 0};
    // Woken by the timed repaint too: the caller's next look at the queue
    // finds it due.
    while (poll(&fd, 1, redisplay_due_in()) < 0 && errno == EINTR) {
    }
}

}  // namespace tessel::toolkit

int toolkit_connection_fd() {
    using tessel::toolkit::g_window;
    return g_window.display ? ConnectionNumber(g_window.display) : -1;
}

bool dispatch_pending_events() {
    using namespace tessel::toolkit;
    bool any = false;
    message m;
    while (next_message(&m, false)) {
        dispatch_message(m);
        any = true;
    }
    return any;
}
