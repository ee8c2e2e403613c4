#pragma once
// One function per shape kind behind scene_builder, each appending finished
// records to the store. Internal to vrml/.

#include <cstdint>
#include <span>
#include <vector>

#include "vrml/builder_parts.h"
#include "vrml/polygon.h"

namespace tessel::vrml::detail {

// What survives from one shape to the next, so that many small shapes sharing
// one large coordinate list cost only what they use.
struct builder_scratch {
    // For each file point: the call that last used it, and its number in that
    // call, side by side so that one look-up touches one cache line.
    struct point_slot {
        std::uint32_t call = 0;
        std::int32_t local = 0;
    };
    std::vector<point_slot> slots;
    std::uint32_t call = 0;
    polygon_splitter splitter;

    // Starts a new call over a list of `points` points; local numbers of
    // earlier calls no longer count.
    void begin(std::size_t points);
};

struct shape_target {
    scene_store& out;
    warning_list& warnings;
    builder_scratch& scratch;
};

void build_face_set(shape_target t, const shape_state& state, std::span<const float> coords,
                    std::span<const std::int32_t> coord_index, std::span<const std::int32_t> material_index,
                    std::span<const std::int32_t> normal_index);
void build_line_set(shape_target t, const shape_state& state, std::span<const float> coords,
                    std::span<const std::int32_t> coord_index, std::span<const std::int32_t> material_index,
                    std::span<const std::int32_t> normal_index);
void build_point_set(shape_target t, const shape_state& state, std::span<const float> coords, std::int64_t start,
                     std::int64_t count);
void build_cube(shape_target t, const shape_state& state, float width, float height, float depth);
void build_sphere(shape_target t, const shape_state& state, float radius);
void build_cone(shape_target t, const shape_state& state, float bottom_radius, float height, unsigned part_mask);
void build_cylinder(shape_target t, const shape_state& state, float radius, float height, unsigned part_mask);

}  // namespace tessel::vrml::detail
