#include "toolkit/palette.h"

#include <algorithm>
#include <new>
#include <thread>
#include <vector>

#include "toolkit/window.h"

namespace tessel::toolkit {

palette_state g_palette;

const system_colour_element SYSTEM_COLOUR_TABLE[SYSTEM_COLOUR_ELEMENTS] = {
    {"Scrollbar", TAKEOVER_WHITE},
    {"Background", TAKEOVER_BLACK},
    {"ActiveTitle", TAKEOVER_BLACK},
    {"InactiveTitle", TAKEOVER_WHITE},
    {"Menu", TAKEOVER_WHITE},
    {"Window", TAKEOVER_WHITE},
    {"WindowFrame", TAKEOVER_BLACK},
    {"MenuText", TAKEOVER_BLACK},
    {"WindowText", TAKEOVER_BLACK},
    {"TitleText", TAKEOVER_WHITE},
    {"ActiveBorder", TAKEOVER_WHITE},
    {"InactiveBorder", TAKEOVER_WHITE},
    {"AppWorkspace", TAKEOVER_WHITE},
    {"Hilight", TAKEOVER_BLACK},
    {"HilightText", TAKEOVER_WHITE},
    {"ButtonFace", TAKEOVER_WHITE},
    {"ButtonShadow", TAKEOVER_BLACK},
    {"GrayText", TAKEOVER_BLACK},
    {"ButtonText", TAKEOVER_BLACK},
    {"InactiveTitleText", TAKEOVER_BLACK},
    {"ButtonHilight", TAKEOVER_BLACK},
    {"ButtonDkShadow", TAKEOVER_BLACK},
    {"ButtonLight", TAKEOVER_WHITE},
    {"InfoText", TAKEOVER_BLACK},
    {"InfoWindow", TAKEOVER_WHITE},
};

namespace {

// A palette lists every pixel value; beyond 8 bits there are too many to
// list (and 2 to the power of the bits would overflow soon after).
constexpr int MAX_PALETTE_BITS = 8;

constexpr int FULL_PALETTE = 256;          // the size that is flushed and matched
constexpr std::uint8_t MARK = 1;            // flags byte used as a mark while matching
constexpr int BEYOND_ANY_DISTANCE = 0x30001;  // more than 3 * 255 * 255

constexpr int SETTING_BUFFER = 64;

int colour_count() {
    return std::clamp(g_window.system_colour_count, 0, SYSTEM_COLOUR_ELEMENTS);
}

// Every top-level window of the toolkit hears of the change; X has no
// broadcast to other clients' windows, and none of them would listen.
void broadcast_colour_change() {
    if (g_window.window) post_message(g_window.window, WM_SYSCOLORCHANGE, 0, 0);
}

void set_element_colours(const colour_value* values, int count) {
    int elements[SYSTEM_COLOUR_ELEMENTS];
    for (int i = 0; i < count; ++i) elements[i] = i;
    system_colours().set_colours(count, elements, values);
}

bool is_332(const pixel_format_descriptor& pfd) {
    return pfd.cRedBits == 3 && pfd.cRedShift == 0 && pfd.cGreenBits == 3 &&
           pfd.cGreenShift == 3 && pfd.cBlueBits == 2 && pfd.cBlueShift == 6;
}

int squared_distance(const palette_entry& a, const palette_entry& b) {
    const int r = a.red - b.red;
    const int g = a.green - b.green;
    const int bl = a.blue - b.blue;
    return r * r + g * g + bl * bl;
}

bool same_colour(const palette_entry& a, const palette_entry& b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

// One decimal number as "%ld" reads it, cut to its low 8 bits (exactly,
// however long the number is). False when no digit is there.
bool read_number(const char*& p, const char* end, std::uint8_t* out) {
    while (p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r'))) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    const char* digits = p;
    unsigned value = 0;
    while (p < end && *p >= '0' && *p <= '9') value = (value * 10 + unsigned(*p++ - '0')) & 0xFF;
    if (p == digits) return false;
    *out = static_cast<std::uint8_t>(negative ? (0x100 - value) & 0xFF : value);
    return true;
}

}  // namespace

std::uint8_t component_value(int index, int width, int shift) {
    if (width <= 0 || shift < 0 || shift >= 32) return 0;
    const unsigned v = static_cast<unsigned>(index) >> shift;
    switch (width) {
        case 1:
            return COMPONENT_1_BIT[v % 2];
        case 2:
            return COMPONENT_2_BITS[v % 4];
        case 3:
            return COMPONENT_3_BITS[v % 8];
        default: {
            // Wider components spread their values evenly over 0..255.
            const std::uint64_t top = (std::uint64_t{1} << std::min(width, 32)) - 1;
            return static_cast<std::uint8_t>((v & top) * 255 / top);
        }
    }
}

void fill_palette(const pixel_format_descriptor& pfd, palette_entry* entries, int n) {
    for (int i = 0; i < n; ++i) {
        entries[i] = palette_entry{component_value(i, pfd.cRedBits, pfd.cRedShift),
                                   component_value(i, pfd.cGreenBits, pfd.cGreenShift),
                                   component_value(i, pfd.cBlueBits, pfd.cBlueShift),
                                   PC_NOCOLLAPSE};
    }
    if (n != FULL_PALETTE) return;
    if (g_palette.takes_over) {
        // Black and white stay the display's own; every other entry is ours.
        entries[0].flags = 0;
        entries[FULL_PALETTE - 1].flags = 0;
    } else if (is_332(pfd)) {
        match_system_colours(entries);
        for (int k = 0; k < DEFAULT_COLOUR_COUNT; ++k)
            entries[g_palette.matched_index[k]] = g_palette.default_colours[k];
    }
}

void match_system_colours(palette_entry* entries) {
    palette_platform& platform = current_palette_platform();
    palette_entry* defaults = g_palette.default_colours;
    const int read =
        platform.read_entries(platform.default_palette(), 0, DEFAULT_COLOUR_COUNT, defaults);
    if (read < DEFAULT_COLOUR_COUNT)
        std::copy(STANDARD_DEFAULT_COLOURS.begin(), STANDARD_DEFAULT_COLOURS.end(), defaults);

    for (int k = 0; k < DEFAULT_COLOUR_COUNT; ++k) defaults[k].flags = 0;
    for (int i = 0; i < FULL_PALETTE; ++i) entries[i].flags = 0;

    for (int k = 0; k < DEFAULT_COLOUR_COUNT; ++k) {
        for (int i = 0; i < FULL_PALETTE; ++i) {
            if (same_colour(defaults[k], entries[i])) {
                defaults[k].flags = MARK;
                entries[i].flags = MARK;
                g_palette.matched_index[k] = i;
                break;
            }
        }
    }

    for (int k = 0; k < DEFAULT_COLOUR_COUNT; ++k) {
        if (defaults[k].flags) continue;
        int best = BEYOND_ANY_DISTANCE;
        int best_index = 0;
        for (int i = 0; i < FULL_PALETTE; ++i) {
            if (entries[i].flags) continue;
            const int d = squared_distance(defaults[k], entries[i]);
            if (d < best) {
                best = d;
                best_index = i;
            }
        }
        g_palette.matched_index[k] = best_index;
        entries[best_index].flags = MARK;
    }

    for (int k = 0; k < DEFAULT_COLOUR_COUNT; ++k) defaults[k].flags = 0;
    for (int i = 0; i < FULL_PALETTE; ++i) entries[i].flags = PC_NOCOLLAPSE;
}

void flush_palette(window_handle device_context, int n) {
    if (n != FULL_PALETTE) return;
    std::vector<palette_entry> black;
    try {
        black.assign(FULL_PALETTE, palette_entry{0, 0, 0, PC_RESERVED | PC_NOCOLLAPSE});
    } catch (const std::bad_alloc&) {
        return;
    }
    palette_platform& platform = current_palette_platform();
    const palette_handle flush = platform.make_palette(black.data(), FULL_PALETTE);
    if (!flush) return;
    const palette_handle previous = platform.select(device_context, flush, false);
    if (previous) {
        platform.realise(device_context);
        platform.select(device_context, previous, false);
    }
    platform.destroy(flush);
}

palette_handle create_palette(window_handle device_context) {
    if (g_window.palette) return g_window.palette;
    pixel_format_descriptor pfd{};
    if (describe_current_format(device_context, &pfd) <= 0) return 0;
    if (pfd.iPixelType != PFD_TYPE_RGBA || !(pfd.dwFlags & PFD_NEED_PALETTE)) return 0;
    if (pfd.cColorBits > MAX_PALETTE_BITS) return 0;

    g_palette.takes_over = (pfd.dwFlags & PFD_NEED_SYSTEM_PALETTE) != 0 ||
                           (g_window.mode & DM_GRAB_STATIC_COLOURS) != 0;

    const int n = 1 << pfd.cColorBits;
    std::vector<palette_entry> entries;
    try {
        entries.resize(static_cast<std::size_t>(n));
    } catch (const std::bad_alloc&) {
        return 0;
    }
    fill_palette(pfd, entries.data(), n);

    palette_platform& platform = current_palette_platform();
    const palette_handle palette = platform.make_palette(entries.data(), n);
    if (!palette) return 0;
    g_window.palette = palette;
    flush_palette(device_context, n);
    // A palette rebuilt while the window is behind others must not take the
    // display's colours over; activation does that when the window comes back.
    realise_palette(device_context, palette, g_palette.window_inactive ? 1 : 0);
    return palette;
}

int realise_palette(window_handle device_context, palette_handle palette, int background) {
    palette_platform& platform = current_palette_platform();
    palette_handle selected = 0;
    if (g_palette.takes_over) {
        if (background == 0) {
            if (!grab_static_colours(device_context)) return -1;
        } else {
            release_static_colours(device_context);
        }
        if (!platform.unrealise(palette)) return -1;
        selected = platform.select(device_context, palette, background != 0);
    } else {
        selected = platform.select(device_context, palette, false);
    }
    return selected ? platform.realise(device_context) : -1;
}

int grab_static_colours(window_handle) {
    if (g_palette.static_colours_taken) return 1;
    system_colour_service& service = system_colours();
    if (service.set_palette_use(SYSPAL_NOSTATIC) != SYSPAL_STATIC) {
        // Someone else holds them; try again once the queue has moved on.
        std::this_thread::yield();
        request_rerealise();
        return 0;
    }
    const int count = colour_count();
    colour_value takeover[SYSTEM_COLOUR_ELEMENTS];
    for (int i = 0; i < count; ++i) {
        g_palette.saved_colours[i] = service.colour(i);
        takeover[i] = SYSTEM_COLOUR_TABLE[i].takeover;
    }
    set_element_colours(takeover, count);
    g_palette.static_colours_taken = 1;
    broadcast_colour_change();
    return 1;
}

int release_static_colours(window_handle) {
    if (!g_palette.static_colours_taken) return 0;
    const int count = colour_count();
    // The user may have chosen new colours meanwhile; those win.
    read_colour_settings(g_palette.saved_colours, count);
    set_element_colours(g_palette.saved_colours, count);
    system_colours().set_palette_use(SYSPAL_STATIC);
    broadcast_colour_change();
    g_palette.static_colours_taken = 0;
    return 1;
}

bool parse_colour_setting(const char* text, std::size_t size, colour_value* out) {
    const char* p = text;
    const char* end = text + size;
    // Text values end at their NUL even where the store's size says more.
    for (const char* q = text; q < end; ++q) {
        if (*q == '\0') {
            end = q;
            break;
        }
    }
    std::uint8_t rgb[3];
    for (std::uint8_t& c : rgb)
        if (!read_number(p, end, &c)) return false;
    *out = colour_value{rgb[0]} | colour_value{rgb[1]} << 8 | colour_value{rgb[2]} << 16;
    return true;
}

int read_colour_settings(colour_value* values, int count) {
    system_colour_service& service = system_colours();
    if (!service.open_settings()) return 0;
    count = std::clamp(count, 0, SYSTEM_COLOUR_ELEMENTS);
    for (int i = 0; i < count; ++i) {
        char buffer[SETTING_BUFFER];
        std::uint32_t size = sizeof buffer;
        std::uint32_t type = 0;
        if (service.query_setting(SYSTEM_COLOUR_TABLE[i].setting, &type, buffer, &size) &&
            type == SETTING_TEXT)
            parse_colour_setting(buffer, size, &values[i]);
    }
    service.close_settings();
    return 1;
}

void request_rerealise() {
    if (!g_window.window) return;
    if (!message_posted(g_window.window, WM_USER)) post_message(g_window.window, WM_USER, 0, 0);
}

int realise_in_background(window_handle device_context, palette_handle palette) {
    palette_platform& platform = current_palette_platform();
    if (!platform.select(device_context, palette, true)) return -1;
    return platform.realise(device_context);
}

void put_back_default_palette(window_handle device_context, palette_handle palette) {
    palette_platform& platform = current_palette_platform();
    if (g_palette.takes_over)
        realise_palette(device_context, platform.default_palette(), 1);
    else
        platform.select(device_context, platform.default_palette(), false);
    platform.destroy(palette);
}

void delete_palette(palette_handle palette) { current_palette_platform().destroy(palette); }

bool static_colours_taken() { return g_palette.static_colours_taken != 0; }

}  // namespace tessel::toolkit
