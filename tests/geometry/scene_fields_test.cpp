// What the geometry back end keeps for the whole scene rather than a shape:
// the background colour, the file's headlight wish, a focal distance for a
// camera that came without one and the images of a view shown later; and
// that loads carry these whole.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "geometry/geometry.h"
#include "input/budget.h"
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

// Images for a view shown after the load (a Background bound later) are
// found among those the store holds, by name, and count against the
// budget with them: views bound in turn cannot grow the store past what
// one load may hold. Each image of 16 x 16 costs 2048 bytes.
TEST(SceneFields, ImagesOfALaterViewCountWithThoseTheStoreHolds) {
    const std::string checker = TESSEL_SOURCE_DIR "/tests/media/data/textures/checker.bmp";
    for (const auto& [limit, shown] : {std::pair{std::int64_t{4096}, true}, std::pair{std::int64_t{3000}, false}}) {
        scene_store store;
        auto held = std::make_shared<texture_image>();
        held->source = "held.png";  // no such file: found by name, never opened
        held->width = held->height = 16;
        held->components = 3;
        held->rgba.assign(16 * 16 * 4, 255);
        store.textures.push_back(held);
        warning_list warnings("test.wrl");
        reader::load_budget budget(limit);
        shown_images images(store, warnings, budget);
        texture_source source;
        source.file = "held.png";
        EXPECT_EQ(images.panorama_image(source), 0) << limit;
        source.file = checker;
        EXPECT_EQ(images.panorama_image(source), shown ? 1 : -1) << limit;
        EXPECT_EQ(store.textures.size(), shown ? 2u : 1u) << limit;
        EXPECT_EQ(warnings.count(), shown ? 0 : 1) << limit;
    }
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
