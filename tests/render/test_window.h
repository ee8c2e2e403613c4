#pragma once
// The GL window the renderer's display tests draw into, and reading back
// what it shows.

#include <array>
#include <cstdint>
#include <vector>

namespace tessel::test {

// Opens this process's GL window once (double-buffered, 24-bit depth,
// stencil) with the given client size, showing test_content(), and reshapes it as the
// event loop would. Later calls return the same answer without reopening.
bool open_test_window(int width, int height);

struct image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // rows from the bottom, as glReadPixels gives them

    std::array<int, 3> at(int column, int row) const {
        const std::size_t i = (static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                               static_cast<std::size_t>(column)) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
    bool operator==(const image&) const = default;
};

// What the window shows after show_frame: the front buffer.
image read_front();

// Number of pixels that differ between two images of the same size.
std::size_t count_differences(const image& a, const image& b);

}  // namespace tessel::test
