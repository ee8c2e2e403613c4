#include "render/draw_budget.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace tessel {

namespace {

// Clip-space w below this counts as at or behind the eye: such a triangle
// may cover anything.
constexpr double near_w = 1e-6;

std::size_t corners_of(shape_kind kind) {
    switch (kind) {
        case shape_kind::lines: return 2;
        case shape_kind::points: return 1;
        default: return 3;
    }
}

// The pixels of the picture a triangle (clip coordinates) covers: the part
// of it inside the view volume, projected. A triangle behind the eye, or
// beside the view, covers nothing; one that reaches behind the eye covers
// no more than its part in front.
double covered_pixels(const double corners[3][4], double width, double height) {
    // Sutherland-Hodgman against the six planes of the view volume; each
    // plane adds at most one corner.
    double poly[9][4], next[9][4];
    int n = 3;
    for (int k = 0; k < 3; ++k) std::copy(corners[k], corners[k] + 4, poly[k]);
    const auto side = [](const double c[4], int plane) {
        const int axis = plane / 2;
        return plane % 2 == 0 ? c[3] + c[axis] : c[3] - c[axis];
    };
    for (int plane = 0; plane < 6 && n > 0; ++plane) {
        int m = 0;
        for (int i = 0; i < n; ++i) {
            const double* a = poly[i];
            const double* b = poly[(i + 1) % n];
            const double da = side(a, plane), db = side(b, plane);
            if (da >= 0) std::copy(a, a + 4, next[m++]);
            if ((da >= 0) != (db >= 0)) {
                const double t = da / (da - db);
                for (int r = 0; r < 4; ++r) next[m][r] = a[r] + t * (b[r] - a[r]);
                ++m;
            }
        }
        n = m;
        for (int i = 0; i < n; ++i) std::copy(next[i], next[i] + 4, poly[i]);
    }
    if (n < 3) return 0;
    double twice = 0;
    for (int i = 0; i < n; ++i) {
        const double* a = poly[i];
        const double* b = poly[(i + 1) % n];
        if (!(a[3] > near_w) || !(b[3] > near_w)) return width * height;  // at the eye: anything
        const double ax = (a[0] / a[3] + 1) * width / 2, ay = (a[1] / a[3] + 1) * height / 2;
        const double bx = (b[0] / b[3] + 1) * width / 2, by = (b[1] / b[3] + 1) * height / 2;
        twice += ax * by - bx * ay;
    }
    const double area = std::fabs(twice) / 2;
    return std::isfinite(area) ? std::min(area, width * height) : width * height;
}

}  // namespace

std::string describe(const draw_report& report, const draw_limits& limits) {
    if (report.out_of_memory) return "not enough memory to draw the scene; the window stays empty";
    if (report.complete()) return {};
    const std::string part = "drawing stopped after " + std::to_string(report.drawn) + " of " +
                             std::to_string(report.primitives) + " primitives: ";
    if (report.by_fill) {
        char pictures[32];
        std::snprintf(pictures, sizeof pictures, "%g", limits.pictures);
        return part + "the scene would cover the picture more than " + pictures + " times over";
    }
    return part + "a picture draws at most " + std::to_string(limits.primitives);
}

frame_budget::frame_budget(const float clip[16], int width, int height, const draw_limits& limits)
    : width_(std::max(width, 1)), height_(std::max(height, 1)), limits_(limits) {
    std::copy(clip, clip + 16, m_);
    std::copy(clip, clip + 16, clip_);
}

void frame_budget::place(const float* motion) {
    if (!motion) {
        std::copy(clip_, clip_ + 16, m_);
        return;
    }
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            double v = 0;
            for (int k = 0; k < 4; ++k) v += clip_[k * 4 + r] * motion[c * 4 + k];
            m_[c * 4 + r] = v;
        }
}

// At least the pixels the shape's triangles cover (more, usually): each
// triangle covers no more than the box its shape fills on screen, and no
// more than its own area times the most the view enlarges an area.
double frame_budget::estimate(const prepared_shape& shape, corner_view indices) const {
    double low_x = std::numeric_limits<double>::infinity(), low_y = low_x;
    double high_x = -low_x, high_y = -low_x, w_least = low_x;
    for (int corner = 0; corner < 8; ++corner) {
        const double p[3] = {(corner & 1) ? shape.high[0] : shape.low[0], (corner & 2) ? shape.high[1] : shape.low[1],
                             (corner & 4) ? shape.high[2] : shape.low[2]};
        double c[4];
        for (int r = 0; r < 4; ++r) c[r] = m_[r] * p[0] + m_[4 + r] * p[1] + m_[8 + r] * p[2] + m_[12 + r];
        w_least = std::min(w_least, c[3]);
        if (!(c[3] > near_w)) return std::numeric_limits<double>::infinity();
        const double x = (c[0] / c[3] + 1) * width_ / 2, y = (c[1] / c[3] + 1) * height_ / 2;
        low_x = std::min(low_x, x);
        high_x = std::max(high_x, x);
        low_y = std::min(low_y, y);
        high_y = std::max(high_y, y);
    }
    // Points inside the box project inside the corners' screen box (all in
    // front of the eye), so a shape whose box misses the picture costs nothing.
    const double box = std::max(0.0, std::min(high_x, width_) - std::max(low_x, 0.0)) *
                       std::max(0.0, std::min(high_y, height_) - std::max(low_y, 0.0));
    if (!(box > 0)) return 0;
    const double triangles = static_cast<double>(indices.size() / 3);
    const auto length = [&](int r) { return std::sqrt(m_[r] * m_[r] + m_[4 + r] * m_[4 + r] + m_[8 + r] * m_[8 + r]); };
    const double across = width_ / 2 * (length(0) + length(3)), up = height_ / 2 * (length(1) + length(3));
    const double by_area = shape.area * across * up / (w_least * w_least);
    const double by_box = triangles * box;
    return std::isnan(by_area) ? by_box : std::min(by_area, by_box);
}

// The indices of the shape's first triangles whose pixels, one by one, fit
// in fill_left; `filled` gets their pixels.
std::size_t frame_budget::exact_prefix(const prepared_shape& shape, corner_view indices, double fill_left,
                                       double& filled) const {
    const float* points = shape.points.data();
    filled = 0;
    for (std::size_t t = 0; t + 2 < indices.size(); t += 3) {
        double c[3][4];
        for (int k = 0; k < 3; ++k) {
            const float* p = points + static_cast<std::size_t>(indices[t + static_cast<std::size_t>(k)]) * 3;
            for (int r = 0; r < 4; ++r) c[k][r] = m_[r] * p[0] + m_[4 + r] * p[1] + m_[8 + r] * p[2] + m_[12 + r];
        }
        const double covered = covered_pixels(c, width_, height_);
        if (filled + covered > fill_left) return t;
        filled += covered;
    }
    return indices.size();
}

std::size_t frame_budget::indices_to_draw(const prepared_shape& shape, shape_kind kind, corner_view stand_in) {
    const std::size_t per = corners_of(kind);
    const corner_view indices = stand_in.empty() ? shape.indices : stand_in;
    const auto whole = static_cast<std::int64_t>(shape.indices.size() / per);
    const auto count = static_cast<std::int64_t>(indices.size() / per);
    report_.primitives += whole;
    if (stopped_) return 0;
    std::int64_t take = std::min(count, std::max<std::int64_t>(0, limits_.primitives - report_.handed));
    if (kind == shape_kind::triangles && take > 0) {
        const double left = limits_.pictures * width_ * height_ - fill_;
        const double guess = estimate(shape, indices);
        if (guess <= left) {
            fill_ += guess;
        } else {
            double filled = 0;
            const std::size_t fits = exact_prefix(shape, indices, left, filled);
            fill_ += filled;
            if (static_cast<std::int64_t>(fits / 3) < take) {
                take = static_cast<std::int64_t>(fits / 3);
                report_.by_fill = true;
            }
        }
    }
    if (take < count) stopped_ = true;
    report_.handed += take;
    // A stand-in drawn whole stands for the whole shape; one cut short
    // leaves the rest of the shape out, as a shape cut short would.
    report_.drawn += take == count ? whole : take;
    if (!stand_in.empty() && take > 0) ++report_.stand_ins;
    return static_cast<std::size_t>(take) * per;
}

void frame_budget::skip(const prepared_shape& shape, shape_kind kind) {
    report_.primitives += static_cast<std::int64_t>(shape.indices.size() / corners_of(kind));
}

}  // namespace tessel
