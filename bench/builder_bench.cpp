// tessel-builder-bench: the geometry back end's share of a standard load.
// Hands scene_builder a torus of quads (and the same torus as triangles)
// as a front end would, with the default crease angle, and times it beside a
// baseline from the same run: transforming every point and copying every
// index into the store's layout, the least any back end must do.
//
//   tessel-builder-bench [TRIANGLES]   default 2000000

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <numbers>
#include <vector>

#include "geometry/geometry.h"

namespace {

using clock_type = std::chrono::steady_clock;
constexpr int runs = 3;

struct torus {
    std::vector<float> coords;
    std::vector<std::int32_t> quads;      // a, b, c, d, -1 per quad
    std::vector<std::int32_t> triangles;  // each quad as two triangles
};

torus make_torus(std::int64_t triangles) {
    const std::int64_t v = std::max<std::int64_t>(3, static_cast<std::int64_t>(std::sqrt(triangles / 8.0)));
    const std::int64_t u = std::max<std::int64_t>(3, triangles / (2 * v));
    torus t;
    t.coords.reserve(static_cast<std::size_t>(u * v * 3));
    for (std::int64_t i = 0; i < u; ++i) {
        const double a = 2 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(u);
        for (std::int64_t j = 0; j < v; ++j) {
            const double b = 2 * std::numbers::pi * static_cast<double>(j) / static_cast<double>(v);
            const double r = 100 + 35 * std::cos(b);
            t.coords.insert(t.coords.end(), {static_cast<float>(r * std::cos(a)), static_cast<float>(r * std::sin(a)),
                                             static_cast<float>(35 * std::sin(b))});
        }
    }
    for (std::int64_t i = 0; i < u; ++i) {
        for (std::int64_t j = 0; j < v; ++j) {
            const auto p = [&](std::int64_t di, std::int64_t dj) {
                return static_cast<std::int32_t>(((i + di) % u) * v + (j + dj) % v);
            };
            t.quads.insert(t.quads.end(), {p(0, 0), p(1, 0), p(1, 1), p(0, 1), -1});
            t.triangles.insert(t.triangles.end(), {p(0, 0), p(1, 0), p(1, 1), -1, p(0, 0), p(1, 1), p(0, 1), -1});
        }
    }
    return t;
}

// Processor time of this process (user and system, page faults included):
// on a shared machine it varies far less than the wall clock.
double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct timing {
    double wall = 1e30, cpu = 1e30;
};

template <typename F>
timing best_of(F&& f) {
    timing best;
    for (int r = 0; r < runs; ++r) {
        const auto t0 = clock_type::now();
        const double c0 = cpu_seconds();
        f();
        best.cpu = std::min(best.cpu, cpu_seconds() - c0);
        best.wall = std::min(best.wall, std::chrono::duration<double>(clock_type::now() - t0).count());
    }
    return best;
}

// Points through the matrix into the store's arrays, indices copied as they
// are: what loading the same data costs with no triangulation, no normals
// and no bindings.
void baseline(const torus& t, const float m[16], tessel::scene_store& out) {
    tessel::shape_record s;
    const std::size_t n = t.coords.size() / 3;
    s.points.resize(3 * n);
    for (std::size_t i = 0; i < n; ++i) {
        const float x = t.coords[i * 3], y = t.coords[i * 3 + 1], z = t.coords[i * 3 + 2];
        for (int k = 0; k < 3; ++k) s.points[3 * i + static_cast<std::size_t>(k)] = m[k] * x + m[4 + k] * y + m[8 + k] * z + m[12 + k];
    }
    for (std::size_t i = 0; i + 3 < t.triangles.size(); i += 4) {
        for (int k = 0; k < 3; ++k) s.corners.push_back(static_cast<std::uint32_t>(t.triangles[i + static_cast<std::size_t>(k)]));
    }
    out.shapes.push_back(std::move(s));
}

}  // namespace

int main(int argc, char** argv) {
    const std::int64_t wanted = argc > 1 ? std::atoll(argv[1]) : 2000000;
    if (wanted <= 0) {
        std::fputs("usage: tessel-builder-bench [TRIANGLES]\n", stderr);
        return 1;
    }
    const torus t = make_torus(wanted);
    tessel::vrml::material_list materials;
    tessel::vrml::shape_state state;
    state.material = &materials;

    std::int64_t triangles = 0, vertices = 0;
    const auto build = [&](const std::vector<std::int32_t>& faces) {
        return best_of([&] {
            tessel::scene_store store;
            tessel::vrml::warning_list warnings;
            tessel::vrml::scene_builder builder(store, warnings);
            builder.face_set(state, t.coords, faces, {}, {});
            builder.finish();
            triangles = store.face_counts.at(0);
            vertices = store.point_counts.at(0);
        });
    };
    const timing base = best_of([&] {
        tessel::scene_store store;
        baseline(t, state.matrix.m, store);
    });
    const timing quads = build(t.quads);
    const std::int64_t quad_triangles = triangles, quad_vertices = vertices;
    const timing tris = build(t.triangles);
    std::printf("torus: %zu points, %lld triangles (%lld vertices after crease normals)\n", t.coords.size() / 3,
                static_cast<long long>(quad_triangles), static_cast<long long>(quad_vertices));
    const auto row = [](const char* name, timing t, timing base, std::int64_t triangles) {
        std::printf("%-30s cpu %.3f s  wall %.3f s  %5.1f x baseline  %4.0f ns/triangle\n", name, t.cpu, t.wall,
                    t.cpu / base.cpu, t.cpu * 1e9 / static_cast<double>(triangles));
    };
    row("baseline (transform + copy)", base, base, quad_triangles);
    row("scene_builder, quads", quads, base, quad_triangles);
    row("scene_builder, triangles", tris, base, triangles);
    return 0;
}
