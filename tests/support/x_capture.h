#pragma once
// The one way tests take a picture of what the X server shows: a window (or
// the whole screen, through the root window) read back as 8-bit RGB.

#include <cstdint>
#include <string>
#include <vector>

struct _XDisplay;

namespace tessel::test {

struct rgb_picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // rows from the top, three bytes a pixel

    const std::uint8_t* at(int x, int y) const {
        return rgb.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                             static_cast<std::size_t>(x)) * 3;
    }
};

// What window shows now, as the server has it once every request sent on
// display so far is done; empty when the window is gone or not viewable.
rgb_picture capture_window(_XDisplay* display, unsigned long window);

// Writes a binary PPM (P6), which ImageMagick and image viewers read.
bool write_ppm(const rgb_picture& picture, const std::string& path);

}  // namespace tessel::test
