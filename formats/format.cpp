#include "formats/format.h"

#include <algorithm>

namespace tessel::vrml {

namespace {

bool starts_with(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

}  // namespace

std::string_view skip_bom(std::string_view text) { return starts_with(text, "\xEF\xBB\xBF") ? text.substr(3) : text; }

std::string_view first_line(std::string_view text) {
    text = skip_bom(text);
    const std::size_t end = text.find_first_of("\r\n");
    return end == std::string_view::npos ? text : text.substr(0, end);
}

scene_format detect_scene_format(std::string_view text) {
    const std::string_view line = first_line(text);
    if (starts_with(line, "#VRML V1.0 ascii")) return scene_format::vrml1;
    if (starts_with(line, "#Inventor V2.0 ascii") || starts_with(line, "#Inventor V2.1 ascii"))
        return scene_format::inventor_ascii;
    if (starts_with(line, "#VRML V2.0")) return scene_format::vrml2;
    // X3D 3.0 to 3.3 and 4.0; a later minor version reads the same way.
    if (starts_with(line, "#X3D V3.") || starts_with(line, "#X3D V4.")) return scene_format::x3d;
    if (starts_with(line, "#Inventor V") && line.find("binary") != std::string_view::npos)
        return scene_format::inventor_binary;
    // XML: a declaration, a DOCTYPE or the X3D element, perhaps after blank
    // lines or a comment; whether it is X3D the rewriting finds out.
    std::string_view start = skip_bom(text);
    start.remove_prefix(std::min(start.size(), start.find_first_not_of(" \t\r\n")));
    for (const std::string_view opening : {"<?xml", "<!DOCTYPE X3D", "<X3D", "<!--"})
        if (starts_with(start, opening)) return scene_format::x3d_xml;
    return scene_format::unknown;
}

}  // namespace tessel::vrml
