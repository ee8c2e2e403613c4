#include "toolkit/palette_x11.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <vector>

#include "toolkit/window.h"

namespace tessel::toolkit {

namespace {

constexpr unsigned short to_x_intensity(std::uint8_t v) { return static_cast<unsigned short>(v * 257); }
constexpr std::uint8_t from_x_intensity(unsigned short v) { return static_cast<std::uint8_t>(v >> 8); }

// The window's visual, or none (the caller frees what it gets).
XVisualInfo* window_visual() {
    if (!g_window.window_visual) return nullptr;
    XVisualInfo wanted{};
    wanted.visualid = g_window.window_visual;
    wanted.screen = g_window.screen;
    int count = 0;
    return XGetVisualInfo(g_window.display, VisualIDMask | VisualScreenMask, &wanted, &count);
}

bool writable_cells(const XVisualInfo& info) {
    return info.c_class == PseudoColor || info.c_class == GrayScale;
}

// The default colormap belongs to the screen's default visual; a window of
// another visual falls back to the colormap it was made with.
Colormap default_for_window() {
    Display* display = g_window.display;
    if (XVisualIDFromVisual(DefaultVisual(display, g_window.screen)) == g_window.window_visual)
        return DefaultColormap(display, g_window.screen);
    return g_window.colormap;
}

}  // namespace

palette_handle x_palette_platform::default_palette() {
    if (!g_window.display) return 0;
    return DefaultColormap(g_window.display, g_window.screen);
}

int x_palette_platform::cells_of(palette_handle palette) {
    if (palette == default_palette())
        return DefaultVisual(g_window.display, g_window.screen)->map_entries;
    const auto it = made_.find(palette);
    return it == made_.end() ? 0 : it->second;
}

int x_palette_platform::read_entries(palette_handle palette, int first, int count,
                                     palette_entry* out) {
    if (!g_window.display || !palette || first < 0 || count <= 0) return 0;
    const int n = std::min(count, cells_of(palette) - first);
    if (n <= 0) return 0;
    std::vector<XColor> colours(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) colours[i].pixel = static_cast<unsigned long>(first + i);
    grab_x_errors();
    XQueryColors(g_window.display, palette, colours.data(), n);
    if (release_x_errors()) return 0;
    for (int i = 0; i < n; ++i)
        out[i] = palette_entry{from_x_intensity(colours[i].red), from_x_intensity(colours[i].green),
                               from_x_intensity(colours[i].blue), 0};
    return n;
}

palette_handle x_palette_platform::make_palette(const palette_entry* entries, int count) {
    Display* display = g_window.display;
    if (!display || count <= 0) return 0;
    XVisualInfo* info = window_visual();
    if (!info) return 0;
    const bool writable = writable_cells(*info);
    const int cells = std::min(count, info->colormap_size);
    Visual* visual = info->visual;
    XFree(info);
    if (!writable || cells <= 0) return 0;

    std::vector<XColor> colours(static_cast<std::size_t>(cells));
    for (int i = 0; i < cells; ++i) {
        colours[i].pixel = static_cast<unsigned long>(i);
        colours[i].red = to_x_intensity(entries[i].red);
        colours[i].green = to_x_intensity(entries[i].green);
        colours[i].blue = to_x_intensity(entries[i].blue);
        colours[i].flags = DoRed | DoGreen | DoBlue;
    }
    grab_x_errors();
    const Colormap colormap =
        XCreateColormap(display, RootWindow(display, g_window.screen), visual, AllocAll);
    XStoreColors(display, colormap, colours.data(), cells);
    if (release_x_errors()) {
        grab_x_errors();
        XFreeColormap(display, colormap);
        release_x_errors();
        return 0;
    }
    made_[colormap] = cells;
    return colormap;
}

void x_palette_platform::follow(window_handle device_context) {
    if (device_context == window_) return;
    window_ = device_context;
    selected_ = 0;
    shown_ = 0;
}

palette_handle x_palette_platform::select(window_handle device_context, palette_handle palette,
                                          bool) {
    if (!g_window.display || !device_context || !palette) return 0;
    follow(device_context);
    const palette_handle previous = selected_ ? selected_ : default_palette();
    selected_ = palette;
    return previous;
}

int x_palette_platform::realise(window_handle device_context) {
    Display* display = g_window.display;
    if (!display || !device_context || device_context != window_ || !selected_) return -1;
    if (selected_ == shown_) return 0;
    const Colormap colormap = selected_ == default_palette() ? default_for_window() : selected_;
    if (!colormap) return -1;
    Window window = device_context;
    grab_x_errors();
    XSetWindowColormap(display, window, colormap);
    XSetWMColormapWindows(display, window, &window, 1);
    if (release_x_errors()) return -1;
    shown_ = selected_;
    return cells_of(selected_);
}

bool x_palette_platform::unrealise(palette_handle palette) {
    if (!palette) return false;
    if (palette == shown_) shown_ = 0;
    return true;
}

void x_palette_platform::destroy(palette_handle palette) {
    const auto it = made_.find(palette);
    if (it == made_.end()) return;  // the default colormap, or nothing of ours
    if (g_window.display) {
        grab_x_errors();
        XFreeColormap(g_window.display, palette);
        release_x_errors();
    }
    made_.erase(it);
    if (shown_ == palette) shown_ = 0;
    if (selected_ == palette) selected_ = 0;
}

}  // namespace tessel::toolkit
