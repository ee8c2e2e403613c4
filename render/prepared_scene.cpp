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

std::size_t smallest_size(const auto& arrays) {
    return std::min({arrays[0].size(), arrays[1].size(), arrays[2].size()});
}

// Corners per primitive for each kind of shape.
std::size_t corners_of(shape_kind kind) {
    switch (kind) {
        case shape_kind::lines: return 2;
        case shape_kind::points: return 1;
        default: return 3;
    }
}

// The box around the points a shape's primitives use, and its triangles'
// summed area.
void measure_extent(prepared_shape& out, bool triangles) {
    std::fill(out.low, out.low + 3, 0.0f);
    std::fill(out.high, out.high + 3, 0.0f);
    out.area = 0;
    const float* p = out.points.data();
    bool first = true;
    for (const std::uint32_t i : out.indices) {
        for (int k = 0; k < 3; ++k) {
            const float v = p[i * 3 + k];
            out.low[k] = first ? v : std::min(out.low[k], v);
            out.high[k] = first ? v : std::max(out.high[k], v);
        }
        first = false;
    }
    if (!triangles) return;
    double area = 0;
    for (std::size_t t = 0; t + 2 < out.indices.size(); t += 3) {
        const float* a = p + out.indices[t] * 3;
        const float* b = p + out.indices[t + 1] * 3;
        const float* c = p + out.indices[t + 2] * 3;
        const double u[3] = {double(b[0]) - a[0], double(b[1]) - a[1], double(b[2]) - a[2]};
        const double v[3] = {double(c[0]) - a[0], double(c[1]) - a[1], double(c[2]) - a[2]};
        const double x = u[1] * v[2] - u[2] * v[1], y = u[2] * v[0] - u[0] * v[2], z = u[0] * v[1] - u[1] * v[0];
        area += std::sqrt(x * x + y * y + z * z) / 2;
    }
    out.area = area;
}

void prepare_shape(const shape_record& shape, std::int64_t point_count, std::int64_t face_count, bool standard,
                   prepared_shape& out) {
    const std::size_t points = std::min(clamp_count(point_count), smallest_size(shape.point));
    const std::size_t normals = std::min(points, smallest_size(shape.normal));
    // Classic shapes are always triangles, whatever their kind field holds.
    const std::size_t per_face = standard ? corners_of(shape.kind) : 3;
    std::size_t faces = clamp_count(face_count);
    for (std::size_t k = 0; k < per_face; ++k) faces = std::min(faces, shape.corner[k].size());

    out.points.resize(points * 3);
    out.normals.assign(points * 3, 0.0f);
    for (std::size_t i = 0; i < points; ++i) {
        for (int c = 0; c < 3; ++c) {
            out.points[i * 3 + c] = shape.point[c][i];
        }
    }
    for (std::size_t i = 0; i < normals; ++i) {
        for (int c = 0; c < 3; ++c) {
            out.normals[i * 3 + c] = shape.normal[c][i];
        }
    }

    out.indices.clear();
    out.indices.reserve(faces * per_face);
    out.dropped_faces = 0;
    const auto inside = [points](std::int32_t v) { return v >= 0 && static_cast<std::size_t>(v) < points; };
    for (std::size_t k = 0; k < faces; ++k) {
        bool ok = true;
        for (std::size_t j = 0; j < per_face; ++j) ok = ok && inside(shape.corner[j][k]);
        if (!ok) {
            ++out.dropped_faces;
            continue;
        }
        for (std::size_t j = 0; j < per_face; ++j) out.indices.push_back(static_cast<std::uint32_t>(shape.corner[j][k]));
    }
    out.indices.shrink_to_fit();

    out.colours.clear();
    if (standard && smallest_size(shape.vertex_colour) >= points && points > 0) {
        const float alpha = 1.0f - shape.material.transparency;
        out.colours.resize(points * 4);
        for (std::size_t i = 0; i < points; ++i) {
            for (int c = 0; c < 3; ++c) out.colours[i * 4 + c] = shape.vertex_colour[c][i];
            out.colours[i * 4 + 3] = alpha;
        }
    }
    out.texture_coordinates.clear();
    if (standard && shape.texture >= 0 && shape.texture_coordinate[0].size() >= points &&
        shape.texture_coordinate[1].size() >= points && points > 0) {
        out.texture_coordinates.resize(points * 2);
        for (std::size_t i = 0; i < points; ++i) {
            out.texture_coordinates[i * 2] = shape.texture_coordinate[0][i];
            out.texture_coordinates[i * 2 + 1] = shape.texture_coordinate[1][i];
        }
    }
    // Standard shapes are scaled by the GL matrix, which keeps normals right.
    out.positions.resize(standard ? 0 : out.points.size());
    if (standard) measure_extent(out, per_face == 3);
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
        for (std::size_t s = 0; s < count; ++s) {
            prepare_shape(store.shapes[s], store.point_counts[s], store.face_counts[s],
                          store.reading == scene_reading::standard, shapes_[s]);
        }
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
    reading_ = store.reading;
    shape_count_ = store.shape_count;
    shapes_data_ = store.shapes.data();
    shapes_size_ = store.shapes.size();
    point_counts_size_ = store.point_counts.size();
    face_counts_size_ = store.face_counts.size();
    scaled_ = false;
    ++builds_;
}

void prepared_scene::rescale(const float view_scale[3]) {
    const float sx = view_scale[0];
    const float sy = view_scale[1];
    const float sz = view_scale[2];
    for (prepared_shape& shape : shapes_) {
        const std::size_t n = shape.positions.size();
        const float* in = shape.points.data();
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
