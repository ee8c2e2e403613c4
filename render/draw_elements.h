#pragma once
// Index lists of any length drawn with glDrawElements, whose count is a
// signed int, in frames whose queued work the GL is made to start on.

#include <GL/gl.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <span>

#include "scene/corner_list.h"

namespace tessel {

// A software GL keeps every queued triangle's set-up data until the frame is
// flushed: for a frame of millions that is tens of megabytes more than the
// scene itself. Flushing every so many corners keeps the queue short; the
// picture is the same, as the GL draws queued work in order either way.
class draw_pacer {
public:
    void drew(std::size_t corners) {
        queued_ += corners;
        if (queued_ < flush_every) return;
        glFlush();
        queued_ = 0;
    }

private:
    static constexpr std::size_t flush_every = 4096;
    std::size_t queued_ = 0;
};

// Larger lists go in several calls, each a whole number of primitives: 6 is
// a multiple of the 1, 2 and 3 indices of points, lines and triangles.
// `count` draws only the first indices (a whole number of primitives).
inline void draw_elements(draw_pacer& pacer, GLenum mode, corner_view indices, std::size_t count = SIZE_MAX) {
    constexpr std::size_t max_indices_per_call = (INT_MAX / 6) * 6;
    const GLenum type = indices.narrow() ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT;
    const auto* first = static_cast<const unsigned char*>(indices.data());
    std::size_t left = std::min(count, indices.size());
    while (left > 0) {
        const std::size_t n = std::min(left, max_indices_per_call);
        glDrawElements(mode, static_cast<GLsizei>(n), type, first);
        pacer.drew(n);
        first += n * indices.corner_bytes();
        left -= n;
    }
}

}  // namespace tessel
