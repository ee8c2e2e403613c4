#pragma once
// The two intermediate stores that carry coordinates and corner indices from
// the scan to the rebuild: DTVX.tmp (4-byte little-endian IEEE floats) and
// DTFC.tmp (4-byte little-endian signed integers), no header, no padding.
// They live in a private folder made for one load and removed with it, so
// that two viewers never share them and an unwritable current directory
// does not matter.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace tessel::reader {

constexpr std::size_t buffer_size = 1 << 20;  // bytes buffered per store

// A folder of its own under $TMPDIR (default /tmp), removed with everything
// in it when the object goes away.
class private_folder {
public:
    private_folder() = default;
    ~private_folder();
    private_folder(const private_folder&) = delete;
    private_folder& operator=(const private_folder&) = delete;

    // Makes the folder; on failure returns false and sets error.
    bool create(std::string& error);
    std::string file(const char* name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Buffered writer of one store. Write errors are remembered and reported by
// close().
class store_writer {
public:
    store_writer() = default;
    ~store_writer();
    store_writer(const store_writer&) = delete;
    store_writer& operator=(const store_writer&) = delete;

    bool open(const std::string& path, std::string& error);
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

    std::FILE* file_ = nullptr;
    std::string path_;
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
    ~store_reader();
    store_reader(const store_reader&) = delete;
    store_reader& operator=(const store_reader&) = delete;

    bool open(const std::string& path, std::string& error);
    // Reads n 4-byte elements; false when the store ends first.
    bool get_floats(float* out, std::size_t n);
    bool get_ints(std::int32_t* out, std::size_t n);
    bool skip(std::size_t n);
    void close();

private:
    template <typename T>
    bool get_elements(T* out, std::size_t n);
    bool refill();

    std::FILE* file_ = nullptr;
    std::unique_ptr<unsigned char[]> buffer_;
    std::size_t used_ = 0;
    std::size_t filled_ = 0;
};

}  // namespace tessel::reader
