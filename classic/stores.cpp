#include "classic/stores.h"

#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace tessel::reader {
namespace {

std::string reason(int err) { return std::strerror(err); }

// A nameless read-write file in folder: O_TMPFILE where the file system has
// it, so the file never has a name at all; elsewhere a named file that is
// unlinked at once.
int nameless_file(const std::string& folder, const char* name, std::string& error) {
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    const std::string path = folder + "/" + name;
    fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot create " + path + ": " + reason(errno);
        return -1;
    }
    ::unlink(path.c_str());
    return fd;
}

}  // namespace

store_files::~store_files() {
    for (int fd : fds_)
        if (fd >= 0) ::close(fd);
}

bool store_files::create(std::string& error) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = (tmp && *tmp) ? tmp : "/tmp";
    // Where the file system makes nameless files, make them in TMPDIR
    // itself: then nothing in TMPDIR ever has a name, not even for the
    // moment a private folder would exist.
    fds_[0] = ::open(base.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fds_[0] >= 0) {
        fds_[1] = ::open(base.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fds_[1] >= 0) return true;
        ::close(fds_[0]);
        fds_[0] = -1;
    }
    std::string templ = base + "/tessel-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) {
        error = "cannot make a temporary folder in " + base + ": " + reason(errno);
        return false;
    }
    const std::string folder = buf.data();
    fds_[0] = nameless_file(folder, "DTVX.tmp", error);
    if (fds_[0] >= 0) fds_[1] = nameless_file(folder, "DTFC.tmp", error);
    ::rmdir(folder.c_str());
    return fds_[1] >= 0;
}

void store_writer::open(int fd) {
    fd_ = fd;
    if (!buffer_) buffer_.reset(new unsigned char[buffer_size]);
    used_ = 0;
    failed_ = false;
}

void store_writer::put_float(float v) {
    std::uint32_t w;
    std::memcpy(&w, &v, 4);
    put_word(w);
}

void store_writer::put_int(std::int32_t v) { put_word(static_cast<std::uint32_t>(v)); }

void store_writer::flush() {
    const unsigned char* p = buffer_.get();
    std::size_t left = used_;
    used_ = 0;
    while (left > 0 && !failed_) {
        const ssize_t n = ::write(fd_, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failed_ = true;
            errno_ = n < 0 ? errno : ENOSPC;
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

bool store_writer::close(std::string& error) {
    if (fd_ < 0) return true;
    flush();
    fd_ = -1;
    if (failed_) {
        error = "cannot write a temporary store: " + reason(errno_);
        return false;
    }
    return true;
}

void store_reader::open(int fd) {
    fd_ = ::lseek(fd, 0, SEEK_SET) == 0 ? fd : -1;
    if (!buffer_) buffer_.reset(new unsigned char[buffer_size]);
    used_ = filled_ = 0;
}

bool store_reader::refill() {
    // Keep a partial element at the front.
    const std::size_t rest = filled_ - used_;
    std::memmove(buffer_.get(), buffer_.get() + used_, rest);
    used_ = 0;
    filled_ = rest;
    if (fd_ < 0) return false;
    ssize_t got;
    do got = ::read(fd_, buffer_.get() + rest, buffer_size - rest);
    while (got < 0 && errno == EINTR);
    if (got <= 0) return false;
    filled_ += static_cast<std::size_t>(got);
    return true;
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
