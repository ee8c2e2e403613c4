#pragma once
// The load pipeline: one scene file becomes a complete scene store.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "scene/scene.h"

namespace tessel {

// Receives a percentage 0..100. Called only when the value changes.
using progress_sink = std::function<void(int percent)>;

struct load_result {
    bool ok = false;
    std::string error;  // names the file and the reason when !ok
    // Problems that did not stop the load, as "FILE:LINE:COLUMN: message"
    // (the first few hundred kept), and how many there were in all.
    std::vector<std::string> warnings;
    std::int64_t warning_count = 0;
    // Set when the load's budget (reader/budget.h) cut the scene short: the
    // scene on screen lacks the parts this says; a warning says where.
    std::string incomplete;
};

// Reads the file at path, scans it, rebuilds the shapes and computes their
// normals. On success the store is replaced by the new scene (its generation
// raised); on failure it is left exactly as it was. "reading" follows the scan
// position, "processing" gets the milestones 10, 30, 70 and 100. Either sink
// may be empty.
load_result load_scene_file(const std::string& path, scene_store& store,
                            const progress_sink& reading = {},
                            const progress_sink& processing = {});

// Seconds spent in each stage of the last load, for benchmarks.
struct load_timings {
    double read = 0;     // file into memory, comments blanked
    double scan = 0;     // node scan into the stores and text lists
    double rebuild = 0;  // shapes from the lists and stores
    double normals = 0;
};
load_result load_scene_file(const std::string& path, scene_store& store, const progress_sink& reading,
                            const progress_sink& processing, load_timings* timings);

}  // namespace tessel
