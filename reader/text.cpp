#include "reader/text.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "reader/gzip.h"

namespace tessel::reader {

namespace {

// Most scene texts fit in the first read; a larger file is read in chunks so
// that the text can end at a zero byte without reading the rest (a sparse
// file of gigabytes of zeros, say).
constexpr std::int64_t first_read = std::int64_t{1} << 20;
constexpr std::int64_t chunk = std::int64_t{16} << 20;

std::int64_t g_budget = 0;

std::int64_t physical_memory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page <= 0) return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(pages) * page;
}

// What the kernel thinks can be allocated without swapping.
std::int64_t available_memory() {
    std::int64_t kb = -1;
    if (std::FILE* f = std::fopen("/proc/meminfo", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "MemAvailable: %ld kB", &kb) == 1) break;
        std::fclose(f);
    }
    return kb < 0 ? std::numeric_limits<std::int64_t>::max() : kb * 1024;
}

std::string megabytes(std::int64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

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

void set_scene_text_budget(std::int64_t bytes) { g_budget = bytes > 0 ? bytes : 0; }

std::int64_t scene_text_limit() {
    std::int64_t limit = std::min(physical_memory() / 2, available_memory());
    if (g_budget > 0) limit = std::min(limit, g_budget);
    return limit;
}

bool read_scene_text(const std::string& path, scene_text& out, std::string& error) {
    const auto fail = [&](const char* verb, const std::string& why) {
        error = std::string(verb) + " \"" + path + "\": " + why;
        return false;
    };
    // Not blocking: opening a FIFO that nobody writes to would wait forever,
    // before the file type can even be looked at.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return fail("Cannot open", std::strerror(errno));
    struct closer {
        int fd;
        ~closer() { ::close(fd); }
    } guard{fd};
    struct stat st {};
    if (fstat(fd, &st) != 0) return fail("Cannot read", std::strerror(errno));
    if (S_ISDIR(st.st_mode)) return fail("Cannot read", std::strerror(EISDIR));
    if (!S_ISREG(st.st_mode)) return fail("Cannot read", "not a regular file");
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return fail("Cannot read", std::strerror(errno));

    const std::int64_t size = st.st_size;
    const std::int64_t limit = scene_text_limit();
    const auto too_large = [&] {
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
    return true;
}

}  // namespace tessel::reader
