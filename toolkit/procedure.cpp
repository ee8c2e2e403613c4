// The window procedure: every message of the GL window, whether translated
// from an X event or posted by the toolkit, is handled here, and only here
// are the handler slots called.

#include <GL/glx.h>

#include <cstdlib>

#include "toolkit/window.h"

namespace tessel::toolkit {

namespace {

// Key-down codes that reach the key handler; everything else is ignored.
std::int32_t key_code(std::uintptr_t virtual_key) {
    switch (virtual_key) {
        case VK_RETURN:
        case VK_ESCAPE:
        case VK_SPACE:
        case VK_PRIOR:
        case VK_NEXT:
        case VK_HOME:
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN:
            return static_cast<std::int32_t>(virtual_key);
        default:
            return 0;
    }
}

bool accepted_character(std::uintptr_t c) {
    // '+', '-' and '=' (plus without Shift on most layouts) are the zoom keys.
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '+' ||
           c == '-' || c == '=';
}

std::int32_t held_buttons(std::uintptr_t wparam) {
    std::int32_t status = 0;
    if (wparam & MK_LBUTTON) status |= BUTTON_LEFT;
    if (wparam & MK_RBUTTON) status |= BUTTON_RIGHT;
    if (wparam & MK_MBUTTON) status |= BUTTON_MIDDLE;
    return status;
}

std::int32_t button_of(std::uint32_t code) {
    switch (code) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
            return BUTTON_LEFT;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
            return BUTTON_RIGHT;
        default:
            return BUTTON_MIDDLE;
    }
}

void on_size(window_handle window, std::intptr_t lparam) {
    g_window.record.width = low_word(lparam);
    g_window.record.height = high_word(lparam);
    if (g_window.reshape) {
        g_window.reshape(g_window.record.width, g_window.record.height);
        request_redraw(window);
    }
}

void on_paint() {
    // Painting validates the window: the owed repaint is paid now.
    g_window.paint_pending = false;
    if (g_window.display_fn) g_window.display_fn();
}

void on_key(window_handle window, std::int32_t code) {
    if (code && g_window.key && g_window.key(code, g_window.key_status)) request_redraw(window);
}

// Pointer capture needs nothing here: X grabs the pointer for the window
// from a button press to its release, so the release always comes back.
// Positions are signed: while a button holds the pointer, a drag goes on
// left of or above the window.
void on_mouse(window_handle window, mouse_slot slot, std::intptr_t lparam,
              std::int32_t status) {
    if (slot && slot(signed_low_word(lparam), signed_high_word(lparam), status))
        request_redraw(window);
}

// Each notch reaches the mouse-down slot as one press of its wheel button.
void on_wheel(window_handle window, std::uintptr_t wparam, std::intptr_t lparam) {
    const int turn = signed_high_word(static_cast<std::intptr_t>(wparam));
    const std::int32_t button = turn > 0 ? BUTTON_WHEEL_UP : BUTTON_WHEEL_DOWN;
    for (int notches = std::abs(turn) / WHEEL_DELTA; notches > 0; --notches)
        on_mouse(window, g_window.mouse_down, lparam, button);
}

std::intptr_t on_activate(window_handle window, std::uintptr_t wparam) {
    const bool active = (wparam & 0xFFFF) != WA_INACTIVE;
    const bool minimised = ((wparam >> 16) & 0xFFFF) != 0;
    if (!active) {
        g_palette.window_inactive = true;
        if (g_window.palette &&
            realise_palette(g_window.device_context, g_window.palette, 1) > 0)
            request_redraw(window);
        return 0;
    }
    if (minimised) return 0;
    g_palette.window_inactive = false;
    if (!g_window.palette) return 0;
    if (realise_palette(g_window.device_context, g_window.palette, 0) > 0) request_redraw(window);
    return 1;
}

void on_system_colour_change(window_handle window) {
    if (!g_window.device_context || !g_window.palette) return;
    pixel_format_descriptor pfd{};
    if (!describe_current_format(g_window.device_context, &pfd)) return;
    if (!(pfd.dwFlags & PFD_NEED_PALETTE) || pfd.iPixelType != PFD_TYPE_RGBA) return;
    const palette_handle old = g_window.palette;
    g_window.palette = 0;
    const palette_handle fresh = create_palette(g_window.device_context);
    if (fresh) {
        // The new palette is selected and realised already; the old one
        // only has to go.
        delete_palette(old);
        g_window.palette = fresh;
        request_redraw(window);
    } else {
        g_window.palette = old;
    }
}

}  // namespace

std::intptr_t window_procedure(window_handle window, std::uint32_t code, std::uintptr_t wparam,
                               std::intptr_t lparam) {
    switch (code) {
        case WM_DESTROY:
            close_down();
            post_quit_message(1);
            return 0;
        case WM_MOVE:
            g_window.record.x = low_word(lparam);
            g_window.record.y = high_word(lparam);
            return 0;
        case WM_SIZE:
            on_size(window, lparam);
            return 0;
        case WM_ACTIVATE:
            return on_activate(window, wparam);
        case WM_PAINT:
            on_paint();
            return 0;
        case WM_CLOSE:
            destroy_gl_window(g_window.window);
            return 0;
        case WM_SYSCOLORCHANGE:
            on_system_colour_change(window);
            return 0;
        case WM_KEYDOWN:
            on_key(window, key_code(wparam));
            return 0;
        case WM_CHAR:
            on_key(window, accepted_character(wparam) ? static_cast<std::int32_t>(wparam) : 0);
            return 0;
        case WM_MOUSEMOVE:
            on_mouse(window, g_window.mouse_move, lparam, held_buttons(wparam));
            return 0;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            on_mouse(window, g_window.mouse_down, lparam, button_of(code));
            return 0;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
            on_mouse(window, g_window.mouse_up, lparam, button_of(code));
            return 0;
        case WM_MOUSEWHEEL:
            on_wheel(window, wparam, lparam);
            return 0;
        case WM_QUERYNEWPALETTE:
            return 1;
        case WM_PALETTECHANGED:
            if (wparam != window && !static_colours_taken() && g_window.palette)
                realise_in_background(g_window.device_context, g_window.palette);
            return 0;
        case WM_USER:
            // A retried takeover; once the window has been deactivated the
            // colours belong to whichever window is in front now.
            if (g_window.palette && !g_palette.window_inactive &&
                realise_palette(g_window.device_context, g_window.palette, 0) > 0)
                request_redraw(window);
            return 0;
        default:
            return 0;
    }
}

void request_redraw(window_handle window) {
    if (!window || window != g_window.window) return;
    g_window.paint_pending = true;
}

void close_down() {
    if (g_window.palette) put_back_default_palette(g_window.device_context, g_window.palette);
    g_palette.window_inactive = false;
    if (g_window.context && g_window.display) {
        glXMakeCurrent(g_window.display, None, nullptr);
        glXDestroyContext(g_window.display, g_window.context);
    }
    if (g_window.colormap && g_window.display) XFreeColormap(g_window.display, g_window.colormap);
    g_window.window = 0;
    g_window.device_context = 0;
    g_window.context = nullptr;
    g_window.palette = 0;
    g_window.colormap = 0;
    g_window.format_number = 0;
    g_window.paint_pending = false;
    g_window.repaint_timed = false;
    g_window.reshape = nullptr;
    g_window.display_fn = nullptr;
    g_window.key = nullptr;
    g_window.mouse_down = nullptr;
    g_window.mouse_up = nullptr;
    g_window.mouse_move = nullptr;
    g_window.idle = nullptr;
}

}  // namespace tessel::toolkit
