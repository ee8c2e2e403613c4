#include "tests/support/x_capture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <bit>
#include <fstream>

namespace tessel::test {

namespace {

std::uint8_t channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const unsigned long max = mask >> shift;
    return static_cast<std::uint8_t>(((pixel & mask) >> shift) * 255 / max);
}

int g_capture_error = 0;
int note_capture_error(Display*, XErrorEvent* event) {
    g_capture_error = event->error_code;
    return 0;
}

}  // namespace

rgb_picture capture_window(Display* display, unsigned long window) {
    rgb_picture out;
    // The window may vanish between any two requests; that is an empty
    // picture, not the end of the test process.
    XSync(display, False);
    g_capture_error = 0;
    const XErrorHandler previous = XSetErrorHandler(note_capture_error);
    XWindowAttributes attributes{};
    XImage* shot = nullptr;
    if (XGetWindowAttributes(display, window, &attributes) != 0 && attributes.visual != nullptr &&
        attributes.map_state == IsViewable) {
        shot = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                         static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    }
    XSync(display, False);
    XSetErrorHandler(previous);
    if (shot == nullptr) return out;
    if (g_capture_error == 0) {
        // The image does not always carry the colour masks; the visual does.
        const Visual* visual = attributes.visual;
        out.width = attributes.width;
        out.height = attributes.height;
        out.rgb.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height) * 3);
        std::uint8_t* p = out.rgb.data();
        for (int y = 0; y < out.height; ++y) {
            for (int x = 0; x < out.width; ++x) {
                const unsigned long pixel = XGetPixel(shot, x, y);
                *p++ = channel(pixel, visual->red_mask);
                *p++ = channel(pixel, visual->green_mask);
                *p++ = channel(pixel, visual->blue_mask);
            }
        }
    }
    XDestroyImage(shot);
    return out;
}

bool write_ppm(const rgb_picture& picture, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << picture.width << ' ' << picture.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(picture.rgb.data()), static_cast<std::streamsize>(picture.rgb.size()));
    return static_cast<bool>(out);
}

}  // namespace tessel::test
