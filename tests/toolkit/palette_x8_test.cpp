// Palettes as X colormaps on a real 8-bit X server (Xvfb with an 8-bit
// PseudoColor screen). Mesa offers no GLX there, so no GL window can be
// made; the palette code runs over a plain window of each 8-bit visual
// class, with the format it would have had described by hand.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/front.h"
#include "toolkit/palette.h"
#include "toolkit/window.h"

#include <X11/Xlib.h>  // after GoogleTest: Xlib's macros must not reach its headers
#include <X11/Xutil.h>

using namespace tessel::toolkit;

namespace {

std::vector<std::string> g_boxes;

// Cells of a colormap as 0xRRGGBB, or nothing when the server refused.
std::vector<unsigned> cells(Colormap colormap, int count) {
    std::vector<XColor> colours(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) colours[i].pixel = static_cast<unsigned long>(i);
    grab_x_errors();
    XQueryColors(g_window.display, colormap, colours.data(), count);
    if (release_x_errors()) return {};
    std::vector<unsigned> out;
    for (const XColor& c : colours)
        out.push_back(unsigned(c.red >> 8) << 16 | unsigned(c.green >> 8) << 8 | unsigned(c.blue >> 8));
    return out;
}

Colormap window_colormap(Window window) {
    XWindowAttributes attributes{};
    XGetWindowAttributes(g_window.display, window, &attributes);
    return attributes.colormap;
}

class EightBitScreen : public testing::TestWithParam<int> {
protected:
    XVisualInfo visual{};
    Window window = 0;

    void SetUp() override {
        ASSERT_TRUE(open_connection());
        ASSERT_EQ(8, DefaultDepth(g_window.display, g_window.screen)) << "not an 8-bit screen";
        reset();
        set_message_box_function([](const char* caption, const char* text) {
            g_boxes.push_back(std::string(caption) + "|" + text);
        });
        ASSERT_TRUE(XMatchVisualInfo(g_window.display, g_window.screen, 8, GetParam(), &visual));
        make_window();
    }
    void TearDown() override {
        if (g_window.window) close_down();
        if (window) XDestroyWindow(g_window.display, window);
        XSync(g_window.display, False);
        set_message_box_function(nullptr);
        reset();
    }
    static void reset() {
        _XDisplay* display = g_window.display;
        const int screen = g_window.screen;
        g_window = window_state{};
        g_window.display = display;
        g_window.screen = screen;
        g_palette = palette_state{};
        system_colours().reset();
        clear_posted_messages();
        g_boxes.clear();
    }
    // A window of the visual with an 8-bit 3-3-2 RGBA format, as window
    // creation would leave it.
    void make_window() {
        Display* display = g_window.display;
        const Window root = RootWindow(display, g_window.screen);
        XSetWindowAttributes attributes{};
        attributes.colormap = XCreateColormap(display, root, visual.visual, AllocNone);
        window = XCreateWindow(display, root, 0, 0, 64, 64, 0, visual.depth, InputOutput,
                               visual.visual, CWColormap | CWBorderPixel, &attributes);
        XMapWindow(display, window);
        XSync(display, False);
        g_window.window = g_window.device_context = window;
        g_window.colormap = attributes.colormap;
        g_window.window_visual = visual.visualid;
        described_format f;
        f.pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_NEED_PALETTE;
        f.pfd.iPixelType = PFD_TYPE_RGBA;
        f.pfd.cColorBits = 8;
        f.pfd.cRedBits = f.pfd.cGreenBits = 3;
        f.pfd.cGreenShift = 3;
        f.pfd.cBlueBits = 2;
        f.pfd.cBlueShift = 6;
        f.visual = visual.visualid;
        g_window.formats = {f};
        g_window.formats_described = true;
        g_window.format_number = 1;
        g_window.mode = DM_DOUBLE;
    }
};

}  // namespace

TEST_P(EightBitScreen, PaletteBecomesTheWindowsFilledColormap) {
    const palette_handle palette = create_palette(window);
    ASSERT_NE(0u, palette);
    EXPECT_EQ(palette, window_colormap(window));
    Window* listed = nullptr;
    int count = 0;
    ASSERT_TRUE(XGetWMColormapWindows(g_window.display, window, &listed, &count));
    ASSERT_EQ(1, count);
    EXPECT_EQ(window, listed[0]);
    XFree(listed);

    const std::vector<unsigned> stored = cells(palette, 256);
    ASSERT_EQ(256u, stored.size());
    if (visual.c_class == PseudoColor) {  // GrayScale cells hold intensities only
        // The screen's default colours sit on their matched cells; every
        // other cell holds the colour its pixel value stands for.
        const std::vector<unsigned> defaults =
            cells(DefaultColormap(g_window.display, g_window.screen), 20);
        ASSERT_EQ(20u, defaults.size());
        std::vector<bool> matched(256, false);
        for (int k = 0; k < 20; ++k) {
            matched.at(g_palette.matched_index[k]) = true;
            EXPECT_EQ(defaults[k], stored[g_palette.matched_index[k]]) << "default " << k;
        }
        for (int i = 0; i < 256; ++i) {
            const unsigned expected = unsigned(component_value(i, 3, 0)) << 16 |
                                      unsigned(component_value(i, 3, 3)) << 8 |
                                      component_value(i, 2, 6);
            if (!matched[i]) {
                EXPECT_EQ(expected, stored[i]) << "cell " << i;
            }
        }
    }
    close_down();
    EXPECT_TRUE(cells(palette, 1).empty()) << "the colormap was freed";
}

TEST_P(EightBitScreen, TakeoverAndGivingBackRoundTrip) {
    g_window.mode = DM_DOUBLE | DM_GRAB_STATIC_COLOURS;
    ASSERT_NE(0u, create_palette(window));
    EXPECT_TRUE(static_colours_taken());
    EXPECT_EQ(TAKEOVER_BLACK, system_colours().colour(1));

    // Deactivation gives the colours back; the rebuild it brings keeps them
    // given back and makes the new palette the window's colormap.
    window_procedure(window, WM_ACTIVATE, WA_INACTIVE, 0);
    message m;
    for (int i = 0; i < 10 && next_message(&m, false); ++i) dispatch_message(m);
    EXPECT_FALSE(static_colours_taken());
    const palette_handle rebuilt = g_window.palette;
    EXPECT_EQ(rebuilt, window_colormap(window));

    // The close-down puts the screen's default colormap back where the
    // window's visual allows it.
    close_down();
    const Colormap now = window_colormap(window);
    if (visual.visualid == XVisualIDFromVisual(DefaultVisual(g_window.display, g_window.screen))) {
        EXPECT_EQ(DefaultColormap(g_window.display, g_window.screen), now);
    }
    EXPECT_NE(rebuilt, now);
    EXPECT_TRUE(cells(rebuilt, 1).empty());
    EXPECT_TRUE(g_boxes.empty()) << g_boxes.front();
}

// Visuals whose cells the server fixes cannot hold a palette.
class ReadOnlyVisual : public EightBitScreen {};

TEST_P(ReadOnlyVisual, GetsNoPalette) {
    EXPECT_EQ(0u, create_palette(window));
    EXPECT_EQ(g_window.colormap, window_colormap(window));
}

std::string visual_name(const testing::TestParamInfo<int>& info) {
    const char* names[] = {"StaticGray", "GrayScale", "StaticColor", "PseudoColor", "TrueColor"};
    return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(Visuals, EightBitScreen, testing::Values(PseudoColor, GrayScale),
                         visual_name);
INSTANTIATE_TEST_SUITE_P(Visuals, ReadOnlyVisual, testing::Values(StaticColor, TrueColor),
                         visual_name);

TEST(EightBitGlWindow, WithoutGlxTheWindowFailsCleanly) {
    g_boxes.clear();
    set_message_box_function([](const char* caption, const char* text) {
        g_boxes.push_back(std::string(caption) + "|" + text);
    });
    set_display_mode(DM_DOUBLE | DM_DEPTH24 | DM_STENCIL);
    set_window_geometry(10, 10, 100, 100);
    EXPECT_EQ(0, open_window("palette"));
    EXPECT_EQ(std::vector<std::string>{"Error|Selecting a pixel format failed\n"}, g_boxes);
    EXPECT_EQ(0, system_colours().colour_changes());
    set_message_box_function(nullptr);
    clear_posted_messages();
}
