#pragma once
// The interpolators' arithmetic, apart from events: where a fraction falls
// among keys, and how two key values blend. Plain functions, so that they
// are tested without a world.

#include <cstddef>
#include <span>
#include <vector>

namespace tessel::vrml {

// Where fraction f falls among keys: between key `index` and the next one,
// `t` of the way (0..1). Before the first key it is key 0 itself, past the
// last the last key. Keys that go back (which a file should not give) never
// make it fail: the first pair that holds f is taken, or the nearest end.
struct key_span {
    std::size_t index = 0;
    float t = 0;
};
key_span find_key(std::span<const float> keys, float f);

// a + (b - a) t for each of n values.
void blend_linear(const float* a, const float* b, float t, std::size_t n, float* out);

// Colours blend through hue, saturation and value, the hue the shorter way
// round; r, g, b in and out.
void blend_colour(const float a[3], const float b[3], float t, float out[3]);

// Rotations (axis x, y, z, angle) blend along the shorter arc between them;
// the result's axis has unit length.
void blend_rotation(const float a[4], const float b[4], float t, float out[4]);

// Unit vectors blend along the great circle between them; the result has
// unit length (a zero vector blends linearly).
void blend_direction(const float a[3], const float b[3], float t, float out[3]);

}  // namespace tessel::vrml
