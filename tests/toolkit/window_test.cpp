// The GL window on a real X server (Xvfb) with real Mesa GLX: creation,
// the event loop, and X input translated into the toolkit's messages.

#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "tests/toolkit/x_input.h"
#include "toolkit/front.h"
#include "toolkit/window.h"

#include <GL/glx.h>  // after GoogleTest: Xlib's macros must not reach its headers

using namespace tessel::toolkit;

namespace {

std::vector<std::string> g_boxes;  // "caption|text" of every message box shown
std::vector<std::string> g_log;    // what the handlers saw
window_handle g_window_at_error = 0;  // the window that existed when an error box came

void record_box(const char* caption, const char* text) {
    g_boxes.push_back(std::string(caption) + "|" + text);
    if (!g_window_at_error) g_window_at_error = g_window.window;
}

void log_reshape(std::int32_t w, std::int32_t h) {
    g_log.push_back("reshape " + std::to_string(w) + " " + std::to_string(h));
}
int g_paints = 0;
void count_paint() { ++g_paints; }
std::int32_t log_key(std::int32_t key, std::int32_t status) {
    g_log.push_back("key " + std::to_string(key) + " " + std::to_string(status));
    return 0;
}
std::int32_t log_mouse(const char* what, std::int32_t x, std::int32_t y, std::int32_t s) {
    g_log.push_back(std::string(what) + " " + std::to_string(x) + " " + std::to_string(y) + " " +
                    std::to_string(s));
    return 0;
}
std::int32_t log_down(std::int32_t x, std::int32_t y, std::int32_t s) { return log_mouse("down", x, y, s); }
std::int32_t log_up(std::int32_t x, std::int32_t y, std::int32_t s) { return log_mouse("up", x, y, s); }
std::int32_t log_move(std::int32_t x, std::int32_t y, std::int32_t s) { return log_mouse("move", x, y, s); }

bool logged(const std::string& line) {
    return std::find(g_log.begin(), g_log.end(), line) != g_log.end();
}

// Dispatches the toolkit's events until done() holds. Gives up after a few
// thousand rounds so that a broken build fails instead of hanging.
bool pump_until(const std::function<bool()>& done) {
    for (int round = 0; round < 4000 && !done(); ++round) {
        if (dispatch_pending_events()) continue;
        pollfd fd{toolkit_connection_fd(), POLLIN, 0};
        poll(&fd, 1, 5);
    }
    return done();
}

// Everything the server has for the toolkit so far, dispatched.
void settle() {
    xinput::sync();
    glXWaitX();
    while (dispatch_pending_events()) {
    }
}

// The same guard for loops driven from the idle handler.
int g_idle_rounds = 0;
bool idle_gave_up() {
    if (++g_idle_rounds < 200000) return false;
    post_quit_message(0);
    return true;
}

class GlWindow : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(xinput::open());
        reset();
        set_message_box_function(record_box);
    }
    void TearDown() override {
        if (g_window.window) destroy_gl_window(g_window.window);
        set_message_box_function(nullptr);
        reset();
    }
    static void reset() {
        _XDisplay* display = g_window.display;
        const int screen = g_window.screen;
        g_window = window_state{};
        g_window.display = display;
        g_window.screen = screen;
        g_front = front_state{};
        clear_posted_messages();
        g_boxes.clear();
        g_log.clear();
        g_paints = 0;
        g_idle_rounds = 0;
        g_window_at_error = 0;
    }
    static void open_panel_window(std::int32_t mode = DM_DOUBLE | DM_DEPTH24 | DM_STENCIL) {
        set_display_mode(mode);
        set_window_geometry(300, 10, 400, 400);
        ASSERT_EQ(1, open_window("KORVANE VRML TESSALO"));
    }
};

}  // namespace

class PanelMode : public GlWindow, public testing::WithParamInterface<std::int32_t> {};

TEST_P(PanelMode, OpensAWindowWithACurrentContext) {
    open_panel_window(GetParam());
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_NE(nullptr, glXGetCurrentContext());
    EXPECT_EQ(GetParam(), g_front.mode);

    pixel_format_descriptor pfd{};
    ASSERT_GT(describe_current_format(g_window.device_context, &pfd), 0);
    EXPECT_TRUE(pfd.dwFlags & PFD_DOUBLEBUFFER);
    EXPECT_EQ(PFD_TYPE_RGBA, pfd.iPixelType);
    EXPECT_EQ(24, pfd.cColorBits);
    // No format has a stencil buffer without a depth buffer.
    EXPECT_EQ(24, pfd.cDepthBits);
    EXPECT_EQ(8, pfd.cStencilBits);

    GLint bits = 0;
    glGetIntegerv(GL_STENCIL_BITS, &bits);
    EXPECT_EQ(8, bits);
    glGetIntegerv(GL_DEPTH_BITS, &bits);
    EXPECT_EQ(24, bits);
    GLboolean doubled = GL_FALSE;
    glGetBooleanv(GL_DOUBLEBUFFER, &doubled);
    EXPECT_EQ(GL_TRUE, doubled);
    GLfloat clear[4] = {1, 1, 1, 0};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ((std::vector<GLfloat>{0, 0, 0, 1}), std::vector<GLfloat>(clear, clear + 4));

    const window_handle window = g_window.window;
    EXPECT_EQ("tkLibWClass.tkLibWClass", xinput::wm_class(window));
    EXPECT_EQ("KORVANE VRML TESSALO", xinput::wm_name(window));
    // Without a window manager there is no frame: the window sits at the
    // outer corner that was asked for, with the client size asked for.
    const xinput::geometry g = xinput::root_geometry(window);
    EXPECT_EQ(300, g.x);
    EXPECT_EQ(10, g.y);
    EXPECT_EQ(400, g.width);
    EXPECT_EQ(400, g.height);
    const xinput::normal_hints hints = xinput::wm_normal_hints(window);
    EXPECT_TRUE(hints.flags & xinput::us_position());
    EXPECT_TRUE(hints.flags & xinput::us_size());
    EXPECT_EQ(300, hints.x);
    EXPECT_EQ(10, hints.y);

    ASSERT_EQ(1, g_front.key_count);
    EXPECT_EQ(KEY_ESCAPE, g_front.keys[0].key);
    EXPECT_EQ(&close_and_exit, g_front.keys[0].handler);
    EXPECT_EQ(&default_reshape, g_window.reshape);
    EXPECT_EQ(&key_dispatcher, g_window.key);
    EXPECT_GE(toolkit_connection_fd(), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, PanelMode, testing::Values(0x62, 66));

TEST_F(GlWindow, WindowCarriesTheIconItWasGiven) {
    // Two 2x1 and 1x1 images, then a truncated third that is left out.
    const std::uint32_t icon[] = {2, 1, 0xFF112233, 0x80445566, 1, 1, 0xFFFFFFFF, 4, 4, 1};
    set_window_icon(icon, sizeof icon / sizeof icon[0]);
    open_panel_window();
    xinput::sync();
    EXPECT_EQ((std::vector<unsigned long>{2, 1, 0xFF112233, 0x80445566, 1, 1, 0xFFFFFFFF}),
              xinput::net_wm_icon(g_window.window));
    // A new icon reaches the open window; none removes it.
    const std::uint32_t other[] = {1, 1, 0xFF00FF00};
    set_window_icon(other, 3);
    xinput::sync();
    EXPECT_EQ((std::vector<unsigned long>{1, 1, 0xFF00FF00}), xinput::net_wm_icon(g_window.window));
    set_window_icon(nullptr, 0);
    xinput::sync();
    EXPECT_TRUE(xinput::net_wm_icon(g_window.window).empty());
}

TEST_F(GlWindow, PlatformPlacesTheWindowWhenAsked) {
    set_display_mode(DM_DOUBLE);
    ASSERT_EQ(1, open_window("default"));
    xinput::geometry g = xinput::root_geometry(g_window.window);
    EXPECT_EQ(100, g.width);
    EXPECT_EQ(100, g.height);
    EXPECT_FALSE(xinput::wm_normal_hints(g_window.window).flags & xinput::us_position());
    destroy_gl_window(g_window.window);

    set_window_geometry(INT32_MIN, 77, 640, 480);
    ASSERT_EQ(1, open_window("placed"));
    g = xinput::root_geometry(g_window.window);
    EXPECT_EQ(640, g.width);
    EXPECT_EQ(480, g.height);
    const xinput::normal_hints hints = xinput::wm_normal_hints(g_window.window);
    EXPECT_FALSE(hints.flags & (xinput::us_position() | xinput::p_position()));
    EXPECT_TRUE(hints.flags & xinput::us_size());
}

namespace {
window_handle g_resize_window = 0;
void idle_resize_then_close() {
    if (idle_gave_up()) return;
    if (g_idle_rounds == 1) {
        // Nothing may reach a handler before the loop's own first reshape.
        EXPECT_EQ(std::vector<std::string>{"reshape 400 400"}, g_log);
        xinput::resize(g_resize_window, 300, 200);
    }
    if (logged("reshape 300 200") && g_window.window) {
        xinput::send_delete_window(g_resize_window);
        g_resize_window = 0;
    }
}
}  // namespace

TEST_F(GlWindow, ReshapesBeforeTheFirstMessageAndOnResize) {
    open_panel_window();
    g_resize_window = g_window.window;
    set_reshape_handler(log_reshape);
    set_idle_handler(idle_resize_then_close);
    run_event_loop(count_paint);
    EXPECT_EQ((std::vector<std::string>{"reshape 400 400", "reshape 300 200"}), g_log);
    EXPECT_EQ(300, g_window.record.width);
    EXPECT_EQ(200, g_window.record.height);
}

namespace {
window_handle g_closing_window = 0;
void idle_close_box() {
    if (idle_gave_up()) return;
    if (g_idle_rounds == 1) xinput::send_delete_window(g_closing_window);
}
void idle_destroy_from_outside() {
    if (idle_gave_up()) return;
    if (g_idle_rounds == 1) xinput::destroy(g_closing_window);
}
}  // namespace

TEST_F(GlWindow, CloseBoxEndsTheLoopAndTheProcessGoesOn) {
    open_panel_window();
    g_closing_window = g_window.window;
    set_idle_handler(idle_close_box);
    run_event_loop(count_paint);
    EXPECT_LT(g_idle_rounds, 200000);
    EXPECT_EQ(0u, g_window.window);
    EXPECT_EQ(nullptr, glXGetCurrentContext());
    EXPECT_EQ(nullptr, g_window.idle);
    EXPECT_EQ(nullptr, g_window.reshape);
    EXPECT_EQ(0u, posted_count(WM_QUIT));
    EXPECT_FALSE(xinput::exists(g_closing_window));
    EXPECT_EQ(1, g_front.key_count);  // bindings outlive the window
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(GlWindow, WindowDestroyedByAnotherClientEndsTheLoop) {
    open_panel_window();
    g_closing_window = g_window.window;
    set_idle_handler(idle_destroy_from_outside);
    run_event_loop(count_paint);
    EXPECT_LT(g_idle_rounds, 200000);
    EXPECT_EQ(0u, g_window.window);
    EXPECT_EQ(nullptr, glXGetCurrentContext());
}

namespace {
// Paints; the paint that the timed request owed closes the window, which
// ends the loop.
void paint_until_the_timed_one() {
    ++g_paints;
    if (redisplay_due_in() == -1) destroy_gl_window(g_window.window);
}
}  // namespace

// Without an idle handler the loop sleeps in the X connection's wait, and a
// timed repaint wakes it when due: one paint, asked for by nothing else.
TEST_F(GlWindow, ATimedRedisplayWakesTheSleepingLoopWhenDue) {
    open_panel_window();
    g_window.display_fn = count_paint;
    settle();
    EXPECT_EQ(-1, redisplay_due_in());
    post_redisplay_after(600000);
    EXPECT_GT(redisplay_due_in(), 1000);
    post_redisplay_after(40);  // replaces the first
    EXPECT_LE(redisplay_due_in(), 40);
    EXPECT_GE(redisplay_due_in(), 0);
    g_paints = 0;
    run_event_loop(paint_until_the_timed_one);
    EXPECT_GE(g_paints, 1);
    EXPECT_EQ(0u, g_window.window);
    EXPECT_EQ(-1, redisplay_due_in());
    EXPECT_FALSE(g_window.repaint_timed) << "closing forgets it";
}

TEST_F(GlWindow, TwoRedrawRequestsGiveOnePaint) {
    open_panel_window();
    g_window.display_fn = count_paint;
    settle();
    g_paints = 0;
    request_redraw(g_window.window);
    request_redraw(g_window.window);
    settle();
    EXPECT_EQ(1, g_paints);
    settle();
    EXPECT_EQ(1, g_paints);
}

TEST_F(GlWindow, KeyPressesAreTranslated) {
    open_panel_window();
    g_window.key = log_key;
    settle();
    const window_handle w = g_window.window;
    struct press {
        const char* keysym;
        int status;
        const char* expected;  // nullptr: nothing reaches the key slot
    };
    const press presses[] = {
        {"Return", 0, "key 13 0"},     {"Escape", 0, "key 27 0"},
        {"space", 0, "key 32 0"},      {"Left", 0, "key 37 0"},
        {"Up", 0, "key 38 0"},         {"Right", 0, "key 39 0"},
        {"Down", 0, "key 40 0"},       {"a", 0, "key 97 0"},
        {"a", STATUS_SHIFT, "key 65 1"}, {"Z", STATUS_SHIFT, "key 90 1"},
        {"7", 0, "key 55 0"},          {"semicolon", 0, nullptr},
        {"F1", 0, nullptr},            {"Tab", 0, nullptr},
        {"z", STATUS_CONTROL, nullptr}, {"Return", STATUS_SHIFT | STATUS_CONTROL, "key 13 3"},
        {"Left", STATUS_CONTROL, "key 37 2"}, {"Home", 0, "key 36 0"},
        {"KP_Add", 0, "key 43 0"},     {"minus", 0, "key 45 0"},
        {"plus", STATUS_SHIFT, "key 43 1"}, {"0", 0, "key 48 0"},
    };
    std::vector<std::string> expected;
    for (const press& p : presses) {
        xinput::send_key(w, p.keysym, p.status);
        if (p.expected) expected.push_back(p.expected);
    }
    ASSERT_TRUE(pump_until([] { return logged("key 48 0"); }));
    EXPECT_EQ(expected, g_log);
}

TEST_F(GlWindow, ButtonsAndMotionAreTranslated) {
    open_panel_window();
    g_window.mouse_down = log_down;
    g_window.mouse_up = log_up;
    g_window.mouse_move = log_move;
    settle();
    const window_handle w = g_window.window;
    xinput::send_button(w, 1, true, 10, 20, 0);
    xinput::send_button(w, 3, true, 11, 21, 1);
    xinput::send_button(w, 2, true, 12, 22, 1 | 4);
    xinput::send_motion(w, 5, 6, 1 | 4);
    xinput::send_motion(w, 7, 8, 2);
    xinput::send_button(w, 1, false, 13, 23, 1 | 2 | 4);
    xinput::send_button(w, 3, false, 14, 24, 2 | 4);
    xinput::send_button(w, 2, false, 15, 25, 2);
    // A wheel notch is a press and a release; only the press counts.
    xinput::send_button(w, 4, true, 1, 1, 0);
    xinput::send_button(w, 4, false, 1, 1, 0);
    xinput::send_button(w, 5, true, 2, 3, 1);
    xinput::send_button(w, 5, false, 2, 3, 1);
    xinput::send_motion(w, -6, -9, 1);  // held past the window's corner
    xinput::send_motion(w, 99, 98, 0);
    ASSERT_TRUE(pump_until([] { return logged("move 99 98 0"); }));
    EXPECT_EQ((std::vector<std::string>{"down 10 20 1", "down 11 21 2", "down 12 22 4",
                                        "move 5 6 3", "move 7 8 4", "up 13 23 1", "up 14 24 2",
                                        "up 15 25 4", "down 1 1 8", "down 2 3 16",
                                        "move -6 -9 1", "move 99 98 0"}),
              g_log);
}

TEST_F(GlWindow, MinimisedWindowReshapesToNothingAndBack) {
    open_panel_window();
    set_reshape_handler(log_reshape);
    settle();
    xinput::unmap(g_window.window);
    ASSERT_TRUE(pump_until([] { return logged("reshape 0 0"); }));
    xinput::map(g_window.window);
    ASSERT_TRUE(pump_until([] { return logged("reshape 400 400"); }));
    EXPECT_EQ((std::vector<std::string>{"reshape 0 0", "reshape 400 400"}), g_log);
}

namespace {
void idle_must_not_run() {
    ADD_FAILURE() << "the loop should have ended at the quit request";
    post_quit_message(0);
}
}  // namespace

TEST_F(GlWindow, NoMatchingFormatDestroysTheWindowAndLeavesOneQuit) {
    for (std::int32_t strategy : {STRATEGY_BY_ENUMERATION, 1}) {
        SCOPED_TRACE(strategy);
        reset();
        g_window.strategy = strategy;  // 1: the fixed format, number 0
        set_display_mode(66);  // no format has a stencil buffer without depth
        EXPECT_EQ(0, open_window("no format"));
        EXPECT_EQ(std::vector<std::string>{"Error|Selecting a pixel format failed\n"}, g_boxes);
        ASSERT_NE(0u, g_window_at_error);
        EXPECT_FALSE(xinput::exists(g_window_at_error));
        EXPECT_EQ(0u, g_window.window);
        EXPECT_EQ(nullptr, glXGetCurrentContext());
        EXPECT_EQ(1u, posted_count(WM_QUIT));
        set_idle_handler(idle_must_not_run);
        run_event_loop(count_paint);
        EXPECT_EQ(0u, posted_count(WM_QUIT));
    }
}

TEST_F(GlWindow, RefusedFormatIsReported) {
    ASSERT_TRUE(open_connection());
    available_formats();
    for (described_format& f : g_window.formats) f.visual = 0x7FFFFFFF;  // no such visual
    set_display_mode(DM_DOUBLE);
    EXPECT_EQ(0, open_window("refused"));
    EXPECT_EQ(std::vector<std::string>{"Error|SetPixelFormat failed\n"}, g_boxes);
    EXPECT_FALSE(xinput::exists(g_window_at_error));
    EXPECT_EQ(1u, posted_count(WM_QUIT));
}

TEST_F(GlWindow, SingleBufferFallsBackToDrawingIntoTheFrontBuffer) {
    // A display that offers only double-buffered formats.
    ASSERT_TRUE(open_connection());
    available_formats();
    std::erase_if(g_window.formats,
                  [](const described_format& f) { return !(f.pfd.dwFlags & PFD_DOUBLEBUFFER); });
    set_display_mode(DM_DEPTH24);
    ASSERT_EQ(1, open_window("fallback"));
    EXPECT_EQ((std::vector<std::string>{
                  "Error|Selecting a pixel format failed\n",
                  "Warning|Can't initialize a single buffer visual. Will use a double buffer "
                  "visual instead, only drawing into the front buffer."}),
              g_boxes);
    EXPECT_EQ(DM_DEPTH24 | DM_DOUBLE, g_front.mode);
    EXPECT_EQ(DM_DEPTH24 | DM_DOUBLE, g_window.mode);
    GLint buffer = 0;
    glGetIntegerv(GL_DRAW_BUFFER, &buffer);
    EXPECT_EQ(GL_FRONT, buffer);
    // The failed first window's quit request must not end the new loop.
    EXPECT_EQ(0u, posted_count(WM_QUIT));
}

TEST_F(GlWindow, FailedFallbackKeepsTheFrontCopy) {
    ASSERT_TRUE(open_connection());
    available_formats();
    g_window.formats.clear();  // nothing at all
    set_display_mode(DM_DEPTH24);
    EXPECT_EQ(0, open_window("nothing"));
    EXPECT_EQ(2u, g_boxes.size());
    EXPECT_EQ(DM_DEPTH24, g_front.mode);
    EXPECT_EQ(DM_DEPTH24 | DM_DOUBLE, g_window.mode);
    EXPECT_EQ(1u, posted_count(WM_QUIT));
}
