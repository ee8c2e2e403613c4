#include "render/billboards.h"

#include <cmath>
#include <cstddef>
#include <optional>

namespace tessel {

namespace {

// Column-major 4x4 affine matrices, in double so that a chain of parts
// turned every frame does not drift.
struct affine {
    double m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

affine from(const float* f) {
    affine a;
    for (int i = 0; i < 16; ++i) a.m[i] = f[i];
    return a;
}

affine times(const affine& a, const affine& b) {
    affine r;
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row) {
            double v = 0;
            for (int k = 0; k < 4; ++k) v += a.m[k * 4 + row] * b.m[c * 4 + k];
            r.m[c * 4 + row] = v;
        }
    return r;
}

// The inverse of an affine matrix; none when it flattens space.
std::optional<affine> inverse(const affine& a) {
    const double* m = a.m;
    const double c00 = m[5] * m[10] - m[9] * m[6], c01 = m[8] * m[6] - m[4] * m[10], c02 = m[4] * m[9] - m[8] * m[5];
    const double det = m[0] * c00 + m[1] * c01 + m[2] * c02;
    if (!(std::fabs(det) > 1e-300) || !std::isfinite(det)) return std::nullopt;
    affine r;
    double* o = r.m;
    o[0] = c00 / det;
    o[4] = c01 / det;
    o[8] = c02 / det;
    o[1] = (m[9] * m[2] - m[1] * m[10]) / det;
    o[5] = (m[0] * m[10] - m[8] * m[2]) / det;
    o[9] = (m[8] * m[1] - m[0] * m[9]) / det;
    o[2] = (m[1] * m[6] - m[5] * m[2]) / det;
    o[6] = (m[4] * m[2] - m[0] * m[6]) / det;
    o[10] = (m[0] * m[5] - m[4] * m[1]) / det;
    for (int row = 0; row < 3; ++row) o[12 + row] = -(o[row] * m[12] + o[4 + row] * m[13] + o[8 + row] * m[14]);
    return r;
}

// p through a (w = 1 for a point, 0 for a direction).
void apply(const affine& a, const double p[3], double w, double out[3]) {
    for (int k = 0; k < 3; ++k) out[k] = a.m[k] * p[0] + a.m[4 + k] * p[1] + a.m[8 + k] * p[2] + a.m[12 + k] * w;
}

double dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void cross(const double a[3], const double b[3], double out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

bool normalise(double v[3]) {
    const double l = std::sqrt(dot(v, v));
    if (!(l > 1e-12) || !std::isfinite(l)) return false;
    for (int k = 0; k < 3; ++k) v[k] /= l;
    return true;
}

affine columns(const double x[3], const double y[3], const double z[3]) {
    affine r;
    for (int k = 0; k < 3; ++k) {
        r.m[k] = x[k];
        r.m[4 + k] = y[k];
        r.m[8 + k] = z[k];
    }
    return r;
}

// The eye, and the screen's up and towards-the-viewer directions, in the world.
struct viewer {
    double eye[3];
    double up[3];
    double back[3];
};

// The turn, in the part's own coordinates, that faces its +z to the viewer:
// about the axis, or whole (+y then up the screen). None where the viewer
// stands on the axis, or the part cannot be inverted.
std::optional<affine> facing(const affine& place, const float axis_in[3], const viewer& v) {
    const std::optional<affine> back = inverse(place);
    if (!back) return std::nullopt;
    double a[3] = {axis_in[0], axis_in[1], axis_in[2]};
    if (!normalise(a)) {
        double z[3], y[3], x[3];
        apply(*back, v.back, 0, z);
        apply(*back, v.up, 0, y);
        if (!normalise(z)) return std::nullopt;
        const double along = dot(y, z);
        for (int k = 0; k < 3; ++k) y[k] -= along * z[k];
        if (!normalise(y)) return std::nullopt;
        cross(y, z, x);
        return columns(x, y, z);
    }
    double to_eye[3];
    apply(*back, v.eye, 1, to_eye);
    const double along = dot(to_eye, a);
    for (int k = 0; k < 3; ++k) to_eye[k] -= along * a[k];
    double z[3] = {-a[2] * a[0], -a[2] * a[1], 1 - a[2] * a[2]};  // +z, across the axis
    if (!normalise(to_eye) || !normalise(z)) return std::nullopt;
    double turn[3];
    cross(z, to_eye, turn);
    const double angle = std::atan2(dot(turn, a), dot(z, to_eye));
    // Rodrigues' rotation about a.
    const double c = std::cos(angle), s = std::sin(angle), t = 1 - c;
    const double x = a[0], y = a[1], w = a[2];
    const double cx[3] = {t * x * x + c, t * x * y + s * w, t * x * w - s * y};
    const double cy[3] = {t * x * y - s * w, t * y * y + c, t * y * w + s * x};
    const double cz[3] = {t * x * w + s * y, t * y * w - s * x, t * w * w + c};
    return columns(cx, cy, cz);
}

}  // namespace

std::vector<scene_motion> turned_motions(const scene_store& store, const float world_to_eye[16]) {
    if (store.billboards.empty()) return {};
    const std::size_t n = store.motions.size();
    std::vector<const float*> axis(n, nullptr);
    for (const scene_billboard& b : store.billboards)
        if (b.motion >= 0 && static_cast<std::size_t>(b.motion) < n) axis[static_cast<std::size_t>(b.motion)] = b.axis;

    viewer v{};
    if (const std::optional<affine> eye_to_world = inverse(from(world_to_eye))) {
        const double origin[3] = {0, 0, 0}, up[3] = {0, 1, 0}, back[3] = {0, 0, 1};
        apply(*eye_to_world, origin, 1, v.eye);
        apply(*eye_to_world, up, 0, v.up);
        apply(*eye_to_world, back, 0, v.back);
    } else {
        return {};
    }

    std::vector<scene_motion> placed = store.motions;
    std::vector<std::optional<affine>> turned(n);
    for (std::size_t k = 0; k < n; ++k) {
        const std::int32_t p = store.motions[k].parent;
        const bool in_turned = p >= 0 && static_cast<std::size_t>(p) < k && turned[static_cast<std::size_t>(p)];
        if (!in_turned && !axis[k]) continue;
        affine place = from(store.motions[k].matrix);
        if (in_turned) {
            // Where the part stands in its parent, carried by the parent's turn.
            const auto parent = static_cast<std::size_t>(p);
            if (const std::optional<affine> back = inverse(from(store.motions[parent].matrix)))
                place = times(*turned[parent], times(*back, place));
        }
        if (axis[k])
            if (const std::optional<affine> turn = facing(place, axis[k], v)) place = times(place, *turn);
        turned[k] = place;
        for (int i = 0; i < 16; ++i) placed[k].matrix[i] = static_cast<float>(place.m[i]);
    }
    return placed;
}

}  // namespace tessel
