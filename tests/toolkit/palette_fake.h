#pragma once
// An in-memory display with palettes, for tests: Linux offers no 8-bit
// palette display with OpenGL. It keeps the palettes it made, what is
// selected and realised, and writes every call into a log.

#include <array>
#include <map>
#include <string>
#include <vector>

#include "toolkit/palette_platform.h"

namespace tessel::toolkit {

class fake_palette_platform final : public palette_platform {
public:
    static constexpr palette_handle DEFAULT = 0xDEF;  // the default palette's handle

    palette_handle default_palette() override;
    int read_entries(palette_handle palette, int first, int count, palette_entry* out) override;
    palette_handle make_palette(const palette_entry* entries, int count) override;
    palette_handle select(window_handle device_context, palette_handle palette,
                          bool background) override;
    int realise(window_handle device_context) override;
    bool unrealise(palette_handle palette) override;
    void destroy(palette_handle palette) override;

    // Every call, in order: "make 256", "select 0x101 fg", "realise 0x101 256",
    // "unrealise 0x101", "destroy 0x101", "read 0xdef 0 20".
    std::vector<std::string> calls;
    // Calls whose text starts with prefix.
    std::vector<std::string> calls_starting(const std::string& prefix) const;

    // The default palette's entries (it has as many as this list holds).
    std::vector<palette_entry> defaults{STANDARD_DEFAULT_COLOURS.begin(),
                                        STANDARD_DEFAULT_COLOURS.end()};
    std::map<palette_handle, std::vector<palette_entry>> palettes;  // made and not destroyed
    palette_handle selected = DEFAULT;  // selected for the window
    bool selected_background = false;
    palette_handle shown = DEFAULT;     // realised on the display now
    bool refuse_make = false;           // make_palette fails
    bool refuse_unrealise = false;      // unrealise fails

private:
    palette_handle next_ = 0x100;
};

}  // namespace tessel::toolkit
