// A snapshot is the GL window's picture: the same scene, size and view drawn
// in a real window on this X server and off screen must agree pixel for
// pixel, for any view and a window that is not square.

#include <string>
#include <vector>

#include <gtest/gtest.h>

// After the test framework: Xlib's macros would break its templates.
#include <GL/glx.h>

#include "glwindow/gl_window.h"
#include "classic/load.h"
#include "render/render.h"
#include "test_scenes.h"
#include "test_window.h"
#include "toolkit/window.h"
#include "snapshot/snapshot.h"

namespace {

constexpr int width = 320;
constexpr int height = 200;

struct view_case {
    const char* name;
    const char* scene;
    tessel::view_transform view;
};

tessel::view_transform view(float rx, float ry, float rz, float tx, float ty, float tz, float sx, float sy,
                            float sz) {
    tessel::view_transform v;
    v.rotation[0] = rx, v.rotation[1] = ry, v.rotation[2] = rz;
    v.translation[0] = tx, v.translation[1] = ty, v.translation[2] = tz;
    v.scale[0] = sx, v.scale[1] = sy, v.scale[2] = sz;
    return v;
}

class SnapshotMatchesWindow : public testing::TestWithParam<view_case> {};

TEST_P(SnapshotMatchesWindow, PixelForPixel) {
    const view_case& c = GetParam();
    ASSERT_TRUE(tessel::test::open_test_window(width, height));
    const auto& w = tessel::toolkit::g_window;
    // The off-screen context of an earlier case left this thread without
    // the window's.
    ASSERT_TRUE(glXMakeCurrent(w.display, w.window, w.context));
    const std::string path = std::string(TESSEL_SOURCE_DIR) + "/examples/" + c.scene;
    ASSERT_TRUE(tessel::load_scene_file(path, tessel::test::test_content().scene).ok);
    tessel::test::test_content().view = c.view;
    tessel::show_frame();
    tessel::show_frame();
    const tessel::test::image window = tessel::test::read_front();

    // One thread has one current context: let go of the window's.
    ASSERT_TRUE(glXMakeCurrent(w.display, 0, nullptr));
    std::vector<std::uint8_t> snapshot;
    std::string error;
    const tessel::gl_content& shown = tessel::test::test_content();
    ASSERT_TRUE(tessel::render_offscreen(width, height, shown.scene, shown.view, shown.settings, snapshot, error)) << error;
    ASSERT_EQ(snapshot.size(), window.rgb.size());
    std::size_t differing = 0;
    const std::size_t row = width * 3;
    for (int y = 0; y < height; ++y)  // the window's rows come from the bottom
        for (std::size_t i = 0; i < row; ++i)
            differing += snapshot[y * row + i] != window.rgb[(height - 1 - y) * row + i];
    EXPECT_EQ(differing, 0u);
    // Something was drawn besides the background.
    std::size_t grey = 0;
    for (std::size_t i = 0; i + 2 < snapshot.size(); i += 3)
        grey += snapshot[i] == 128 && snapshot[i + 1] == 128 && snapshot[i + 2] == 128;
    EXPECT_LT(grey, snapshot.size() / 3);
}

INSTANTIATE_TEST_SUITE_P(
    Views, SnapshotMatchesWindow,
    testing::Values(view_case{"Neutral", "shapes.wrl", view(0, 0, 0, 0, 0, 0, 1, 1, 1)},
                    view_case{"Turned", "cube.wrl", view(30, 40, 10, 0, 0, 0, 1, 1, 1)},
                    view_case{"Moved", "shapes.wrl", view(0, 0, 0, -50, 20, 10, 1, 1, 1)},
                    view_case{"Stretched", "cube.wrl", view(0, 0, 0, 0, 0, 0, 1.5f, 0.6f, 1)},
                    view_case{"Everything", "shapes.wrl", view(200, 15, 300, 30, -40, 5, 0.8f, 1.3f, 2)}),
    [](const testing::TestParamInfo<view_case>& info) { return std::string(info.param.name); });

}  // namespace
