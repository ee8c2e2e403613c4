#pragma once
// The parts of drawing a standard scene that come from the file beyond its
// shapes: its camera, its lights, and the order in which see-through shapes
// are blended. Internal to render/.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "render/prepared_scene.h"
#include "scene/scene.h"

namespace tessel {

// Loads the projection and model-view matrices (into the GL's current
// matrices, replacing them) for the file's camera with the panel's view on
// top: the view turns the scene about the camera's focal point and moves it
// in units of which 400 cross half the smaller side of the window at that
// distance, as on the fitted view. Near and far planes enclose the scene's
// bounding sphere, the far one no farther than the file's visibility
// limit. Leaves the model-view matrix current.
void load_camera_view(const scene_store& store, const scene_camera& camera, const view_transform& view);

// Switches GL_LIGHT1 onwards to the scene lights a shape lists (as many as
// the GL has, the first ones first) and every other one of them off. The
// lights are placed through the current model-view matrix, which must map
// world coordinates to the eye.
class scene_light_slots {
public:
    void use(const scene_store& store, const std::vector<std::int32_t>& lights);
    void reset() { valid_ = false; }

private:
    bool valid_ = false;
    std::vector<std::int32_t> current_;
    int enabled_ = 0;
};

// Indices of the shapes marked in seen_through (transparent, or showing an
// image with alpha, its part placed by `motions`), farthest from the eye first by the centre of their
// points under the current model-view matrix, so that nearer glass blends
// over farther glass.
std::vector<std::size_t> transparent_back_to_front(const scene_store& store, std::span<const scene_motion> motions,
                                                   const std::vector<prepared_shape>& arrays,
                                                   const std::vector<bool>& seen_through);

}  // namespace tessel
