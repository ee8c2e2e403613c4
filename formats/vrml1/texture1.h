#pragma once
// The VRML 1.0 texture nodes as traversal state: which image a Texture2
// names and how it wraps, and the 2D matrix of a Texture2Transform.
// Internal to formats/vrml1/.

#include <string>

#include "geometry/geometry.h"
#include "formats/node.h"

namespace tessel::vrml {

// Fills out from a Texture2 node of doc; false when the node turns
// texturing off (no file name and an empty image).
bool texture2_source(const node& n, const document& doc, texture_source& out);

// A Texture2Transform's matrix: scaled and turned about its centre, then moved.
texture_matrix texture2_transform_matrix(const node& n);

}  // namespace tessel::vrml
