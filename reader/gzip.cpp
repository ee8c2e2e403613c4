#include "reader/gzip.h"

#include <cstring>
#include <new>
#include <vector>
#include <zlib.h>

namespace tessel::reader {

bool gunzip(std::unique_ptr<char[]>& bytes, std::int64_t& size, std::int64_t limit, std::string& error) {
    z_stream z{};
    if (inflateInit2(&z, 15 + 16) != Z_OK) {
        error = "cannot start decompression";
        return false;
    }
    std::int64_t capacity = size * 4 + 4096;
    if (capacity > limit + 1) capacity = limit + 1;
    std::unique_ptr<char[]> out(new (std::nothrow) char[static_cast<std::size_t>(capacity) + 1]);
    std::int64_t produced = 0;
    std::int64_t consumed = 0;
    bool ok = out != nullptr;
    if (!ok) error = "not enough memory to decompress it";
    while (ok) {
        if (produced == capacity) {
            if (capacity > limit) {
                error = "its decompressed content is too large to hold in memory";
                ok = false;
                break;
            }
            std::int64_t grown = capacity * 2;
            if (grown > limit + 1) grown = limit + 1;
            std::unique_ptr<char[]> bigger(new (std::nothrow) char[static_cast<std::size_t>(grown) + 1]);
            if (!bigger) {
                error = "not enough memory to decompress it";
                ok = false;
                break;
            }
            std::memcpy(bigger.get(), out.get(), static_cast<std::size_t>(produced));
            out = std::move(bigger);
            capacity = grown;
        }
        // zlib counts in 32 bits: feed and drain in slices.
        const std::int64_t in_left = size - consumed;
        const std::int64_t out_left = capacity - produced;
        z.next_in = reinterpret_cast<Bytef*>(bytes.get() + consumed);
        z.avail_in = static_cast<uInt>(in_left > (1 << 30) ? (1 << 30) : in_left);
        z.next_out = reinterpret_cast<Bytef*>(out.get() + produced);
        z.avail_out = static_cast<uInt>(out_left > (1 << 30) ? (1 << 30) : out_left);
        const uInt in_before = z.avail_in, out_before = z.avail_out;
        const int rc = inflate(&z, Z_NO_FLUSH);
        consumed += in_before - z.avail_in;
        produced += out_before - z.avail_out;
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
    bytes = std::move(out);
    size = produced;
    return true;
}

}  // namespace tessel::reader
