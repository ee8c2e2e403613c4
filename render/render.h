#pragma once
// The two handlers that draw the scene store into the current GL context.

#include <cstdint>

namespace tessel {

// Lighting, viewport over the whole client area and the fixed +-400
// orthographic box. The aspect ratio is ignored, so that the whole box fills
// the window whatever its shape.
void render_reshape(std::int32_t width, std::int32_t height);

// Clears (to the scene's background when it has one) and draws every shape
// of g_scene under g_view and its own transform. Presenting the frame is the caller's: a window swaps its
// buffers, an off-screen target reads the pixels back.
void render_frame();

struct draw_report;
// What the last render_frame drew of the scene (render/draw_budget.h): the
// viewer and snapshots tell the user when it is not the whole scene.
const draw_report& last_frame_report();

}  // namespace tessel
