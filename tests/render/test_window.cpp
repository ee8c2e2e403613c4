#include "test_window.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <bit>

namespace tessel::test {

namespace {

int channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const unsigned long max = mask >> shift;
    return static_cast<int>(((pixel & mask) >> shift) * 255 / max);
}

}  // namespace

// Mesa's software GL keeps no readable front buffer: a swap copies the back
// buffer into the X window. So read the window itself, on the GL context's
// own connection, which orders the read after the swap's copy.
image read_front() {
    image out;
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable drawable = glXGetCurrentDrawable();
    if (display == nullptr || drawable == 0) return out;
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, drawable, &attributes) == 0 || attributes.visual == nullptr) return out;
    const auto width = static_cast<unsigned>(attributes.width);
    const auto height = static_cast<unsigned>(attributes.height);
    // The image does not always carry the colour masks; the visual does.
    const Visual* visual = attributes.visual;
    XImage* shot = XGetImage(display, drawable, 0, 0, width, height, AllPlanes, ZPixmap);
    if (shot == nullptr) return out;
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.rgb.resize(static_cast<std::size_t>(width) * height * 3);
    for (int row = 0; row < out.height; ++row) {
        for (int col = 0; col < out.width; ++col) {
            // X counts rows from the top, GL from the bottom.
            const unsigned long pixel = XGetPixel(shot, col, out.height - 1 - row);
            const std::size_t i = (static_cast<std::size_t>(row) * width + static_cast<std::size_t>(col)) * 3;
            out.rgb[i] = static_cast<std::uint8_t>(channel(pixel, visual->red_mask));
            out.rgb[i + 1] = static_cast<std::uint8_t>(channel(pixel, visual->green_mask));
            out.rgb[i + 2] = static_cast<std::uint8_t>(channel(pixel, visual->blue_mask));
        }
    }
    XDestroyImage(shot);
    return out;
}

std::size_t count_differences(const image& a, const image& b) {
    if (a.width != b.width || a.height != b.height) return a.rgb.size() + b.rgb.size();
    std::size_t n = 0;
    for (std::size_t i = 0; i < a.rgb.size(); i += 3) {
        if (a.rgb[i] != b.rgb[i] || a.rgb[i + 1] != b.rgb[i + 1] || a.rgb[i + 2] != b.rgb[i + 2]) ++n;
    }
    return n;
}

}  // namespace tessel::test
