#include "world/interpolation.h"

#include <algorithm>
#include <cmath>

namespace tessel::vrml {

key_span find_key(std::span<const float> keys, float f) {
    if (keys.size() < 2 || !(f > keys.front())) return {0, 0};
    for (std::size_t i = 0; i + 1 < keys.size(); ++i) {
        const float low = keys[i], high = keys[i + 1];
        if (f >= low && f < high) return {i, (f - low) / (high - low)};
    }
    return {keys.size() - 1, 0};
}

void blend_linear(const float* a, const float* b, float t, std::size_t n, float* out) {
    for (std::size_t i = 0; i < n; ++i) out[i] = a[i] + (b[i] - a[i]) * t;
}

namespace {

// Hue in degrees 0..360, saturation and value 0..1.
void to_hsv(const float rgb[3], float hsv[3]) {
    const float high = std::max({rgb[0], rgb[1], rgb[2]});
    const float low = std::min({rgb[0], rgb[1], rgb[2]});
    const float range = high - low;
    float h = 0;
    if (range > 0) {
        if (high == rgb[0]) h = 60 * std::fmod((rgb[1] - rgb[2]) / range + 6, 6.0f);
        else if (high == rgb[1]) h = 60 * ((rgb[2] - rgb[0]) / range + 2);
        else h = 60 * ((rgb[0] - rgb[1]) / range + 4);
    }
    hsv[0] = h;
    hsv[1] = high > 0 ? range / high : 0;
    hsv[2] = high;
}

void to_rgb(const float hsv[3], float rgb[3]) {
    const float h = std::fmod(std::fmod(hsv[0], 360.0f) + 360.0f, 360.0f) / 60.0f;
    const float c = hsv[2] * hsv[1];
    const float x = c * (1 - std::fabs(std::fmod(h, 2.0f) - 1));
    const float m = hsv[2] - c;
    float r = 0, g = 0, b = 0;
    switch (static_cast<int>(h)) {
    case 0: r = c, g = x; break;
    case 1: r = x, g = c; break;
    case 2: g = c, b = x; break;
    case 3: g = x, b = c; break;
    case 4: r = x, b = c; break;
    default: r = c, b = x; break;
    }
    rgb[0] = r + m, rgb[1] = g + m, rgb[2] = b + m;
}

struct quaternion {
    double w, x, y, z;
};

quaternion from_rotation(const float r[4]) {
    const double length = std::sqrt(double(r[0]) * r[0] + double(r[1]) * r[1] + double(r[2]) * r[2]);
    if (!(length > 0) || !std::isfinite(r[3])) return {1, 0, 0, 0};
    const double s = std::sin(r[3] / 2.0) / length;
    return {std::cos(r[3] / 2.0), r[0] * s, r[1] * s, r[2] * s};
}

}  // namespace

void blend_colour(const float a[3], const float b[3], float t, float out[3]) {
    float ha[3], hb[3], h[3];
    to_hsv(a, ha);
    to_hsv(b, hb);
    // A grey has no hue of its own: it takes the other colour's.
    if (ha[1] == 0) ha[0] = hb[0];
    if (hb[1] == 0) hb[0] = ha[0];
    if (hb[0] - ha[0] > 180) ha[0] += 360;
    else if (ha[0] - hb[0] > 180) hb[0] += 360;
    blend_linear(ha, hb, t, 3, h);
    to_rgb(h, out);
}

void blend_rotation(const float a[4], const float b[4], float t, float out[4]) {
    const quaternion p = from_rotation(a);
    quaternion q = from_rotation(b);
    double dot = p.w * q.w + p.x * q.x + p.y * q.y + p.z * q.z;
    if (dot < 0) {  // the same rotation the other way round: the shorter arc
        q = {-q.w, -q.x, -q.y, -q.z};
        dot = -dot;
    }
    double wp = 1 - t, wq = t;
    if (dot < 0.9995) {
        const double angle = std::acos(std::min(dot, 1.0));
        wp = std::sin((1 - t) * angle) / std::sin(angle);
        wq = std::sin(t * angle) / std::sin(angle);
    }
    quaternion r{wp * p.w + wq * q.w, wp * p.x + wq * q.x, wp * p.y + wq * q.y, wp * p.z + wq * q.z};
    const double norm = std::sqrt(r.w * r.w + r.x * r.x + r.y * r.y + r.z * r.z);
    if (norm > 0) r = {r.w / norm, r.x / norm, r.y / norm, r.z / norm};
    const double sine = std::sqrt(r.x * r.x + r.y * r.y + r.z * r.z);
    if (sine < 1e-12) {
        out[0] = 0, out[1] = 0, out[2] = 1, out[3] = 0;
        return;
    }
    out[0] = static_cast<float>(r.x / sine);
    out[1] = static_cast<float>(r.y / sine);
    out[2] = static_cast<float>(r.z / sine);
    out[3] = static_cast<float>(2 * std::atan2(sine, r.w));
}

void blend_direction(const float a[3], const float b[3], float t, float out[3]) {
    const double la = std::sqrt(double(a[0]) * a[0] + double(a[1]) * a[1] + double(a[2]) * a[2]);
    const double lb = std::sqrt(double(b[0]) * b[0] + double(b[1]) * b[1] + double(b[2]) * b[2]);
    if (!(la > 0) || !(lb > 0)) {
        blend_linear(a, b, t, 3, out);
        return;
    }
    double dot = (double(a[0]) * b[0] + double(a[1]) * b[1] + double(a[2]) * b[2]) / (la * lb);
    dot = std::clamp(dot, -1.0, 1.0);
    const double angle = std::acos(dot);
    double wa = 1 - t, wb = t;
    if (angle > 1e-4 && std::sin(angle) > 1e-6) {
        wa = std::sin((1 - t) * angle) / std::sin(angle);
        wb = std::sin(t * angle) / std::sin(angle);
    }
    double v[3];
    for (int i = 0; i < 3; ++i) v[i] = wa * a[i] / la + wb * b[i] / lb;
    const double l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    for (int i = 0; i < 3; ++i) out[i] = static_cast<float>(l > 0 ? v[i] / l : v[i]);
}

}  // namespace tessel::vrml
