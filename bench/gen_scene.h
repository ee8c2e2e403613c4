#pragma once
// Writes large scenes in the layout that modelling tools export: named
// nodes with Transform, Material, Coordinate3 and IndexedFaceSet, closed
// meshes (tori), one value group per line, CRLF line ends.

#include <cstdint>
#include <string>

namespace tessel::bench {

// Writes about `triangles` triangles spread over a few shapes to path.
// Returns the number of triangles written, or -1 on a write error.
std::int64_t generate_scene(const std::string& path, std::int64_t triangles);

// Writes `count` small Separators, each with its own Transform, Material and
// either a primitive (Cube, Sphere, Cone, Cylinder in turn) or a small face
// set, the layout of scenes assembled from many parts. Returns the number of
// Separators written, or -1 on a write error.
std::int64_t generate_separator_scene(const std::string& path, std::int64_t count);

// Writes about `triangles` triangles as a VRML 2.0 file in the layout its
// exporters write: one Transform per part, holding a Shape with an
// Appearance, a Material and an IndexedFaceSet of 1000 triangles (a closed
// torus), the parts on a grid. Without `smooth` the face sets give no
// creaseAngle, so every face is shaded flat, as many CAD exporters leave
// them; with it they say creaseAngle 0.5 and are shaded smooth, the same
// picture as the VRML 1.0 scenes. Returns the number of triangles written,
// or -1 on a write error.
std::int64_t generate_vrml97_scene(const std::string& path, std::int64_t triangles, bool smooth = false);

// The torus of one part of generate_vrml97_scene (25 x 20 quads, 500
// points), one value group per line as exporters write them: its points as
// "x y z," lines, and its faces as two "a, b, c, -1," triangles a line.
// Both encodings of X3D's benchmark write the same numbers through these.
void append_torus_points(std::string& out);
void append_torus_faces(std::string& out);

// The parts generate_vrml97_scene writes for about `triangles` triangles,
// and where part p of them stands and its colour, so that other encodings
// of the scene write the same numbers.
struct torus_part {
    long long x = 0, y = 0;
    double colour[3] = {0, 0, 0};
};
std::int64_t torus_part_count(std::int64_t triangles);
torus_part torus_part_at(std::int64_t p, std::int64_t count);

// The triangles of the one part generate_vrml97_copies_scene places.
constexpr std::int64_t copied_part_triangles = 10000;

// Writes a VRML 2.0 file laid out as board and assembly exporters write it:
// one part of copied_part_triangles triangles (a closed torus, shaded flat),
// defined once as `DEF Part Group`, and `copies` Transforms on a square grid
// that place it by `USE Part`. The text stays small (about 330 kB for 400
// copies) while the scene holds copies times the part's triangles. Returns
// the number of triangles placed, or -1 on a write error.
std::int64_t generate_vrml97_copies_scene(const std::string& path, std::int64_t copies);

}  // namespace tessel::bench
