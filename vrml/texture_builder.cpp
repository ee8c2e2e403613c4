// Texture images for the back end: each file decoded once per load and kept
// in the store, shared by every shape that shows it.

#include <new>

#include "vrml/image.h"
#include "vrml/shape_builders.h"

namespace tessel::vrml::detail {

namespace {

// Decodes one image into the store: its index, or -1 after a warning.
std::int32_t decode_into_store(shape_target t, const texture_source& src, bool from_file, bool fallback_follows) {
    auto image = std::make_shared<texture_image>();
    std::string error;
    const bool ok = from_file ? decode_image_file(src.file, *image, error) : decode_sf_image(src.image, *image, error);
    if (!ok) {
        const std::string what = from_file ? "texture image \"" + src.file + "\"" : "inline texture image";
        t.warnings.add(src.where, what + " not shown: " + error +
                                      (fallback_follows ? "; the node's inline image is used instead"
                                                        : "; the shapes are drawn untextured"));
        return -1;
    }
    t.out.textures.push_back(std::move(image));
    return static_cast<std::int32_t>(t.out.textures.size() - 1);
}

}  // namespace

std::int32_t texture_for(shape_target t, const shape_state& state) {
    if (!state.texture) return -1;
    const texture_source& src = *state.texture;
    const bool has_inline = !src.image.empty();
    std::int32_t found = -1;
    if (!src.file.empty()) {
        auto [it, fresh] = t.scratch.texture_files.try_emplace(src.file, -1);
        if (fresh) it->second = decode_into_store(t, src, true, has_inline);
        found = it->second;
    }
    if (found >= 0 || !has_inline) return found;
    auto [it, fresh] = t.scratch.texture_inlines.try_emplace(src.image_key, -1);
    if (fresh) it->second = decode_into_store(t, src, false, false);
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
