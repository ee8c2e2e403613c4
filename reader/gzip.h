#pragma once
// Scenes are often shipped gzip-compressed (.wrl.gz, or .wrl files that are
// compressed anyway); they are inflated before the scan.

#include <cstdint>
#include <memory>
#include <string>

namespace tessel::reader {

// Replaces bytes[0, size) (a gzip stream, possibly of several members) with
// its inflated content, keeping one spare byte at the end for a terminator.
// Refuses content larger than limit bytes. On failure returns false with
// error set and leaves bytes as they were.
bool gunzip(std::unique_ptr<char[]>& bytes, std::int64_t& size, std::int64_t limit, std::string& error);

}  // namespace tessel::reader
