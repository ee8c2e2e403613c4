// Line sets and point sets. Both are lit only when the file gives normals
// for them; otherwise they are drawn in their colour alone, as a line has no
// surface to make a normal from.

#include <algorithm>

#include "geometry/shape_builders.h"

namespace tessel::vrml::detail {

namespace {

// Looks a value up for a line or point and says once when the file's
// indices point outside the list.
class value_picker {
public:
    value_picker(binding_reader reader, problem_log& log, const char* kind, const char* what)
        : reader_(reader), log_(log), kind_(kind), what_(what) {}
    std::int64_t at(std::int64_t part, std::int64_t face, std::int64_t vertex, std::size_t pos) {
        const std::int64_t e = reader_.at(part, face, vertex, pos);
        if (e < 0) {
            ++misses_;
            log_.report(kind_, [&] {
                return std::string(what_) + " index out of range (" + std::to_string(reader_.values) + " " + what_ +
                       "s)";
            });
        }
        return e;
    }
    std::int64_t misses() const { return misses_; }

private:
    binding_reader reader_;
    problem_log& log_;
    const char* kind_;
    const char* what_;
    std::int64_t misses_ = 0;
};

// Appends the shape unless it has nothing to draw. Unlit shapes get zero
// normals, so that every per-point array has the shape's point count.
void finish_shape(shape_target t, shape_record&& shape, const material_table& materials, std::int64_t first_entry,
                  bool lit, shape_kind kind, std::span<const std::int32_t> vertex_entry) {
    if (shape.corners.empty()) return;
    if (!lit) std::fill(shape.normals.begin(), shape.normals.end(), 0.0f);
    shape.kind = kind;
    shape.lit = lit;
    shape.two_sided = false;
    shape.material = materials.entry(first_entry);
    // Unlit lines and points show one colour. Authors who give them an
    // emissive colour mean that one (it is the colour that needs no light);
    // without it, the diffuse colour, as for every other shape.
    const float* e = shape.material.emissive;
    if (!lit && vertex_entry.empty() && (e[0] > 0 || e[1] > 0 || e[2] > 0)) {
        std::copy(e, e + 3, shape.material.diffuse);
    }
    if (vertex_entry.empty()) append_shape(t.out, std::move(shape));
    else append_shape(t.out, std::move(shape), vertex_entry, materials);
}

}  // namespace

void build_line_set(shape_target t, const shape_state& state, std::span<const float> coords,
                    std::span<const std::int32_t> coord_index, std::span<const std::int32_t> material_index,
                    std::span<const std::int32_t> normal_index) {
    const transform xf(state.matrix);
    problem_log log(t.warnings, state.where);
    const material_table materials(*state.material);
    const bool vary = resolve(state.material_binding, binding::overall) != binding::overall && materials.count() > 1;
    value_picker material(
        {resolve(state.material_binding, binding::overall), material_index, coord_index, materials.count()}, log,
        "material-index", "material");
    const bool given_normals = state.normals.size() >= 3;
    value_picker normal({resolve(state.normal_binding, binding::per_vertex_indexed), normal_index, coord_index,
                         static_cast<std::int64_t>(state.normals.size() / 3)},
                        log, "normal-index", "normal");

    const std::size_t points = coords.size() / 3;
    shape_record shape;
    std::vector<std::int32_t> entries;  // per vertex, when materials vary
    std::int64_t first_entry = -1;
    // The last vertex made, so that the segments of a polyline share their joints.
    struct last_vertex {
        std::int32_t point = -1;
        std::int64_t material = -1, normal = -1;
        std::int32_t id = -1;
    } last;
    const auto vertex_for = [&](std::size_t pos, std::int64_t segment, std::int64_t line, std::int64_t vertex) {
        const std::int32_t p = coord_index[pos];
        std::int64_t m = vary ? material.at(segment, line, vertex, pos) : 0;
        if (m < 0) m = 0;
        const std::int64_t n = given_normals ? normal.at(segment, line, vertex, pos) : -1;
        if (first_entry < 0) first_entry = m;
        if (last.point == p && last.material == m && last.normal == n) return last.id;
        const std::int32_t id = static_cast<std::int32_t>(shape.point_count());
        const vec3 nv = n >= 0 ? xf.normal(load3(state.normals, static_cast<std::size_t>(n))) : vec3{};
        push_vertex(shape, xf.point(load3(coords, static_cast<std::size_t>(p))), nv);
        if (vary) {
            float c[3];
            materials.diffuse(m, c);
            push_colour(shape, c);
            entries.push_back(static_cast<std::int32_t>(m));
        }
        last = {p, m, n, id};
        return id;
    };
    const auto usable = [&](std::int32_t i) {
        return static_cast<std::size_t>(i) < points && finite(load3(coords, static_cast<std::size_t>(i)));
    };

    std::int64_t segment = 0, line = 0, vertex = 0;
    bool bad = false;
    const std::size_t n = coord_index.size();
    std::size_t pos = 0;
    while (pos < n) {
        const std::size_t start = pos;
        while (pos < n && coord_index[pos] >= 0) ++pos;
        for (std::size_t q = start; q + 1 < pos; ++q, ++segment) {
            if (!usable(coord_index[q]) || !usable(coord_index[q + 1])) {
                bad = true;
                continue;
            }
            if (coord_index[q] == coord_index[q + 1]) continue;
            const std::int32_t a = vertex_for(q, segment, line, vertex + static_cast<std::int64_t>(q - start));
            const std::int32_t b = vertex_for(q + 1, segment, line, vertex + static_cast<std::int64_t>(q + 1 - start));
            shape.corners.append({static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b)});
            if (shape.corners.size() / 2 >= static_cast<std::size_t>(INT32_MAX) / 2) break;
        }
        vertex += static_cast<std::int64_t>(pos - start);
        if (pos > start) ++line;
        ++pos;
    }
    if (bad) {
        log.report("coord-index", [] { return "line segments naming a missing or non-finite point are left out"; });
    }
    // Lines without a normal for every vertex cannot be lit consistently.
    const bool lit = given_normals && normal.misses() == 0;
    finish_shape(t, std::move(shape), materials, std::max<std::int64_t>(first_entry, 0), lit, shape_kind::lines,
                 entries);
}

void build_point_set(shape_target t, const shape_state& state, std::span<const float> coords, std::int64_t start,
                     std::int64_t count) {
    const transform xf(state.matrix);
    problem_log log(t.warnings, state.where);
    const material_table materials(*state.material);
    const std::int64_t points = static_cast<std::int64_t>(coords.size() / 3);
    if (start < 0 || start > points || (count >= 0 && count > points - start)) {
        log.report("range", [&] {
            return "points " + std::to_string(start) + " to " +
                   (count < 0 ? std::string("the end") : std::to_string(start + count - 1)) + " asked for, " +
                   std::to_string(points) + " there; only those there are drawn";
        });
    }
    const std::int64_t first = std::clamp<std::int64_t>(start, 0, points);
    const std::int64_t end = count < 0 ? points : std::clamp<std::int64_t>(first + count, first, points);

    // Point sets are not indexed: every per-part, per-face and per-vertex
    // binding, indexed or not, gives point i the value numbered i.
    const binding mb = resolve(state.material_binding, binding::overall);
    const bool vary = mb != binding::overall && materials.count() > 1;
    const binding nb = resolve(state.normal_binding, binding::per_vertex);
    const std::int64_t normals = static_cast<std::int64_t>(state.normals.size() / 3);
    bool lit = normals > 0;
    bool bad_point = false, bad_material = false;

    shape_record shape;
    std::vector<std::int32_t> entries;  // per point, when materials vary
    for (std::int64_t i = first; i < end; ++i) {
        const vec3 p = xf.point(load3(coords, static_cast<std::size_t>(i)));
        if (!finite(p)) {
            bad_point = true;
            continue;
        }
        vec3 n{};
        if (lit) {
            const std::int64_t e = nb == binding::overall ? 0 : i;
            if (e < normals) n = xf.normal(load3(state.normals, static_cast<std::size_t>(e)));
            else lit = false;
        }
        const std::int32_t id = static_cast<std::int32_t>(shape.point_count());
        push_vertex(shape, p, n);
        if (vary) {
            std::int64_t m = i;
            if (!materials.contains(m)) {
                bad_material = true;
                m = 0;
            }
            float c[3];
            materials.diffuse(m, c);
            push_colour(shape, c);
            entries.push_back(static_cast<std::int32_t>(m));
        }
        shape.corners.push_back(static_cast<std::uint32_t>(id));
    }
    if (bad_point) log.report("coord-value", [] { return "points with infinite or NaN coordinates are left out"; });
    if (bad_material) {
        log.report("material-index", [&] {
            return "fewer materials (" + std::to_string(materials.count()) +
                   ") than points; the first material is used for the others";
        });
    }
    if (normals > 0 && !lit) {
        log.report("normal-index", [] { return "fewer normals than points; the points are drawn unlit"; });
    }
    finish_shape(t, std::move(shape), materials, vary ? first : 0, lit, shape_kind::points, entries);
}

}  // namespace tessel::vrml::detail
