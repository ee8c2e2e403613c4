#pragma once
// How much one frame may draw. A few kilobytes of nested USEs can place ten
// million triangles over the whole picture; software OpenGL then fills every
// pixel ten million times, for minutes per frame. A frame therefore draws
// shapes in order until it has handed over a number of primitives, or until
// its triangles would cover the picture a number of times over; what is
// left is not drawn, and the report says so. Knows nothing of OpenGL, so it
// is tested without a display.

#include <cstddef>
#include <cstdint>
#include <string>

#include "render/prepared_scene.h"
#include "scene/scene.h"

namespace tessel {

struct draw_limits {
    std::int64_t primitives = 16'000'000;  // triangles, lines and points handed to the GL per frame
    double pictures = 256;                 // pixels the triangles may cover, in whole pictures
};

// What a frame drew of the scene. A shape drawn whole through its coarser
// stand-in (render/stand_in.h, while the view moves) counts as drawn: the
// picture lacks nothing the user must be told about.
struct draw_report {
    std::uint64_t generation = 0;  // the store drawn
    std::int64_t primitives = 0;   // in the scene
    std::int64_t drawn = 0;        // of those, drawn in full or through a whole stand-in
    std::int64_t handed = 0;       // primitives handed to the GL (fewer than drawn where stand-ins were)
    std::int64_t stand_ins = 0;    // shapes drawn through their stand-in
    bool by_fill = false;          // stopped because of the pixels covered, not the count
    bool out_of_memory = false;    // the drawing's arrays could not be made: nothing drawn
    bool complete() const { return !out_of_memory && drawn >= primitives; }
};

// One line for a user: why the picture lacks part of the scene, or empty
// when it lacks nothing.
std::string describe(const draw_report& report, const draw_limits& limits);

class frame_budget {
public:
    // clip: the column-major product of projection and model-view, from
    // world coordinates to clip coordinates; width and height: the viewport.
    frame_budget(const float clip[16], int width, int height, const draw_limits& limits);

    // How many of the shape's indices this frame draws: all of them, a first
    // part, or none, taking them from what is left. Shapes are asked in the
    // order they are drawn, each once. With a stand-in (non-empty), the
    // count is of the stand-in's indices, which the frame draws instead.
    std::size_t indices_to_draw(const prepared_shape& shape, shape_kind kind, corner_view stand_in = {});

    // The shapes asked about next stand where `motion` (column-major, from
    // their coordinates to the world's) puts them; null: in the world.
    void place(const float* motion);

    // Counts primitives of shapes that were not asked about (not drawn).
    void skip(const prepared_shape& shape, shape_kind kind);

    const draw_report& report() const { return report_; }

private:
    double estimate(const prepared_shape& shape, corner_view indices) const;
    std::size_t exact_prefix(const prepared_shape& shape, corner_view indices, double fill_left, double& filled) const;

    double m_[16];     // from the shapes' coordinates to clip coordinates
    double clip_[16];  // from the world's
    double width_, height_;
    draw_limits limits_;
    double fill_ = 0;  // pixels covered so far
    bool stopped_ = false;
    draw_report report_;
};

}  // namespace tessel
