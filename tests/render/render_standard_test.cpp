// Scenes of the standard reading on the screen of a wide 400 x 240 window:
// framed in the middle with the aspect ratio kept, coloured per vertex, lit
// on both sides where the shape asks for it, and leaving the classic
// reading's pictures untouched.
#include <gtest/gtest.h>

#include <string>

#include "glwindow/gl_window.h"
#include "render/render.h"
#include "test_scenes.h"
#include "test_window.h"
#include "geometry/geometry.h"

namespace tessel {
namespace {

using test::image;

constexpr int width = 400;
constexpr int height = 240;

std::string describe(const std::array<int, 3>& p) {
    return "(" + std::to_string(p[0]) + ", " + std::to_string(p[1]) + ", " + std::to_string(p[2]) + ")";
}
bool is_grey(const std::array<int, 3>& p) { return std::abs(p[0] - 128) <= 1 && p[0] == p[1] && p[1] == p[2]; }

// Builds a standard scene through the geometry back end, as a load does.
class standard_scene {
public:
    standard_scene() { state_.material = &materials_; }
    vrml::shape_state& state() { return state_; }
    vrml::material_list& materials() { return materials_; }
    vrml::scene_builder& builder() { return builder_; }
    void install() {
        builder_.finish();
        test::install_scene(std::move(store_));
    }

private:
    scene_store store_;
    vrml::warning_list warnings_;
    vrml::scene_builder builder_{store_, warnings_};
    vrml::material_list materials_;
    vrml::shape_state state_;
};

class RenderStandard : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(test::open_test_window(width, height)); }
    void SetUp() override {
        test::reset_view();
        test::install_scene({});
    }
    static image settled_frame() {
        // render_frame leaves presenting to its caller: show_frame swaps.
        show_frame();
        show_frame();
        return test::read_front();
    }
};

TEST_F(RenderStandard, SmallCubeFarFromTheOriginIsFramedSquareInTheMiddle) {
    // A cube of side 10 around (1000, -2000, 50): its bounding sphere
    // (radius 5 sqrt 3) is scaled to 90% of the 120-pixel half height, so the
    // front face spans 120 * 0.9 / sqrt 3 = 62.4 pixels each way from the centre.
    standard_scene s;
    s.materials().diffuse = {1, 0, 0};
    s.state().matrix.m[12] = 1000;
    s.state().matrix.m[13] = -2000;
    s.state().matrix.m[14] = 50;
    s.builder().cube(s.state(), 10, 10, 10);
    s.install();
    const image img = settled_frame();
    const int cx = width / 2, cy = height / 2;
    for (const int d : {0, 58, -58}) {
        for (const auto& [col, row] : {std::pair{cx + d, cy}, std::pair{cx, cy + d}}) {
            const auto p = img.at(col, row);
            EXPECT_GE(p[0], 250) << col << "," << row << " " << describe(p);
            EXPECT_LE(p[1], 20) << col << "," << row << " " << describe(p);
        }
    }
    // Just outside the face, the same distance along both axes: square, not
    // stretched to the window.
    for (const auto& [col, row] : {std::pair{cx + 67, cy}, std::pair{cx - 67, cy}, std::pair{cx, cy + 67},
                                   std::pair{cx, cy - 67}}) {
        EXPECT_TRUE(is_grey(img.at(col, row))) << col << "," << row << " " << describe(img.at(col, row));
    }
}

TEST_F(RenderStandard, ColoursPerVertexShowAtTheirCorners) {
    standard_scene s;
    s.materials().diffuse = {1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1};
    s.state().material_binding = vrml::binding::per_vertex;
    const std::vector<float> square = {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
    s.builder().face_set(s.state(), square, std::vector<std::int32_t>{0, 1, 2, 3}, {}, {});
    s.install();
    const image img = settled_frame();
    // The square's corners lie at 90% of the bounding radius along the
    // diagonals: about 76 pixels each way from the centre.
    const struct {
        int dx, dy, channel;
    } corners[] = {{-70, -70, 0}, {70, -70, 1}, {70, 70, 2}};
    for (const auto& c : corners) {
        const auto p = img.at(width / 2 + c.dx, height / 2 + c.dy);
        for (int k = 0; k < 3; ++k) {
            if (k == c.channel) EXPECT_GE(p[k], 180) << describe(p);
            else EXPECT_LE(p[k], 60) << describe(p);
        }
    }
    const auto white = img.at(width / 2 - 70, height / 2 + 70);
    EXPECT_GE(std::min({white[0], white[1], white[2]}), 180) << describe(white);
}

struct sided_case {
    const char* name;
    vrml::shape_hints hints;
    bool mirrored_view;  // the panel's scale turns x over
    bool seen;           // false: culled, the background shows
};
void PrintTo(const sided_case& c, std::ostream* os) { *os << c.name; }
class RenderSides : public RenderStandard, public ::testing::WithParamInterface<sided_case> {
protected:
    void TearDown() override { tessel::test::test_content().view = view_transform{}; }
};

TEST_P(RenderSides, BackFacesShowLitOnlyWhenTheShapeIsNotSolid) {
    // A white triangle turned away from the viewer (clockwise as seen).
    standard_scene s;
    s.materials().diffuse = {1, 1, 1};
    s.state().hints = GetParam().hints;
    const std::vector<float> pts = {-1, -1, 0, 0, 1, 0, 1, -1, 0};
    s.builder().face_set(s.state(), pts, std::vector<std::int32_t>{0, 1, 2}, {}, {});
    s.install();
    // A mirror changes the order the corners are seen in, not which side faces the viewer.
    if (GetParam().mirrored_view) tessel::test::test_content().view.scale[0] = -1;
    const auto p = settled_frame().at(width / 2, height / 2 - 10);
    if (GetParam().seen) EXPECT_GE(p[0], 240) << describe(p);
    else EXPECT_TRUE(is_grey(p)) << describe(p);
}

INSTANTIATE_TEST_SUITE_P(
    Hints, RenderSides,
    ::testing::Values(sided_case{"UnknownOrderingIsTwoSided", {}, false, true},
                      sided_case{"SolidCounterclockwiseIsCulled",
                                 {vrml::vertex_ordering::counterclockwise, true, false, 0.5f}, false, false},
                      sided_case{"SolidSeenInAMirrorIsCulled",
                                 {vrml::vertex_ordering::counterclockwise, true, false, 0.5f}, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RenderStandard, BackgroundClearsFromTheFirstFrameAfterTheLoadAndGoesWithTheScene) {
    standard_scene s;
    const float sky[3] = {0.2f, 0.4f, 0.6f};
    s.builder().background(sky);
    s.builder().cube(s.state(), 1, 1, 1);
    s.install();
    show_frame();  // a load is followed by one frame, which must already show it
    for (const auto& [col, row] : {std::pair{2, 2}, std::pair{width - 3, height - 3}}) {
        const auto p = test::read_front().at(col, row);
        EXPECT_NEAR(p[0], 51, 1) << describe(p);
        EXPECT_NEAR(p[1], 102, 1) << describe(p);
        EXPECT_NEAR(p[2], 153, 1) << describe(p);
    }
    test::install_scene({});
    show_frame();
    EXPECT_TRUE(is_grey(test::read_front().at(2, 2))) << describe(test::read_front().at(2, 2));
}

// The light from the eye shines only when the user's switch and the file
// both leave it on.
struct headlight_case {
    const char* name;
    bool user;
    bool file;
    bool lit;
};
void PrintTo(const headlight_case& c, std::ostream* os) { *os << c.name; }
class RenderHeadlight : public RenderStandard, public ::testing::WithParamInterface<headlight_case> {
protected:
    void TearDown() override { tessel::test::test_content().settings.headlight = true; }
};

TEST_P(RenderHeadlight, ShinesOnlyWhenUserAndFileAgree) {
    standard_scene s;
    s.materials().diffuse = {1, 1, 1};
    s.builder().headlight(GetParam().file);
    const std::vector<float> square = {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
    s.builder().face_set(s.state(), square, std::vector<std::int32_t>{0, 1, 2, 3}, {}, {});
    s.install();
    tessel::test::test_content().settings.headlight = GetParam().user;
    const auto p = settled_frame().at(width / 2, height / 2);
    if (GetParam().lit) EXPECT_GE(p[0], 240) << describe(p);
    else EXPECT_LE(p[0], 60) << describe(p);  // the scene's ambient share alone
}

INSTANTIATE_TEST_SUITE_P(
    Switches, RenderHeadlight,
    ::testing::Values(headlight_case{"BothOn", true, true, true}, headlight_case{"FileOff", true, false, false},
                      headlight_case{"UserOff", false, true, false}, headlight_case{"BothOff", false, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RenderStandard, ClassicPictureIsTheSameAfterAStandardScene) {
    test::test_shape t;
    t.points = {{-150, -100, 0}, {150, -100, 0}, {0, 100, 0}};
    t.faces = {{0, 1, 2}};
    t.colour = {0.3f, 0.6f, 0.9f};
    test::install_scene(test::make_store({t}));
    const image before = settled_frame();

    standard_scene s;
    s.materials().diffuse = {1, 0, 0};
    s.materials().specular = {1, 1, 1};
    s.materials().emissive = {0, 0, 0.5f};
    s.materials().transparency = {0.5f};
    s.builder().sphere(s.state(), 3);
    s.install();
    settled_frame();

    test::install_scene(test::make_store({t}));
    EXPECT_EQ(test::count_differences(before, settled_frame()), 0u);
}

}  // namespace
}  // namespace tessel
