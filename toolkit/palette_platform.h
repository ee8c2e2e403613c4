#pragma once
// What the palette code needs from the display: logical palettes made from a
// list of entries, selected for the window and realised on it, and the
// display's default palette. On X a palette is a colormap (palette_x11.h);
// tests use an in-memory stand-in that records every call
// (tests/toolkit/palette_fake.h).

#include <array>
#include <cstdint>

namespace tessel::toolkit {

using window_handle = unsigned long;   // an X window id; 0 for none
using palette_handle = unsigned long;  // an X colormap id; 0 for none

// One palette entry, byte for byte as a logical palette record holds it.
struct palette_entry {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
    std::uint8_t flags;

    friend bool operator==(const palette_entry&, const palette_entry&) = default;
};

constexpr std::uint8_t PC_RESERVED = 0x1;    // the entry may change while realised
constexpr std::uint8_t PC_NOCOLLAPSE = 0x4;  // the entry gets a cell of its own

constexpr int DEFAULT_COLOUR_COUNT = 20;

// The colours a display's default palette starts with where it has fewer
// than 20 cells to read them from.
constexpr std::array<palette_entry, DEFAULT_COLOUR_COUNT> STANDARD_DEFAULT_COLOURS{{
    {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},
    {0, 0, 128, 0},     {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0},
    {192, 220, 192, 0}, {166, 202, 240, 0}, {255, 251, 240, 0}, {160, 160, 164, 0},
    {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},     {255, 255, 0, 0},
    {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0},
}};

class palette_platform {
public:
    virtual ~palette_platform() = default;

    // The display's default palette; it always exists and is never deleted.
    virtual palette_handle default_palette() = 0;
    // Copies count entries of a palette from index first; returns how many.
    virtual int read_entries(palette_handle palette, int first, int count,
                             palette_entry* out) = 0;
    // A new palette holding the entries; 0 when it cannot be made.
    virtual palette_handle make_palette(const palette_entry* entries, int count) = 0;
    // Selects the palette for the window, as a background palette or not;
    // returns the palette selected before, or 0 when the selection failed.
    virtual palette_handle select(window_handle device_context, palette_handle palette,
                                  bool background) = 0;
    // Puts the selected palette on the display; the number of entries that
    // changed there, or -1 when it could not.
    virtual int realise(window_handle device_context) = 0;
    // Forgets how the palette was last realised, so that the next
    // realisation maps it afresh.
    virtual bool unrealise(palette_handle palette) = 0;
    virtual void destroy(palette_handle palette) = 0;
};

// The platform the palette code uses: X colormaps unless a test installed
// another. Passing nullptr puts X colormaps back.
palette_platform& current_palette_platform();
void use_palette_platform(palette_platform* platform);

}  // namespace tessel::toolkit
