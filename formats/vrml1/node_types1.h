#pragma once
// The node types of the VRML 1.0 standard and of the Inventor ascii files
// read with it.

#include <string_view>

#include "formats/node.h"

namespace tessel::vrml {

// The built-in types of VRML 1.0 and the Inventor nodes its files use.
// Returns null for an unknown name.
const node_type* vrml1_node_type(std::string_view name);

// Looks a type name up ("SFFloat", "MFVec3f", Inventor's "MFInt32"...).
// Returns false for names this reader cannot parse.
bool field_type_named(std::string_view name, field_type& type);

}  // namespace tessel::vrml
