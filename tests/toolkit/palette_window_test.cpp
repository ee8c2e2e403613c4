// The GL window on a true-colour X server (Xvfb, 24 bits) with real Mesa
// GLX: no palette is ever made, the palette messages do nothing, and no
// system colour changes, whatever the display mode asks for. The in-memory
// palette display stands in for X colormaps only to show that nothing asks
// for a palette at all.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/front.h"
#include "toolkit/palette.h"
#include "palette_fake.h"
#include "toolkit/window.h"

#include <X11/Xlib.h>  // after GoogleTest: Xlib's macros must not reach its headers

using namespace tessel::toolkit;

namespace {
std::vector<std::string> g_boxes;
}  // namespace

TEST(TrueColourDisplay, NoPaletteIsMadeAndPaletteMessagesChangeNothing) {
    set_message_box_function([](const char* caption, const char* text) {
        g_boxes.push_back(std::string(caption) + "|" + text);
    });
    for (std::int32_t mode : {DM_DOUBLE | DM_DEPTH24 | DM_STENCIL,
                              DM_DOUBLE | DM_DEPTH24 | DM_STENCIL | DM_GRAB_STATIC_COLOURS,
                              DM_DEPTH16 | DM_GRAB_STATIC_COLOURS}) {
        SCOPED_TRACE(mode);
        fake_palette_platform fake;
        use_palette_platform(&fake);
        set_display_mode(mode);
        set_window_geometry(40, 40, 200, 150);
        ASSERT_EQ(1, open_window("palette"));
        EXPECT_EQ(0u, g_window.palette);

        // Activation from the server, then every palette message by hand.
        XSetInputFocus(g_window.display, g_window.window, RevertToParent, CurrentTime);
        XSync(g_window.display, False);
        while (dispatch_pending_events()) {
        }
        const window_handle window = g_window.window;
        EXPECT_EQ(0, window_procedure(window, WM_ACTIVATE, WA_ACTIVE, 0));
        EXPECT_EQ(0, window_procedure(window, WM_ACTIVATE, WA_INACTIVE, 0));
        EXPECT_EQ(0, window_procedure(window, WM_PALETTECHANGED, 0x999, 0));
        EXPECT_EQ(0, window_procedure(window, WM_USER, 0, 0));
        EXPECT_EQ(0, window_procedure(window, WM_SYSCOLORCHANGE, 0, 0));
        EXPECT_EQ(0u, g_window.palette);
        EXPECT_EQ(0u, posted_count(WM_USER) + posted_count(WM_SYSCOLORCHANGE));
        destroy_gl_window(g_window.window);

        EXPECT_TRUE(fake.calls.empty()) << fake.calls.front();
        EXPECT_EQ(0, system_colours().colour_changes());
        EXPECT_EQ(SYSPAL_STATIC, system_colours().palette_use());
        EXPECT_TRUE(g_boxes.empty()) << g_boxes.front();
        use_palette_platform(nullptr);
        clear_posted_messages();
    }
    set_message_box_function(nullptr);
}
