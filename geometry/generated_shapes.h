#pragma once
// Shapes that a VRML97 file describes by parameters rather than by points:
// ElevationGrid and Extrusion. Each is turned into plain face-set arrays that
// a front end hands to geometry_sink::face_set, so that triangulation,
// normals, bindings and texturing stay in the one geometry back end. Nothing
// here knows a node model or a file.
//
// Both functions return false, with `problem` saying why, when there is
// nothing to draw (the shape is empty, malformed or too large); `out` is then
// empty. They may also return true with a `problem` set: the input was
// repaired (missing heights, too few scale values...) and the file's author
// deserves a warning, but the shape is still drawn.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tessel::vrml {

// A shape built from parameters rather than listed by the file: points, faces ending at -1,
// and the default texture coordinates with an index list parallel to coord_index.
struct generated_faces {
    std::vector<float> coords;                      // x, y, z per point
    std::vector<std::int32_t> coord_index;          // faces, each ended by -1
    std::vector<float> texture_coords;              // s, t per entry
    std::vector<std::int32_t> texture_coord_index;  // parallel to coord_index (same -1s)
    std::size_t side_faces = 0;  // Extrusion: faces before this index are the sides, then caps
};

// Above this many points a generated shape is refused: the arrays would take
// gigabytes, and such counts come from a typo or a hostile file, not a model.
inline constexpr std::int64_t generated_point_limit = 10'000'000;

// Vertex (i, j) is point j * x_dimension + i at (i * x_spacing, height, j *
// z_spacing), so lists given per vertex index like the points. Cell (i, j) is
// face j * (x_dimension - 1) + i, so lists given per face index like the
// cells; its corners run so that the +y side is the front (counterclockwise
// seen from above). Texture coordinate s grows with x, t with z, from 0 at
// the first vertex to 1 at the last.
//
// Fewer heights than vertices: the missing ones are 0 and `problem` says so;
// NaN or infinite heights are 0 as well. Extra heights are ignored.
struct elevation_grid_params {
    std::int32_t x_dimension = 0, z_dimension = 0;
    float x_spacing = 1, z_spacing = 1;
    std::span<const float> height;  // x_dimension * z_dimension values, row by row (x fastest)
};
bool elevation_grid_faces(const elevation_grid_params& p, generated_faces& out, std::string& problem);

// The cross-section is placed at every spine point in the spine-aligned
// cross-section plane, scaled and turned there, and consecutive placements
// are joined by quads: side face j * (cross-section points - 1) + i joins
// cross-section points i, i + 1 at spine points j, j + 1, counterclockwise
// seen from outside when the cross-section runs counterclockwise seen from
// +y (as the default square does). The caps follow: the begin cap, then the
// end cap, each one polygon facing away from the spine.
//
// Points that coincide by construction (a closed cross-section's last point,
// a closed spine's last placement when it equals the first) are shared, so
// that smooth normals run across the seam; texture coordinates are not.
//
// Empty lists take the node's defaults. A scale or orientation list longer
// than one entry but shorter than the spine repeats its last entry (with a
// problem). NaN or infinite numbers refuse the shape.
struct extrusion_params {
    std::span<const float> cross_section;  // x, z pairs (default: 1 1, 1 -1, -1 -1, -1 1, 1 1)
    std::span<const float> spine;          // x, y, z per spine point (default 0 0 0, 0 1 0)
    std::span<const float> scale;          // x, z pairs; one pair for all, or one per spine point
    std::span<const float> orientation;    // axis x, y, z, angle per entry; one for all, or one per spine point
    bool begin_cap = true, end_cap = true;
};
bool extrusion_faces(const extrusion_params& p, generated_faces& out, std::string& problem);

}  // namespace tessel::vrml
