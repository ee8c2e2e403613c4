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

#include "geometry/face_set_work.h"

namespace tessel::vrml::detail {

void builder_scratch::begin(std::size_t points) {
    if (slots.size() < points) slots.resize(points);
    if (++call == 0) {  // the call numbers wrapped: forget them all once
        std::fill(slots.begin(), slots.end(), point_slot{});
        call = 1;
    }
}

namespace {

constexpr std::int32_t not_finite_point = -2;

}  // namespace

face_set_work::face_set_work(shape_target t, const shape_state& state, std::span<const float> coords,
                             std::span<const std::int32_t> coord_index,
                             std::span<const std::int32_t> material_index,
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

void face_set_work::run() {
    read_faces();
    if (face_first_.size() < 2) return;
    split_faces();
    make_vertices();
    for (std::uint32_t& c : shape_.corners.wide()) c = static_cast<std::uint32_t>(corner_point_[c]);
    if (orphans_possible_) drop_unused_vertices();
    shape_.kind = shape_kind::triangles;
    shape_.two_sided = !(state_.hints.solid && state_.hints.ordering != vertex_ordering::unknown);
    shape_.lit = true;
    shape_.material = materials_.entry(vary_materials_ ? corner_material_[0] : 0);
    shape_.back = materials_.back();
    set_texture(shape_, texture_, state_, t_.out);
    if (vary_materials_) append_shape(t_.out, std::move(shape_), vertex_material_, materials_);
    else append_shape(t_.out, std::move(shape_));
}

inline std::int32_t face_set_work::local_point(std::int32_t i) {
    const std::size_t k = static_cast<std::size_t>(i);
    builder_scratch::point_slot& slot = t_.scratch.slots[k];
    if (slot.call != t_.scratch.call) {
        slot.call = t_.scratch.call;
        const vec3 p = xf_.point(load3(coords_, k));
        if (finite(p)) {
            slot.local = static_cast<std::int32_t>(shape_.point_count());
            append_values(shape_.points, p.x, p.y, p.z);
            if (smooth_sums_) mean_.push_back({});
        } else {
            slot.local = not_finite_point;
        }
    }
    return slot.local;
}

void face_set_work::read_faces() {
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

std::int32_t face_set_work::material_at(std::int64_t face, std::int64_t vertex, std::size_t pos) {
    const std::int64_t e = material_reader_.at(face, face, vertex, pos);
    if (e >= 0) return static_cast<std::int32_t>(e);
    log_.report("material-index", [&] {
        return "material index out of range (" + std::to_string(materials_.count()) +
               " materials); the first material is used instead";
    });
    return 0;
}

std::int32_t face_set_work::normal_at(std::int64_t face, std::int64_t vertex, std::size_t pos) {
    const std::int64_t e = normal_reader_.at(face, face, vertex, pos);
    if (e >= 0) return static_cast<std::int32_t>(e);
    log_.report("normal-index", [&] {
        return "normal index out of range (" + std::to_string(normal_reader_.values) +
               " normals); normals are made from the faces there instead";
    });
    return -1;
}

void face_set_work::truncate_corners(std::size_t size) {
    corner_point_.resize(size);
    if (vary_materials_) corner_material_.resize(size);
    if (given_normals_) corner_normal_.resize(size);
    if (texture_ >= 0) corner_texture_.resize(size);
}

bool face_set_work::close_face(std::size_t start) {
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

void face_set_work::split_faces() {
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

void face_set_work::start_texture_coordinates() {
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

std::array<float, 2> face_set_work::texture_at(std::int32_t point, std::size_t pos) {
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

void build_face_set(shape_target t, const shape_state& state, std::span<const float> coords,
                    std::span<const std::int32_t> coord_index, std::span<const std::int32_t> material_index,
                    std::span<const std::int32_t> normal_index) {
    face_set_work(t, state, coords, coord_index, material_index, normal_index).run();
}

}  // namespace tessel::vrml::detail
