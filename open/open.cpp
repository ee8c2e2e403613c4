#include "open/open.h"

#include <algorithm>
#include <chrono>
#include <exception>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <new>
#include <stdexcept>
#include <utility>

#include "classic/load.h"
#include "input/budget.h"
#include "input/text.h"
#include "geometry/geometry.h"
#include "open/read.h"

namespace tessel {

// The file's text and parsed document, and any scene the new one replaced,
// were freed between the arrays the new scene keeps: give their pages back
// to the system rather than hold them for as long as the scene is shown.
void release_freed_pages() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

namespace {

load_result open_standard(const std::string& path, scene_store& store, const progress_sink& reading,
                          const progress_sink& processing, load_timings* timings,
                          std::unique_ptr<scene_world>* world) {
    load_result result;
    reader::load_budget budget;
    try {
        scene_store next;
        vrml::warning_list warnings(path);
        vrml::scene_builder builder(next, warnings, &budget);
        // A large image takes a while to decode: the reading bar follows it.
        if (reading) builder.follow_decoding(reading);
        std::unique_ptr<scene_world> kept;
        const bool read = world ? vrml::read_standard_world(path, builder, warnings, result.error, reading, processing,
                                                            timings, &budget, kept)
                                : vrml::read_standard_file(path, builder, warnings, result.error, reading, processing,
                                                           timings, &budget);
        if (!read) return result;
        const auto t0 = std::chrono::steady_clock::now();
        builder.finish();
        if (kept) {
            kept->settle(next);
            kept->frame_motion(next);
        }
        if (timings) timings->normals = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        next.generation = store.generation + 1;
        store = std::move(next);
        if (world) *world = std::move(kept);
        result.warnings = warnings.texts();
        result.warning_count = warnings.count();
        if (budget.exceeded()) result.incomplete = budget.message();
        result.ok = true;
        if (processing) processing(100);
    } catch (const std::bad_alloc&) {
        result = load_result{};
        result.error = "Cannot load \"" + path + "\": not enough memory for its scene";
    } catch (const std::length_error&) {
        result = load_result{};
        result.error = "Cannot load \"" + path + "\": not enough memory for its scene";
    }
    return result;
}

}  // namespace

namespace {

load_result open_any(const std::string& path, scene_store& store, reading_mode mode, const progress_sink& reading,
                     const progress_sink& processing, load_timings* timings, std::unique_ptr<scene_world>* world) {
    load_result result;
    try {
        if (mode == reading_mode::classic) {
            result = load_scene_file(path, store, reading, processing, timings);
            if (result.ok && world) world->reset();
        } else {
            result = open_standard(path, store, reading, processing, timings, world);
        }
    } catch (const std::exception& e) {
        // No file may end the program: whatever went wrong is this file's
        // error, and the scene on screen stays.
        result = load_result{};
        result.error = "Cannot load \"" + path + "\": " + e.what();
    }
    release_freed_pages();
    // Errors name the file, and may quote it: safe for a terminal and a window.
    result.error = reader::printable(result.error);
    result.incomplete = reader::printable(result.incomplete);
    return result;
}

}  // namespace

load_result open_scene_file(const std::string& path, scene_store& store, reading_mode mode,
                            const progress_sink& reading, const progress_sink& processing, load_timings* timings) {
    return open_any(path, store, mode, reading, processing, timings, nullptr);
}

load_result open_scene_world(const std::string& path, scene_store& store, reading_mode mode,
                             std::unique_ptr<scene_world>& world, const progress_sink& reading,
                             const progress_sink& processing, load_timings* timings) {
    return open_any(path, store, mode, reading, processing, timings, &world);
}

void print_warnings(std::FILE* to, const load_result& result, std::size_t shown) {
    std::size_t printed = 0;
    for (const std::string& text : result.warnings) {
        if (printed == shown) break;
        std::fprintf(to, "%s\n", text.c_str());
        ++printed;
    }
    const std::int64_t rest = result.warning_count - static_cast<std::int64_t>(printed);
    if (rest > 0) std::fprintf(to, "... and %lld more warning%s\n", static_cast<long long>(rest), rest == 1 ? "" : "s");
}

}  // namespace tessel
