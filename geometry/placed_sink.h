#pragma once
// A sink that places what another walk hands it: a file of another reading
// inlined into a world is walked from its own origin, and its shapes go to
// the world's sink under the Inline's matrix (within its moving part), lit
// by the lights in force at the Inline. Its own lights, camera, background
// and headlight stay in it: they do not reach the world that inlines it.

#include <span>
#include <vector>

#include "geometry/geometry.h"
#include "geometry/matrix.h"

namespace tessel::vrml {

class placed_sink final : public geometry_sink {
public:
    placed_sink(geometry_sink& into, const matrix4& place, std::int32_t motion, std::span<const std::int32_t> lights)
        : into_(into), place_(place), motion_(motion), lights_(lights.begin(), lights.end()) {}

    void face_set(const shape_state& state, std::span<const float> coords, std::span<const std::int32_t> coord_index,
                  std::span<const std::int32_t> material_index, std::span<const std::int32_t> normal_index) override {
        into_.face_set(placed(state), coords, coord_index, material_index, normal_index);
    }
    void line_set(const shape_state& state, std::span<const float> coords, std::span<const std::int32_t> coord_index,
                  std::span<const std::int32_t> material_index, std::span<const std::int32_t> normal_index) override {
        into_.line_set(placed(state), coords, coord_index, material_index, normal_index);
    }
    void point_set(const shape_state& state, std::span<const float> coords, std::int64_t start,
                   std::int64_t count) override {
        into_.point_set(placed(state), coords, start, count);
    }
    void cube(const shape_state& state, float width, float height, float depth) override {
        into_.cube(placed(state), width, height, depth);
    }
    void sphere(const shape_state& state, float radius) override { into_.sphere(placed(state), radius); }
    void cone(const shape_state& state, float bottom_radius, float height, unsigned part_mask) override {
        into_.cone(placed(state), bottom_radius, height, part_mask);
    }
    void cylinder(const shape_state& state, float radius, float height, unsigned part_mask) override {
        into_.cylinder(placed(state), radius, height, part_mask);
    }
    std::size_t shapes_made() override { return into_.shapes_made(); }
    void built() override { into_.built(); }
    void after_built(std::function<void()> then) override { into_.after_built(std::move(then)); }
    bool stopped() const override { return into_.stopped(); }
    bool affords(std::int64_t bytes, source_position where, const char* what) override {
        return into_.affords(bytes, where, what);
    }

private:
    shape_state placed(const shape_state& state) const {
        shape_state s = state;
        s.matrix = multiply(place_, state.matrix);
        s.motion = motion_;
        s.lights = lights_;
        return s;
    }

    geometry_sink& into_;
    matrix4 place_;
    std::int32_t motion_;
    std::vector<std::int32_t> lights_;
};

}  // namespace tessel::vrml
