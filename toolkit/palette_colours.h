#pragma once
// System colours of the process: the colours of the 25 interface elements,
// the switch that says whether the display keeps its static colours, and the
// user's stored colour settings. X has none of these, so they live here, in
// process; nothing outside the toolkit reads them. Linux has no store of
// colour settings either: opening it fails unless a store was provided (as
// tests do), and then every colour saved at a takeover is given back as it
// was.

#include <cstdint>
#include <map>
#include <string>

namespace tessel::toolkit {

using colour_value = std::uint32_t;  // 0x00BBGGRR, red in the low byte

constexpr int SYSPAL_STATIC = 1;    // the display keeps its static colours
constexpr int SYSPAL_NOSTATIC = 2;  // all but black and white are free for palettes

constexpr int SYSTEM_COLOUR_ELEMENTS = 25;

// Types of stored settings values.
constexpr std::uint32_t SETTING_TEXT = 1;  // NUL-terminated 8-bit text
constexpr std::uint32_t SETTING_BINARY = 3;
constexpr std::uint32_t SETTING_NUMBER = 4;

// One stored value: its type and its bytes as stored (text with its NUL).
struct colour_setting {
    std::uint32_t type = SETTING_TEXT;
    std::string data;
};

// A text setting as a store holds it, terminating NUL included.
inline colour_setting text_setting(const std::string& text) {
    return colour_setting{SETTING_TEXT, text + '\0'};
}

class system_colour_service {
public:
    system_colour_service();

    // Switches the use of the static colours; returns the use before.
    int set_palette_use(int use);
    int palette_use() const { return palette_use_; }

    // Colour of an element; 0 for an index outside the table.
    colour_value colour(int element) const;
    // Sets count elements at once; false (nothing changed) when an index is
    // outside the table.
    bool set_colours(int count, const int* elements, const colour_value* values);
    // How many times set_colours changed anything since the start.
    int colour_changes() const { return colour_changes_; }

    // The user's colour settings: open, query values by name, close. A query
    // copies the value into buffer when it fits in *size bytes and reports its
    // type and size; false when the value is missing or longer than the buffer.
    bool open_settings();
    bool query_setting(const char* name, std::uint32_t* type, char* buffer,
                       std::uint32_t* size) const;
    void close_settings();

    // Gives the process a store of colour settings (there is none on Linux).
    void provide_settings(std::map<std::string, colour_setting> settings);
    // Back to the start: standard colours, static colours kept, no store.
    void reset();

private:
    colour_value colours_[SYSTEM_COLOUR_ELEMENTS];
    int palette_use_ = SYSPAL_STATIC;
    int colour_changes_ = 0;
    bool has_store_ = false;
    bool open_ = false;
    std::map<std::string, colour_setting> store_;
};

// The process's one service.
system_colour_service& system_colours();

}  // namespace tessel::toolkit
