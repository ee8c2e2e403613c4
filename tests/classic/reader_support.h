#pragma once
// Helpers shared by the reader tests: run the scan over a text held in
// memory and look at what it wrote, or load a text through a real file.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "classic/load.h"
#include "classic/scan.h"
#include "tests/support/test_env.h"

namespace tessel::test {

inline std::vector<unsigned char> file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Everything written to fd, from its start.
inline std::vector<unsigned char> fd_bytes(int fd) {
    std::vector<unsigned char> out;
    unsigned char buf[65536];
    for (off_t at = 0;;) {
        const ssize_t n = pread(fd, buf, sizeof buf, at);
        if (n <= 0) break;
        out.insert(out.end(), buf, buf + n);
        at += n;
    }
    return out;
}

inline std::vector<float> as_floats(const std::vector<unsigned char>& b) {
    std::vector<float> out(b.size() / 4);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::uint32_t w = std::uint32_t(b[4 * i]) | std::uint32_t(b[4 * i + 1]) << 8 |
                                std::uint32_t(b[4 * i + 2]) << 16 | std::uint32_t(b[4 * i + 3]) << 24;
        std::memcpy(&out[i], &w, 4);
    }
    return out;
}

inline std::vector<std::int32_t> as_ints(const std::vector<unsigned char>& b) {
    std::vector<std::int32_t> out(b.size() / 4);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<std::int32_t>(std::uint32_t(b[4 * i]) | std::uint32_t(b[4 * i + 1]) << 8 |
                                           std::uint32_t(b[4 * i + 2]) << 16 | std::uint32_t(b[4 * i + 3]) << 24);
    return out;
}

// What one scan produced.
struct scan_output {
    reader::text_lists lists;
    std::int64_t shapes = 0;
    std::int64_t cursor = 0;
    std::vector<float> points;        // the points store
    std::vector<std::int32_t> index;  // the indices store
    std::vector<unsigned char> point_bytes, index_bytes;
    std::vector<int> progress;
};

// Runs comment blanking and the top-level scan over text, as a load does.
inline scan_output scan(std::string text) {
    std::string error;
    reader::store_files stores;
    if (!stores.create(error)) std::abort();
    reader::store_writer vx, fc;
    vx.open(stores.points());
    fc.open(stores.indices());
    scan_output out;
    const progress_sink sink = [&](int p) { out.progress.push_back(p); };
    const std::size_t zero = text.find('\0');
    if (zero != std::string::npos) text.resize(zero);
    reader::blank_comments(text.data(), static_cast<std::int64_t>(text.size()));
    reader::scan_state s;
    s.text = text.data();
    s.length = static_cast<std::int64_t>(text.size());
    reader::progress_meter meter(&sink, s.length - 1);
    s.progress = &meter;
    s.points = &vx;
    s.indices = &fc;
    reader::top_level_scan(s);
    vx.close(error);
    fc.close(error);
    out.lists = s.lists;
    out.shapes = s.shape_count;
    out.cursor = s.cursor;
    out.point_bytes = fd_bytes(stores.points());
    out.index_bytes = fd_bytes(stores.indices());
    out.points = as_floats(out.point_bytes);
    out.index = as_ints(out.index_bytes);
    return out;
}

// Loads text through a real file into a fresh store.
inline scene_store load_text(const std::string& text, load_result* result = nullptr) {
    scratch_dir dir;
    scene_store store;
    const load_result r = load_scene_file(dir.write("scene.wrl", text), store);
    if (result) *result = r;
    return store;
}

// Replaces every "\n" by "\r\n".
inline std::string crlf(const std::string& lf) {
    std::string out;
    for (char c : lf) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

}  // namespace tessel::test
