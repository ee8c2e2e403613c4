#include "formats/vrml1/ascii_text.h"

#include <cmath>

#include "media/text_glyphs.h"

namespace tessel::vrml {

bool ascii_text_faces(const node& text, const node* font_style, std::vector<float>& coords,
                      std::vector<std::int32_t>& coord_index, std::string& error) {
    text_layout layout;
    if (font_style) {
        const float size = font_style->number("size", 10);
        if (std::isfinite(size) && size > 0) layout.size = size;
        const std::string_view family = font_style->word("family", "SERIF");
        layout.family = family == "SANS" ? font_family::sans : family == "TYPEWRITER" ? font_family::typewriter : font_family::serif;
        if (const field_value* v = font_style->value("style"))
            for (const std::string& w : v->words) {
                if (w == "BOLD") layout.bold = true;
                else if (w == "ITALIC") layout.italic = true;
            }
    }
    const float spacing = text.number("spacing", 1);
    if (std::isfinite(spacing)) layout.spacing = spacing;
    const std::string_view justification = text.word("justification", "LEFT");
    layout.justification = justification == "CENTER"  ? text_justification::center
                           : justification == "RIGHT" ? text_justification::right
                                                      : text_justification::left;
    layout.widths = text.numbers("width");
    const field_value* strings = text.value("string");
    if (!strings || strings->words.empty()) return true;
    const std::size_t before = coords.size();
    if (!text_triangles(strings->words, layout, coords, error)) return false;
    for (std::size_t p = before / 3; p < coords.size() / 3; p += 3) {
        for (std::size_t k = 0; k < 3; ++k) coord_index.push_back(static_cast<std::int32_t>(p + k));
        coord_index.push_back(-1);
    }
    return true;
}

}  // namespace tessel::vrml
