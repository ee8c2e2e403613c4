#pragma once
// The VRML97 traversal: walks a parsed document, keeps the transform and the
// lights in scope, resolves each Shape's appearance and geometry nodes into
// the back end's terms, and hands the shape to a geometry sink. Iterative and
// bounded like the VRML 1.0 traversal.

#include "formats/node.h"
#include "formats/sources.h"
#include "geometry/geometry.h"
#include "world/traversal.h"

namespace tessel::vrml {

// Walks doc (and the VRML97 files its Inline nodes name, when inlines is
// set) into sink. With release_drawn, the caller reads doc no more: the
// arrays of a face set that nothing else can reach are given back as soon
// as the sink has it, so that a large file and its scene are not both held
// in full.
void traverse_vrml2(const document& doc, geometry_sink& sink, warning_list& warnings,
                    inline_source* inlines = nullptr, const traversal_limits& limits = {},
                    bool release_drawn = false);

}  // namespace tessel::vrml
