#pragma once
// Palettes as X colormaps. A palette is a colormap of the window's visual
// with every cell allocated and stored; realising it makes it the window's
// colormap (and lists the window in WM_COLORMAP_WINDOWS), so the window
// manager installs it whenever the window has the colormap focus, which is
// what being realised in the foreground means on X. The screen's default
// colormap stands for the default palette. Only PseudoColor and GrayScale
// visuals have colormaps that can be written cell by cell like this.

#include <map>

#include "toolkit/palette_platform.h"

namespace tessel::toolkit {

class x_palette_platform final : public palette_platform {
public:
    palette_handle default_palette() override;
    int read_entries(palette_handle palette, int first, int count, palette_entry* out) override;
    palette_handle make_palette(const palette_entry* entries, int count) override;
    palette_handle select(window_handle device_context, palette_handle palette,
                          bool background) override;
    int realise(window_handle device_context) override;
    bool unrealise(palette_handle palette) override;
    void destroy(palette_handle palette) override;

private:
    // Starts over when the selection is asked for another window.
    void follow(window_handle device_context);
    int cells_of(palette_handle palette);

    std::map<palette_handle, int> made_;  // colormaps made here, with their stored cells
    window_handle window_ = 0;           // the window the selection belongs to
    palette_handle selected_ = 0;        // the palette the next realisation puts on it
    palette_handle shown_ = 0;           // the palette that is the window's colormap now
};

}  // namespace tessel::toolkit
