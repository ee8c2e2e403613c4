// Window creation over Xlib + GLX.

#include "toolkit/window.h"

#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <bit>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace tessel::toolkit {

window_state g_window;

message_box_function g_message_box = nullptr;  // nullptr: write to stderr

namespace {

// X reports protocol errors asynchronously through a process-wide handler.
// Creation steps that can fail that way install this one for their duration.
int g_x_error = 0;
XErrorHandler g_previous_handler = nullptr;

int record_x_error(Display*, XErrorEvent* event) {
    g_x_error = event->error_code;
    return 0;
}

}  // namespace

void grab_x_errors() {
    g_x_error = 0;
    g_previous_handler = XSetErrorHandler(record_x_error);
}

bool release_x_errors() {
    XSync(g_window.display, False);
    XSetErrorHandler(g_previous_handler);
    return g_x_error != 0;
}

namespace {


std::uint8_t mask_shift(unsigned long mask) {
    return mask ? static_cast<std::uint8_t>(std::countr_zero(mask)) : 0;
}

int glx_value(Display* display, XVisualInfo* info, int attribute) {
    int value = 0;
    if (glXGetConfig(display, info, attribute, &value) != 0) return 0;
    return value;
}

described_format describe_visual(Display* display, XVisualInfo* info) {
    described_format f;
    pixel_format_descriptor& pfd = f.pfd;
    pfd.nSize = sizeof(pixel_format_descriptor);
    pfd.nVersion = 1;
    // Every visual can back a window; GLX says whether OpenGL can draw there.
    pfd.dwFlags = PFD_DRAW_TO_WINDOW;
    if (glx_value(display, info, GLX_USE_GL)) pfd.dwFlags |= PFD_SUPPORT_OPENGL;
    if (glx_value(display, info, GLX_DOUBLEBUFFER)) pfd.dwFlags |= PFD_DOUBLEBUFFER;
    if (glx_value(display, info, GLX_STEREO)) pfd.dwFlags |= PFD_STEREO;
    const bool rgba = glx_value(display, info, GLX_RGBA) != 0;
    pfd.iPixelType = rgba ? PFD_TYPE_RGBA : PFD_TYPE_COLORINDEX;
    pfd.cRedBits = static_cast<std::uint8_t>(glx_value(display, info, GLX_RED_SIZE));
    pfd.cGreenBits = static_cast<std::uint8_t>(glx_value(display, info, GLX_GREEN_SIZE));
    pfd.cBlueBits = static_cast<std::uint8_t>(glx_value(display, info, GLX_BLUE_SIZE));
    pfd.cAlphaBits = static_cast<std::uint8_t>(glx_value(display, info, GLX_ALPHA_SIZE));
    if (rgba) {
        pfd.cColorBits = static_cast<std::uint8_t>(pfd.cRedBits + pfd.cGreenBits + pfd.cBlueBits);
        pfd.cRedShift = mask_shift(info->red_mask);
        pfd.cGreenShift = mask_shift(info->green_mask);
        pfd.cBlueShift = mask_shift(info->blue_mask);
        if (pfd.cAlphaBits) {
            const unsigned long colour = info->red_mask | info->green_mask | info->blue_mask;
            pfd.cAlphaShift = mask_shift(~colour & 0xFFFFFFFFul);
        }
        // Colours of an RGBA visual whose pixel values index a colormap only
        // come out right once that colormap is filled: the palette's job.
        if (info->c_class == PseudoColor || info->c_class == GrayScale ||
            info->c_class == DirectColor)
            pfd.dwFlags |= PFD_NEED_PALETTE;
    } else {
        pfd.cColorBits = static_cast<std::uint8_t>(glx_value(display, info, GLX_BUFFER_SIZE));
    }
    pfd.cAccumRedBits = static_cast<std::uint8_t>(glx_value(display, info, GLX_ACCUM_RED_SIZE));
    pfd.cAccumGreenBits = static_cast<std::uint8_t>(glx_value(display, info, GLX_ACCUM_GREEN_SIZE));
    pfd.cAccumBlueBits = static_cast<std::uint8_t>(glx_value(display, info, GLX_ACCUM_BLUE_SIZE));
    pfd.cAccumAlphaBits = static_cast<std::uint8_t>(glx_value(display, info, GLX_ACCUM_ALPHA_SIZE));
    pfd.cAccumBits = static_cast<std::uint8_t>(pfd.cAccumRedBits + pfd.cAccumGreenBits +
                                               pfd.cAccumBlueBits + pfd.cAccumAlphaBits);
    pfd.cDepthBits = static_cast<std::uint8_t>(glx_value(display, info, GLX_DEPTH_SIZE));
    pfd.cStencilBits = static_cast<std::uint8_t>(glx_value(display, info, GLX_STENCIL_SIZE));
    pfd.cAuxBuffers = static_cast<std::uint8_t>(glx_value(display, info, GLX_AUX_BUFFERS));
    const int level = glx_value(display, info, GLX_LEVEL);
    pfd.iLayerType = level == 0 ? PFD_MAIN_PLANE : level > 0 ? 1 : 0xFF;
    f.samples = glx_value(display, info, GLX_SAMPLES);
    f.slow = glx_value(display, info, GLX_VISUAL_CAVEAT_EXT) == GLX_SLOW_VISUAL_EXT;
    f.visual = info->visualid;
    return f;
}

XVisualInfo* find_visual(unsigned long id) {
    XVisualInfo wanted{};
    wanted.visualid = id;
    wanted.screen = g_window.screen;
    int count = 0;
    return XGetVisualInfo(g_window.display, VisualIDMask | VisualScreenMask, &wanted, &count);
}

// The title is 8-bit Latin-1 text; window managers that read the modern
// name property want it in UTF-8.
std::string latin1_to_utf8(const char* text) {
    std::string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p < 0x80) {
            out += static_cast<char>(*p);
        } else {
            out += static_cast<char>(0xC0 | (*p >> 6));
            out += static_cast<char>(0x80 | (*p & 0x3F));
        }
    }
    return out;
}

void describe_window(Window window, const char* title) {
    Display* display = g_window.display;
    const window_record& r = g_window.record;

    XClassHint class_hint;
    char class_name[] = "tkLibWClass";
    class_hint.res_name = class_name;
    class_hint.res_class = class_name;
    XSetClassHint(display, window, &class_hint);

    XStoreName(display, window, title ? title : "");
    const std::string utf8 = latin1_to_utf8(title ? title : "");
    XChangeProperty(display, window, g_window.net_wm_name, g_window.utf8_string, 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(utf8.data()),
                    static_cast<int>(utf8.size()));

    XSizeHints* size = XAllocSizeHints();
    if (size) {
        size->flags = USSize | PSize | PWinGravity;
        size->width = r.width;
        size->height = r.height;
        // The position names the outer corner of the frame, which is what
        // north-west gravity makes a window manager honour.
        size->win_gravity = NorthWestGravity;
        if (!r.use_default_position) {
            size->flags |= USPosition | PPosition;
            size->x = outer_left(r.x);
            size->y = outer_top(r.y);
        }
        XSetWMNormalHints(display, window, size);
        XFree(size);
    }

    XWMHints* hints = XAllocWMHints();
    if (hints) {
        hints->flags = InputHint | StateHint;
        hints->input = True;
        hints->initial_state = NormalState;
        XSetWMHints(display, window, hints);
        XFree(hints);
    }

    Atom protocols[] = {g_window.wm_delete_window};
    XSetWMProtocols(display, window, protocols, 1);
    apply_window_icon(window);
}

}  // namespace

void apply_window_icon(window_handle window) {
    if (!g_window.display || !window || !g_window.net_wm_icon) return;
    if (g_window.icon.empty()) {
        XDeleteProperty(g_window.display, window, g_window.net_wm_icon);
        return;
    }
    // Xlib wants 32-bit properties as longs.
    XChangeProperty(g_window.display, window, g_window.net_wm_icon, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(g_window.icon.data()),
                    static_cast<int>(g_window.icon.size()));
}

void show_message_box(const char* caption, const char* text) {
    if (g_message_box) {
        g_message_box(caption, text);
        return;
    }
    const std::size_t length = std::strlen(text);
    const bool ends_line = length > 0 && text[length - 1] == '\n';
    std::fprintf(stderr, "%s: %s%s", caption, text, ends_line ? "" : "\n");
    std::fflush(stderr);
}

void show_error(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    show_message_box("Error", text);
}

bool open_connection() {
    if (g_window.display) return true;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    g_window.display = display;
    g_window.screen = DefaultScreen(display);
    g_window.formats.clear();
    g_window.formats_described = false;
    return true;
}

const std::vector<described_format>& available_formats() {
    if (!g_window.formats_described && g_window.display) {
        XVisualInfo wanted{};
        wanted.screen = g_window.screen;
        int count = 0;
        XVisualInfo* list =
            XGetVisualInfo(g_window.display, VisualScreenMask, &wanted, &count);
        for (int i = 0; i < count; ++i)
            g_window.formats.push_back(describe_visual(g_window.display, &list[i]));
        if (list) XFree(list);
        g_window.formats_described = true;
    }
    return g_window.formats;
}

int select_pixel_format(std::int32_t mode, pixel_format_descriptor* requested) {
    const std::vector<described_format>& formats = available_formats();
    switch (g_window.strategy) {
        case STRATEGY_BY_DESCRIPTOR:
            *requested = requested_descriptor(mode);
            return choose_best_match(formats, *requested);
        case STRATEGY_BY_ENUMERATION:
            return choose_by_enumeration(formats, mode, requested);
        default:
            return choose_fixed_format(formats, g_window.fixed_format, requested);
    }
}

int set_pixel_format(window_handle device_context, int number,
                     const pixel_format_descriptor&) {
    const std::vector<described_format>& formats = available_formats();
    // The visual of an X window is fixed when the window is made, so the
    // format can only be the one the window was made with, and only once.
    const bool refused = device_context != g_window.device_context || number <= 0 ||
                         static_cast<std::size_t>(number) > formats.size() ||
                         g_window.format_number != 0 ||
                         formats[number - 1].visual != g_window.window_visual;
    if (refused) {
        show_error("SetPixelFormat failed\n");
        return 0;
    }
    g_window.format_number = number;
    g_window.palette = create_palette(device_context);
    return 1;
}

int describe_current_format(window_handle device_context, pixel_format_descriptor* out) {
    const int number =
        device_context && device_context == g_window.device_context ? g_window.format_number : 0;
    if (number <= 0) {
        show_error("Could not get pixel format for Dc 0x%08lX\n", device_context);
        return 0;
    }
    const std::vector<described_format>& formats = available_formats();
    if (static_cast<std::size_t>(number) > formats.size()) {
        show_error("Could not get a description of pixel format %d\n", number);
        return 0;
    }
    *out = formats[number - 1].pfd;
    return number;
}

std::int32_t create_gl_window(const char* title) {
    if (!open_connection()) {
        const char* name = XDisplayName(nullptr);
        show_error("Could not open the X display \"%s\"\n", name ? name : "");
        return 0;
    }
    Display* display = g_window.display;
    g_window.system_colour_count = 25;  // every element of the colour table exists here

    if (!g_window.wm_protocols) {
        g_window.wm_protocols = XInternAtom(display, "WM_PROTOCOLS", False);
        g_window.wm_delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
        g_window.net_wm_name = XInternAtom(display, "_NET_WM_NAME", False);
        g_window.utf8_string = XInternAtom(display, "UTF8_STRING", False);
        g_window.net_wm_icon = XInternAtom(display, "_NET_WM_ICON", False);
    }

    // X fixes a window's visual when the window is made, so the format is
    // chosen now; a failure to find one is reported once the window exists,
    // like every other failure of the pixel format.
    pixel_format_descriptor requested{};
    const int number = select_pixel_format(g_window.mode, &requested);
    XVisualInfo* visual = number > 0 ? find_visual(available_formats()[number - 1].visual)
                                     : nullptr;

    const window_record& r = g_window.record;
    const int x = r.use_default_position ? 0 : outer_left(r.x);
    const int y = r.use_default_position ? 0 : outer_top(r.y);
    const Window root = RootWindow(display, g_window.screen);

    XSetWindowAttributes attributes{};
    unsigned long attribute_mask = CWBackPixel | CWBorderPixel | CWEventMask;
    // Black, the colour the first frame clears to, so that the server's own
    // fill before that frame shows no other colour.
    attributes.background_pixel = 0;
    attributes.border_pixel = 0;
    attributes.event_mask = StructureNotifyMask | ExposureMask | KeyPressMask |
                            ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            FocusChangeMask;
    Colormap colormap = 0;
    if (visual) {
        colormap = XCreateColormap(display, root, visual->visual, AllocNone);
        attributes.colormap = colormap;
        attribute_mask |= CWColormap;
    }

    grab_x_errors();
    Window window = XCreateWindow(
        display, root, x, y, static_cast<unsigned>(r.width > 0 ? r.width : 1),
        static_cast<unsigned>(r.height > 0 ? r.height : 1), 0,
        visual ? visual->depth : CopyFromParent, InputOutput,
        visual ? visual->visual : CopyFromParent, attribute_mask, &attributes);
    if (release_x_errors() && window) {
        XDestroyWindow(display, window);
        window = 0;
    }
    if (!window) {
        if (colormap) XFreeColormap(display, colormap);
        if (visual) XFree(visual);
        show_error("create window failed\n");
        return 0;
    }
    g_window.window = window;
    g_window.colormap = colormap;
    g_window.window_visual = visual ? visual->visualid : XVisualIDFromVisual(DefaultVisual(display, g_window.screen));
    g_window.format_number = 0;
    g_window.mapped = false;
    g_window.minimised = false;
    describe_window(window, title);

    std::int32_t result = 0;
    if (g_window.record.use_default_position) {
        g_window.record.x = client_left(x);
        g_window.record.y = client_top(y);
    }
    // GL draws into the window itself, which exists from here on.
    g_window.device_context = window;
    XMapWindow(display, window);
    XSync(display, False);
    if (number == 0) {
        show_error("Selecting a pixel format failed\n");
    } else if (set_pixel_format(g_window.device_context, number, requested)) {
        grab_x_errors();
        GLXContext context = glXCreateContext(display, visual, nullptr, True);
        if (release_x_errors() && context) {
            glXDestroyContext(display, context);
            context = nullptr;
        }
        if (!context) {
            show_error("wglCreateContext Failed\n");
        } else {
            g_window.context = context;
            if (!glXMakeCurrent(display, g_window.device_context, context))
                show_error("wglMakeCurrent Failed\n");
            else
                result = 1;
        }
    }
    if (visual) XFree(visual);
    if (!result) destroy_gl_window(g_window.window);
    return result;
}

void destroy_gl_window(window_handle window) {
    if (!window) return;
    // X destroys windows asynchronously, but the close-down must run while
    // the window still exists and before this call returns.
    window_procedure(window, WM_DESTROY, 0, 0);
    if (g_window.display) {
        XDestroyWindow(g_window.display, window);
        // Flushing is not enough: a flushed request may still wait in the
        // server's input while it answers another client (a window manager,
        // a test asking whether the window is gone) from its old state.
        XSync(g_window.display, False);
    }
}

}  // namespace tessel::toolkit

void set_message_box_function(message_box_function fn) { tessel::toolkit::g_message_box = fn; }

void set_window_icon(const std::uint32_t* images, std::size_t length) {
    using tessel::toolkit::g_window;
    g_window.icon.clear();
    // Keep only whole images: width, height, then their pixels.
    std::size_t at = 0;
    while (images && at + 2 <= length) {
        const std::size_t w = images[at], h = images[at + 1];
        if (w == 0 || h == 0 || w > 1024 || h > 1024 || length - at - 2 < w * h) break;
        g_window.icon.insert(g_window.icon.end(), images + at, images + at + 2 + w * h);
        at += 2 + w * h;
    }
    tessel::toolkit::apply_window_icon(g_window.window);
    // Done once this returns, for every client that asks the server.
    if (g_window.display && g_window.window) XSync(g_window.display, False);
}
