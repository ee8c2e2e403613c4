// Texture images for the back end: each image file decoded once per load and
// kept in the store, shared by every shape that shows it.

#include <new>
#include <vector>

#include "input/budget.h"
#include "input/text.h"
#include "media/image.h"
#include "geometry/shape_builders.h"

namespace tessel::vrml::detail {

namespace {

// A decoded image costs its RGBA pixels twice: in the store and in the
// drawing's texture object.
constexpr std::int64_t bytes_per_pixel = 2 * 4;

// The pixels the load can still afford.
std::int64_t pixel_allowance(const builder_scratch& scratch) {
    if (!scratch.budget) return max_image_pixels;
    return std::min(max_image_pixels, scratch.budget->left() / bytes_per_pixel);
}

// What an image is for, and what is shown instead when it cannot be read.
struct image_use {
    const char* kind;
    const char* instead;
};
constexpr image_use texture_with_inline{"texture image", "; the node's inline image is used instead"};
constexpr image_use texture_alone{"texture image", "; the shapes are drawn untextured"};
constexpr image_use panorama_face_image{"background image", "; that face of the panorama is left out"};

void warn_unread(shape_target t, const texture_source& src, bool from_file, const image_use& use,
                 const std::string& error) {
    const std::string what = from_file ? std::string(use.kind) + " \"" + src.file + "\"" : "inline texture image";
    t.warnings.add(src.where, what + " not shown: " + error + use.instead);
}

// Puts a decoded image into the store, its pixels taken from the budget:
// its index, or -1 when it does not fit.
std::int32_t keep(shape_target t, std::shared_ptr<texture_image> image, std::string& error) {
    const std::int64_t bytes = static_cast<std::int64_t>(image->rgba.size()) * (bytes_per_pixel / 4);
    if (t.scratch.budget && !t.scratch.budget->spend(bytes, "image pixels")) {
        error = t.scratch.budget->message();
        return -1;
    }
    t.out.textures.push_back(std::move(image));
    return static_cast<std::int32_t>(t.out.textures.size() - 1);
}

// Opens and decodes an image file a scene names, once per file however its
// name is spelt (./x.png, ././x.png, a link to it): its index in the store,
// or -1 after a warning.
std::int32_t decode_file(shape_target t, const texture_source& src, const image_use& use) {
    reader::opened_file file;
    std::string why;
    if (!reader::open_regular_file(src.file, reader::file_origin::referenced, file, why)) {
        warn_unread(t, src, true, use, "cannot open the image file (" + why + ")");
        return -1;
    }
    const auto [known, fresh] = t.scratch.texture_identities.try_emplace({file.device(), file.inode()}, -1);
    if (!fresh) return known->second;  // warned about at its first name, if it failed
    std::int64_t most = max_image_file_bytes;
    if (t.scratch.budget) most = std::min(most, t.scratch.budget->left());
    auto image = std::make_shared<texture_image>();
    image->source = src.file;
    std::vector<std::uint8_t> data;
    std::string error;
    try {
        if (!reader::read_whole_file(file, most, data, why)) {
            warn_unread(t, src, true, use, "cannot read the image file (" + why + ")");
            return -1;
        }
    } catch (const std::bad_alloc&) {
        warn_unread(t, src, true, use, "not enough memory for the image");
        return -1;
    }
    if (!decode_image(data, *image, error, pixel_allowance(t.scratch), t.scratch.decoding)) {
        warn_unread(t, src, true, use, error);
        return -1;
    }
    data = {};
    known->second = keep(t, std::move(image), error);
    if (known->second < 0) warn_unread(t, src, true, use, error);
    return known->second;
}

std::int32_t decode_inline(shape_target t, const texture_source& src) {
    auto image = std::make_shared<texture_image>();
    std::string error;
    const std::int64_t pixels = src.image.size() >= 2 ? std::int64_t{src.image[0]} * src.image[1] : 0;
    if (pixels > pixel_allowance(t.scratch)) {
        if (t.scratch.budget) t.scratch.budget->spend(pixels * bytes_per_pixel, "image pixels");
        warn_unread(t, src, false, texture_alone,
                    t.scratch.budget ? t.scratch.budget->message() : "the image is too large");
        return -1;
    }
    if (!decode_sf_image(src.image, *image, error)) {
        warn_unread(t, src, false, texture_alone, error);
        return -1;
    }
    const std::int32_t index = keep(t, std::move(image), error);
    if (index < 0) warn_unread(t, src, false, texture_alone, error);
    return index;
}

}  // namespace

std::int32_t texture_for(shape_target t, const shape_state& state) {
    if (!state.texture) return -1;
    const texture_source& src = *state.texture;
    const bool has_inline = !src.image.empty();
    std::int32_t found = -1;
    if (!src.file.empty()) {
        auto [it, fresh] = t.scratch.texture_files.try_emplace(src.file, -1);
        if (fresh) it->second = decode_file(t, src, has_inline ? texture_with_inline : texture_alone);
        found = it->second;
    }
    if (found >= 0 || !has_inline) return found;
    auto [it, fresh] = t.scratch.texture_inlines.try_emplace(src.image_key, -1);
    if (fresh) it->second = decode_inline(t, src);
    return it->second;
}

std::int32_t panorama_image(shape_target t, const texture_source& src) {
    if (src.file.empty()) return -1;
    auto [it, fresh] = t.scratch.texture_files.try_emplace(src.file, -1);
    if (fresh) it->second = decode_file(t, src, panorama_face_image);
    return it->second;
}

void set_texture(shape_record& shape, std::int32_t index, const shape_state& state, const scene_store& store) {
    shape.texture = index;
    if (index < 0 || !state.texture) return;
    const int components = store.textures[static_cast<std::size_t>(index)]->components;
    if (state.texture->alpha_replaces_transparency && (components == 2 || components == 4))
        shape.material.transparency = 0;
    shape.wrap_s = state.texture->repeat_s ? texture_wrap::repeat : texture_wrap::clamp;
    shape.wrap_t = state.texture->repeat_t ? texture_wrap::repeat : texture_wrap::clamp;
}

}  // namespace tessel::vrml::detail

namespace tessel::vrml {

shown_images::shown_images(scene_store& into, warning_list& warnings, reader::load_budget& budget)
    : into_(into), warnings_(warnings), scratch_(std::make_unique<detail::builder_scratch>()) {
    scratch_->budget = &budget;
    std::int64_t held = 0;
    for (std::size_t i = 0; i < into.textures.size(); ++i) {
        const texture_image* image = into.textures[i].get();
        if (!image) continue;
        held += static_cast<std::int64_t>(image->rgba.size()) * (detail::bytes_per_pixel / 4);
        if (image->source != "inline") scratch_->texture_files.try_emplace(image->source, static_cast<std::int32_t>(i));
    }
    // Held beyond the budget already: no image more.
    if (!budget.spend(held, "image pixels")) budget.spend(budget.left(), "image pixels");
}

shown_images::~shown_images() = default;

std::int32_t shown_images::panorama_image(const texture_source& src) {
    return detail::panorama_image({into_, warnings_, *scratch_}, src);
}

}  // namespace tessel::vrml
