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

// VRML97 field type names ("SFInt32", "MFNode", "SFTime"...).
bool vrml2_field_type_named(std::string_view name, field_type& type);

}  // namespace tessel::vrml
