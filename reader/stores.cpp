#include "reader/stores.h"

#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <unistd.h>

namespace tessel::reader {
namespace {

std::string reason(int err) { return std::strerror(err); }

}  // namespace

private_folder::~private_folder() {
    if (path_.empty()) return;
    // Only the stores live here, but remove whatever is left so that the
    // folder itself goes away.
    if (DIR* dir = opendir(path_.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
            unlink((path_ + "/" + entry->d_name).c_str());
        }
        closedir(dir);
    }
    rmdir(path_.c_str());
}

bool private_folder::create(std::string& error) {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = (tmp && *tmp) ? tmp : "/tmp";
    std::string templ = base + "/tessel-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) {
        error = "cannot make a temporary folder in " + base + ": " + reason(errno);
        return false;
    }
    path_ = buf.data();
    return true;
}

store_writer::~store_writer() {
    if (file_) std::fclose(file_);
}

bool store_writer::open(const std::string& path, std::string& error) {
    path_ = path;
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) {
        error = "cannot create " + path + ": " + reason(errno);
        return false;
    }
    if (!buffer_) buffer_.reset(new unsigned char[buffer_size]);
    used_ = 0;
    failed_ = false;
    return true;
}

void store_writer::put_float(float v) {
    std::uint32_t w;
    std::memcpy(&w, &v, 4);
    put_word(w);
}

void store_writer::put_int(std::int32_t v) { put_word(static_cast<std::uint32_t>(v)); }

void store_writer::flush() {
    if (used_ == 0) return;
    if (!failed_ && file_ && std::fwrite(buffer_.get(), 1, used_, file_) != used_) {
        failed_ = true;
        errno_ = errno;
    }
    used_ = 0;
}

bool store_writer::close(std::string& error) {
    flush();
    if (file_ && std::fclose(file_) != 0 && !failed_) {
        failed_ = true;
        errno_ = errno;
    }
    file_ = nullptr;
    if (failed_) {
        error = "cannot write " + path_ + ": " + reason(errno_);
        return false;
    }
    return true;
}

store_reader::~store_reader() { close(); }

bool store_reader::open(const std::string& path, std::string& error) {
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) {
        error = "cannot open " + path + ": " + reason(errno);
        return false;
    }
    if (!buffer_) buffer_.reset(new unsigned char[buffer_size]);
    used_ = filled_ = 0;
    return true;
}

void store_reader::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

bool store_reader::refill() {
    // Keep a partial element at the front.
    const std::size_t rest = filled_ - used_;
    std::memmove(buffer_.get(), buffer_.get() + used_, rest);
    used_ = 0;
    filled_ = rest;
    if (!file_) return false;
    const std::size_t got = std::fread(buffer_.get() + rest, 1, buffer_size - rest, file_);
    filled_ += got;
    return got > 0;
}

// Copies n 4-byte little-endian elements into out, whose elements have the
// same size and (after the byte order is fixed) the same bit patterns.
template <typename T>
bool store_reader::get_elements(T* out, std::size_t n) {
    static_assert(sizeof(T) == 4);
    while (n > 0) {
        if (filled_ - used_ < 4) refill();
        if (filled_ - used_ < 4) return false;
        std::size_t take = (filled_ - used_) / 4;
        if (take > n) take = n;
        const unsigned char* p = buffer_.get() + used_;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(out, p, take * 4);
        } else {
            for (std::size_t i = 0; i < take; ++i, p += 4) {
                const std::uint32_t w = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                                        std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
                std::memcpy(out + i, &w, 4);
            }
        }
        used_ += take * 4;
        out += take;
        n -= take;
    }
    return true;
}

bool store_reader::get_floats(float* out, std::size_t n) { return get_elements(out, n); }

bool store_reader::get_ints(std::int32_t* out, std::size_t n) { return get_elements(out, n); }

bool store_reader::skip(std::size_t n) {
    std::int32_t sink[64];
    while (n > 0) {
        const std::size_t take = n < 64 ? n : 64;
        if (!get_elements(sink, take)) return false;
        n -= take;
    }
    return true;
}

}  // namespace tessel::reader
