// The GL window on a true-colour X server (Xvfb, 24 bits) with real Mesa
// GLX: no palette is ever made, the palette messages do nothing, and no
// system colour changes, whatever the display mode asks for.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/front.h"
#include "toolkit/palette.h"
#include "toolkit/window.h"

#include <X11/Xlib.h>  // after GoogleTest: Xlib's macros must not reach its headers

using namespace tessel::toolkit;

namespace {

// Passes every call on to the real platform, counting them.
class counting_platform final : public palette_platform {
public:
    explicit counting_platform(palette_platform& inner) : inner_(inner) {}
    int calls = 0;

    palette_handle default_palette() override { return ++calls, inner_.default_palette(); }
    int read_entries(palette_handle p, int first, int count, palette_entry* out) override {
        return ++calls, inner_.read_entries(p, first, count, out);
    }
    palette_handle make_palette(const palette_entry* entries, int count) override {
        return ++calls, inner_.make_palette(entries, count);
    }
    palette_handle select(window_handle dc, palette_handle p, bool background) override {
        return ++calls, inner_.select(dc, p, background);
    }
    int realise(window_handle dc) override { return ++calls, inner_.realise(dc); }
    bool unrealise(palette_handle p) override { return ++calls, inner_.unrealise(p); }
    void destroy(palette_handle p) override {
        ++calls;
        inner_.destroy(p);
    }

private:
    palette_platform& inner_;
};

std::vector<std::string> g_boxes;

void reset() {
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

void settle() {
    XSync(g_window.display, False);
    while (dispatch_pending_events()) {
    }
}

}  // namespace

TEST(TrueColourDisplay, NoPaletteIsMadeAndPaletteMessagesChangeNothing) {
    set_message_box_function([](const char* caption, const char* text) {
        g_boxes.push_back(std::string(caption) + "|" + text);
    });
    for (std::int32_t mode : {DM_DOUBLE | DM_DEPTH24 | DM_STENCIL,
                              DM_DOUBLE | DM_DEPTH24 | DM_STENCIL | DM_GRAB_STATIC_COLOURS,
                              DM_DEPTH16 | DM_GRAB_STATIC_COLOURS}) {
        SCOPED_TRACE(mode);
        reset();
        counting_platform counting(current_palette_platform());
        use_palette_platform(&counting);

        set_display_mode(mode);
        set_window_geometry(40, 40, 200, 150);
        ASSERT_EQ(1, open_window("palette"));
        EXPECT_EQ(0u, g_window.palette);
        pixel_format_descriptor pfd{};
        ASSERT_GT(describe_current_format(g_window.device_context, &pfd), 0);
        EXPECT_FALSE(pfd.dwFlags & PFD_NEED_PALETTE);

        // Real activation from the server, then every palette message by hand.
        XSetInputFocus(g_window.display, g_window.window, RevertToParent, CurrentTime);
        settle();
        const window_handle window = g_window.window;
        EXPECT_EQ(0, window_procedure(window, WM_ACTIVATE, WA_ACTIVE, 0));
        EXPECT_EQ(0, window_procedure(window, WM_ACTIVATE, WA_INACTIVE, 0));
        EXPECT_EQ(0, window_procedure(window, WM_PALETTECHANGED, 0x999, 0));
        EXPECT_EQ(0, window_procedure(window, WM_USER, 0, 0));
        EXPECT_EQ(0, window_procedure(window, WM_SYSCOLORCHANGE, 0, 0));
        EXPECT_EQ(1, window_procedure(window, WM_QUERYNEWPALETTE, 0, 0));
        settle();

        EXPECT_EQ(0u, g_window.palette);
        EXPECT_EQ(0u, posted_count(WM_USER));
        EXPECT_EQ(0u, posted_count(WM_SYSCOLORCHANGE));
        destroy_gl_window(g_window.window);
        EXPECT_EQ(0, counting.calls);
        EXPECT_EQ(0, system_colours().colour_changes());
        EXPECT_EQ(SYSPAL_STATIC, system_colours().palette_use());
        EXPECT_FALSE(static_colours_taken());
        EXPECT_TRUE(g_boxes.empty()) << g_boxes.front();
        use_palette_platform(nullptr);
    }
    set_message_box_function(nullptr);
    reset();
}
