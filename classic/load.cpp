#include "classic/load.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <algorithm>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "input/budget.h"
#include "input/convert.h"
#include "classic/scan.h"
#include "classic/stores.h"
#include "input/text.h"

namespace tessel {
namespace {

using reader::read_entry;
using reader::store_reader;
using reader::text_lists;
using reader::to_single;

void notify(const progress_sink& sink, int percent) {
    if (sink) sink(percent);
}

std::int64_t to_count(double v) {
    if (!(v > 0)) return 0;
    if (v >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(v);
}

// Reads the per-shape values of one list: entry j goes to component j mod
// width of shape j div width. Missing entries leave the values as they are.
template <std::size_t Width>
void read_shape_values(std::string_view list, scene_store& store, float (shape_record::*field)[Width]) {
    std::size_t pos = 0;
    for (shape_record& shape : store.shapes) {
        for (std::size_t c = 0; c < Width; ++c) {
            double v;
            if (!read_entry(list, pos, v)) return;
            (shape.*field)[c] = to_single(v);
        }
    }
}

constexpr std::int64_t chunk_elements = 16384;  // triangles read back at a time

bool read_points(store_reader& in, shape_record& shape, std::int64_t points, std::int64_t stored) {
    // The store holds x, y, z per point, the layout the shape keeps.
    shape.points.resize(static_cast<std::size_t>(3 * points));
    shape.normals.assign(static_cast<std::size_t>(3 * points), 0.0f);
    if (points > 0 && !in.get_floats(shape.points.data(), static_cast<std::size_t>(3 * points))) return false;
    // One or two values beyond the last whole point belong to nobody.
    return in.skip(static_cast<std::size_t>(stored - 3 * points));
}

// Keeps the triangles whose corners all name points of this shape; the
// others cannot be drawn or lit and are dropped here, so nothing later ever
// indexes outside the point arrays. Returns the number kept, or -1 when the
// store ends early.
std::int64_t read_corners(store_reader& in, shape_record& shape, std::int64_t faces, std::int64_t stored,
                          std::int64_t points, std::vector<std::int32_t>& chunk) {
    std::vector<std::uint32_t>& corners = shape.corners.wide();
    corners.reserve(static_cast<std::size_t>(3 * faces));
    for (std::int64_t done = 0; done < faces;) {
        const std::int64_t take = std::min<std::int64_t>(faces - done, chunk_elements);
        if (!in.get_ints(chunk.data(), static_cast<std::size_t>(3 * take))) return -1;
        for (std::int64_t k = 0; k < take; ++k) {
            const std::int32_t a = chunk[3 * k], b = chunk[3 * k + 1], c = chunk[3 * k + 2];
            if (a < 0 || b < 0 || c < 0 || a >= points || b >= points || c >= points) continue;
            corners.push_back(static_cast<std::uint32_t>(a));
            corners.push_back(static_cast<std::uint32_t>(b));
            corners.push_back(static_cast<std::uint32_t>(c));
        }
        done += take;
    }
    if (!in.skip(static_cast<std::size_t>(stored - 3 * faces))) return -1;
    shape.corners.pack();
    return static_cast<std::int64_t>(shape.corners.size() / 3);
}

// Turns the text lists and the stores back into shape records.
bool rebuild(const text_lists& lists, std::int64_t shape_count, const reader::store_files& stores,
             scene_store& next, reader::load_budget& budget, std::string& error) {
    const std::size_t n = static_cast<std::size_t>(shape_count);
    next.shape_count = shape_count;
    next.shapes.resize(n);
    next.point_counts.assign(n, 0);
    next.face_counts.assign(n, 0);
    std::vector<std::int64_t> stored_points(n, 0), stored_indices(n, 0);
    std::size_t pos = 0;
    for (std::size_t i = 0; i < n; ++i) {
        double v;
        if (!read_entry(lists.point_counts, pos, v)) break;
        stored_points[i] = to_count(v);
        next.point_counts[i] = stored_points[i] / 3;
    }
    // A shape without an index list of its own gets no faces.
    pos = 0;
    for (std::size_t i = 0; i < n; ++i) {
        double v;
        if (!read_entry(lists.index_counts, pos, v)) break;
        stored_indices[i] = to_count(v);
    }
    // Points with their normals and triangles, and the drawing's scaled
    // copy of the points, paid before any is read back.
    std::int64_t bytes = static_cast<std::int64_t>(n * sizeof(shape_record));
    for (std::size_t i = 0; i < n; ++i) bytes += next.point_counts[i] * 36 + stored_indices[i] / 3 * 12;
    if (!budget.spend(bytes, "triangles")) {
        error = budget.message();
        return false;
    }
    read_shape_values(lists.translations, next, &shape_record::translation);
    read_shape_values(lists.rotations, next, &shape_record::rotation);
    read_shape_values(lists.scales, next, &shape_record::scale);
    read_shape_values(lists.colours, next, &shape_record::colour);

    store_reader points, corners;
    points.open(stores.points());
    corners.open(stores.indices());
    for (std::size_t i = 0; i < n; ++i) {
        if (!read_points(points, next.shapes[i], next.point_counts[i], stored_points[i])) {
            error = "the coordinate store ended before its counts";
            return false;
        }
    }
    std::vector<std::int32_t> corner_chunk(3 * chunk_elements);
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t kept = read_corners(corners, next.shapes[i], stored_indices[i] / 3, stored_indices[i],
                                               next.point_counts[i], corner_chunk);
        if (kept < 0) {
            error = "the index store ended before its counts";
            return false;
        }
        next.face_counts[i] = kept;
    }
    return true;
}

// Reads path into next through every stage. False with error set when the
// file cannot be read.
bool build_scene(const std::string& path, scene_store& next, const progress_sink& reading,
                 const progress_sink& processing, load_timings& t, std::string& error) {
    using clock = std::chrono::steady_clock;
    auto lap = [last = clock::now()](double& into) mutable {
        const auto now = clock::now();
        into = std::chrono::duration<double>(now - last).count();
        last = now;
    };
    reader::load_budget budget;
    reader::scene_text text;
    if (!reader::read_scene_text(path, text, error, &budget)) return false;
    reader::blank_comments(text.bytes.get(), text.length);
    lap(t.read);
    notify(processing, 10);

    reader::store_files stores;
    if (!stores.create(error)) {
        error = "Cannot load \"" + path + "\": " + error;
        return false;
    }
    reader::store_writer points, indices;
    points.open(stores.points());
    indices.open(stores.indices());
    reader::scan_state scan;
    scan.text = text.bytes.get();
    scan.length = text.length;
    reader::progress_meter meter(&reading, text.length - 1);
    scan.progress = &meter;
    scan.points = &points;
    scan.indices = &indices;
    reader::top_level_scan(scan);
    text.bytes.reset();  // nothing reads the text after the scan
    if (!points.close(error) || !indices.close(error)) {
        error = "Cannot load \"" + path + "\": " + error;
        return false;
    }
    lap(t.scan);
    notify(processing, 30);

    if (!rebuild(scan.lists, scan.shape_count, stores, next, budget, error)) {
        error = "Cannot load \"" + path + "\": " + error;
        return false;
    }
    lap(t.rebuild);
    notify(processing, 70);
    compute_normals(next);
    lap(t.normals);
    notify(processing, 100);
    return true;
}

}  // namespace

load_result load_scene_file(const std::string& path, scene_store& store, const progress_sink& reading,
                            const progress_sink& processing) {
    return load_scene_file(path, store, reading, processing, nullptr);
}

load_result load_scene_file(const std::string& path, scene_store& store, const progress_sink& reading,
                            const progress_sink& processing, load_timings* timings) {
    load_timings unused;
    load_result result;
    scene_store next;
    // Any stage may run out of memory on a large scene; the previous scene
    // stays, and the caller gets a message instead of an abort.
    try {
        if (!build_scene(path, next, reading, processing, timings ? *timings : unused, result.error))
            return result;
    } catch (const std::bad_alloc&) {
        result.error = "Cannot load \"" + path + "\": not enough memory to hold the scene";
        return result;
    } catch (const std::length_error&) {
        result.error = "Cannot load \"" + path + "\": not enough memory to hold the scene";
        return result;
    }
    next.generation = store.generation + 1;
    store = std::move(next);
    result.ok = true;
    return result;
}

}  // namespace tessel
