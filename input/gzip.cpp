#include "input/gzip.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <zlib.h>

namespace tessel::reader {
namespace {

std::string megabytes(std::int64_t bytes) { return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MB"; }

// A first guess at the inflated size: the trailer of the last member holds
// its size modulo 4 GiB, believed only where no bomb check would object.
std::int64_t first_capacity(const char* in, std::int64_t size, std::int64_t limit) {
    std::int64_t guess = size * 4 + 4096;
    if (size >= 18) {
        const auto* t = reinterpret_cast<const unsigned char*>(in + size - 4);
        const std::int64_t trailer = t[0] | t[1] << 8 | t[2] << 16 | std::int64_t{t[3]} << 24;
        if (trailer <= std::max(bomb_floor, size * bomb_ratio)) guess = std::max(guess, trailer + 1);
    }
    return std::min(guess, limit + 1);
}

}  // namespace

bool gunzip(text_bytes& bytes, std::int64_t& size, std::int64_t limit, std::string& error) {
    limit = std::min(limit, inflated_ceiling);
    z_stream z{};
    if (inflateInit2(&z, 15 + 16) != Z_OK) {
        error = "cannot start decompression";
        return false;
    }
    std::int64_t capacity = first_capacity(bytes.get(), size, limit);
    text_bytes out(static_cast<char*>(std::malloc(static_cast<std::size_t>(capacity) + 1)));
    std::int64_t produced = 0;
    std::int64_t consumed = 0;
    bool ok = out != nullptr;
    if (!ok) error = "not enough memory to decompress it";
    while (ok) {
        if (produced == capacity) {
            if (capacity > limit) {
                error = "its decompressed content exceeds " + megabytes(limit) + ", the most a scene may take here";
                ok = false;
                break;
            }
            // Half again, not double: realloc remaps large blocks in place,
            // so the cost is the reserve, and it should stay near the need.
            const std::int64_t grown = std::min(capacity + capacity / 2, limit + 1);
            char* bigger = static_cast<char*>(std::realloc(out.get(), static_cast<std::size_t>(grown) + 1));
            if (!bigger) {
                error = "not enough memory to decompress it";
                ok = false;
                break;
            }
            out.release();
            out.reset(bigger);
            capacity = grown;
        }
        // zlib counts in 32 bits: feed and drain in slices.
        const std::int64_t in_left = size - consumed;
        const std::int64_t out_left = capacity - produced;
        z.next_in = reinterpret_cast<Bytef*>(bytes.get() + consumed);
        z.avail_in = static_cast<uInt>(in_left > (1 << 30) ? (1 << 30) : in_left);
        z.next_out = reinterpret_cast<Bytef*>(out.get() + produced);
        z.avail_out = static_cast<uInt>(out_left > (1 << 24) ? (1 << 24) : out_left);
        const uInt in_before = z.avail_in, out_before = z.avail_out;
        const int rc = inflate(&z, Z_NO_FLUSH);
        consumed += in_before - z.avail_in;
        const std::int64_t slice = produced;
        produced += out_before - z.avail_out;
        // The text ends at its first zero byte: nothing after it is needed.
        if (const void* zero = std::memchr(out.get() + slice, '\0', static_cast<std::size_t>(produced - slice))) {
            produced = static_cast<const char*>(zero) - out.get();
            break;
        }
        if (produced > bomb_floor && produced > consumed * bomb_ratio) {
            error = "it expands more than " + std::to_string(bomb_ratio) +
                    " times when decompressed, far beyond any scene (a compression bomb?)";
            ok = false;
            break;
        }
        if (rc == Z_STREAM_END) {
            // Another member may follow (concatenated gzip files).
            if (consumed < size && static_cast<unsigned char>(bytes[consumed]) == 0x1f) {
                inflateReset(&z);
                continue;
            }
            break;
        }
        if (rc == Z_OK) continue;
        if (rc == Z_BUF_ERROR && produced == capacity) continue;
        error = rc == Z_BUF_ERROR ? "the compressed data ends too early"
                                  : std::string("the compressed data is damaged") + (z.msg ? std::string(" (") + z.msg + ")" : "");
        ok = false;
    }
    inflateEnd(&z);
    if (!ok) return false;
    // Give back the reserve beyond the text.
    if (char* fitted = static_cast<char*>(std::realloc(out.get(), static_cast<std::size_t>(produced) + 1))) {
        out.release();
        out.reset(fitted);
    }
    bytes = std::move(out);
    size = produced;
    return true;
}

}  // namespace tessel::reader
