#include "fuzz_load.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "input/budget.h"
#include "open/open.h"

namespace {

// The shape arrays agree with their counts and every corner names a point
// of its shape, as the renderer relies on.
void check_store(const tessel::scene_store& store) {
    if (store.shapes.size() != static_cast<std::size_t>(store.shape_count)) std::abort();
    if (store.point_counts.size() != store.shapes.size() || store.face_counts.size() != store.shapes.size()) std::abort();
    for (std::size_t i = 0; i < store.shapes.size(); ++i) {
        const auto& record = store.shapes[i];
        // A copy draws an earlier record's arrays, one that is no copy.
        if (record.shares >= 0 && (static_cast<std::size_t>(record.shares) >= i ||
                                   store.shapes[static_cast<std::size_t>(record.shares)].shares >= 0 ||
                                   record.motion < 0))
            std::abort();
        const auto& s = tessel::drawn_arrays(store, record);
        const auto points = static_cast<std::size_t>(store.point_counts[i]);
        const auto faces = static_cast<std::size_t>(store.face_counts[i]);
        const std::size_t corners = tessel::corners_per_primitive(s.kind);
        if (s.points.size() != 3 * points) std::abort();
        // The renderer draws the store's arrays as they are: a normal, and
        // where there are colours a colour, for every point.
        if (s.normals.size() != 3 * points) std::abort();
        if (!s.colours.empty() && s.colours.size() != 4 * points) std::abort();
        if (s.corners.size() != corners * faces) std::abort();
        // A shape of a moving part names a place of the store.
        if (record.motion >= 0 && static_cast<std::size_t>(record.motion) >= store.motions.size()) std::abort();
        for (const std::uint32_t v : s.corners)
            if (v >= points) std::abort();
        // A textured shape names an image of the store and has a coordinate per point.
        if (s.texture >= 0 && (static_cast<std::size_t>(s.texture) >= store.textures.size() ||
                               s.texture_coords.size() != 2 * points))
            std::abort();
    }
}

}  // namespace

void fuzz_load_one(const std::uint8_t* data, std::size_t size) {
    // An in-memory file keeps the disk out of the loop; the load opens it by
    // path like any other file.
    static const int fd = memfd_create("tessel-fuzz", 0);
    if (fd < 0) std::abort();
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    // The budget a thumbnailer gives a load: every input must end within
    // it, with a message when it does not fit, never by running out.
    tessel::reader::set_load_budget(std::int64_t{256} << 20);

    for (const tessel::reading_mode mode : {tessel::reading_mode::classic, tessel::reading_mode::standard}) {
        tessel::scene_store store;
        store.generation = 41;
        int last = -1;
        std::unique_ptr<tessel::scene_world> world;
        const tessel::load_result r = tessel::open_scene_world(path, store, mode, world, [&](int p) {
            if (p <= last || p > 100) std::abort();  // progress only rises, within 0..100
            last = p;
        });
        if (!r.ok) {
            // A failure says why and leaves the store as it was.
            if (r.error.empty() || store.generation != 41 || !store.shapes.empty()) std::abort();
            if (mode == tessel::reading_mode::classic) {
                // Every readable text is a classic scene, possibly empty; only a
                // damaged compressed stream may fail.
                if (!(size >= 2 && data[0] == 0x1f && data[1] == 0x8b)) std::abort();
            }
            continue;
        }
        if (store.generation != 42) std::abort();
        if (r.warning_count < static_cast<std::int64_t>(r.warnings.size())) std::abort();
        // A scene cut short by the budget says where, in a warning.
        if (!r.incomplete.empty() && r.warning_count == 0) std::abort();
        check_store(store);
        if (!world) continue;
        // A world that moves: a few ticks, a jump ahead, and back to the start,
        // each leaving a store the renderer can draw.
        if (mode == tessel::reading_mode::classic) std::abort();
        world->play_to(0.25, store);
        check_store(store);
        world->tick(7.5, store);
        check_store(store);
        world->restart(store);
        check_store(store);
        world->play_to(0.05, store);
        check_store(store);
    }
}
