// The toolkit's front layer: what the rest of the program calls.

#include "toolkit/front.h"

#include <GL/gl.h>
#include <GL/glx.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "toolkit/window.h"

namespace tessel::toolkit {

front_state g_front;

namespace {

std::int32_t dispatch_mouse(const mouse_table& table, std::int32_t event, std::int32_t x,
                            std::int32_t y, std::int32_t status) {
    std::int32_t ran = 0;
    for (std::int32_t i = 0; i < table.count; ++i) {
        const mouse_binding& binding = table.entries[i];
        for (std::int32_t button :
             {BUTTON_LEFT, BUTTON_RIGHT, BUTTON_MIDDLE, BUTTON_WHEEL_UP, BUTTON_WHEEL_DOWN}) {
            if (binding.buttons != (status & button)) continue;
            mouse_event_record record{event, x, y, 0, button};
            binding.handler(&record);
            ran = 1;
        }
    }
    return ran;
}

// The size run_event_loop hands the reshape handler before the first
// message: the real client area, or the record's when there is no window.
void client_size(std::int32_t* width, std::int32_t* height) {
    *width = g_window.record.width;
    *height = g_window.record.height;
    if (!g_window.window || !g_window.display) return;
    XWindowAttributes attributes;
    grab_x_errors();
    const Status ok = XGetWindowAttributes(g_window.display, g_window.window, &attributes);
    if (!release_x_errors() && ok) {
        *width = attributes.width;
        *height = attributes.height;
    }
}

// Whether anything could ever arrive while waiting: without a connection
// and without an application pump, nothing will.
bool can_wait() { return g_window.display || g_front.pump; }

}  // namespace

void default_reshape(std::int32_t width, std::int32_t height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, static_cast<double>(width), 0.0, static_cast<double>(height), -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

std::int32_t key_dispatcher(std::int32_t key, std::int32_t) {
    std::int32_t ran = 0;
    for (std::int32_t i = 0; i < g_front.key_count; ++i) {
        if (g_front.keys[i].key != key) continue;
        g_front.keys[i].handler();
        ran = 1;
    }
    return ran;
}

std::int32_t mouse_down_dispatcher(std::int32_t x, std::int32_t y, std::int32_t status) {
    return dispatch_mouse(g_front.mouse_down, EVENT_MOUSE_DOWN, x, y, status);
}

std::int32_t mouse_up_dispatcher(std::int32_t x, std::int32_t y, std::int32_t status) {
    return dispatch_mouse(g_front.mouse_up, EVENT_MOUSE_UP, x, y, status);
}

std::int32_t mouse_move_dispatcher(std::int32_t x, std::int32_t y, std::int32_t status) {
    return dispatch_mouse(g_front.mouse_move, EVENT_MOUSE_MOVE, x, y, status);
}

bool bind_mouse(mouse_table& table, std::int32_t buttons, mouse_binding_handler handler) {
    if (table.count >= static_cast<std::int32_t>(MOUSE_TABLE_CAPACITY)) return false;
    table.entries[table.count++] = mouse_binding{buttons, handler};
    return true;
}

}  // namespace tessel::toolkit

using namespace tessel::toolkit;

void set_display_mode(std::int32_t mode) {
    g_front.mode = mode;
    g_window.mode = mode;
}

void set_window_geometry(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) {
    window_record& r = g_window.record;
    r.use_default_position = x == INT32_MIN;
    if (r.use_default_position) x = y = 0;
    r.x = client_left(x);
    r.y = client_top(y);
    r.width = width;
    r.height = height;
}

std::int32_t open_window(const char* title) {
    const std::size_t quits_before = posted_count(WM_QUIT);
    if (!create_gl_window(title)) {
        if (g_front.mode & DM_DOUBLE) return 0;
        // A first attempt that got as far as a window left a quit request
        // behind; it must not end the second window's event loop at once.
        discard_posted(WM_QUIT, quits_before);
        g_window.mode = g_front.mode | DM_DOUBLE;
        if (!create_gl_window(title)) return 0;
        show_message_box("Warning",
                         "Can't initialize a single buffer visual. Will use a double buffer "
                         "visual instead, only drawing into the front buffer.");
        g_front.mode |= DM_DOUBLE;
        g_front.draw_to_front = true;
    } else {
        g_front.draw_to_front = false;
    }
    g_window.reshape = default_reshape;
    g_window.key = key_dispatcher;
    g_window.mouse_down = mouse_down_dispatcher;
    g_window.mouse_up = mouse_up_dispatcher;
    g_window.mouse_move = mouse_move_dispatcher;
    bind_key(KEY_ESCAPE, close_and_exit);

    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearIndex(0.0f);
    glLoadIdentity();
    if (g_front.draw_to_front) glDrawBuffer(GL_FRONT);
    return 1;
}

void set_reshape_handler(reshape_handler handler) { g_window.reshape = handler; }

void set_idle_handler(idle_handler handler) { g_window.idle = handler; }

void run_event_loop(display_handler display) {
    g_window.display_fn = display;
    if (g_window.reshape) {
        std::int32_t width = 0;
        std::int32_t height = 0;
        client_size(&width, &height);
        g_window.reshape(width, height);
    }
    message m;
    for (;;) {
        if (next_message(&m, true)) {
            if (m.code == WM_QUIT) return;
            dispatch_message(m);
            continue;
        }
        // The application's events count as messages of this thread too.
        if (g_front.pump && g_front.pump(false)) continue;
        if (g_window.idle) {
            g_window.idle();
            continue;
        }
        if (!can_wait()) return;
        if (g_front.pump)
            g_front.pump(true);
        else
            wait_for_x_input();
    }
}

void bind_key(std::int32_t key, key_binding_handler handler) {
    // A full table drops the binding: writing past its end would trample
    // whatever lies behind it.
    if (g_front.key_count >= static_cast<std::int32_t>(KEY_TABLE_CAPACITY)) return;
    g_front.keys[g_front.key_count++] = key_binding{key, handler};
}

bool bind_mouse_event(std::int32_t event, std::int32_t buttons, mouse_binding_handler handler) {
    switch (event) {
        case EVENT_MOUSE_DOWN:
            return bind_mouse(g_front.mouse_down, buttons, handler);
        case EVENT_MOUSE_UP:
            return bind_mouse(g_front.mouse_up, buttons, handler);
        case EVENT_MOUSE_MOVE:
            return bind_mouse(g_front.mouse_move, buttons, handler);
        default:
            return false;
    }
}

std::int32_t current_key_status() { return g_window.key_status; }

void present_frame() {
    if (!g_window.window || !g_window.display || !g_window.device_context) return;
    // Drawing that goes to the front buffer is already on screen; swapping
    // would show the stale back buffer instead.
    if (g_front.draw_to_front) {
        glFlush();
        return;
    }
    glXSwapBuffers(g_window.display, g_window.device_context);
}

void post_redisplay() { request_redraw(g_window.window); }

void post_redisplay_after(std::int32_t delay_ms) {
    if (!g_window.window) return;
    g_window.repaint_timed = true;
    g_window.repaint_at = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(delay_ms, 0));
}

std::int32_t redisplay_due_in() {
    if (!g_window.repaint_timed || !g_window.window) return -1;
    const auto left = g_window.repaint_at - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return 0;
    // Rounded up, so that a sleep of this long ends with the repaint due.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<std::int32_t>(std::min<std::int64_t>(ms, INT32_MAX));
}

void close_and_exit() {
    if (g_window.window) destroy_gl_window(g_window.window);
    if (g_front.on_exit) g_front.on_exit();
    std::fflush(nullptr);
    std::exit(0);
}

void set_event_pump(event_pump pump) { g_front.pump = pump; }

void set_exit_hook(exit_hook hook) { g_front.on_exit = hook; }
