// ElevationGrid and Extrusion as face sets. Work is done in double and each
// result is range-checked before it becomes a float: a file's numbers may be
// finite and still overflow once multiplied, and an out-of-range conversion
// is undefined behaviour, not infinity.

#include "geometry/generated_shapes.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "scene/vec3.h"

namespace tessel::vrml {

namespace {

using vec = vec3d;

bool all_finite(std::span<const float> values) {
    return std::all_of(values.begin(), values.end(), [](float v) { return std::isfinite(v); });
}

// False when v does not fit a float (or is NaN).
bool fits_float(double v) {
    return std::isfinite(v) && std::fabs(v) <= static_cast<double>(std::numeric_limits<float>::max());
}

void clear(generated_faces& out) {
    out.coords.clear();
    out.coord_index.clear();
    out.texture_coords.clear();
    out.texture_coord_index.clear();
    out.side_faces = 0;
}

std::string count_text(std::int64_t n) { return std::to_string(n); }

}  // namespace

bool elevation_grid_faces(const elevation_grid_params& p, generated_faces& out, std::string& problem) {
    clear(out);
    problem.clear();
    if (p.x_dimension < 2 || p.z_dimension < 2) {
        problem = "ElevationGrid has no cells: xDimension " + count_text(p.x_dimension) + " and zDimension " +
                  count_text(p.z_dimension) + " must both be at least 2";
        return false;
    }
    const std::int64_t nx = p.x_dimension, nz = p.z_dimension;
    const std::int64_t points = nx * nz;  // both below 2^31: no overflow
    if (points > generated_point_limit) {
        problem = "ElevationGrid of " + count_text(nx) + " by " + count_text(nz) + " points is too large (more than " +
                  count_text(generated_point_limit) + " points)";
        return false;
    }
    if (!std::isfinite(p.x_spacing) || !std::isfinite(p.z_spacing)) {
        problem = "ElevationGrid has an infinite or NaN spacing";
        return false;
    }
    // The far corner must fit a float as well.
    if (!fits_float(static_cast<double>(p.x_spacing) * static_cast<double>(nx - 1)) ||
        !fits_float(static_cast<double>(p.z_spacing) * static_cast<double>(nz - 1))) {
        problem = "ElevationGrid spacing times dimension is too large";
        return false;
    }

    const auto given = static_cast<std::int64_t>(p.height.size());
    bool bad_height = false;
    out.coords.reserve(static_cast<std::size_t>(points) * 3);
    out.texture_coords.reserve(static_cast<std::size_t>(points) * 2);
    for (std::int64_t j = 0; j < nz; ++j) {
        for (std::int64_t i = 0; i < nx; ++i) {
            const std::int64_t k = j * nx + i;
            float h = k < given ? p.height[static_cast<std::size_t>(k)] : 0.0f;
            if (!std::isfinite(h)) {
                h = 0;
                bad_height = true;
            }
            out.coords.push_back(static_cast<float>(static_cast<double>(p.x_spacing) * static_cast<double>(i)));
            out.coords.push_back(h);
            out.coords.push_back(static_cast<float>(static_cast<double>(p.z_spacing) * static_cast<double>(j)));
            out.texture_coords.push_back(static_cast<float>(static_cast<double>(i) / static_cast<double>(nx - 1)));
            out.texture_coords.push_back(static_cast<float>(static_cast<double>(j) / static_cast<double>(nz - 1)));
        }
    }

    const std::size_t cells = static_cast<std::size_t>((nx - 1) * (nz - 1));
    out.coord_index.reserve(cells * 5);
    for (std::int64_t j = 0; j + 1 < nz; ++j) {
        for (std::int64_t i = 0; i + 1 < nx; ++i) {
            const auto at = [&](std::int64_t a, std::int64_t b) { return static_cast<std::int32_t>(b * nx + a); };
            // Down the z edge first, then back along x: counterclockwise seen from +y.
            out.coord_index.insert(out.coord_index.end(), {at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j), -1});
        }
    }
    // Texture coordinates are one per point, so they index as the points do.
    out.texture_coord_index = out.coord_index;

    if (given < points) {
        problem = "ElevationGrid has " + count_text(given) + " heights for " + count_text(points) +
                  " points; the missing heights are 0";
    } else if (bad_height) {
        problem = "ElevationGrid has infinite or NaN heights; they are 0";
    }
    return true;
}

namespace {

// The spine-aligned cross-section plane at one spine point, as three unit axes.
struct frame {
    vec x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
};

// Below this sine of the angle between two spine segments, the points count
// as collinear: float noise in a straight spine must not pick a Z axis.
constexpr double collinear_sine = 1e-6;

// A unit vector perpendicular to unit vector u.
vec any_perpendicular(vec u) {
    const vec helper = std::fabs(u.x) < 0.9 ? vec{1, 0, 0} : vec{0, 1, 0};
    const vec p = cross(u, helper);
    return p * (1 / length(p));
}

// The rotation that takes +y onto direction d, applied to the axes; a spine
// that runs straight down turns about x (any axis would do, x keeps x).
frame frame_from_direction(vec d) {
    frame f;
    const double len = length(d);
    if (!(len > 0)) return f;
    const vec v = d * (1 / len);
    const vec axis = cross(vec{0, 1, 0}, v);
    const double s = length(axis), c = v.y;
    if (s < 1e-12) {
        if (c < 0) f = frame{{1, 0, 0}, {0, -1, 0}, {0, 0, -1}};
        return f;
    }
    const vec k = axis * (1 / s);
    const auto rotate = [&](vec a) {  // Rodrigues' formula
        return a * c + cross(k, a) * s + k * (dot(k, a) * (1 - c));
    };
    f.x = rotate(f.x);
    f.y = v;
    f.z = rotate(f.z);
    return f;
}

// Unit axes from the raw y and z directions: z is made perpendicular to y,
// and x completes a right-handed frame, so the cross-section keeps its turn.
frame orthonormal(vec y, vec z) {
    frame f;
    f.y = y * (1 / length(y));
    vec zz = z - f.y * dot(z, f.y);
    const double len = length(zz);
    f.z = len > 1e-12 ? zz * (1 / len) : any_perpendicular(f.y);
    f.x = cross(f.y, f.z);
    return f;
}

// Fills the undefined entries of a list of directions from the previous
// defined one, the leading ones from the first defined one. False if none is.
bool fill_undefined(std::vector<vec>& v, const std::vector<bool>& defined) {
    const auto first = std::find(defined.begin(), defined.end(), true);
    if (first == defined.end()) return false;
    vec last = v[static_cast<std::size_t>(first - defined.begin())];
    for (std::size_t k = 0; k < v.size(); ++k) {
        if (defined[k]) last = v[k];
        else v[k] = last;
    }
    return true;
}

// One frame per distinct spine point (consecutive duplicates already merged;
// `closed` when the spine ends where it starts).
std::vector<frame> spine_frames(const std::vector<vec>& d, bool closed) {
    const std::size_t m = d.size();
    std::vector<frame> frames(m);
    if (m < 2) return frames;

    std::vector<vec> y(m), z(m);
    std::vector<bool> y_ok(m), z_ok(m);
    for (std::size_t k = 0; k < m; ++k) {
        const bool end = k == 0 || k == m - 1;
        if (!end) y[k] = d[k + 1] - d[k - 1];
        else if (closed) y[k] = d[1] - d[m - 2];
        else if (k == 0) y[k] = d[1] - d[0];
        else y[k] = d[m - 1] - d[m - 2];
        y_ok[k] = length(y[k]) > 0;

        vec a, b;  // the two segments whose cross product gives z
        if (!end) {
            a = d[k + 1] - d[k];
            b = d[k - 1] - d[k];
        } else if (closed) {
            a = d[1] - d[0];
            b = d[m - 2] - d[0];
        } else {
            continue;  // an open spine's ends take their neighbour's z below
        }
        z[k] = cross(a, b);
        z_ok[k] = length(z[k]) > collinear_sine * length(a) * length(b);
    }
    if (!closed && m > 2) {
        z[0] = z[1];
        z_ok[0] = z_ok[1];
        z[m - 1] = z[m - 2];
        z_ok[m - 1] = z_ok[m - 2];
    }

    if (!fill_undefined(z, z_ok)) {
        // A straight spine: one rotation of +y onto the spine's direction.
        const frame f = frame_from_direction(d[1] - d[0]);
        std::fill(frames.begin(), frames.end(), f);
        return frames;
    }
    if (!fill_undefined(y, y_ok)) std::fill(y.begin(), y.end(), vec{0, 1, 0});
    // Keep z on one side as the spine bends, so the cross-section does not
    // turn over between neighbouring points.
    for (std::size_t k = 1; k < m; ++k) {
        if (dot(z[k], z[k - 1]) < 0) z[k] = z[k] * -1;
    }
    for (std::size_t k = 0; k < m; ++k) frames[k] = orthonormal(y[k], z[k]);
    // A closed spine's ends are one place and share one plane.
    if (closed) frames[m - 1] = frames[0];
    return frames;
}

// Rotation of a by `angle` about `axis` (identity for a zero axis).
vec rotate(vec a, vec axis, double angle) {
    const double len = length(axis);
    if (!(len > 0) || angle == 0) return a;
    const vec k = axis * (1 / len);
    const double c = std::cos(angle), s = std::sin(angle);
    return a * c + cross(k, a) * s + k * (dot(k, a) * (1 - c));
}

// Positions along a polyline as fractions of its length, from 0 to 1; evenly
// spaced by index when the polyline has no length.
std::vector<double> length_fractions(const std::vector<vec>& points) {
    const std::size_t n = points.size();
    std::vector<double> f(n, 0.0);
    for (std::size_t k = 1; k < n; ++k) f[k] = f[k - 1] + length(points[k] - points[k - 1]);
    const double total = n > 0 ? f[n - 1] : 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (total > 0 && std::isfinite(total)) f[k] /= total;
        else f[k] = n > 1 ? static_cast<double>(k) / static_cast<double>(n - 1) : 0;
    }
    if (n > 1) f[n - 1] = 1;  // exact, whatever the rounding
    return f;
}

constexpr float default_cross_section[] = {1, 1, 1, -1, -1, -1, -1, 1, 1, 1};
constexpr float default_spine[] = {0, 0, 0, 0, 1, 0};
constexpr float default_scale[] = {1, 1};
constexpr float default_orientation[] = {0, 0, 1, 0};

}  // namespace

namespace {

// The extrusion's fields, the defaults standing for empty ones, and how many
// whole entries each has (a trailing part of an entry is ignored, as a reader
// would).
struct extrusion_input {
    std::span<const float> section_values, spine_values, scale_values, orient_values;
    std::size_t ncs = 0, nsp = 0, nscale = 0, norient = 0;

    explicit extrusion_input(const extrusion_params& p)
        : section_values(p.cross_section.empty() ? std::span<const float>(default_cross_section) : p.cross_section),
          spine_values(p.spine.empty() ? std::span<const float>(default_spine) : p.spine),
          scale_values(p.scale.empty() ? std::span<const float>(default_scale) : p.scale),
          orient_values(p.orientation.empty() ? std::span<const float>(default_orientation) : p.orientation),
          ncs(section_values.size() / 2), nsp(spine_values.size() / 3), nscale(scale_values.size() / 2),
          norient(orient_values.size() / 4) {}

    const float* scale(std::size_t j) const { return &scale_values[2 * std::min(j, nscale - 1)]; }
    const float* orientation(std::size_t j) const { return &orient_values[4 * std::min(j, norient - 1)]; }
};

// False, with the reason, for an extrusion that cannot be made; a problem
// with a true result is a warning only.
bool check_extrusion(const extrusion_input& in, std::string& problem) {
    if (!all_finite(in.section_values) || !all_finite(in.spine_values) || !all_finite(in.scale_values) ||
        !all_finite(in.orient_values)) {
        problem = "Extrusion has infinite or NaN numbers; it is left out";
        return false;
    }
    if (in.ncs < 2 || in.nsp < 2) {
        problem = "Extrusion needs at least 2 crossSection and 2 spine points (it has " + std::to_string(in.ncs) +
                  " and " + std::to_string(in.nsp) + ")";
        return false;
    }
    if (in.nscale == 0 || in.norient == 0) {
        problem = "Extrusion has an incomplete scale or orientation value";
        return false;
    }
    // Both counts are bounded by memory already given, so the product cannot overflow.
    if (static_cast<double>(in.ncs) * static_cast<double>(in.nsp) > static_cast<double>(generated_point_limit)) {
        problem = "Extrusion of " + std::to_string(in.ncs) + " crossSection by " + std::to_string(in.nsp) +
                  " spine points is too large (more than " + count_text(generated_point_limit) + " points)";
        return false;
    }
    if ((in.nscale > 1 && in.nscale < in.nsp) || (in.norient > 1 && in.norient < in.nsp)) {
        problem = "Extrusion has fewer scale or orientation values than spine points; the last one is repeated";
    }
    return true;
}

// The cross-section and spine as points, and the rings of points laid along
// the spine: `ring` points each (a closed cross-section's last point is its
// first one again).
struct extrusion_shape {
    std::vector<vec> section, spine;
    std::size_t ring = 0;
    std::size_t last_ring = 0;  // the ring the last spine point uses

    explicit extrusion_shape(const extrusion_input& in) : section(in.ncs), spine(in.nsp) {
        for (std::size_t i = 0; i < in.ncs; ++i) section[i] = {in.section_values[2 * i], 0, in.section_values[2 * i + 1]};
        for (std::size_t j = 0; j < in.nsp; ++j)
            spine[j] = {in.spine_values[3 * j], in.spine_values[3 * j + 1], in.spine_values[3 * j + 2]};
        ring = section.front() == section.back() ? in.ncs - 1 : in.ncs;
        last_ring = in.nsp - 1;
    }

    // The point of cross-section point i on spine point j.
    std::int32_t point(std::size_t i, std::size_t j) const {
        const std::size_t r = j == spine.size() - 1 ? last_ring : j;
        return static_cast<std::int32_t>(r * ring + (i == ring ? 0 : i));
    }
};

// One ring of points per spine point, in the frames the spine gives. False
// where a point does not fit a float.
bool place_rings(const extrusion_input& in, extrusion_shape& shape, generated_faces& out, std::string& problem) {
    // Coincident neighbours share one plane: frames are made over the spine
    // with consecutive duplicates merged, then handed back to every copy.
    std::vector<vec> distinct;
    std::vector<std::size_t> distinct_of(in.nsp);
    for (std::size_t j = 0; j < in.nsp; ++j) {
        if (distinct.empty() || !(distinct.back() == shape.spine[j])) distinct.push_back(shape.spine[j]);
        distinct_of[j] = distinct.size() - 1;
    }
    const bool spine_closed = shape.spine.front() == shape.spine.back() && distinct.size() > 2;
    const std::vector<frame> frames = spine_frames(distinct, spine_closed);

    const std::size_t ring = shape.ring;
    out.coords.reserve(in.nsp * ring * 3);
    for (std::size_t j = 0; j < in.nsp; ++j) {
        const float* sc = in.scale(j);
        const float* o = in.orientation(j);
        const frame& f = frames[distinct_of[j]];
        for (std::size_t i = 0; i < ring; ++i) {
            const vec c = shape.section[i];
            const vec local = rotate({c.x * sc[0], 0, c.z * sc[1]}, {o[0], o[1], o[2]}, o[3]);
            const vec w = shape.spine[j] + f.x * local.x + f.y * local.y + f.z * local.z;
            if (!fits_float(w.x) || !fits_float(w.y) || !fits_float(w.z)) {
                problem = "Extrusion points are too large for floating point; it is left out";
                return false;
            }
            out.coords.insert(out.coords.end(), {static_cast<float>(w.x), static_cast<float>(w.y), static_cast<float>(w.z)});
        }
    }
    // A closed spine whose last ring lands on its first uses the first, so
    // that the surface is smooth across the join.
    if (spine_closed && std::equal(out.coords.begin(), out.coords.begin() + static_cast<std::ptrdiff_t>(ring * 3),
                                   out.coords.end() - static_cast<std::ptrdiff_t>(ring * 3))) {
        out.coords.resize(out.coords.size() - ring * 3);
        shape.last_ring = 0;
    }
    return true;
}

// The sides: a quad between each two neighbouring cross-section points on
// each two neighbouring spine points. Their texture coordinates are one entry
// per cross-section point per spine point (the seams need both 0 and 1), s
// along the cross-section, t along the spine, each by length.
void add_sides(const extrusion_shape& shape, generated_faces& out) {
    const std::size_t ncs = shape.section.size(), nsp = shape.spine.size();
    const std::vector<double> s = length_fractions(shape.section), t = length_fractions(shape.spine);
    out.texture_coords.reserve((nsp * ncs + shape.ring) * 2);
    for (std::size_t j = 0; j < nsp; ++j) {
        for (std::size_t i = 0; i < ncs; ++i) {
            out.texture_coords.push_back(static_cast<float>(s[i]));
            out.texture_coords.push_back(static_cast<float>(t[j]));
        }
    }
    const auto entry = [&](std::size_t i, std::size_t j) { return static_cast<std::int32_t>(j * ncs + i); };
    const std::size_t side_count = (ncs - 1) * (nsp - 1);
    out.coord_index.reserve(side_count * 5 + 2 * (shape.ring + 1));
    out.texture_coord_index.reserve(out.coord_index.capacity());
    for (std::size_t j = 0; j + 1 < nsp; ++j) {
        for (std::size_t i = 0; i + 1 < ncs; ++i) {
            out.coord_index.insert(out.coord_index.end(), {shape.point(i, j), shape.point(i + 1, j),
                                                           shape.point(i + 1, j + 1), shape.point(i, j + 1), -1});
            out.texture_coord_index.insert(out.texture_coord_index.end(),
                                           {entry(i, j), entry(i + 1, j), entry(i + 1, j + 1), entry(i, j + 1), -1});
        }
    }
    out.side_faces = side_count;
}

// The caps, with the cross-section scaled uniformly for texture coordinates
// so that its larger extent runs 0 to 1, s with x and t with z.
void add_caps(const extrusion_shape& shape, bool begin_cap, bool end_cap, generated_faces& out) {
    const std::vector<vec>& section = shape.section;
    double x0 = section[0].x, x1 = x0, z0 = section[0].z, z1 = z0;
    for (const vec& c : section) {
        x0 = std::min(x0, c.x);
        x1 = std::max(x1, c.x);
        z0 = std::min(z0, c.z);
        z1 = std::max(z1, c.z);
    }
    const double extent = std::max(x1 - x0, z1 - z0);
    const double k = extent > 0 && std::isfinite(extent) ? 1 / extent : 0;
    const auto cap_base = static_cast<std::int32_t>(out.texture_coords.size() / 2);
    for (std::size_t i = 0; i < shape.ring; ++i) {
        out.texture_coords.push_back(static_cast<float>((section[i].x - x0) * k));
        out.texture_coords.push_back(static_cast<float>((section[i].z - z0) * k));
    }
    const auto corner = [&](std::size_t i, std::size_t j) {
        out.coord_index.push_back(shape.point(i, j));
        out.texture_coord_index.push_back(cap_base + static_cast<std::int32_t>(i));
    };
    const auto close = [&] {
        out.coord_index.push_back(-1);
        out.texture_coord_index.push_back(-1);
    };
    // The cross-section runs counterclockwise seen from +y, the way the
    // spine leaves the begin cap: that cap is listed backwards so that it
    // faces away from the spine, the end cap forwards.
    if (begin_cap) {
        for (std::size_t i = shape.ring; i-- > 0;) corner(i, 0);
        close();
    }
    if (end_cap) {
        for (std::size_t i = 0; i < shape.ring; ++i) corner(i, shape.spine.size() - 1);
        close();
    }
}

}  // namespace

bool extrusion_faces(const extrusion_params& p, generated_faces& out, std::string& problem) {
    clear(out);
    problem.clear();
    const extrusion_input in(p);
    if (!check_extrusion(in, problem)) return false;
    extrusion_shape shape(in);
    if (!place_rings(in, shape, out, problem)) {
        clear(out);
        return false;
    }
    add_sides(shape, out);
    if ((p.begin_cap || p.end_cap) && shape.ring >= 3) add_caps(shape, p.begin_cap, p.end_cap, out);
    return true;
}

}  // namespace tessel::vrml
