#pragma once
// The classic reading's load pipeline: one scene file becomes a complete
// scene store, through the original word scan.

#include <string>

#include "input/load_result.h"
#include "scene/scene.h"

namespace tessel {

// Reads the file at path, scans it, rebuilds the shapes and computes their
// normals. On success the store is replaced by the new scene (its generation
// raised); on failure it is left exactly as it was. "reading" follows the scan
// position, "processing" gets the milestones 10, 30, 70 and 100. Either sink
// may be empty.
load_result load_scene_file(const std::string& path, scene_store& store,
                            const progress_sink& reading = {},
                            const progress_sink& processing = {});

load_result load_scene_file(const std::string& path, scene_store& store, const progress_sink& reading,
                            const progress_sink& processing, load_timings* timings);

}  // namespace tessel
