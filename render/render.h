#pragma once
// The two handlers that draw the scene store into the current GL context.

#include <cstdint>

namespace tessel {

// Lighting, viewport over the whole client area and the fixed +-400
// orthographic box (the aspect ratio is ignored on purpose).
void render_reshape(std::int32_t width, std::int32_t height);

// Clears, draws every shape of g_scene under g_view and its own transform,
// and presents the frame through the toolkit.
void render_frame();

}  // namespace tessel
