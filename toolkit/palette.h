#pragma once
// Palettes for RGBA formats on displays that need one (an X colormap on a
// PseudoColor visual). On true-colour displays no palette is ever made, and
// every operation here reports that nothing happened.

#include <cstdint>

namespace tessel::toolkit {

using window_handle = unsigned long;   // an X window id; 0 for none
using palette_handle = unsigned long;  // an X colormap id; 0 for none

// The window layer's palette, made when none exists and the current format
// needs one; otherwise 0.
palette_handle create_palette(window_handle device_context);

// Selects and realises the palette; background 1 gives back static colours
// taken over, background 0 takes them over where the palette calls for it.
// The number of changed entries, or -1 when nothing was realised.
int realise_palette(window_handle device_context, palette_handle palette, int background);

// Selects the palette as a background palette and realises it, leaving static
// colours alone (another window changed the display's palette).
int realise_in_background(window_handle device_context, palette_handle palette);

// Puts the display's default palette back (giving static colours back if they
// were taken over) and deletes the palette.
void release_palette(window_handle device_context, palette_handle palette);

// Whether the display's static colours are taken over right now.
bool static_colours_taken();

}  // namespace tessel::toolkit
