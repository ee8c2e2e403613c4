#include "scene/scene.h"

namespace tessel {

scene_store g_scene;
view_transform g_view;
render_settings g_render;

void release_scene(scene_store& store) {
    const std::uint64_t generation = store.generation;
    store = scene_store{};
    store.generation = generation + 1;
}

}  // namespace tessel
