// Cube, sphere, cone and cylinder as triangles, fine enough to look round at
// full-window size, with exact normals: smooth over curved surfaces, sharp at
// rims and cube edges. Parts take their own material under PER_PART.

#include <cmath>
#include <numbers>

#include "geometry/shape_builders.h"

namespace tessel::vrml::detail {

namespace {

constexpr int sphere_stacks = 16;
constexpr int sphere_slices = 32;
constexpr int round_slices = 32;  // around cones and cylinders

// Collects one primitive's vertices and triangles in world coordinates.
class primitive_out {
public:
    primitive_out(shape_target t, const shape_state& state, bool per_part, const char* shape_name)
        : t_(t), xf_(state.matrix), log_(t.warnings, state.where), materials_(*state.material),
          per_part_(per_part), vary_(per_part && materials_.count() > 1), name_(shape_name), state_(state),
          texture_(texture_for(t, state)) {}

    // The material entry of part `part` (numbered as the file's parts are).
    std::int64_t part_entry(std::int64_t part) {
        if (!per_part_) return 0;
        if (materials_.contains(part)) return part;
        log_.report("material-index", [&] {
            return std::string(name_) + " has " + std::to_string(part + 1) + " or more parts but " +
                   std::to_string(materials_.count()) + " materials; the first material is used for the others";
        });
        return 0;
    }

    // s, t: the texture coordinate the shape's default mapping gives the vertex.
    std::int32_t vertex(vec3 p, vec3 n, std::int64_t entry, float s = 0, float t = 0) {
        if (first_entry_ < 0) first_entry_ = entry;
        const std::int32_t id = static_cast<std::int32_t>(shape_.point_count());
        push_vertex(shape_, xf_.point(p), xf_.normal(n));
        if (texture_ >= 0) {
            float st[2];
            map_texture(state_.texture_transform, s, t, st);
            append_values(shape_.texture_coords, st[0], st[1]);
        }
        if (vary_) {
            float c[3];
            materials_.diffuse(entry, c);
            push_colour(shape_, c);
            entries_.push_back(static_cast<std::int32_t>(entry));
        }
        return id;
    }

    // Counterclockwise seen from outside; a mirroring transform reverses it
    // so that it stays counterclockwise in the world.
    void triangle(std::int32_t a, std::int32_t b, std::int32_t c) {
        if (xf_.mirrors()) push_triangle(shape_, a, c, b);
        else push_triangle(shape_, a, b, c);
    }

    void finish(bool two_sided) {
        shape_.kind = shape_kind::triangles;
        shape_.lit = true;
        shape_.two_sided = two_sided;
        shape_.material = materials_.entry(first_entry_ < 0 ? 0 : first_entry_);
        shape_.back = materials_.back();
        set_texture(shape_, texture_, state_, t_.out);
        if (shape_.corners.empty()) return;
        if (vary_) append_shape(t_.out, std::move(shape_), entries_, materials_);
        else append_shape(t_.out, std::move(shape_));
    }

private:
    shape_target t_;
    transform xf_;
    problem_log log_;
    material_table materials_;
    bool per_part_;
    bool vary_;
    const char* name_;
    const shape_state& state_;
    std::int32_t texture_;  // the store's image, -1: untextured
    std::int64_t first_entry_ = -1;
    shape_record shape_;
    std::vector<std::int32_t> entries_;  // per vertex, when parts differ in material
};

bool per_part(const shape_state& state, bool faces_are_parts) {
    switch (state.material_binding) {
        case binding::per_part:
        case binding::per_part_indexed:
            return true;
        case binding::per_face:
        case binding::per_face_indexed:
            return faces_are_parts;
        default:
            return false;
    }
}

bool usable_sizes(shape_target t, const shape_state& state, std::initializer_list<float> sizes) {
    for (float s : sizes) {
        if (!std::isfinite(s)) {
            problem_log(t.warnings, state.where).report("size", [] {
                return "shape with an infinite or NaN size left out";
            });
            return false;
        }
    }
    return true;
}

// Angle 0 is the back (-z); angles grow counterclockwise seen from above,
// as a texture's s wraps round spheres, cylinders and cones.
vec3 around(float angle, float radius, float y) {
    return {-radius * std::sin(angle), y, -radius * std::cos(angle)};
}

float slice_s(int j, int slices) { return static_cast<float>(j) / static_cast<float>(slices); }

float slice_angle(int j, int slices) {
    return static_cast<float>(2.0 * std::numbers::pi * j / slices);
}

// A disc of the given radius at height y, facing up (+y) or down. The
// texture is a circle cut from the image, upright seen from the front
// with the disc tilted towards the viewer.
void disc(primitive_out& out, float radius, float y, bool up, std::int64_t entry) {
    const vec3 n{0, up ? 1.0f : -1.0f, 0};
    const std::int32_t centre = out.vertex({0, y, 0}, n, entry, 0.5f, 0.5f);
    std::int32_t first = -1;
    for (int j = 0; j <= round_slices; ++j) {
        const vec3 p = around(slice_angle(j, round_slices), radius, y);
        const float u = radius > 0 ? p.x / radius : 0, w = radius > 0 ? p.z / radius : 0;
        const std::int32_t v = out.vertex(p, n, entry, 0.5f + u / 2, 0.5f + (up ? -w : w) / 2);
        if (j == 0) first = v;
    }
    for (int j = 0; j < round_slices; ++j) {
        const std::int32_t a = first + j, b = first + j + 1;
        if (up) out.triangle(centre, a, b);
        else out.triangle(centre, b, a);
    }
}

}  // namespace

void build_cube(shape_target t, const shape_state& state, float width, float height, float depth) {
    if (!usable_sizes(t, state, {width, height, depth})) return;
    const float hw = std::fabs(width) / 2, hh = std::fabs(height) / 2, hd = std::fabs(depth) / 2;
    // Faces in the order the format numbers them for per-face materials:
    // front, back, left, right, top, bottom. u x v = normal, so corners
    // centre -u-v, +u-v, +u+v, -u+v run counterclockwise seen from outside.
    struct face {
        vec3 normal, u, v;
    };
    const face faces[6] = {
        {{0, 0, 1}, {hw, 0, 0}, {0, hh, 0}},  {{0, 0, -1}, {-hw, 0, 0}, {0, hh, 0}},
        {{-1, 0, 0}, {0, 0, hd}, {0, hh, 0}}, {{1, 0, 0}, {0, 0, -hd}, {0, hh, 0}},
        {{0, 1, 0}, {hw, 0, 0}, {0, 0, -hd}}, {{0, -1, 0}, {hw, 0, 0}, {0, 0, hd}},
    };
    const vec3 half{hw, hh, hd};
    primitive_out out(t, state, per_part(state, true), "Cube");
    for (int f = 0; f < 6; ++f) {
        const face& fc = faces[f];
        const vec3 centre{fc.normal.x * half.x, fc.normal.y * half.y, fc.normal.z * half.z};
        const std::int64_t entry = out.part_entry(f);
        // The whole image on each face, upright: u runs along s, v along t.
        const std::int32_t a = out.vertex(centre - fc.u - fc.v, fc.normal, entry, 0, 0);
        const std::int32_t b = out.vertex(centre + fc.u - fc.v, fc.normal, entry, 1, 0);
        const std::int32_t c = out.vertex(centre + fc.u + fc.v, fc.normal, entry, 1, 1);
        const std::int32_t d = out.vertex(centre - fc.u + fc.v, fc.normal, entry, 0, 1);
        out.triangle(a, b, c);
        out.triangle(a, c, d);
    }
    out.finish(!state.hints.solid);
}

void build_sphere(shape_target t, const shape_state& state, float radius) {
    if (!usable_sizes(t, state, {radius})) return;
    const float r = std::fabs(radius);
    // A sphere has one part: it always takes the first material.
    primitive_out out(t, state, false, "Sphere");
    std::int32_t first = -1;
    for (int i = 0; i <= sphere_stacks; ++i) {
        const double phi = std::numbers::pi * i / sphere_stacks;  // from the top (+y) down
        const float ring = static_cast<float>(std::sin(phi)), y = static_cast<float>(std::cos(phi));
        for (int j = 0; j <= sphere_slices; ++j) {
            const vec3 n = around(slice_angle(j, sphere_slices), ring, y);
            const float t = 1.0f - static_cast<float>(i) / sphere_stacks;
            const std::int32_t v = out.vertex(n * r, n, 0, slice_s(j, sphere_slices), t);
            if (first < 0) first = v;
        }
    }
    const int row = sphere_slices + 1;
    for (int i = 0; i < sphere_stacks; ++i) {
        for (int j = 0; j < sphere_slices; ++j) {
            const std::int32_t a = first + i * row + j, b = a + row, c = b + 1, d = a + 1;
            if (i > 0) out.triangle(a, c, d);                  // none at the top pole: a and d meet there
            if (i < sphere_stacks - 1) out.triangle(a, b, c);  // none at the bottom pole: b and c meet there
        }
    }
    out.finish(!state.hints.solid);
}

void build_cone(shape_target t, const shape_state& state, float bottom_radius, float height, unsigned part_mask) {
    if (!usable_sizes(t, state, {bottom_radius, height})) return;
    const float r = std::fabs(bottom_radius), h = std::fabs(height);
    primitive_out out(t, state, per_part(state, false), "Cone");
    if (part_mask & parts::sides) {
        const std::int64_t entry = out.part_entry(0);
        // The side's normal leans up by the cone's slope; the apex gets one
        // vertex per slice with the normal of the slice's middle.
        const auto side_normal = [&](float angle) { return normalised(around(angle, h, r)); };
        for (int j = 0; j < round_slices; ++j) {
            const float a0 = slice_angle(j, round_slices), a1 = slice_angle(j + 1, round_slices);
            const float s0 = slice_s(j, round_slices), s1 = slice_s(j + 1, round_slices);
            const std::int32_t b0 = out.vertex(around(a0, r, -h / 2), side_normal(a0), entry, s0, 0);
            const std::int32_t b1 = out.vertex(around(a1, r, -h / 2), side_normal(a1), entry, s1, 0);
            const std::int32_t apex = out.vertex({0, h / 2, 0}, side_normal((a0 + a1) / 2), entry, (s0 + s1) / 2, 1);
            out.triangle(b0, b1, apex);
        }
    }
    if (part_mask & parts::bottom) disc(out, r, -h / 2, false, out.part_entry(1));
    out.finish(!state.hints.solid);
}

void build_cylinder(shape_target t, const shape_state& state, float radius, float height, unsigned part_mask) {
    if (!usable_sizes(t, state, {radius, height})) return;
    const float r = std::fabs(radius), h = std::fabs(height);
    primitive_out out(t, state, per_part(state, false), "Cylinder");
    // Parts are numbered sides, top, bottom for their materials.
    if (part_mask & parts::sides) {
        const std::int64_t entry = out.part_entry(0);
        std::int32_t first = -1;
        for (int j = 0; j <= round_slices; ++j) {
            const float a = slice_angle(j, round_slices);
            const vec3 n = around(a, 1, 0);
            const std::int32_t low = out.vertex(around(a, r, -h / 2), n, entry, slice_s(j, round_slices), 0);
            out.vertex(around(a, r, h / 2), n, entry, slice_s(j, round_slices), 1);
            if (j == 0) first = low;
        }
        for (int j = 0; j < round_slices; ++j) {
            const std::int32_t a = first + 2 * j, d = a + 1, b = a + 2, c = a + 3;
            out.triangle(a, b, c);
            out.triangle(a, c, d);
        }
    }
    if (part_mask & parts::top) disc(out, r, h / 2, true, out.part_entry(1));
    if (part_mask & parts::bottom) disc(out, r, -h / 2, false, out.part_entry(2));
    out.finish(!state.hints.solid);
}

}  // namespace tessel::vrml::detail
