#pragma once
// Index lists of any length drawn with glDrawElements, whose count is a
// signed int.

#include <GL/gl.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tessel {

// Larger lists go in several calls, each a whole number of primitives: 6 is
// a multiple of the 1, 2 and 3 indices of points, lines and triangles.
// `count` draws only the first indices (a whole number of primitives).
inline void draw_elements(GLenum mode, std::span<const std::uint32_t> indices, std::size_t count = SIZE_MAX) {
    constexpr std::size_t max_indices_per_call = (INT_MAX / 6) * 6;
    const std::uint32_t* first = indices.data();
    std::size_t left = std::min(count, indices.size());
    while (left > 0) {
        const std::size_t n = std::min(left, max_indices_per_call);
        glDrawElements(mode, static_cast<GLsizei>(n), GL_UNSIGNED_INT, first);
        first += n;
        left -= n;
    }
}

}  // namespace tessel
