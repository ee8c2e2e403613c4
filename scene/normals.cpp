#include <cmath>
#include <cstdint>
#include <vector>

#include "scene/scene.h"

namespace tessel {
namespace {

struct face_normals {
    std::vector<float> x, y, z;
};

// Cross product of the two edges from corner a; its length is twice the
// triangle's area, so larger faces weigh more in the per-point sums.
face_normals make_face_normals(const shape_record& s, std::int64_t faces) {
    face_normals fn;
    fn.x.assign(static_cast<std::size_t>(faces), 0.0f);
    fn.y.assign(static_cast<std::size_t>(faces), 0.0f);
    fn.z.assign(static_cast<std::size_t>(faces), 0.0f);
    const float* p = s.points.data();
    for (std::int64_t k = 0; k < faces; ++k) {
        const std::size_t a = s.corners[3 * k] * std::size_t{3};
        const std::size_t b = s.corners[3 * k + 1] * std::size_t{3};
        const std::size_t c = s.corners[3 * k + 2] * std::size_t{3};
        const float e1x = p[b] - p[a], e1y = p[b + 1] - p[a + 1], e1z = p[b + 2] - p[a + 2];
        const float e2x = p[c] - p[a], e2y = p[c + 1] - p[a + 1], e2z = p[c + 2] - p[a + 2];
        fn.x[k] = static_cast<float>(double(e1y) * e2z - double(e1z) * e2y);
        fn.y[k] = static_cast<float>(double(e1z) * e2x - double(e1x) * e2z);
        fn.z[k] = static_cast<float>(double(e1x) * e2y - double(e1y) * e2x);
    }
    return fn;
}

// Divides the summed normal by the number of faces that named the point and
// scales it to unit length; a zero (or NaN) length leaves the vector as is.
void finish_point(shape_record& s, std::size_t l, std::int64_t m) {
    if (m == 0) m = 1;
    float* n = s.normals.data() + 3 * l;
    // A float quotient is the correctly rounded one the double quotient
    // rounds to, for any count up to 2^24; dividing in float also keeps
    // GCC's vectoriser from carrying the unrounded double into the length.
    const float count = static_cast<float>(m);
    const float x = n[0] / count;
    const float y = n[1] / count;
    const float z = n[2] / count;
    double len = std::sqrt(double(x) * x + double(y) * y + double(z) * z);
    if (!(len != 0.0)) len = 1.0;  // zero or NaN
    n[0] = static_cast<float>(x / len);
    n[1] = static_cast<float>(y / len);
    n[2] = static_cast<float>(z / len);
}

std::int64_t face_count_of(const scene_store& store, std::size_t i) {
    return i < store.face_counts.size() ? store.face_counts[i] : 0;
}
std::int64_t point_count_of(const scene_store& store, std::size_t i) {
    return i < store.point_counts.size() ? store.point_counts[i] : 0;
}

}  // namespace

void compute_normals(scene_store& store) {
    for (std::size_t i = 0; i < store.shapes.size(); ++i) {
        shape_record& s = store.shapes[i];
        const std::int64_t faces = face_count_of(store, i);
        const std::int64_t points = point_count_of(store, i);
        const face_normals fn = make_face_normals(s, faces);
        // Walking the faces in order and adding each to its (distinct)
        // corners gives every point its face normals in face order, exactly
        // as a per-point search over the face list would.
        std::vector<std::int32_t> uses(static_cast<std::size_t>(points), 0);
        const auto add = [&](std::int32_t point, std::int64_t k) {
            const std::size_t l = static_cast<std::size_t>(point);
            s.normals[3 * l] += fn.x[k];
            s.normals[3 * l + 1] += fn.y[k];
            s.normals[3 * l + 2] += fn.z[k];
            ++uses[l];
        };
        for (std::int64_t k = 0; k < faces; ++k) {
            // Once to each point the face names, however often it names it.
            const auto a = static_cast<std::int32_t>(s.corners[3 * k]), b = static_cast<std::int32_t>(s.corners[3 * k + 1]),
                       c = static_cast<std::int32_t>(s.corners[3 * k + 2]);
            add(a, k);
            if (b != a) add(b, k);
            if (c != a && c != b) add(c, k);
        }
        for (std::int64_t l = 0; l < points; ++l) finish_point(s, static_cast<std::size_t>(l), uses[l]);
    }
}

void compute_normals_reference(scene_store& store) {
    for (std::size_t i = 0; i < store.shapes.size(); ++i) {
        shape_record& s = store.shapes[i];
        const std::int64_t faces = face_count_of(store, i);
        const std::int64_t points = point_count_of(store, i);
        const face_normals fn = make_face_normals(s, faces);
        for (std::int64_t l = 0; l < points; ++l) {
            std::int64_t m = 0;
            for (std::int64_t k = 0; k < faces; ++k) {
                const auto named = [&](std::size_t j) { return s.corners[3 * k + j] == static_cast<std::uint32_t>(l); };
                if (named(0) || named(1) || named(2)) {
                    s.normals[3 * l] += fn.x[k];
                    s.normals[3 * l + 1] += fn.y[k];
                    s.normals[3 * l + 2] += fn.z[k];
                    ++m;
                }
            }
            finish_point(s, static_cast<std::size_t>(l), m);
        }
    }
}

}  // namespace tessel
