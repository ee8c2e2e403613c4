#pragma once
// Drawing a scene of the standard reading: points already in world
// coordinates, framed so that the scene's bounding sphere fills most of the
// view whatever its size, with the window's aspect ratio kept, and the
// panel's view transform acting on top of that framing.

#include <span>
#include <vector>

#include "render/draw_budget.h"
#include "render/prepared_scene.h"
#include "render/texture_objects.h"
#include "scene/scene.h"

namespace tessel {

// Half the height (or width, if smaller) of the view volume, in the units
// the panel's translations use; the same box the classic reading draws in.
inline constexpr float standard_view_half = 400.0f;
// Share of that half the bounding sphere's radius is framed to.
inline constexpr float standard_fill = 0.9f;

// The fog a frame shows the scene in: the file's, when the scene is seen
// from the file's camera (the fitted view looks from outside the world, at
// no distance the author meant); null for none.
const scene_fog* fog_in_view(const scene_store& store, const render_settings& settings);

// Draws every prepared shape of a standard store into the current context,
// from the file's camera when it has one and the settings ask for it, lit by
// the file's lights and the headlight when both the settings and the file
// leave it on.
// Shapes are drawn in order within `limits` (render/draw_budget.h); the
// report says how much was drawn.
// Shape s is drawn through stand_ins[s] instead of its own indices where
// that is not empty (render/stand_in.h); an empty span: every shape in full.
// Leaves the projection, the matrices and every GL setting as it found them.
// The texture objects are the caller's, kept from one frame to the next.
draw_report draw_standard_scene(const scene_store& store, const std::vector<prepared_shape>& arrays,
                                texture_objects& textures, const view_transform& view,
                                const render_settings& settings = {}, const draw_limits& limits = {},
                                std::span<const corner_view> stand_ins = {});

}  // namespace tessel
