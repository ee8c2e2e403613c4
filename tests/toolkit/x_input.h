#pragma once
// A second X connection for tests: it plays the user and the window manager
// towards the toolkit's window (real events through the real server) and
// looks at what the server holds. No X header needed by its users.

#include <string>
#include <vector>

namespace xinput {

bool open();
void close();
void sync();

// KeyPress of a named keysym ("Return", "a", "Left"), with Shift and/or
// Control held (STATUS_* bits).
void send_key(unsigned long window, const char* keysym, int status);
// Button 1, 2 or 3 pressed or released at (x, y), with the buttons held
// before the event (1 left, 2 middle, 3 right as bits 1 << (n - 1)).
void send_button(unsigned long window, int button, bool press, int x, int y, int held);
void send_motion(unsigned long window, int x, int y, int held);
// The close box: WM_PROTOCOLS / WM_DELETE_WINDOW.
void send_delete_window(unsigned long window);

void resize(unsigned long window, int width, int height);
void unmap(unsigned long window);
void map(unsigned long window);
void destroy(unsigned long window);
void focus(unsigned long window);

bool exists(unsigned long window);
std::string wm_class(unsigned long window);  // "name.class"
std::string wm_name(unsigned long window);
// The window's _NET_WM_ICON cardinals, empty when it has none.
std::vector<unsigned long> net_wm_icon(unsigned long window);

struct geometry {
    int x, y, width, height;
};
geometry root_geometry(unsigned long window);

struct normal_hints {
    long flags;
    int x, y, width, height;
};
normal_hints wm_normal_hints(unsigned long window);
// USPosition, PPosition, USSize flag values.
long us_position();
long p_position();
long us_size();

}  // namespace xinput
