#pragma once
// What a frame hands to glDrawElements for each shape of a store: the
// store's own arrays, which the back end keeps in the layout the GL takes,
// and a copy only where they cannot be drawn as they are (a classic shape's
// points scaled by the view; a store whose arrays disagree with its counts,
// which only tests make). Worked out once per store. Knows nothing of
// OpenGL, so it is tested without a display.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "scene/scene.h"

namespace tessel {

// One shape as a frame draws it. The spans point into the store, or into
// this shape's own arrays below; both live as long as the prepared scene is
// not rebuilt.
struct prepared_shape {
    std::span<const float> points;             // x, y, z per point
    std::span<const float> normals;            // x, y, z per point, zero where the store has none
    corner_view indices;                       // corners of every drawable primitive: 3, 2 or 1 by kind
    std::size_t dropped_faces = 0;             // primitives naming a point the shape lacks
    // Standard shapes only: r, g, b, a per point where the colour varies
    // over the shape, else empty.
    std::span<const float> colours;
    // Textured standard shapes only: s, t per point, else empty.
    std::span<const float> texture_coordinates;
    // Standard shapes only: the box around the points drawn and the summed
    // area of the triangles, in world units, from which a frame estimates
    // how much of the picture the shape can cover.
    float low[3] = {0, 0, 0};
    float high[3] = {0, 0, 0};
    double area = 0;
    std::uint64_t revision = 0;  // the record's, when these were made

    // Copies, made only where needed.
    std::span<const float> stored_points;      // classic: the store's points, rescaled from
    std::vector<float> positions;              // classic: the points times the view scale
    std::vector<float> own_normals;            // normals padded to every point
    std::vector<std::uint32_t> own_indices;    // the primitives that name only points the shape has
};

// The number of shapes that can be drawn without reading past any of the
// store's per-shape arrays, whatever the shape count claims.
std::size_t drawable_shape_count(const scene_store& store);

class prepared_scene {
public:
    // Rebuilds the arrays when the store was replaced since the last call and
    // recomputes the positions when the view scale differs from the one they
    // were made with. Cheap when nothing changed. When memory runs out the
    // arrays stay empty, so nothing is drawn, until the store is replaced.
    void update(const scene_store& store, const float view_scale[3]);

    // How often a build ran out of memory, and whether the current arrays
    // are the empty result of that.
    std::uint64_t failed_builds() const { return failed_builds_; }
    bool out_of_memory() const { return out_of_memory_; }

    const std::vector<prepared_shape>& shapes() const { return shapes_; }

    // How often the arrays were built and the positions rescaled; lets tests
    // see that a frame does no more work than it must.
    std::uint64_t builds() const { return builds_; }
    std::uint64_t rescales() const { return rescales_; }

private:
    void rebuild(const scene_store& store);
    void revise(const scene_store& store);
    void rescale(const float view_scale[3]);

    bool valid_ = false;
    // What identifies the store the arrays were made from: the generation is
    // the agreed signal, the rest also catches a store swapped without it.
    std::uint64_t generation_ = 0;
    std::uint64_t moved_ = 0;  // the store's count of changes in place, when last looked at
    scene_reading reading_ = scene_reading::classic;
    std::int64_t shape_count_ = 0;
    const shape_record* shapes_data_ = nullptr;
    std::size_t shapes_size_ = 0;
    std::size_t point_counts_size_ = 0;
    std::size_t face_counts_size_ = 0;

    bool scaled_ = false;
    std::uint32_t scale_bits_[3] = {0, 0, 0};  // compared bitwise, so NaN cannot force rework each frame

    std::vector<prepared_shape> shapes_;
    std::uint64_t builds_ = 0;
    std::uint64_t rescales_ = 0;
    std::uint64_t failed_builds_ = 0;
    bool out_of_memory_ = false;
};

// A shape's rotation angle (radians, as the file gives it) in the degrees
// glRotatef takes: times 57.3, not 180/pi, formed in double.
float shape_rotation_degrees(float radians);

}  // namespace tessel
