#include "toolkit/palette_colours.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tessel::toolkit {

namespace {

// The colours the interface elements start with: a plain grey scheme.
constexpr colour_value START_COLOURS[SYSTEM_COLOUR_ELEMENTS] = {
    0x00C8D0D4,  // scroll bar
    0x00A56E3A,  // desktop
    0x006A240A,  // active title
    0x00808080,  // inactive title
    0x00C8D0D4,  // menu
    0x00FFFFFF,  // window
    0x00000000,  // window frame
    0x00000000,  // menu text
    0x00000000,  // window text
    0x00FFFFFF,  // title text
    0x00C8D0D4,  // active border
    0x00C8D0D4,  // inactive border
    0x00808080,  // application workspace
    0x006A240A,  // highlight
    0x00FFFFFF,  // highlighted text
    0x00C8D0D4,  // button face
    0x00808080,  // button shadow
    0x00808080,  // grey text
    0x00000000,  // button text
    0x00C8D0D4,  // inactive title text
    0x00FFFFFF,  // button highlight
    0x00404040,  // button dark shadow
    0x00C8D0D4,  // button light
    0x00000000,  // tooltip text
    0x00E1FFFF,  // tooltip background
};

}  // namespace

system_colour_service::system_colour_service() { reset(); }

int system_colour_service::set_palette_use(int use) {
    const int before = palette_use_;
    if (use == SYSPAL_STATIC || use == SYSPAL_NOSTATIC) palette_use_ = use;
    return before;
}

colour_value system_colour_service::colour(int element) const {
    if (element < 0 || element >= SYSTEM_COLOUR_ELEMENTS) return 0;
    return colours_[element];
}

bool system_colour_service::set_colours(int count, const int* elements,
                                        const colour_value* values) {
    if (count <= 0) return true;
    for (int i = 0; i < count; ++i)
        if (elements[i] < 0 || elements[i] >= SYSTEM_COLOUR_ELEMENTS) return false;
    for (int i = 0; i < count; ++i) colours_[elements[i]] = values[i];
    ++colour_changes_;
    return true;
}

bool system_colour_service::open_settings() {
    open_ = has_store_;
    return open_;
}

bool system_colour_service::query_setting(const char* name, std::uint32_t* type, char* buffer,
                                          std::uint32_t* size) const {
    if (!open_ || !name) return false;
    const auto it = store_.find(name);
    if (it == store_.end()) return false;
    const std::string& data = it->second.data;
    if (data.size() > *size) return false;
    std::memcpy(buffer, data.data(), data.size());
    *size = static_cast<std::uint32_t>(data.size());
    *type = it->second.type;
    return true;
}

void system_colour_service::close_settings() { open_ = false; }

void system_colour_service::provide_settings(std::map<std::string, colour_setting> settings) {
    store_ = std::move(settings);
    has_store_ = true;
}

void system_colour_service::reset() {
    std::copy(std::begin(START_COLOURS), std::end(START_COLOURS), colours_);
    palette_use_ = SYSPAL_STATIC;
    colour_changes_ = 0;
    has_store_ = false;
    open_ = false;
    store_.clear();
}

system_colour_service& system_colours() {
    static system_colour_service service;
    return service;
}

}  // namespace tessel::toolkit
