// Texture images for the back end: each file decoded once per load and kept
// in the store, shared by every shape that shows it.

#include <new>

#include "vrml/image.h"
#include "vrml/shape_builders.h"

namespace tessel::vrml::detail {

std::int32_t texture_for(shape_target t, const shape_state& state) {
    if (!state.texture) return -1;
    const texture_source& src = *state.texture;
    const bool from_file = !src.file.empty();
    std::int32_t* slot = nullptr;
    if (from_file) {
        auto [it, fresh] = t.scratch.texture_files.try_emplace(src.file, -1);
        if (!fresh) return it->second;
        slot = &it->second;
    } else {
        auto [it, fresh] = t.scratch.texture_inlines.try_emplace(src.image_key, -1);
        if (!fresh) return it->second;
        slot = &it->second;
    }
    auto image = std::make_shared<texture_image>();
    std::string error;
    const bool ok = from_file ? decode_image_file(src.file, *image, error) : decode_sf_image(src.image, *image, error);
    if (!ok) {
        t.warnings.add(src.where, from_file ? "texture image \"" + src.file + "\" not shown: " + error +
                                                  "; the shapes are drawn untextured"
                                            : "texture image not shown: " + error + "; the shapes are drawn untextured");
        return -1;
    }
    *slot = static_cast<std::int32_t>(t.out.textures.size());
    t.out.textures.push_back(std::move(image));
    return *slot;
}

void set_texture(shape_record& shape, std::int32_t index, const shape_state& state) {
    shape.texture = index;
    if (index < 0 || !state.texture) return;
    shape.wrap_s = state.texture->repeat_s ? texture_wrap::repeat : texture_wrap::clamp;
    shape.wrap_t = state.texture->repeat_t ? texture_wrap::repeat : texture_wrap::clamp;
}

}  // namespace tessel::vrml::detail
