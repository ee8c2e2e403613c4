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

}  // namespace tessel::vrml
