// The geometry back end on its own: shapes handed to scene_builder as a front
// end would, checked in the store by counts, world coordinates, normals and
// colours.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "geometry/geometry.h"

namespace tessel::vrml {
namespace {

struct v3 {
    double x = 0, y = 0, z = 0;
};
v3 operator-(v3 a, v3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double dot(v3 a, v3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
v3 cross(v3 a, v3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double len(v3 a) { return std::sqrt(dot(a, a)); }

v3 point(const shape_record& s, std::int32_t i) {
    const auto k = static_cast<std::size_t>(i);
    return {s.points[3 * k], s.points[3 * k + 1], s.points[3 * k + 2]};
}
v3 normal(const shape_record& s, std::int32_t i) {
    const auto k = static_cast<std::size_t>(i);
    return {s.normals[3 * k], s.normals[3 * k + 1], s.normals[3 * k + 2]};
}
v3 colour(const shape_record& s, std::int32_t i) {
    if (s.colours.empty()) return {s.colour[0], s.colour[1], s.colour[2]};
    const auto k = static_cast<std::size_t>(i);
    return {s.colours[4 * k], s.colours[4 * k + 1], s.colours[4 * k + 2]};
}
std::int32_t corner(const shape_record& s, std::size_t face, int k) {
    return static_cast<std::int32_t>(s.corners[face * corners_per_primitive(s.kind) + static_cast<std::size_t>(k)]);
}
std::size_t primitives(const shape_record& s) { return s.corners.size() / corners_per_primitive(s.kind); }
// Counterclockwise area vector of triangle `face`.
v3 area_vector(const shape_record& s, std::size_t face) {
    const v3 a = point(s, corner(s, face, 0)), b = point(s, corner(s, face, 1)), c = point(s, corner(s, face, 2));
    const v3 n = cross(b - a, c - a);
    return {n.x / 2, n.y / 2, n.z / 2};
}

// Material entry i has diffuse (0.1 i, 0.5, 0.25), so a colour names its entry.
material_list numbered_materials(int n) {
    material_list m;
    for (int i = 0; i < n; ++i) m.diffuse.insert(m.diffuse.end(), {0.1f * static_cast<float>(i), 0.5f, 0.25f});
    return m;
}
int entry_of(v3 c) { return static_cast<int>(std::lround(c.x * 10)); }

matrix4 scaled(float sx, float sy, float sz) {
    matrix4 m;
    m.m[0] = sx;
    m.m[5] = sy;
    m.m[10] = sz;
    return m;
}

// Builds shapes into a fresh store, one builder per test.
struct fixture {
    scene_store store;
    warning_list warnings{"test.wrl"};
    scene_builder builder{store, warnings};
    material_list materials = numbered_materials(1);
    shape_state state;

    fixture() {
        state.material = &materials;
        state.where = {3, 1};
    }
    const shape_record& only() {
        EXPECT_EQ(store.shapes.size(), 1u);
        EXPECT_EQ(store.shape_count, 1);
        return store.shapes.at(0);
    }
};

// Two unit quads side by side in z = 0: points numbered x + 3y.
const std::vector<float> strip = {0, 0, 0, 1, 0, 0, 2, 0, 0, 0, 1, 0, 1, 1, 0, 2, 1, 0};
const std::vector<std::int32_t> strip_faces = {0, 1, 4, 3, -1, 1, 2, 5, 4, -1};

struct binding_case {
    const char* name;
    binding how;
    std::vector<std::int32_t> material_index;
    std::vector<int> expected;  // material entry per corner of strip_faces, in order (-1s left out)
};

void PrintTo(const binding_case& c, std::ostream* os) { *os << c.name; }

class FaceSetMaterials : public ::testing::TestWithParam<binding_case> {};

TEST_P(FaceSetMaterials, EachCornerTakesTheEntryItsBindingNames) {
    const binding_case& c = GetParam();
    fixture f;
    f.materials = numbered_materials(8);
    f.state.material_binding = c.how;
    f.builder.face_set(f.state, strip, strip_faces, c.material_index, {});
    const shape_record& s = f.only();
    ASSERT_EQ(f.store.face_counts[0], 4);
    ASSERT_EQ(primitives(s), 4u);
    const bool uniform = std::all_of(c.expected.begin(), c.expected.end(), [&](int e) { return e == c.expected[0]; });
    EXPECT_EQ(s.colours.empty(), uniform);
    EXPECT_EQ(entry_of({s.material.diffuse[0], 0, 0}), c.expected[0]);  // the other values follow the first entry
    for (std::size_t t = 0; t < 4; ++t) {
        const int face = point(s, corner(s, t, 0)).x + point(s, corner(s, t, 1)).x + point(s, corner(s, t, 2)).x < 3 ? 0 : 1;
        for (int k = 0; k < 3; ++k) {
            const v3 p = point(s, corner(s, t, k));
            const int file_point = static_cast<int>(p.x + 3 * p.y);
            // Where this point stands among the face's corners in the file.
            std::size_t j = 0;
            while (strip_faces[static_cast<std::size_t>(face) * 5 + j] != file_point) ++j;
            const std::size_t slot = static_cast<std::size_t>(face) * 4 + j;
            EXPECT_EQ(entry_of(colour(s, corner(s, t, k))), c.expected[slot]) << "triangle " << t << " corner " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bindings, FaceSetMaterials,
    ::testing::Values(binding_case{"Default", binding::default_binding, {}, {0, 0, 0, 0, 0, 0, 0, 0}},
                      binding_case{"Overall", binding::overall, {}, {0, 0, 0, 0, 0, 0, 0, 0}},
                      binding_case{"PerPart", binding::per_part, {}, {0, 0, 0, 0, 1, 1, 1, 1}},
                      binding_case{"PerPartIndexed", binding::per_part_indexed, {5, 2}, {5, 5, 5, 5, 2, 2, 2, 2}},
                      binding_case{"PerFace", binding::per_face, {}, {0, 0, 0, 0, 1, 1, 1, 1}},
                      binding_case{"PerFaceIndexed", binding::per_face_indexed, {3, 6}, {3, 3, 3, 3, 6, 6, 6, 6}},
                      binding_case{"PerVertex", binding::per_vertex, {}, {0, 1, 2, 3, 4, 5, 6, 7}},
                      binding_case{"PerVertexIndexed", binding::per_vertex_indexed,
                                   {7, 6, 5, 4, -1, 3, 2, 1, 0, -1}, {7, 6, 5, 4, 3, 2, 1, 0}},
                      binding_case{"PerVertexIndexedFollowsCoordinates", binding::per_vertex_indexed, {-1},
                                   {0, 1, 4, 3, 1, 2, 5, 4}},
                      binding_case{"OutOfRangeTakesTheFirst", binding::per_face_indexed, {1, 99}, {1, 1, 1, 1, 0, 0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FaceSetMaterials, MixedTransparencyMakesOneRecordPerLevel) {
    for (const bool mixed : {true, false}) {
        fixture f;
        f.materials = numbered_materials(2);
        f.materials.transparency = mixed ? std::vector<float>{0, 0.5f} : std::vector<float>{0.5f};
        f.state.material_binding = binding::per_face;
        f.builder.face_set(f.state, strip, strip_faces, {}, {});
        ASSERT_EQ(f.store.shapes.size(), mixed ? 2u : 1u);
        for (std::size_t r = 0; r < f.store.shapes.size(); ++r) {
            const shape_record& s = f.store.shapes[r];
            EXPECT_EQ(s.material.transparency, mixed ? 0.5f * static_cast<float>(r) : 0.5f);
            EXPECT_EQ(f.store.point_counts[r], static_cast<std::int64_t>(s.point_count()));
            for (std::size_t t = 0; t < primitives(s); ++t) {
                const int face = point(s, corner(s, t, 0)).x + point(s, corner(s, t, 1)).x +
                                 point(s, corner(s, t, 2)).x < 3 ? 0 : 1;
                EXPECT_EQ(entry_of(colour(s, corner(s, t, 0))), face);
                if (mixed) {
                    EXPECT_EQ(face, static_cast<int>(r));
                }
            }
        }
        EXPECT_EQ(f.store.face_counts[0] + (mixed ? f.store.face_counts[1] : 0), 4);
    }
}

struct line_case {
    const char* name;
    binding how;
    std::vector<std::int32_t> material_index;
    std::vector<int> expected;  // material entry of each segment's two ends
};
void PrintTo(const line_case& c, std::ostream* os) { *os << c.name; }
class LineSetMaterials : public ::testing::TestWithParam<line_case> {};

// Polylines 0-1-2 and 3-4 make segments (0,1), (1,2), (3,4).
TEST_P(LineSetMaterials, SegmentsTakeTheEntryTheirBindingNames) {
    const line_case& c = GetParam();
    fixture f;
    f.materials = numbered_materials(6);
    f.state.material_binding = c.how;
    const std::vector<float> pts = {0, 0, 0, 1, 0, 0, 2, 0, 0, 0, 1, 0, 1, 1, 0};
    f.builder.line_set(f.state, pts, std::vector<std::int32_t>{0, 1, 2, -1, 3, 4}, c.material_index, {});
    const shape_record& s = f.only();
    EXPECT_EQ(s.kind, shape_kind::lines);
    EXPECT_FALSE(s.lit);  // no normals given
    ASSERT_EQ(f.store.face_counts[0], 3);
    ASSERT_EQ(s.corners.size(), 6u);
    for (std::size_t seg = 0; seg < 3; ++seg) {
        for (int k = 0; k < 2; ++k) {
            EXPECT_EQ(entry_of(colour(s, corner(s, seg, k))), c.expected[seg * 2 + static_cast<std::size_t>(k)])
                << "segment " << seg << " end " << k;
        }
    }
    EXPECT_DOUBLE_EQ(point(s, corner(s, 2, 1)).y, 1.0);
}

INSTANTIATE_TEST_SUITE_P(
    Bindings, LineSetMaterials,
    ::testing::Values(line_case{"Overall", binding::overall, {}, {0, 0, 0, 0, 0, 0}},
                      line_case{"PerPartIsPerSegment", binding::per_part, {}, {0, 0, 1, 1, 2, 2}},
                      line_case{"PerPartIndexed", binding::per_part_indexed, {5, 4, 3}, {5, 5, 4, 4, 3, 3}},
                      line_case{"PerFaceIsPerPolyline", binding::per_face, {}, {0, 0, 0, 0, 1, 1}},
                      line_case{"PerFaceIndexed", binding::per_face_indexed, {4, 2}, {4, 4, 4, 4, 2, 2}},
                      line_case{"PerVertex", binding::per_vertex, {}, {0, 1, 1, 2, 3, 4}},
                      line_case{"PerVertexIndexed", binding::per_vertex_indexed, {5, 4, 3, -1, 2, 1}, {5, 4, 4, 3, 2, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

// Unlit lines show their emissive colour when the material has one, else
// the diffuse colour.
TEST(LineSet, UnlitLinesTakeTheEmissiveColourWhenThereIsOne) {
    const std::vector<float> pts = {0, 0, 0, 1, 0, 0};
    for (const bool emissive : {false, true}) {
        fixture f;
        f.materials.diffuse = {0.8f, 0.8f, 0.8f};
        if (emissive) f.materials.emissive = {1, 0, 0};
        f.builder.line_set(f.state, pts, std::vector<std::int32_t>{0, 1}, {}, {});
        const shape_record& s = f.only();
        EXPECT_FALSE(s.lit);
        EXPECT_EQ(s.colour[0], emissive ? 1.0f : 0.8f);
        EXPECT_EQ(s.colour[1], emissive ? 0.0f : 0.8f);
    }
}

TEST(PointSet, RangeBindingAndLighting) {
    fixture f;
    f.materials = numbered_materials(6);
    f.state.material_binding = binding::per_vertex;
    const std::vector<float> pts = {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0, 4, 0, 0};
    f.builder.point_set(f.state, pts, 1, 3);
    f.state.material_binding = binding::overall;
    const std::vector<float> normals = {0, 0, 1};
    f.state.normals = normals;
    f.state.normal_binding = binding::overall;
    f.builder.point_set(f.state, pts, 3, 10);  // past the end: clipped, warned
    ASSERT_EQ(f.store.shapes.size(), 2u);
    const shape_record& a = f.store.shapes[0];
    EXPECT_EQ(a.kind, shape_kind::points);
    EXPECT_FALSE(a.lit);
    ASSERT_EQ(f.store.face_counts[0], 3);
    for (std::int32_t i = 0; i < 3; ++i) {
        EXPECT_DOUBLE_EQ(point(a, corner(a, static_cast<std::size_t>(i), 0)).x, i + 1);
        EXPECT_EQ(entry_of(colour(a, corner(a, static_cast<std::size_t>(i), 0))), i + 1);  // numbered from startIndex
    }
    const shape_record& b = f.store.shapes[1];
    EXPECT_TRUE(b.lit);
    EXPECT_EQ(f.store.face_counts[1], 2);
    EXPECT_TRUE(b.colours.empty());
    EXPECT_EQ(f.warnings.count(), 1);
}

// Triangle areas, and every triangle inside the polygon, for faces that a
// fan from the first corner would get wrong.
struct polygon_case {
    const char* name;
    std::vector<float> xy;  // corners in z = 0, counterclockwise
    bool convex_hint;
    std::size_t triangles;  // at most; slivers of no area are left out
};
void PrintTo(const polygon_case& c, std::ostream* os) { *os << c.name; }
class Triangulation : public ::testing::TestWithParam<polygon_case> {};

bool inside(const std::vector<float>& xy, double x, double y) {
    bool in = false;
    const std::size_t n = xy.size() / 2;
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
        const double xi = xy[i * 2], yi = xy[i * 2 + 1], xj = xy[j * 2], yj = xy[j * 2 + 1];
        if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) in = !in;
    }
    return in;
}

TEST_P(Triangulation, AreaIsKeptAndNoTriangleLeavesThePolygon) {
    const polygon_case& c = GetParam();
    fixture f;
    f.state.hints.convex = c.convex_hint;
    std::vector<float> pts;
    std::vector<std::int32_t> face;
    double area = 0;
    const std::size_t n = c.xy.size() / 2;
    for (std::size_t i = 0; i < n; ++i) {
        pts.insert(pts.end(), {c.xy[i * 2], c.xy[i * 2 + 1], 0});
        face.push_back(static_cast<std::int32_t>(i));
        const std::size_t j = (i + 1) % n;
        area += (c.xy[i * 2] * c.xy[j * 2 + 1] - c.xy[j * 2] * c.xy[i * 2 + 1]) / 2.0;
    }
    f.builder.face_set(f.state, pts, face, {}, {});
    const shape_record& s = f.only();
    const std::size_t count = static_cast<std::size_t>(f.store.face_counts[0]);
    ASSERT_LE(count, c.triangles);
    double sum = 0;
    for (std::size_t t = 0; t < count; ++t) {
        const v3 a = area_vector(s, t);
        EXPECT_GT(a.z, 0) << "triangle " << t << " faces away";
        sum += a.z;
        const v3 p = point(s, corner(s, t, 0)), q = point(s, corner(s, t, 1)), r = point(s, corner(s, t, 2));
        EXPECT_TRUE(inside(c.xy, (p.x + q.x + r.x) / 3, (p.y + q.y + r.y) / 3)) << "triangle " << t;
    }
    EXPECT_NEAR(sum, area, 1e-5);
}

INSTANTIATE_TEST_SUITE_P(
    Faces, Triangulation,
    ::testing::Values(
        polygon_case{"ConvexQuad", {0, 0, 2, 0, 2, 1, 0, 1}, false, 2},
        polygon_case{"DartReflexAtSecondCorner", {0, 0, 1, 0.8f, 2, 0, 1, 2}, false, 2},
        polygon_case{"DartReflexAtFirstCorner", {1, 0.8f, 2, 0, 1, 2, 0, 0}, false, 2},
        polygon_case{"ConvexHexagonFanned", {2, 0, 1, 1.7f, -1, 1.7f, -2, 0, -1, -1.7f, 1, -1.7f}, false, 4},
        polygon_case{"LShape", {0, 0, 2, 0, 2, 1, 1, 1, 1, 2, 0, 2}, false, 4},
        polygon_case{"LShapeStartingAtTheReflexCorner", {1, 1, 1, 2, 0, 2, 0, 0, 2, 0, 2, 1}, false, 4},
        polygon_case{"Comb", {0, 0, 5, 0, 5, 3, 4, 3, 4, 1, 3, 1, 3, 3, 2, 3, 2, 1, 1, 1, 1, 3, 0, 3}, false, 10},
        polygon_case{"ConvexHintStillChecksQuads", {1, 0.8f, 2, 0, 1, 2, 0, 0}, true, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Triangulation, NonPlanarFaceIsSplitOverItsBestPlane) {
    // A concave hexagon, lifted and bent out of its plane a little.
    fixture f;
    const std::vector<float> pts = {0, 0, 0, 2, 0, 0.1f, 2, 1, 0, 1, 1, 0.1f, 1, 2, 0, 0, 2, 0.1f};
    f.builder.face_set(f.state, pts, std::vector<std::int32_t>{0, 1, 2, 3, 4, 5}, {}, {});
    const shape_record& s = f.only();
    double projected = 0;
    for (std::size_t t = 0; t < primitives(s); ++t) {
        EXPECT_GT(area_vector(s, t).z, 0);
        projected += area_vector(s, t).z;
    }
    EXPECT_NEAR(projected, 3.0, 1e-4);  // the L's area seen from above
}

// The tessellator's time grows with the square of a face's corners: a face
// too large for what a load may spend on it is fanned, with one warning,
// and smaller concave faces after it are still split exactly.
TEST(Triangulation, FacesTooLargeToTessellateInTimeAreFanned) {
    fixture f;
    f.state.hints.convex = false;
    const std::int32_t n = 60000;  // n * n is beyond the load's tessellation work
    std::vector<float> pts;
    std::vector<std::int32_t> star;
    for (std::int32_t i = 0; i < n; ++i) {
        const double a = 2 * std::numbers::pi * i / n, r = i % 2 ? 0.5 : 1;
        pts.insert(pts.end(), {static_cast<float>(r * std::cos(a)), static_cast<float>(r * std::sin(a)), 0});
        star.push_back(i);
    }
    f.builder.face_set(f.state, pts, star, {}, {});
    const std::vector<float> comb = {0, 0, 0, 5, 0, 0, 5, 3, 0, 4, 3, 0, 4, 1, 0, 3, 1, 0,
                                     3, 3, 0, 2, 3, 0, 2, 1, 0, 1, 1, 0, 1, 3, 0, 0, 3, 0};
    f.builder.face_set(f.state, comb, std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, {}, {});
    ASSERT_EQ(f.store.face_counts.size(), 2u);
    EXPECT_EQ(f.store.face_counts[0], n - 2);
    // Split exactly: a fan from the first corner would cross the gaps
    // between the teeth with triangles turned the other way.
    for (std::size_t t = 0; t < primitives(f.store.shapes[1]); ++t)
        EXPECT_GT(area_vector(f.store.shapes[1], t).z, 0) << t;
    EXPECT_EQ(f.warnings.count(), 1);
    EXPECT_NE(f.warnings.texts().at(0).find("faces too large to triangulate exactly"), std::string::npos);
}

// A unit cube as a face set, counterclockwise seen from outside.
const std::vector<float> cube_points = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1};
const std::vector<std::int32_t> cube_faces = {0, 3, 2, 1, -1, 4, 5, 6, 7, -1, 0, 1, 5, 4, -1,
                                              2, 3, 7, 6, -1, 0, 4, 7, 3, -1, 1, 2, 6, 5, -1};

TEST(CreaseNormals, CubeStaysSharpUnderTheDefaultAngleAndRoundsAboveAQuarterTurn) {
    // 0: no crease angle at all, each face flat (VRML97's default).
    for (const float crease : {0.0f, 0.5f, 1.6f}) {
        fixture f;
        f.state.hints.crease_angle = crease;
        f.builder.face_set(f.state, cube_points, cube_faces, {}, {});
        const shape_record& s = f.only();
        ASSERT_EQ(f.store.face_counts[0], 12);
        const bool sharp = crease < 1.5f;
        EXPECT_EQ(f.store.point_counts[0], sharp ? 24 : 8);
        for (std::size_t t = 0; t < 12; ++t) {
            const v3 a = area_vector(s, t);
            for (int k = 0; k < 3; ++k) {
                const v3 n = normal(s, corner(s, t, k));
                EXPECT_NEAR(len(n), 1.0, 1e-6);
                // Sharp: the face's own direction. Round: along the corner's diagonal.
                const v3 p = point(s, corner(s, t, k));
                const v3 want = sharp ? v3{a.x * 2, a.y * 2, a.z * 2}
                                      : v3{(p.x - 0.5) / std::sqrt(0.75), (p.y - 0.5) / std::sqrt(0.75),
                                           (p.z - 0.5) / std::sqrt(0.75)};
                EXPECT_NEAR(dot(n, want), 1.0, 1e-5) << "crease " << crease;
            }
        }
    }
}

TEST(CreaseNormals, FinelyFacetedTubeIsSmoothAndSharesItsPoints) {
    // 32 quads around a tube: neighbours differ by about 0.2 rad.
    fixture f;
    std::vector<float> pts;
    std::vector<std::int32_t> faces;
    const int n = 32;
    for (int j = 0; j < n; ++j) {
        const double a = 2 * std::numbers::pi * j / n;
        for (const float y : {0.0f, 1.0f}) pts.insert(pts.end(), {float(std::sin(a)), y, float(std::cos(a))});
    }
    for (int j = 0; j < n; ++j) {
        const int k = (j + 1) % n;
        faces.insert(faces.end(), {2 * j, 2 * k, 2 * k + 1, 2 * j + 1, -1});
    }
    f.builder.face_set(f.state, pts, faces, {}, {});
    const shape_record& s = f.only();
    EXPECT_EQ(f.store.point_counts[0], 2 * n);
    for (std::int32_t i = 0; i < 2 * n; ++i) {
        const v3 p = point(s, i), nn = normal(s, i);
        EXPECT_NEAR(dot(nn, v3{p.x, 0, p.z}), 1.0, 2e-3);  // radial: the faces around it averaged
    }
}

TEST(Normals, GivenNormalsFollowTheInverseTranspose) {
    // A face in the plane x = y, stretched twice along x: the world normal
    // is (1, -2, 0) normalised, not the object normal stretched.
    fixture f;
    f.state.matrix = scaled(2, 1, 1);
    const std::vector<float> pts = {0, 0, 0, 1, 1, 0, 1, 1, 1};
    const std::vector<float> given = {0.70710678f, -0.70710678f, 0};
    f.state.normals = given;
    f.state.normal_binding = binding::overall;
    f.builder.face_set(f.state, pts, std::vector<std::int32_t>{0, 1, 2}, {}, {});
    const shape_record& s = f.only();
    for (std::int32_t i = 0; i < 3; ++i) {
        const v3 n = normal(s, i);
        EXPECT_NEAR(n.x, 1 / std::sqrt(5.0), 1e-6);
        EXPECT_NEAR(n.y, -2 / std::sqrt(5.0), 1e-6);
    }
    EXPECT_DOUBLE_EQ(point(s, corner(s, 0, 1)).x, 2.0);  // points in world coordinates
}

struct winding_case {
    const char* name;
    float mirror;  // x scale
    vertex_ordering ordering;
    bool reverse_file;  // faces written clockwise
};
void PrintTo(const winding_case& c, std::ostream* os) { *os << c.name; }
class Winding : public ::testing::TestWithParam<winding_case> {};

TEST_P(Winding, StoredTrianglesRunCounterclockwiseSeenFromOutside) {
    const winding_case& c = GetParam();
    fixture f;
    f.state.matrix = scaled(c.mirror, 1, 1);
    f.state.hints = {c.ordering, true, false, 0.5f};
    std::vector<std::int32_t> faces = cube_faces;
    if (c.reverse_file) std::reverse(faces.begin(), faces.end());  // every face clockwise, order of faces reversed
    f.builder.face_set(f.state, cube_points, faces, {}, {});
    f.builder.cube(f.state, 1, 1, 1);
    ASSERT_EQ(f.store.shapes.size(), 2u);
    EXPECT_EQ(f.store.shapes[0].two_sided, c.ordering == vertex_ordering::unknown);
    const v3 centres[2] = {{0.5 * c.mirror, 0.5, 0.5}, {0, 0, 0}};
    for (std::size_t s = 0; s < 2; ++s) {
        const shape_record& sh = f.store.shapes[s];
        for (std::size_t t = 0; t < primitives(sh); ++t) {
            const v3 a = area_vector(sh, t);
            const v3 out = point(sh, corner(sh, t, 0)) - centres[s];
            EXPECT_GT(dot(a, out), 0) << "shape " << s << " triangle " << t;
            EXPECT_GT(dot(a, normal(sh, corner(sh, t, 0))), 0) << "shape " << s << " triangle " << t;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Orderings, Winding,
    ::testing::Values(winding_case{"Counterclockwise", 1, vertex_ordering::counterclockwise, false},
                      winding_case{"CounterclockwiseMirrored", -1, vertex_ordering::counterclockwise, false},
                      winding_case{"Clockwise", 1, vertex_ordering::clockwise, true},
                      winding_case{"ClockwiseMirrored", -1, vertex_ordering::clockwise, true},
                      winding_case{"UnknownMirrored", -1, vertex_ordering::unknown, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct bad_case {
    const char* name;
    std::vector<float> coords;
    std::vector<std::int32_t> faces;
    std::int64_t triangles;
    std::int64_t warnings;
};
void PrintTo(const bad_case& c, std::ostream* os) { *os << c.name; }
class BadFaces : public ::testing::TestWithParam<bad_case> {};

const std::vector<float> square = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
const float nan = std::nanf("");

TEST_P(BadFaces, AreLeftOutWithOneWarningPerKind) {
    const bad_case& c = GetParam();
    fixture f;
    f.builder.face_set(f.state, c.coords, c.faces, {}, {});
    const std::int64_t got = f.store.shapes.empty() ? 0 : f.store.face_counts[0];
    EXPECT_EQ(got, c.triangles);
    EXPECT_EQ(f.warnings.count(), c.warnings);
    if (c.warnings > 0) {
        EXPECT_EQ(f.warnings.texts()[0].rfind("test.wrl:3:1: ", 0), 0u) << f.warnings.texts()[0];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, BadFaces,
    ::testing::Values(bad_case{"IndexPastTheEnd", square, {0, 1, 2, 3, -1, 0, 1, 9, -1, 1, 2, 99, -1}, 2, 1},
                      bad_case{"NegativeIndicesOnlyEndFaces", square, {-5, 0, 1, 2, -7, -1, -1}, 1, 0},
                      bad_case{"RepeatedCornersLeaveTwo", square, {0, 0, 1, 1, 0, -1}, 0, 0},
                      bad_case{"ClosingCornerRepeated", square, {0, 1, 2, 3, 0, -1}, 2, 0},
                      bad_case{"Collinear", {0, 0, 0, 1, 0, 0, 2, 0, 0}, {0, 1, 2, -1}, 0, 0},
                      bad_case{"NaNPoint", {0, 0, 0, 1, 0, 0, nan, 1, 0, 0, 1, 0}, {0, 1, 2, -1, 0, 1, 3}, 1, 1},
                      bad_case{"NoIndices", square, {}, 0, 0},
                      bad_case{"NoPoints", {}, {0, 1, 2}, 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BadFaces, OutOfRangeNormalsAndMaterialsFallBackOnce) {
    fixture f;
    f.materials = numbered_materials(2);
    f.state.material_binding = binding::per_vertex_indexed;
    const std::vector<float> given = {0, 0, 1};
    f.state.normals = given;
    f.builder.face_set(f.state, square, std::vector<std::int32_t>{0, 1, 2, 3}, std::vector<std::int32_t>{1, 5, 1, 7},
                       std::vector<std::int32_t>{0, 0, 4, 0});
    const shape_record& s = f.only();
    EXPECT_EQ(f.store.face_counts[0], 2);
    EXPECT_EQ(f.warnings.count(), 2);  // one for materials, one for normals
    for (std::int32_t i = 0; i < f.store.point_counts[0]; ++i) {
        EXPECT_NEAR(normal(s, i).z, 1.0, 1e-6);  // the made normal agrees with the given ones here
        const int e = entry_of(colour(s, i));
        EXPECT_TRUE(e == 0 || e == 1);
    }
}

// Random lists of every kind, bindings and index lists that point anywhere:
// nothing read outside its array (the sanitizer build checks), and every
// record the store gets is whole.
TEST(BadFaces, RandomInputKeepsEveryRecordConsistent) {
    std::mt19937 random(12345);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    fixture f;
    f.materials = numbered_materials(3);
    f.materials.transparency = {0, 0.5f};
    for (int round = 0; round < 300; ++round) {
        std::vector<float> coords(static_cast<std::size_t>(pick(12)) * 3);
        for (float& v : coords) v = pick(20) == 0 ? nan : static_cast<float>(pick(7)) - 3.0f;
        const auto indices = [&](int n, int range) {
            std::vector<std::int32_t> list(static_cast<std::size_t>(pick(n)));
            for (auto& i : list) i = pick(range + 2) - 1;
            return list;
        };
        const std::vector<std::int32_t> coord_index = indices(40, static_cast<int>(coords.size() / 3) + 1);
        const std::vector<std::int32_t> material_index = indices(20, 4), normal_index = indices(20, 4);
        std::vector<float> normals(static_cast<std::size_t>(pick(3)) * 3, 0.5f);
        f.state.normals = normals;
        f.state.material_binding = static_cast<binding>(pick(8));
        f.state.normal_binding = static_cast<binding>(pick(8));
        f.state.hints = {static_cast<vertex_ordering>(pick(3)), pick(2) == 0, pick(2) == 0, 0.1f * static_cast<float>(pick(40))};
        f.state.matrix = scaled(pick(2) ? 1.0f : -2.0f, 1, pick(5) ? 1.0f : 0.0f);
        switch (pick(3)) {
            case 0: f.builder.face_set(f.state, coords, coord_index, material_index, normal_index); break;
            case 1: f.builder.line_set(f.state, coords, coord_index, material_index, normal_index); break;
            default: f.builder.point_set(f.state, coords, pick(8) - 2, pick(8) - 2); break;
        }
    }
    f.builder.finish();
    ASSERT_EQ(f.store.shape_count, static_cast<std::int64_t>(f.store.shapes.size()));
    ASSERT_EQ(f.store.point_counts.size(), f.store.shapes.size());
    EXPECT_GT(f.store.shapes.size(), 50u);
    for (std::size_t r = 0; r < f.store.shapes.size(); ++r) {
        const shape_record& s = f.store.shapes[r];
        const auto points = static_cast<std::size_t>(f.store.point_counts[r]);
        const std::size_t per = s.kind == shape_kind::points ? 1 : s.kind == shape_kind::lines ? 2 : 3;
        ASSERT_EQ(s.points.size(), 3 * points);
        ASSERT_EQ(s.normals.size(), 3 * points);
        ASSERT_TRUE(s.colours.empty() || s.colours.size() == 4 * points);
        ASSERT_EQ(s.corners.size(), per * static_cast<std::size_t>(f.store.face_counts[r]));
        for (const std::uint32_t v : s.corners) ASSERT_LT(v, points);
        for (std::size_t i = 0; i < 3 * points; ++i) {
            ASSERT_TRUE(std::isfinite(s.points[i]) && std::isfinite(s.normals[i]));
        }
    }
    EXPECT_TRUE(std::isfinite(f.store.bound_radius));
}

struct primitive_case {
    const char* name;
    int kind;  // 0 cube, 1 sphere, 2 cone, 3 cylinder
    unsigned parts;
    binding how;
    std::int64_t triangles;
    bool two_sided;
    int part_colours;  // distinct colours seen
};
void PrintTo(const primitive_case& c, std::ostream* os) { *os << c.name; }
class Primitives : public ::testing::TestWithParam<primitive_case> {};

// Which part a triangle belongs to, from its direction: 0 sides, 1 top, 2 bottom
// (cone: 1 bottom); the cube's faces in the order front, back, left, right, top, bottom.
int part_of(int kind, v3 a) {
    const double l = len(a);
    if (kind == 0) {
        const v3 dirs[6] = {{0, 0, 1}, {0, 0, -1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
        for (int i = 0; i < 6; ++i) {
            if (dot(a, dirs[i]) > 0.99 * l) return i;
        }
        return -1;
    }
    if (a.y > 0.99 * l) return 1;
    if (a.y < -0.99 * l) return kind == 2 ? 1 : 2;
    return 0;
}

TEST_P(Primitives, PartsCountsSizesAndColours) {
    const primitive_case& c = GetParam();
    fixture f;
    f.materials = numbered_materials(6);
    f.state.material_binding = c.how;
    // The reading says which primitives show their inside (open ones).
    f.state.hints.solid = !c.two_sided;
    // Moved and scaled: sizes are checked in world coordinates.
    f.state.matrix.m[12] = 10;
    f.state.matrix.m[0] = f.state.matrix.m[5] = f.state.matrix.m[10] = 2;
    switch (c.kind) {
        case 0: f.builder.cube(f.state, 2, 4, 6); break;
        case 1: f.builder.sphere(f.state, 1.5f); break;
        case 2: f.builder.cone(f.state, 1.5f, 3, c.parts); break;
        default: f.builder.cylinder(f.state, 1.5f, 3, c.parts); break;
    }
    const shape_record& s = f.only();
    EXPECT_EQ(s.kind, shape_kind::triangles);
    EXPECT_EQ(f.store.face_counts[0], c.triangles);
    EXPECT_EQ(s.two_sided, c.two_sided);
    std::vector<int> seen;
    for (std::size_t t = 0; t < primitives(s); ++t) {
        const int part = part_of(c.kind, area_vector(s, t));
        for (int k = 0; k < 3; ++k) {
            const std::int32_t v = corner(s, t, k);
            const v3 p = point(s, v);
            const v3 local{(p.x - 10) / 2, p.y / 2, p.z / 2};
            const double radial = std::hypot(local.x, local.z);
            switch (c.kind) {
                case 0:
                    EXPECT_DOUBLE_EQ(std::fabs(local.x), 1);
                    EXPECT_DOUBLE_EQ(std::fabs(local.y), 2);
                    EXPECT_DOUBLE_EQ(std::fabs(local.z), 3);
                    break;
                case 1: EXPECT_NEAR(len(local), 1.5, 1e-5); break;
                default:
                    EXPECT_LE(radial, 1.5 + 1e-5);
                    EXPECT_NEAR(std::fabs(local.y), 1.5, 1e-5);
                    if (part == 0 && c.kind == 3) {
                        EXPECT_NEAR(radial, 1.5, 1e-5);
                    }
                    break;
            }
            EXPECT_NEAR(len(normal(s, v)), 1.0, 1e-5);
            const int e = entry_of(colour(s, v));
            if (c.part_colours > 1) {
                EXPECT_EQ(e, part) << "triangle " << t;
            }
            if (std::find(seen.begin(), seen.end(), e) == seen.end()) seen.push_back(e);
        }
        if ((part > 0 && c.kind != 1) || c.kind == 0) {
            // Flat parts: sharp rims, the normal is the face's own.
            const v3 a = area_vector(s, t);
            EXPECT_NEAR(dot(normal(s, corner(s, t, 0)), a) / len(a), 1.0, 1e-5);
        }
    }
    EXPECT_EQ(static_cast<int>(seen.size()), c.part_colours);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, Primitives,
    ::testing::Values(primitive_case{"CubeOverall", 0, parts::all, binding::overall, 12, false, 1},
                      primitive_case{"CubePerFace", 0, parts::all, binding::per_face, 12, false, 6},
                      primitive_case{"CubePerPartIndexed", 0, parts::all, binding::per_part_indexed, 12, false, 6},
                      primitive_case{"CubePerVertexTakesTheFirst", 0, parts::all, binding::per_vertex, 12, false, 1},
                      primitive_case{"SphereIgnoresPerPart", 1, parts::all, binding::per_part, 960, false, 1},
                      primitive_case{"ConePerPart", 2, parts::all, binding::per_part, 64, false, 2},
                      primitive_case{"ConeSidesOnlyIsTwoSided", 2, parts::sides, binding::overall, 32, true, 1},
                      primitive_case{"CylinderPerPart", 3, parts::all, binding::per_part, 128, false, 3},
                      primitive_case{"CylinderPerFaceIsOverall", 3, parts::all, binding::per_face, 128, false, 1},
                      primitive_case{"CylinderTopAndBottom", 3, parts::top | parts::bottom, binding::per_part, 64,
                                     true, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Finish, BoundingSphereHoldsEveryPointAndMarksTheReading) {
    fixture f;
    f.state.matrix.m[12] = 100;
    f.builder.cube(f.state, 2, 2, 2);
    f.state.matrix.m[12] = -100;
    f.builder.sphere(f.state, 1);
    f.builder.finish();
    EXPECT_EQ(f.store.reading, scene_reading::standard);
    EXPECT_EQ(f.store.shape_count, 2);
    EXPECT_EQ(f.store.point_counts.size(), 2u);
    EXPECT_NEAR(f.store.bound_centre[0], 0.0, 1e-4);
    EXPECT_NEAR(f.store.bound_radius, std::sqrt(101.0 * 101.0 + 2.0), 1e-3);  // the cube's far corners
    for (const shape_record& s : f.store.shapes) {
        EXPECT_EQ(s.rotation[2], 1.0f);  // the identity, written as an axis and angle
        EXPECT_EQ(s.translation[0], 0.0f);
    }

    fixture empty;
    empty.builder.finish();
    EXPECT_EQ(empty.store.bound_radius, 0.0f);
    EXPECT_EQ(empty.store.reading, scene_reading::standard);
}

}  // namespace
}  // namespace tessel::vrml
