#pragma once
// The work of one face set, in two parts: reading its faces into triangles
// (face_set.cpp) and giving their corners vertices with normals, colours and
// texture coordinates (face_set_vertices.cpp). Internal to geometry/.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "geometry/shape_builders.h"

namespace tessel::vrml::detail {

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
                  std::span<const std::int32_t> normal_index);

    void run();

private:
    // Every point the faces use becomes a vertex of the record, numbered in
    // order of first use; corners at creases add more vertices later.
    std::int32_t local_point(std::int32_t i);

    vec3 position(std::int32_t p) const {
        const std::size_t k = static_cast<std::size_t>(p);
        return {shape_.points[3 * k], shape_.points[3 * k + 1], shape_.points[3 * k + 2]};
    }

    // Area-weighted normal of the face on corners start .. end. Here, so
    // that both halves of the work can inline it in their loops.
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
    void read_faces();

    std::int32_t material_at(std::int64_t face, std::int64_t vertex, std::size_t pos);

    std::int32_t normal_at(std::int64_t face, std::int64_t vertex, std::size_t pos);

    void truncate_corners(std::size_t size);

    // Keeps the face that starts at corner `start` if it has an area, and
    // adds its normal to its points' sums.
    bool close_face(std::size_t start);

    // Triangles as corner numbers; make_vertices turns them into vertices.
    void split_faces();

    // Gives each corner a vertex: its point's position, its normal and its
    // colour. Where every face at a point lies within half the crease angle
    // of their mean (most points of most meshes), all its corners share the
    // point's own vertex with that mean as normal. The other points (at
    // creases, or with given normals or colours per corner) compare the faces
    // there pairwise, corner by corner.
    void make_vertices();

    // A vertex at point p with these values: the point's own vertex when
    // `own` (its first), else a new one after the others. Returns its number.
    std::int32_t place_vertex(std::int32_t p, bool own, vec3 at, vec3 n, std::int32_t material,
                              const std::array<float, 2>& st);

    // No crease angle: every face is flat, so a corner shares a vertex only
    // with corners of faces that face exactly the same way (the halves of a
    // split quad, a flat side). Only the point's first and latest vertex are
    // tried, which finds those and keeps this linear in the corners, where
    // the general path compares every pair of faces at each point.
    void make_flat_vertices();

    // The normal corner k takes from the faces around its point. Summed in
    // the point's own order, so that corners that take the same faces get
    // bit-identical normals and share one vertex.
    vec3 smooth_normal(std::size_t k, std::span<const corner_at> around) const;

    // Groups the faces at a crowded point by direction: each face joins the
    // first group whose first face lies within the crease angle.
    void group_faces(std::span<const corner_at> around);

    // Vertices for the corners at point p, shared by the corners that agree
    // on normal and colour; the first of them is the point's own vertex.
    void per_corner_vertices(std::int32_t p, std::span<const corner_at> around);

    // Points that only dropped faces named would widen the scene's bounds
    // and show in its point count: renumber the vertices without them.
    void drop_unused_vertices();

    // Texture coordinates come from the TextureCoordinate2 in force through
    // textureCoordIndex (or coordIndex when that is unset); without one,
    // from the box around the points the faces use: s along its longest
    // side from 0 to 1, t along the next longest at the same scale.
    void start_texture_coordinates();

    std::array<float, 2> texture_at(std::int32_t point, std::size_t pos);

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

}  // namespace tessel::vrml::detail
