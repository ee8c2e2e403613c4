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

namespace tessel {

const shape_record& drawn_arrays(const scene_store& store, const shape_record& shape) {
    if (shape.shares < 0 || static_cast<std::size_t>(shape.shares) >= store.shapes.size()) return shape;
    const shape_record& source = store.shapes[static_cast<std::size_t>(shape.shares)];
    // A damaged store must not send a reader round in circles.
    return source.shares < 0 ? source : shape;
}

}  // namespace tessel

namespace tessel {

std::int32_t find_viewpoint(const scene_store& store, const std::string& which) {
    const auto count = static_cast<std::int64_t>(store.viewpoints.size());
    if (!which.empty() && which.find_first_not_of("0123456789") == std::string::npos && which.size() < 10) {
        const std::int64_t n = std::stoll(which);
        return n >= 1 && n <= count ? static_cast<std::int32_t>(n - 1) : -1;
    }
    for (std::int64_t i = 0; i < count; ++i)
        if (store.viewpoints[static_cast<std::size_t>(i)].name == which) return static_cast<std::int32_t>(i);
    for (std::int64_t i = 0; i < count; ++i)
        if (store.viewpoints[static_cast<std::size_t>(i)].def == which) return static_cast<std::int32_t>(i);
    return -1;
}

bool show_viewpoint(scene_store& store, std::int32_t i) {
    if (i < 0 || static_cast<std::size_t>(i) >= store.viewpoints.size()) return false;
    store.camera = store.viewpoints[static_cast<std::size_t>(i)].camera;
    store.viewpoint = i;
    return true;
}

}  // namespace tessel
