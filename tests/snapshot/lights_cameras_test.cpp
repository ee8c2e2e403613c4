// The file's lights, camera and see-through materials, drawn off screen as
// the viewer draws them: small scenes whose pixels say whether each light
// shines where and only where it should, whether the author's viewpoint is
// the starting view, and whether glass blends.

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "scene/scene.h"
#include "snapshot/snapshot.h"
#include "open/open.h"

namespace tessel {
namespace {

using pixel = std::array<int, 3>;

struct picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
    pixel at(int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

std::string text(const pixel& p) {
    return "(" + std::to_string(p[0]) + ", " + std::to_string(p[1]) + ", " + std::to_string(p[2]) + ")";
}

class LightsCameras : public testing::Test {
protected:
    void SetUp() override {
        view_ = view_transform{};
        settings_ = render_settings{};
    }
    void TearDown() override {
        std::remove(path_.c_str());
        release_scene(scene_);
        settings_ = render_settings{};
    }
    // Loads the scene text in the standard reading; the warnings it gave.
    std::vector<std::string> load(const std::string& scene) {
        path_ = testing::TempDir() + "lights_cameras_" + std::to_string(getpid()) + ".wrl";
        std::ofstream(path_) << "#VRML V1.0 ascii\n" << scene;
        const load_result r = open_scene_file(path_, scene_, reading_mode::standard);
        EXPECT_TRUE(r.ok) << r.error;
        return r.warnings;
    }
    picture draw(int width = 200, int height = 200) {
        picture p{width, height, {}};
        std::string error;
        EXPECT_TRUE(render_offscreen(width, height, scene_, view_, settings_, p.rgb, error)) << error;
        return p;
    }

    scene_store scene_;
    view_transform view_;
    render_settings settings_;

private:
    std::string path_;
};

// A white sphere; with the headlight off only the file's light shows it.
constexpr const char* red_light_from_the_right = R"(
Separator {
  DirectionalLight { color 1 0 0 direction -1 0 0 }
  Material { diffuseColor 1 1 1 }
  Sphere {}
}
)";

TEST_F(LightsCameras, ColouredLightShinesOnTheLitSideOnly) {
    load(red_light_from_the_right);
    settings_.headlight = false;
    const picture p = draw();
    const pixel lit = p.at(185, 100), dark = p.at(15, 100), middle = p.at(100, 100);
    EXPECT_GE(lit[0], 200) << text(lit);
    EXPECT_LE(lit[1], 25) << text(lit);
    EXPECT_LE(lit[2], 25) << text(lit);
    // The far side gets the scene's faint ambient light only.
    EXPECT_LE(dark[0], 30) << text(dark);
    // Facing the viewer, square to the light: in shadow too.
    EXPECT_LE(middle[0], 30) << text(middle);

    // The headlight adds white light from the eye.
    settings_.headlight = true;
    const picture both = draw();
    EXPECT_GE(both.at(100, 100)[1], 150) << text(both.at(100, 100));
    EXPECT_GE(both.at(185, 100)[0], 230) << text(both.at(185, 100));
}

// Thumbnails and snapshots draw a file's background and respect its wish to
// have no headlight, as the window does.
TEST_F(LightsCameras, FileBackgroundAndHeadlightReachTheOffscreenPicture) {
    load(red_light_from_the_right);
    scene_.background = std::array<float, 3>{0.0f, 0.2f, 1.0f};
    scene_.headlight = false;
    const picture p = draw();
    const pixel corner = p.at(2, 2);
    EXPECT_NEAR(corner[0], 0, 1) << text(corner);
    EXPECT_NEAR(corner[1], 51, 1) << text(corner);
    EXPECT_NEAR(corner[2], 255, 1) << text(corner);
    EXPECT_LE(p.at(100, 100)[1], 30) << text(p.at(100, 100));  // only the red light, from the side

    scene_.headlight = true;
    EXPECT_GE(draw().at(100, 100)[1], 150) << text(draw().at(100, 100));
}

TEST_F(LightsCameras, LightShinesOnTheShapesAfterItInItsSeparatorOnly) {
    // Three spheres left to right: before the light, after it in its
    // Separator, after that Separator.
    const auto warnings = load(R"(
Separator {
  Material { diffuseColor 1 1 1 }
  Transform { translation -3 0 0 }
  Sphere {}
  PointLight { location 0 0 50 color 0 1 0 }
  Transform { translation 3 0 0 }
  Sphere {}
}
Translation { translation 3 0 0 }
Sphere {}
)");
    EXPECT_TRUE(warnings.empty());
    ASSERT_EQ(scene_.lights.size(), 1u);
    EXPECT_FLOAT_EQ(scene_.lights[0].location[0], -3.0f);  // placed by the transform in force
    EXPECT_FLOAT_EQ(scene_.lights[0].location[2], 50.0f);
    settings_.headlight = false;
    // 22.5 pixels a unit: the bounding sphere's radius 4 fills 90% of 100.
    const picture p = draw(600, 200);
    const pixel before = p.at(233, 100), inside = p.at(300, 100), after = p.at(367, 100);
    EXPECT_LE(before[1], 30) << text(before);
    EXPECT_GE(inside[1], 200) << text(inside);
    EXPECT_LE(inside[0], 30) << text(inside);
    EXPECT_LE(after[1], 30) << text(after);
}

TEST_F(LightsCameras, LightsOffOrBeyondTheGlLimitAreLeftOutWithAWarning) {
    std::string scene = "Separator {\n  PointLight { on FALSE }\n";
    for (int i = 0; i < 9; ++i) scene += "  SpotLight { color 0 0 1 }\n";
    scene += "  Cube {}\n}\nCube {}\n";
    const auto warnings = load(scene);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("only the first 7"), std::string::npos) << warnings[0];
    ASSERT_EQ(scene_.lights.size(), 7u);
    EXPECT_EQ(scene_.lights[0].kind, light_kind::spot);
    ASSERT_EQ(scene_.shapes.size(), 2u);
    EXPECT_EQ(scene_.shapes[0].lights, (std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(scene_.shapes[1].lights.empty());
}

// A cube whose six faces differ: front red, back green, left blue, right
// yellow, top cyan, bottom magenta. The headlight shines square on the face
// the camera looks at, which then shows its colour exactly.
std::string coloured_cube(const std::string& camera) {
    return camera + R"(
MaterialBinding { value PER_PART }
Material {
  ambientColor 0 0 0
  diffuseColor [1 0 0, 0 1 0, 0 0 1, 1 1 0, 0 1 1, 1 0 1]
}
Cube {}
)";
}

TEST_F(LightsCameras, CameraGivesTheStartingViewAndFitGoesBackToTheFittedOne) {
    struct view_case {
        const char* name;
        std::string camera;
        pixel centre;
    };
    const view_case cases[] = {
        {"no camera: front", "", {255, 0, 0}},
        {"turned 90 degrees about y: right side",
         "PerspectiveCamera { position 10 0 0 orientation 0 1 0 1.5708 }", {255, 255, 0}},
        {"under a transform: looking down on the top",
         "Separator { Rotation { rotation 1 0 0 -1.5708 } PerspectiveCamera { position 0 0 10 } }", {0, 255, 255}},
        {"orthographic from behind", "OrthographicCamera { position 0 0 -10 orientation 0 1 0 3.14159 }", {0, 255, 0}},
    };
    for (const view_case& c : cases) {
        SCOPED_TRACE(c.name);
        load(coloured_cube(c.camera));
        EXPECT_EQ(draw().at(100, 100), c.centre) << text(draw().at(100, 100));
    }
    // --fit: the fitted view, exactly as without the camera.
    load(coloured_cube(""));
    const picture fitted = draw();
    load(coloured_cube(cases[1].camera));
    settings_.use_camera = false;
    EXPECT_EQ(draw().rgb, fitted.rgb);
}

TEST_F(LightsCameras, CameraHeightAndAngleSetTheScaleWithTheWindowsAspectKept) {
    // The cube's front face is 2 high. The orthographic camera's view is 4
    // high; the perspective one's is 2 * 9 * tan(0.2) = 3.65 high at the face.
    struct scale_case {
        const char* camera;
        double share;  // of the smaller side the front face covers
    };
    const scale_case cases[] = {
        {"OrthographicCamera { position 0 0 10 height 4 }", 0.5},
        {"PerspectiveCamera { position 0 0 10 heightAngle 0.4 }", 2 / (2 * 9 * 0.20271)},
    };
    for (const scale_case& c : cases) {
        SCOPED_TRACE(c.camera);
        load(coloured_cube(c.camera));
        for (const auto& [w, h] : {std::pair{200, 200}, std::pair{300, 150}}) {
            const picture p = draw(w, h);
            const int half = static_cast<int>(std::min(w, h) * c.share / 2);
            const int cx = w / 2, cy = h / 2;
            for (const auto& [x, y] : {std::pair{cx + half - 3, cy}, std::pair{cx - half + 3, cy},
                                       std::pair{cx, cy + half - 3}, std::pair{cx, cy - half + 3}})
                EXPECT_EQ(p.at(x, y), (pixel{255, 0, 0})) << w << "x" << h << " at " << x << "," << y;
            for (const auto& [x, y] : {std::pair{cx + half + 3, cy}, std::pair{cx - half - 3, cy},
                                       std::pair{cx, cy + half + 3}, std::pair{cx, cy - half - 3}})
                EXPECT_NE(p.at(x, y), (pixel{255, 0, 0})) << w << "x" << h << " at " << x << "," << y;
        }
    }
}

// Two squares facing the viewer, the near one at z = 1, the far one at z = 0,
// the near one first in the file unless told otherwise.
std::string two_squares(const std::string& near_material, const std::string& far_material, bool near_first = true) {
    const std::string square = "Coordinate3 { point [-1 -1 0, 1 -1 0, 1 1 0, -1 1 0] }\n"
                               "IndexedFaceSet { coordIndex [0, 1, 2, 3, -1] }\n";
    const std::string near = "Separator {\n Translation { translation 0 0 1 }\n" + near_material + square + "}\n";
    const std::string far = "Separator {\n" + far_material + square + "}\n";
    return near_first ? near + far : far + near;
}

std::string emissive(const char* colour, float transparency) {
    return std::string("Material { ambientColor 0 0 0 diffuseColor 0 0 0 emissiveColor ") + colour +
           " transparency " + std::to_string(transparency) + " }\n";
}

TEST_F(LightsCameras, GlassBlendsOverWhatIsBehindItFarthestFirst) {
    // Half-transparent red before opaque blue: purple, whichever comes first
    // in the file.
    for (const bool near_first : {true, false}) {
        load(two_squares(emissive("1 0 0", 0.5f), emissive("0 0 1", 0), near_first));
        const pixel p = draw().at(100, 100);
        EXPECT_NEAR(p[0], 128, 2) << text(p);
        EXPECT_EQ(p[1], 0) << text(p);
        EXPECT_NEAR(p[2], 128, 2) << text(p);
    }
    // Two panes over grey: the far red one is blended first, then the near
    // green one over it, though the file gives the near one first.
    load(two_squares(emissive("0 1 0", 0.5f), emissive("1 0 0", 0.5f)));
    const pixel p = draw().at(100, 100);
    // grey 128 -> red pane (192, 64, 64) -> green pane (96, 160, 32)
    EXPECT_NEAR(p[0], 96, 3) << text(p);
    EXPECT_NEAR(p[1], 160, 3) << text(p);
    EXPECT_NEAR(p[2], 32, 3) << text(p);

    // One closed shape: its unlit far side first, its lit near side over
    // it. grey 128 -> black (64, 64, 64) -> red (160, 32, 32); the other
    // way round would end at (96, 32, 32).
    load("Material { ambientColor 0 0 0 diffuseColor 1 0 0 transparency 0.5 }\nSphere {}\n");
    const pixel glass = draw().at(100, 100);
    EXPECT_NEAR(glass[0], 160, 3) << text(glass);
    EXPECT_NEAR(glass[1], 32, 3) << text(glass);
}

// The extent of every point of the store, as low x, low y, high x, high y.
std::array<float, 4> extent(const scene_store& store) {
    std::array<float, 4> e = {1e30f, 1e30f, -1e30f, -1e30f};
    for (const shape_record& shape : store.shapes)
        for (std::size_t i = 0; i < shape.point_count(); ++i) {
            e[0] = std::min(e[0], shape.points[3 * (i) + 0]);
            e[1] = std::min(e[1], shape.points[3 * (i) + 1]);
            e[2] = std::max(e[2], shape.points[3 * (i) + 0]);
            e[3] = std::max(e[3], shape.points[3 * (i) + 1]);
        }
    return e;
}

TEST_F(LightsCameras, TextIsLaidOutAsItsFontStyleAndJustificationSay) {
    // Capital letters of a sans-serif font: about 0.73 of the size tall and
    // 0.6 to 0.8 of it wide each.
    struct text_case {
        const char* text;
        float low_x[2], high_x[2], low_y[2], high_y[2];
    };
    const text_case cases[] = {
        {"FontStyle { size 10 family SANS } AsciiText { string \"HHHH\" }", {0, 1.5f}, {24, 32}, {-0.1f, 0.1f}, {6.5f, 8}},
        {"FontStyle { size 10 family SANS } AsciiText { string \"HHHH\" justification RIGHT }", {-32, -24}, {-1.5f, 0}, {-0.1f, 0.1f}, {6.5f, 8}},
        {"FontStyle { size 10 family SANS } AsciiText { string \"HHHH\" justification CENTER }", {-16, -12}, {12, 16}, {-0.1f, 0.1f}, {6.5f, 8}},
        // Twice the size; two lines 1.5 sizes apart; the first one stretched to 100
        // wide, side bearings included.
        {"FontStyle { size 20 family TYPEWRITER style BOLD } AsciiText { string [\"HH\", \"H\"] spacing 1.5 width [100, 0] }",
         {0, 6}, {90, 100.5f}, {-30.1f, -29.9f}, {13, 16}},
    };
    for (const text_case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto warnings = load(c.text);
        EXPECT_TRUE(warnings.empty()) << warnings.front();
        const auto e = extent(scene_);
        EXPECT_GE(e[0], c.low_x[0]);
        EXPECT_LE(e[0], c.low_x[1]);
        EXPECT_GE(e[2], c.high_x[0]);
        EXPECT_LE(e[2], c.high_x[1]);
        EXPECT_GE(e[1], c.low_y[0]);
        EXPECT_LE(e[1], c.low_y[1]);
        EXPECT_GE(e[3], c.high_y[0]);
        EXPECT_LE(e[3], c.high_y[1]);
    }
}

TEST_F(LightsCameras, TextIsFilledLettersWithTheirHolesOpen) {
    load("Material { diffuseColor 1 0 0 } FontStyle { family SANS } AsciiText { string \"HOH\" }");
    const auto e = extent(scene_);
    const float px = 90.0f / scene_.bound_radius;  // pixels a unit, 200 x 200 fitted
    const auto column = [&](float x) { return static_cast<int>(100 + (x - scene_.bound_centre[0]) * px); };
    const auto row = [&](float y) { return static_cast<int>(100 - (y - scene_.bound_centre[1]) * px); };
    const picture p = draw();
    const auto red = [](const pixel& q) { return q[0] > 150 && q[1] < 60; };
    int inside = 0, ink = 0, outside_ink = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x) {
            const bool in = x >= column(e[0]) - 1 && x <= column(e[2]) + 1 && y >= row(e[3]) - 1 && y <= row(e[1]) + 1;
            inside += in;
            if (red(p.at(x, y))) (in ? ink : outside_ink) += 1;
        }
    EXPECT_EQ(outside_ink, 0);
    // Letters fill part of their box, neither a sliver nor the whole.
    EXPECT_GT(ink, inside * 3 / 10) << ink << " of " << inside;
    EXPECT_LT(ink, inside * 7 / 10) << ink << " of " << inside;
    // The middle of the O is background: its inner contour is a hole.
    const pixel o = p.at(100, row((e[1] + e[3]) / 2));
    EXPECT_FALSE(red(o)) << text(o);
    EXPECT_TRUE(red(p.at(column(e[0]) + 2, row((e[1] + e[3]) / 2))));  // the first H's stem
}

}  // namespace
}  // namespace tessel
