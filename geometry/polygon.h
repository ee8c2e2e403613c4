#pragma once
// Splitting one polygon of a face set into triangles. Quads and convex
// polygons are split by hand, which covers nearly every face real files
// have; everything else (concave, non-planar, self-touching) goes through
// GLU's tessellator, projected onto the plane the polygon's normal defines.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "geometry/builder_parts.h"

struct GLUtesselator;

namespace tessel::vrml::detail {

using local_triangle = std::array<std::int32_t, 3>;

// The area-weighted normal of a polygon (Newell's method): twice the area in
// length, counterclockwise about its direction. Exact for planar polygons,
// the best-fitting plane's normal for the others.
vec3 polygon_normal(std::span<const vec3> corners);

// The two triangles of a quad, split along the diagonal that runs through
// its reflex corner, if any, so that both lie inside it. False when neither
// diagonal does (the quad crosses itself): tessellate it.
bool split_quad(std::span<const vec3, 4> q, vec3 normal, local_triangle out[2]);

// Whether the polygon, seen along its normal, turns the same way at every
// corner and goes round once.
bool is_convex(std::span<const vec3> corners, vec3 normal);

class polygon_splitter {
public:
    polygon_splitter() = default;
    ~polygon_splitter();
    polygon_splitter(const polygon_splitter&) = delete;
    polygon_splitter& operator=(const polygon_splitter&) = delete;

    // Appends the triangles of a polygon of three or more corners, as corner
    // numbers 0..n-1, each counterclockwise about `normal` (which must be
    // polygon_normal of the corners, non-zero). `convex` trusts the file's
    // word that the polygon is convex and fans it. Returns false when the
    // polygon needed the tessellator but was fanned instead, because its
    // share of the tessellation work left was too small.
    bool split(std::span<const vec3> corners, vec3 normal, bool convex, std::vector<local_triangle>& out);

    // The tessellator's time grows with the square of a polygon's corners
    // (a polygon of 100,000 takes seconds): one splitter, that is one load,
    // tessellates polygons whose corners squared sum to at most this.
    static constexpr std::int64_t tessellation_work = 2'000'000'000;

    // How many polygons went through the tessellator (for tests).
    std::int64_t tessellated() const { return tessellated_; }

private:
    void tessellate(std::span<const vec3> corners, vec3 normal, std::vector<local_triangle>& out);

    GLUtesselator* tess_ = nullptr;  // made on first use, reused for every later polygon
    std::vector<double> coords_;     // the tessellator keeps pointers into these until the polygon ends
    std::vector<std::int32_t> emitted_;
    std::int64_t tessellated_ = 0;
    std::int64_t work_left_ = tessellation_work;
    bool failed_ = false;

    friend struct tess_callbacks;
};

}  // namespace tessel::vrml::detail
