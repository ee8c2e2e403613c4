#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "scene/scene.h"

using tessel::compute_normals;
using tessel::compute_normals_reference;
using tessel::scene_store;
using tessel::shape_record;

namespace {

struct vec {
    float x, y, z;
};
struct tri {
    std::int32_t a, b, c;
};

scene_store one_shape(const std::vector<vec>& points, const std::vector<tri>& faces) {
    scene_store s;
    s.shape_count = 1;
    s.shapes.resize(1);
    s.point_counts = {static_cast<std::int64_t>(points.size())};
    s.face_counts = {static_cast<std::int64_t>(faces.size())};
    shape_record& sh = s.shapes[0];
    for (const vec& p : points) sh.points.insert(sh.points.end(), {p.x, p.y, p.z});
    sh.normals.assign(3 * points.size(), 0.0f);
    for (const tri& f : faces)
        sh.corners.append({static_cast<std::uint32_t>(f.a), static_cast<std::uint32_t>(f.b),
                                             static_cast<std::uint32_t>(f.c)});
    return s;
}

vec normal_of(const scene_store& s, int point) {
    const auto& sh = s.shapes[0];
    return {sh.normals[3 * (point) + 0], sh.normals[3 * (point) + 1], sh.normals[3 * (point) + 2]};
}

TEST(Normals, KnownCases) {
    const std::vector<vec> square = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {7, 7, 7}};
    const struct {
        const char* what;
        std::vector<tri> faces;
        int point;
        vec expected;
    } cases[] = {
        {"counter-clockwise triangle", {{0, 1, 2}}, 1, {0, 0, 1}},
        {"clockwise triangle", {{0, 2, 1}}, 1, {0, 0, -1}},
        {"point no face uses", {{0, 1, 2}}, 4, {0, 0, 0}},
        {"no faces", {}, 0, {0, 0, 0}},
        {"opposite windings cancel", {{0, 1, 2}, {0, 2, 1}}, 0, {0, 0, 0}},
        {"degenerate face adds nothing", {{0, 1, 2}, {0, 0, 1}}, 0, {0, 0, 1}},
        {"two faces at right angles", {{0, 1, 2}, {0, 2, 3}}, 0, {0.70710677f, 0, 0.70710677f}},
        // A face naming a point twice is added once.
        {"repeated corner", {{1, 1, 0}, {0, 1, 2}}, 1, {0, 0, 1}},
    };
    for (const auto& c : cases) {
        scene_store s = one_shape(square, c.faces);
        compute_normals(s);
        const vec n = normal_of(s, c.point);
        EXPECT_FLOAT_EQ(n.x, c.expected.x) << c.what;
        EXPECT_FLOAT_EQ(n.y, c.expected.y) << c.what;
        EXPECT_FLOAT_EQ(n.z, c.expected.z) << c.what;
    }
}

TEST(Normals, LargerFacesWeighMore) {
    // Face normals of lengths 2 and 8 at right angles: the sum, not the
    // average of unit vectors, sets the direction.
    scene_store s = one_shape({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 2}, {0, 2, 0}}, {{0, 1, 2}, {0, 4, 3}});
    compute_normals(s);
    const vec n = normal_of(s, 0);
    EXPECT_GT(n.x, 0.9f);
    EXPECT_NEAR(std::hypot(n.x, n.z), 1.0f, 1e-6f);
}

bool same_bits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// The linear pass must give exactly the floats of the per-point search over
// all faces, including on meshes with shared, repeated and unused points.
TEST(Normals, LinearPassMatchesThePerPointDefinitionBitForBit) {
    std::mt19937 rng(99);
    for (int round = 0; round < 30; ++round) {
        const int points = 1 + round * 7;
        std::uniform_real_distribution<float> coord(-100, 100);
        std::uniform_int_distribution<int> corner(0, points - 1);
        std::vector<vec> p;
        for (int i = 0; i < points; ++i) p.push_back({coord(rng), coord(rng), coord(rng)});
        std::vector<tri> f;
        for (int k = 0; k < round * 11; ++k) f.push_back({corner(rng), corner(rng), corner(rng)});
        scene_store fast = one_shape(p, f);
        scene_store slow = one_shape(p, f);
        compute_normals(fast);
        compute_normals_reference(slow);
        EXPECT_TRUE(same_bits(fast.shapes[0].normals, slow.shapes[0].normals));
    }
}

TEST(Normals, EveryShapeIsProcessed) {
    scene_store s = one_shape({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    s.shapes.push_back(s.shapes[0]);
    s.point_counts.push_back(3);
    s.face_counts.push_back(1);
    s.shape_count = 2;
    compute_normals(s);
    EXPECT_EQ(s.shapes[1].normals[3 * (0) + 2], 1.0f);
}

}  // namespace
