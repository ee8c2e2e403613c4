#pragma once
// The node types of the VRML97 standard.

#include <string_view>

#include "formats/node.h"

namespace tessel::vrml {

// The built-in types of the VRML97 standard, with every field a file may
// give (events are left out: a file cannot give them values). Sensors,
// interpolators, Script and the like are known too, as kind quiet, so that
// their DEF names and fields read cleanly. Returns null for an unknown name.
const node_type* vrml2_node_type(std::string_view name);

// The node types of an X3D document: those of VRML97 with the fields X3D
// added (metadata on every node, Switch and LOD children...) and X3D's own
// nodes that this viewer draws or reads quietly. Both the classic encoding
// and the XML encoding's transcoder look types and fields up here.
const node_type* x3d_node_type(std::string_view name);

// The table of a document's reading.
inline const node_type* node_type_for(std::string_view name, bool x3d) {
    return x3d ? x3d_node_type(name) : vrml2_node_type(name);
}

// VRML97 field type names ("SFInt32", "MFNode", "SFTime"...); with x3d, also
// X3D's (SFDouble, SFVec3d, SFColorRGBA, MFBool...), read in single precision.
bool vrml2_field_type_named(std::string_view name, field_type& type, bool x3d = false);

}  // namespace tessel::vrml
