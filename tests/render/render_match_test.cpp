// render_frame draws from vertex arrays; the picture must be exactly the one
// drawn triangle by triangle in immediate mode. Both are read back from the
// same window and compared pixel for pixel.
#include <gtest/gtest.h>

#include <numbers>
#include <random>
#include <string>

#include "reference_frame.h"
#include "glwindow/gl_window.h"
#include "render/render.h"
#include "test_scenes.h"
#include "test_window.h"

namespace tessel {
namespace {

using test::image;
using test::test_shape;

std::vector<test_shape> tori() {
    test_shape a = test::torus(24, 12, 150, 60);
    a.colour = {0.9f, 0.3f, 0.1f};
    a.rotation = {1, 0.5f, 0, 0.8f};
    test_shape b = test::torus(40, 16, 120, 40);
    b.colour = {0.2f, 0.6f, 1.0f};
    b.translation = {60, -40, 30};
    b.scale = {1.3f, 0.6f, 2.0f};  // non-uniform: normals change length
    b.rotation = {0, 1, 0, static_cast<float>(std::numbers::pi)};
    test_shape c = test::torus(12, 6, 300, 90);
    c.colour = {0.7f, 0.7f, 0.2f};
    c.rotation = {0, 0, 0, 1.0f};  // zero axis
    return {a, b, c};
}

std::vector<test_shape> coplanar_overlaps() {
    // Equal depth everywhere: the first triangle drawn keeps each pixel.
    test_shape s;
    s.points = {{-200, -200, 10}, {200, -200, 10}, {0, 200, 10}, {-250, 0, 10}, {250, 0, 10}, {0, -300, 10}};
    s.faces = {{0, 1, 2}, {3, 5, 4}, {0, 1, 2}};
    s.colour = {1, 0, 0};
    test_shape t = s;
    t.colour = {0, 1, 0};
    t.translation = {20, 20, 0};
    return {s, t};
}

std::vector<test_shape> odd_geometry() {
    test_shape s;
    s.points = {{0, 0, 0}, {100, 0, 0}, {200, 0, 0}, {0, 100, 0}, {50, 50, 80}, {-300, -300, -300}, {1, 1, 1}};
    s.faces = {{0, 1, 2},  // collinear
               {3, 3, 3},  // one point thrice
               {0, 1, 3}, {1, 4, 3}, {3, 0, 4}, {0, 1, 3}};  // a repeat with the same winding
    s.colour = {0.4f, 0.9f, 0.4f};
    test_shape empty;  // points, no faces
    empty.points = {{5, 5, 5}, {6, 6, 6}};
    test_shape opposite;  // two faces cancelling at their shared points
    opposite.points = {{-300, 100, 0}, {-100, 100, 0}, {-200, 300, 0}};
    opposite.faces = {{0, 1, 2}, {0, 2, 1}};
    opposite.colour = {1, 1, 1};
    return {s, empty, opposite};
}

std::vector<test_shape> crossing_the_box() {
    test_shape s;
    s.points = {{-700, -100, 0}, {600, -300, 100}, {0, 900, -50}, {-100, 0, 700}, {100, 0, -900}, {0, 300, 0}};
    s.faces = {{0, 1, 2}, {3, 4, 5}};
    s.colour = {0.8f, 0.2f, 0.8f};
    return {s};
}

std::vector<test_shape> random_soup() {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> coord(-380, 380);
    std::uniform_real_distribution<float> offset(-60, 60);
    std::uniform_real_distribution<float> unit(0, 1);
    std::vector<test_shape> shapes;
    for (int n = 0; n < 6; ++n) {
        test_shape s;
        for (int k = 0; k < 300; ++k) {
            const float x = coord(rng), y = coord(rng), z = coord(rng) * 0.8f;
            const auto base = static_cast<std::int32_t>(s.points.size());
            for (int c = 0; c < 3; ++c) s.points.push_back({x + offset(rng), y + offset(rng), z + offset(rng)});
            s.faces.push_back({base, base + 1, base + 2});
        }
        s.colour = {unit(rng), unit(rng), unit(rng)};
        s.scale = {0.5f + unit(rng), 0.5f + unit(rng), 0.5f + unit(rng)};
        s.rotation = {unit(rng), unit(rng), unit(rng), 3 * unit(rng)};
        shapes.push_back(std::move(s));
    }
    return shapes;
}

std::vector<test_shape> many_small_shapes() {
    std::vector<test_shape> shapes;
    for (int i = 0; i < 150; ++i) {
        test_shape s = test::torus(6, 4, 20, 6);
        s.translation = {static_cast<float>(-350 + (i % 15) * 50), static_cast<float>(-350 + (i / 15) * 70),
                         static_cast<float>((i % 7) * 30 - 90)};
        s.rotation = {static_cast<float>(i % 3), 1, 0, 0.1f * static_cast<float>(i)};
        s.colour = {static_cast<float>(i % 5) / 4, static_cast<float>(i % 7) / 6, 0.5f};
        shapes.push_back(std::move(s));
    }
    return shapes;
}

// More points than 16-bit corners can name: its corners stay 32 bits.
std::vector<test_shape> one_large_shape() {
    test_shape s = test::torus(320, 220, 250, 80);
    s.colour = {0.3f, 0.8f, 0.6f};
    s.rotation = {1, 0, 0, 0.6f};
    return {s};
}

struct named_scene {
    const char* name;
    std::vector<test_shape> (*make)();
};

const named_scene scenes[] = {{"Tori", tori},
                              {"CoplanarOverlaps", coplanar_overlaps},
                              {"OddGeometry", odd_geometry},
                              {"CrossingTheBox", crossing_the_box},
                              {"RandomSoup", random_soup},
                              {"ManySmallShapes", many_small_shapes},
                              {"OneLargeShape", one_large_shape}};

struct named_view {
    const char* name;
    view_transform view;
};

const named_view views[] = {
    {"Initial", {}},
    {"Turned", {{30, -45, 10}, {0, 0, 0}, {1, 1, 1}}},
    {"Moved", {{0, 0, 0}, {50, -20, 100}, {1, 1, 1}}},
    {"Scaled", {{0, 0, 0}, {0, 0, 0}, {1.5f, 0.7f, 2.0f}}},
    {"Everything", {{-120, 200, 33.3f}, {-30, 70, -40}, {-1.2f, 0.9f, 1.1f}}},
};

class RenderMatch : public ::testing::TestWithParam<std::tuple<int, int>> {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(test::open_test_window(400, 400)); }
};

std::size_t count_not_grey(const image& img) {
    const std::array<int, 3> grey = img.at(0, 0);
    std::size_t n = 0;
    for (int row = 0; row < img.height; ++row) {
        for (int col = 0; col < img.width; ++col) n += img.at(col, row) != grey;
    }
    return n;
}

// Both pictures are drawn after a frame of each kind, so that they start from
// the same clear colour and neither draws first into a fresh window.
std::pair<image, image> both_ways() {
    test::reference_frame();
    test::reference_frame();
    image reference = test::read_front();
    show_frame();
    show_frame();
    image arrays = test::read_front();
    return {std::move(reference), std::move(arrays)};
}

TEST_P(RenderMatch, VertexArraysDrawTheImmediateModePicture) {
    const auto [scene_index, view_index] = GetParam();
    scene_store store = test::make_store(scenes[scene_index].make());
    const bool wide = std::any_of(store.shapes.begin(), store.shapes.end(),
                                  [](const shape_record& s) { return !s.corners.empty() && !s.corners.narrow(); });
    EXPECT_EQ(wide, scenes[scene_index].make == one_large_shape) << "which scenes draw 32-bit corners";
    test::install_scene(std::move(store));
    tessel::test::test_content().view = views[view_index].view;
    const auto [reference, arrays] = both_ways();
    EXPECT_GT(count_not_grey(reference), 500u) << "the scene should show";
    EXPECT_EQ(test::count_differences(reference, arrays), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    ScenesAndViews, RenderMatch,
    ::testing::Combine(::testing::Range(0, static_cast<int>(std::size(scenes))),
                       ::testing::Range(0, static_cast<int>(std::size(views)))),
    [](const ::testing::TestParamInfo<std::tuple<int, int>>& info) {
        return std::string(scenes[std::get<0>(info.param)].name) + "_" + views[std::get<1>(info.param)].name;
    });

class RenderMatchSequence : public RenderMatch {};

TEST_F(RenderMatchSequence, PicturesStayEqualWhileTheSceneAndViewChange) {
    // Arrays kept from one frame to the next must follow every change.
    for (int step = 0; step < 12; ++step) {
        if (step % 4 == 0) test::install_scene(test::make_store(scenes[(step / 4) % std::size(scenes)].make()));
        tessel::test::test_content().view = views[step % std::size(views)].view;
        tessel::test::test_content().view.scale[1] += 0.05f * static_cast<float>(step);
        const auto [reference, arrays] = both_ways();
        EXPECT_EQ(test::count_differences(reference, arrays), 0u) << "step " << step;
    }
}

TEST_F(RenderMatchSequence, InconsistentStoreIsDrawnWithoutItsUnreadableFaces) {
    scene_store store = test::make_store(tori());
    store.shapes[0].corners.wide()[3 * 3 + 1] = 65535;     // names no point
    store.shapes[0].corners.wide()[3 * 7 + 2] = static_cast<std::uint32_t>(-4);
    store.point_counts[1] -= 20;                    // faces on the last 20 points unreadable
    store.shapes[2].points.resize(store.shapes[2].points.size() / 2);
    store.shapes[2].normals.resize(10);             // the rest unlit by a zero normal
    store.shapes[2].corners.wide().resize(store.shapes[2].corners.size() - 15);
    store.face_counts[0] += 1000;
    store.shape_count = 9;
    test::install_scene(std::move(store));
    tessel::test::test_content().view = views[1].view;
    const auto [reference, arrays] = both_ways();
    EXPECT_GT(count_not_grey(arrays), 500u);
    EXPECT_EQ(test::count_differences(reference, arrays), 0u);
}

}  // namespace
}  // namespace tessel
