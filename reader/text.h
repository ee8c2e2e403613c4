#pragma once
// The bytes of a scene file as every reading sees them: read without ever
// waiting on a pipe or device, inflated when gzip-compressed, and cut at the
// first zero byte, within what the machine can spare.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace tessel::reader {

// The text lives in malloc'd memory so that it can grow with realloc, which
// moves large blocks by remapping pages instead of holding two copies.
struct free_bytes {
    void operator()(char* p) const noexcept { std::free(p); }
};
using text_bytes = std::unique_ptr<char[], free_bytes>;

// The scene text: the file's bytes up to its first zero byte, followed by a
// terminating zero that is not counted in length.
struct scene_text {
    text_bytes bytes;
    std::int64_t length = 0;
};

// Reads path into out. Only regular files are read. On failure returns false
// with error naming the file and the reason; out is then unspecified.
bool read_scene_text(const std::string& path, scene_text& out, std::string& error);

// The most bytes a scene text (read, or inflated) may take: half the physical
// memory and no more than the system reports available, lowered further by a
// budget of the program's own (a thumbnailer's, say). bytes <= 0 removes the
// program's budget.
void set_scene_text_budget(std::int64_t bytes);
std::int64_t scene_text_limit();

}  // namespace tessel::reader
