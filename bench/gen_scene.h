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

}  // namespace tessel::bench
