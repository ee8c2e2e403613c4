// Face sets: faces into triangles, materials and normals per binding, and
// normals made from the faces where the file gives none, smooth across edges
// flatter than the crease angle. Work is linear in the size of the face set
// (plus, at creased points, the square of the number of faces that meet
// there), and large face sets are the common case, so the arrays are few and
// each is written once.

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cmath>
#include <numbers>

#include "geometry/shape_builders.h"

namespace tessel::vrml::detail {

void builder_scratch::begin(std::size_t points) {
    if (slots.size() < points) slots.resize(points);
    if (++call == 0) {  // the call numbers wrapped: forget them all once
        std::fill(slots.begin(), slots.end(), point_slot{});
        call = 1;
    }
}

namespace {

// Faces meeting at one point beyond this many are grouped by direction
// instead of compared pairwise, so a fan of thousands of faces stays cheap.
constexpr std::size_t pairwise_limit = 32;
// Vertices per point compared for sharing; beyond, each corner gets its own.
constexpr std::size_t shared_limit = 16;
// Direction groups at a crowded point; past them a face keeps its own normal.
constexpr std::size_t group_cap = 64;
constexpr std::size_t ungrouped = static_cast<std::size_t>(-1);
constexpr std::int32_t not_finite_point = -2;

// One corner at a creased point, with its face's normal.
struct corner_at {
    std::uint32_t corner;
    vec3 unit;
    float weight;  // twice the face's area: its share in the point's normal
};

class face_set_work {
public:
    face_set_work(shape_target t, const shape_state& state, std::span<const float> coords,
                  std::span<const std::int32_t> coord_index, std::span<const std::int32_t> material_index,
                  std::span<const std::int32_t> normal_index)
        : t_(t), state_(state), xf_(state.matrix), log_(t.warnings, state.where), coords_(coords),
          coord_index_(coord_index), materials_(*state.material) {
        const binding mb = resolve(state.material_binding, binding::overall);
        vary_materials_ = mb != binding::overall && materials_.count() > 1;
        material_reader_ = {mb, material_index, coord_index, materials_.count()};
        given_normals_ = state.normals.size() >= 3;
        normal_reader_ = {resolve(state.normal_binding, binding::per_vertex_indexed), normal_index, coord_index,
                          static_cast<std::int64_t>(state.normals.size() / 3)};
        // A clockwise face is stored reversed; so is every face seen in a mirror.
        flip_ = xf_.mirrors() != (state.hints.ordering == vertex_ordering::clockwise);
        const float crease = std::clamp(state.hints.crease_angle, 0.0f, std::numbers::pi_v<float>);
        cos_crease_ = std::cos(crease);
        cos_half_crease_ = std::cos(crease / 2);
        flat_ = crease <= 0 && !given_normals_;
        smooth_sums_ = !vary_materials_ && !given_normals_ && !flat_;
        texture_ = texture_for(t, state);
        if (texture_ >= 0) start_texture_coordinates();
    }

    void run() {
        read_faces();
        if (face_first_.size() < 2) return;
        split_faces();
        make_vertices();
        for (std::uint32_t& c : shape_.corners) c = static_cast<std::uint32_t>(corner_point_[c]);
        if (orphans_possible_) drop_unused_vertices();
        shape_.kind = shape_kind::triangles;
        shape_.two_sided = !(state_.hints.solid && state_.hints.ordering != vertex_ordering::unknown);
        shape_.lit = true;
        shape_.material = materials_.entry(vary_materials_ ? corner_material_[0] : 0);
        set_texture(shape_, texture_, state_, t_.out);
        if (vary_materials_) append_shape(t_.out, std::move(shape_), vertex_material_, materials_);
        else append_shape(t_.out, std::move(shape_));
    }

private:
    // Every point the faces use becomes a vertex of the record, numbered in
    // order of first use; corners at creases add more vertices later.
    std::int32_t local_point(std::int32_t i) {
        const std::size_t k = static_cast<std::size_t>(i);
        builder_scratch::point_slot& slot = t_.scratch.slots[k];
        if (slot.call != t_.scratch.call) {
            slot.call = t_.scratch.call;
            const vec3 p = xf_.point(load3(coords_, k));
            if (finite(p)) {
                slot.local = static_cast<std::int32_t>(shape_.point_count());
                shape_.points.insert(shape_.points.end(), {p.x, p.y, p.z});
                if (smooth_sums_) mean_.push_back({});
            } else {
                slot.local = not_finite_point;
            }
        }
        return slot.local;
    }

    vec3 position(std::int32_t p) const {
        const std::size_t k = static_cast<std::size_t>(p);
        return {shape_.points[3 * k], shape_.points[3 * k + 1], shape_.points[3 * k + 2]};
    }

    // Area-weighted normal of the face on corners start .. end.
    vec3 face_normal(std::size_t start, std::size_t end) {
        if (end - start == 3) {
            const vec3 a = position(corner_point_[start]);
            return cross(position(corner_point_[start + 1]) - a, position(corner_point_[start + 2]) - a);
        }
        if (end - start == 4) {  // Newell's normal of a quad: the cross product of its diagonals
            return cross(position(corner_point_[start + 2]) - position(corner_point_[start]),
                         position(corner_point_[start + 3]) - position(corner_point_[start + 1]));
        }
        gather(start, end);
        return polygon_normal(buffer_);
    }

    void gather(std::size_t start, std::size_t end) {
        buffer_.clear();
        for (std::size_t c = start; c < end; ++c) buffer_.push_back(position(corner_point_[c]));
    }

    // Reads coordIndex into faces of distinct, valid corners; drops the faces
    // that name a missing or non-finite point and those without area.
    void read_faces() {
        const std::size_t points = coords_.size() / 3;
        t_.scratch.begin(points);
        const std::size_t n = coord_index_.size();
        // Room for the common case, so that large face sets are not copied
        // while they grow: faces of three or more corners and a -1 each.
        corner_point_.reserve(n);
        if (vary_materials_) corner_material_.reserve(n);
        if (given_normals_) corner_normal_.reserve(n);
        face_first_.reserve(n / 4 + 2);
        shape_.points.reserve(3 * std::min(points, n));
        if (smooth_sums_) mean_.reserve(std::min(points, n));
        face_first_.push_back(0);
        std::int64_t face = 0, vertex = 0;
        std::size_t pos = 0;
        while (pos < n) {
            const std::size_t start = corner_point_.size();
            bool missing = false, not_finite = false;
            std::size_t entries = 0;
            for (; pos < n && coord_index_[pos] >= 0; ++pos, ++vertex) {
                ++entries;
                const std::int32_t i = coord_index_[pos];
                if (static_cast<std::size_t>(i) >= points) {
                    missing = true;
                    continue;
                }
                const std::int32_t l = local_point(i);
                if (l == not_finite_point) {
                    not_finite = true;
                    continue;
                }
                if (corner_point_.size() > start && corner_point_.back() == l) continue;
                corner_point_.push_back(l);
                if (vary_materials_) corner_material_.push_back(material_at(face, vertex, pos));
                if (given_normals_) corner_normal_.push_back(normal_at(face, vertex, pos));
                if (texture_ >= 0) corner_texture_.push_back(texture_at(i, pos));
            }
            ++pos;  // the -1 that ended the face, if any
            if (entries == 0) continue;
            ++face;
            if (corner_point_.size() - start > 1 && corner_point_.back() == corner_point_[start]) {
                truncate_corners(corner_point_.size() - 1);
            }
            if (missing) {
                log_.report("coord-index", [&] {
                    return "coordinate index out of range (the shape has " + std::to_string(points) +
                           " points); faces naming a missing point are left out";
                });
            }
            if (not_finite) {
                log_.report("coord-value", [] { return "faces with infinite or NaN coordinates are left out"; });
            }
            if (missing || not_finite || !close_face(start)) {
                orphans_possible_ = orphans_possible_ || corner_point_.size() > start;
                truncate_corners(start);
            }
            if (corner_point_.size() > static_cast<std::size_t>(INT32_MAX) / 2) {
                log_.report("size", [] {
                    return "face set too large; the faces after a thousand million corners are left out";
                });
                break;
            }
        }
    }

    std::int32_t material_at(std::int64_t face, std::int64_t vertex, std::size_t pos) {
        const std::int64_t e = material_reader_.at(face, face, vertex, pos);
        if (e >= 0) return static_cast<std::int32_t>(e);
        log_.report("material-index", [&] {
            return "material index out of range (" + std::to_string(materials_.count()) +
                   " materials); the first material is used instead";
        });
        return 0;
    }

    std::int32_t normal_at(std::int64_t face, std::int64_t vertex, std::size_t pos) {
        const std::int64_t e = normal_reader_.at(face, face, vertex, pos);
        if (e >= 0) return static_cast<std::int32_t>(e);
        log_.report("normal-index", [&] {
            return "normal index out of range (" + std::to_string(normal_reader_.values) +
                   " normals); normals are made from the faces there instead";
        });
        return -1;
    }

    void truncate_corners(std::size_t size) {
        corner_point_.resize(size);
        if (vary_materials_) corner_material_.resize(size);
        if (given_normals_) corner_normal_.resize(size);
        if (texture_ >= 0) corner_texture_.resize(size);
    }

    // Keeps the face that starts at corner `start` if it has an area, and
    // adds its normal to its points' sums.
    bool close_face(std::size_t start) {
        const std::size_t end = corner_point_.size();
        if (end - start < 3) return false;
        if (flip_) {
            const auto from = static_cast<std::ptrdiff_t>(start);
            std::reverse(corner_point_.begin() + from, corner_point_.end());
            if (vary_materials_) std::reverse(corner_material_.begin() + from, corner_material_.end());
            if (given_normals_) std::reverse(corner_normal_.begin() + from, corner_normal_.end());
            if (texture_ >= 0) std::reverse(corner_texture_.begin() + from, corner_texture_.end());
        }
        const vec3 n = face_normal(start, end);
        const float w = length(n);
        if (!(w > 0) || !std::isfinite(w)) return false;
        face_first_.push_back(static_cast<std::uint32_t>(end));
        if (smooth_sums_) {
            for (std::size_t c = start; c < end; ++c) {
                vec3& m = mean_[static_cast<std::size_t>(corner_point_[c])];
                m = m + n;
            }
        }
        return true;
    }

    // Triangles as corner numbers; make_vertices turns them into vertices.
    void split_faces() {
        const std::size_t faces = face_first_.size() - 1;
        const std::size_t expected = face_first_[faces] - 2 * faces;
        shape_.corners.reserve(3 * expected);
        std::vector<local_triangle> pieces;
        for (std::size_t f = 0; f < faces; ++f) {
            const std::int32_t first = static_cast<std::int32_t>(face_first_[f]);
            const std::size_t count = face_first_[f + 1] - face_first_[f];
            if (count == 3) {
                push_triangle(shape_, first, first + 1, first + 2);
                continue;
            }
            if (count == 4) {
                const std::array<vec3, 4> q = {position(corner_point_[face_first_[f]]),
                                               position(corner_point_[face_first_[f] + 1]),
                                               position(corner_point_[face_first_[f] + 2]),
                                               position(corner_point_[face_first_[f] + 3])};
                local_triangle two[2];
                if (split_quad(q, cross(q[2] - q[0], q[3] - q[1]), two)) {
                    for (const local_triangle& p : two) push_triangle(shape_, first + p[0], first + p[1], first + p[2]);
                    continue;
                }
            }
            gather(face_first_[f], face_first_[f + 1]);
            pieces.clear();
            if (!t_.scratch.splitter.split(buffer_, polygon_normal(buffer_), state_.hints.convex, pieces))
                log_.report("tessellation", [] {
                    return "faces too large to triangulate exactly in reasonable time are drawn as fans of "
                           "triangles";
                });
            for (const local_triangle& p : pieces) push_triangle(shape_, first + p[0], first + p[1], first + p[2]);
        }
    }

    // Gives each corner a vertex: its point's position, its normal and its
    // colour. Where every face at a point lies within half the crease angle
    // of their mean (most points of most meshes), all its corners share the
    // point's own vertex with that mean as normal. The other points (at
    // creases, or with given normals or colours per corner) compare the faces
    // there pairwise, corner by corner.
    void make_vertices() {
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

    // A vertex at point p with these values: the point's own vertex when
    // `own` (its first), else a new one after the others. Returns its number.
    std::int32_t place_vertex(std::int32_t p, bool own, vec3 at, vec3 n, std::int32_t material,
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
        if (texture_ >= 0) shape_.texture_coords.insert(shape_.texture_coords.end(), {st[0], st[1]});
        return id;
    }

    // No crease angle: every face is flat, so a corner shares a vertex only
    // with corners of faces that face exactly the same way (the halves of a
    // split quad, a flat side). Only the point's first and latest vertex are
    // tried, which finds those and keeps this linear in the corners, where
    // the general path compares every pair of faces at each point.
    void make_flat_vertices() {
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

    // The normal corner k takes from the faces around its point. Summed in
    // the point's own order, so that corners that take the same faces get
    // bit-identical normals and share one vertex.
    vec3 smooth_normal(std::size_t k, std::span<const corner_at> around) const {
        const vec3 u = around[k].unit;
        vec3 sum{};
        for (std::size_t j = 0; j < around.size(); ++j) {
            if (j == k || dot(u, around[j].unit) >= cos_crease_) sum = sum + around[j].unit * around[j].weight;
        }
        const vec3 n = normalised(sum);
        return (n.x == 0 && n.y == 0 && n.z == 0) ? u : n;
    }

    // Groups the faces at a crowded point by direction: each face joins the
    // first group whose first face lies within the crease angle.
    void group_faces(std::span<const corner_at> around) {
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

    // Vertices for the corners at point p, shared by the corners that agree
    // on normal and colour; the first of them is the point's own vertex.
    void per_corner_vertices(std::int32_t p, std::span<const corner_at> around) {
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

    // Points that only dropped faces named would widen the scene's bounds
    // and show in its point count: renumber the vertices without them.
    void drop_unused_vertices() {
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
        for (std::uint32_t& v : shape_.corners) v = static_cast<std::uint32_t>(renumber[v]);
    }

    // Texture coordinates come from the TextureCoordinate2 in force through
    // textureCoordIndex (or coordIndex when that is unset); without one,
    // from the box around the points the faces use: s along its longest
    // side from 0 to 1, t along the next longest at the same scale.
    void start_texture_coordinates() {
        explicit_texture_ = state_.texture_coords.size() >= 2;
        if (explicit_texture_) {
            texture_reader_ = {binding::per_vertex_indexed, state_.texture_coord_index, coord_index_,
                               static_cast<std::int64_t>(state_.texture_coords.size() / 2)};
            return;
        }
        const std::size_t points = coords_.size() / 3;
        vec3 low{}, high{};
        bool any = false;
        for (std::int32_t i : coord_index_) {
            if (i < 0 || static_cast<std::size_t>(i) >= points) continue;
            const vec3 p = load3(coords_, static_cast<std::size_t>(i));
            if (!finite(p)) continue;
            if (!any) low = high = p;
            low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
            high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
            any = true;
        }
        const float size[3] = {high.x - low.x, high.y - low.y, high.z - low.z};
        box_low_ = low;
        int order[3] = {0, 1, 2};
        std::stable_sort(order, order + 3, [&](int a, int b) { return size[a] > size[b]; });
        s_axis_ = order[0];
        t_axis_ = order[1];
        box_scale_ = size[s_axis_] > 0 && std::isfinite(size[s_axis_]) ? 1.0f / size[s_axis_] : 0.0f;
    }

    std::array<float, 2> texture_at(std::int32_t point, std::size_t pos) {
        float s = 0, t = 0;
        if (explicit_texture_) {
            const std::int64_t e = texture_reader_.at(0, 0, 0, pos);
            if (e >= 0) {
                s = state_.texture_coords[static_cast<std::size_t>(e) * 2];
                t = state_.texture_coords[static_cast<std::size_t>(e) * 2 + 1];
            } else {
                log_.report("texture-index", [&] {
                    return "texture coordinate index out of range (" + std::to_string(texture_reader_.values) +
                           " texture coordinates); (0, 0) is used instead";
                });
            }
        } else {
            const vec3 p = load3(coords_, static_cast<std::size_t>(point)) - box_low_;
            const float v[3] = {p.x, p.y, p.z};
            s = v[s_axis_] * box_scale_;
            t = v[t_axis_] * box_scale_;
        }
        std::array<float, 2> out{};
        map_texture(state_.texture_transform, s, t, out.data());
        return out;
    }

    struct vertex_key {
        std::int32_t id;
        vec3 normal;
        std::int32_t material;
        std::array<float, 2> texture;
    };

    shape_target t_;
    const shape_state& state_;
    transform xf_;
    problem_log log_;
    std::span<const float> coords_;
    std::span<const std::int32_t> coord_index_;
    material_table materials_;
    binding_reader material_reader_{};
    binding_reader normal_reader_{};
    std::int32_t texture_ = -1;  // the store's image, -1: untextured
    bool explicit_texture_ = false;
    binding_reader texture_reader_{};
    vec3 box_low_{};
    int s_axis_ = 0, t_axis_ = 1;
    float box_scale_ = 0;
    bool vary_materials_ = false;
    bool given_normals_ = false;
    bool flat_ = false;        // no crease angle and no given normals: each face shaded flat
    bool smooth_sums_ = false;  // no per-corner data: sum face normals per point while reading
    bool flip_ = false;
    bool orphans_possible_ = false;  // a dropped face may have left points no face uses
    float cos_crease_ = 1;
    float cos_half_crease_ = 1;

    shape_record shape_;                         // the record being made: points, then extra vertices
    std::vector<vec3> mean_;                     // per point: sum of its faces' area-weighted normals
    std::vector<std::int32_t> corner_point_;     // per corner: its point, later its vertex
    std::vector<std::int32_t> corner_material_;  // per corner: material entry (only when materials vary)
    std::vector<std::int32_t> corner_normal_;    // per corner: given normal, -1 to make one (only when given)
    std::vector<std::array<float, 2>> corner_texture_;  // per corner: s, t (only when textured)
    std::vector<std::int32_t> vertex_material_;  // per vertex: material entry (only when materials vary)
    std::vector<std::uint32_t> face_first_;      // corners of face f: face_first_[f] .. face_first_[f + 1]
    std::vector<vec3> buffer_;
    std::vector<vertex_key> here_;
    std::vector<std::pair<vec3, vec3>> groups_;  // first face's direction, normal of the group
    std::vector<std::size_t> group_of_;
};

}  // namespace

void build_face_set(shape_target t, const shape_state& state, std::span<const float> coords,
                    std::span<const std::int32_t> coord_index, std::span<const std::int32_t> material_index,
                    std::span<const std::int32_t> normal_index) {
    face_set_work(t, state, coords, coord_index, material_index, normal_index).run();
}

}  // namespace tessel::vrml::detail
