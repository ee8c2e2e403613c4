// The window procedure, the front layer's dispatchers and its event loop,
// fed synthetic messages: no display needed.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "toolkit/front.h"
#include "toolkit/window.h"

using namespace tessel::toolkit;

namespace {

constexpr window_handle FAKE_WINDOW = 0x1234;

std::vector<std::string> g_log;  // what the handlers saw, in order

std::string entry(const char* what, int a, int b) {
    return std::string(what) + " " + std::to_string(a) + " " + std::to_string(b);
}
std::string entry(const char* what, int a, int b, int c) {
    return entry(what, a, b) + " " + std::to_string(c);
}

std::int32_t log_key(std::int32_t key, std::int32_t status) {
    g_log.push_back(entry("key", key, status));
    return 0;
}
std::int32_t log_down(std::int32_t x, std::int32_t y, std::int32_t s) {
    g_log.push_back(entry("down", x, y, s));
    return 0;
}
std::int32_t log_up(std::int32_t x, std::int32_t y, std::int32_t s) {
    g_log.push_back(entry("up", x, y, s));
    return 1;
}
std::int32_t log_move(std::int32_t x, std::int32_t y, std::int32_t s) {
    g_log.push_back(entry("move", x, y, s));
    return 0;
}
void log_reshape(std::int32_t w, std::int32_t h) { g_log.push_back(entry("reshape", w, h)); }
void log_display() { g_log.push_back("display"); }

class WindowProcedure : public testing::Test {
protected:
    void SetUp() override {
        g_window = window_state{};
        g_front = front_state{};
        clear_posted_messages();
        g_log.clear();
        g_window.window = FAKE_WINDOW;
        g_window.key = log_key;
        g_window.mouse_down = log_down;
        g_window.mouse_up = log_up;
        g_window.mouse_move = log_move;
        g_window.display_fn = log_display;
    }
    void TearDown() override {
        g_window = window_state{};
        clear_posted_messages();
    }
    static std::intptr_t send(std::uint32_t code, std::uintptr_t wparam = 0, std::intptr_t lparam = 0) {
        return window_procedure(FAKE_WINDOW, code, wparam, lparam);
    }
};

}  // namespace

TEST_F(WindowProcedure, KeyDownPassesOnlyTheEightSpecialKeys) {
    const std::pair<std::uintptr_t, int> cases[] = {
        {VK_RETURN, 13}, {VK_ESCAPE, 27}, {VK_SPACE, 32}, {VK_HOME, 36}, {VK_LEFT, 37}, {VK_UP, 38},
        {VK_RIGHT, 39},  {VK_DOWN, 40},   {'A', 0},       {'5', 0},     {9, 0},
        {112, 0},        {16, 0},         {0, 0},
    };
    for (auto [virtual_key, code] : cases) {
        g_log.clear();
        send(WM_KEYDOWN, virtual_key);
        if (code)
            EXPECT_EQ(std::vector<std::string>{entry("key", code, 0)}, g_log) << virtual_key;
        else
            EXPECT_TRUE(g_log.empty()) << virtual_key;
    }
}

TEST_F(WindowProcedure, CharactersPassOnlyDigitsLettersAndTheZoomKeys) {
    const std::pair<std::uintptr_t, bool> cases[] = {
        {'0', true},  {'9', true},  {'A', true},  {'Z', true},  {'a', true},   {'z', true},
        {'/', false}, {':', false}, {'@', false}, {'[', false}, {'`', false},  {'{', false},
        {' ', false}, {'\r', false}, {27, false}, {0xE9, false}, {';', false},
        {'+', true},  {'-', true},  {'=', true},  {'*', false}, {',', false}, {'$', false},
    };
    for (auto [c, accepted] : cases) {
        g_log.clear();
        send(WM_CHAR, c);
        if (accepted)
            EXPECT_EQ(std::vector<std::string>{entry("key", static_cast<int>(c), 0)}, g_log) << c;
        else
            EXPECT_TRUE(g_log.empty()) << c;
    }
}

TEST_F(WindowProcedure, KeyStatusComesFromTheMessage) {
    for (std::int32_t status : {0, STATUS_SHIFT, STATUS_CONTROL, STATUS_SHIFT | STATUS_CONTROL}) {
        g_log.clear();
        dispatch_message(message{FAKE_WINDOW, WM_CHAR, 'q', 0, status});
        EXPECT_EQ(std::vector<std::string>{entry("key", 'q', status)}, g_log);
    }
}

TEST_F(WindowProcedure, ButtonsGiveTheirCodes) {
    const std::pair<std::uint32_t, const char*> cases[] = {
        {WM_LBUTTONDOWN, "down 10 20 1"}, {WM_RBUTTONDOWN, "down 10 20 2"},
        {WM_MBUTTONDOWN, "down 10 20 4"}, {WM_LBUTTONUP, "up 10 20 1"},
        {WM_RBUTTONUP, "up 10 20 2"},     {WM_MBUTTONUP, "up 10 20 4"},
    };
    for (auto [code, expected] : cases) {
        g_log.clear();
        send(code, MK_LBUTTON | MK_RBUTTON, make_lparam(10, 20));
        EXPECT_EQ(std::vector<std::string>{expected}, g_log);
    }
}

TEST_F(WindowProcedure, MoveReportsHeldButtonsAndSignedPositions) {
    send(WM_MOUSEMOVE, MK_LBUTTON | MK_MBUTTON, make_lparam(7, 300));
    send(WM_MOUSEMOVE, MK_RBUTTON, make_lparam(0, 0));
    // A drag held on past the window's left and top edges.
    send(WM_MOUSEMOVE, MK_LBUTTON, make_lparam(-3, -40));
    send(WM_LBUTTONUP, 0, make_lparam(-1, 32767));
    EXPECT_EQ((std::vector<std::string>{"move 7 300 5", "move 0 0 2", "move -3 -40 1", "up -1 32767 1"}),
              g_log);
}

TEST_F(WindowProcedure, EachWheelNotchIsOnePressOfItsWheelButton) {
    const auto turn = [](int delta) { return static_cast<std::uintptr_t>(delta & 0xFFFF) << 16; };
    send(WM_MOUSEWHEEL, turn(WHEEL_DELTA) | MK_LBUTTON, make_lparam(5, 6));
    send(WM_MOUSEWHEEL, turn(-2 * WHEEL_DELTA), make_lparam(-7, 8));
    send(WM_MOUSEWHEEL, turn(WHEEL_DELTA / 2), make_lparam(1, 1));  // less than a notch
    EXPECT_EQ((std::vector<std::string>{"down 5 6 8", "down -7 8 16", "down -7 8 16"}), g_log);
}

TEST_F(WindowProcedure, EmptySlotsAreSkipped) {
    g_window.key = nullptr;
    g_window.mouse_down = nullptr;
    g_window.display_fn = nullptr;
    send(WM_KEYDOWN, VK_RETURN);
    send(WM_LBUTTONDOWN, MK_LBUTTON, make_lparam(1, 1));
    send(WM_PAINT);
    send(WM_SIZE, 0, make_lparam(5, 6));
    EXPECT_TRUE(g_log.empty());
    EXPECT_EQ(5, g_window.record.width);
    EXPECT_FALSE(g_window.paint_pending);
}

TEST_F(WindowProcedure, SizeAndMoveKeepTheRecord) {
    send(WM_MOVE, 0, make_lparam(304, 32));
    EXPECT_EQ(304, g_window.record.x);
    EXPECT_EQ(32, g_window.record.y);
    g_window.reshape = log_reshape;
    send(WM_SIZE, 0, make_lparam(640, 480));
    send(WM_SIZE, 0, make_lparam(0, 0));  // minimised
    EXPECT_EQ((std::vector<std::string>{"reshape 640 480", "reshape 0 0"}), g_log);
    EXPECT_EQ(0, g_window.record.width);
    EXPECT_TRUE(g_window.paint_pending);
}

TEST_F(WindowProcedure, RedrawRequestsNeverQueueTwoPaints) {
    request_redraw(FAKE_WINDOW);
    request_redraw(FAKE_WINDOW);
    message m;
    ASSERT_TRUE(next_message(&m, true));
    EXPECT_EQ(WM_PAINT, m.code);
    dispatch_message(m);
    EXPECT_FALSE(next_message(&m, true));
    EXPECT_EQ(std::vector<std::string>{"display"}, g_log);
}

TEST_F(WindowProcedure, DestroyClearsEverythingAndPostsOneQuit) {
    g_window.reshape = log_reshape;
    g_window.idle = log_display;
    g_window.record = window_record{10, 20, 30, 40, false};
    EXPECT_EQ(0, send(WM_DESTROY));
    EXPECT_EQ(0u, g_window.window);
    EXPECT_EQ(nullptr, g_window.key);
    EXPECT_EQ(nullptr, g_window.mouse_down);
    EXPECT_EQ(nullptr, g_window.mouse_up);
    EXPECT_EQ(nullptr, g_window.mouse_move);
    EXPECT_EQ(nullptr, g_window.reshape);
    EXPECT_EQ(nullptr, g_window.display_fn);
    EXPECT_EQ(nullptr, g_window.idle);
    EXPECT_EQ(30, g_window.record.width);  // the record survives
    EXPECT_EQ(1u, posted_count(WM_QUIT));
    message m;
    ASSERT_TRUE(next_message(&m, true));
    EXPECT_EQ(WM_QUIT, m.code);
    EXPECT_EQ(1u, m.wparam);
}

TEST_F(WindowProcedure, PaletteMessagesDoNothingWithoutAPalette) {
    EXPECT_EQ(1, send(WM_QUERYNEWPALETTE));
    EXPECT_EQ(0, send(WM_ACTIVATE, WA_ACTIVE));
    EXPECT_EQ(0, send(WM_ACTIVATE, WA_INACTIVE));
    EXPECT_EQ(0, send(WM_PALETTECHANGED, 0x999));
    EXPECT_EQ(0, send(WM_USER));
    EXPECT_EQ(0, send(WM_SYSCOLORCHANGE));
    EXPECT_FALSE(g_window.paint_pending);
    EXPECT_TRUE(g_log.empty());
}

TEST_F(WindowProcedure, DescribingWithoutAFormatIsReported) {
    std::vector<std::string> boxes;
    static std::vector<std::string>* sink;
    sink = &boxes;
    set_message_box_function([](const char* caption, const char* text) {
        sink->push_back(std::string(caption) + "|" + text);
    });
    pixel_format_descriptor pfd{};
    EXPECT_EQ(0, describe_current_format(0xABC, &pfd));
    set_message_box_function(nullptr);
    EXPECT_EQ(std::vector<std::string>{"Error|Could not get pixel format for Dc 0x00000ABC\n"}, boxes);
}

// --- front layer ---

namespace {
void first() { g_log.push_back("first"); }
void second() { g_log.push_back("second"); }
void other() { g_log.push_back("other"); }
void log_mouse(mouse_event_record* r) {
    g_log.push_back(entry("mouse", r->event, r->x, r->y) + " " + std::to_string(r->status));
}
}  // namespace

TEST_F(WindowProcedure, KeyDispatcherRunsEveryBindingOfTheKey) {
    bind_key('a', first);
    bind_key('b', other);
    bind_key('a', second);
    EXPECT_EQ(1, key_dispatcher('a', STATUS_CONTROL));
    EXPECT_EQ((std::vector<std::string>{"first", "second"}), g_log);
    g_log.clear();
    EXPECT_EQ(0, key_dispatcher('c', 0));
    EXPECT_TRUE(g_log.empty());
}

TEST_F(WindowProcedure, KeyTableIgnoresBindingsBeyondItsCapacity) {
    for (int i = 0; i < 205; ++i) bind_key(1000 + i, first);
    EXPECT_EQ(200, g_front.key_count);
    EXPECT_EQ(1, key_dispatcher(1199, 0));
    EXPECT_EQ(0, key_dispatcher(1200, 0));
}

TEST_F(WindowProcedure, OnlyABoundKeyAsksForARedraw) {
    g_window.key = key_dispatcher;
    send(WM_KEYDOWN, VK_SPACE);
    EXPECT_FALSE(g_window.paint_pending);
    bind_key(KEY_SPACE, first);
    send(WM_KEYDOWN, VK_SPACE);
    EXPECT_TRUE(g_window.paint_pending);
    EXPECT_EQ(std::vector<std::string>{"first"}, g_log);
}

TEST_F(WindowProcedure, MouseDispatchersMatchEachButtonOfTheStatus) {
    EXPECT_EQ(0, mouse_down_dispatcher(1, 2, BUTTON_LEFT));
    EXPECT_EQ(0, mouse_up_dispatcher(1, 2, BUTTON_LEFT));
    EXPECT_EQ(0, mouse_move_dispatcher(1, 2, BUTTON_LEFT));
    ASSERT_TRUE(bind_mouse(g_front.mouse_move, BUTTON_RIGHT, log_mouse));
    ASSERT_TRUE(bind_mouse(g_front.mouse_move, BUTTON_LEFT, log_mouse));
    ASSERT_TRUE(bind_mouse(g_front.mouse_down, BUTTON_MIDDLE, log_mouse));
    EXPECT_EQ(1, mouse_move_dispatcher(3, 4, BUTTON_LEFT | BUTTON_RIGHT));
    EXPECT_EQ(1, mouse_down_dispatcher(5, 6, BUTTON_MIDDLE));
    EXPECT_EQ(0, mouse_up_dispatcher(5, 6, BUTTON_MIDDLE));
    EXPECT_EQ((std::vector<std::string>{"mouse 64 3 4 2", "mouse 64 3 4 1", "mouse 16 5 6 4"}), g_log);
    for (int i = 0; i < 25; ++i) bind_mouse(g_front.mouse_up, BUTTON_LEFT, log_mouse);
    EXPECT_EQ(20, g_front.mouse_up.count);
}

TEST_F(WindowProcedure, MouseBindingsReachTheirTableThroughTheFrontLayer) {
    EXPECT_TRUE(bind_mouse_event(EVENT_MOUSE_DOWN, BUTTON_WHEEL_DOWN, log_mouse));
    EXPECT_TRUE(bind_mouse_event(EVENT_MOUSE_UP, BUTTON_MIDDLE, log_mouse));
    EXPECT_TRUE(bind_mouse_event(EVENT_MOUSE_MOVE, BUTTON_LEFT, log_mouse));
    EXPECT_FALSE(bind_mouse_event(0, BUTTON_LEFT, log_mouse));
    EXPECT_FALSE(bind_mouse_event(EVENT_MOUSE_DOWN | EVENT_MOUSE_UP, BUTTON_LEFT, log_mouse));
    g_window.mouse_down = mouse_down_dispatcher;
    g_window.mouse_up = mouse_up_dispatcher;
    g_window.mouse_move = mouse_move_dispatcher;
    send(WM_MOUSEWHEEL, static_cast<std::uintptr_t>(-WHEEL_DELTA & 0xFFFF) << 16, make_lparam(1, 2));
    send(WM_MOUSEWHEEL, static_cast<std::uintptr_t>(WHEEL_DELTA) << 16, make_lparam(1, 2));
    send(WM_MBUTTONUP, 0, make_lparam(3, 4));
    send(WM_MOUSEMOVE, MK_LBUTTON, make_lparam(5, 6));
    EXPECT_EQ((std::vector<std::string>{"mouse 16 1 2 16", "mouse 32 3 4 4", "mouse 64 5 6 1"}), g_log);
    EXPECT_TRUE(g_window.paint_pending);
}

TEST_F(WindowProcedure, HandlersSeeTheKeyboardOfTheirMessage) {
    static std::vector<std::int32_t> seen;
    seen.clear();
    g_window.mouse_down = [](std::int32_t, std::int32_t, std::int32_t) {
        seen.push_back(current_key_status());
        return 0;
    };
    for (std::int32_t status : {STATUS_SHIFT, 0, STATUS_SHIFT | STATUS_CONTROL})
        dispatch_message(message{FAKE_WINDOW, WM_LBUTTONDOWN, 0, make_lparam(1, 1), status});
    EXPECT_EQ((std::vector<std::int32_t>{STATUS_SHIFT, 0, STATUS_SHIFT | STATUS_CONTROL}), seen);
}

TEST(WindowGeometry, PositionNamesTheOuterCornerAndSizeTheClientArea) {
    g_window = window_state{};
    EXPECT_TRUE(g_window.record.use_default_position);
    EXPECT_EQ(100, g_window.record.width);
    EXPECT_EQ(100, g_window.record.height);

    set_window_geometry(300, 10, 400, 400);
    EXPECT_FALSE(g_window.record.use_default_position);
    EXPECT_EQ(300 + 4, g_window.record.x);
    EXPECT_EQ(10 + 4 - 1 + 19, g_window.record.y);
    EXPECT_EQ(400, g_window.record.width);
    EXPECT_EQ(400, g_window.record.height);
    EXPECT_EQ(300, outer_left(g_window.record.x));
    EXPECT_EQ(10, outer_top(g_window.record.y));

    set_window_geometry(INT32_MIN, 555, 640, 480);
    EXPECT_TRUE(g_window.record.use_default_position);
    EXPECT_EQ(4, g_window.record.x);
    EXPECT_EQ(22, g_window.record.y);
    EXPECT_EQ(640, g_window.record.width);
    EXPECT_EQ(480, g_window.record.height);
    g_window = window_state{};
}

// --- event loop without a display: the posted queue and the pump ---

namespace {

int g_idle_calls = 0;
int g_pump_work = 0;  // how many pump calls still find work
std::vector<bool> g_pump_calls;

void idle_three_times_then_quit() {
    g_log.push_back("idle");
    if (++g_idle_calls == 3) post_quit_message(0);
}

bool counting_pump(bool may_block) {
    g_pump_calls.push_back(may_block);
    if (may_block) {
        post_quit_message(0);  // what arrives while blocked ends the loop
        return true;
    }
    if (g_pump_work > 0) {
        --g_pump_work;
        g_log.push_back("pump");
        return true;
    }
    return false;
}

void idle_clears_itself() {
    g_log.push_back("idle");
    set_idle_handler(nullptr);
}

}  // namespace

class EventLoop : public WindowProcedure {
protected:
    void SetUp() override {
        WindowProcedure::SetUp();
        g_window.window = 0;  // nothing to paint into
        g_idle_calls = 0;
        g_pump_work = 0;
        g_pump_calls.clear();
    }
    void TearDown() override {
        set_event_pump(nullptr);
        WindowProcedure::TearDown();
    }
};

TEST_F(EventLoop, ReshapesOnceWithTheClientSizeBeforeTheFirstMessage) {
    g_window.reshape = log_reshape;
    g_window.record.width = 321;
    g_window.record.height = 123;
    post_quit_message(0);
    run_event_loop(log_display);
    EXPECT_EQ(std::vector<std::string>{"reshape 321 123"}, g_log);
    EXPECT_EQ(0u, posted_count(WM_QUIT));

    g_log.clear();
    g_window.reshape = nullptr;
    post_quit_message(0);
    run_event_loop(log_display);
    EXPECT_TRUE(g_log.empty());
}

TEST_F(EventLoop, IdleRunsWhenNothingWaits) {
    set_idle_handler(idle_three_times_then_quit);
    run_event_loop(log_display);
    EXPECT_EQ(3, g_idle_calls);
}

TEST_F(EventLoop, IdleWaitsForThePumpToRunDry) {
    g_pump_work = 2;
    set_event_pump(counting_pump);
    set_idle_handler(idle_three_times_then_quit);
    run_event_loop(log_display);
    EXPECT_EQ((std::vector<std::string>{"pump", "pump", "idle", "idle", "idle"}), g_log);
    for (bool may_block : g_pump_calls) EXPECT_FALSE(may_block);
}

TEST_F(EventLoop, WithoutIdleTheLoopBlocksInThePump) {
    g_pump_work = 1;
    set_event_pump(counting_pump);
    set_idle_handler(idle_clears_itself);
    run_event_loop(log_display);
    EXPECT_EQ((std::vector<std::string>{"pump", "idle"}), g_log);
    ASSERT_FALSE(g_pump_calls.empty());
    EXPECT_TRUE(g_pump_calls.back());
    EXPECT_EQ(1, std::count(g_pump_calls.begin(), g_pump_calls.end(), true));
}

TEST_F(EventLoop, NothingToWaitForReturnsInsteadOfHanging) {
    // No connection, no pump, no idle handler: nothing could ever arrive.
    // Run in a child with an alarm, so that a hang fails in seconds and says
    // so, instead of waiting for the suite's timeout.
    EXPECT_EXIT(
        {
            alarm(10);
            run_event_loop(log_display);
            std::exit(0);
        },
        testing::ExitedWithCode(0), "")
        << "run_event_loop did not return (killed by the alarm)";
}

TEST_F(EventLoop, PendingDispatchLeavesTheQuitRequestForTheLoop) {
    g_window.window = FAKE_WINDOW;
    post_quit_message(1);
    post_message(FAKE_WINDOW, WM_SIZE, 0, make_lparam(9, 8));
    request_redraw(FAKE_WINDOW);
    EXPECT_TRUE(dispatch_pending_events());
    EXPECT_EQ(9, g_window.record.width);
    EXPECT_EQ(std::vector<std::string>{"display"}, g_log);
    EXPECT_EQ(1u, posted_count(WM_QUIT));
    EXPECT_FALSE(dispatch_pending_events());
}
