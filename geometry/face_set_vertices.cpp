// Vertices for the corners of a face set's triangles: shared where the faces
// at a point agree, split at creases and where per-corner values differ.

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

#include "geometry/face_set_work.h"

namespace tessel::vrml::detail {

namespace {

// Faces meeting at one point beyond this many are grouped by direction
// instead of compared pairwise, so a fan of thousands of faces stays cheap.
constexpr std::size_t pairwise_limit = 32;
// Vertices per point compared for sharing; beyond, each corner gets its own.
constexpr std::size_t shared_limit = 16;
// Direction groups at a crowded point; past them a face keeps its own normal.
constexpr std::size_t group_cap = 64;
constexpr std::size_t ungrouped = static_cast<std::size_t>(-1);

}  // namespace

void face_set_work::make_vertices() {
    const std::size_t points = shape_.point_count();
    shape_.normals.resize(3 * points);
    if (vary_materials_) {
        float c[3];
        materials_.diffuse(corner_material_[0], c);
        shape_.colours.resize(4 * points);
        for (std::size_t i = 0; i < points; ++i) std::copy(c, c + 3, shape_.colours.begin() + static_cast<std::ptrdiff_t>(4 * i));
        vertex_material_.assign(points, corner_material_[0]);
    }
    // 1 where a point's corners are done one by one.
    std::vector<std::uint8_t> per_corner(points, 1);
    if (texture_ >= 0) {
        // Each point's vertex takes its first corner's coordinate.
        shape_.texture_coords.assign(2 * points, 0.0f);
        std::vector<std::uint8_t> seen(points, 0);
        for (std::size_t c = 0; c < corner_point_.size(); ++c) {
            const std::size_t p = static_cast<std::size_t>(corner_point_[c]);
            if (seen[p]) continue;
            seen[p] = 1;
            shape_.texture_coords[2 * p] = corner_texture_[c][0];
            shape_.texture_coords[2 * p + 1] = corner_texture_[c][1];
        }
    }
    if (flat_) {
        make_flat_vertices();
        return;
    }
    std::size_t creased = points;
    if (smooth_sums_) {
        for (vec3& m : mean_) m = normalised(m);
        creased = 0;
        for (std::size_t f = 0; f + 1 < face_first_.size(); ++f) {
            const vec3 u = normalised(face_normal(face_first_[f], face_first_[f + 1]));
            for (std::uint32_t c = face_first_[f]; c < face_first_[f + 1]; ++c) {
                const std::size_t p = static_cast<std::size_t>(corner_point_[c]);
                if (!(dot(u, mean_[p]) >= cos_half_crease_) && per_corner[p] != 2) {
                    per_corner[p] = 2;
                    ++creased;
                }
            }
        }
        // A point whose corners take different texture coordinates
        // needs a vertex per coordinate, as at a crease.
        if (texture_ >= 0) {
            for (std::size_t c = 0; c < corner_point_.size(); ++c) {
                const std::size_t p = static_cast<std::size_t>(corner_point_[c]);
                if (per_corner[p] != 2 && (corner_texture_[c][0] != shape_.texture_coords[2 * p] ||
                                           corner_texture_[c][1] != shape_.texture_coords[2 * p + 1])) {
                    per_corner[p] = 2;
                    ++creased;
                }
            }
        }
        for (std::size_t p = 0; p < points; ++p) {
            if (per_corner[p] == 2) continue;
            per_corner[p] = 0;
            const vec3 m = mean_[p];
            shape_.normals[3 * p] = m.x;
            shape_.normals[3 * p + 1] = m.y;
            shape_.normals[3 * p + 2] = m.z;
        }
        mean_ = {};
        if (creased == 0) return;  // every corner names its point's vertex already
    }
    // The corners at each remaining point, with their faces' normals.
    std::vector<std::uint32_t> first(points + 1, 0);
    for (std::int32_t p : corner_point_) {
        if (per_corner[static_cast<std::size_t>(p)]) ++first[static_cast<std::size_t>(p) + 1];
    }
    for (std::size_t p = 1; p <= points; ++p) first[p] += first[p - 1];
    std::vector<corner_at> around(first[points]);
    {
        std::vector<std::uint32_t> next(first.begin(), first.end() - 1);
        for (std::size_t f = 0; f + 1 < face_first_.size(); ++f) {
            bool needed = false;
            for (std::uint32_t c = face_first_[f]; c < face_first_[f + 1] && !needed; ++c) {
                needed = per_corner[static_cast<std::size_t>(corner_point_[c])] != 0;
            }
            if (!needed) continue;
            const vec3 n = face_normal(face_first_[f], face_first_[f + 1]);
            const float w = length(n);
            for (std::uint32_t c = face_first_[f]; c < face_first_[f + 1]; ++c) {
                const std::size_t p = static_cast<std::size_t>(corner_point_[c]);
                if (per_corner[p]) around[next[p]++] = {c, n * (1.0f / w), w};
            }
        }
    }
    per_corner = {};
    const std::span<const corner_at> all(around);
    for (std::size_t p = 0; p < points; ++p) {
        if (first[p] == first[p + 1]) continue;
        per_corner_vertices(static_cast<std::int32_t>(p), all.subspan(first[p], first[p + 1] - first[p]));
    }
}

std::int32_t face_set_work::place_vertex(std::int32_t p, bool own, vec3 at, vec3 n, std::int32_t material,
                                         const std::array<float, 2>& st) {
    float colour[3] = {0, 0, 0};
    if (vary_materials_) materials_.diffuse(material, colour);
    if (own) {
        const std::size_t i = static_cast<std::size_t>(p);
        shape_.normals[3 * i] = n.x;
        shape_.normals[3 * i + 1] = n.y;
        shape_.normals[3 * i + 2] = n.z;
        if (vary_materials_) {
            for (std::size_t k = 0; k < 3; ++k) shape_.colours[4 * i + k] = colour[k];
            vertex_material_[i] = material;
        }
        if (texture_ >= 0) {
            shape_.texture_coords[2 * i] = st[0];
            shape_.texture_coords[2 * i + 1] = st[1];
        }
        return p;
    }
    const auto id = static_cast<std::int32_t>(shape_.point_count());
    push_vertex(shape_, at, n);
    if (vary_materials_) {
        push_colour(shape_, colour);
        vertex_material_.push_back(material);
    }
    if (texture_ >= 0) append_values(shape_.texture_coords, st[0], st[1]);
    return id;
}

void face_set_work::make_flat_vertices() {
    const std::size_t points = shape_.point_count();
    std::vector<std::int32_t> latest(points, -1);
    // At worst every corner after a point's first gets a vertex of its
    // own: reserve that, so the arrays do not grow by doubling and
    // keep up to half their room unused for as long as the scene is.
    std::size_t used = 0;
    for (const std::int32_t p : corner_point_) {
        std::int32_t& seen = latest[static_cast<std::size_t>(p)];
        if (seen < 0) {
            seen = 0;
            ++used;
        }
    }
    std::fill(latest.begin(), latest.end(), -1);
    const std::size_t most = points + corner_point_.size() - used;
    shape_.points.reserve(3 * most);
    shape_.normals.reserve(3 * most);
    if (vary_materials_) shape_.colours.reserve(4 * most);
    if (texture_ >= 0) shape_.texture_coords.reserve(2 * most);
    if (vary_materials_) vertex_material_.reserve(most);
    const auto same = [&](std::int32_t v, vec3 n, std::int32_t material, const std::array<float, 2>& st) {
        const std::size_t i = static_cast<std::size_t>(v);
        return std::bit_cast<std::uint32_t>(shape_.normals[3 * i]) == std::bit_cast<std::uint32_t>(n.x) &&
               std::bit_cast<std::uint32_t>(shape_.normals[3 * i + 1]) == std::bit_cast<std::uint32_t>(n.y) &&
               std::bit_cast<std::uint32_t>(shape_.normals[3 * i + 2]) == std::bit_cast<std::uint32_t>(n.z) &&
               (!vary_materials_ || vertex_material_[i] == material) &&
               (texture_ < 0 ||
                (shape_.texture_coords[2 * i] == st[0] && shape_.texture_coords[2 * i + 1] == st[1]));
    };
    for (std::size_t f = 0; f + 1 < face_first_.size(); ++f) {
        const vec3 n = normalised(face_normal(face_first_[f], face_first_[f + 1]));
        for (std::uint32_t c = face_first_[f]; c < face_first_[f + 1]; ++c) {
            const std::int32_t p = corner_point_[c];
            const std::size_t i = static_cast<std::size_t>(p);
            const std::int32_t material = vary_materials_ ? corner_material_[c] : 0;
            const std::array<float, 2> st = texture_ >= 0 ? corner_texture_[c] : std::array<float, 2>{};
            std::int32_t id = -1;
            if (latest[i] >= 0) {
                if (same(p, n, material, st)) id = p;
                else if (latest[i] != p && same(latest[i], n, material, st)) id = latest[i];
            }
            if (id < 0) {
                id = place_vertex(p, latest[i] < 0, position(p), n, material, st);
                latest[i] = id;
            }
            corner_point_[c] = id;
        }
    }
}

vec3 face_set_work::smooth_normal(std::size_t k, std::span<const corner_at> around) const {
    const vec3 u = around[k].unit;
    vec3 sum{};
    for (std::size_t j = 0; j < around.size(); ++j) {
        if (j == k || dot(u, around[j].unit) >= cos_crease_) sum = sum + around[j].unit * around[j].weight;
    }
    const vec3 n = normalised(sum);
    return (n.x == 0 && n.y == 0 && n.z == 0) ? u : n;
}

void face_set_work::group_faces(std::span<const corner_at> around) {
    groups_.clear();
    group_of_.clear();
    for (const corner_at& a : around) {
        std::size_t g = 0;
        while (g < groups_.size() && dot(groups_[g].first, a.unit) < cos_crease_) ++g;
        if (g == groups_.size()) {
            if (groups_.size() == group_cap) {
                group_of_.push_back(ungrouped);
                continue;
            }
            groups_.push_back({a.unit, {}});
        }
        groups_[g].second = groups_[g].second + a.unit * a.weight;
        group_of_.push_back(g);
    }
    for (auto& g : groups_) g.second = normalised(g.second);
}

void face_set_work::per_corner_vertices(std::int32_t p, std::span<const corner_at> around) {
    const bool crowded = around.size() > pairwise_limit;
    if (crowded) group_faces(around);
    here_.clear();
    const vec3 at = position(p);
    for (std::size_t k = 0; k < around.size(); ++k) {
        const std::uint32_t c = around[k].corner;
        vec3 n;
        if (given_normals_ && corner_normal_[c] >= 0) {
            n = xf_.normal(load3(state_.normals, static_cast<std::size_t>(corner_normal_[c])));
        } else if (crowded) {
            const std::size_t g = group_of_[k];
            n = g == ungrouped ? around[k].unit : groups_[g].second;
        } else {
            n = smooth_normal(k, around);
        }
        const std::int32_t material = vary_materials_ ? corner_material_[c] : 0;
        const std::array<float, 2> st = texture_ >= 0 ? corner_texture_[c] : std::array<float, 2>{};
        std::int32_t id = -1;
        for (std::size_t v = 0; v < here_.size() && v < shared_limit; ++v) {
            if (here_[v].material == material && here_[v].texture == st &&
                std::bit_cast<std::array<float, 3>>(here_[v].normal) == std::bit_cast<std::array<float, 3>>(n)) {
                id = here_[v].id;
                break;
            }
        }
        if (id < 0) {
            id = place_vertex(p, here_.empty(), at, n, material, st);
            here_.push_back({id, n, material, st});
        }
        corner_point_[c] = id;
    }
}

void face_set_work::drop_unused_vertices() {
    const std::size_t vertices = shape_.point_count();
    std::vector<std::int32_t> renumber(vertices, 0);
    for (const std::uint32_t v : shape_.corners) renumber[v] = 1;
    std::int32_t next = 0;
    // Moves vertex v's `width` values of an array to vertex `to`.
    const auto move = [](std::vector<float>& a, std::size_t width, std::size_t v, std::size_t to) {
        std::copy_n(a.begin() + static_cast<std::ptrdiff_t>(v * width), width,
                    a.begin() + static_cast<std::ptrdiff_t>(to * width));
    };
    for (std::size_t v = 0; v < vertices; ++v) {
        const bool used = renumber[v] != 0;
        renumber[v] = used ? next : -1;
        if (!used) continue;
        const std::size_t to = static_cast<std::size_t>(next++);
        move(shape_.points, 3, v, to);
        move(shape_.normals, 3, v, to);
        if (vary_materials_) {
            move(shape_.colours, 4, v, to);
            vertex_material_[to] = vertex_material_[v];
        }
        if (texture_ >= 0) move(shape_.texture_coords, 2, v, to);
    }
    if (static_cast<std::size_t>(next) == vertices) return;
    const auto kept = static_cast<std::size_t>(next);
    shape_.points.resize(3 * kept);
    shape_.normals.resize(3 * kept);
    if (vary_materials_) {
        shape_.colours.resize(4 * kept);
        vertex_material_.resize(kept);
    }
    if (texture_ >= 0) shape_.texture_coords.resize(2 * kept);
    for (std::uint32_t& v : shape_.corners.wide()) v = static_cast<std::uint32_t>(renumber[v]);
}

}  // namespace tessel::vrml::detail
