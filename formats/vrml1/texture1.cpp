#include "formats/vrml1/texture1.h"

#include "world/urls.h"

#include <cmath>

namespace tessel::vrml {

bool texture2_source(const node& n, const document& doc, texture_source& out) {
    out = texture_source{};
    out.where = n.where;
    out.repeat_s = n.word("wrapS", "REPEAT") != "CLAMP";
    out.repeat_t = n.word("wrapT", "REPEAT") != "CLAMP";
    const std::string name(n.word("filename", ""));
    if (!name.empty()) out.file = resolve_image_name(doc.file, name);
    const auto& image = n.integers("image");
    if (image.size() >= 3 && image[0] > 0 && image[1] > 0) {
        out.image = image;
        out.image_key = &image;
    }
    return !out.file.empty() || !out.image.empty();
}

texture_matrix texture2_transform_matrix(const node& n) {
    const auto pair = [&](const char* field, float x, float y) {
        const auto& v = n.numbers(field);
        return v.size() >= 2 ? std::pair{v[0], v[1]} : std::pair{x, y};
    };
    const auto [tx, ty] = pair("translation", 0, 0);
    const auto [sx, sy] = pair("scaleFactor", 1, 1);
    const auto [cx, cy] = pair("center", 0, 0);
    const float angle = n.number("rotation", 0);
    const float c = std::isfinite(angle) ? std::cos(angle) : 1, s = std::isfinite(angle) ? std::sin(angle) : 0;
    // p' = T + C + R S (p - C)
    texture_matrix m;
    m.m[0] = c * sx;
    m.m[1] = s * sx;
    m.m[2] = -s * sy;
    m.m[3] = c * sy;
    m.m[4] = tx + cx - (m.m[0] * cx + m.m[2] * cy);
    m.m[5] = ty + cy - (m.m[1] * cx + m.m[3] * cy);
    return m;
}

}  // namespace tessel::vrml
