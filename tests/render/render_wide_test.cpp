// An 800 x 400 window still shows the whole -400..400 box: twice as many
// columns as rows, so the picture is squeezed vertically by half.
#include <gtest/gtest.h>

#include "glwindow/gl_window.h"
#include "render/render.h"
#include "test_scenes.h"
#include "test_window.h"

namespace tessel {
namespace {

using test::test_shape;

bool is_red(const std::array<int, 3>& p) { return p[0] == 255 && p[1] == 0 && p[2] == 0; }
bool is_grey(const std::array<int, 3>& p) { return std::abs(p[0] - 128) <= 1 && p[0] == p[1] && p[1] == p[2]; }

test_shape square(float half) {
    test_shape s;
    s.points = {{-half, -half, 0}, {half, -half, 0}, {half, half, 0}, {-half, half, 0}};
    s.faces = {{0, 1, 2}, {0, 2, 3}};
    s.colour = {1, 0, 0};
    return s;
}

class RenderWide : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(test::open_test_window(800, 400)); }
    void SetUp() override { test::reset_view(); }
    static test::image settled_frame() {
        show_frame();
        show_frame();
        return test::read_front();
    }
};

TEST_F(RenderWide, SquareOfTheBoxBecomesAFlatRectangle) {
    // -200..200 on both axes: columns 200..599 (one unit each) and rows
    // 100..299 (two units each).
    test::install_scene(test::make_store({square(200)}));
    const test::image img = settled_frame();
    ASSERT_EQ(img.width, 800);
    ASSERT_EQ(img.height, 400);
    const struct {
        int col, row;
        bool inside;
    } probes[] = {{200, 200, true},  {199, 200, false}, {599, 200, true}, {600, 200, false},
                  {400, 100, true},  {400, 99, false},  {400, 299, true}, {400, 300, false},
                  {400, 200, true},  {210, 110, true},  {590, 290, true}, {150, 200, false}};
    for (const auto& p : probes) {
        const auto px = img.at(p.col, p.row);
        EXPECT_EQ(p.inside ? is_red(px) : is_grey(px), true) << p.col << "," << p.row;
    }
}

TEST_F(RenderWide, TheWholeBoxFillsTheWindow) {
    test::install_scene(test::make_store({square(399)}));
    const test::image img = settled_frame();
    for (const auto& [col, row] : {std::pair{1, 1}, {798, 1}, {1, 398}, {798, 398}, {400, 200}}) {
        EXPECT_TRUE(is_red(img.at(col, row))) << col << "," << row;
    }
    EXPECT_TRUE(is_grey(img.at(0, 0)));
    EXPECT_TRUE(is_grey(img.at(799, 399)));
}

}  // namespace
}  // namespace tessel
