#include "scene/scene.h"

namespace tessel {

void release_scene(scene_store& store) {
    const std::uint64_t generation = store.generation;
    store = scene_store{};
    store.generation = generation + 1;
}

std::int64_t shape_bytes(const shape_record& shape) {
    std::size_t bytes = sizeof(shape_record) + shape.lights.size() * sizeof(std::int32_t);
    for (int k = 0; k < 3; ++k)
        bytes += (shape.point[k].size() + shape.normal[k].size() + shape.vertex_colour[k].size()) * sizeof(float) +
                 shape.corner[k].size() * sizeof(std::int32_t);
    for (int k = 0; k < 2; ++k) bytes += shape.texture_coordinate[k].size() * sizeof(float);
    return static_cast<std::int64_t>(bytes);
}

}  // namespace tessel
