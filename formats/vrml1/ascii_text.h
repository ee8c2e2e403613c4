#pragma once
// VRML 1.0 AsciiText, laid out with the system's fonts (media/text_glyphs.h).

#include <cstdint>
#include <string>
#include <vector>

#include "formats/node.h"

namespace tessel::vrml {

// An AsciiText node under the FontStyle in force (null: the defaults) as a
// face set of triangles: x, y, z per point and coordIndex-style indices.
bool ascii_text_faces(const node& text, const node* font_style, std::vector<float>& coords,
                      std::vector<std::int32_t>& coord_index, std::string& error);

}  // namespace tessel::vrml
