#include "toolkit/palette.h"

#include "toolkit/pixel_format.h"
#include "toolkit/window.h"

namespace tessel::toolkit {

namespace {
bool g_static_colours_taken = false;  // set while the display's static colours are ours
}  // namespace

palette_handle create_palette(window_handle device_context) {
    if (g_window.palette) return g_window.palette;
    pixel_format_descriptor pfd{};
    if (describe_current_format(device_context, &pfd) <= 0) return 0;
    if (pfd.iPixelType != PFD_TYPE_RGBA || !(pfd.dwFlags & PFD_NEED_PALETTE)) return 0;
    // Formats that need a palette only exist on palette (PseudoColor)
    // displays; filling and realising a colormap for them is not built yet,
    // so such a window shows its colours through the default colormap.
    return 0;
}

int realise_palette(window_handle, palette_handle palette, int) {
    if (!palette) return -1;
    return -1;
}

int realise_in_background(window_handle, palette_handle palette) {
    if (!palette) return -1;
    return -1;
}

void release_palette(window_handle, palette_handle) {}

bool static_colours_taken() { return g_static_colours_taken; }

}  // namespace tessel::toolkit
