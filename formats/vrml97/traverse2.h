#pragma once
// The VRML97 traversal: walks a parsed document, keeps the transform and the
// lights in scope, resolves each Shape's appearance and geometry nodes into
// the back end's terms, and hands the shape to a geometry sink. Iterative and
// bounded like the VRML 1.0 traversal.

#include "formats/node.h"
#include "formats/sources.h"
#include "geometry/geometry.h"
#include "world/traversal.h"

#include <unordered_set>
#include <vector>

namespace tessel::vrml {

// The Transforms that events move, and where the walk placed them: each
// place of such a Transform (a USE is another place) became a motion of
// the sink, relative to the moving part around it (-1: the world).
struct moving_parts {
    std::unordered_set<const node*> transforms;
    struct site {
        const node* transform;
        std::int32_t parent;  // the motion this one's place is relative to, -1: the world
        matrix4 relative;     // from there to the Transform's own parent
        std::int32_t slot;    // its motion
    };
    std::vector<site> sites;  // parents before children
};

// Walks doc (and the VRML97 files its Inline nodes name, when inlines is
// set) into sink. With release_drawn, the caller reads doc no more: the
// arrays of a face set that nothing else can reach are given back as soon
// as the sink has it, so that a large file and its scene are not both held
// in full.
void traverse_vrml2(const document& doc, geometry_sink& sink, warning_list& warnings,
                    inline_source* inlines = nullptr, const traversal_limits& limits = {},
                    bool release_drawn = false, moving_parts* moving = nullptr);

// A VRML97 Transform's own matrix, from its fields as they are now.
matrix4 vrml2_transform_matrix(const node& transform);

}  // namespace tessel::vrml
