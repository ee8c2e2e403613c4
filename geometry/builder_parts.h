#pragma once
// Pieces the geometry back end's shape kinds share: small vector maths, the
// object-to-world transform of points and normals, the material table with
// its fallbacks, and the growing shape record. Internal to geometry/.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "geometry/geometry.h"

namespace tessel::vrml::detail {

struct vec3 {
    float x = 0, y = 0, z = 0;
};

inline vec3 operator+(vec3 a, vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline vec3 operator-(vec3 a, vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline vec3 operator*(vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float dot(vec3 a, vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline vec3 cross(vec3 a, vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float length(vec3 a) { return std::sqrt(dot(a, a)); }
inline bool finite(vec3 a) { return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z); }
// The unit vector along a, or the zero vector when a has no direction.
inline vec3 normalised(vec3 a) {
    const float l = length(a);
    return (l > 0 && std::isfinite(l)) ? a * (1.0f / l) : vec3{};
}

// The shape's matrix applied to points, and its inverse transpose applied to
// normals so that they stay perpendicular to surfaces under non-uniform scale.
class transform {
public:
    explicit transform(const matrix4& m);
    vec3 point(vec3 p) const {
        const float* m = m_.m;
        return {m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12], m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
                m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]};
    }
    // Unit length; the zero vector when the matrix flattens the direction away.
    vec3 normal(vec3 n) const {
        return normalised({n_[0] * n.x + n_[3] * n.y + n_[6] * n.z, n_[1] * n.x + n_[4] * n.y + n_[7] * n.z,
                           n_[2] * n.x + n_[5] * n.y + n_[8] * n.z});
    }
    // A mirroring matrix turns counterclockwise faces clockwise.
    bool mirrors() const { return mirrors_; }

private:
    matrix4 m_;
    float n_[9];  // column-major 3x3: the cofactor matrix, signed like the inverse transpose
    bool mirrors_ = false;
};

inline vec3 load3(std::span<const float> xyz, std::size_t i) {
    return {xyz[i * 3], xyz[i * 3 + 1], xyz[i * 3 + 2]};
}

// The Material in force as numbered entries. An entry takes each field's
// value at its number; a field with fewer values repeats its last one and an
// empty field gives the default, so one transparency serves many colours.
class material_table {
public:
    explicit material_table(const material_list& m);
    // Entries that a binding may address: as many as the longest of diffuse
    // and transparency, at least one.
    std::int64_t count() const { return count_; }
    bool contains(std::int64_t i) const { return i >= 0 && i < count_; }
    shape_material entry(std::int64_t i) const;
    void diffuse(std::int64_t i, float out[3]) const;
    float transparency(std::int64_t i) const;
    const std::shared_ptr<const shape_material>& back() const { return m_.back; }

private:
    const material_list& m_;
    std::int64_t count_ = 1;
};

// Reports problems once per kind and shape node. The message is made only
// the first time, so a problem repeated on every face costs a compare.
class problem_log {
public:
    problem_log(warning_list& list, source_position where) : list_(list), where_(where) {}
    template <typename MakeMessage>
    void report(const char* kind, MakeMessage&& make) {
        if (std::find(seen_.begin(), seen_.end(), kind) != seen_.end()) return;
        seen_.push_back(kind);
        add(kind, std::string(make()));
    }

private:
    void add(const char* kind, const std::string& message);

    warning_list& list_;
    source_position where_;
    std::vector<const char*> seen_;  // kinds are string literals: compared by address
};

// Whether an index list holds no indices of its own: empty, or the single -1
// a file leaves as the field's default. Indexed per-vertex bindings then
// follow the coordinate indices.
inline bool unset_index_list(std::span<const std::int32_t> list) {
    return list.empty() || (list.size() == 1 && list[0] < 0);
}

// Appends a finished record to the store, keeping its counts in step; drops
// per-vertex colours when every vertex has the same one.
void append_shape(scene_store& out, shape_record&& shape);

// The same for a shape whose vertices took material entries of their own
// (vertex_entry: one per vertex). A record has one transparency, so a shape
// whose entries differ in it becomes one record per transparency, each
// primitive going with the entry of its first corner.
void append_shape(scene_store& out, shape_record&& shape, std::span<const std::int32_t> vertex_entry,
                  const material_table& materials);

// Appends values one by one: with room reserved that is a store each, where
// inserting an initializer list goes through a general range copy per call.
template <typename T, typename... V>
inline void append_values(std::vector<T>& to, V... values) {
    (to.push_back(static_cast<T>(values)), ...);
}

// Appends one vertex (position, normal) to a record under construction.
inline void push_vertex(shape_record& s, vec3 p, vec3 n) {
    append_values(s.points, p.x, p.y, p.z);
    append_values(s.normals, n.x, n.y, n.z);
}
// A vertex's colour; its alpha is set from the record's transparency when
// append_shape stores it.
inline void push_colour(shape_record& s, const float c[3]) { append_values(s.colours, c[0], c[1], c[2], 1.0f); }
inline void push_triangle(shape_record& s, std::int32_t a, std::int32_t b, std::int32_t c) {
    append_values(s.corners.wide(), a, b, c);
}
inline vec3 point_of(const shape_record& s, std::size_t i) { return {s.points[3 * i], s.points[3 * i + 1], s.points[3 * i + 2]}; }

// Which value of a list (materials or normals) a corner takes under a
// binding; -1 when the binding points outside the list. Parts are faces for
// face sets and segments for line sets; faces are polylines for line sets.
struct binding_reader {
    binding how = binding::overall;             // DEFAULT already resolved
    std::span<const std::int32_t> index;        // materialIndex or normalIndex
    std::span<const std::int32_t> coord_index;  // stands in for an unset per-vertex index list
    std::int64_t values = 0;                    // length of the value list

    std::int64_t at(std::int64_t part, std::int64_t face, std::int64_t vertex, std::size_t pos) const {
        std::int64_t e = 0;
        switch (how) {
            case binding::default_binding:
            case binding::overall:
                e = 0;
                break;
            case binding::per_part:
                e = part;
                break;
            case binding::per_face:
                e = face;
                break;
            case binding::per_part_indexed:
                e = part < static_cast<std::int64_t>(index.size()) ? index[static_cast<std::size_t>(part)] : -1;
                break;
            case binding::per_face_indexed:
                e = face < static_cast<std::int64_t>(index.size()) ? index[static_cast<std::size_t>(face)] : -1;
                break;
            case binding::per_vertex:
                e = vertex;
                break;
            case binding::per_vertex_indexed:
                if (unset_index_list(index)) e = coord_index[pos];
                else e = pos < index.size() ? index[pos] : -1;
                break;
        }
        return (e >= 0 && e < values) ? e : -1;
    }
};

// The binding a shape kind reads when the file leaves it at DEFAULT.
inline binding resolve(binding b, binding default_to) {
    return b == binding::default_binding ? default_to : b;
}

}  // namespace tessel::vrml::detail
