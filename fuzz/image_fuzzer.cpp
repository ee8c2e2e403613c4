// Texture image decoding over arbitrary bytes: every format's decoder either
// refuses with a message or returns an image whose pixels fill its size.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "media/image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int fd = memfd_create("tessel-image-fuzz", 0);
    if (fd < 0) std::abort();
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
    tessel::texture_image image;
    std::string error;
    if (tessel::vrml::decode_image_file("/proc/self/fd/" + std::to_string(fd), image, error)) {
        if (image.width <= 0 || image.height <= 0 || image.components < 1 || image.components > 4) std::abort();
        if (image.rgba.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4)
            std::abort();
    } else if (error.empty()) {
        std::abort();
    }
    return 0;
}
