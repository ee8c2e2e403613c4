// ElevationGrid and Extrusion as face sets: point positions, which way each
// face looks (from its corner order), caps, texture coordinates, and inputs
// that must be refused or repaired rather than crash.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "geometry/generated_shapes.h"
#include "geometry/geometry.h"

namespace tessel::vrml {
namespace {

struct v3 {
    double x = 0, y = 0, z = 0;
};
v3 operator-(v3 a, v3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
v3 operator+(v3 a, v3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
double dot(v3 a, v3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
v3 cross(v3 a, v3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double len(v3 a) { return std::sqrt(dot(a, a)); }

constexpr double tol = 1e-5;

#define EXPECT_V3_NEAR(a, b)                       \
    do {                                           \
        const v3 a_ = (a), b_ = (b);               \
        EXPECT_NEAR(a_.x, b_.x, tol) << "x";       \
        EXPECT_NEAR(a_.y, b_.y, tol) << "y";       \
        EXPECT_NEAR(a_.z, b_.z, tol) << "z";       \
    } while (0)

v3 point(const generated_faces& g, std::int32_t i) {
    const auto k = static_cast<std::size_t>(i) * 3;
    return {g.coords.at(k), g.coords.at(k + 1), g.coords.at(k + 2)};
}
std::pair<double, double> tex(const generated_faces& g, std::int32_t i) {
    const auto k = static_cast<std::size_t>(i) * 2;
    return {g.texture_coords.at(k), g.texture_coords.at(k + 1)};
}

std::vector<std::vector<std::int32_t>> faces_of(const std::vector<std::int32_t>& index) {
    std::vector<std::vector<std::int32_t>> faces(1);
    for (std::int32_t i : index) {
        if (i < 0) faces.emplace_back();
        else faces.back().push_back(i);
    }
    faces.pop_back();
    return faces;
}

// Twice the area vector of a face from its corner order (Newell): it points
// to the side from which the corners run counterclockwise.
v3 area_normal(const generated_faces& g, const std::vector<std::int32_t>& face) {
    v3 n;
    for (std::size_t k = 0; k < face.size(); ++k) n = n + cross(point(g, face[k]), point(g, face[(k + 1) % face.size()]));
    return n;
}
v3 centroid(const generated_faces& g, const std::vector<std::int32_t>& face) {
    v3 c;
    for (std::int32_t i : face) c = c + point(g, i);
    const double k = 1.0 / static_cast<double>(face.size());
    return {c.x * k, c.y * k, c.z * k};
}

// Every index in range, texture indices in step with the coordinate ones.
void expect_well_formed(const generated_faces& g) {
    const auto points = static_cast<std::int32_t>(g.coords.size() / 3);
    const auto entries = static_cast<std::int32_t>(g.texture_coords.size() / 2);
    ASSERT_EQ(g.coord_index.size(), g.texture_coord_index.size());
    for (std::size_t k = 0; k < g.coord_index.size(); ++k) {
        ASSERT_EQ(g.coord_index[k] < 0, g.texture_coord_index[k] < 0) << k;
        ASSERT_LT(g.coord_index[k], points);
        ASSERT_LT(g.texture_coord_index[k], entries);
    }
    for (float v : g.coords) ASSERT_TRUE(std::isfinite(v));
    for (float v : g.texture_coords) ASSERT_TRUE(std::isfinite(v));
}

// ----------------------------------------------------------------- ElevationGrid

TEST(ElevationGrid, PointsCellsWindingAndTexture) {
    const std::vector<float> h = {0, 1, 2, 3, 4, 5};
    generated_faces g;
    std::string problem;
    ASSERT_TRUE(elevation_grid_faces({3, 2, 2.0f, 0.5f, h}, g, problem));
    EXPECT_EQ(problem, "");
    expect_well_formed(g);
    ASSERT_EQ(g.coords.size(), 6u * 3);
    for (std::int32_t j = 0; j < 2; ++j) {
        for (std::int32_t i = 0; i < 3; ++i) {
            const std::int32_t k = j * 3 + i;
            EXPECT_V3_NEAR(point(g, k), (v3{2.0 * i, h[static_cast<std::size_t>(k)], 0.5 * j}));
            EXPECT_NEAR(tex(g, k).first, i / 2.0, tol);
            EXPECT_NEAR(tex(g, k).second, j / 1.0, tol);
        }
    }
    const auto faces = faces_of(g.coord_index);
    ASSERT_EQ(faces.size(), 2u);
    // Cell (1, 0) is face 1 and uses vertices (1,0), (2,0), (1,1), (2,1).
    EXPECT_EQ(faces[1], (std::vector<std::int32_t>{1, 4, 5, 2}));
    for (const auto& f : faces) EXPECT_GT(area_normal(g, f).y, 0) << "front is +y";
    EXPECT_EQ(g.texture_coord_index, g.coord_index);
}

TEST(ElevationGrid, BadInputIsRefusedOrRepaired) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct row {
        const char* name;
        elevation_grid_params p;
        std::vector<float> heights;
        bool drawn;
        const char* problem_has;
        float height_of_last;  // when drawn
    };
    const std::vector<row> rows = {
        {"empty", {0, 0, 1, 1, {}}, {}, false, "no cells", 0},
        {"one row", {5, 1, 1, 1, {}}, {1, 2, 3, 4, 5}, false, "no cells", 0},
        {"negative", {-3, 4, 1, 1, {}}, {}, false, "no cells", 0},
        {"huge", {100000, 100000, 1, 1, {}}, {}, false, "too large", 0},
        {"infinite spacing", {2, 2, inf, 1, {}}, {0, 0, 0, 0}, false, "spacing", 0},
        {"spacing overflows", {3, 2, 3e38f, 1, {}}, {0, 0, 0, 0, 0, 0}, false, "too large", 0},
        {"missing heights", {2, 2, 1, 1, {}}, {7, 7}, true, "missing heights are 0", 0},
        {"NaN height", {2, 2, 1, 1, {}}, {1, 2, 3, nan}, true, "NaN", 0},
        {"extra heights", {2, 2, 1, 1, {}}, {1, 2, 3, 4, 5}, true, "", 4},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        elevation_grid_params p = r.p;
        p.height = r.heights;
        generated_faces g;
        g.coords = {9, 9, 9};  // stale content must go
        std::string problem;
        EXPECT_EQ(elevation_grid_faces(p, g, problem), r.drawn);
        EXPECT_NE(problem.find(r.problem_has), std::string::npos) << problem;
        if (!r.drawn) {
            EXPECT_NE(problem, "");
            EXPECT_TRUE(g.coords.empty() && g.coord_index.empty());
            continue;
        }
        expect_well_formed(g);
        EXPECT_EQ(point(g, 3).y, r.height_of_last);
    }
}

// ----------------------------------------------------------------- Extrusion

// Checks that each side face looks away from `axis_at(face centroid)` and
// each cap away from the spine's inside.
template <class Axis>
void expect_sides_outward(const generated_faces& g, Axis axis_at) {
    const auto faces = faces_of(g.coord_index);
    for (std::size_t f = 0; f < g.side_faces; ++f) {
        const v3 c = centroid(g, faces[f]);
        EXPECT_GT(dot(area_normal(g, faces[f]), c - axis_at(c)), 0) << "side " << f;
    }
}

TEST(Extrusion, DefaultIsABoxAroundTheYAxis) {
    generated_faces g;
    std::string problem;
    ASSERT_TRUE(extrusion_faces({}, g, problem));
    EXPECT_EQ(problem, "");
    expect_well_formed(g);
    // The closed square shares its first point: 4 points per ring.
    ASSERT_EQ(g.coords.size(), 8u * 3);
    for (std::int32_t i = 0; i < 8; ++i) {
        const v3 p = point(g, i);
        EXPECT_NEAR(std::fabs(p.x), 1, tol);
        EXPECT_NEAR(std::fabs(p.z), 1, tol);
        EXPECT_NEAR(p.y, i < 4 ? 0 : 1, tol);
    }
    const auto faces = faces_of(g.coord_index);
    ASSERT_EQ(g.side_faces, 4u);
    ASSERT_EQ(faces.size(), 6u);
    expect_sides_outward(g, [](v3 c) { return v3{0, c.y, 0}; });
    for (std::size_t f = 0; f < 4; ++f) EXPECT_NEAR(area_normal(g, faces[f]).y, 0, tol);
    // Begin cap faces down, end cap up; each is the whole square.
    ASSERT_EQ(faces[4].size(), 4u);
    ASSERT_EQ(faces[5].size(), 4u);
    EXPECT_LT(area_normal(g, faces[4]).y, 0);
    EXPECT_GT(area_normal(g, faces[5]).y, 0);
    for (std::int32_t i : faces[4]) EXPECT_NEAR(point(g, i).y, 0, tol);
    for (std::int32_t i : faces[5]) EXPECT_NEAR(point(g, i).y, 1, tol);

    // Sides: s by length along the square (quarter per edge), t along the spine.
    const auto tfaces = faces_of(g.texture_coord_index);
    EXPECT_NEAR(tex(g, tfaces[3][1]).first, 1, tol);  // the seam ends at s = 1
    EXPECT_NEAR(tex(g, tfaces[0][0]).first, 0, tol);
    EXPECT_NEAR(tex(g, tfaces[1][0]).first, 0.25, tol);
    EXPECT_NEAR(tex(g, tfaces[1][0]).second, 0, tol);
    EXPECT_NEAR(tex(g, tfaces[1][2]).second, 1, tol);
    // Caps: s with x, t with z over the square's extent.
    for (std::size_t f : {4u, 5u}) {
        for (std::size_t k = 0; k < faces[f].size(); ++k) {
            const v3 p = point(g, faces[f][k]);
            EXPECT_NEAR(tex(g, tfaces[f][k]).first, (p.x + 1) / 2, tol);
            EXPECT_NEAR(tex(g, tfaces[f][k]).second, (p.z + 1) / 2, tol);
        }
    }
}

TEST(Extrusion, StraightSpineInAnyDirectionKeepsTheSquareAcrossIt) {
    const std::vector<v3> directions = {{1, 0, 0}, {0, 0, 1}, {0, -1, 0}, {0, 3, 0}, {1, 2, -2}, {-1, 0, 0.001}};
    for (const v3 d : directions) {
        SCOPED_TRACE(testing::Message() << d.x << " " << d.y << " " << d.z);
        // Three collinear points: no bend gives the plane its z axis.
        const std::vector<float> spine = {1, 1, 1,
                                          static_cast<float>(1 + d.x), static_cast<float>(1 + d.y), static_cast<float>(1 + d.z),
                                          static_cast<float>(1 + 2 * d.x), static_cast<float>(1 + 2 * d.y), static_cast<float>(1 + 2 * d.z)};
        extrusion_params p;
        p.spine = spine;
        generated_faces g;
        std::string problem;
        ASSERT_TRUE(extrusion_faces(p, g, problem)) << problem;
        expect_well_formed(g);
        ASSERT_EQ(g.coords.size(), 12u * 3);
        const v3 u = [&] { const double l = len(d); return v3{d.x / l, d.y / l, d.z / l}; }();
        for (std::int32_t i = 0; i < 12; ++i) {
            const v3 centre = v3{1, 1, 1} + v3{(i / 4) * d.x, (i / 4) * d.y, (i / 4) * d.z};
            EXPECT_NEAR(dot(point(g, i) - centre, u), 0, tol) << "ring " << i / 4 << " across the spine";
            EXPECT_NEAR(len(point(g, i) - centre), std::sqrt(2.0), tol);
        }
        expect_sides_outward(g, [&](v3 c) {
            const v3 r = c - v3{1, 1, 1};
            const double along = dot(r, u);
            return v3{1 + along * u.x, 1 + along * u.y, 1 + along * u.z};
        });
        const auto faces = faces_of(g.coord_index);
        EXPECT_LT(dot(area_normal(g, faces[8]), u), 0) << "begin cap";
        EXPECT_GT(dot(area_normal(g, faces[9]), u), 0) << "end cap";
    }
}

TEST(Extrusion, BentSpineTurnsThePlaneWithIt) {
    // Up one, then along +x: the plane's z axis comes from the bend (0 0 -1).
    const std::vector<float> spine = {0, 0, 0, 0, 1, 0, 1, 1, 0};
    const std::vector<float> section = {1, 1, 1, -1, -1, -1, -1, 1, 1, 1};
    extrusion_params p;
    p.spine = spine;
    p.cross_section = section;
    generated_faces g;
    std::string problem;
    ASSERT_TRUE(extrusion_faces(p, g, problem));
    expect_well_formed(g);
    const double r = std::sqrt(0.5);
    EXPECT_V3_NEAR(point(g, 0), (v3{-1, 0, -1}));        // cross-section (1, 1), first ring
    EXPECT_V3_NEAR(point(g, 4), (v3{-r, 1 + r, -1}));   // middle: y along the bisector
    EXPECT_V3_NEAR(point(g, 8), (v3{1, 2, -1}));        // last ring: y along +x
    EXPECT_V3_NEAR(point(g, 9), (v3{1, 2, 1}));         // cross-section (1, -1)
    const auto faces = faces_of(g.coord_index);
    ASSERT_EQ(faces.size(), 10u);
    EXPECT_LT(area_normal(g, faces[8]).y, 0) << "begin cap looks back down the spine";
    EXPECT_GT(area_normal(g, faces[9]).x, 0) << "end cap looks along +x";
    // The side on cross-section edge (1,1)-(1,-1) of the first segment lies
    // at x = -1 and must face -x, away from the spine.
    EXPECT_LT(area_normal(g, faces[0]).x, 0);
}

TEST(Extrusion, PlaneZAxisStaysOnOneSide) {
    // A zigzag bends left then right: z must not turn over at the second
    // bend. A straight start takes its z from the first bend further on.
    const std::vector<std::vector<float>> spines = {
        {0, 0, 0, 1, 1, 0, 2, 0, 0, 3, 1, 0},
        {0, 0, 0, 0, 1, 0, 0, 2, 0, 1, 2, 0},
    };
    for (const auto& spine : spines) {
        extrusion_params p;
        p.spine = spine;
        generated_faces g;
        std::string problem;
        ASSERT_TRUE(extrusion_faces(p, g, problem));
        // Cross-section point (1, 1) sits one unit along each ring's z axis.
        for (std::int32_t ring = 0; ring < 4; ++ring) EXPECT_NEAR(point(g, ring * 4).z, -1, tol) << "ring " << ring;
    }
}

TEST(Extrusion, ScaleAndOrientationActInThePlane) {
    const std::vector<float> spine = {0, 0, 0, 0, 1, 0, 0, 2, 0};
    const std::vector<float> section = {1, 1, 1, -1, -1, -1, -1, 1, 1, 1};
    const std::vector<float> scale = {1, 1, 2, 0.5f};  // shorter than the spine: last repeats
    const float quarter = std::numbers::pi_v<float> / 2;
    const std::vector<float> orientation = {0, 1, 0, quarter};
    extrusion_params p;
    p.spine = spine;
    p.cross_section = section;
    p.scale = scale;
    p.orientation = orientation;
    generated_faces g;
    std::string problem;
    ASSERT_TRUE(extrusion_faces(p, g, problem));
    EXPECT_NE(problem.find("repeated"), std::string::npos) << problem;
    expect_well_formed(g);
    // (1, 1) turned a quarter about y lands on (1, -1); scaled (2, 0.5) first.
    EXPECT_V3_NEAR(point(g, 0), (v3{1, 0, -1}));
    EXPECT_V3_NEAR(point(g, 4), (v3{0.5, 1, -2}));
    EXPECT_V3_NEAR(point(g, 8), (v3{0.5, 2, -2}));
    expect_sides_outward(g, [](v3 c) { return v3{0, c.y, 0}; });
}

TEST(Extrusion, ClosedSpineJoinsItsEnds) {
    // A ring of 8 points round the y axis, back to the first point.
    std::vector<float> spine;
    for (int k = 0; k <= 8; ++k) {
        const double a = 2 * std::numbers::pi * (k % 8) / 8;
        spine.insert(spine.end(), {static_cast<float>(3 * std::cos(a)), 0, static_cast<float>(3 * std::sin(a))});
    }
    extrusion_params p;
    p.spine = spine;
    p.begin_cap = p.end_cap = false;
    generated_faces g;
    std::string problem;
    ASSERT_TRUE(extrusion_faces(p, g, problem));
    expect_well_formed(g);
    ASSERT_EQ(g.coords.size(), 8u * 4 * 3) << "the last ring is the first";
    const auto faces = faces_of(g.coord_index);
    ASSERT_EQ(faces.size(), 32u);
    EXPECT_EQ(faces[28], (std::vector<std::int32_t>{28, 29, 1, 0})) << "the last segment reaches back to ring 0";
    // Ring 0 stands across the tangent there (spine[1] - spine[7]), along z.
    for (std::int32_t i = 0; i < 4; ++i) EXPECT_NEAR(point(g, i).z, 0, tol);
    // t still runs to 1 on the join.
    const auto tfaces = faces_of(g.texture_coord_index);
    EXPECT_NEAR(tex(g, tfaces[28][2]).second, 1, tol);
    // Every side faces away from the tube's own centre line.
    expect_sides_outward(g, [](v3 c) {
        const double r = std::hypot(c.x, c.z);
        return v3{3 * c.x / r, 0, 3 * c.z / r};
    });
}

TEST(Extrusion, CoincidentSpinePointsShareTheirPlane) {
    // A twist in place, then straight up: both first rings lie in y = 0.
    const std::vector<float> spine = {0, 0, 0, 0, 0, 0, 0, 1, 0};
    const float eighth = std::numbers::pi_v<float> / 4;
    const std::vector<float> orientation = {0, 1, 0, 0, 0, 1, 0, eighth, 0, 1, 0, eighth};
    extrusion_params p;
    p.spine = spine;
    p.orientation = orientation;
    generated_faces g;
    std::string problem;
    ASSERT_TRUE(extrusion_faces(p, g, problem));
    EXPECT_EQ(problem, "");
    expect_well_formed(g);
    EXPECT_V3_NEAR(point(g, 0), (v3{1, 0, 1}));
    EXPECT_V3_NEAR(point(g, 4), (v3{std::sqrt(2.0), 0, 0}));
    EXPECT_V3_NEAR(point(g, 8), (v3{std::sqrt(2.0), 1, 0}));
}

TEST(Extrusion, SpineTextureFollowsLengthAndCapsFollowTheLargerExtent) {
    const std::vector<float> spine = {0, 0, 0, 0, 1, 0, 0, 4, 0};
    const std::vector<float> section = {0, 0, 0, 2, 4, 2, 4, 0};  // open rectangle, 4 by 2
    extrusion_params p;
    p.spine = spine;
    p.cross_section = section;
    generated_faces g;
    std::string problem;
    ASSERT_TRUE(extrusion_faces(p, g, problem));
    expect_well_formed(g);
    const auto faces = faces_of(g.coord_index);
    const auto tfaces = faces_of(g.texture_coord_index);
    ASSERT_EQ(g.side_faces, 6u);
    ASSERT_EQ(faces.size(), 8u);
    EXPECT_NEAR(tex(g, tfaces[0][0]).second, 0, tol);
    EXPECT_NEAR(tex(g, tfaces[3][0]).second, 0.25, tol);
    EXPECT_NEAR(tex(g, tfaces[3][2]).second, 1, tol);
    EXPECT_NEAR(tex(g, tfaces[0][1]).first, 0.25, tol);  // 2 of 8 along the open outline
    EXPECT_NEAR(tex(g, tfaces[2][1]).first, 1, tol);
    ASSERT_EQ(faces[7].size(), 4u) << "an open outline still closes its cap";
    for (std::size_t k = 0; k < 4; ++k) {
        const v3 q = point(g, faces[7][k]);
        EXPECT_NEAR(tex(g, tfaces[7][k]).first, q.x / 4, tol);
        EXPECT_NEAR(tex(g, tfaces[7][k]).second, q.z / 4, tol);
    }
}

TEST(Extrusion, ConcaveCapsReachTheBackEndFacingOutward) {
    // An L of area 3, counterclockwise seen from +y like the default square.
    const std::vector<float> section = {0, 0, 0, 2, 1, 2, 1, 1, 2, 1, 2, 0, 0, 0};
    extrusion_params p;
    p.cross_section = section;
    generated_faces g;
    std::string problem;
    ASSERT_TRUE(extrusion_faces(p, g, problem));

    scene_store store;
    warning_list warnings{"test.wrl"};
    scene_builder builder{store, warnings};
    material_list materials;
    shape_state state;
    state.material = &materials;
    state.hints.ordering = vertex_ordering::counterclockwise;
    state.hints.solid = true;
    builder.face_set(state, g.coords, g.coord_index, {}, {});
    EXPECT_EQ(warnings.count(), 0);
    double down = 0, up = 0;
    for (const shape_record& r : store.shapes) {
        const auto at = [&](std::int32_t i) {
            const auto k = static_cast<std::size_t>(i);
            return v3{r.points[3 * (k) + 0], r.points[3 * (k) + 1], r.points[3 * (k) + 2]};
        };
        for (std::size_t t = 0; t < (r.corners.size() / 3); ++t) {
            const v3 a = at(r.corners[3 * (t) + 0]);
            const double y = cross(at(r.corners[3 * (t) + 1]) - a, at(r.corners[3 * (t) + 2]) - a).y / 2;
            (y < 0 ? down : up) += y;
        }
    }
    EXPECT_NEAR(down, -3, tol) << "the whole begin cap looks down";
    EXPECT_NEAR(up, 3, tol) << "the whole end cap looks up";
}

TEST(Extrusion, DegenerateInputIsRefusedOrHarmless) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct row {
        const char* name;
        std::vector<float> section, spine, scale, orientation;
        bool drawn;
        const char* problem_has;
    };
    const std::vector<float> big_section(8000, 0.5f), big_spine(9000, 0.5f);
    const std::vector<row> rows = {
        {"one spine point", {}, {0, 0, 0}, {}, {}, false, "spine"},
        {"one section point", {1, 1}, {}, {}, {}, false, "crossSection"},
        {"NaN spine", {}, {0, 0, 0, 0, nan, 0}, {}, {}, false, "NaN"},
        {"infinite scale", {}, {}, {inf, 1}, {}, false, "NaN"},
        {"partial orientation", {}, {}, {}, {0, 1, 0}, false, "orientation"},
        {"too many points", big_section, big_spine, {}, {}, false, "too large"},
        {"overflowing scale", {2, 2, 2, -2, -2, -2}, {}, {3e38f, 3e38f}, {}, false, "too large"},
        {"spine in one place", {}, {2, 2, 2, 2, 2, 2, 2, 2, 2}, {}, {}, true, ""},
        {"all zero", {0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, {0, 0}, {0, 0, 0, 0}, true, ""},
        {"spine there and back", {}, {0, 0, 0, 0, 1, 0, 0, 0, 0}, {}, {}, true, ""},
        {"two-point section", {1, 0, -1, 0}, {}, {}, {}, true, ""},
        {"huge angle", {}, {}, {}, {1, 0, 0, 3e38f}, true, ""},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        extrusion_params p;
        p.cross_section = r.section;
        p.spine = r.spine;
        p.scale = r.scale;
        p.orientation = r.orientation;
        generated_faces g;
        std::string problem;
        EXPECT_EQ(extrusion_faces(p, g, problem), r.drawn) << problem;
        EXPECT_NE(problem.find(r.problem_has), std::string::npos) << problem;
        if (!r.drawn) {
            EXPECT_TRUE(g.coords.empty() && g.coord_index.empty());
            continue;
        }
        expect_well_formed(g);
        EXPECT_FALSE(g.coord_index.empty());
    }
}

}  // namespace
}  // namespace tessel::vrml
