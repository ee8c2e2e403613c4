#pragma once
// The VRML 1.0 texture nodes as traversal state: which image a Texture2
// names and how it wraps, and the 2D matrix of a Texture2Transform.
// Internal to vrml/.

#include <string>

#include "vrml/geometry.h"
#include "vrml/node.h"

namespace tessel::vrml {

// Fills out from a Texture2 node of doc; false when the node turns
// texturing off (no file name and an empty image).
bool texture2_source(const node& n, const document& doc, texture_source& out);

// A Texture2Transform's matrix: scaled and turned about its centre, then moved.
texture_matrix texture2_transform_matrix(const node& n);

// a * b: b applies to the coordinates first.
texture_matrix multiply(const texture_matrix& a, const texture_matrix& b);

// The image file a name stands for, relative to the directory of the scene
// file `from`. Absolute names and names with a URL scheme other than file:
// are taken as they are.
std::string resolve_image_name(const std::string& from, const std::string& name);

}  // namespace tessel::vrml
