#pragma once
// Scenes are often shipped gzip-compressed (.wrl.gz, or .wrl files that are
// compressed anyway); they are inflated before the scan.

#include <cstdint>
#include <string>

#include "input/text.h"

namespace tessel::reader {

// No scene a viewer can show needs more text than this, however much memory
// the machine has.
constexpr std::int64_t inflated_ceiling = std::int64_t{1} << 30;
// Scene text, even indented, shrinks a few times to a few tens of times under
// gzip; a stream that expands far more is a bomb. Small outputs are let
// through whatever their ratio.
constexpr std::int64_t bomb_ratio = 200;
constexpr std::int64_t bomb_floor = std::int64_t{64} << 20;

// Replaces bytes[0, size) (a gzip stream, possibly of several members) with
// its inflated content up to the first zero byte, keeping one spare byte at
// the end for a terminator. Refuses content larger than limit (or the
// ceiling) and bombs as soon as they show, before spending memory on them.
// On failure returns false with error set and leaves bytes as they were.
bool gunzip(text_bytes& bytes, std::int64_t& size, std::int64_t limit, std::string& error);

}  // namespace tessel::reader
