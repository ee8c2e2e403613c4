#include "vrml/open.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <utility>

#include "vrml/geometry.h"
#include "vrml/read.h"

namespace tessel {

load_result open_scene_file(const std::string& path, scene_store& store, reading_mode mode,
                            const progress_sink& reading, const progress_sink& processing, load_timings* timings) {
    if (mode == reading_mode::classic) return load_scene_file(path, store, reading, processing, timings);
    load_result result;
    try {
        scene_store next;
        vrml::warning_list warnings(path);
        vrml::scene_builder builder(next, warnings);
        if (!vrml::read_standard_file(path, builder, warnings, result.error, reading, processing, timings))
            return result;
        const auto t0 = std::chrono::steady_clock::now();
        builder.finish();
        if (timings) timings->normals = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        next.generation = store.generation + 1;
        store = std::move(next);
        result.warnings = warnings.texts();
        result.warning_count = warnings.count();
        result.ok = true;
        if (processing) processing(100);
    } catch (const std::bad_alloc&) {
        result = load_result{};
        result.error = "Cannot load \"" + path + "\": not enough memory for its scene";
    }
    return result;
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
