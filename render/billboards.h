#pragma once
// The parts of a scene that turn to face the viewer, placed for one frame.
// Internal to render/.

#include <vector>

#include "scene/scene.h"

namespace tessel {

// Where every moving part of the store stands in a frame seen through
// `world_to_eye` (column-major, as the GL's model-view matrix): the store's
// own motions, except that each billboard is turned to face the eye and
// whatever stands in a turned part turns with it. Empty when the store has
// no billboards (its motions hold as they are).
std::vector<scene_motion> turned_motions(const scene_store& store, const float world_to_eye[16]);

}  // namespace tessel
