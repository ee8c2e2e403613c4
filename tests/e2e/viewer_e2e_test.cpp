#include <cstdio>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>

#include "desktop.h"

namespace {

using namespace std::chrono_literals;
using e2e::rgb;

const std::string kGlTitle = "KORVANE VRML TESSALO";
const std::string kPanelTitle = "tessel";

std::string data_file(const char* name) { return std::string(TESSEL_SOURCE_DIR "/tests/e2e/data/") + name; }

bool red(const rgb& p) { return p.r > 150 && p.g < 60 && p.b < 60; }
bool green(const rgb& p) { return p.g > 150 && p.r < 60 && p.b < 60; }
bool blue(const rgb& p) { return p.b > 150 && p.r < 60 && p.g < 60; }
// Filled parts of progress bars (and of sliders) in the panel's style.
bool highlight(const rgb& p) { return p.b > 120 && p.b > p.r + 60; }

// A scratch folder, removed with everything in it when the test ends.
struct scratch_folder {
    std::string path;
    scratch_folder() {
        char pattern[] = "/tmp/tessel-e2e-scratch-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~scratch_folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

// What the GL window shows for a file under a view (snapshot options), drawn
// by the viewer's own snapshot mode at the window's size.
e2e::image expected_picture(const std::string& file, const std::string& view) {
    scratch_folder folder;
    const std::string png = folder.path + "/view.png";
    const std::string command =
        std::string(TESSEL_EXE) + " --snapshot '" + png + "' --size 400x400 " + view + " '" + file + "'";
    if (std::system(command.c_str()) != 0) ADD_FAILURE() << "failed: " << command;
    return e2e::load_image(png);
}

class Viewer : public ::testing::Test {
protected:
    e2e::desktop screen;

    e2e::image gl_picture(unsigned long gl) { return screen.screenshot().crop(screen.window_rect(gl)); }

    // Waits until the GL window shows exactly the expected picture.
    ::testing::AssertionResult shows_picture(unsigned long gl, const e2e::image& expected) {
        int differences = 0;
        if (e2e::eventually([&] { return (differences = gl_picture(gl).differences(expected)) == 0; }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << differences << " pixels differ";
    }

    // Waits for the GL window and returns it.
    unsigned long gl_window() {
        const unsigned long window = screen.wait_for_window(kGlTitle);
        EXPECT_NE(window, 0u) << "no GL window";
        return window;
    }

    unsigned long panel_window() {
        const unsigned long window = screen.wait_for_window(kPanelTitle);
        EXPECT_NE(window, 0u) << "no panel";
        return window;
    }

    // Ctrl+O in the panel; the Open dialog's window once it has the
    // keyboard focus (keys typed earlier would reach the panel), or 0.
    unsigned long open_dialog(unsigned long panel) {
        EXPECT_TRUE(screen.focus(panel));
        e2e::xdotool("key ctrl+o");
        const unsigned long dialog = screen.wait_for_window("Ouvrir");
        if (dialog == 0 || !screen.wait_for_focus(dialog)) return 0;
        return dialog;
    }

    // Sends keys to the panel and waits until its picture changes: proof
    // that the viewer's loop has run past everything before them. A check
    // that something did not happen waits for this first, so that it does
    // not pass merely because the viewer has not got round to it yet.
    bool panel_answers(unsigned long panel, const std::string& keys) {
        const e2e::rect area = screen.window_rect(panel);
        const e2e::image before = screen.screenshot();
        if (!screen.focus(panel)) return false;
        e2e::xdotool("key " + keys);
        return e2e::eventually([&] { return !screen.screenshot().same_in(before, area); });
    }

    // A few ticks of the panel's 100 ms timer are due, and the panel has
    // answered keys sent after that: its loop, which runs the ticks, has
    // gone past them.
    bool ticks_have_run(unsigned long panel, const std::string& keys) {
        std::this_thread::sleep_for(500ms);
        return panel_answers(panel, keys);
    }

    int pixels_in(unsigned long window, bool (*test)(const rgb&)) {
        return screen.screenshot().count(screen.window_rect(window), test);
    }

    // Waits until the window shows at least `least` pixels of a colour.
    bool shows(unsigned long window, bool (*test)(const rgb&), int least = 2000) {
        return e2e::eventually([&] { return pixels_in(window, test) >= least; });
    }

    // Rows of the panel holding a filled stretch wider than half the panel:
    // only full progress bars make such rows (a slider is filled at most to
    // its middle here). The two bars touch, so they are told apart by height.
    int full_bar_rows(unsigned long panel) {
        const e2e::image shot = screen.screenshot();
        const e2e::rect area = screen.window_rect(panel);
        int rows = 0;
        for (int y = area.y; y < area.y + area.height; ++y) {
            int run = 0, longest = 0;
            for (int x = area.x; x < area.x + area.width; ++x) {
                run = highlight(shot.at(x, y)) ? run + 1 : 0;
                longest = std::max(longest, run);
            }
            if (longest > area.width / 2) ++rows;
        }
        return rows;
    }

    // Both bars at 100: each is about 12 dialog units high, the panel about
    // 275 of them with its menu; the bound lies between one bar and two.
    bool both_bars_full(unsigned long panel) {
        const int rows = full_bar_rows(panel);
        const int panel_height = screen.window_rect(panel).height;
        return rows > panel_height * 18 / 275;
    }

    // The viewer's loop has run past every key sent to the panel before:
    // the "&Vue" menu asked for after them opens (one more window on the
    // screen, beside the GL window) and closes again. The view stays as it
    // is, whatever the panel looked like before.
    bool panel_took_keys(unsigned long panel) {
        const int windows = screen.viewable_windows();
        if (!screen.focus(panel)) return false;
        e2e::xdotool("key alt+v");
        if (!e2e::eventually([&] { return screen.viewable_windows() > windows; })) return false;
        e2e::xdotool("key Escape");
        return e2e::eventually([&] { return screen.viewable_windows() == windows; });
    }

    // The picture changes by itself, three times in a row.
    ::testing::AssertionResult keeps_changing(unsigned long gl) {
        e2e::image last = gl_picture(gl);
        for (int change = 0; change < 3; ++change) {
            const bool changed = e2e::eventually([&] {
                e2e::image now = gl_picture(gl);
                if (now.differences(last) == 0) return false;
                last = std::move(now);
                return true;
            });
            if (!changed) return ::testing::AssertionFailure() << "no change " << change + 1 << " of 3";
        }
        return ::testing::AssertionSuccess();
    }

    // After a pause sent to the panel: the picture stays what it was, looked
    // at twice, each time once the viewer's loop has had a few frames' time
    // and has run past a key sent to the panel after that.
    ::testing::AssertionResult stands_still(unsigned long gl, unsigned long panel) {
        const auto frames_pass = [&] {
            std::this_thread::sleep_for(500ms);
            return panel_took_keys(panel);
        };
        // The pause is in force once the panel has gone past it, and a frame
        // asked for just before it is on screen a few frames later.
        if (!panel_took_keys(panel) || !frames_pass())
            return ::testing::AssertionFailure() << "the panel did not answer";
        const e2e::image paused = gl_picture(gl);
        for (int look = 1; look <= 2; ++look) {
            if (!frames_pass()) return ::testing::AssertionFailure() << "the panel did not answer";
            const int differences = gl_picture(gl).differences(paused);
            if (differences != 0)
                return ::testing::AssertionFailure() << differences << " pixels moved by look " << look;
        }
        return ::testing::AssertionSuccess();
    }

    void quit(e2e::viewer& viewer, unsigned long panel) {
        EXPECT_TRUE(screen.focus(panel));
        e2e::xdotool("key ctrl+q");
        EXPECT_EQ(viewer.wait_exit(), 0) << viewer.log();
    }
};

TEST_F(Viewer, StartsWithAFileShowingItsColours) {
    e2e::viewer viewer({data_file("two_colours.wrl")});
    const unsigned long gl = gl_window();
    const unsigned long panel = panel_window();
    ASSERT_NE(gl, 0u);
    EXPECT_TRUE(shows(gl, red));
    EXPECT_TRUE(shows(gl, green));
    EXPECT_EQ(pixels_in(gl, blue), 0);
    EXPECT_TRUE(both_bars_full(panel));
    const e2e::rect area = screen.window_rect(gl);
    EXPECT_EQ(area.width, 400);
    EXPECT_EQ(area.height, 400);
    // The GL window wears the viewer's icon in its three sizes.
    std::string icon;
    if (FILE* p = popen(("xprop -id " + std::to_string(gl) + " _NET_WM_ICON").c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;) icon.append(buffer, n);
        pclose(p);
    }
    for (const char* size : {"Icon (16 x 16)", "Icon (32 x 32)", "Icon (48 x 48)"})
        EXPECT_NE(icon.find(size), std::string::npos) << size;
    screen.screenshot(std::string(TESSEL_BINARY_DIR) + "/tests/e2e/panel-and-gl-window.png");
    quit(viewer, panel);
}

TEST_F(Viewer, OpensAVrml2FileInItsSkyColour) {
    e2e::viewer viewer({data_file("vrml2_box_on_blue.wrl")});
    const unsigned long gl = gl_window();
    ASSERT_NE(gl, 0u);
    EXPECT_TRUE(shows(gl, red)) << viewer.log();
    // The sky fills what the box leaves of the 400 x 400 window.
    EXPECT_TRUE(shows(gl, blue, 40000)) << viewer.log();
    quit(viewer, panel_window());
}

TEST_F(Viewer, MovingTheXRotationSliderTurnsThePicture) {
    // The classic reading's fixed view: the triangles' size on screen is
    // known.
    e2e::viewer viewer({"--classic", data_file("two_colours.wrl")});
    const unsigned long gl = gl_window();
    const unsigned long panel = panel_window();
    ASSERT_TRUE(shows(gl, red, 10000));
    const int before = pixels_in(gl, red);

    // The focus starts on "X-Translate"; "X-Rotation" is four tab stops on.
    ASSERT_TRUE(screen.focus(panel));
    e2e::xdotool("key Tab Tab Tab Tab Prior");
    // Turned by 72 degrees about x, the triangles shrink in height and their
    // lit colour darkens, so far fewer pure red pixels remain.
    EXPECT_TRUE(e2e::eventually([&] { return pixels_in(gl, red) < before / 2; }))
        << before << " -> " << pixels_in(gl, red);
    quit(viewer, panel);
}

TEST_F(Viewer, ClosingTheGlWindowKeepsThePanelAndOpensNoOther) {
    e2e::viewer viewer({data_file("two_colours.wrl")});
    const unsigned long gl = gl_window();
    const unsigned long panel = panel_window();
    ASSERT_TRUE(shows(gl, red));
    screen.request_close(gl);
    ASSERT_TRUE(e2e::eventually([&] { return !screen.window_exists(gl); }));

    // Ticks later: still running, still one panel, no new GL window; the
    // panel still answers (its sliders move) and its Quit works.
    ASSERT_TRUE(ticks_have_run(panel, "Tab Tab Tab Tab End"));
    EXPECT_TRUE(viewer.running());
    EXPECT_TRUE(screen.windows_titled(kGlTitle).empty());
    EXPECT_TRUE(screen.window_exists(panel));
    ASSERT_TRUE(ticks_have_run(panel, "Home"));
    EXPECT_TRUE(viewer.running());
    EXPECT_TRUE(screen.windows_titled(kGlTitle).empty());
    quit(viewer, panel);
}

TEST_F(Viewer, QuitEndsWithCodeZero) {
    e2e::viewer viewer;
    gl_window();
    quit(viewer, panel_window());
}

TEST_F(Viewer, ClosingThePanelEndsWithCodeZero) {
    e2e::viewer viewer({data_file("two_colours.wrl")});
    ASSERT_NE(gl_window(), 0u);
    screen.request_close(panel_window());
    EXPECT_EQ(viewer.wait_exit(), 0) << viewer.log();
}

TEST_F(Viewer, EscapeInTheGlWindowEndsWithCodeZero) {
    e2e::viewer viewer({data_file("two_colours.wrl")});
    const unsigned long gl = gl_window();
    ASSERT_TRUE(shows(gl, red));
    ASSERT_TRUE(screen.focus(gl));
    e2e::xdotool("key Escape");
    EXPECT_EQ(viewer.wait_exit(), 0) << viewer.log();
}

TEST_F(Viewer, EscapeInThePanelAfterTheGlWindowClosedEndsWithCodeZero) {
    e2e::viewer viewer;
    const unsigned long gl = gl_window();
    const unsigned long panel = panel_window();
    screen.request_close(gl);
    ASSERT_TRUE(e2e::eventually([&] { return !screen.window_exists(gl); }));
    ASSERT_TRUE(screen.focus(panel));
    e2e::xdotool("key Escape");
    EXPECT_EQ(viewer.wait_exit(), 0) << viewer.log();
}

TEST_F(Viewer, OpeningAFileThroughTheDialogDrawsIt) {
    e2e::viewer viewer;
    const unsigned long gl = gl_window();
    const unsigned long panel = panel_window();
    EXPECT_EQ(full_bar_rows(panel), 0);
    ASSERT_NE(open_dialog(panel), 0u);
    e2e::xdotool("type --delay 20 '" + data_file("blue_square.wrl") + "'");
    e2e::xdotool("key Return");
    EXPECT_TRUE(shows(gl, blue, 10000));
    EXPECT_TRUE(e2e::eventually([&] { return both_bars_full(panel); }));
    quit(viewer, panel);
}

TEST_F(Viewer, AFileThatCannotBeReadIsReportedAndTheSceneStays) {
    e2e::viewer viewer({data_file("two_colours.wrl")});
    const unsigned long gl = gl_window();
    const unsigned long panel = panel_window();
    ASSERT_TRUE(shows(gl, green));
    ASSERT_NE(open_dialog(panel), 0u);
    e2e::xdotool("type --delay 20 '" + data_file("no-such-scene.wrl") + "'");
    e2e::xdotool("key Return");
    // The error box carries the viewer's name, as the panel does.
    ASSERT_TRUE(e2e::eventually([&] { return screen.windows_titled(kPanelTitle).size() == 2; }));
    EXPECT_TRUE(viewer.running());
    // The scene stays. Where the file dialog covered the GL window, the
    // window draws again once it is exposed, so wait for the picture.
    EXPECT_TRUE(shows(gl, red));
    EXPECT_TRUE(shows(gl, green));
    unsigned long box = 0;
    for (const unsigned long w : screen.windows_titled(kPanelTitle))
        if (w != panel) box = w;
    ASSERT_TRUE(screen.wait_for_focus(box));
    e2e::xdotool("key Return");
    EXPECT_TRUE(e2e::eventually([&] { return screen.windows_titled(kPanelTitle).size() == 1; }));
    EXPECT_TRUE(shows(gl, green));
    quit(viewer, panel);
}

TEST_F(Viewer, TheGlWindowIsServedWhileTheOpenDialogIsUp) {
    e2e::viewer viewer({data_file("two_colours.wrl")});
    const unsigned long gl = gl_window();
    const unsigned long panel = panel_window();
    ASSERT_TRUE(shows(gl, red));
    const unsigned long dialog = open_dialog(panel);
    ASSERT_NE(dialog, 0u);
    // Only the dialog's own loop runs now. The hand in the GL window is
    // ignored while it is up, and its close box is still heard (after the
    // wheel and the drag, which come first on the same connection).
    const e2e::rect area = screen.window_rect(gl);
    const std::string centre = std::to_string(area.x + 200) + " " + std::to_string(area.y + 200);
    e2e::xdotool("windowmove --sync " + std::to_string(dialog) + " " + std::to_string(area.x + area.width + 10) + " " +
                 std::to_string(area.y + area.height + 10));  // off the GL window
    e2e::xdotool("mousemove " + centre + " click 4 click 4 mousedown 1 mousemove_relative 30 30 mouseup 1");
    screen.request_close(gl);
    EXPECT_TRUE(e2e::eventually([&] { return !screen.window_exists(gl); }));
    ASSERT_TRUE(screen.focus(dialog));
    e2e::xdotool("key Escape");
    ASSERT_TRUE(e2e::eventually([&] { return screen.windows_titled("Ouvrir").empty(); }));
    ASSERT_TRUE(ticks_have_run(panel, "Tab Tab Tab Tab End"));
    EXPECT_TRUE(viewer.running());
    EXPECT_TRUE(screen.windows_titled(kGlTitle).empty());
    // The keys above left the focus four tab stops past X-Translate; the
    // Scale Attenuation field is the first one past it.
    ASSERT_TRUE(screen.focus(panel));
    e2e::xdotool("key shift+Tab shift+Tab shift+Tab ctrl+a ctrl+c");
    EXPECT_TRUE(e2e::eventually([] { return e2e::clipboard_text() == "1"; })) << e2e::clipboard_text();
    quit(viewer, panel);
}

TEST_F(Viewer, EscapeInTheGlWindowWhileTheOpenDialogIsUpEndsWithCodeZero) {
    e2e::viewer viewer({data_file("two_colours.wrl")});
    const unsigned long gl = gl_window();
    const unsigned long panel = panel_window();
    ASSERT_TRUE(shows(gl, red));
    ASSERT_NE(open_dialog(panel), 0u);
    ASSERT_TRUE(screen.focus(gl));
    e2e::xdotool("key Escape");
    EXPECT_EQ(viewer.wait_exit(), 0) << viewer.log();
}

TEST_F(Viewer, TheHandTurnsZoomsAndMovesThroughThePanelsValues) {
    const std::string file = data_file("two_colours.wrl");
    const e2e::image zoomed = expected_picture(file, "--scale 1.1,1.1,1.1");
    const e2e::image turned = expected_picture(file, "--rotate 18,36,0");
    const e2e::image turned_on = expected_picture(file, "--rotate 21.6,36,0");
    const e2e::image moved = expected_picture(file, "--translate 20,10,0");
    const e2e::image moved_on = expected_picture(file, "--translate 40,10,0");

    e2e::viewer viewer({file});
    const unsigned long gl = gl_window();
    const unsigned long panel = panel_window();
    ASSERT_TRUE(shows(gl, red, 10000));
    const e2e::image rest = gl_picture(gl);
    const e2e::rect area = screen.window_rect(gl);
    ASSERT_EQ(area.width, 400);
    const auto at = [&](int dx, int dy) {
        return std::to_string(area.x + 200 + dx) + " " + std::to_string(area.y + 200 + dy) + " ";
    };
    const auto home = [&] {
        screen.focus(gl);
        e2e::xdotool("key Home");
        return shows_picture(gl, rest);
    };

    // One wheel notch: a tenth larger, in the picture and in the Scale
    // Attenuation field (one tab stop after the focused X-Translate).
    e2e::xdotool("mousemove " + at(0, 0) + "click 4");
    EXPECT_TRUE(shows_picture(gl, zoomed));
    EXPECT_GT(pixels_in(gl, red), rest.count({0, 0, 400, 400}, red));
    screen.focus(panel);
    e2e::xdotool("key Tab ctrl+a ctrl+c");
    EXPECT_TRUE(e2e::eventually([] { return e2e::clipboard_text() == "1.1"; })) << e2e::clipboard_text();
    EXPECT_TRUE(home());

    // 40 pixels right and 20 down in the 400-pixel window: 10 steps of the
    // Y-Rotation slider, 5 of X-Rotation. X-Rotation, three tab stops on
    // from the field, goes on from there.
    e2e::xdotool("mousemove " + at(0, 0) + "mousedown 1 mousemove " + at(40, 20) + "mouseup 1");
    EXPECT_TRUE(shows_picture(gl, turned));
    screen.focus(panel);
    e2e::xdotool("key Tab Tab Tab Right");
    EXPECT_TRUE(shows_picture(gl, turned_on));
    EXPECT_TRUE(home());

    // Middle drag and Shift drag move the scene with the pointer: 2 scene
    // units per pixel of the 800-unit view.
    e2e::xdotool("mousemove " + at(0, 0) + "mousedown 2 mousemove " + at(10, -5) + "mouseup 2");
    EXPECT_TRUE(shows_picture(gl, moved));
    e2e::xdotool("keydown shift mousemove " + at(0, 0) + "mousedown 1 mousemove " + at(10, 0) +
                 "mouseup 1 keyup shift");
    EXPECT_TRUE(shows_picture(gl, moved_on));
    EXPECT_TRUE(home());
    quit(viewer, panel);
}

TEST_F(Viewer, TheRecentFilesSurviveARestart) {
    scratch_folder settings;
    {
        e2e::viewer first({data_file("two_colours.wrl")}, settings.path);
        const unsigned long gl = gl_window();
        ASSERT_TRUE(shows(gl, red));
        quit(first, panel_window());
    }
    e2e::viewer second({}, settings.path);
    const unsigned long gl = gl_window();
    const unsigned long panel = panel_window();
    EXPECT_EQ(pixels_in(gl, red), 0);
    screen.focus(panel);
    const int windows = screen.viewable_windows();
    e2e::xdotool("key alt+f");
    // The open menu is one more window on the screen.
    ASSERT_TRUE(e2e::eventually([&] { return screen.viewable_windows() > windows; }));
    e2e::xdotool("key 1");
    EXPECT_TRUE(shows(gl, red));
    EXPECT_TRUE(shows(gl, green));
    quit(second, panel);
}

// The file's green triangle is named, so both readings draw it; its red cube
// is a primitive that only the standard reading draws, and its unknown node
// is a warning there.
TEST_F(Viewer, TheStandardReadingDrawsPrimitivesAndListsWarningsBesideAFreePanel) {
    e2e::viewer viewer({data_file("cube_and_triangle.wrl")});
    const unsigned long gl = gl_window();
    const unsigned long panel = panel_window();
    ASSERT_TRUE(shows(gl, green));
    ASSERT_TRUE(shows(gl, red));
    ASSERT_TRUE(screen.focus(panel));
    e2e::xdotool("key alt+f a");
    const unsigned long list = screen.wait_for_window("Avertissements (1)");
    ASSERT_NE(list, 0u) << viewer.log();
    // The list does not hold the panel up: its sliders still turn the scene.
    const e2e::rect view = screen.window_rect(gl);
    const e2e::image before = screen.screenshot();
    ASSERT_TRUE(panel_answers(panel, "Tab Tab Tab Tab Prior"));
    EXPECT_TRUE(e2e::eventually([&] { return !screen.screenshot().same_in(before, view); }));
    EXPECT_TRUE(screen.window_exists(list));
    // It opens where it hides neither the panel nor the scene.
    const auto apart = [](const e2e::rect& a, const e2e::rect& b) {
        return a.x + a.width <= b.x || b.x + b.width <= a.x || a.y + a.height <= b.y || b.y + b.height <= a.y;
    };
    EXPECT_TRUE(apart(screen.window_rect(list), view));
    EXPECT_TRUE(apart(screen.window_rect(list), screen.window_rect(panel)));
    quit(viewer, panel);
}

TEST_F(Viewer, TheClassicReadingComesFromTheFlagForOneRunOrFromTheMenuForGood) {
    const tessel::test::temp_folder config("tessel-e2e-config");
    const std::string file = data_file("cube_and_triangle.wrl");
    // Each run: the green triangle proves the scene is on screen; then
    // whether the red cube is there says which reading drew it.
    const auto run = [&](const std::vector<std::string>& arguments, bool standard, const char* keys) {
        e2e::viewer viewer(arguments, config.path());
        const unsigned long gl = gl_window();
        const unsigned long panel = panel_window();
        ASSERT_TRUE(shows(gl, green)) << viewer.log();
        if (standard) {
            EXPECT_TRUE(shows(gl, red));
        } else {
            EXPECT_EQ(pixels_in(gl, red), 0);
        }
        if (keys) {
            ASSERT_TRUE(screen.focus(panel));
            e2e::xdotool(std::string("key ") + keys);
            EXPECT_TRUE(e2e::eventually([&] { return pixels_in(gl, red) == 0; })) << "the file read again";
            EXPECT_TRUE(shows(gl, green));
        }
        quit(viewer, panel);
        ASSERT_TRUE(e2e::eventually([&] { return screen.windows_titled(kGlTitle).empty(); }));
    };
    run({"--classic", file}, false, nullptr);
    run({file}, true, "alt+f l");  // the flag was not stored; the menu item is
    run({file}, false, nullptr);
}

// A red box before a blue sky that turns about a slanted axis and slides to
// and fro, on a TimeSensor that loops every 2 s.
constexpr const char* kTurningBox =
    "#VRML V2.0 utf8\n"
    "Background { skyColor 0 0 1 }\n"
    "DEF Mover Transform { children Shape {\n"
    "  appearance Appearance { material Material { diffuseColor 1 0 0 } } geometry Box { size 2 2 2 } } }\n"
    "DEF Clock TimeSensor { cycleInterval 2 loop TRUE }\n"
    "DEF Turn OrientationInterpolator { key [0 0.5 1] keyValue [1 1 0 0, 1 1 0 3.14159, 1 1 0 6.28318] }\n"
    "DEF Slide PositionInterpolator { key [0 0.5 1] keyValue [-0.5 0 0, 0.5 0 0, -0.5 0 0] }\n"
    "ROUTE Clock.fraction_changed TO Turn.set_fraction\n"
    "ROUTE Clock.fraction_changed TO Slide.set_fraction\n"
    "ROUTE Turn.value_changed TO Mover.set_rotation\n"
    "ROUTE Slide.value_changed TO Mover.set_translation\n";

TEST_F(Viewer, AWorldThatMovesPlaysByItselfPausesOnSpaceAndRestarts) {
    scratch_folder dir;
    const std::string scene = dir.path + "/turning.wrl";
    std::ofstream(scene) << kTurningBox;
    e2e::viewer viewer({scene});
    const unsigned long gl = gl_window();
    const unsigned long panel = panel_window();
    ASSERT_NE(gl, 0u);
    ASSERT_TRUE(shows(gl, blue, 40000)) << viewer.log();
    EXPECT_TRUE(keeps_changing(gl)) << "plays as soon as it is loaded";
    screen.screenshot(std::string(TESSEL_BINARY_DIR) + "/tests/e2e/animation-playing.png");

    // Space in the panel pauses; Space in the GL window plays on.
    ASSERT_TRUE(screen.focus(panel));
    e2e::xdotool("key space");
    EXPECT_TRUE(stands_still(gl, panel));
    ASSERT_TRUE(screen.focus(gl));
    e2e::xdotool("key space");
    EXPECT_TRUE(keeps_changing(gl)) << "plays again";

    // Paused once more, "Recommencer" plays from the start.
    ASSERT_TRUE(screen.focus(panel));
    e2e::xdotool("key space");
    EXPECT_TRUE(stands_still(gl, panel));
    e2e::xdotool("key alt+a r");
    EXPECT_TRUE(keeps_changing(gl)) << "plays from the start";
    quit(viewer, panel);
}

// --frame-stats: a line per frame drawn, still for a still scene, moving
// while a world plays.
TEST_F(Viewer, FrameStatsSayEachFrameAndWhetherItMoved) {
    const auto lines = [](const std::string& log, std::vector<std::string>& frames) {
        std::istringstream in(log);
        for (std::string line; std::getline(in, line);)
            if (line.rfind("frame ", 0) == 0) frames.push_back(line);
    };
    const std::regex format("frame [0-9]+\\.[0-9]{2} (moving|still)");
    scratch_folder dir;
    const std::string turning = dir.path + "/turning.wrl";
    std::ofstream(turning) << kTurningBox;
    for (const std::string& scene : {data_file("two_colours.wrl"), turning}) {
        const bool moves = scene == turning;
        e2e::viewer viewer({"--frame-stats", scene});
        const unsigned long gl = gl_window();
        const unsigned long panel = panel_window();
        ASSERT_NE(gl, 0u);
        std::vector<std::string> frames;
        ASSERT_TRUE(e2e::eventually([&] {
            frames.clear();
            lines(viewer.log(), frames);
            return moves ? std::count_if(frames.begin(), frames.end(),
                                         [](const std::string& f) { return f.ends_with(" moving"); }) >= 3
                         : frames.size() >= 2;
        })) << viewer.log();
        for (const std::string& f : frames) {
            EXPECT_TRUE(std::regex_match(f, format)) << f;
            if (!moves) {
                EXPECT_TRUE(f.ends_with(" still")) << f;
            }
        }
        quit(viewer, panel);
    }
}

// A scene heavy enough for a stand-in (an elevation grid of 320,000
// triangles): frames that the hand's turning asks for draw the stand-in,
// and once the hand stops the window shows the full picture by itself, the
// same as a snapshot at that view, in a last frame that says still.
TEST_F(Viewer, AHeavySceneTurnsAsItsStandInAndSettlesInFull) {
    scratch_folder dir;
    const std::string scene = dir.path + "/heavy.wrl";
    {
        std::ofstream out(scene);
        out << "#VRML V2.0 utf8\n"
               "Shape { appearance Appearance { material Material { diffuseColor 0.9 0.6 0.2 } }\n"
               "  geometry ElevationGrid { xDimension 401 zDimension 401 xSpacing 0.01 zSpacing 0.01\n"
               "    creaseAngle 1 solid FALSE height [\n";
        for (int z = 0; z <= 400; ++z) {
            for (int x = 0; x <= 400; ++x) out << 0.2 * std::sin(x * 0.05) * std::cos(z * 0.07) << ' ';
            out << '\n';
        }
        out << "] } }\n";
    }
    const e2e::image turned = expected_picture(scene, "--rotate 18,36,0");
    e2e::viewer viewer({"--frame-stats", scene});
    const unsigned long gl = gl_window();
    const unsigned long panel = panel_window();
    ASSERT_NE(gl, 0u);
    const e2e::rect area = screen.window_rect(gl);
    const auto at = [&](int dx, int dy) {
        return std::to_string(area.x + 200 + dx) + " " + std::to_string(area.y + 200 + dy) + " ";
    };
    // The window ignores the hand while the load runs beside the panel: a
    // drag there and not back would leave the view turned.
    ASSERT_TRUE(e2e::eventually([&] { return both_bars_full(panel); }));
    const auto frames = [&] {
        std::vector<std::string> lines;
        std::istringstream in(viewer.log());
        for (std::string line; std::getline(in, line);)
            if (line.rfind("frame ", 0) == 0) lines.push_back(line);
        return lines;
    };
    // Turned there and back (40 pixels: 10 steps of Y-Rotation, 5 of
    // X-Rotation) until the stand-in, made in the background after the
    // load, is drawn.
    ASSERT_TRUE(e2e::eventually([&] {
        e2e::xdotool("mousemove " + at(0, 0) + "mousedown 1 mousemove " + at(40, 20) + "mouseup 1");
        e2e::xdotool("mousemove " + at(40, 20) + "mousedown 1 mousemove " + at(0, 0) + "mouseup 1");
        const std::vector<std::string> lines = frames();
        return std::any_of(lines.begin(), lines.end(), [](const std::string& f) { return f.ends_with(" moving stand-in"); });
    }, 60s)) << viewer.log();
    // The grid reduced to the stand-in's budget of 200,000 triangles at most.
    std::smatch made;
    const std::string log = viewer.log();
    ASSERT_TRUE(std::regex_search(log, made, std::regex("stand-in ([0-9]+) of 320000 triangles in 1 shapes"))) << log;
    EXPECT_LE(std::stoi(made[1]), 200000);
    EXPECT_GE(std::stoi(made[1]), 100000);

    // The last turn, in steps; then nothing more.
    const std::size_t before = frames().size();
    e2e::xdotool("mousemove " + at(0, 0) + "mousedown 1 mousemove " + at(10, 5) + "mousemove " + at(20, 10) +
                 "mousemove " + at(30, 15) + "mousemove " + at(40, 20) + "mouseup 1");
    EXPECT_TRUE(shows_picture(gl, turned)) << viewer.log();
    std::vector<std::string> lines;
    EXPECT_TRUE(e2e::eventually([&] {
        lines = frames();
        return lines.size() > before && lines.back().ends_with(" still");
    })) << viewer.log();
    EXPECT_TRUE(std::any_of(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end(),
                            [](const std::string& f) { return f.ends_with(" moving stand-in"); }))
        << viewer.log();
    quit(viewer, panel);
}

}  // namespace

// Textures that name a folder and a FIFO: the boxes are drawn in their
// material, the viewer goes on answering, and the next file opens as usual.
TEST_F(Viewer, TexturesNamingAFolderOrAFifoLeaveTheViewerWorking) {
    scratch_folder dir;
    ASSERT_EQ(mkfifo((dir.path + "/pipe.png").c_str(), 0600), 0);
    const std::string scene = dir.path + "/hostile.wrl";
    std::ofstream(scene) << "#VRML V2.0 utf8\n"
                            "Transform { translation -1.5 0 0 children Shape { appearance Appearance {\n"
                            "  material Material { diffuseColor 1 0 0 } texture ImageTexture { url \".\" } }\n"
                            "  geometry Box { } } }\n"
                            "Transform { translation 1.5 0 0 children Shape { appearance Appearance {\n"
                            "  material Material { diffuseColor 1 0 0 } texture ImageTexture { url \"pipe.png\" } }\n"
                            "  geometry Box { } } }\n";
    e2e::viewer viewer({scene});
    const unsigned long gl = gl_window();
    const unsigned long panel = panel_window();
    ASSERT_NE(gl, 0u);
    EXPECT_TRUE(shows(gl, red)) << viewer.log();
    EXPECT_TRUE(viewer.running()) << viewer.log();
    ASSERT_NE(open_dialog(panel), 0u);
    e2e::xdotool("type --delay 20 '" + data_file("blue_square.wrl") + "'");
    e2e::xdotool("key Return");
    EXPECT_TRUE(shows(gl, blue, 10000)) << viewer.log();
    quit(viewer, panel);
}

// A scene that would cover the picture thousands of times over is drawn in
// part, and a box beside the panel says so, once, while the panel goes on.
TEST_F(Viewer, ASceneTooHeavyToDrawSaysSoBesideAFreePanel) {
    scratch_folder dir;
    const std::string scene = dir.path + "/heavy.wrl";
    std::ofstream(scene) << "#VRML V2.0 utf8\n"
                            "DEF T0 Shape { appearance Appearance { material Material { diffuseColor 1 0 0 } }\n"
                            "  geometry IndexedFaceSet { solid FALSE coord Coordinate { point [-1 -1 0, 1 -1 0, 0 1 0] }\n"
                            "  coordIndex [0 1 2] } }\n"
                            "DEF T1 Group { children [ USE T0 USE T0 USE T0 USE T0 USE T0 USE T0 USE T0 USE T0 USE T0 USE T0 ] }\n"
                            "DEF T2 Group { children [ USE T1 USE T1 USE T1 USE T1 USE T1 USE T1 USE T1 USE T1 USE T1 USE T1 ] }\n"
                            "DEF T3 Group { children [ USE T2 USE T2 USE T2 USE T2 USE T2 USE T2 USE T2 USE T2 USE T2 USE T2 ] }\n"
                            "DEF T4 Group { children [ USE T3 USE T3 USE T3 USE T3 USE T3 USE T3 USE T3 USE T3 USE T3 USE T3 ] }\n";
    e2e::viewer viewer({scene});
    const unsigned long gl = gl_window();
    const unsigned long panel = panel_window();
    ASSERT_NE(gl, 0u);
    EXPECT_TRUE(shows(gl, red)) << viewer.log();
    ASSERT_TRUE(e2e::eventually([&] { return screen.windows_titled(kPanelTitle).size() == 2; })) << viewer.log();
    // The panel still turns the scene while the box is up.
    const e2e::rect view = screen.window_rect(gl);
    const e2e::image before = screen.screenshot();
    ASSERT_TRUE(panel_answers(panel, "Tab Tab Tab Tab Prior"));
    EXPECT_TRUE(e2e::eventually([&] { return !screen.screenshot().same_in(before, view); }));
    EXPECT_EQ(screen.windows_titled(kPanelTitle).size(), 2u) << "told more than once";
    quit(viewer, panel);
}

// The file's viewpoints: --viewpoint picks the first one shown, and Page
// Down and Page Up in the GL window step through the list, round its ends.
// A world made to be walked: the arrow keys walk the viewer up to the wall
// ahead, which then fills the window, and no further (through it, the
// window would show the grey behind the world).
TEST_F(Viewer, AWalkerIsStoppedByAWall) {
    e2e::viewer viewer({data_file("walk.wrl")});
    const unsigned long gl = gl_window();
    ASSERT_TRUE(shows(gl, red, 200));
    const int far = pixels_in(gl, red);
    EXPECT_LT(far, 400 * 400 * 3 / 4);
    ASSERT_TRUE(screen.focus(gl));
    e2e::xdotool("key --delay 20 " + [] {
        std::string keys;
        for (int i = 0; i < 40; ++i) keys += "Up ";  // 20 units asked, 8 to the wall
        return keys;
    }());
    EXPECT_TRUE(shows(gl, red, 400 * 400 * 99 / 100)) << far << " -> " << pixels_in(gl, red);
    screen.request_close(panel_window());
    EXPECT_EQ(viewer.wait_exit(), 0) << viewer.log();
}

TEST_F(Viewer, ViewpointsAreShownFromTheCommandLineAndStepped) {
    // Devant sees the blue wall behind the red square; the side and top
    // views see only the wall's edge.
    e2e::viewer viewer({"--viewpoint", "Side", data_file("viewpoints.wrl")});
    const unsigned long gl = gl_window();
    ASSERT_TRUE(shows(gl, red, 200));
    EXPECT_EQ(pixels_in(gl, blue), 0);
    ASSERT_TRUE(screen.focus(gl));
    e2e::xdotool("key Next Next");  // the top view, then round to Devant
    EXPECT_TRUE(shows(gl, blue));
    e2e::xdotool("key Prior");  // back to the top view
    EXPECT_TRUE(e2e::eventually([&] { return pixels_in(gl, blue) == 0 && pixels_in(gl, red) > 200; }));
    screen.request_close(panel_window());
    EXPECT_EQ(viewer.wait_exit(), 0) << viewer.log();
}
