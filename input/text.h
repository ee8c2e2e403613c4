#pragma once
// The bytes of a scene file as every reading sees them: read without ever
// waiting on a pipe or device, inflated when gzip-compressed, and cut at the
// first zero byte, within what the machine can spare.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tessel::reader {

class load_budget;

// Who asked for a file: the user (on the command line, in a dialog), or a
// scene (inlines, extern protos, images), which is not trusted to name
// anything but plain files of its own.
enum class file_origin { chosen, referenced };

// A file a load reads: a regular file, opened without ever waiting on a
// pipe or device, with the size it had when opened and its identity.
class opened_file {
public:
    opened_file() = default;
    ~opened_file();
    opened_file(opened_file&& other) noexcept;
    opened_file& operator=(opened_file&& other) noexcept;
    opened_file(const opened_file&) = delete;
    opened_file& operator=(const opened_file&) = delete;

    int fd() const { return fd_; }
    std::int64_t size() const { return size_; }
    // The same file however a path spells it.
    std::uint64_t device() const { return device_; }
    std::uint64_t inode() const { return inode_; }

private:
    friend bool open_regular_file(const std::string&, file_origin, opened_file&, std::string&);
    int fd_ = -1;
    std::int64_t size_ = 0;
    std::uint64_t device_ = 0;
    std::uint64_t inode_ = 0;
};

// The one way a load opens a file. Only regular files: folders, FIFOs,
// devices and the kernel's pseudo files (/proc, /sys) are refused before
// anything is read; a file a scene names may not lie under /dev, /proc or
// /sys however it is spelt. On failure returns false with why ("Is a
// directory", "not a regular file", the system's reason).
bool open_regular_file(const std::string& path, file_origin origin, opened_file& out, std::string& why);

// Reads the whole of an opened file (its size when opened) when it is at
// most max_bytes; otherwise, or on a read error, false with why.
bool read_whole_file(const opened_file& file, std::int64_t max_bytes, std::vector<std::uint8_t>& bytes,
                     std::string& why);

// Text from a file made safe to show on a terminal or in a window: control
// characters (C0, DEL, C1) and bytes that are not UTF-8 are written as
// \xNN, so a file cannot clear, recolour or rewrite the user's terminal.
std::string printable(std::string_view text);

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

// Reads path into out through open_regular_file. With a budget, the text
// (inflated, when compressed) must fit in what is left of it and is taken
// from it. On failure returns false with error naming the file and the
// reason; out is then unspecified.
bool read_scene_text(const std::string& path, scene_text& out, std::string& error, load_budget* budget = nullptr,
                     file_origin origin = file_origin::chosen);

// The most bytes a scene text (read, or inflated) may take: half the physical
// memory and no more than the system reports available, lowered further by
// the program's own load budget (a thumbnailer's, say).
std::int64_t scene_text_limit();

}  // namespace tessel::reader
