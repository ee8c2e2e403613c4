#pragma once
// The bytes of a scene file as every reading sees them: read whole,
// inflated when gzip-compressed, and cut at the first zero byte.

#include <cstdint>
#include <memory>
#include <string>

namespace tessel::reader {

// The scene text: the file's bytes up to its first zero byte, followed by a
// terminating zero that is not counted in length.
struct scene_text {
    std::unique_ptr<char[]> bytes;
    std::int64_t length = 0;
};

// Reads path into out. On failure returns false with error naming the file
// and the system's reason; out is then unspecified.
bool read_scene_text(const std::string& path, scene_text& out, std::string& error);

}  // namespace tessel::reader
