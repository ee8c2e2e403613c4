// A loaded world run to given times: what the store shows then, and what
// it cost (moving parts placed again, or the store rebuilt).
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "open/open.h"
#include "tests/support/test_env.h"

namespace tessel::test {
namespace {

struct shown {
    scene_store store;
    std::unique_ptr<scene_world> world;
    load_result result;
};

std::unique_ptr<shown> open_world(const scratch_dir& dir, const std::string& body) {
    auto s = std::make_unique<shown>();
    const std::string path = dir.write("w.wrl", "#VRML V2.0 utf8\n" + body);
    s->result = open_scene_world(path, s->store, reading_mode::standard, s->world);
    return s;
}

// The first point of shape 0 where the world shows it now.
std::array<float, 3> first_point(const scene_store& store) {
    const shape_record& shape = store.shapes.at(0);
    std::array<float, 3> p = {shape.points[0], shape.points[1], shape.points[2]};
    if (shape.motion < 0) return p;
    const float* m = store.motions.at(static_cast<std::size_t>(shape.motion)).matrix;
    return {m[0] * p[0] + m[4] * p[1] + m[8] * p[2] + m[12], m[1] * p[0] + m[5] * p[1] + m[9] * p[2] + m[13],
            m[2] * p[0] + m[6] * p[1] + m[10] * p[2] + m[14]};
}

const std::string box = "Shape { appearance Appearance { material DEF M Material { diffuseColor 1 0 0 } } "
                        "geometry Box { size 2 2 2 } }";
const std::string clock = "DEF C TimeSensor { cycleInterval 4 loop TRUE }\n";

TEST(SceneWorld, ShowsTheWorldAtAGivenTimeAndRebuildsOnlyForWhatDraws) {
    scratch_dir dir;
    struct row {
        std::string what, body;
        double time;
        std::array<float, 3> point;
        float red;
        std::uint64_t rebuilds;
    } rows[] = {
        {"moving Transform", "DEF T Transform { children " + box + " }\n" + clock +
             "DEF P PositionInterpolator { key [0 1] keyValue [0 0 0, 8 0 0] }\n"
             "ROUTE C.fraction_changed TO P.set_fraction ROUTE P.value_changed TO T.translation",
         1, {1, -1, 1}, 1, 0},
        // inside a moving part, under a still Transform, beside a moving one
        {"nested parts", "DEF T Transform { children Transform { translation 0 5 0 children DEF U Transform { children " +
             box + " } } }\n" + clock +
             "DEF P PositionInterpolator { key [0 1] keyValue [0 0 0, 8 0 0] }\n"
             "DEF R OrientationInterpolator { key [0 .5 1] keyValue [0 0 1 0, 0 0 1 3, 0 0 1 6] }\n"
             "ROUTE C.fraction_changed TO P.set_fraction ROUTE P.value_changed TO T.translation\n"
             "ROUTE C.fraction_changed TO R.set_fraction ROUTE R.value_changed TO U.rotation",
         // U turned 1.5 rad about z: (-1, -1) to (cos 1.5 * -1 + sin 1.5, -sin 1.5 - cos 1.5)
         1, {2 + 0.926759f, 5 - 1.068232f, 1}, 1, 0},
        {"colour", box + clock + "DEF K ColorInterpolator { key [0 1] keyValue [1 0 0, 0 0 0] }\n"
                                 "ROUTE C.fraction_changed TO K.set_fraction ROUTE K.value_changed TO M.diffuseColor",
         2, {-1, -1, 1}, 0.5f, 0},
        // a morph draws its shape again alone
        {"morph", "Shape { appearance Appearance { material Material { diffuseColor 1 0 0 } } geometry IndexedFaceSet "
                  "{ coord DEF K Coordinate { point [0 0 0, 1 0 0, 0 1 0] } coordIndex [0 1 2] } }\n" + clock +
                      "DEF I CoordinateInterpolator { key [0 1] keyValue [0 0 0, 1 0 0, 0 1 0, 0 0 4, 1 0 4, 0 1 4] }\n"
                      "ROUTE C.fraction_changed TO I.set_fraction ROUTE I.value_changed TO K.point",
         2, {0, 0, 2}, 1, 0},
        // a light shines on every shape: the scene is built again
        {"light", "DEF L DirectionalLight { intensity 0 }\n" + box + clock +
                      "DEF S ScalarInterpolator { key [0 1] keyValue [0 1] }\n"
                      "ROUTE C.fraction_changed TO S.set_fraction ROUTE S.value_changed TO L.intensity",
         1, {-1, -1, 1}, 1, 1},
        {"children added", "DEF G Group {}\nDEF H Group { children " + box + " }\n" + clock +
             "DEF S ScalarInterpolator { key [0 1] keyValue [0 1] }\n"
             "DEF T Transform {}\nROUTE C.fraction_changed TO S.set_fraction ROUTE S.value_changed TO T.set_scale\n"
             "ROUTE H.children TO G.addChildren",
         1, {-1, -1, 1}, 1, 0},
    };
    for (const row& r : rows) {
        auto s = open_world(dir, r.body);
        ASSERT_TRUE(s->result.ok) << r.what << ": " << s->result.error;
        ASSERT_TRUE(s->world) << r.what;
        s->world->play_to(r.time, s->store);
        const auto p = first_point(s->store);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(p[k], r.point[k], 1e-4) << r.what << " [" << k << "]";
        EXPECT_NEAR(s->store.shapes.at(0).material.diffuse[0], r.red, 1e-4) << r.what;
        EXPECT_EQ(s->world->rebuilds(), r.rebuilds) << r.what;
        EXPECT_EQ(s->world->ticks(), static_cast<std::uint64_t>(r.time * 60) + 1) << r.what;
    }
}

// An Inlined file that moves by itself moves in the world that inlines it,
// twice where it is inlined twice.
TEST(SceneWorld, InlinedFilesRunTheirOwnRoutes) {
    scratch_dir dir;
    dir.write("part.wrl", "#VRML V2.0 utf8\nDEF T Transform { children " + box + " }\n" + clock +
                              "DEF P PositionInterpolator { key [0 1] keyValue [0 0 0, 8 0 0] }\n"
                              "ROUTE C.fraction_changed TO P.set_fraction ROUTE P.value_changed TO T.translation");
    auto s = open_world(dir, "Inline { url \"part.wrl\" } Transform { translation 0 5 0 children Inline { url "
                             "\"part.wrl\" } }");
    ASSERT_TRUE(s->world);
    EXPECT_EQ(s->world->rebuilds(), 0u);
    s->world->play_to(1, s->store);
    ASSERT_EQ(s->store.shapes.size(), 2u);
    EXPECT_NEAR(first_point(s->store)[0], 2 - 1, 1e-4);
    EXPECT_EQ(s->world->rebuilds(), 0u);  // the parts move in place
    EXPECT_GT(s->store.bound_radius, 4.5);
}

// A 2 x 2 BMP of 24-bit pixels, rows padded to four bytes.
std::string tiny_bmp() {
    std::string b = "BM";
    const auto u32 = [&](std::uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>(v >> (8 * i))); };
    const auto u16 = [&](std::uint16_t v) { for (int i = 0; i < 2; ++i) b.push_back(static_cast<char>(v >> (8 * i))); };
    u32(54 + 16), u32(0), u32(54), u32(40), u32(2), u32(2), u16(1), u16(24), u32(0), u32(16), u32(0), u32(0), u32(0),
        u32(0);
    for (int row = 0; row < 2; ++row) b += std::string("\xff\x00\x00\x00\xff\x00\x00\x00", 8);
    return b;
}

// A sensor's run binds a second Viewpoint and Background, and its end
// unbinds them: the first ones are shown again. The second Background's
// image is decoded when it is bound.
TEST(SceneWorld, BoundViewpointsAndBackgroundsAreShown) {
    scratch_dir dir;
    dir.write("tiny.bmp", tiny_bmp());
    auto s = open_world(dir, box + "Viewpoint { position 0 0 10 } DEF V Viewpoint { position 0 0 20 }\n"
                                   "Background { skyColor 0 0 1 }\n"
                                   "DEF B Background { skyColor 1 0 0 frontUrl \"tiny.bmp\" }\n"
                                   "DEF C TimeSensor { startTime 1 cycleInterval 1 }\n"
                                   "ROUTE C.isActive TO V.set_bind ROUTE C.isActive TO B.set_bind");
    ASSERT_TRUE(s->world);
    const struct {
        double time;
        float z, red;
    } steps[] = {{0.5, 10, 0}, {1.5, 20, 1}, {2.5, 10, 0}};
    for (const auto& step : steps) {
        s->world->play_to(step.time, s->store);
        ASSERT_TRUE(s->store.camera && s->store.background) << step.time;
        EXPECT_EQ(s->store.camera->position[2], step.z) << step.time;
        EXPECT_EQ((*s->store.background)[0], step.red) << step.time;
        ASSERT_EQ(s->store.sky.has_value(), step.red == 1) << step.time;
        if (!s->store.sky) continue;
        const std::int32_t front = s->store.sky->panorama[static_cast<std::size_t>(panorama_face::front)];
        ASSERT_GE(front, 0);
        ASSERT_LT(static_cast<std::size_t>(front), s->store.textures.size());
        EXPECT_EQ(s->store.textures[static_cast<std::size_t>(front)]->source, dir.path + "/tiny.bmp");
    }
    EXPECT_EQ(s->world->rebuilds(), 0u) << "the shapes stay as they are";

    // One that does not jump is bound where the viewer stands.
    auto still = open_world(dir, box + "Viewpoint { position 0 0 10 } DEF V Viewpoint { position 0 0 20 jump FALSE }\n"
                                       "DEF C TimeSensor { startTime 1 cycleInterval 1 }\nROUTE C.isActive TO V.set_bind");
    ASSERT_TRUE(still->world);
    still->world->play_to(1.5, still->store);
    ASSERT_TRUE(still->store.camera);
    EXPECT_EQ(still->store.viewpoint, 1);
    EXPECT_EQ(still->store.camera->position[2], 10);

    // A Viewpoint that travels: the camera follows, the shapes stay.
    auto tour = open_world(dir, box + "DEF V Viewpoint { position 0 0 10 }\n" + clock +
                                    "DEF P PositionInterpolator { key [0 1] keyValue [0 0 10, 0 0 30] }\n"
                                    "ROUTE C.fraction_changed TO P.set_fraction ROUTE P.value_changed TO V.position");
    ASSERT_TRUE(tour->world);
    tour->world->play_to(2, tour->store);
    ASSERT_TRUE(tour->store.camera);
    EXPECT_NEAR(tour->store.camera->position[2], 20, 1e-4);
    EXPECT_EQ(tour->world->rebuilds(), 0u);

    // A moving part that carries the Viewpoint and a light takes them along.
    auto ride = open_world(dir, "DEF T Transform { children [ Viewpoint { position 0 0 10 } "
                                "PointLight { location 0 1 0 } " + box + " ] }\n" + clock +
                                    "DEF P PositionInterpolator { key [0 1] keyValue [0 0 0, 8 0 0] }\n"
                                    "ROUTE C.fraction_changed TO P.set_fraction ROUTE P.value_changed TO T.translation");
    ASSERT_TRUE(ride->world);
    ride->world->play_to(1, ride->store);
    ASSERT_TRUE(ride->store.camera);
    EXPECT_NEAR(ride->store.camera->position[0], 2, 1e-4);
    ASSERT_EQ(ride->store.lights.size(), 1u);
    EXPECT_NEAR(ride->store.lights[0].location[0], 2, 1e-4);

    // One that turns a Background turns its sky: half way, 1.5 about y.
    auto turn = open_world(dir, "DEF T Transform { children [ Background { skyColor [0 0 1, 1 1 1] skyAngle [1] } " +
                                    box + " ] }\n" + clock +
                                    "DEF R OrientationInterpolator { key [0 1] keyValue [0 1 0 0, 0 1 0 3] }\n"
                                    "ROUTE C.fraction_changed TO R.set_fraction ROUTE R.value_changed TO T.rotation");
    ASSERT_TRUE(turn->world);
    turn->world->play_to(2, turn->store);
    ASSERT_TRUE(turn->store.sky);
    EXPECT_NEAR(turn->store.sky->axes[0], std::cos(1.5), 1e-4);
    EXPECT_NEAR(turn->store.sky->axes[2], -std::sin(1.5), 1e-4);
    EXPECT_EQ(turn->world->rebuilds(), 0u);
}

// A rebuild shows the images the store showed without decoding them again.
TEST(SceneWorld, RebuildsKeepTheDecodedImages) {
    scratch_dir dir;
    dir.write("tiny.bmp", tiny_bmp());
    auto s = open_world(dir, "DEF L DirectionalLight { intensity 0 }\n"
                             "Shape { appearance Appearance { texture ImageTexture { url \"tiny.bmp\" } } "
                             "geometry Box {} }\n" + clock +
                                 "DEF S ScalarInterpolator { key [0 1] keyValue [0 1] }\n"
                                 "ROUTE C.fraction_changed TO S.set_fraction ROUTE S.value_changed TO L.intensity");
    ASSERT_TRUE(s->world);
    ASSERT_EQ(s->store.textures.size(), 1u) << (s->result.warnings.empty() ? "" : s->result.warnings[0]);
    const texture_image* image = s->store.textures[0].get();
    for (const double t : {0.0, 0.1, 0.2}) s->world->tick(t, s->store);
    EXPECT_EQ(s->world->rebuilds(), 3u);
    ASSERT_EQ(s->store.textures.size(), 1u);
    EXPECT_EQ(s->store.textures[0].get(), image);
    EXPECT_EQ(s->store.shapes.at(0).texture, 0);
}

TEST(SceneWorld, RestartGoesBackToTheLoadAndStillWorldsAreNotKept) {
    scratch_dir dir;
    auto s = open_world(dir, "DEF T Transform { children " + box + " }\n" + clock +
                                 "DEF P PositionInterpolator { key [0 1] keyValue [4 0 0, 8 0 0] }\n"
                                 "ROUTE C.fraction_changed TO P.set_fraction ROUTE P.value_changed TO T.translation");
    ASSERT_TRUE(s->world);
    const std::uint64_t moved = s->store.moved;
    s->world->play_to(2, s->store);
    EXPECT_NEAR(first_point(s->store)[0], 6 - 1, 1e-4);
    EXPECT_GT(s->store.moved, moved);
    s->world->restart(s->store);
    EXPECT_NEAR(first_point(s->store)[0], -1, 1e-4);  // the file's own place, before any tick
    // The fitted view frames the box's way out to x = 8 + 1 as well as the
    // sphere around it where the file puts it (radius the square root of 3).
    EXPECT_NEAR(s->store.bound_centre[0], (9 - std::sqrt(3.0)) / 2, 0.01);
    EXPECT_GT(s->store.bound_radius, 4.5);
    EXPECT_EQ(s->world->now(), 0);
    EXPECT_TRUE(s->world->waiting());

    // No route, or routes from nothing that runs: nothing is kept.
    for (const std::string& body : {box, box + "DEF S ScalarInterpolator {} ROUTE S.value_changed TO M.transparency",
                                    box + "DEF C TimeSensor { cycleInterval 0 loop TRUE } "
                                          "DEF S ScalarInterpolator { key [0 1] keyValue [0 1] } "
                                          "ROUTE C.fraction_changed TO S.set_fraction"}) {
        auto still = open_world(dir, body);
        EXPECT_TRUE(still->result.ok);
        EXPECT_FALSE(still->world) << body;
    }
}

}  // namespace
}  // namespace tessel::test
