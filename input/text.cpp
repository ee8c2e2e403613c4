#include "input/text.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <utility>

#include "input/budget.h"
#include "input/gzip.h"

namespace tessel::reader {

namespace {

// Most scene texts fit in the first read; a larger file is read in chunks so
// that the text can end at a zero byte without reading the rest (a sparse
// file of gigabytes of zeros, say).
constexpr std::int64_t first_read = std::int64_t{1} << 20;
constexpr std::int64_t chunk = std::int64_t{16} << 20;

// Reads up to n bytes at to; returns how many (fewer at the end of the file)
// or -1 with errno set.
std::int64_t read_fully(int fd, char* to, std::int64_t n) {
    std::int64_t got = 0;
    while (got < n) {
        const ssize_t r = ::read(fd, to + got, static_cast<std::size_t>(std::min(n - got, chunk)));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r == 0) break;  // the file shrank meanwhile: take what is there
        got += r;
    }
    return got;
}

bool grow(text_bytes& bytes, std::int64_t size) {
    char* grown = static_cast<char*>(std::realloc(bytes.get(), static_cast<std::size_t>(size) + 1));
    if (!grown) return false;
    bytes.release();
    bytes.reset(grown);
    // A large text is touched page by page as it is read in; on huge pages
    // that costs a few hundred faults instead of tens of thousands, which
    // is most of the time a large file takes to read. Only a hint.
    constexpr std::uintptr_t huge = std::uintptr_t{2} << 20;
    if (size >= static_cast<std::int64_t>(4 * huge)) {
        const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(grown) + huge - 1) & ~(huge - 1);
        const std::uintptr_t to = (reinterpret_cast<std::uintptr_t>(grown) + static_cast<std::uintptr_t>(size)) & ~(huge - 1);
        if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
    }
    return true;
}

}  // namespace

std::int64_t scene_text_limit() {
    std::int64_t limit = std::min(physical_memory() / 2, available_memory());
    if (program_load_budget() > 0) limit = std::min(limit, program_load_budget());
    return limit;
}

opened_file::~opened_file() {
    if (fd_ >= 0) ::close(fd_);
}

opened_file::opened_file(opened_file&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_), device_(other.device_), inode_(other.inode_) {}

opened_file& opened_file::operator=(opened_file&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        size_ = other.size_;
        device_ = other.device_;
        inode_ = other.inode_;
    }
    return *this;
}

namespace {

bool under_system_folder(const std::string& path) {
    for (const char* top : {"/dev", "/proc", "/sys"}) {
        const std::size_t n = std::strlen(top);
        if (path.compare(0, n, top) == 0 && (path.size() == n || path[n] == '/')) return true;
    }
    return false;
}

// Whether a path a scene names leads into the kernel's or the devices'
// folders, as it is written (/dev/stdin) or once every link and ".." is
// followed (../../proc/self/mem).
bool names_system_file(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (!ec && under_system_folder(absolute.lexically_normal().string())) return true;
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) && under_system_folder(resolved);
}

// File systems whose "regular" files are made up by the kernel on reading:
// their sizes mean nothing and reading may block or fail.
bool pseudo_file_system(int fd) {
    struct statfs fs {};
    if (fstatfs(fd, &fs) != 0) return false;
    constexpr long proc = 0x9fa0, sysfs = 0x62656572, debugfs = 0x64626720, tracefs = 0x74726163,
                   securityfs = 0x73636673, cgroup = 0x27e0eb, cgroup2 = 0x63677270;
    for (const long magic : {proc, sysfs, debugfs, tracefs, securityfs, cgroup, cgroup2})
        if (static_cast<long>(fs.f_type) == magic) return true;
    return false;
}

}  // namespace

bool open_regular_file(const std::string& path, file_origin origin, opened_file& out, std::string& why) {
    out = opened_file{};
    if (origin == file_origin::referenced && names_system_file(path)) {
        why = "not a regular file";
        return false;
    }
    // Not blocking: opening a FIFO that nobody writes to would wait forever,
    // before the file type can even be looked at; a terminal must not
    // become the process's own.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    opened_file f;
    f.fd_ = fd;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        why = std::strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        why = std::strerror(EISDIR);
        return false;
    }
    if (!S_ISREG(st.st_mode) || pseudo_file_system(fd)) {
        why = "not a regular file";
        return false;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        why = std::strerror(errno);
        return false;
    }
    f.size_ = st.st_size;
    f.device_ = st.st_dev;
    f.inode_ = st.st_ino;
    out = std::move(f);
    return true;
}

bool read_whole_file(const opened_file& file, std::int64_t max_bytes, std::vector<std::uint8_t>& bytes,
                     std::string& why) {
    if (file.size() > max_bytes) {
        why = "the file (" + std::to_string(file.size()) + " bytes) is larger than " + megabytes(max_bytes);
        return false;
    }
    bytes.resize(static_cast<std::size_t>(file.size()));
    const std::int64_t got = read_fully(file.fd(), reinterpret_cast<char*>(bytes.data()), file.size());
    if (got < 0) {
        why = std::strerror(errno);
        bytes.clear();
        return false;
    }
    bytes.resize(static_cast<std::size_t>(got));
    return true;
}

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto escape = [&](unsigned char c) {
        static const char hex[] = "0123456789abcdef";
        out += "\\x";
        out += hex[c >> 4];
        out += hex[c & 15];
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7f) escape(c);
            else out += static_cast<char>(c);
            ++i;
            continue;
        }
        // A whole, shortest UTF-8 sequence is kept, but for the C1 controls
        // (U+0080..U+009F), which some terminals obey like escapes.
        const std::size_t length = c >= 0xf0 && c <= 0xf4 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 && c <= 0xdf ? 2 : 0;
        bool whole = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; whole && k < length; ++k)
            whole = (static_cast<unsigned char>(text[i + k]) & 0xc0) == 0x80;
        if (whole && length == 3) {
            const auto c1 = static_cast<unsigned char>(text[i + 1]);
            whole = !(c == 0xe0 && c1 < 0xa0) && !(c == 0xed && c1 >= 0xa0);  // overlong, surrogates
        }
        if (whole && length == 4) {
            const auto c1 = static_cast<unsigned char>(text[i + 1]);
            whole = !(c == 0xf0 && c1 < 0x90) && !(c == 0xf4 && c1 >= 0x90);
        }
        if (whole && c == 0xc2 && static_cast<unsigned char>(text[i + 1]) < 0xa0) {
            escape(c);
            escape(static_cast<unsigned char>(text[i + 1]));
            i += 2;
            continue;
        }
        if (!whole) {
            escape(c);
            ++i;
            continue;
        }
        out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

bool read_scene_text(const std::string& path, scene_text& out, std::string& error, load_budget* budget,
                     file_origin origin) {
    const auto fail = [&](const char* verb, const std::string& why) {
        error = std::string(verb) + " \"" + path + "\": " + why;
        return false;
    };
    opened_file file;
    std::string why;
    if (!open_regular_file(path, origin, file, why)) {
        const bool opened = why != "not a regular file" && why != std::strerror(EISDIR);
        return fail(opened ? "Cannot open" : "Cannot read", why);
    }
    const int fd = file.fd();
    const std::int64_t size = file.size();
    std::int64_t limit = scene_text_limit();
    if (budget) limit = std::min(limit, budget->left());
    const auto too_large = [&] {
        if (budget && size > budget->left()) budget->refuse("text");
        return fail("Cannot load", "the file (" + std::to_string(size) + " bytes) is too large to hold in memory (at most " +
                                       megabytes(limit) + " here)");
    };
    const auto no_memory = [&] {
        return fail("Cannot load", "not enough memory for " + std::to_string(size) + " bytes");
    };
    std::int64_t got = std::min(size, first_read);
    out.bytes.reset(static_cast<char*>(std::malloc(static_cast<std::size_t>(got) + 1)));
    if (!out.bytes) return no_memory();
    got = read_fully(fd, out.bytes.get(), got);
    if (got < 0) return fail("Cannot read", std::strerror(errno));

    if (got >= 2 && static_cast<unsigned char>(out.bytes[0]) == 0x1f &&
        static_cast<unsigned char>(out.bytes[1]) == 0x8b) {
        // The compressed stream holds zero bytes of its own: read it whole.
        if (size > std::min(limit, inflated_ceiling)) return too_large();
        if (size > got) {
            if (!grow(out.bytes, size)) return no_memory();
            const std::int64_t rest = read_fully(fd, out.bytes.get() + got, size - got);
            if (rest < 0) return fail("Cannot read", std::strerror(errno));
            got += rest;
        }
        if (!gunzip(out.bytes, got, limit, error)) return fail("Cannot load", error);
    } else if (!std::memchr(out.bytes.get(), '\0', static_cast<std::size_t>(got)) && got < size) {
        // Refused before reading on: the text would have to end at a zero
        // byte within what memory allows, and a file this large rarely does.
        if (size > limit) return too_large();
        if (!grow(out.bytes, size)) return no_memory();
        while (got < size) {
            const std::int64_t n = read_fully(fd, out.bytes.get() + got, std::min(size - got, chunk));
            if (n < 0) return fail("Cannot read", std::strerror(errno));
            if (n == 0) break;
            const bool ends = std::memchr(out.bytes.get() + got, '\0', static_cast<std::size_t>(n)) != nullptr;
            got += n;
            if (ends) break;
        }
    }
    out.bytes[got] = '\0';
    const void* zero = std::memchr(out.bytes.get(), '\0', static_cast<std::size_t>(got));
    out.length = zero ? static_cast<const char*>(zero) - out.bytes.get() : got;
    // Give back what lies beyond an early zero byte.
    if (out.length + 1 < got) grow(out.bytes, out.length);
    if (budget && !budget->spend(out.length, "text")) {
        out.bytes.reset();
        return fail("Cannot load", "its text (" + std::to_string(out.length) + " bytes) needs more memory than a load may use here (" +
                                       megabytes(budget->limit()) + ")");
    }
    return true;
}

}  // namespace tessel::reader
