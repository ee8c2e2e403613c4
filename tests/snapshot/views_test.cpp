// How a VRML97 world is seen: from any of its viewpoints, through its fog,
// with the back faces of solid shapes culled, in front of its sky and its
// panorama's images; drawn off screen as the viewer draws them, a pixel or
// two asked of each picture.
#include <array>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "open/open.h"
#include "scene/scene.h"
#include "snapshot/snapshot.h"
#include "tests/support/test_env.h"

namespace tessel {
namespace {

using pixel = std::array<int, 3>;

// A red square 2 x 2 at the origin, facing +z, in front of a blue wall 25
// behind it; unlit colours, so that a pixel says what it shows.
const std::string stage = R"(
NavigationInfo { headlight FALSE }
Shape { appearance Appearance { material Material { emissiveColor 1 0 0 diffuseColor 0 0 0 } }
        geometry IndexedFaceSet { coord Coordinate { point [-1 -1 0, 1 -1 0, 1 1 0, -1 1 0] } coordIndex [0 1 2 3] } }
Transform { translation 0 0 -25 children Shape {
  appearance Appearance { material Material { emissiveColor 0 0 1 diffuseColor 0 0 0 } } geometry Box { size 200 200 0.1 } } }
)";

const std::string sky = "Background { skyColor [0 0 0.3, 0 0.5 1, 0.9 0.9 1] skyAngle [0.8 1.571] "
                        "groundColor [0.2 0.1 0, 0.4 0.3 0.1] groundAngle [1.571] }\n";

// A green square facing +z, 50 in front of the stage, in a Billboard
// turning about `axis`.
std::string billboard(const char* axis) {
    return std::string("Transform { translation 0 0 50 children Billboard { axisOfRotation ") + axis +
           " children Shape { appearance Appearance { material Material { emissiveColor 0 1 0 diffuseColor 0 0 0 } }"
           " geometry IndexedFaceSet { coord Coordinate { point [-1 -1 0, 1 -1 0, 1 1 0, -1 1 0] } coordIndex [0 1 2 3] } } } }\n";
}

const std::string white_box = "Transform { translation 0 0 5 children Shape { appearance Appearance { material "
                              "Material { diffuseColor 1 1 1 } } geometry Box { size 1 1 1 } } }\n";

struct view_case {
    const char* name;
    std::string world;      // before the stage
    std::string viewpoint;  // shown, when not the bound one
    pixel seen;             // at the middle of the row, 200 x 200
    int row = 100;
    int tolerance = 2;  // per channel
};

void PrintTo(const view_case& c, std::ostream* os) { *os << c.name; }

class Views : public ::testing::TestWithParam<view_case> {};

TEST_P(Views, ThePictureShows) {
    const view_case& c = GetParam();
    const std::string path = ::testing::TempDir() + "views_" + std::to_string(getpid()) + ".wrl";
    std::ofstream(path) << "#VRML V2.0 utf8\n" << c.world << stage;
    scene_store scene;
    const load_result r = open_scene_file(path, scene, reading_mode::standard);
    std::remove(path.c_str());
    ASSERT_TRUE(r.ok) << r.error;
    if (!c.viewpoint.empty()) {
        ASSERT_TRUE(show_viewpoint(scene, find_viewpoint(scene, c.viewpoint)));
    }
    std::vector<std::uint8_t> rgb;
    std::string error;
    ASSERT_TRUE(render_offscreen(200, 200, scene, view_transform{}, render_settings{}, rgb, error)) << error;
    const std::size_t i = (static_cast<std::size_t>(c.row) * 200 + 100) * 3;
    const pixel p = {rgb[i], rgb[i + 1], rgb[i + 2]};
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(p[k], c.seen[k], c.tolerance) << p[0] << ", " << p[1] << ", " << p[2];
}

// A world without a Viewpoint is seen as through the default one, moved
// back along +z until the whole scene shows: in perspective, so that its
// sky is shaded above the horizon as from any viewpoint.
TEST(ViewsWithoutViewpoint, TheDefaultViewpointFramesTheScene) {
    const std::string path = ::testing::TempDir() + "no_viewpoint_" + std::to_string(getpid()) + ".wrl";
    std::ofstream(path) << "#VRML V2.0 utf8\n" << sky << stage;
    scene_store scene;
    const load_result r = open_scene_file(path, scene, reading_mode::standard);
    std::remove(path.c_str());
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_TRUE(scene.camera && scene.camera->framed);
    EXPECT_NEAR(scene.camera->position[2], scene.bound_centre[2] + scene.bound_radius / std::sin(0.785398 / 2), 1e-2);
    EXPECT_EQ(scene.camera->direction[2], -1);
    std::vector<std::uint8_t> rgb;
    std::string error;
    ASSERT_TRUE(render_offscreen(200, 200, scene, view_transform{}, render_settings{}, rgb, error)) << error;
    EXPECT_EQ(rgb[(100 * 200 + 100) * 3], 255) << "the red square at the middle";
    // Above the wall, the sky some 20 degrees up: bluer than its horizon (230, 230, 255).
    const std::size_t top = (5 * 200 + 100) * 3;
    EXPECT_LT(rgb[top], 180) << int(rgb[top]) << ", " << int(rgb[top + 1]) << ", " << int(rgb[top + 2]);
    EXPECT_GT(rgb[top + 2], 240);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Views,
    ::testing::Values(
        view_case{"FirstViewpoint", "Viewpoint { position 0 0 10 }\n", "", {255, 0, 0}},
        // From behind, the square's back face: a solid shape culls it, and
        // the grey behind the scene shows (the wall is behind this viewer).
        view_case{"SecondViewpointSeesTheCulledBackFace",
                  "Viewpoint { position 0 0 10 }\nDEF Behind Viewpoint { position 0 0 -10 orientation 0 1 0 3.14159 }\n",
                  "Behind", {128, 128, 128}},
        view_case{"ThirdViewpointByNumber",
                  "Viewpoint { position 0 0 10 }\nViewpoint { position 0 0 -10 orientation 0 1 0 3.14159 }\n"
                  "Viewpoint { position 5 0 10 }\n",
                  "3", {0, 0, 255}},
        // Linear fog of range 40 seen from 10 away: a quarter white.
        view_case{"LinearFog", "Viewpoint { position 0 0 10 }\nFog { color 1 1 1 visibilityRange 40 }\n", "",
                  {255, 64, 64}},
        // Exponential fog has no fixed-function form: within 6 % of the
        // file's e^(-10 / (40 - 10)).
        view_case{"ExponentialFog",
                  "Viewpoint { position 0 0 10 }\nFog { color 1 1 1 visibilityRange 40 fogType \"EXPONENTIAL\" }\n", "",
                  {255, 72, 72}, 100, 16},
        // A solid box seen through half of its image: its back face, whose
        // opaque half would show mirrored there, is culled like an opaque
        // box's; the red square behind shows.
        view_case{"CutOutShowsNoBackFace",
                  "Viewpoint { position 0 0 10 }\nTransform { translation -0.5 0 5 children Shape { appearance "
                  "Appearance { texture PixelTexture { image 2 1 4 0x00FF00FF 0x00000000 } } geometry Box { size 2 2 0.2 } } }\n",
                  "", {255, 0, 0}, 100, 6},
        // A light's ambientIntensity lights every side a little in its
        // colour: a white box facing away from a green light, out of its
        // beam, shows 1 x 0.2 (the material's ambient) green, beside the
        // scene's own faint grey.
        view_case{"LightAmbientIntensity",
                  "Viewpoint { position 0 0 10 }\nPointLight { location 0 0 -5 color 0 1 0 intensity 0 ambientIntensity 1 }\n"
                  "Transform { translation 0 0 5 children Shape { appearance Appearance { material Material { "
                  "diffuseColor 1 1 1 } } geometry Box { size 1 1 1 } } }\n",
                  "", {10, 61, 10}},
        // A white box whose face is 1.5 from a point light: beyond its
        // radius of 1 it is lit by the scene's faint grey alone; within a
        // radius of 2 as the face's corners are (lit per vertex, 1.66 away
        // at cos 0.905); and at 1 / 1.66^2 of that with a squared fall-off.
        view_case{"BeyondALightsRadius", "Viewpoint { position 0 0 10 }\nPointLight { location 0 0 7 radius 1 }\n" + white_box,
                  "", {10, 10, 10}},
        view_case{"WithinALightsRadius", "Viewpoint { position 0 0 10 }\nPointLight { location 0 0 7 radius 2 }\n" + white_box,
                  "", {241, 241, 241}},
        view_case{"LightAttenuation",
                  "Viewpoint { position 0 0 10 }\nPointLight { location 0 0 7 attenuation 0 0 1 }\n" + white_box, "",
                  {94, 94, 94}},
        // The wall 35 away lies beyond what the file lets the viewer see.
        view_case{"VisibilityLimit", "NavigationInfo { headlight FALSE visibilityLimit 20 }\nViewpoint { position 5 0 10 }\n",
                  "", {128, 128, 128}},
        // A Collision's proxy stops a walking viewer but is never seen.
        view_case{"ProxyUnseen",
                  "Viewpoint { position 0 0 10 }\nTransform { translation 0 0 5 children Collision { "
                  "proxy Shape { geometry Box { size 100 100 1 } } } }\n",
                  "", {255, 0, 0}},
        // A floor reaching far ahead and far behind the viewer is fogged by
        // the distance of each of its points, not only of its corners:
        // near the viewer (row 195, about 4.8 ahead) a little, in range 40.
        view_case{"FoggedFloorNearTheViewer",
                  "Viewpoint { position 0 0 10 }\nFog { color 1 1 1 visibilityRange 40 }\n"
                  "Transform { translation 0 -2 0 children Shape { appearance Appearance { material Material { "
                  "emissiveColor 0 0 1 diffuseColor 0 0 0 } } geometry Box { size 400 0.01 400 } } }\n",
                  "", {31, 31, 255}, 195, 8},
        view_case{"NoFogAtRangeZero", "Viewpoint { position 0 0 10 }\nFog { color 1 1 1 visibilityRange 0 }\n", "",
                  {255, 0, 0}},
        // A sky shaded from dark blue straight up to near white at the
        // horizon, over a brown ground: their colours above and below the
        // stage, as another viewer shows them too. The wall is out of sight.
        view_case{"Sky", "Viewpoint { position 0 0 10 orientation 0 1 0 3.14159 }\n" + sky, "", {118, 180, 255}, 5},
        view_case{"Ground", "Viewpoint { position 0 0 10 orientation 0 1 0 3.14159 }\n" + sky, "", {90, 64, 19}, 195},
        // A fog that hides the whole stage leaves the Background as it is.
        view_case{"FogLeavesTheSky",
                  "Viewpoint { position 0 0 10 orientation 0 1 0 3.14159 }\nFog { color 1 1 1 visibilityRange 5 }\n" + sky,
                  "", {118, 180, 255}, 5},
        // Seen from the side, and from straight above, where a square left
        // as it is stands edge on and only the grey behind would show.
        view_case{"BillboardTurnsAboutItsAxis", "Viewpoint { position 10 0 50 orientation 0 1 0 1.5708 }\n" + billboard("0 1 0"),
                  "", {0, 255, 0}},
        view_case{"ScreenAlignedBillboardFacesTheViewer",
                  "Viewpoint { position 0 10 50 orientation 1 0 0 -1.5708 }\n" + billboard("0 0 0"), "", {0, 255, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

// An X3D shape whose both sides show lights its back faces with their own
// material where it gives them one: a square red in front, green behind,
// seen from behind and from the front.
TEST(X3dBackFaces, ShowTheirOwnMaterial) {
    struct row {
        const char* name;
        std::string material;  // the Appearance's fields
        pixel front, behind;
    } rows[] = {
        {"TwoSidedMaterial", "material TwoSidedMaterial { emissiveColor 1 0 0 diffuseColor 0 0 0 separateBackColor TRUE "
                             "backEmissiveColor 0 1 0 backDiffuseColor 0 0 0 }",
         {255, 0, 0}, {0, 255, 0}},
        {"TwoSidedMaterialOfOneColour", "material TwoSidedMaterial { emissiveColor 1 0 0 diffuseColor 0 0 0 "
                                        "backEmissiveColor 0 1 0 backDiffuseColor 0 0 0 }",
         {255, 0, 0}, {255, 0, 0}},
        {"BackMaterial", "material Material { emissiveColor 1 0 0 diffuseColor 0 0 0 } "
                         "backMaterial Material { emissiveColor 0 1 0 diffuseColor 0 0 0 }",
         {255, 0, 0}, {0, 255, 0}},
    };
    for (const row& r : rows) {
        const std::string path = ::testing::TempDir() + "back_" + std::to_string(getpid()) + ".x3dv";
        std::ofstream(path) << "#X3D V4.0 utf8\nNavigationInfo { headlight FALSE }\n"
                               "Viewpoint { position 0 0 10 }\nDEF Behind Viewpoint { position 0 0 -10 orientation 0 1 0 3.14159 }\n"
                               "Shape { appearance Appearance { " << r.material << " } geometry IndexedFaceSet { solid FALSE "
                               "coord Coordinate { point [-1 -1 0, 1 -1 0, 1 1 0, -1 1 0] } coordIndex [0 1 2 3] } }\n";
        scene_store scene;
        const load_result loaded = open_scene_file(path, scene, reading_mode::standard);
        std::remove(path.c_str());
        ASSERT_TRUE(loaded.ok) << loaded.error;
        EXPECT_TRUE(loaded.warnings.empty()) << r.name << ": " << loaded.warnings[0];
        for (const bool behind : {false, true}) {
            if (behind) {
                ASSERT_TRUE(show_viewpoint(scene, find_viewpoint(scene, "Behind")));
            }
            std::vector<std::uint8_t> rgb;
            std::string error;
            ASSERT_TRUE(render_offscreen(200, 200, scene, view_transform{}, render_settings{}, rgb, error)) << error;
            const std::size_t i = (100 * 200 + 100) * 3;
            const pixel want = behind ? r.behind : r.front;
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR(rgb[i + k], want[k], 2) << r.name << (behind ? " behind" : " in front");
        }
    }
}

// The panorama: each face's image is 16 x 16 texels of four quadrants, every
// quadrant of every face a colour of its own, so that a face shown in
// another's place, mirrored or turned shows the wrong colour. The bottom
// image's lower right quadrant is clear, and shows the ground.
const char* const face_names[panorama_faces] = {"front", "back", "left", "right", "top", "bottom"};
enum quadrant { upper_left, upper_right, lower_left, lower_right };
pixel face_colour(int face, quadrant q) { return {30 + 40 * face, 30 + 60 * q, 255 - 30 * face}; }
const pixel ground = {102, 51, 0};
const pixel sky_blue = {0, 128, 255};

// A 32-bit BMP (b, g, r, a per texel, rows from the bottom) of a face.
std::string face_bmp(int face) {
    constexpr std::uint32_t side = 16, bytes = side * side * 4;
    std::string b = "BM";
    const auto u32 = [&](std::uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>(v >> (8 * i))); };
    const auto u16 = [&](std::uint16_t v) { for (int i = 0; i < 2; ++i) b.push_back(static_cast<char>(v >> (8 * i))); };
    u32(54 + bytes), u32(0), u32(54), u32(40), u32(side), u32(side), u16(1), u16(32), u32(0), u32(bytes), u32(0),
        u32(0), u32(0), u32(0);
    for (std::uint32_t row = 0; row < side; ++row)
        for (std::uint32_t col = 0; col < side; ++col) {
            const quadrant q = static_cast<quadrant>((row < side / 2 ? 2 : 0) + (col < side / 2 ? 0 : 1));
            const pixel c = face_colour(face, q);
            const bool clear = face == static_cast<int>(panorama_face::bottom) && q == lower_right;
            for (const int v : {c[2], c[1], c[0], clear ? 0 : 255}) b.push_back(static_cast<char>(v));
        }
    return b;
}

struct panorama_case {
    const char* name;
    std::string orientation;  // the viewer's, at the origin
    pixel upper_left, lower_right;  // seen at (50, 50) and (150, 150) of 200 x 200
    std::string turn = "";  // a Transform's rotation about the Background
    std::string urls = "frontUrl \"front.bmp\" backUrl \"back.bmp\" leftUrl \"left.bmp\" rightUrl \"right.bmp\" "
                       "topUrl \"top.bmp\" bottomUrl \"bottom.bmp\"";
    std::string warning = "";  // how a warning of the load starts, after "FILE:LINE:COLUMN: ", up to the folder
};

void PrintTo(const panorama_case& c, std::ostream* os) { *os << c.name; }

class Panorama : public ::testing::TestWithParam<panorama_case> {};

TEST_P(Panorama, FacesShowTheirImagesUprightAsSeenFromInside) {
    const panorama_case& c = GetParam();
    test::scratch_dir dir;
    for (int f = 0; f < panorama_faces; ++f) dir.write(std::string(face_names[f]) + ".bmp", face_bmp(f));
    // A sky of one colour above a ground of another, up to just over the horizon.
    std::string background = "Background { skyColor [0 0.5 1, 0 0.5 1] skyAngle [3] "
                             "groundColor [0.4 0.2 0, 0.4 0.2 0] groundAngle [1.6] " + c.urls + " }";
    if (!c.turn.empty()) background = "Transform { rotation " + c.turn + " children " + background + " }";
    const std::string path = dir.write("w.wrl", "#VRML V2.0 utf8\nViewpoint { position 0 0 0 orientation " +
                                                    c.orientation + " }\n" + background + "\n");
    scene_store scene;
    const load_result r = open_scene_file(path, scene, reading_mode::standard);
    ASSERT_TRUE(r.ok) << r.error;
    std::string warnings;
    for (const std::string& w : r.warnings) warnings += w + "\n";
    if (c.warning.empty()) {
        EXPECT_TRUE(r.warnings.empty()) << warnings;
    } else {
        EXPECT_NE(warnings.find(path + ":3:1: " + c.warning + dir.path + "/"), std::string::npos) << warnings;
    }
    std::vector<std::uint8_t> rgb;
    std::string error;
    ASSERT_TRUE(render_offscreen(200, 200, scene, view_transform{}, render_settings{}, rgb, error)) << error;
    for (const auto& [at, expected] : {std::pair{50, c.upper_left}, std::pair{150, c.lower_right}}) {
        const std::size_t i = (static_cast<std::size_t>(at) * 200 + static_cast<std::size_t>(at)) * 3;
        const pixel p = {rgb[i], rgb[i + 1], rgb[i + 2]};
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(p[k], expected[k], 2) << "at " << at << ": " << p[0] << ", " << p[1] << ", " << p[2];
    }
}

constexpr int front = 0, back = 1, left = 2, right = 3, top = 4, bottom = 5;

INSTANTIATE_TEST_SUITE_P(
    Cases, Panorama,
    ::testing::Values(
        panorama_case{"Front", "0 0 1 0", face_colour(front, upper_left), face_colour(front, lower_right)},
        panorama_case{"Back", "0 1 0 3.14159", face_colour(back, upper_left), face_colour(back, lower_right)},
        panorama_case{"Left", "0 1 0 1.5708", face_colour(left, upper_left), face_colour(left, lower_right)},
        panorama_case{"Right", "0 1 0 -1.5708", face_colour(right, upper_left), face_colour(right, lower_right)},
        // Looking up with the back (+z) above, and down with the front above.
        panorama_case{"Top", "1 0 0 1.5708", face_colour(top, upper_left), face_colour(top, lower_right)},
        panorama_case{"BottomClearWhereItsAlphaIs", "1 0 0 -1.5708", face_colour(bottom, upper_left), ground},
        // Turned a quarter to the left with the Transform above it, the
        // Background shows its right face ahead.
        panorama_case{"TurnedWithItsTransform", "0 0 1 0", face_colour(right, upper_left),
                      face_colour(right, lower_right), "0 1 0 1.5708"},
        // A face whose image cannot be read shows the sky and ground
        // behind it; the others are shown.
        panorama_case{"MissingImageLeavesItsFaceOut", "0 1 0 1.5708", sky_blue, ground,
                      "", "frontUrl \"front.bmp\" leftUrl \"missing.bmp\"", "background image \""},
        panorama_case{"OtherFacesOfAMissingImageAreShown", "0 0 1 0", face_colour(front, upper_left),
                      face_colour(front, lower_right), "", "frontUrl \"front.bmp\" leftUrl \"missing.bmp\"",
                      "background image \""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessel
