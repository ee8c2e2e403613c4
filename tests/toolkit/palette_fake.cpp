#include "palette_fake.h"

#include <cstdio>

namespace tessel::toolkit {

namespace {

std::string hex(unsigned long v) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%lx", v);
    return text;
}

}  // namespace

std::vector<std::string> fake_palette_platform::calls_starting(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& c : calls)
        if (c.compare(0, prefix.size(), prefix) == 0) out.push_back(c);
    return out;
}

palette_handle fake_palette_platform::default_palette() { return DEFAULT; }

int fake_palette_platform::read_entries(palette_handle palette, int first, int count,
                                        palette_entry* out) {
    calls.push_back("read " + hex(palette) + " " + std::to_string(first) + " " +
                    std::to_string(count));
    const std::vector<palette_entry>* list = nullptr;
    if (palette == DEFAULT) {
        list = &defaults;
    } else if (auto it = palettes.find(palette); it != palettes.end()) {
        list = &it->second;
    }
    if (!list || first < 0) return 0;
    int n = 0;
    for (; n < count && first + n < static_cast<int>(list->size()); ++n) out[n] = (*list)[first + n];
    return n;
}

palette_handle fake_palette_platform::make_palette(const palette_entry* entries, int count) {
    calls.push_back("make " + std::to_string(count));
    if (refuse_make || count <= 0) return 0;
    const palette_handle handle = ++next_;
    palettes[handle].assign(entries, entries + count);
    return handle;
}

palette_handle fake_palette_platform::select(window_handle device_context, palette_handle palette,
                                             bool background) {
    calls.push_back("select " + hex(palette) + (background ? " bg" : " fg"));
    if (!device_context || (palette != DEFAULT && !palettes.count(palette))) return 0;
    const palette_handle previous = selected;
    selected = palette;
    selected_background = background;
    return previous;
}

int fake_palette_platform::realise(window_handle device_context) {
    int changed = -1;
    if (device_context) {
        if (selected == shown) {
            changed = 0;
        } else {
            changed = selected == DEFAULT ? static_cast<int>(defaults.size())
                                          : static_cast<int>(palettes[selected].size());
            shown = selected;
        }
    }
    calls.push_back("realise " + hex(selected) + " " + std::to_string(changed));
    return changed;
}

bool fake_palette_platform::unrealise(palette_handle palette) {
    calls.push_back("unrealise " + hex(palette));
    if (refuse_unrealise || (palette != DEFAULT && !palettes.count(palette))) return false;
    if (shown == palette) shown = 0;
    return true;
}

void fake_palette_platform::destroy(palette_handle palette) {
    calls.push_back("destroy " + hex(palette));
    palettes.erase(palette);
}

}  // namespace tessel::toolkit
