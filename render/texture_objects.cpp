#include "render/texture_objects.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace tessel {

std::vector<std::uint8_t> resample_rgba(const texture_image& image, std::int32_t new_width, std::int32_t new_height) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(new_width) * static_cast<std::size_t>(new_height) * 4);
    const std::int32_t w = image.width, h = image.height;
    for (std::int32_t y = 0; y < new_height; ++y) {
        // Pixel centres map onto pixel centres.
        const float fy = std::clamp((static_cast<float>(y) + 0.5f) * static_cast<float>(h) / static_cast<float>(new_height) - 0.5f,
                                    0.0f, static_cast<float>(h - 1));
        const std::int32_t y0 = static_cast<std::int32_t>(fy), y1 = std::min(y0 + 1, h - 1);
        const float ay = fy - static_cast<float>(y0);
        for (std::int32_t x = 0; x < new_width; ++x) {
            const float fx = std::clamp((static_cast<float>(x) + 0.5f) * static_cast<float>(w) / static_cast<float>(new_width) - 0.5f,
                                        0.0f, static_cast<float>(w - 1));
            const std::int32_t x0 = static_cast<std::int32_t>(fx), x1 = std::min(x0 + 1, w - 1);
            const float ax = fx - static_cast<float>(x0);
            const auto at = [&](std::int32_t px, std::int32_t py, int c) {
                return static_cast<float>(image.rgba[(static_cast<std::size_t>(py) * static_cast<std::size_t>(w) +
                                                      static_cast<std::size_t>(px)) * 4 + static_cast<std::size_t>(c)]);
            };
            for (int c = 0; c < 4; ++c) {
                const float v = (at(x0, y0, c) * (1 - ax) + at(x1, y0, c) * ax) * (1 - ay) +
                                (at(x0, y1, c) * (1 - ax) + at(x1, y1, c) * ax) * ay;
                out[(static_cast<std::size_t>(y) * static_cast<std::size_t>(new_width) + static_cast<std::size_t>(x)) * 4 +
                    static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0f, 255.0f)));
            }
        }
    }
    return out;
}

std::int32_t texture_side(std::int32_t size, bool power_of_two_only, std::int32_t max_size) {
    max_size = std::max(max_size, 1);
    std::int32_t side = std::clamp(size, 1, max_size);
    if (!power_of_two_only) return side;
    std::int32_t p = 1;
    while (p * 2 <= side) p *= 2;
    // The nearer power of two, as long as the GL takes it.
    if (p < side && p * 2 <= max_size && side - p >= p * 2 - side) p *= 2;
    return p;
}

namespace {

// GL 2.0 and later take any size; older GLs only with this extension.
bool takes_any_size() {
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (version && std::atoi(version) >= 2) return true;
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    return extensions && std::strstr(extensions, "GL_ARB_texture_non_power_of_two") != nullptr;
}

}  // namespace

void texture_objects::release() {
    if (!names_.empty()) glDeleteTextures(static_cast<GLsizei>(names_.size()), names_.data());
    names_.clear();
    made_ = false;
}

void texture_objects::update(const scene_store& store) {
    const bool same = made_ && generation_ == store.generation && images_ == store.textures.data() &&
                      names_.size() == store.textures.size();
    // A name the current context does not know means the objects were made in
    // another context, which took them with it.
    if (same && (names_.empty() || glIsTexture(names_[0]))) return;
    if (same || !made_) names_.clear();  // in another context: nothing of ours to delete here
    else release();
    made_ = true;
    generation_ = store.generation;
    images_ = store.textures.data();
    if (store.textures.empty()) return;
    names_.assign(store.textures.size(), 0);
    glGenTextures(static_cast<GLsizei>(names_.size()), names_.data());
    const bool any_size = takes_any_size();
    GLint max_size = 64;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_size);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    for (std::size_t i = 0; i < names_.size(); ++i) {
        const texture_image* image = store.textures[i].get();
        if (!image || image->width <= 0 || image->height <= 0 ||
            image->rgba.size() != static_cast<std::size_t>(image->width) * static_cast<std::size_t>(image->height) * 4) {
            continue;
        }
        glBindTexture(GL_TEXTURE_2D, names_[i]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        const std::int32_t w = texture_side(image->width, !any_size, max_size);
        const std::int32_t h = texture_side(image->height, !any_size, max_size);
        if (w == image->width && h == image->height) {
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, image->rgba.data());
        } else {
            const std::vector<std::uint8_t> scaled = resample_rgba(*image, w, h);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, scaled.data());
        }
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    glPopClientAttrib();
    ++uploads_;
}

unsigned texture_objects::name(std::int32_t index) const {
    return index >= 0 && static_cast<std::size_t>(index) < names_.size() ? names_[static_cast<std::size_t>(index)] : 0;
}

}  // namespace tessel
