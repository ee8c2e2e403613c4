#pragma once
// Lights and cameras of the standard reading, placed in world coordinates by
// the transform in force where they stand in the file.

#include <optional>

#include "scene/scene.h"
#include "geometry/geometry.h"
#include "formats/node.h"

namespace tessel::vrml {

// The light a DirectionalLight, PointLight or SpotLight node (of either
// standard) gives under `matrix`, or nothing when it is switched off.
std::optional<scene_light> world_light(const node& n, const matrix4& matrix);

// The viewpoint a PerspectiveCamera, OrthographicCamera or VRML97 Viewpoint
// node gives under `matrix`.
scene_camera world_camera(const node& n, const matrix4& matrix);

}  // namespace tessel::vrml
