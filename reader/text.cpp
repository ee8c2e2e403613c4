#include "reader/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

#include "reader/gzip.h"

namespace tessel::reader {

namespace {

std::int64_t physical_memory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page <= 0) return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(pages) * page;
}

}  // namespace

bool read_scene_text(const std::string& path, scene_text& out, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "Cannot open \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    struct closer {
        int fd;
        ~closer() { ::close(fd); }
    } guard{fd};
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        error = "Cannot read \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        error = "Cannot read \"" + path + "\": " + std::strerror(EISDIR);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "Cannot read \"" + path + "\": not a regular file";
        return false;
    }
    const std::int64_t size = st.st_size;
    // The text, the stores' buffers and the shapes must all fit: refuse a
    // file that cannot, rather than let the system kill the viewer.
    if (size > physical_memory() / 2) {
        error = "Cannot load \"" + path + "\": the file (" + std::to_string(size) +
                " bytes) is too large to hold in memory";
        return false;
    }
    out.bytes.reset(new (std::nothrow) char[static_cast<std::size_t>(size) + 1]);
    if (!out.bytes) {
        error = "Cannot load \"" + path + "\": not enough memory for " + std::to_string(size) + " bytes";
        return false;
    }
    std::int64_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, out.bytes.get() + got, static_cast<std::size_t>(size - got));
        if (n < 0) {
            if (errno == EINTR) continue;
            error = "Cannot read \"" + path + "\": " + std::strerror(errno);
            return false;
        }
        if (n == 0) break;  // the file shrank meanwhile: take what is there
        got += n;
    }
    if (got >= 2 && static_cast<unsigned char>(out.bytes[0]) == 0x1f &&
        static_cast<unsigned char>(out.bytes[1]) == 0x8b) {
        if (!gunzip(out.bytes, got, physical_memory() / 2, error)) {
            error = "Cannot load \"" + path + "\": " + error;
            return false;
        }
    }
    out.bytes[got] = '\0';
    const void* zero = std::memchr(out.bytes.get(), '\0', static_cast<std::size_t>(got));
    out.length = zero ? static_cast<const char*>(zero) - out.bytes.get() : got;
    return true;
}

}  // namespace tessel::reader
