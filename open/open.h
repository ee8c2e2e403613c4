#pragma once
// Opening a scene file in either reading: the standard reading picks its
// parser from the file's first line; the classic reading is the original
// word scan of classic/.

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

#include "input/load_result.h"
#include "open/world.h"
#include "scene/scene.h"

namespace tessel {

enum class reading_mode { standard, classic };

// Loads path into store with the chosen reading. On failure the store is
// left exactly as it was and error names the file and the reason; warnings
// never stop a load. Sinks and timings as for load_scene_file.
load_result open_scene_file(const std::string& path, scene_store& store, reading_mode mode,
                            const progress_sink& reading = {}, const progress_sink& processing = {},
                            load_timings* timings = nullptr);

// The same, and a VRML97 world that can move stays alive in `world` (which
// is emptied otherwise, and whenever the load fails the old world stays).
load_result open_scene_world(const std::string& path, scene_store& store, reading_mode mode,
                             std::unique_ptr<scene_world>& world, const progress_sink& reading = {},
                             const progress_sink& processing = {}, load_timings* timings = nullptr);

// Gives the pages of freed scenes back to the system: for a program that
// lets the scene a load replaced go itself, after the load.
void release_freed_pages();

// Writes a load's warnings to `to`, one a line, at most `shown` of them,
// then one line that counts the rest: a file with thousands of problems
// must not bury the one message that matters under them.
void print_warnings(std::FILE* to, const load_result& result, std::size_t shown = 20);

}  // namespace tessel
