#pragma once
// The two intermediate stores that carry coordinates and corner indices from
// the scan to the rebuild: the points store (4-byte little-endian IEEE
// floats) and the indices store (4-byte little-endian signed integers), no
// header, no padding. They are files without a name: a load may be killed at
// any moment (SIGKILL included), and a store with a name would outlive it,
// tens of megabytes at a time.

#include <cstdint>
#include <memory>
#include <string>

namespace tessel::reader {

constexpr std::size_t buffer_size = 1 << 20;  // bytes buffered per store

// The two store files of one load. They are made in a folder of the load's
// own under $TMPDIR (default /tmp), so that two viewers never meet and an
// unwritable current directory does not matter; the files lose their names
// and the folder is removed before create() returns, so only the open
// descriptors keep the data, and it goes with the process however it ends.
class store_files {
public:
    store_files() = default;
    ~store_files();
    store_files(const store_files&) = delete;
    store_files& operator=(const store_files&) = delete;

    // On failure returns false and sets error; nothing is left on disk.
    bool create(std::string& error);
    int points() const { return fds_[0]; }
    int indices() const { return fds_[1]; }

private:
    int fds_[2] = {-1, -1};
};

// Buffered writer of one store. Write errors are remembered and reported by
// close().
class store_writer {
public:
    store_writer() = default;
    store_writer(const store_writer&) = delete;
    store_writer& operator=(const store_writer&) = delete;

    // Writes from the start of fd, which stays owned by the caller.
    void open(int fd);
    void put_float(float v);
    void put_int(std::int32_t v);
    // Flushes and closes; false (with error) if anything failed.
    bool close(std::string& error);

private:
    void put_word(std::uint32_t w) {
        if (used_ + 4 > buffer_size) flush();
        unsigned char* p = buffer_.get() + used_;
        p[0] = static_cast<unsigned char>(w);
        p[1] = static_cast<unsigned char>(w >> 8);
        p[2] = static_cast<unsigned char>(w >> 16);
        p[3] = static_cast<unsigned char>(w >> 24);
        used_ += 4;
    }
    void flush();

    int fd_ = -1;
    // Not zero-filled: a load of a tiny file should not pay for clearing it.
    std::unique_ptr<unsigned char[]> buffer_;
    std::size_t used_ = 0;
    bool failed_ = false;
    int errno_ = 0;
};

// Buffered sequential reader of one store.
class store_reader {
public:
    store_reader() = default;
    store_reader(const store_reader&) = delete;
    store_reader& operator=(const store_reader&) = delete;

    // Reads from the start of fd, which stays owned by the caller.
    void open(int fd);
    // Reads n 4-byte elements; false when the store ends first.
    bool get_floats(float* out, std::size_t n);
    bool get_ints(std::int32_t* out, std::size_t n);
    bool skip(std::size_t n);

private:
    template <typename T>
    bool get_elements(T* out, std::size_t n);
    bool refill();

    int fd_ = -1;
    std::unique_ptr<unsigned char[]> buffer_;
    std::size_t used_ = 0;
    std::size_t filled_ = 0;
};

}  // namespace tessel::reader
