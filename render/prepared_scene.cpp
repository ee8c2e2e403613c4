#include "render/prepared_scene.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <new>

namespace tessel {

namespace {

std::size_t clamp_count(std::int64_t count) {
    return count > 0 ? static_cast<std::size_t>(count) : 0;
}

// The box around the points a shape's primitives use, and its triangles'
// summed area.
template <typename Index>
void measure_extent(prepared_shape& out, std::span<const Index> indices, bool triangles) {
    std::fill(out.low, out.low + 3, 0.0f);
    std::fill(out.high, out.high + 3, 0.0f);
    out.area = 0;
    const float* p = out.points.data();
    bool first = true;
    for (const std::size_t i : indices) {
        for (std::size_t k = 0; k < 3; ++k) {
            const float v = p[i * 3 + k];
            out.low[k] = first ? v : std::min(out.low[k], v);
            out.high[k] = first ? v : std::max(out.high[k], v);
        }
        first = false;
    }
    if (!triangles) return;
    double area = 0;
    for (std::size_t t = 0; t + 2 < indices.size(); t += 3) {
        const float* a = p + std::size_t{indices[t]} * 3;
        const float* b = p + std::size_t{indices[t + 1]} * 3;
        const float* c = p + std::size_t{indices[t + 2]} * 3;
        const double u[3] = {double(b[0]) - a[0], double(b[1]) - a[1], double(b[2]) - a[2]};
        const double v[3] = {double(c[0]) - a[0], double(c[1]) - a[1], double(c[2]) - a[2]};
        const double x = u[1] * v[2] - u[2] * v[1], y = u[2] * v[0] - u[0] * v[2], z = u[0] * v[1] - u[1] * v[0];
        area += std::sqrt(x * x + y * y + z * z) / 2;
    }
    out.area = area;
}

// The shape's first `faces` primitives as the frame's indices: straight
// from the store when every corner names a point the shape has, else the
// primitives that do, copied.
template <typename Index>
void choose_indices(std::span<const Index> corners, std::size_t points, std::size_t per_face, prepared_shape& out) {
    const auto inside = [points](std::size_t v) { return v < points; };
    out.dropped_faces = 0;
    if (std::all_of(corners.begin(), corners.end(), inside)) {
        out.indices = corner_view(corners);
        return;
    }
    for (std::size_t k = 0; k + per_face <= corners.size(); k += per_face) {
        const auto primitive = corners.subspan(k, per_face);
        if (std::all_of(primitive.begin(), primitive.end(), inside))
            out.own_indices.insert(out.own_indices.end(), primitive.begin(), primitive.end());
        else
            ++out.dropped_faces;
    }
    out.indices = corner_view(std::span<const std::uint32_t>(out.own_indices));
}

void prepare_shape(const shape_record& shape, std::int64_t point_count, std::int64_t face_count, bool standard,
                   prepared_shape& out) {
    const std::size_t points = std::min(clamp_count(point_count), shape.points.size() / 3);
    // Classic shapes are always triangles, whatever their kind field holds.
    const std::size_t per_face = standard ? corners_per_primitive(shape.kind) : 3;
    const std::size_t faces = std::min(clamp_count(face_count), shape.corners.size() / per_face);

    out.stored_points = std::span<const float>(shape.points).first(points * 3);
    if (standard) {
        out.points = out.stored_points;
    } else {
        // Scaled by the view point by point (rescale), for the pictures the
        // classic reading has always drawn.
        out.positions.resize(points * 3);
        out.points = out.positions;
    }
    if (shape.normals.size() >= points * 3) {
        out.normals = std::span<const float>(shape.normals).first(points * 3);
    } else {
        // Whole normals only: a point whose normal is cut short is unlit.
        out.own_normals.assign(points * 3, 0.0f);
        const std::size_t whole = std::min(shape.normals.size() / 3 * 3, points * 3);
        std::copy_n(shape.normals.begin(), whole, out.own_normals.begin());
        out.normals = out.own_normals;
    }

    shape.corners.view().first(faces * per_face).visit(
        [&](auto corners) { choose_indices(corners, points, per_face, out); });

    out.colours = {};
    if (standard && shape.colours.size() >= points * 4 && points > 0)
        out.colours = std::span<const float>(shape.colours).first(points * 4);
    out.texture_coordinates = {};
    if (standard && shape.texture >= 0 && shape.texture_coords.size() >= points * 2 && points > 0)
        out.texture_coordinates = std::span<const float>(shape.texture_coords).first(points * 2);
    if (standard) out.indices.visit([&](auto indices) { measure_extent(out, indices, per_face == 3); });
}

// Prepares shape s of the store; a copy takes the arrays its source was
// prepared with, which come earlier.
void prepare_at(const scene_store& store, std::size_t s, std::vector<prepared_shape>& shapes) {
    const shape_record& shape = store.shapes[s];
    const shape_record& source = drawn_arrays(store, shape);
    if (&source != &shape) {
        shapes[s] = shapes[static_cast<std::size_t>(shape.shares)];
    } else {
        shapes[s] = prepared_shape{};
        prepare_shape(shape, store.point_counts[s], store.face_counts[s], store.reading == scene_reading::standard,
                      shapes[s]);
    }
    shapes[s].revision = shape.revision;
}

}  // namespace

// 57.3 rather than 180/pi: the reference pictures and the scenes users know
// are drawn with it, and the exact factor would move every rotated shape
// slightly.
float shape_rotation_degrees(float radians) {
    return static_cast<float>(static_cast<double>(radians) * 57.3);
}

std::size_t drawable_shape_count(const scene_store& store) {
    return std::min({clamp_count(store.shape_count), store.shapes.size(), store.point_counts.size(),
                     store.face_counts.size()});
}

void prepared_scene::update(const scene_store& store, const float view_scale[3]) {
    const bool same_store = valid_ && generation_ == store.generation && reading_ == store.reading &&
                            shape_count_ == store.shape_count &&
                            shapes_data_ == store.shapes.data() &&
                            shapes_size_ == store.shapes.size() &&
                            point_counts_size_ == store.point_counts.size() &&
                            face_counts_size_ == store.face_counts.size();
    if (!same_store) {
        rebuild(store);
    } else if (moved_ != store.moved) {
        revise(store);
    }
    const std::uint32_t bits[3] = {std::bit_cast<std::uint32_t>(view_scale[0]),
                                   std::bit_cast<std::uint32_t>(view_scale[1]),
                                   std::bit_cast<std::uint32_t>(view_scale[2])};
    if (!scaled_ || !std::equal(bits, bits + 3, scale_bits_)) {
        rescale(view_scale);
        std::copy(bits, bits + 3, scale_bits_);
        scaled_ = true;
    }
}

void prepared_scene::rebuild(const scene_store& store) {
    const std::size_t count = drawable_shape_count(store);
    shapes_.clear();
    shapes_.shrink_to_fit();  // a new scene must not sit beside the old one's memory
    out_of_memory_ = false;
    try {
        shapes_.resize(count);
        for (std::size_t s = 0; s < count; ++s) prepare_at(store, s, shapes_);
    } catch (const std::bad_alloc&) {
        // A frame must never abort the viewer: draw nothing for this store
        // rather than part of it, and do not try again every frame.
        shapes_.clear();
        shapes_.shrink_to_fit();
        out_of_memory_ = true;
        ++failed_builds_;
    }
    valid_ = true;
    generation_ = store.generation;
    moved_ = store.moved;
    reading_ = store.reading;
    shape_count_ = store.shape_count;
    shapes_data_ = store.shapes.data();
    shapes_size_ = store.shapes.size();
    point_counts_size_ = store.point_counts.size();
    face_counts_size_ = store.face_counts.size();
    scaled_ = false;
    ++builds_;
}

// Shapes the world drew again in place: only those are prepared again.
void prepared_scene::revise(const scene_store& store) {
    moved_ = store.moved;
    try {
        std::vector<bool> redone(shapes_.size());
        for (std::size_t s = 0; s < shapes_.size(); ++s) {
            const std::int32_t source = store.shapes[s].shares;
            const bool source_redone = source >= 0 && static_cast<std::size_t>(source) < s && redone[static_cast<std::size_t>(source)];
            if (shapes_[s].revision != store.shapes[s].revision || source_redone) {
                prepare_at(store, s, shapes_);
                redone[s] = true;
                scaled_ = false;
            }
        }
    } catch (const std::bad_alloc&) {
        shapes_.clear();
        out_of_memory_ = true;
        ++failed_builds_;
    }
}

void prepared_scene::rescale(const float view_scale[3]) {
    const float sx = view_scale[0];
    const float sy = view_scale[1];
    const float sz = view_scale[2];
    for (prepared_shape& shape : shapes_) {
        const std::size_t n = shape.positions.size();
        const float* in = shape.stored_points.data();
        float* out = shape.positions.data();
        // Each product is rounded to float on its own, exactly as a per-vertex
        // multiplication at draw time would round it.
        for (std::size_t i = 0; i < n; i += 3) {
            out[i] = in[i] * sx;
            out[i + 1] = in[i + 1] * sy;
            out[i + 2] = in[i + 2] * sz;
        }
    }
    ++rescales_;
}

}  // namespace tessel
