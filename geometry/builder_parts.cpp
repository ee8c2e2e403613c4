#include "geometry/builder_parts.h"

#include <algorithm>

namespace tessel::vrml::detail {

transform::transform(const matrix4& m) : m_(m) {
    const float* a = m.m;
    // Rows of the upper 3x3 as the matrix acts on column vectors.
    const double r[3][3] = {{a[0], a[4], a[8]}, {a[1], a[5], a[9]}, {a[2], a[6], a[10]}};
    // cof[i][j]: cofactor of element (i, j); the inverse transpose is cof / det.
    double cof[3][3];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const int i1 = (i + 1) % 3, i2 = (i + 2) % 3, j1 = (j + 1) % 3, j2 = (j + 2) % 3;
            cof[i][j] = r[i1][j1] * r[i2][j2] - r[i1][j2] * r[i2][j1];
        }
    }
    const double det = r[0][0] * cof[0][0] + r[0][1] * cof[0][1] + r[0][2] * cof[0][2];
    mirrors_ = det < 0;
    const double sign = det < 0 ? -1.0 : 1.0;
    // Column-major, as point() reads m_: element (row i, column j) at j * 3 + i.
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            n_[j * 3 + i] = static_cast<float>(cof[i][j] * sign);
        }
    }
}

material_table::material_table(const material_list& m) : m_(m) {
    count_ = static_cast<std::int64_t>(std::max({m.diffuse.size() / 3, m.transparency.size(), std::size_t{1}}));
}

namespace {

void colour_at(const std::vector<float>& field, std::int64_t i, const float fallback[3], float out[3]) {
    const std::int64_t n = static_cast<std::int64_t>(field.size() / 3);
    if (n == 0) {
        std::copy(fallback, fallback + 3, out);
        return;
    }
    const std::size_t k = static_cast<std::size_t>(std::clamp<std::int64_t>(i, 0, n - 1)) * 3;
    std::copy(field.begin() + static_cast<std::ptrdiff_t>(k), field.begin() + static_cast<std::ptrdiff_t>(k + 3),
              out);
}

float value_at(const std::vector<float>& field, std::int64_t i, float fallback) {
    if (field.empty()) return fallback;
    const std::int64_t n = static_cast<std::int64_t>(field.size());
    return field[static_cast<std::size_t>(std::clamp<std::int64_t>(i, 0, n - 1))];
}

}  // namespace

shape_material material_table::entry(std::int64_t i) const {
    shape_material s;
    const shape_material d;
    colour_at(m_.ambient, i, d.ambient, s.ambient);
    colour_at(m_.diffuse, i, d.diffuse, s.diffuse);
    colour_at(m_.specular, i, d.specular, s.specular);
    colour_at(m_.emissive, i, d.emissive, s.emissive);
    s.shininess = value_at(m_.shininess, i, d.shininess);
    s.transparency = value_at(m_.transparency, i, d.transparency);
    return s;
}

void material_table::diffuse(std::int64_t i, float out[3]) const {
    static constexpr float fallback[3] = {0.8f, 0.8f, 0.8f};
    colour_at(m_.diffuse, i, fallback, out);
}

float material_table::transparency(std::int64_t i) const {
    return value_at(m_.transparency, i, 0.0f);
}

void problem_log::add(const char* kind, const std::string& message) {
    const std::string key = std::string(kind) + '@' + std::to_string(where_.line) + ':' + std::to_string(where_.column);
    list_.add_once(key, where_, message);
}

void append_shape(scene_store& out, shape_record&& shape) {
    std::vector<float>& colours = shape.colours;
    if (!colours.empty()) {
        bool varies = false;
        for (std::size_t i = 4; i + 3 < colours.size() && !varies; i += 4)
            for (std::size_t k = 0; k < 3; ++k) varies = varies || colours[i + k] != colours[k];
        if (!varies) {
            std::copy(colours.begin(), colours.begin() + 3, shape.material.diffuse);
            colours = {};
        }
    }
    // The record's one transparency, as the GL's alpha of every colour.
    const float alpha = 1.0f - shape.material.transparency;
    for (std::size_t i = 3; i < colours.size(); i += 4) colours[i] = alpha;
    std::copy(shape.material.diffuse, shape.material.diffuse + 3, shape.colour);
    shape.rotation[2] = 1.0f;  // the identity written as an axis and angle
    out.point_counts.push_back(static_cast<std::int64_t>(shape.point_count()));
    out.face_counts.push_back(static_cast<std::int64_t>(shape.corners.size() / corners_per_primitive(shape.kind)));
    shape.corners.pack();
    out.shapes.push_back(std::move(shape));
    out.shape_count = static_cast<std::int64_t>(out.shapes.size());
}

namespace {

// More transparencies than this in one shape share the last record.
constexpr std::size_t transparency_groups = 16;

}  // namespace

void append_shape(scene_store& out, shape_record&& shape, std::span<const std::int32_t> vertex_entry,
                  const material_table& materials) {
    const std::size_t per = corners_per_primitive(shape.kind);
    const std::size_t primitives = shape.corners.size() / per;
    std::vector<float> levels;
    std::vector<std::uint8_t> group(primitives);
    for (std::size_t t = 0; t < primitives; ++t) {
        const float level = materials.transparency(vertex_entry[shape.corners[t * per]]);
        std::size_t g = 0;
        while (g < levels.size() && levels[g] != level) ++g;
        if (g == levels.size()) {
            if (levels.size() < transparency_groups) levels.push_back(level);
            else g = levels.size() - 1;
        }
        group[t] = static_cast<std::uint8_t>(g);
    }
    if (levels.size() <= 1) {
        append_shape(out, std::move(shape));
        return;
    }
    const std::size_t vertices = shape.point_count();
    std::vector<std::int32_t> renumber(vertices);
    const auto copy = [](const std::vector<float>& from, std::size_t v, std::size_t width, std::vector<float>& to) {
        if (!from.empty()) to.insert(to.end(), from.begin() + static_cast<std::ptrdiff_t>(v * width),
                                     from.begin() + static_cast<std::ptrdiff_t>((v + 1) * width));
    };
    for (std::size_t g = 0; g < levels.size(); ++g) {
        shape_record part;
        part.kind = shape.kind;
        part.lit = shape.lit;
        part.two_sided = shape.two_sided;
        part.texture = shape.texture;
        part.wrap_s = shape.wrap_s;
        part.wrap_t = shape.wrap_t;
        std::fill(renumber.begin(), renumber.end(), -1);
        std::int64_t first_entry = -1;
        for (std::size_t t = 0; t < primitives; ++t) {
            if (group[t] != g) continue;
            for (std::size_t k = 0; k < per; ++k) {
                const std::size_t v = shape.corners[t * per + k];
                if (first_entry < 0) first_entry = vertex_entry[v];
                if (renumber[v] < 0) {
                    renumber[v] = static_cast<std::int32_t>(part.point_count());
                    copy(shape.points, v, 3, part.points);
                    copy(shape.normals, v, 3, part.normals);
                    copy(shape.colours, v, 4, part.colours);
                    copy(shape.texture_coords, v, 2, part.texture_coords);
                }
                part.corners.push_back(static_cast<std::uint32_t>(renumber[v]));
            }
        }
        part.material = materials.entry(first_entry);
        part.back = shape.back;
        append_shape(out, std::move(part));
    }
}

}  // namespace tessel::vrml::detail
