#pragma once
// The VRML97 traversal: walks a parsed document, keeps the transform and the
// lights in scope, resolves each Shape's appearance and geometry nodes into
// the back end's terms, and hands the shape to a geometry sink. Iterative and
// bounded like the VRML 1.0 traversal.

#include <functional>
#include "formats/node.h"
#include "formats/sources.h"
#include "geometry/geometry.h"
#include "world/traversal.h"

#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tessel::vrml {

// The Transforms that events move, and where the walk placed them: each
// place of such a Transform (a USE is another place) became a motion of
// the sink, relative to the moving part around it (-1: the world).
struct moving_parts {
    std::unordered_set<const node*> transforms;
    struct site {
        const node* transform;  // null: a Billboard's part, which stays where it stands
        std::int32_t parent;  // the motion this one's place is relative to, -1: the world
        matrix4 relative;     // from there to the Transform's own parent
        std::int32_t slot;    // its motion
    };
    std::vector<site> sites;  // parents before children, site k places motion k
    // Moving Transforms that carry a light, or the Viewpoint shown: lights
    // and the camera are placed in the world's terms, so moving these asks
    // for the lights (the scene) or the view to be found again.
    std::unordered_set<const node*> carry_lights;
    std::unordered_set<const node*> carry_view;
};

// Walks doc (and the VRML97 files its Inline nodes name, when inlines is
// set) into sink. With release_drawn, the caller reads doc no more: the
// arrays of a face set that nothing else can reach are given back as soon
// as the sink has it, so that a large file and its scene are not both held
// in full.
// The Shapes that events change other than by moving them: each place
// where the walk drew one whose nodes (the Shape, its appearance, material,
// texture transform, geometry and the geometry's coordinates, colours,
// normals, texture coordinates, font style) events write, with what was in
// force there, so that it alone can be drawn again. Textured shapes are
// left out (their images would be decoded again): a change to them
// rebuilds the scene.
struct live_shapes {
    std::unordered_set<const node*> nodes;  // what events write
    struct site {
        const node* shape;
        const document* doc;
        matrix4 matrix;  // relative to the motion
        std::int32_t motion;
        std::vector<std::int32_t> lights;
        std::size_t first;  // the sink's shapes made before, and by, this one
        std::size_t count;
        collision_role collision;
    };
    std::vector<site> sites;
    std::unordered_map<const node*, std::vector<std::size_t>> sites_of;  // by node written
    // The Viewpoint, Background and NavigationInfo events bound: shown
    // rather than the world's first of their kind (null: the first).
    const node* bound[3] = {nullptr, nullptr, nullptr};
};

// Walks a document of the other reading (a VRML 1.0 file that a VRML97
// world inlines) from its own origin into a sink.
using other_reading = std::function<void(const document& doc, geometry_sink& sink, warning_list& warnings)>;

void traverse_vrml2(const document& doc, geometry_sink& sink, warning_list& warnings,
                    inline_source* inlines = nullptr, const traversal_limits& limits = {},
                    bool release_drawn = false, moving_parts* moving = nullptr, live_shapes* live = nullptr,
                    const other_reading* vrml1 = nullptr);

// Draws one recorded Shape again, as it is now, into sink.
void redraw_vrml2_shape(const live_shapes::site& site, geometry_sink& sink, warning_list& warnings);

// A VRML97 Transform's own matrix, from its fields as they are now.
matrix4 vrml2_transform_matrix(const node& transform);

}  // namespace tessel::vrml
