// The vertex arrays behind render_frame: what they hold, that no store,
// however inconsistent, makes them read outside an array, and that they are
// rebuilt and rescaled exactly when they must be.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <ostream>
#include <string>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "render/prepared_scene.h"
#include "test_scenes.h"

namespace tessel {
namespace {

const float unit_scale[3] = {1.0f, 1.0f, 1.0f};

scene_store two_triangles() {
    test::test_shape s;
    s.points = {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}, {10, 10, 5}};
    s.faces = {{0, 1, 2}, {1, 3, 2}};
    return test::make_store({s});
}

// A frame draws the store's own arrays: no copy of a consistent store,
// but for a classic shape's points, which the view scales.
TEST(PreparedScene, DrawsTheStoresOwnArrays) {
    for (const scene_reading reading : {scene_reading::standard, scene_reading::classic}) {
        scene_store store = two_triangles();
        store.reading = reading;
        prepared_scene arrays;
        arrays.update(store, unit_scale);
        ASSERT_EQ(arrays.shapes().size(), 1u);
        const prepared_shape& p = arrays.shapes()[0];
        const shape_record& s = store.shapes[0];
        EXPECT_EQ(std::vector<std::uint32_t>(p.indices.begin(), p.indices.end()),
                  (std::vector<std::uint32_t>{0, 1, 2, 1, 3, 2}));
        EXPECT_EQ(p.dropped_faces, 0u);
        EXPECT_EQ(p.indices.data(), s.corners.view().data());
        EXPECT_EQ(p.normals.data(), s.normals.data());
        EXPECT_TRUE(p.own_indices.empty() && p.own_normals.empty());
        if (reading == scene_reading::standard) {
            EXPECT_EQ(p.points.data(), s.points.data());
            EXPECT_TRUE(p.positions.empty());
        } else {
            EXPECT_EQ(std::vector<float>(p.points.begin(), p.points.end()), s.points);
            EXPECT_EQ(p.points.data(), p.positions.data());
        }
    }
}

TEST(PreparedScene, PositionsAreEachCoordinateTimesItsViewScaleRoundedToFloat) {
    test::test_shape s;
    s.points = {{0.1f, -3.7f, 1e-3f}, {123.456f, 7.0f, -0.3f}, {1e30f, 2.5f, 333.3f}};
    s.faces = {{0, 1, 2}};
    scene_store store = test::make_store({s});
    const float scale[3] = {1.1f, -0.3f, 2.7f};
    prepared_scene arrays;
    arrays.update(store, scale);
    const prepared_shape& p = arrays.shapes()[0];
    for (std::size_t i = 0; i < 3; ++i) {
        for (int c = 0; c < 3; ++c) {
            const float expected = store.shapes[0].points[i * 3 + c] * scale[c];
            EXPECT_EQ(std::bit_cast<std::uint32_t>(p.positions[i * 3 + c]),
                      std::bit_cast<std::uint32_t>(expected));
        }
    }
    EXPECT_EQ(p.normals[2], store.shapes[0].normals[2]);  // normals never see the view scale
}

// Each case spoils a consistent store in one way; the arrays must keep only
// what can be read safely.
struct damage_case {
    std::string name;
    std::function<void(scene_store&)> damage;
    std::size_t shapes;        // drawable shapes left
    std::size_t points;        // points kept in shape 0
    std::size_t faces;         // faces kept in shape 0
    std::size_t dropped;       // faces of shape 0 dropped for naming a missing point
};

void PrintTo(const damage_case& c, std::ostream* os) { *os << c.name; }

class PreparedSceneDamage : public ::testing::TestWithParam<damage_case> {};

TEST_P(PreparedSceneDamage, KeepsOnlyWhatCanBeRead) {
    scene_store store = two_triangles();
    GetParam().damage(store);
    prepared_scene arrays;
    arrays.update(store, unit_scale);
    ASSERT_EQ(arrays.shapes().size(), GetParam().shapes);
    if (GetParam().shapes == 0) return;
    const prepared_shape& p = arrays.shapes()[0];
    EXPECT_EQ(p.points.size(), GetParam().points * 3);
    EXPECT_EQ(p.positions.size(), GetParam().points * 3);
    EXPECT_EQ(p.normals.size(), GetParam().points * 3);
    EXPECT_EQ(p.indices.size(), GetParam().faces * 3);
    EXPECT_EQ(p.dropped_faces, GetParam().dropped);
    for (std::uint32_t i : p.indices) EXPECT_LT(i, GetParam().points);
}

INSTANTIATE_TEST_SUITE_P(
    Stores, PreparedSceneDamage,
    ::testing::Values(
        damage_case{"CornerEqualToPointCount", [](scene_store& s) { s.shapes[0].corners.wide()[4] = 4; }, 1, 4, 1, 1},
        damage_case{"CornerAtTopOfSixteenBits", [](scene_store& s) { s.shapes[0].corners.wide()[2] = 65535; }, 1, 4, 1, 1},
        damage_case{"LargestCorner", [](scene_store& s) { s.shapes[0].corners.wide()[0] = UINT32_MAX; }, 1, 4, 1, 1},
        damage_case{"PointCountAboveArrays", [](scene_store& s) { s.point_counts[0] = 1000; }, 1, 4, 2, 0},
        damage_case{"PointCountBelowArrays", [](scene_store& s) { s.point_counts[0] = 3; }, 1, 3, 1, 1},
        damage_case{"ShortPointArray", [](scene_store& s) { s.shapes[0].points.resize(8); }, 1, 2, 0, 2},
        damage_case{"ShortNormalArray", [](scene_store& s) { s.shapes[0].normals.resize(5); }, 1, 4, 2, 0},
        damage_case{"ShortCornerArray", [](scene_store& s) { s.shapes[0].corners.wide().resize(5); }, 1, 4, 1, 0},
        damage_case{"FaceCountAboveArrays", [](scene_store& s) { s.face_counts[0] = 1 << 20; }, 1, 4, 2, 0},
        damage_case{"NegativeCounts",
                    [](scene_store& s) {
                        s.point_counts[0] = -5;
                        s.face_counts[0] = -1;
                    },
                    1, 0, 0, 0},
        damage_case{"ShapeCountAboveShapes", [](scene_store& s) { s.shape_count = 7; }, 1, 4, 2, 0},
        damage_case{"ShapeCountBelowZero", [](scene_store& s) { s.shape_count = -1; }, 0, 0, 0, 0},
        damage_case{"MissingCountArrays", [](scene_store& s) { s.face_counts.clear(); }, 0, 0, 0, 0},
        damage_case{"ShapeCountZeroWithArraysLeft", [](scene_store& s) { s.shape_count = 0; }, 0, 0, 0, 0}),
    [](const ::testing::TestParamInfo<damage_case>& info) { return info.param.name; });

TEST(PreparedScene, ShortNormalArraysLeaveZeroNormalsWhereMissing) {
    scene_store store = two_triangles();
    store.shapes[0].normals.resize(6);
    prepared_scene arrays;
    arrays.update(store, unit_scale);
    const prepared_shape& p = arrays.shapes()[0];
    EXPECT_EQ(p.normals[1 * 3 + 2], store.shapes[0].normals[1 * 3 + 2]);
    for (std::size_t i = 2; i < 4; ++i) {
        for (int c = 0; c < 3; ++c) EXPECT_EQ(p.normals[i * 3 + c], 0.0f) << i;
    }
}

TEST(PreparedScene, BuildsOncePerStoreAndRescalesOnlyWhenTheScaleChanges) {
    scene_store store = two_triangles();
    prepared_scene arrays;
    float scale[3] = {1.0f, 1.0f, 1.0f};
    for (int i = 0; i < 5; ++i) arrays.update(store, scale);
    EXPECT_EQ(arrays.builds(), 1u);
    EXPECT_EQ(arrays.rescales(), 1u);

    scale[1] = 2.0f;
    arrays.update(store, scale);
    arrays.update(store, scale);
    EXPECT_EQ(arrays.builds(), 1u);
    EXPECT_EQ(arrays.rescales(), 2u);
    EXPECT_EQ(arrays.shapes()[0].positions[2 * 3 + 1], 20.0f);

    // A scale that is not a number compares unequal to itself; it must not
    // make every frame redo the positions.
    scale[0] = std::numeric_limits<float>::quiet_NaN();
    for (int i = 0; i < 3; ++i) arrays.update(store, scale);
    EXPECT_EQ(arrays.rescales(), 3u);
}

TEST(PreparedScene, ANewLoadIsPickedUpAndScaledWithTheCurrentScale) {
    scene_store store = two_triangles();
    prepared_scene arrays;
    const float scale[3] = {3.0f, 1.0f, 1.0f};
    arrays.update(store, scale);

    // Same shape vector, new contents, generation raised: what a load does.
    store.shapes[0].points[1 * 3 + 0] = 20.0f;
    store.generation += 1;
    arrays.update(store, scale);
    EXPECT_EQ(arrays.builds(), 2u);
    EXPECT_EQ(arrays.shapes()[0].positions[1 * 3 + 0], 60.0f);
}

// A world that draws one shape again in place raises its revision and the
// store's count of such changes: only that shape is prepared again.
TEST(PreparedScene, AShapeDrawnAgainInPlaceIsPreparedAloneAndMovesAreFree) {
    scene_store store = test::make_store({test::test_shape{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}},
                                          test::test_shape{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}}});
    store.reading = scene_reading::standard;
    prepared_scene arrays;
    arrays.update(store, unit_scale);
    const float* second = arrays.shapes()[1].points.data();

    store.shapes[0].points = {0, 0, 0, 4, 0, 0, 0, 4, 0};
    store.shapes[0].revision = 1;
    store.moved = 1;
    arrays.update(store, unit_scale);
    EXPECT_EQ(arrays.builds(), 1u);
    EXPECT_EQ(arrays.shapes()[0].points.data(), store.shapes[0].points.data());
    EXPECT_EQ(arrays.shapes()[0].high[0], 4.0f);
    EXPECT_EQ(arrays.shapes()[1].points.data(), second);

    store.moved = 2;  // a moving part moved: nothing to prepare
    arrays.update(store, unit_scale);
    EXPECT_EQ(arrays.builds(), 1u);
    EXPECT_EQ(arrays.shapes()[0].high[0], 4.0f);
}

TEST(PreparedScene, AStoreSwappedWithoutANewGenerationIsStillRebuilt) {
    scene_store store = two_triangles();
    prepared_scene arrays;
    arrays.update(store, unit_scale);

    test::test_shape extra;
    extra.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    extra.faces = {{0, 1, 2}};
    scene_store bigger = test::make_store({extra, extra, extra});
    bigger.generation = store.generation;
    arrays.update(bigger, unit_scale);
    EXPECT_EQ(arrays.builds(), 2u);
    EXPECT_EQ(arrays.shapes().size(), 3u);

    release_scene(bigger);
    bigger.generation = store.generation;
    arrays.update(bigger, unit_scale);
    EXPECT_TRUE(arrays.shapes().empty());
}

// In a child whose address space leaves room for the store but not for its
// arrays: the preparation gives up, draws nothing, and does not try again
// every frame.
TEST(PreparedScene, OutOfMemoryLeavesNothingToDrawInsteadOfAborting) {
    const pid_t pid = fork();
    if (pid == 0) {
        scene_store store;
        store.shape_count = 1;
        store.shapes.resize(1);
        const std::size_t points = 4u << 20;  // 48 MB here, as much again for the scaled copy
        store.shapes[0].points.assign(3 * points, 1.0f);
        store.shapes[0].normals.assign(3 * points, 0.0f);
        store.point_counts = {static_cast<std::int64_t>(points)};
        store.face_counts = {0};
        long pages = 0;
        if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
            std::fclose(f);
        }
        const rlim_t room = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (32u << 20);
        const rlimit limit{room, room};
        if (pages == 0 || setrlimit(RLIMIT_AS, &limit) != 0) _exit(2);
        prepared_scene arrays;
        try {
            arrays.update(store, unit_scale);
            arrays.update(store, unit_scale);
        } catch (...) {
            _exit(4);  // not back into the test runner, which would carry on in this child
        }
        _exit(arrays.out_of_memory() && arrays.shapes().empty() && arrays.failed_builds() == 1 ? 0 : 3);
    }
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

TEST(ShapeRotation, AngleInRadiansTimesFiftySevenPointThreeFormedInDouble) {
    EXPECT_EQ(shape_rotation_degrees(0.0f), 0.0f);
    EXPECT_EQ(shape_rotation_degrees(1.0f), 57.3f);
    EXPECT_NEAR(shape_rotation_degrees(3.14159265f), 180.0133f, 1e-3f);
    // A float product would round differently for this angle.
    EXPECT_EQ(shape_rotation_degrees(0.0284000002f), static_cast<float>(0.0284000002f * 57.3));
    EXPECT_NE(shape_rotation_degrees(0.0284000002f), 0.0284000002f * 57.3f);
}

}  // namespace
}  // namespace tessel
