// Pixel-format choice over made-up lists of described formats: no display.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "toolkit/pixel_format.h"
#include "toolkit/toolkit.h"

using namespace tessel::toolkit;

namespace {

constexpr std::uint32_t WINDOW_GL = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;

struct format_spec {
    int colour = 24;
    bool double_buffer = true;
    int depth = 0;
    int stencil = 0;
    int alpha = 0;
    int accum = 0;
    int accum_alpha = 0;
    std::uint8_t type = PFD_TYPE_RGBA;
    std::uint32_t flags = WINDOW_GL;
    std::uint8_t layer = PFD_MAIN_PLANE;
    int samples = 0;
    bool slow = false;
};

described_format make(const format_spec& s) {
    described_format f;
    f.pfd.nSize = 40;
    f.pfd.nVersion = 1;
    f.pfd.dwFlags = s.flags | (s.double_buffer ? PFD_DOUBLEBUFFER : 0);
    f.pfd.iPixelType = s.type;
    f.pfd.cColorBits = static_cast<std::uint8_t>(s.colour);
    f.pfd.cDepthBits = static_cast<std::uint8_t>(s.depth);
    f.pfd.cStencilBits = static_cast<std::uint8_t>(s.stencil);
    f.pfd.cAlphaBits = static_cast<std::uint8_t>(s.alpha);
    f.pfd.cAccumBits = static_cast<std::uint8_t>(s.accum);
    f.pfd.cAccumAlphaBits = static_cast<std::uint8_t>(s.accum_alpha);
    f.pfd.iLayerType = s.layer;
    f.samples = s.samples;
    f.slow = s.slow;
    return f;
}

// A format that matches nothing the tests ask for (colour-index, overlay).
described_format filler() { return make({.colour = 8, .type = PFD_TYPE_COLORINDEX, .layer = 1}); }

// The kinds of format Mesa offers on a 24-bit screen: single and double
// buffered, with and without alpha and accumulation, depth/stencil pairs
// 0/0, 16/0, 24/0, 24/8, 32/0, a palette-needing twin of each, and no
// stencil without depth.
std::vector<described_format> mesa_like() {
    std::vector<described_format> list;
    for (bool palette : {false, true})
        for (bool db : {true, false})
            for (int alpha : {8, 0})
                for (int accum : {0, 64})
                    for (auto [depth, stencil] : {std::pair{0, 0}, {16, 0}, {24, 0}, {24, 8}, {32, 0}})
                        list.push_back(make({.colour = 24, .double_buffer = db, .depth = depth,
                                             .stencil = stencil, .alpha = alpha, .accum = accum,
                                             .accum_alpha = accum ? 16 : 0,
                                             .flags = WINDOW_GL | (palette ? PFD_NEED_PALETTE : 0u),
                                             .slow = accum != 0}));
    return list;
}

}  // namespace

TEST(RequestedDescriptor, TurnsModeBitsIntoBufferSizes) {
    struct row {
        std::int32_t mode;
        std::uint32_t flags;
        std::uint8_t type, colour, alpha, accum, depth, stencil;
    };
    const row rows[] = {
        {66, 0x25, PFD_TYPE_RGBA, 24, 0, 0, 0, 4},
        {DM_DOUBLE | DM_STENCIL | DM_DEPTH24, 0x25, PFD_TYPE_RGBA, 24, 0, 0, 24, 4},
        {0, 0x24, PFD_TYPE_RGBA, 24, 0, 0, 0, 0},
        {0x4 | 0x80 | 0x400 | 0x10000, 0x24, PFD_TYPE_RGBA, 24, 0, 0, 0, 0},
        {DM_DEPTH16 | DM_DEPTH24, 0x24, PFD_TYPE_RGBA, 24, 0, 0, 16, 0},
        {DM_DEPTH24, 0x24, PFD_TYPE_RGBA, 24, 0, 0, 24, 0},
        {DM_ACCUM | DM_ALPHA, 0x24, PFD_TYPE_RGBA, 24, 8, 32, 0, 0},
        {DM_ACCUM, 0x24, PFD_TYPE_RGBA, 24, 0, 24, 0, 0},
        {DM_ACCUM | DM_INDEX, 0x24, PFD_TYPE_COLORINDEX, 8, 0, 8, 0, 0},
        {DM_INDEX | DM_DOUBLE, 0x25, PFD_TYPE_COLORINDEX, 8, 0, 0, 0, 0},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(testing::Message() << "mode 0x" << std::hex << r.mode);
        pixel_format_descriptor expected{};
        expected.nSize = 40;
        expected.nVersion = 1;
        expected.dwFlags = r.flags;
        expected.iPixelType = r.type;
        expected.cColorBits = r.colour;
        expected.cAlphaBits = r.alpha;
        expected.cAccumBits = r.accum;
        expected.cDepthBits = r.depth;
        expected.cStencilBits = r.stencil;
        const pixel_format_descriptor got = requested_descriptor(r.mode);
        // Every field not listed, shifts and masks included, must be zero.
        EXPECT_EQ(0, std::memcmp(&expected, &got, sizeof got));
        EXPECT_EQ(r.colour, got.cColorBits);
        EXPECT_EQ(r.depth, got.cDepthBits);
        EXPECT_EQ(r.accum, got.cAccumBits);
    }
}

TEST(Enumeration, EarliestOfTheMostColourBitsWins) {
    std::vector<described_format> list(14, filler());
    list[4] = make({.colour = 24});   // format 5
    list[8] = make({.colour = 24});   // format 9
    list[6] = make({.colour = 16});   // format 7: fewer colour bits
    pixel_format_descriptor out{};
    EXPECT_EQ(5, choose_by_enumeration(list, DM_DOUBLE, &out));
    EXPECT_EQ(24, out.cColorBits);

    list[11] = make({.colour = 32});  // format 12
    EXPECT_EQ(12, choose_by_enumeration(list, DM_DOUBLE, &out));
    EXPECT_EQ(32, out.cColorBits);
}

TEST(Enumeration, NoMatchLeavesTheDescriptorAlone) {
    std::vector<described_format> list(6, filler());
    list.push_back(make({.colour = 0}));  // no colour bits never wins
    pixel_format_descriptor out{};
    out.cColorBits = 77;
    EXPECT_EQ(0, choose_by_enumeration(list, DM_DOUBLE, &out));
    EXPECT_EQ(77, out.cColorBits);
    EXPECT_EQ(0, choose_by_enumeration({}, DM_DOUBLE, &out));
}

TEST(Enumeration, CandidateRuleComparesPresenceNotSize) {
    struct row {
        const char* what;
        std::int32_t mode;
        format_spec format;
        bool candidate;
    };
    const std::int32_t panel = DM_DOUBLE | DM_DEPTH24 | DM_STENCIL;
    const format_spec good{.depth = 24, .stencil = 8};
    auto with = [&](auto change) { format_spec s = good; change(s); return s; };
    const row rows[] = {
        {"exact", panel, good, true},
        {"depth size not compared", panel, with([](format_spec& s) { s.depth = 16; }), true},
        {"single-buffered", panel, with([](format_spec& s) { s.double_buffer = false; }), false},
        {"no depth", panel, with([](format_spec& s) { s.depth = 0; }), false},
        {"no stencil", panel, with([](format_spec& s) { s.stencil = 0; }), false},
        {"alpha not asked for", panel, with([](format_spec& s) { s.alpha = 8; }), false},
        {"accumulation not asked for", panel, with([](format_spec& s) { s.accum = 32; }), false},
        {"no OpenGL", panel, with([](format_spec& s) { s.flags = PFD_DRAW_TO_WINDOW; }), false},
        {"no window", panel, with([](format_spec& s) { s.flags = PFD_SUPPORT_OPENGL; }), false},
        {"overlay plane", panel, with([](format_spec& s) { s.layer = 1; }), false},
        {"colour-index", panel, with([](format_spec& s) { s.type = PFD_TYPE_COLORINDEX; }), false},
        {"depth not asked for", DM_DOUBLE | DM_STENCIL, good, false},
        {"stencil not asked for", DM_DOUBLE | DM_DEPTH16, good, false},
        {"alpha asked for", DM_ALPHA | DM_DOUBLE, {.alpha = 8}, true},
        {"alpha asked, none", DM_ALPHA | DM_DOUBLE, {}, false},
        {"accum alpha asked", DM_ALPHA | DM_ACCUM | DM_DOUBLE, {.alpha = 8, .accum = 64, .accum_alpha = 16}, true},
        {"accum without alpha", DM_ALPHA | DM_ACCUM | DM_DOUBLE, {.alpha = 8, .accum = 48}, false},
        {"index ignores alpha and accum", DM_INDEX | DM_DOUBLE,
         {.colour = 8, .alpha = 8, .accum = 16, .type = PFD_TYPE_COLORINDEX}, true},
        {"RGBA under index mode", DM_INDEX | DM_DOUBLE, {}, false},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        const std::vector<described_format> list{filler(), make(r.format)};
        EXPECT_EQ(r.candidate ? 2 : 0, choose_by_enumeration(list, r.mode, nullptr));
    }
}

TEST(FixedFormat, RefusesWhatCannotBeUsed) {
    const std::vector<described_format> list{make({}), make({.flags = PFD_DRAW_TO_WINDOW}),
                                             make({.colour = 16})};
    pixel_format_descriptor out{};
    EXPECT_EQ(0, choose_fixed_format(list, 0, &out));
    EXPECT_EQ(0, choose_fixed_format(list, -3, &out));
    EXPECT_EQ(0, choose_fixed_format(list, 4, &out));
    EXPECT_EQ(0, choose_fixed_format(list, 2, &out));
    EXPECT_EQ(3, choose_fixed_format(list, 3, &out));
    EXPECT_EQ(16, out.cColorBits);
}

TEST(BestMatch, StencilWithoutDepthBringsDepthAlong) {
    const std::vector<described_format> list = mesa_like();
    for (std::int32_t mode : {66, DM_DOUBLE | DM_DEPTH24 | DM_STENCIL}) {
        SCOPED_TRACE(mode);
        const int n = choose_best_match(list, requested_descriptor(mode));
        ASSERT_GT(n, 0);
        const pixel_format_descriptor& f = list[n - 1].pfd;
        EXPECT_TRUE(f.dwFlags & PFD_DOUBLEBUFFER);
        EXPECT_FALSE(f.dwFlags & PFD_NEED_PALETTE);
        EXPECT_EQ(24, f.cDepthBits);
        EXPECT_EQ(8, f.cStencilBits);
        EXPECT_EQ(0, f.cAlphaBits);
        EXPECT_EQ(0, f.cAccumBits);
    }
}

TEST(BestMatch, PicksTheClosestQualifyingFormat) {
    const std::vector<described_format> list = mesa_like();
    auto chosen = [&](std::int32_t mode) {
        const int n = choose_best_match(list, requested_descriptor(mode));
        EXPECT_GT(n, 0);
        return n > 0 ? list[n - 1].pfd : pixel_format_descriptor{};
    };
    EXPECT_EQ(16, chosen(DM_DEPTH16 | DM_DOUBLE).cDepthBits);
    EXPECT_EQ(16, chosen(DM_DEPTH16 | DM_DEPTH24).cDepthBits);
    EXPECT_EQ(24, chosen(DM_DEPTH24).cDepthBits);
    EXPECT_EQ(0, chosen(DM_DEPTH24).cStencilBits);
    EXPECT_FALSE(chosen(DM_DEPTH24).dwFlags & PFD_DOUBLEBUFFER);
    EXPECT_EQ(0, chosen(DM_DOUBLE).cDepthBits);
    EXPECT_EQ(8, chosen(DM_ALPHA | DM_DOUBLE).cAlphaBits);
    EXPECT_GT(chosen(DM_ACCUM | DM_DOUBLE).cAccumBits, 0);
}

TEST(BestMatch, PreferencesInOrder) {
    // A shortfall in size is accepted when nothing better exists.
    EXPECT_EQ(1, choose_best_match(std::vector{make({.depth = 16})},
                                   requested_descriptor(DM_DOUBLE | DM_DEPTH24)));
    // Meeting the size beats having no extra buffers.
    EXPECT_EQ(2, choose_best_match(std::vector{make({.depth = 16}), make({.depth = 24, .stencil = 8})},
                                   requested_descriptor(DM_DOUBLE | DM_DEPTH24)));
    // No palette needed beats everything else.
    EXPECT_EQ(2, choose_best_match(std::vector{make({.depth = 24, .flags = WINDOW_GL | PFD_NEED_PALETTE}),
                                               make({.depth = 16, .alpha = 8})},
                                   requested_descriptor(DM_DOUBLE | DM_DEPTH24)));
    // Multisampled and slow formats lose to plain ones.
    EXPECT_EQ(3, choose_best_match(std::vector{make({.samples = 4}), make({.slow = true}), make({})},
                                   requested_descriptor(DM_DOUBLE)));
    // Ties go to the lowest number.
    EXPECT_EQ(2, choose_best_match(std::vector{filler(), make({}), make({})},
                                   requested_descriptor(DM_DOUBLE)));
}

TEST(BestMatch, HardRequirementsAreNeverRelaxed) {
    const std::vector<described_format> double_only{make({.depth = 24, .stencil = 8})};
    EXPECT_EQ(0, choose_best_match(double_only, requested_descriptor(DM_DEPTH24)));
    EXPECT_EQ(0, choose_best_match(double_only, requested_descriptor(DM_DOUBLE | DM_INDEX)));
    EXPECT_EQ(0, choose_best_match(double_only, requested_descriptor(DM_DOUBLE | DM_ALPHA)));
    EXPECT_EQ(0, choose_best_match(std::vector{make({.flags = PFD_DRAW_TO_WINDOW})},
                                   requested_descriptor(DM_DOUBLE)));
    EXPECT_EQ(0, choose_best_match(std::vector{make({.colour = 0})}, requested_descriptor(DM_DOUBLE)));
    EXPECT_EQ(0, choose_best_match({}, requested_descriptor(DM_DOUBLE)));
}
