#pragma once
// Which syntax a scene text is written in, as its first line says.

#include <string_view>

namespace tessel::vrml {

// x3d: X3D's classic encoding ("#X3D V3.x utf8", "#X3D V4.0 utf8"), read by
// the VRML97 reading in its X3D mode.
// x3d: X3D's classic encoding, read as VRML97; x3d_xml: its XML encoding,
// rewritten as the classic one first.
enum class scene_format { vrml1, inventor_ascii, vrml2, inventor_binary, x3d, x3d_xml, unknown };

// The format a scene text announces on its first line (after a UTF-8 byte
// order mark, if any).
scene_format detect_scene_format(std::string_view text);

// The text without a UTF-8 byte order mark, and its first line.
std::string_view skip_bom(std::string_view text);
std::string_view first_line(std::string_view text);

}  // namespace tessel::vrml
