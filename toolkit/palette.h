#pragma once
// Palettes for RGBA formats on displays that need one (a PseudoColor or
// GrayScale visual on X). The palette's entries reproduce the colour each
// pixel value stands for; a 256-entry 3-3-2 palette also carries the
// display's 20 default colours on its nearest entries, unless the window
// takes the display's static colours over, in which case the interface
// colours go black and white while the window is in front. On true-colour
// displays no palette is ever made and nothing here changes anything.

#include <cstddef>
#include <cstdint>

#include "toolkit/palette_colours.h"
#include "toolkit/palette_platform.h"
#include "toolkit/pixel_format.h"

namespace tessel::toolkit {

// 8-bit intensities of the components of 1, 2 and 3 bits.
constexpr std::uint8_t COMPONENT_1_BIT[2] = {0, 255};
constexpr std::uint8_t COMPONENT_2_BITS[4] = {0, 116, 191, 255};
constexpr std::uint8_t COMPONENT_3_BITS[8] = {0, 63, 104, 139, 171, 200, 229, 255};

// Interface colours during a takeover, in the display's palette-relative form.
constexpr colour_value TAKEOVER_WHITE = 0x02FFFFFF;
constexpr colour_value TAKEOVER_BLACK = 0x02000000;

// The interface elements in order: the name of the user's setting that holds
// each one's colour, and the colour it gets during a takeover.
struct system_colour_element {
    const char* setting;
    colour_value takeover;
};
extern const system_colour_element SYSTEM_COLOUR_TABLE[SYSTEM_COLOUR_ELEMENTS];

struct palette_state {
    std::int32_t takes_over = 0;            // decided each time a palette is made
    std::int32_t static_colours_taken = 0;  // set while the takeover is in force
    colour_value saved_colours[SYSTEM_COLOUR_ELEMENTS] = {};  // before the takeover
    palette_entry default_colours[DEFAULT_COLOUR_COUNT] = {};
    std::int32_t matched_index[DEFAULT_COLOUR_COUNT] = {};  // entry each default colour took
    // The window was last deactivated: a palette made now is realised in the
    // background, and a pending re-realise request no longer takes the
    // static colours over for a window that is not in front.
    bool window_inactive = false;
};

extern palette_state g_palette;

// The window layer's palette, made (filled, flushed and realised in the
// foreground) when none exists and the current format needs one; 0 otherwise.
palette_handle create_palette(window_handle device_context);

// Fills n entries for the format's component layout.
void fill_palette(const pixel_format_descriptor& pfd, palette_entry* entries, int n);

// The 8-bit intensity of a component of width bits at shift in index.
std::uint8_t component_value(int index, int width, int shift);

// Finds, for each of the display's 20 default colours, the entry of a
// 256-entry palette that it replaces (exact match first, then nearest).
void match_system_colours(palette_entry* entries);

// Realises an all-black 256-entry palette once, so that the new palette's
// entries all count as changed when it is realised. Only for n of 256.
void flush_palette(window_handle device_context, int n);

// Selects and realises the palette; background 1 also gives back the static
// colours, background 0 takes them over where the palette calls for it. The
// number of entries that changed, or -1 when nothing was realised.
int realise_palette(window_handle device_context, palette_handle palette, int background);

// Take the display's static colours over and give them back; 1 or 0.
int grab_static_colours(window_handle device_context);
int release_static_colours(window_handle device_context);

// Reads the user's colour settings over count values; 1 when they could be
// opened. Values that cannot be read keep what they held.
int read_colour_settings(colour_value* values, int count);

// Queues one re-realise request for the GL window unless one is queued.
void request_rerealise();

// Selects the palette as a background palette and realises it, leaving the
// static colours alone (another window changed the display's palette).
int realise_in_background(window_handle device_context, palette_handle palette);

// The close-down's part: the default palette goes back (realised in the
// background, which gives the static colours back, when they were taken
// over; otherwise only selected), then the palette is deleted.
void put_back_default_palette(window_handle device_context, palette_handle palette);

void delete_palette(palette_handle palette);

// Whether the display's static colours are taken over right now.
bool static_colours_taken();

// Reads "R G B" (decimal numbers separated by blanks) from at most size
// bytes of text; each number is cut to its low 8 bits. False, leaving *out
// alone, unless three numbers are there.
bool parse_colour_setting(const char* text, std::size_t size, colour_value* out);

}  // namespace tessel::toolkit
