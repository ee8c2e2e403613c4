// The GL window's frames of a heavy scene: a frame that shows the view
// moving draws the stand-in, and without any further input the window draws
// the full picture once the view has stood still; a still frame is always
// the full picture, pixel for pixel.
#include <gtest/gtest.h>
#include <poll.h>

#include <cstdint>

#include "glwindow/gl_window.h"
#include "render/draw_budget.h"
#include "render/render.h"
#include "test_scenes.h"
#include "test_window.h"
#include "toolkit/toolkit.h"
#include "toolkit/window.h"

namespace tessel {
namespace {

constexpr int size = 400;

// Serves the window as the event loop does, sleeping until X input or the
// timed repaint, until done() holds; gives up after a few thousand rounds.
template <typename Done>
bool serve_until(Done done) {
    for (int round = 0; round < 4000 && !done(); ++round) {
        if (dispatch_pending_events()) continue;
        pollfd fd{toolkit_connection_fd(), POLLIN, 0};
        const int due = redisplay_due_in();
        poll(&fd, 1, due < 0 ? 5 : due);
    }
    return done();
}

TEST(StandInFrames, MovingFramesDrawTheStandInAndTheFullPictureFollowsByItself) {
    ASSERT_TRUE(test::open_test_window(size, size));
    // The event loop's display handler, which the timed repaint reaches.
    toolkit::g_window.display_fn = &show_frame;
    gl_content& content = test::test_content();
    content.draw.make_stand_ins(true, test::small_stand_in_limits());
    test::install_scene(test::standard_tori(4, 40, 20));
    show_frame();  // starts the stand-in in the background
    ASSERT_TRUE(serve_until([] { return !toolkit::g_window.paint_pending; }));
    content.draw.wait_for_stand_in();
    show_frame();
    const draw_report still = content.draw.report();
    EXPECT_EQ(still.stand_ins, 0);
    EXPECT_EQ(still.handed, still.primitives);
    EXPECT_EQ(redisplay_due_in(), -1) << "a full picture asks for no other";

    // A turn: the frame that shows it draws the four tori through their
    // stand-in (the line in full), and the picture counts as complete.
    content.view.rotation[1] = 25.0f;
    show_frame();
    const draw_report moving = content.draw.report();
    EXPECT_EQ(moving.stand_ins, 4);
    EXPECT_EQ(moving.primitives, 4 * 1'600 + 1);
    EXPECT_LE(moving.handed, 2'001);
    EXPECT_TRUE(moving.complete());
    EXPECT_TRUE(describe(moving, draw_limits{}).empty());
    EXPECT_GE(redisplay_due_in(), 0) << "the full picture is asked for";
    const test::image coarse = test::read_front();

    // Nothing else happens: the window draws the full picture by itself.
    const std::uint64_t frames = frames_shown();
    ASSERT_TRUE(serve_until([&] { return frames_shown() > frames && content.draw.report().stand_ins == 0; }));
    const draw_report full = content.draw.report();
    EXPECT_EQ(full.handed, full.primitives);
    EXPECT_TRUE(full.complete());
    EXPECT_EQ(redisplay_due_in(), -1);
    const test::image fine = test::read_front();

    // The same view from a renderer that never makes a stand-in.
    renderer plain;
    plain.reshape(size, size);
    plain.frame(content.scene, content.view, content.settings);
    present_frame();
    const test::image reference = test::read_front();
    EXPECT_EQ(test::count_differences(fine, reference), 0u);
    EXPECT_GT(test::count_differences(coarse, reference), 0u) << "the stand-in is coarser";

    // Asked to move without a stand-in maker, a renderer draws in full.
    plain.frame(content.scene, content.view, content.settings, true);
    EXPECT_EQ(plain.report().stand_ins, 0);
    EXPECT_EQ(plain.report().handed, plain.report().primitives);
    content.draw.make_stand_ins(false);
}

}  // namespace
}  // namespace tessel
