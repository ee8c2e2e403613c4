// What the geometry back end keeps for the whole scene rather than a shape:
// the background colour, the file's headlight wish and a focal distance for
// a camera that came without one; and that loads carry these whole.
#include <gtest/gtest.h>

#include <string>

#include "geometry/geometry.h"
#include "open/open.h"

namespace tessel::vrml {
namespace {

struct built {
    scene_store store;
    warning_list warnings{"test.wrl"};
    scene_builder builder{store, warnings};
    material_list materials;
    shape_state state;
    built() { state.material = &materials; }
};

struct focal_case {
    const char* name;
    bool with_shape;            // a cube of side 2 around (0, 0, -4)
    float position[3];
    float direction[3];
    float given;                // the front end's focal distance
    float expected;
};
void PrintTo(const focal_case& c, std::ostream* os) { *os << c.name; }
class FocalDistance : public ::testing::TestWithParam<focal_case> {};

TEST_P(FocalDistance, UnknownOneReachesTheScene) {
    const focal_case& c = GetParam();
    built b;
    if (c.with_shape) {
        b.state.matrix.m[14] = -4;
        b.builder.cube(b.state, 2, 2, 2);
    }
    scene_camera camera;
    std::copy(c.position, c.position + 3, camera.position);
    std::copy(c.direction, c.direction + 3, camera.direction);
    camera.focal_distance = c.given;
    b.builder.camera(camera);
    b.builder.finish();
    ASSERT_TRUE(b.store.camera);
    EXPECT_NEAR(b.store.camera->focal_distance, c.expected, 1e-4);
}

INSTANTIATE_TEST_SUITE_P(
    Finish, FocalDistance,
    ::testing::Values(
        focal_case{"AlongTheViewNotStraight", true, {3, 0, 6}, {0, 0, -1}, 0, 10},
        focal_case{"NegativeIsUnknownToo", true, {0, 0, 6}, {0, 0, -1}, -1, 10},
        focal_case{"SceneBehindGivesTheStraightDistance", true, {6, 0, 4}, {0, 0, 1}, 0, 10},
        focal_case{"CameraAtTheCentreKeepsFive", true, {0, 0, -4}, {0, 0, -1}, 0, 5},
        focal_case{"EmptySceneKeepsFive", false, {0, 0, 20}, {0, 0, -1}, 0, 5},
        focal_case{"GivenDistanceIsKept", true, {0, 0, 6}, {0, 0, -1}, 2.5f, 2.5f}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SceneFields, FirstBackgroundAndHeadlightCountAndColoursStayInRange) {
    built b;
    EXPECT_FALSE(b.store.background);
    EXPECT_TRUE(b.store.headlight);
    const float first[3] = {0.25f, 2.0f, -1.0f};
    const float second[3] = {1, 1, 1};
    b.builder.background(first);
    b.builder.background(second);
    b.builder.headlight(false);
    b.builder.headlight(true);
    b.builder.finish();
    ASSERT_TRUE(b.store.background);
    EXPECT_EQ(*b.store.background, (std::array<float, 3>{0.25f, 1.0f, 0.0f}));
    EXPECT_FALSE(b.store.headlight);
}

// A failed load leaves the fields of the scene before it; a successful one
// replaces them, even with a reading that never sets them.
TEST(SceneFields, LoadsReplaceThemWholeAndFailuresKeepThem) {
    scene_store store;
    store.background = std::array<float, 3>{0.1f, 0.2f, 0.3f};
    store.headlight = false;
    const std::string example = TESSEL_SOURCE_DIR "/examples/triangle.wrl";
    for (const std::string& path : {std::string(TESSEL_SOURCE_DIR "/examples/no-such-file.wrl"),
                                    std::string(TESSEL_SOURCE_DIR "/tests/formats/data/LICENSE-coin")}) {
        EXPECT_FALSE(open_scene_file(path, store, reading_mode::standard).ok) << path;
        ASSERT_TRUE(store.background) << path;
        EXPECT_EQ((*store.background)[2], 0.3f) << path;
        EXPECT_FALSE(store.headlight) << path;
    }
    for (const reading_mode mode : {reading_mode::standard, reading_mode::classic}) {
        store.background = std::array<float, 3>{0.1f, 0.2f, 0.3f};
        store.headlight = false;
        ASSERT_TRUE(open_scene_file(example, store, mode).ok);
        EXPECT_FALSE(store.background);
        EXPECT_TRUE(store.headlight);
    }
}

}  // namespace
}  // namespace tessel::vrml
