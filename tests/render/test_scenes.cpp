#include "test_scenes.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace tessel::test {

scene_store make_store(const std::vector<test_shape>& shapes) {
    scene_store store;
    store.shape_count = static_cast<std::int64_t>(shapes.size());
    store.shapes.resize(shapes.size());
    for (const test_shape& wanted : shapes) {
        const std::size_t i = static_cast<std::size_t>(&wanted - shapes.data());
        shape_record& r = store.shapes[i];
        std::copy(wanted.translation.begin(), wanted.translation.end(), r.translation);
        std::copy(wanted.rotation.begin(), wanted.rotation.end(), r.rotation);
        std::copy(wanted.scale.begin(), wanted.scale.end(), r.scale);
        std::copy(wanted.colour.begin(), wanted.colour.end(), r.colour);
        r.points.clear();
        for (const auto& p : wanted.points) r.points.insert(r.points.end(), p.begin(), p.end());
        r.normals.assign(3 * wanted.points.size(), 0.0f);
        r.corners = {};
        for (const auto& f : wanted.faces)
            for (const std::int32_t c : f) r.corners.push_back(static_cast<std::uint32_t>(c));
        r.corners.pack();  // as a load keeps them: 16 bits where they fit
        store.point_counts.push_back(static_cast<std::int64_t>(wanted.points.size()));
        store.face_counts.push_back(static_cast<std::int64_t>(wanted.faces.size()));
    }
    compute_normals(store);
    return store;
}

gl_content& test_content() {
    static gl_content content;
    return content;
}

void install_scene(scene_store store) {
    const std::uint64_t next = test_content().scene.generation + 1;
    test_content().scene = std::move(store);
    test_content().scene.generation = next;
}

void reset_view() {
    test_content().view = view_transform{};
}

test_shape torus(int rings, int sides, float major_radius, float minor_radius) {
    test_shape s;
    const double two_pi = 2.0 * std::numbers::pi;
    for (int i = 0; i < rings; ++i) {
        const double u = two_pi * i / rings;
        for (int j = 0; j < sides; ++j) {
            const double v = two_pi * j / sides;
            const double r = major_radius + minor_radius * std::cos(v);
            s.points.push_back({static_cast<float>(r * std::cos(u)), static_cast<float>(r * std::sin(u)),
                                static_cast<float>(minor_radius * std::sin(v))});
        }
    }
    for (int i = 0; i < rings; ++i) {
        for (int j = 0; j < sides; ++j) {
            const std::int32_t a = i * sides + j;
            const std::int32_t b = ((i + 1) % rings) * sides + j;
            const std::int32_t c = ((i + 1) % rings) * sides + (j + 1) % sides;
            const std::int32_t d = i * sides + (j + 1) % sides;
            s.faces.push_back({a, b, c});
            s.faces.push_back({a, c, d});
        }
    }
    return s;
}

scene_store torus_field(std::int64_t triangles) {
    // 250 x 128 x 2 = 64000 triangles and 32000 points per full torus.
    constexpr int rings = 250;
    constexpr int sides = 128;
    constexpr std::int64_t per_torus = 2LL * rings * sides;
    const std::int64_t full = triangles / per_torus;
    const std::int64_t rest = triangles % per_torus;
    const std::int64_t count = full + (rest > 0 ? 1 : 0);
    const int grid = std::max(1, static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count)))));
    const float cell = 800.0f / static_cast<float>(grid);

    std::vector<test_shape> shapes_wanted;
    for (std::int64_t t = 0; t < count; ++t) {
        int r = rings;
        if (t == full) {
            // The last torus carries the remainder, with fewer rings.
            r = std::max(3, static_cast<int>(rest / (2 * sides)));
        }
        test_shape s = torus(r, sides, cell * 0.3f, cell * 0.12f);
        const int gx = static_cast<int>(t % grid);
        const int gy = static_cast<int>(t / grid);
        s.translation = {-400.0f + cell * (static_cast<float>(gx) + 0.5f),
                         -400.0f + cell * (static_cast<float>(gy) + 0.5f), 0.0f};
        s.rotation = {1.0f, 1.0f, 0.0f, 0.6f};
        s.colour = {0.3f + 0.7f * static_cast<float>(gx) / static_cast<float>(grid), 0.5f,
                    0.3f + 0.7f * static_cast<float>(gy) / static_cast<float>(grid)};
        shapes_wanted.push_back(std::move(s));
    }
    return make_store(shapes_wanted);
}

scene_store standard_tori(int count, int rings, int sides) {
    std::vector<test_shape> wanted;
    for (int t = 0; t < count; ++t) {
        test_shape s = torus(rings, sides, 30.0f, 10.0f);
        for (auto& p : s.points) p[0] += 100.0f * static_cast<float>(t);
        wanted.push_back(std::move(s));
    }
    scene_store store = make_store(wanted);
    store.reading = scene_reading::standard;
    store.bound_centre[0] = 50.0f * static_cast<float>(count - 1);
    store.bound_radius = 50.0f * static_cast<float>(count);
    shape_record line;
    line.kind = shape_kind::lines;
    line.lit = false;
    line.points = {0, 0, 0, 100, 100, 0};
    line.normals.assign(6, 0.0f);
    line.corners = {0, 1};
    line.corners.pack();
    store.shapes.push_back(std::move(line));
    store.point_counts.push_back(2);
    store.face_counts.push_back(1);
    ++store.shape_count;
    store.generation = 1;
    return store;
}

}  // namespace tessel::test
