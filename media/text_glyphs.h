#pragma once
// Text as filled letters: the outlines of a real system font (found through
// Fontconfig, read with FreeType) flattened and split into triangles with
// GLU's tessellator, laid out in the text's own plane.

#include <cstdint>
#include <span>
#include <string>
#include <vector>


namespace tessel::vrml {

// What a character costs once laid out and stored (a few dozen triangles),
// afforded before the letters are made.
constexpr std::int64_t glyph_bytes = 4000;

enum class font_family { serif, sans, typewriter };
enum class text_justification { left, center, right };

struct text_layout {
    float size = 10.0f;     // height of the letters (the font's em)
    font_family family = font_family::serif;
    bool bold = false;
    bool italic = false;
    float spacing = 1.0f;   // between baselines, in sizes
    text_justification justification = text_justification::left;
    std::span<const float> widths;  // per line; 0 or missing: the line's own width
};

// Appends x, y, z (z = 0) for the corners of each triangle of the lines,
// three points a triangle, counterclockwise seen from +z: the first line's
// baseline on y = 0, each next one `spacing * size` lower, justified about
// x = 0. Bytes are read as UTF-8 (Latin-1 where not valid UTF-8). False
// with a message when no font can be opened; characters the font lacks are
// left out.
bool text_triangles(std::span<const std::string> lines, const text_layout& layout, std::vector<float>& xyz,
                    std::string& error);

}  // namespace tessel::vrml
