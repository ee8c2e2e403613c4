// Face sets: faces into triangles, materials and normals per binding, and
// normals made from the faces where the file gives none, smooth across edges
// flatter than the crease angle. Work is linear in the size of the face set
// (plus, per point, the square of the number of faces that meet there).

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>

#include "vrml/shape_builders.h"

namespace tessel::vrml::detail {

void builder_scratch::begin(std::size_t points) {
    if (stamp.size() < points) {
        stamp.resize(points, 0);
        local.resize(points, 0);
    }
    if (++call == 0) {  // the stamps wrapped: forget them all once
        std::fill(stamp.begin(), stamp.end(), 0);
        call = 1;
    }
}

namespace {

// Faces meeting at one point beyond this many are grouped by direction
// instead of compared pairwise, so a fan of thousands of faces stays cheap.
constexpr std::size_t pairwise_limit = 32;
// Vertices per point compared for sharing; beyond, each corner gets its own.
constexpr std::size_t shared_limit = 16;
constexpr std::size_t group_cap = 64;
constexpr std::size_t ungrouped = static_cast<std::size_t>(-1);

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
        cos_crease_ = std::cos(std::clamp(state.hints.crease_angle, 0.0f, 3.14159265f));
    }

    void run() {
        read_faces();
        if (face_first_.size() < 2) return;
        shape_record shape;
        split_faces(shape);
        make_vertices(shape);
        for (int k = 0; k < 3; ++k) {
            for (std::int32_t& c : shape.corner[k]) c = corner_point_[static_cast<std::size_t>(c)];
        }
        shape.kind = shape_kind::triangles;
        shape.two_sided = !(state_.hints.solid && state_.hints.ordering != vertex_ordering::unknown);
        shape.lit = true;
        shape.material = materials_.entry(vary_materials_ ? corner_material_[0] : 0);
        append_shape(t_.out, std::move(shape));
    }

private:
    std::int32_t local_point(std::int32_t i) {
        const std::size_t k = static_cast<std::size_t>(i);
        builder_scratch& s = t_.scratch;
        if (s.stamp[k] != s.call) {
            s.stamp[k] = s.call;
            s.local[k] = static_cast<std::int32_t>(world_.size());
            world_.push_back(xf_.point(load3(coords_, k)));
        }
        return s.local[k];
    }

    // Reads coordIndex into faces of distinct, valid corners; drops the faces
    // that name a missing or non-finite point and those without area.
    void read_faces() {
        const std::size_t points = coords_.size() / 3;
        t_.scratch.begin(points);
        const std::size_t n = coord_index_.size();
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
                if (!finite(world_[static_cast<std::size_t>(l)])) {
                    not_finite = true;
                    continue;
                }
                if (corner_point_.size() > start && corner_point_.back() == l) continue;
                corner_point_.push_back(l);
                if (vary_materials_) corner_material_.push_back(material_at(face, vertex, pos));
                if (given_normals_) corner_normal_.push_back(normal_at(face, vertex, pos));
            }
            ++pos;  // the -1 that ended the face, if any
            if (entries == 0) continue;
            ++face;
            if (corner_point_.size() - start > 1 && corner_point_.back() == corner_point_[start]) drop_last_corner();
            if (missing) {
                log_.report("coord-index", [&] {
                    return "coordinate index out of range (the shape has " + std::to_string(points) +
                           " points); faces naming a missing point are left out";
                });
            }
            if (not_finite) {
                log_.report("coord-value", [] { return "faces with infinite or NaN coordinates are left out"; });
            }
            if (missing || not_finite || !close_face(start)) truncate_corners(start);
            if (corner_point_.size() > static_cast<std::size_t>(INT32_MAX) / 2) {
                log_.report("size", [] { return "face set too large; the faces after a thousand million corners are left out"; });
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

    void drop_last_corner() {
        corner_point_.pop_back();
        if (vary_materials_) corner_material_.pop_back();
        if (given_normals_) corner_normal_.pop_back();
    }

    void truncate_corners(std::size_t start) {
        corner_point_.resize(start);
        if (vary_materials_) corner_material_.resize(start);
        if (given_normals_) corner_normal_.resize(start);
    }

    // Keeps the face that starts at corner `start` if it has an area.
    bool close_face(std::size_t start) {
        const std::size_t end = corner_point_.size();
        if (end - start < 3) return false;
        if (flip_) {
            std::reverse(corner_point_.begin() + static_cast<std::ptrdiff_t>(start), corner_point_.end());
            if (vary_materials_) {
                std::reverse(corner_material_.begin() + static_cast<std::ptrdiff_t>(start), corner_material_.end());
            }
            if (given_normals_) {
                std::reverse(corner_normal_.begin() + static_cast<std::ptrdiff_t>(start), corner_normal_.end());
            }
        }
        gather(start, end);
        const vec3 n = polygon_normal(buffer_);
        const float w = length(n);
        if (!(w > 0) || !std::isfinite(w)) return false;
        face_first_.push_back(static_cast<std::uint32_t>(end));
        face_unit_.push_back(n * (1.0f / w));
        face_weight_.push_back(w);
        return true;
    }

    void gather(std::size_t start, std::size_t end) {
        buffer_.clear();
        for (std::size_t c = start; c < end; ++c) buffer_.push_back(world_[static_cast<std::size_t>(corner_point_[c])]);
    }

    // Triangles as corner numbers; make_vertices turns them into vertices.
    void split_faces(shape_record& shape) {
        const std::size_t faces = face_first_.size() - 1;
        std::size_t expected = 0;
        for (std::size_t f = 0; f < faces; ++f) expected += face_first_[f + 1] - face_first_[f] - 2;
        for (auto& c : shape.corner) c.reserve(expected);
        std::vector<local_triangle> pieces;
        for (std::size_t f = 0; f < faces; ++f) {
            const std::int32_t first = static_cast<std::int32_t>(face_first_[f]);
            const std::size_t count = face_first_[f + 1] - face_first_[f];
            if (count == 3) {
                push_triangle(shape, first, first + 1, first + 2);
                continue;
            }
            gather(face_first_[f], face_first_[f + 1]);
            pieces.clear();
            t_.scratch.splitter.split(buffer_, face_unit_[f] * face_weight_[f], state_.hints.convex, pieces);
            for (const local_triangle& p : pieces) push_triangle(shape, first + p[0], first + p[1], first + p[2]);
        }
    }

    // The face each corner belongs to, and the corners at each point.
    void index_corners() {
        const std::size_t corners = corner_point_.size();
        corner_face_.resize(corners);
        for (std::size_t f = 0; f + 1 < face_first_.size(); ++f) {
            std::fill(corner_face_.begin() + face_first_[f], corner_face_.begin() + face_first_[f + 1],
                      static_cast<std::int32_t>(f));
        }
        at_point_first_.assign(world_.size() + 1, 0);
        for (std::int32_t p : corner_point_) ++at_point_first_[static_cast<std::size_t>(p) + 1];
        for (std::size_t p = 1; p < at_point_first_.size(); ++p) at_point_first_[p] += at_point_first_[p - 1];
        at_point_.resize(corners);
        std::vector<std::uint32_t> next(at_point_first_.begin(), at_point_first_.end() - 1);
        for (std::size_t c = 0; c < corners; ++c) {
            at_point_[next[static_cast<std::size_t>(corner_point_[c])]++] = static_cast<std::int32_t>(c);
        }
    }

    // The normal a face's corner takes from the faces around its point.
    vec3 smooth_normal(std::int32_t face, std::span<const std::int32_t> around) const {
        const std::size_t f = static_cast<std::size_t>(face);
        const vec3 u = face_unit_[f];
        vec3 sum = u * face_weight_[f];
        for (std::int32_t c : around) {
            const std::size_t g = static_cast<std::size_t>(corner_face_[static_cast<std::size_t>(c)]);
            if (g != f && dot(u, face_unit_[g]) >= cos_crease_) sum = sum + face_unit_[g] * face_weight_[g];
        }
        const vec3 n = normalised(sum);
        return (n.x == 0 && n.y == 0 && n.z == 0) ? u : n;
    }

    // Groups the faces at a crowded point by direction: each face joins the
    // first group whose first face lies within the crease angle. Past a cap
    // on the groups, a face keeps its own normal (ungrouped).
    void group_faces(std::span<const std::int32_t> around) {
        groups_.clear();
        group_of_.clear();
        for (std::int32_t c : around) {
            const std::size_t f = static_cast<std::size_t>(corner_face_[static_cast<std::size_t>(c)]);
            const vec3 u = face_unit_[f];
            std::size_t g = 0;
            while (g < groups_.size() && dot(groups_[g].first, u) < cos_crease_) ++g;
            if (g == groups_.size()) {
                if (groups_.size() == group_cap) {
                    group_of_.push_back(ungrouped);
                    continue;
                }
                groups_.push_back({u, {}});
            }
            groups_[g].second = groups_[g].second + u * face_weight_[f];
            group_of_.push_back(g);
        }
        for (auto& g : groups_) g.second = normalised(g.second);
    }

    // Gives each corner a vertex (its point's position, its normal and
    // colour), shared by the corners at the same point that agree on both.
    void make_vertices(shape_record& shape) {
        index_corners();
        for (auto* v : {&shape.point[0], &shape.point[1], &shape.point[2], &shape.normal[0], &shape.normal[1],
                        &shape.normal[2]}) {
            v->reserve(world_.size());
        }
        struct vertex_key {
            std::int32_t id;
            vec3 normal;
            std::int32_t material;
        };
        std::vector<vertex_key> here;
        const std::span<const std::int32_t> all(at_point_);
        for (std::size_t p = 0; p < world_.size(); ++p) {
            const std::span<const std::int32_t> around =
                all.subspan(at_point_first_[p], at_point_first_[p + 1] - at_point_first_[p]);
            const bool crowded = around.size() > pairwise_limit;
            if (crowded) group_faces(around);
            here.clear();
            for (std::size_t k = 0; k < around.size(); ++k) {
                const std::size_t c = static_cast<std::size_t>(around[k]);
                vec3 n;
                if (given_normals_ && corner_normal_[c] >= 0) {
                    n = xf_.normal(load3(state_.normals, static_cast<std::size_t>(corner_normal_[c])));
                } else if (crowded) {
                    const std::size_t g = group_of_[k];
                    n = g == ungrouped ? face_unit_[static_cast<std::size_t>(corner_face_[c])] : groups_[g].second;
                } else {
                    n = smooth_normal(corner_face_[c], around);
                }
                const std::int32_t material = vary_materials_ ? corner_material_[c] : 0;
                std::int32_t id = -1;
                for (std::size_t v = 0; v < here.size() && v < shared_limit; ++v) {
                    if (here[v].material == material && std::bit_cast<std::array<float, 3>>(here[v].normal) ==
                                                            std::bit_cast<std::array<float, 3>>(n)) {
                        id = here[v].id;
                        break;
                    }
                }
                if (id < 0) {
                    id = static_cast<std::int32_t>(shape.point[0].size());
                    push_vertex(shape, world_[p], n);
                    if (vary_materials_) {
                        float colour[3];
                        materials_.diffuse(material, colour);
                        push_colour(shape, colour);
                    }
                    here.push_back({id, n, material});
                }
                corner_point_[c] = id;
            }
        }
    }

    shape_target t_;
    const shape_state& state_;
    transform xf_;
    problem_log log_;
    std::span<const float> coords_;
    std::span<const std::int32_t> coord_index_;
    material_table materials_;
    binding_reader material_reader_{};
    binding_reader normal_reader_{};
    bool vary_materials_ = false;
    bool given_normals_ = false;
    bool flip_ = false;
    float cos_crease_ = 1;

    std::vector<vec3> world_;                   // each point the faces use, in world coordinates
    std::vector<std::int32_t> corner_point_;     // per corner: its point in world_, later its vertex
    std::vector<std::int32_t> corner_material_;  // per corner: material entry (only when materials vary)
    std::vector<std::int32_t> corner_normal_;    // per corner: given normal, -1 to make one (only when given)
    std::vector<std::uint32_t> face_first_;      // corners of face f: face_first_[f] .. face_first_[f + 1]
    std::vector<vec3> face_unit_;                // per face: unit normal
    std::vector<float> face_weight_;             // per face: twice its area, its share in smooth normals
    std::vector<std::int32_t> corner_face_;
    std::vector<std::uint32_t> at_point_first_;  // corners at point p: at_point_[at_point_first_[p] ..]
    std::vector<std::int32_t> at_point_;
    std::vector<vec3> buffer_;
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
