#include "test_window.h"

#include <GL/glx.h>

#include <cstring>

#include "tests/support/x_capture.h"

namespace tessel::test {

// Mesa's software GL keeps no readable front buffer: a swap copies the back
// buffer into the X window. So read the window itself, on the GL context's
// own connection, which orders the read after the swap's copy.
image read_front() {
    image out;
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable drawable = glXGetCurrentDrawable();
    if (display == nullptr || drawable == 0) return out;
    const rgb_picture shot = capture_window(display, drawable);
    out.width = shot.width;
    out.height = shot.height;
    out.rgb.resize(shot.rgb.size());
    const std::size_t row = static_cast<std::size_t>(shot.width) * 3;
    // X counts rows from the top, GL from the bottom.
    for (int y = 0; y < shot.height; ++y)
        std::memcpy(out.rgb.data() + static_cast<std::size_t>(shot.height - 1 - y) * row, shot.at(0, y), row);
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
