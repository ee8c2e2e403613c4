// tessel-front-bench FILE: times the standard reading's front end alone
// (text, parse, traversal into a sink that only counts), best of three runs,
// for comparison with `tessel-reader-bench floor FILE` on the same file.

#include <chrono>
#include <cstdio>
#include <sys/stat.h>

#include "classic/load.h"
#include "open/read.h"

namespace {

class counting_sink final : public tessel::vrml::geometry_sink {
public:
    std::int64_t shapes = 0, indices = 0, coordinates = 0;
    void face_set(const tessel::vrml::shape_state&, std::span<const float> c, std::span<const std::int32_t> ci,
                  std::span<const std::int32_t>, std::span<const std::int32_t>) override {
        count(c, ci);
    }
    void line_set(const tessel::vrml::shape_state&, std::span<const float> c, std::span<const std::int32_t> ci,
                  std::span<const std::int32_t>, std::span<const std::int32_t>) override {
        count(c, ci);
    }
    void point_set(const tessel::vrml::shape_state&, std::span<const float> c, std::int64_t, std::int64_t) override {
        count(c, {});
    }
    void cube(const tessel::vrml::shape_state&, float, float, float) override { ++shapes; }
    void sphere(const tessel::vrml::shape_state&, float) override { ++shapes; }
    void cone(const tessel::vrml::shape_state&, float, float, unsigned) override { ++shapes; }
    void cylinder(const tessel::vrml::shape_state&, float, float, unsigned) override { ++shapes; }

private:
    void count(std::span<const float> c, std::span<const std::int32_t> ci) {
        ++shapes;
        coordinates += static_cast<std::int64_t>(c.size());
        indices += static_cast<std::int64_t>(ci.size());
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: tessel-front-bench FILE\n", stderr);
        return 1;
    }
    struct stat st {};
    if (stat(argv[1], &st) != 0) return std::perror(argv[1]), 1;
    const double mb = static_cast<double>(st.st_size) / 1e6;
    double best = 1e30;
    tessel::load_timings best_t;
    counting_sink result;
    for (int run = 0; run < 3; ++run) {
        counting_sink sink;
        tessel::vrml::warning_list warnings(argv[1]);
        tessel::load_timings t;
        std::string error;
        const auto t0 = std::chrono::steady_clock::now();
        if (!tessel::vrml::read_standard_file(argv[1], sink, warnings, error, {}, {}, &t)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (total < best) {
            best = total;
            best_t = t;
        }
        result = sink;
    }
    std::printf("front %.1f MB  %lld shapes  %lld coordinates  %lld indices  read %.3f  parse %.3f  traverse %.3f  "
                "total %.3f s  %.1f MB/s\n",
                mb, static_cast<long long>(result.shapes), static_cast<long long>(result.coordinates),
                static_cast<long long>(result.indices), best_t.read, best_t.scan, best_t.rebuild, best, mb / best);
    return 0;
}
