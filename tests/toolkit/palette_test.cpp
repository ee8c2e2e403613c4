// Palettes on an 8-bit display, through the in-memory palette display and
// the window procedure: no X server needed.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "toolkit/palette.h"
#include "palette_fake.h"
#include "toolkit/window.h"

using namespace tessel::toolkit;

namespace {

constexpr window_handle FAKE_WINDOW = 0x4321;
constexpr std::int32_t GRAB = DM_DOUBLE | DM_GRAB_STATIC_COLOURS;

pixel_format_descriptor rgba_format(int r, int rs, int g, int gs, int b, int bs,
                                    std::uint32_t flags = PFD_NEED_PALETTE) {
    pixel_format_descriptor pfd{};
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | flags;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = static_cast<std::uint8_t>(r + g + b);
    pfd.cRedBits = static_cast<std::uint8_t>(r);
    pfd.cRedShift = static_cast<std::uint8_t>(rs);
    pfd.cGreenBits = static_cast<std::uint8_t>(g);
    pfd.cGreenShift = static_cast<std::uint8_t>(gs);
    pfd.cBlueBits = static_cast<std::uint8_t>(b);
    pfd.cBlueShift = static_cast<std::uint8_t>(bs);
    return pfd;
}

pixel_format_descriptor format_332(std::uint32_t flags = PFD_NEED_PALETTE) {
    return rgba_format(3, 0, 3, 3, 2, 6, flags);
}

std::array<colour_value, SYSTEM_COLOUR_ELEMENTS> current_colours() {
    std::array<colour_value, SYSTEM_COLOUR_ELEMENTS> out{};
    for (int i = 0; i < SYSTEM_COLOUR_ELEMENTS; ++i) out[i] = system_colours().colour(i);
    return out;
}

class Palette : public testing::Test {
protected:
    fake_palette_platform fake;
    std::array<colour_value, SYSTEM_COLOUR_ELEMENTS> start = current_colours();

    void SetUp() override {
        reset();
        fake = fake_palette_platform{};
        use_palette_platform(&fake);
        g_window.window = g_window.device_context = FAKE_WINDOW;
        g_window.formats_described = true;  // the list use_format sets is the display's
    }
    void TearDown() override {
        use_palette_platform(nullptr);
        set_message_box_function(nullptr);
        reset();
    }
    static void reset() {
        g_window = window_state{};
        g_palette = palette_state{};
        system_colours().reset();
        clear_posted_messages();
    }
    // Makes the palette as setting the format does.
    palette_handle make(const pixel_format_descriptor& pfd, std::int32_t mode = DM_DOUBLE) {
        described_format f;
        f.pfd = pfd;
        g_window.formats = {f};
        g_window.format_number = 1;
        g_window.mode = mode;
        g_window.palette = create_palette(FAKE_WINDOW);
        return g_window.palette;
    }
    const std::vector<palette_entry>& entries() { return fake.palettes.at(g_window.palette); }
    static std::intptr_t send(std::uint32_t code, std::uintptr_t wparam = 0) {
        return window_procedure(FAKE_WINDOW, code, wparam, 0);
    }
    // Hands queued messages to the window procedure, at most limit of them.
    static void dispatch_queued(int limit = 20) {
        message m;
        for (int n = 0; n < limit && next_message(&m, false); ++n) dispatch_message(m);
    }
};

}  // namespace

TEST(PaletteComponents, TablesAndWiderComponents) {
    struct row {
        int index, width, shift, value;
    };
    const row rows[] = {
        {1, 1, 0, 255},    {2, 1, 0, 0},      {1, 2, 0, 116},  {2, 2, 0, 191},
        {0xC0, 2, 6, 255}, {1, 3, 0, 63},     {9, 3, 0, 63},   {0b101000, 3, 3, 200},
        {0x30, 3, 3, 229}, {5, 4, 0, 85},     {15, 4, 0, 255}, {0x1F0, 5, 4, 255},
        {128, 8, 0, 128},  {4, 0, 0, 0},      {7, 3, 40, 0},
    };
    for (const row& r : rows)
        EXPECT_EQ(r.value, component_value(r.index, r.width, r.shift))
            << r.index << " width " << r.width << " shift " << r.shift;
}

TEST_F(Palette, Layout332CarriesTheDefaultColoursOnTheirNearestEntries) {
    ASSERT_NE(0u, make(format_332()));
    const std::vector<palette_entry>& e = entries();
    ASSERT_EQ(256u, e.size());
    EXPECT_EQ((palette_entry{255, 0, 0, 0}), e[7]);
    EXPECT_EQ((palette_entry{0, 255, 0, 0}), e[56]);
    EXPECT_EQ((palette_entry{0, 0, 255, 0}), e[192]);
    EXPECT_EQ((palette_entry{255, 255, 255, 0}), e[255]);
    EXPECT_EQ((palette_entry{63, 0, 0, PC_NOCOLLAPSE}), e[1]);
    EXPECT_EQ((palette_entry{104, 171, 116, PC_NOCOLLAPSE}), e[2 | 4 << 3 | 1 << 6]);

    constexpr int matched[DEFAULT_COLOUR_COUNT] = {0,   3,   24,  27,  64,  67,  88,
                                                   173, 181, 236, 247, 164, 91,  7,
                                                   56,  63,  192, 199, 248, 255};
    std::vector<std::uint8_t> flags(256, PC_NOCOLLAPSE);
    for (int k = 0; k < DEFAULT_COLOUR_COUNT; ++k) {
        EXPECT_EQ(matched[k], g_palette.matched_index[k]) << "default colour " << k;
        EXPECT_EQ(STANDARD_DEFAULT_COLOURS[k], e[matched[k]]) << "default colour " << k;
        flags[matched[k]] = 0;
    }
    for (int i = 0; i < 256; ++i) EXPECT_EQ(flags[i], e[i].flags) << i;
}

TEST_F(Palette, NearestEntriesGoToTheLowestIndexAndAreTakenOnce) {
    // Repeats of one grey each take the nearest entry still free; red 155
    // lies exactly between red 139 (index 3) and red 171 (index 4).
    fake.defaults.assign(20, palette_entry{120, 120, 120, 0});
    fake.defaults[1] = palette_entry{155, 0, 0, 0};
    ASSERT_NE(0u, make(format_332()));
    std::vector<int> seen(g_palette.matched_index, g_palette.matched_index + 20);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen.end(), std::adjacent_find(seen.begin(), seen.end())) << "an entry taken twice";
    EXPECT_EQ(3, g_palette.matched_index[1]);
}

TEST_F(Palette, MakingFlushesThenRealisesInTheForeground) {
    ASSERT_EQ(0x101u, make(format_332()));
    const std::vector<std::string> expected = {
        "read 0xdef 0 20",   "make 256",        "make 256",      "select 0x102 fg",
        "realise 0x102 256", "select 0xdef fg", "destroy 0x102", "select 0x101 fg",
        "realise 0x101 256",
    };
    EXPECT_EQ(expected, fake.calls);
    EXPECT_EQ(0x101u, create_palette(FAKE_WINDOW)) << "an existing palette is returned";
    EXPECT_EQ(expected.size(), fake.calls.size());
}

TEST_F(Palette, OtherLayoutsAreNeitherFlushedNorMatched) {
    ASSERT_NE(0u, make(rgba_format(1, 0, 2, 1, 1, 3)));
    ASSERT_EQ(16u, entries().size());
    EXPECT_EQ((palette_entry{255, 191, 255, PC_NOCOLLAPSE}), entries()[1 | 2 << 1 | 1 << 3]);
    g_window.palette = 0;
    ASSERT_NE(0u, make(rgba_format(2, 6, 3, 3, 3, 0)));  // 256 entries, but not 3-3-2
    for (const auto& [handle, list] : fake.palettes)
        for (const palette_entry& p : list) ASSERT_EQ(PC_NOCOLLAPSE, p.flags);
    EXPECT_TRUE(fake.calls_starting("read").empty());
    EXPECT_EQ(3u, fake.calls_starting("make").size()) << "only the 256-entry one is flushed";
}

TEST_F(Palette, OnlyRgbaFormatsThatNeedOneGetAPalette) {
    pixel_format_descriptor index = format_332();
    index.iPixelType = PFD_TYPE_COLORINDEX;
    for (const pixel_format_descriptor& pfd : {format_332(0), index, rgba_format(8, 16, 8, 8, 8, 0)})
        EXPECT_EQ(0u, make(pfd));
    fake.refuse_make = true;
    EXPECT_EQ(0u, make(format_332()));
    EXPECT_TRUE(fake.calls_starting("select").empty());
}

TEST_F(Palette, TakeoverSkipsMatchingAndHoldsOnlyWhileActive) {
    for (std::int32_t mode : {DM_DOUBLE, GRAB}) {
        SCOPED_TRACE(mode);
        TearDown();
        SetUp();
        const std::uint32_t flags =
            mode == GRAB ? PFD_NEED_PALETTE : PFD_NEED_PALETTE | PFD_NEED_SYSTEM_PALETTE;
        ASSERT_NE(0u, make(format_332(flags), mode));

        const std::vector<palette_entry>& e = entries();
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(i == 0 || i == 255 ? 0 : PC_NOCOLLAPSE, e[i].flags) << i;
        EXPECT_EQ((palette_entry{0, 0, 116, PC_NOCOLLAPSE}), e[64]) << "not matched";
        EXPECT_TRUE(fake.calls_starting("read").empty());

        EXPECT_TRUE(static_colours_taken());
        EXPECT_EQ(SYSPAL_NOSTATIC, system_colours().palette_use());
        for (int i = 0; i < SYSTEM_COLOUR_ELEMENTS; ++i)
            EXPECT_EQ(SYSTEM_COLOUR_TABLE[i].takeover, system_colours().colour(i)) << i;
        EXPECT_EQ(TAKEOVER_BLACK, system_colours().colour(1));
        EXPECT_EQ(TAKEOVER_WHITE, system_colours().colour(24));
        EXPECT_EQ(1u, posted_count(WM_SYSCOLORCHANGE));

        // Given back on deactivation, and still given back after the rebuild
        // that the change of colours brings.
        send(WM_ACTIVATE, WA_INACTIVE);
        dispatch_queued();
        EXPECT_FALSE(static_colours_taken());
        EXPECT_EQ(SYSPAL_STATIC, system_colours().palette_use());
        EXPECT_EQ(start, current_colours());
        EXPECT_TRUE(fake.selected_background);

        EXPECT_EQ(1, send(WM_ACTIVATE, WA_ACTIVE));
        dispatch_queued();
        EXPECT_TRUE(static_colours_taken());
        EXPECT_FALSE(fake.selected_background);
    }
}

TEST_F(Palette, TakingOverTwiceAndGivingBackUntakenChangeNothing) {
    EXPECT_EQ(0, release_static_colours(FAKE_WINDOW));
    ASSERT_EQ(1, grab_static_colours(FAKE_WINDOW));
    const auto taken = current_colours();
    ASSERT_EQ(1, grab_static_colours(FAKE_WINDOW));
    EXPECT_EQ(taken, current_colours());
    EXPECT_EQ(start, std::to_array(g_palette.saved_colours)) << "the takeover colours were saved";
    EXPECT_EQ(1, system_colours().colour_changes());
    EXPECT_EQ(1u, posted_count(WM_SYSCOLORCHANGE));

    EXPECT_EQ(1, release_static_colours(FAKE_WINDOW));
    EXPECT_EQ(0, release_static_colours(FAKE_WINDOW));
    EXPECT_EQ(start, current_colours());
    EXPECT_EQ(2u, posted_count(WM_SYSCOLORCHANGE));
}

TEST_F(Palette, RefusedTakeoverIsRetriedThroughOneQueuedRequest) {
    system_colours().set_palette_use(SYSPAL_NOSTATIC);  // someone else holds them
    ASSERT_NE(0u, make(format_332(), GRAB));
    EXPECT_TRUE(fake.calls_starting("realise 0x101").empty()) << "nothing selected";
    EXPECT_EQ(-1, realise_palette(FAKE_WINDOW, g_window.palette, 0));
    EXPECT_EQ(1u, posted_count(WM_USER));
    dispatch_queued(1);  // refused again: the next request replaces it
    EXPECT_EQ(1u, posted_count(WM_USER));
    EXPECT_EQ(start, current_colours());

    system_colours().set_palette_use(SYSPAL_STATIC);
    dispatch_queued(1);
    EXPECT_TRUE(static_colours_taken());
    EXPECT_EQ(0u, posted_count(WM_USER));
    EXPECT_EQ(g_window.palette, fake.shown);
    EXPECT_TRUE(g_window.paint_pending) << "the realised palette changed entries";
}

TEST_F(Palette, RetryAfterDeactivationLeavesTheColoursAlone) {
    system_colours().set_palette_use(SYSPAL_NOSTATIC);
    ASSERT_NE(0u, make(format_332(), GRAB));
    send(WM_ACTIVATE, WA_INACTIVE);
    system_colours().set_palette_use(SYSPAL_STATIC);
    ASSERT_EQ(1u, posted_count(WM_USER));
    dispatch_queued();
    EXPECT_FALSE(static_colours_taken());
    EXPECT_EQ(0, system_colours().colour_changes());
}

TEST(PaletteSettings, ParsingKeepsTheColourUnlessThreeNumbersAreThere) {
    constexpr colour_value KEPT = 0x00123456;
    const std::pair<std::string, colour_value> rows[] = {
        {std::string("212 208 200") + '\0', 0x00C8D0D4},
        {"  1\t2\n3 trailing", 0x00030201},
        {"-1 256 +511", 0x00FF00FF},
        {"99999999999999999999999 0 0", 0x000000FF},  // low 8 bits of the whole number
        {"212 208", KEPT},
        {"212,208,200", KEPT},
        {"", KEPT},
        {"- 1 2 3", KEPT},
    };
    for (const auto& [text, expected] : rows) {
        colour_value v = KEPT;
        parse_colour_setting(text.data(), text.size(), &v);
        EXPECT_EQ(expected, v) << '"' << text << '"';
    }
    // Unterminated text is read only as far as its size says.
    colour_value v = KEPT;
    EXPECT_FALSE(parse_colour_setting("1 2 3", 4, &v));
    EXPECT_EQ(KEPT, v);
}

TEST_F(Palette, GivingBackRestoresTheUsersSettingsWhereReadable) {
    colour_value values[SYSTEM_COLOUR_ELEMENTS] = {};
    EXPECT_EQ(0, read_colour_settings(values, SYSTEM_COLOUR_ELEMENTS)) << "no store on Linux";

    ASSERT_EQ(1, grab_static_colours(FAKE_WINDOW));
    system_colours().provide_settings({
        {"Scrollbar", text_setting("212 208 200")},
        {"Background", text_setting("1 2 3" + std::string(58, ' '))},   // 64 bytes: fits
        {"ActiveTitle", text_setting("4 5 6" + std::string(59, ' '))},  // 65: too long
        {"InactiveTitle", colour_setting{SETTING_NUMBER, std::string("7 8 9") + '\0'}},
        {"Menu", text_setting("1 2")},
        {"InfoWindow", text_setting("0 0 255")},
    });
    EXPECT_EQ(1, release_static_colours(FAKE_WINDOW));
    auto expected = start;
    expected[0] = 0x00C8D0D4;
    expected[1] = 0x00030201;
    expected[24] = 0x00FF0000;
    EXPECT_EQ(expected, current_colours());
}

TEST_F(Palette, SystemColourChangeRebuildsThePalette) {
    const palette_handle old = make(format_332());
    g_window.paint_pending = false;
    EXPECT_EQ(0, send(WM_SYSCOLORCHANGE));
    EXPECT_NE(old, g_window.palette);
    EXPECT_EQ(g_window.palette, fake.shown);
    EXPECT_EQ("destroy 0x101", fake.calls.back());
    EXPECT_TRUE(g_window.paint_pending);

    const palette_handle kept = g_window.palette;
    fake.refuse_make = true;
    send(WM_SYSCOLORCHANGE);
    EXPECT_EQ(kept, g_window.palette);
    EXPECT_EQ(1u, fake.palettes.count(kept));
}

TEST_F(Palette, PaletteChangedElsewhereRealisesInTheBackground) {
    ASSERT_NE(0u, make(format_332()));
    fake.calls.clear();
    send(WM_PALETTECHANGED, FAKE_WINDOW);
    EXPECT_TRUE(fake.calls.empty()) << "our own change";
    send(WM_PALETTECHANGED, 0x999);
    EXPECT_EQ((std::vector<std::string>{"select 0x101 bg", "realise 0x101 0"}), fake.calls);
    g_palette.static_colours_taken = 1;
    send(WM_PALETTECHANGED, 0x999);
    EXPECT_EQ(2u, fake.calls.size()) << "the static colours are ours";
}

TEST_F(Palette, CloseDownPutsTheDefaultPaletteBack) {
    const std::pair<std::int32_t, std::vector<std::string>> cases[] = {
        {DM_DOUBLE, {"select 0xdef fg", "destroy 0x101"}},
        {GRAB, {"unrealise 0xdef", "select 0xdef bg", "realise 0xdef 20", "destroy 0x101"}},
    };
    for (const auto& [mode, expected] : cases) {
        TearDown();
        SetUp();
        ASSERT_NE(0u, make(format_332(), mode));
        fake.calls.clear();
        EXPECT_EQ(0, send(WM_DESTROY));
        EXPECT_EQ(expected, fake.calls);
        EXPECT_TRUE(fake.palettes.empty());
        EXPECT_FALSE(static_colours_taken());
        EXPECT_EQ(SYSPAL_STATIC, system_colours().palette_use());
        EXPECT_EQ(start, current_colours());
    }
}
