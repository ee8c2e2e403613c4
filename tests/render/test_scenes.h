#pragma once
// Scenes built in memory for the renderer's tests and benchmark.

#include <array>
#include <cstdint>
#include <vector>

#include "glwindow/gl_window.h"
#include "render/stand_in.h"
#include "scene/scene.h"

namespace tessel::test {

struct test_shape {
    std::vector<std::array<float, 3>> points;
    std::vector<std::array<std::int32_t, 3>> faces;
    std::array<float, 3> colour = {1.0f, 1.0f, 1.0f};
    std::array<float, 3> translation = {0.0f, 0.0f, 0.0f};
    std::array<float, 4> rotation = {0.0f, 0.0f, 0.0f, 0.0f};  // axis, angle in radians
    std::array<float, 3> scale = {1.0f, 1.0f, 1.0f};
};

// Fills a store from the shapes (counts matching the arrays) and computes its
// normals. Every corner must name a point of its shape.
scene_store make_store(const std::vector<test_shape>& shapes);

// What the tests' GL window shows (and what the benchmark draws): one per
// test process, made on first use.
gl_content& test_content();

// Replaces the shown scene by store, raising the generation as a load does.
void install_scene(scene_store store);

// Resets the shown view transform to its initial values.
void reset_view();

// A closed torus around the origin in the x-y plane with rings * sides * 2
// triangles; radii in scene units.
test_shape torus(int rings, int sides, float major_radius, float minor_radius);

// About `triangles` triangles of closed tori, each shape small enough for
// 16-bit corner values, spread over the +-400 box in a grid.
scene_store torus_field(std::int64_t triangles);

// A store of the standard reading (points in the world's coordinates,
// bounds set, generation 1): `count` tori of rings * sides * 2 triangles in
// a row along x, then one line segment.
scene_store standard_tori(int count, int rings, int sides);

// Stand-in limits scaled down to the small test scenes: 4 tori of 1,600
// triangles are "heavy", and the stand-in has 2,000 triangles at most.
inline stand_in_limits small_stand_in_limits() {
    stand_in_limits limits;
    limits.scene_triangles = 1'000;
    limits.triangles = 2'000;
    limits.shape_triangles = 256;
    return limits;
}

}  // namespace tessel::test
