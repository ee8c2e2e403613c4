#pragma once
// One function per shape kind behind scene_builder, each appending finished
// records to the store. Internal to geometry/.

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "geometry/builder_parts.h"
#include "geometry/polygon.h"

namespace tessel::reader {
class load_budget;
}

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
    // Images already decoded in this load, as indices into the store's
    // textures (-1: the image could not be read, already warned about): by
    // the name a scene gives, and by the file itself (device, inode), so
    // that one file named many ways is decoded once.
    std::unordered_map<std::string, std::int32_t> texture_files;
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::int32_t> texture_identities;
    std::unordered_map<const void*, std::int32_t> texture_inlines;
    // What the load may still spend; null: no budget.
    reader::load_budget* budget = nullptr;
    // Follows long image decodes (0..100); may be empty.
    std::function<void(int)> decoding;

    // Starts a new call over a list of `points` points; local numbers of
    // earlier calls no longer count.
    void begin(std::size_t points);
};

struct shape_target {
    scene_store& out;
    warning_list& warnings;
    builder_scratch& scratch;
};

// The store's image for the texture in force, decoded at its first use;
// -1 when the shape is untextured or its image cannot be read (warned once).
std::int32_t texture_for(shape_target t, const shape_state& state);

// The store's image for a face of a panorama, decoded at its first use
// like a shape's (a file both show is decoded once); -1 when it cannot be
// read (warned once).
std::int32_t panorama_image(shape_target t, const texture_source& src);

// Marks a record as showing image `index` with the state's wrap modes.
void set_texture(shape_record& shape, std::int32_t index, const shape_state& state, const scene_store& store);

// A texture coordinate through the texture transform in force.
inline void map_texture(const texture_matrix& m, float s, float t, float out[2]) {
    out[0] = m.m[0] * s + m.m[2] * t + m.m[4];
    out[1] = m.m[1] * s + m.m[3] * t + m.m[5];
}

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
