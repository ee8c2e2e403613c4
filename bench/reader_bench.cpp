// tessel-reader-bench: times each stage of loading a scene file and a floor
// for the same file (reading it and converting every number in it with
// std::from_chars), measured in the same process.
//
//   tessel-reader-bench load FILE       one classic load, stage times, MB/s
//   tessel-reader-bench standard FILE   one standard load, stage times, MB/s
//   tessel-reader-bench floor FILE      the floor alone
//   tessel-reader-bench floor-huge FILE the floor with the loader's huge-page hint
//   tessel-reader-bench --threads N MODE FILE
//                                       a load that may use N threads (0: one
//                                       per usable core, as without the option)
// bench/reader_bench.sh and bench/big_models.sh run them under /usr/bin/time -v.

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "input/threads.h"
#include "open/open.h"

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point t) {
    return std::chrono::duration<double>(clock_type::now() - t).count();
}

// Best of several runs, to keep the page cache and CPU frequency out of it.
constexpr int runs = 3;

// huge_pages: whether the buffer gets the loader's huge-page hint. Without
// it the floor reads as plainly as it always did (and pays a page fault per
// 4 kB, most of its time on some machines); with it, it stays a floor for a
// loader that reads on huge pages.
int floor_run(const char* path, bool huge_pages) {
    double best = 1e30, sum = 0;
    std::size_t size = 0;
    for (int r = 0; r < runs; ++r) {
        const auto t0 = clock_type::now();
        const int fd = open(path, O_RDONLY);
        if (fd < 0) return std::perror(path), 1;
        struct stat st {};
        fstat(fd, &st);
        size = static_cast<std::size_t>(st.st_size);
        std::unique_ptr<char, decltype(&std::free)> buffer(static_cast<char*>(std::malloc(size + 1)), &std::free);
        if (!buffer) return std::fputs("out of memory\n", stderr), 1;
        constexpr std::uintptr_t huge = std::uintptr_t{2} << 20;
        const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(buffer.get()) + huge - 1) & ~(huge - 1);
        const std::uintptr_t to = (reinterpret_cast<std::uintptr_t>(buffer.get()) + size) & ~(huge - 1);
        if (huge_pages && to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
        struct {
            char* p;
            char* data() { return p; }
        } text{buffer.get()};
        std::size_t got = 0;
        while (got < size) {
            const ssize_t n = read(fd, text.data() + got, size - got);
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        close(fd);
        const char* p = text.data();
        const char* end = p + got;
        double total = 0;
        while (p < end) {
            const char c = *p;
            if ((c >= '0' && c <= '9') || c == '-' || c == '.') {
                double v;
                const auto res = std::from_chars(p, end, v);
                if (res.ec == std::errc()) {
                    total += v;
                    p = res.ptr;
                    continue;
                }
            }
            ++p;
        }
        sum += total;
        const double t = seconds_since(t0);
        if (t < best) best = t;
    }
    const double mb = static_cast<double>(size) / 1e6;
    std::printf("floor %.1f MB  %.6f s  %.1f MB/s  (checksum %g)\n", mb, best, mb / best, sum);
    return 0;
}

int load_run(const char* path, tessel::reading_mode mode) {
    struct stat st {};
    if (stat(path, &st) != 0) return std::perror(path), 1;
    const double mb = static_cast<double>(st.st_size) / 1e6;
    tessel::load_timings best{1e30, 1e30, 1e30, 1e30};
    double best_total = 1e30;
    std::int64_t faces = 0;
    for (int r = 0; r < runs; ++r) {
        tessel::load_timings t;
        const auto t0 = clock_type::now();
        {
            tessel::scene_store store;
            const tessel::load_result res = tessel::open_scene_file(path, store, mode, {}, {}, &t);
            if (!res.ok) {
                std::fprintf(stderr, "%s\n", res.error.c_str());
                return 1;
            }
            faces = 0;
            for (std::int64_t f : store.face_counts) faces += f;
        }
        const double total = seconds_since(t0);
        if (total < best_total) {
            best_total = total;
            best = t;
        }
    }
    std::printf(
        "load  %.1f MB  %lld triangles  read %.3f  scan %.3f  rebuild %.3f  normals %.3f  total %.6f s  %.1f MB/s  "
        "threads %d\n",
        mb, static_cast<long long>(faces), best.read, best.scan, best.rebuild, best.normals, best_total, mb / best_total,
        tessel::reader::load_threads());
    return 0;
}

// N of --threads N: a whole number from 0, or -1 for anything else, so that
// a mistyped count is refused rather than read as 0 (all cores).
int parse_threads(const char* text) {
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || n < 0 || n > 4096) return -1;
    return static_cast<int>(n);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--threads") == 0) {
        const int n = parse_threads(argv[2]);
        if (n < 0) {
            std::fprintf(stderr, "tessel-reader-bench: --threads wants a count from 0, not '%s'\n", argv[2]);
            return 1;
        }
        tessel::reader::set_load_threads(n);
        argv += 2;
        argc -= 2;
    }
    if (argc == 3 && std::strcmp(argv[1], "load") == 0) return load_run(argv[2], tessel::reading_mode::classic);
    if (argc == 3 && std::strcmp(argv[1], "standard") == 0) return load_run(argv[2], tessel::reading_mode::standard);
    if (argc == 3 && std::strcmp(argv[1], "floor") == 0) return floor_run(argv[2], false);
    if (argc == 3 && std::strcmp(argv[1], "floor-huge") == 0) return floor_run(argv[2], true);
    std::fputs("usage: tessel-reader-bench [--threads N] load|standard|floor|floor-huge FILE\n", stderr);
    return 1;
}
