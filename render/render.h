#pragma once
// Drawing a scene store into the current GL context. A renderer keeps what
// it derives from the store it draws (vertex arrays, texture objects) from
// one frame to the next, so every window, snapshot or test that draws has
// its own, and two scenes can be drawn side by side.

#include <cstdint>

#include "render/draw_budget.h"
#include "render/prepared_scene.h"
#include "render/texture_objects.h"
#include "scene/scene.h"

namespace tessel {

class renderer {
public:
    // Lighting, viewport over the whole client area and the fixed +-400
    // orthographic box. The aspect ratio is ignored, so that the whole box
    // fills the window whatever its shape.
    void reshape(std::int32_t width, std::int32_t height);

    // Clears (to the scene's background when it has one) and draws every
    // shape of scene under view and its own transform, with settings.
    // Presenting the frame is the caller's: a window swaps its buffers, an
    // off-screen target reads the pixels back.
    void frame(const scene_store& scene, const view_transform& view, const render_settings& settings);

    // The arrays the frames draw from (for tests and benchmarks), and what
    // the last frame drew of the scene: the viewer and snapshots tell the
    // user when it is not the whole scene.
    const prepared_scene& arrays() const { return arrays_; }
    const draw_report& report() const { return report_; }

private:
    prepared_scene arrays_;
    texture_objects textures_;
    draw_report report_;
};

}  // namespace tessel
