// What a renderer's frame puts on the screen of a 400 x 400 window, read back
// pixel by pixel. The box spans -400..400 on both axes, so scene x lands at
// column (x + 400) / 2 and scene y at row (y + 400) / 2, rows from the bottom.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <numbers>
#include <ostream>
#include <string>

#include "glwindow/gl_window.h"
#include "render/render.h"
#include "test_scenes.h"
#include "test_window.h"
#include "toolkit/toolkit.h"

namespace tessel {
namespace {

using test::image;
using test::test_shape;

constexpr int size = 400;

int column_of(float x) { return static_cast<int>(std::floor((x + 400.0f) / 2.0f)); }
int row_of(float y) { return static_cast<int>(std::floor((y + 400.0f) / 2.0f)); }

bool is_grey(const std::array<int, 3>& p) {
    return std::abs(p[0] - 128) <= 1 && p[0] == p[1] && p[1] == p[2];
}

// A pure red shape lights to red alone, at least the ambient share of 0.2.
bool is_red(const std::array<int, 3>& p) { return p[0] >= 50 && p[1] == 0 && p[2] == 0; }

std::string describe(const std::array<int, 3>& p) {
    return "(" + std::to_string(p[0]) + ", " + std::to_string(p[1]) + ", " + std::to_string(p[2]) + ")";
}

// Counter-clockwise triangle in the x-y plane around the origin.
test_shape triangle(float half, std::array<float, 3> colour) {
    test_shape s;
    s.points = {{-half, -half, 0}, {half, -half, 0}, {0, half, 0}};
    s.faces = {{0, 1, 2}};
    s.colour = colour;
    return s;
}

// Seen from any direction, covers the pixels around its centre.
test_shape octahedron(std::array<float, 3> centre, float r, std::array<float, 3> colour) {
    test_shape s;
    const float x = centre[0], y = centre[1], z = centre[2];
    s.points = {{x + r, y, z}, {x - r, y, z}, {x, y + r, z}, {x, y - r, z}, {x, y, z + r}, {x, y, z - r}};
    s.faces = {{0, 2, 4}, {2, 1, 4}, {1, 3, 4}, {3, 0, 4}, {2, 0, 5}, {1, 2, 5}, {3, 1, 5}, {0, 3, 5}};
    s.colour = colour;
    return s;
}

class RenderPixels : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(test::open_test_window(size, size)); }

    void SetUp() override {
        test::reset_view();
        test::install_scene({});
    }

    static image frame() {
        show_frame();
        return test::read_front();
    }

    // Two frames, so that the background is the renderer's grey.
    static image settled_frame() {
        show_frame();
        return frame();
    }
};

// Must stay the first test of the file: it needs the process's first frame.
TEST_F(RenderPixels, EmptySceneIsBlackOnTheFirstFrameThenMidGrey) {
    const image first = frame();
    ASSERT_EQ(first.width, size);
    ASSERT_EQ(first.height, size);
    for (int row = 0; row < size; row += 7) {
        for (int col = 0; col < size; col += 7) {
            ASSERT_EQ(first.at(col, row), (std::array<int, 3>{0, 0, 0})) << col << "," << row;
        }
    }
    for (int i = 0; i < 3; ++i) {
        const image later = frame();
        const std::array<int, 3> grey = later.at(0, 0);
        EXPECT_TRUE(is_grey(grey)) << describe(grey);
        for (int row = 0; row < size; ++row) {
            for (int col = 0; col < size; ++col) {
                ASSERT_EQ(later.at(col, row), grey) << col << "," << row;
            }
        }
    }
}

TEST_F(RenderPixels, ZeroShapeCountDrawsNothingEvenWithArraysLeftOver) {
    scene_store store = test::make_store({triangle(300, {1, 0, 0})});
    store.shape_count = 0;
    test::install_scene(std::move(store));
    const image img = settled_frame();
    EXPECT_TRUE(is_grey(img.at(size / 2, size / 2))) << describe(img.at(size / 2, size / 2));
}

// Presenting belongs to the window's display handler: a frame drawn by the
// renderer alone stays off screen until the caller presents it.
TEST_F(RenderPixels, RenderFrameLeavesPresentingToTheCaller) {
    test::install_scene(test::make_store({triangle(300, {1, 0, 0})}));
    const image shown = settled_frame();
    ASSERT_TRUE(is_red(shown.at(size / 2, size / 2))) << describe(shown.at(size / 2, size / 2));
    test::install_scene({});
    gl_content& c = test::test_content();
    c.draw.frame(c.scene, c.view, c.settings);
    EXPECT_EQ(test::read_front(), shown);
    present_frame();
    EXPECT_TRUE(is_grey(test::read_front().at(size / 2, size / 2)));
}

struct lighting_case {
    std::string name;
    std::array<float, 3> colour;
    double turn_degrees;  // about y; the light shines along -z from the viewer
    std::array<int, 3> expected;
};

void PrintTo(const lighting_case& c, std::ostream* os) { *os << c.name; }

class RenderLighting : public RenderPixels, public ::testing::WithParamInterface<lighting_case> {};

// Default light 0 and scene ambient with colour material tracking ambient and
// diffuse: each channel is colour * (0.2 + max(0, cos(turn))), clamped to 1.
TEST_P(RenderLighting, TriangleIsLitByItsNormal) {
    test_shape s = triangle(150, GetParam().colour);
    const double t = GetParam().turn_degrees * std::numbers::pi / 180.0;
    for (auto& p : s.points) {
        const double x = p[0];
        p[0] = static_cast<float>(x * std::cos(t));
        p[2] = static_cast<float>(-x * std::sin(t));
    }
    test::install_scene(test::make_store({s}));
    const image img = settled_frame();
    const std::array<int, 3> centre = img.at(size / 2, size / 2);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(centre[c], GetParam().expected[c], 1) << describe(centre);
    }
    EXPECT_TRUE(is_grey(img.at(20, size - 20)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RenderLighting,
    ::testing::Values(lighting_case{"RedFacingViewer", {1, 0, 0}, 0, {255, 0, 0}},
                      lighting_case{"HalfGreyFacingViewer", {0.5f, 0.5f, 0.5f}, 0, {153, 153, 153}},
                      lighting_case{"WhiteTurnedSixty", {1, 1, 1}, 60, {179, 179, 179}},
                      lighting_case{"MixedTurnedSixty", {0.5f, 0.25f, 1}, 60, {89, 45, 179}},
                      lighting_case{"WhiteFacingAway", {1, 1, 1}, 180, {51, 51, 51}}),
    [](const ::testing::TestParamInfo<lighting_case>& info) { return info.param.name; });

TEST_F(RenderPixels, RedTriangleFacingViewerCoversItsExpectedPixels) {
    // Corners (-100, -100), (100, -100), (0, 100): columns 150..250 at the
    // base, narrowing to column 200 at row 250.
    test::install_scene(test::make_store({triangle(100, {1, 0, 0})}));
    const image img = settled_frame();
    struct probe {
        float x, y;
        bool inside;
    };
    const probe probes[] = {{0, 0, true},     {-95, -95, true},  {95, -95, true},  {0, 95, true},
                            {-105, -95, false}, {105, -95, false}, {0, 105, false}, {0, -105, false},
                            {-60, 50, false}, {60, 50, false},   {-40, 10, true},  {40, 10, true}};
    for (const probe& p : probes) {
        const std::array<int, 3> px = img.at(column_of(p.x), row_of(p.y));
        if (p.inside) {
            EXPECT_EQ(px, (std::array<int, 3>{255, 0, 0})) << p.x << "," << p.y;
        } else {
            EXPECT_TRUE(is_grey(px)) << p.x << "," << p.y << " " << describe(px);
        }
    }
}

TEST_F(RenderPixels, ShapeScaleAppliesToItsTranslation) {
    // Local x from 0 to 50, translated by 10 and scaled by 2: scene x from 20
    // to 120, so the left edge falls between columns 209 and 210.
    test_shape s;
    s.points = {{0, -50, 0}, {50, 0, 0}, {0, 50, 0}};
    s.faces = {{0, 1, 2}};
    s.colour = {1, 0, 0};
    s.translation = {10, 0, 0};
    s.scale = {2, 2, 2};
    test::install_scene(test::make_store({s}));
    const image img = settled_frame();
    EXPECT_TRUE(is_grey(img.at(209, 200))) << describe(img.at(209, 200));
    EXPECT_TRUE(is_red(img.at(210, 200))) << describe(img.at(210, 200));
    EXPECT_TRUE(is_red(img.at(258, 200)));
    EXPECT_TRUE(is_grey(img.at(261, 200)));
    EXPECT_TRUE(is_red(img.at(211, 245)));
    EXPECT_TRUE(is_grey(img.at(211, 251)));
    EXPECT_TRUE(is_grey(img.at(205, 200)));  // where an unscaled translation would put the edge
}

// Where a marker lands under one transform: its centre must be covered and
// the spot a wrong transform order would give must stay grey.
struct placement_case {
    std::string name;
    std::array<float, 3> marker;  // centre in shape coordinates
    std::array<float, 3> shape_translation = {0, 0, 0};
    std::array<float, 4> shape_rotation = {0, 0, 0, 0};
    std::array<float, 3> shape_scale = {1, 1, 1};
    std::array<float, 3> view_rotation = {0, 0, 0};
    std::array<float, 3> view_translation = {0, 0, 0};
    std::array<float, 3> view_scale = {1, 1, 1};
    std::array<float, 2> expected = {0, 0};
    std::array<float, 2> wrong = {0, 0};
};

void PrintTo(const placement_case& c, std::ostream* os) { *os << c.name; }

class RenderPlacement : public RenderPixels, public ::testing::WithParamInterface<placement_case> {};

TEST_P(RenderPlacement, MarkerLandsWhereTheTransformOrderPutsIt) {
    const placement_case& c = GetParam();
    test_shape s = octahedron(c.marker, 12, {1, 0, 0});
    s.translation = c.shape_translation;
    s.rotation = c.shape_rotation;
    s.scale = c.shape_scale;
    test::install_scene(test::make_store({s}));
    for (int i = 0; i < 3; ++i) {
        tessel::test::test_content().view.rotation[i] = c.view_rotation[i];
        tessel::test::test_content().view.translation[i] = c.view_translation[i];
        tessel::test::test_content().view.scale[i] = c.view_scale[i];
    }
    const image img = settled_frame();
    const auto at = [&](std::array<float, 2> p) { return img.at(column_of(p[0]), row_of(p[1])); };
    EXPECT_TRUE(is_red(at(c.expected))) << describe(at(c.expected));
    EXPECT_TRUE(is_grey(at(c.wrong))) << describe(at(c.wrong));
}

constexpr float quarter_turn = static_cast<float>(90.0 / 57.3);  // radians that make 90 degrees

INSTANTIATE_TEST_SUITE_P(
    Cases, RenderPlacement,
    ::testing::Values(
        placement_case{.name = "ShapeRotationBeforeTranslation", .marker = {50, 0, 0},
                       .shape_translation = {100, 0, 0}, .shape_rotation = {0, 0, 1, quarter_turn},
                       .expected = {100, 50}, .wrong = {0, 150}},
        placement_case{.name = "ViewTranslationBeforeViewRotation", .marker = {0, 0, 0},
                       .view_rotation = {0, 0, 90}, .view_translation = {100, 0, 0},
                       .expected = {0, 100}, .wrong = {100, 0}},
        placement_case{.name = "ViewRotationZThenYThenX", .marker = {100, 0, 0},
                       .view_rotation = {90, 90, 0}, .expected = {0, 100}, .wrong = {0, 0}},
        placement_case{.name = "ViewRotationAfterShapeTransform", .marker = {0, 0, 0},
                       .shape_translation = {150, 0, 0}, .view_rotation = {0, 0, 180},
                       .expected = {-150, 0}, .wrong = {150, 0}},
        placement_case{.name = "ViewScaleOnPointsBeforeShapeTransform", .marker = {50, 0, 0},
                       .shape_translation = {50, 0, 0}, .view_scale = {2, 1, 1},
                       .expected = {150, 0}, .wrong = {200, 0}}),
    [](const ::testing::TestParamInfo<placement_case>& info) { return info.param.name; });

TEST_F(RenderPixels, HalfTurnAboutYMirrorsXAndLightsTheBackWithAmbientOnly) {
    // Right angle at (100, -100): the vertical edge is on the left, and on
    // the right once mirrored.
    test_shape s;
    s.points = {{100, -100, 0}, {200, -100, 0}, {100, 100, 0}};
    s.faces = {{0, 1, 2}};
    s.colour = {1, 0, 0};
    test::install_scene(test::make_store({s}));
    const image straight = settled_frame();
    EXPECT_EQ(straight.at(column_of(110), row_of(50)), (std::array<int, 3>{255, 0, 0}));
    EXPECT_TRUE(is_grey(straight.at(column_of(-110), row_of(50))));

    tessel::test::test_content().view.rotation[1] = 180;
    const image mirrored = frame();
    // The normal now points away from the light: ambient 0.2 of red alone.
    const std::array<int, 3> inside = mirrored.at(column_of(-110), row_of(50));
    EXPECT_NEAR(inside[0], 51, 1) << describe(inside);
    EXPECT_EQ(inside[1], 0);
    EXPECT_EQ(inside[2], 0);
    EXPECT_TRUE(is_grey(mirrored.at(column_of(-140), row_of(50))));
    EXPECT_TRUE(is_grey(mirrored.at(column_of(110), row_of(50))));
    // Every pixel is the mirror image of the straight picture's coverage.
    for (int row = 0; row < size; row += 3) {
        for (int col = 0; col < size; col += 3) {
            EXPECT_EQ(is_grey(straight.at(col, row)), is_grey(mirrored.at(size - 1 - col, row)))
                << col << "," << row;
        }
    }
}

TEST_F(RenderPixels, ViewScalePushesAPointOutOfTheBoxAndLeavesNormalsAlone) {
    // The apex at z = 250 leaves the box (z beyond 400) once z is doubled:
    // the part of the triangle above y = 60 is clipped away.
    test_shape s;
    s.points = {{-100, -100, 0}, {100, -100, 0}, {0, 100, 250}};
    s.faces = {{0, 1, 2}};
    s.colour = {1, 0, 0};
    test::install_scene(test::make_store({s}));
    const image whole = settled_frame();
    tessel::test::test_content().view.scale[2] = 2;
    const image clipped = frame();

    const std::array<int, 3> high = whole.at(column_of(0), row_of(80));
    EXPECT_TRUE(is_red(high)) << describe(high);
    EXPECT_TRUE(is_grey(clipped.at(column_of(0), row_of(80))));
    EXPECT_TRUE(is_grey(clipped.at(column_of(0), row_of(64))));
    EXPECT_TRUE(is_red(clipped.at(column_of(0), row_of(56))));
    // The same normals light both pictures the same.
    const std::array<int, 3> low = whole.at(column_of(0), row_of(0));
    EXPECT_TRUE(is_red(low));
    EXPECT_LT(low[0], 255);
    EXPECT_EQ(clipped.at(column_of(0), row_of(0)), low);
}

TEST_F(RenderPixels, NewSceneAndNewViewScaleShowOnTheNextFrame) {
    test::install_scene(test::make_store({octahedron({-200, 0, 0}, 30, {1, 0, 0})}));
    const image first = settled_frame();
    EXPECT_TRUE(is_red(first.at(column_of(-200), row_of(0))));

    test::install_scene(test::make_store({octahedron({100, 0, 0}, 30, {1, 0, 0})}));
    const image second = frame();
    EXPECT_TRUE(is_grey(second.at(column_of(-200), row_of(0))));
    EXPECT_TRUE(is_red(second.at(column_of(100), row_of(0))));

    tessel::test::test_content().view.scale[0] = 3;
    const image third = frame();
    EXPECT_TRUE(is_grey(third.at(column_of(100), row_of(0))));
    EXPECT_TRUE(is_red(third.at(column_of(300), row_of(0))));
}

TEST_F(RenderPixels, DepthTestKeepsTheNearerShapeWhateverTheOrder) {
    // Eye looks down -z: larger z is nearer.
    test_shape near_red = triangle(100, {1, 0, 0});
    for (auto& p : near_red.points) p[2] = 50;
    test_shape far_blue = triangle(150, {0, 0, 1});
    for (auto& p : far_blue.points) p[2] = -50;
    test::install_scene(test::make_store({near_red, far_blue}));
    EXPECT_TRUE(is_red(settled_frame().at(size / 2, size / 2)));
    test::install_scene(test::make_store({far_blue, near_red}));
    EXPECT_TRUE(is_red(frame().at(size / 2, size / 2)));
}

TEST_F(RenderPixels, ManyShapesWithoutFacesLeaveNoMatrixOnTheStack) {
    std::vector<test_shape> shapes;
    for (int i = 0; i < 40; ++i) {
        test_shape s;
        s.points = {{0, 0, 0}};
        shapes.push_back(s);
    }
    shapes.push_back(octahedron({0, 0, 0}, 40, {1, 0, 0}));
    test::install_scene(test::make_store(shapes));
    tessel::test::test_content().view.rotation[2] = 30;
    tessel::test::test_content().view.translation[0] = 100;
    for (int i = 0; i < 3; ++i) show_frame();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    GLint depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], (i % 5 == 0) ? 1.0f : 0.0f) << i;
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_NORMAL_ARRAY));
    const image img = test::read_front();
    EXPECT_TRUE(is_red(img.at(column_of(100 * std::cos(std::numbers::pi / 6)),
                              row_of(100 * std::sin(std::numbers::pi / 6)))));
}

}  // namespace
}  // namespace tessel
