#include "fuzz_load.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "reader/load.h"

void fuzz_load_one(const std::uint8_t* data, std::size_t size) {
    // An in-memory file keeps the disk out of the loop; the load opens it by
    // path like any other file.
    static const int fd = memfd_create("tessel-fuzz", 0);
    if (fd < 0) std::abort();
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    tessel::scene_store store;
    int last = -1;
    const tessel::load_result r = tessel::load_scene_file(path, store, [&](int p) {
        if (p <= last || p > 100) std::abort();  // progress only rises, within 0..100
        last = p;
    });
    // Every readable text is a scene, possibly empty; only a damaged
    // compressed stream may fail, and then it must say why.
    const bool compressed = size >= 2 && data[0] == 0x1f && data[1] == 0x8b;
    if (!r.ok && (!compressed || r.error.empty())) std::abort();
    if (!r.ok) return;
    if (store.shapes.size() != static_cast<std::size_t>(store.shape_count)) std::abort();
    for (std::size_t i = 0; i < store.shapes.size(); ++i) {
        const auto& s = store.shapes[i];
        for (int c = 0; c < 3; ++c) {
            if (s.point[c].size() != static_cast<std::size_t>(store.point_counts[i])) std::abort();
            if (s.normal[c].size() != static_cast<std::size_t>(store.point_counts[i])) std::abort();
            if (s.corner[c].size() != static_cast<std::size_t>(store.face_counts[i])) std::abort();
            for (std::int32_t v : s.corner[c])
                if (v < 0 || v >= store.point_counts[i]) std::abort();
        }
    }
}
