#include "scene/scene.h"

namespace tessel {

void release_scene(scene_store& store) {
    const std::uint64_t generation = store.generation;
    store = scene_store{};
    store.generation = generation + 1;
}

std::int64_t shape_bytes(const shape_record& shape) {
    const std::size_t bytes = sizeof(shape_record) + shape.lights.size() * sizeof(std::int32_t) +
                              (shape.points.size() + shape.normals.size() + shape.colours.size() +
                               shape.texture_coords.size()) * sizeof(float) +
                              shape.corners.size() * shape.corners.view().corner_bytes();
    return static_cast<std::int64_t>(bytes);
}

}  // namespace tessel
