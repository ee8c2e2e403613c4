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
    const float* px = s.point[0].data();
    const float* py = s.point[1].data();
    const float* pz = s.point[2].data();
    for (std::int64_t k = 0; k < faces; ++k) {
        const std::size_t a = static_cast<std::size_t>(s.corner[0][k]);
        const std::size_t b = static_cast<std::size_t>(s.corner[1][k]);
        const std::size_t c = static_cast<std::size_t>(s.corner[2][k]);
        const float e1x = px[b] - px[a], e1y = py[b] - py[a], e1z = pz[b] - pz[a];
        const float e2x = px[c] - px[a], e2y = py[c] - py[a], e2z = pz[c] - pz[a];
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
    const float x = static_cast<float>(s.normal[0][l] / static_cast<double>(m));
    const float y = static_cast<float>(s.normal[1][l] / static_cast<double>(m));
    const float z = static_cast<float>(s.normal[2][l] / static_cast<double>(m));
    double len = std::sqrt(double(x) * x + double(y) * y + double(z) * z);
    if (!(len != 0.0)) len = 1.0;  // zero or NaN
    s.normal[0][l] = static_cast<float>(x / len);
    s.normal[1][l] = static_cast<float>(y / len);
    s.normal[2][l] = static_cast<float>(z / len);
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
            s.normal[0][l] += fn.x[k];
            s.normal[1][l] += fn.y[k];
            s.normal[2][l] += fn.z[k];
            ++uses[l];
        };
        for (std::int64_t k = 0; k < faces; ++k) {
            // Once to each point the face names, however often it names it.
            const std::int32_t a = s.corner[0][k], b = s.corner[1][k], c = s.corner[2][k];
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
                if (s.corner[0][k] == l || s.corner[1][k] == l || s.corner[2][k] == l) {
                    s.normal[0][l] += fn.x[k];
                    s.normal[1][l] += fn.y[k];
                    s.normal[2][l] += fn.z[k];
                    ++m;
                }
            }
            finish_point(s, static_cast<std::size_t>(l), m);
        }
    }
}

}  // namespace tessel
