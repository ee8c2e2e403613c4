#pragma once
// The VRML 1.0 traversal: walks a parsed document in file order, keeps the
// traversal state (transform, material, bindings, coordinates, normals, shape
// hints) as the VRML 1.0 standard defines it, and hands every shape to a
// geometry sink with that state resolved. Iterative, so any nesting depth is
// walked; bounded, so a small file that instances itself exponentially ends.

#include "formats/node.h"
#include "formats/sources.h"
#include "geometry/geometry.h"
#include "world/traversal.h"

namespace tessel::vrml {

// Walks doc (and the inlines it names, when inlines is set) into sink.
void traverse_vrml1(const document& doc, geometry_sink& sink, warning_list& warnings,
                    inline_source* inlines = nullptr, const traversal_limits& limits = {});

}  // namespace tessel::vrml
