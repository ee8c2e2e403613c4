// Nothing of a scene is held by the process: two scenes loaded side by side
// each draw as they would alone, in any order, each with its own view.
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <string>
#include <vector>

#include "open/open.h"
#include "snapshot/snapshot.h"
#include "tests/support/test_env.h"

namespace tessel {
namespace {

constexpr int size = 64;

std::vector<std::uint8_t> draw(const scene_store& scene, const view_transform& view) {
    std::vector<std::uint8_t> rgb;
    std::string error;
    EXPECT_TRUE(render_offscreen(size, size, scene, view, render_settings{}, rgb, error)) << error;
    return rgb;
}

std::array<int, 3> centre(const std::vector<std::uint8_t>& rgb) {
    const std::size_t i = (static_cast<std::size_t>(size / 2) * size + size / 2) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

TEST(TwoScenes, EachDrawsAsItWouldAlone) {
    test::scratch_dir dir;
    const std::string unlit = "Shape { geometry Box { } appearance Appearance { material Material { emissiveColor ";
    scene_store red, blue;
    ASSERT_TRUE(open_scene_file(dir.write("red.wrl", "#VRML V2.0 utf8\nBackground { skyColor 0 1 0 }\n" + unlit +
                                                         "1 0 0 diffuseColor 0 0 0 } } }\n"),
                                red, reading_mode::standard)
                    .ok);
    ASSERT_TRUE(open_scene_file(dir.write("blue.wrl", "#VRML V2.0 utf8\n" + unlit + "0 0 1 diffuseColor 0 0 0 } } }\n"),
                                blue, reading_mode::standard)
                    .ok);
    view_transform small;  // the blue box at a tenth of its size: the grey around it shows
    for (float& s : small.scale) s = 0.1f;
    const auto red_alone = draw(red, view_transform{});
    const auto blue_small = draw(blue, small);
    EXPECT_EQ(draw(red, view_transform{}), red_alone);
    EXPECT_EQ(centre(red_alone), (std::array<int, 3>{255, 0, 0}));
    EXPECT_EQ(centre(blue_small), (std::array<int, 3>{0, 0, 255}));
    EXPECT_EQ(blue_small[0], 128) << "the viewer's grey, not the other scene's green sky";
    EXPECT_EQ(red_alone[1], 255) << "the red scene's own sky";
}

}  // namespace
}  // namespace tessel
