#include "geometry/matrix.h"

#include <cmath>

namespace tessel::vrml {

matrix4 multiply(const matrix4& a, const matrix4& b) {
    matrix4 r;
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) {
            float s = 0;
            for (int k = 0; k < 4; ++k) s += a.m[k * 4 + row] * b.m[col * 4 + k];
            r.m[col * 4 + row] = s;
        }
    return r;
}

matrix4 rotation_matrix(float x, float y, float z, float angle) {
    matrix4 r;
    const float length = std::sqrt(x * x + y * y + z * z);
    // A zero (or unreadable) axis turns nothing.
    if (!(length > 0) || !std::isfinite(length) || !std::isfinite(angle)) return r;
    x /= length;
    y /= length;
    z /= length;
    const float c = std::cos(angle), s = std::sin(angle), t = 1 - c;
    r.m[0] = t * x * x + c;
    r.m[1] = t * x * y + s * z;
    r.m[2] = t * x * z - s * y;
    r.m[4] = t * x * y - s * z;
    r.m[5] = t * y * y + c;
    r.m[6] = t * y * z + s * x;
    r.m[8] = t * x * z + s * y;
    r.m[9] = t * y * z - s * x;
    r.m[10] = t * z * z + c;
    return r;
}

matrix4 translation_matrix(float x, float y, float z) {
    matrix4 r;
    r.m[12] = x;
    r.m[13] = y;
    r.m[14] = z;
    return r;
}

matrix4 scale_matrix(float x, float y, float z) {
    matrix4 r;
    r.m[0] = x;
    r.m[5] = y;
    r.m[10] = z;
    return r;
}

texture_matrix multiply(const texture_matrix& a, const texture_matrix& b) {
    texture_matrix r;
    r.m[0] = a.m[0] * b.m[0] + a.m[2] * b.m[1];
    r.m[1] = a.m[1] * b.m[0] + a.m[3] * b.m[1];
    r.m[2] = a.m[0] * b.m[2] + a.m[2] * b.m[3];
    r.m[3] = a.m[1] * b.m[2] + a.m[3] * b.m[3];
    r.m[4] = a.m[0] * b.m[4] + a.m[2] * b.m[5] + a.m[4];
    r.m[5] = a.m[1] * b.m[4] + a.m[3] * b.m[5] + a.m[5];
    return r;
}

double determinant3(const matrix4& m) {
    const float* a = m.m;
    return double(a[0]) * (double(a[5]) * a[10] - double(a[9]) * a[6]) -
           double(a[4]) * (double(a[1]) * a[10] - double(a[9]) * a[2]) +
           double(a[8]) * (double(a[1]) * a[6] - double(a[5]) * a[2]);
}

float uniform_scale(const matrix4& m) {
    const double volume = std::fabs(determinant3(m));
    return volume > 0 && std::isfinite(volume) ? static_cast<float>(std::cbrt(volume)) : 1.0f;
}

bool invert_affine(const matrix4& m, matrix4& inverse) {
    const float* a = m.m;
    if (a[3] != 0 || a[7] != 0 || a[11] != 0 || a[15] != 1) return false;
    for (const float v : m.m)
        if (!std::isfinite(v)) return false;
    const double det = determinant3(m);
    if (!std::isnormal(det)) return false;
    // The cofactors over the determinant: column-major, c(r, k) is row r, column k.
    const auto at = [&](int r, int k) { return double(a[k * 4 + r]); };
    double inv[3][3];
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k) {
            const int r1 = (k + 1) % 3, r2 = (k + 2) % 3, k1 = (r + 1) % 3, k2 = (r + 2) % 3;
            inv[r][k] = (at(r1, k1) * at(r2, k2) - at(r1, k2) * at(r2, k1)) / det;
        }
    for (int r = 0; r < 3; ++r) {
        double moved = 0;
        for (int k = 0; k < 3; ++k) {
            inverse.m[k * 4 + r] = static_cast<float>(inv[r][k]);
            moved -= inv[r][k] * a[12 + k];
        }
        inverse.m[12 + r] = static_cast<float>(moved);
        inverse.m[r * 4 + 3] = 0;
    }
    inverse.m[15] = 1;
    for (const float v : inverse.m)
        if (!std::isfinite(v)) return false;
    return true;
}

}  // namespace tessel::vrml
