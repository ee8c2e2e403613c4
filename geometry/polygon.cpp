#include "geometry/polygon.h"

#include <GL/glu.h>

#include <cmath>
#include <cstdint>

namespace tessel::vrml::detail {

vec3 polygon_normal(std::span<const vec3> corners) {
    // Newell's sums taken about the first corner, which keeps them accurate
    // for small faces far from the origin.
    const std::size_t n = corners.size();
    const vec3 o = corners[0];
    double x = 0, y = 0, z = 0;
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const vec3 a = corners[i] - o, b = corners[i + 1] - o;
        const vec3 c = cross(a, b);
        x += c.x;
        y += c.y;
        z += c.z;
    }
    return {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
}

namespace {

// Positive where the polygon turns counterclockwise about `normal` at corner i.
float turn(std::span<const vec3> c, std::size_t i, vec3 normal) {
    const std::size_t n = c.size();
    const vec3 prev = c[(i + n - 1) % n], here = c[i], next = c[(i + 1) % n];
    return dot(cross(here - prev, next - here), normal);
}

float signed_area(const vec3& a, const vec3& b, const vec3& c, vec3 normal) {
    return dot(cross(b - a, c - a), normal);
}

}  // namespace

bool split_quad(std::span<const vec3, 4> q, vec3 normal, local_triangle out[2]) {
    // A diagonal splits the quad into two triangles inside it exactly when
    // both halves turn the quad's way: always one of the two diagonals for a
    // simple quad (the one through its reflex or flat corner, if any),
    // neither for a quad that crosses itself.
    const auto turns = [&](int a, int b, int c) { return dot(cross(q[b] - q[a], q[c] - q[a]), normal) > 0; };
    if (turns(0, 1, 2) && turns(0, 2, 3)) {
        out[0] = {0, 1, 2};
        out[1] = {0, 2, 3};
        return true;
    }
    if (turns(1, 2, 3) && turns(1, 3, 0)) {
        out[0] = {1, 2, 3};
        out[1] = {1, 3, 0};
        return true;
    }
    return false;
}

bool is_convex(std::span<const vec3> c, vec3 normal) {
    const std::size_t n = c.size();
    // Every corner turns left about the normal...
    for (std::size_t i = 0; i < n; ++i) {
        if (!(turn(c, i, normal) > 0)) return false;
    }
    // ...and the edges go round once: seen in the plane, their direction
    // along one in-plane axis changes sign exactly twice (a star polygon
    // turns left everywhere but goes round twice or more).
    const vec3 axis = normalised(cross(normal, std::fabs(normal.x) < 0.9f * length(normal) ? vec3{1, 0, 0}
                                                                                          : vec3{0, 1, 0}));
    int changes = 0;
    float last = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const float d = dot(c[(i + 1) % n] - c[i], axis);
        if (d == 0) continue;
        if (last != 0 && (d > 0) != (last > 0)) ++changes;
        last = d;
    }
    // The change between the last edge and the first closes the count.
    for (std::size_t i = 0; i < n; ++i) {
        const float d = dot(c[(i + 1) % n] - c[i], axis);
        if (d == 0) continue;
        if ((d > 0) != (last > 0)) ++changes;
        break;
    }
    return changes == 2;
}

struct tess_callbacks {
    static void GLAPIENTRY begin(GLenum, void*) {}
    static void GLAPIENTRY edge_flag(GLboolean, void*) {}  // asking for edge flags keeps the output to triangles
    static void GLAPIENTRY vertex(void* data, void* self) {
        static_cast<polygon_splitter*>(self)->emitted_.push_back(
            static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(data)));
    }
    // Where edges cross, the tessellator asks for a new point. Faces index
    // the file's points, so the crossing snaps to the nearest of the corners
    // around it instead; only self-crossing faces, which the format does not
    // allow, ever get here.
    static void GLAPIENTRY combine(GLdouble[3], void* data[4], GLfloat weight[4], void** out, void*) {
        int best = 0;
        for (int i = 1; i < 4; ++i) {
            if (data[i] && weight[i] > weight[best]) best = i;
        }
        *out = data[best];
    }
    static void GLAPIENTRY error(GLenum, void* self) { static_cast<polygon_splitter*>(self)->failed_ = true; }
};

polygon_splitter::~polygon_splitter() {
    if (tess_) gluDeleteTess(tess_);
}

bool polygon_splitter::split(std::span<const vec3> c, vec3 normal, bool convex, std::vector<local_triangle>& out) {
    const std::int32_t n = static_cast<std::int32_t>(c.size());
    const auto fan = [&] {
        for (std::int32_t i = 1; i + 1 < n; ++i) out.push_back({0, i, i + 1});
    };
    if (n == 3) {
        out.push_back({0, 1, 2});
        return true;
    }
    if (n == 4) {
        local_triangle two[2];
        if (split_quad(std::span<const vec3, 4>(c.data(), 4), normal, two)) {
            out.push_back(two[0]);
            out.push_back(two[1]);
            return true;
        }
    } else if (convex || is_convex(c, normal)) {
        fan();
        return true;
    }
    const std::int64_t work = std::int64_t{n} * n;
    if (work > work_left_) {
        fan();
        return false;
    }
    work_left_ -= work;
    tessellate(c, normal, out);
    return true;
}

void polygon_splitter::tessellate(std::span<const vec3> c, vec3 normal, std::vector<local_triangle>& out) {
    using callback = void(GLAPIENTRY*)();
    if (!tess_) {
        tess_ = gluNewTess();
        if (!tess_) return;
        gluTessCallback(tess_, GLU_TESS_BEGIN_DATA, reinterpret_cast<callback>(&tess_callbacks::begin));
        gluTessCallback(tess_, GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<callback>(&tess_callbacks::edge_flag));
        gluTessCallback(tess_, GLU_TESS_VERTEX_DATA, reinterpret_cast<callback>(&tess_callbacks::vertex));
        gluTessCallback(tess_, GLU_TESS_COMBINE_DATA, reinterpret_cast<callback>(&tess_callbacks::combine));
        gluTessCallback(tess_, GLU_TESS_ERROR_DATA, reinterpret_cast<callback>(&tess_callbacks::error));
        gluTessProperty(tess_, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_ODD);
    }
    ++tessellated_;
    const std::size_t n = c.size();
    coords_.resize(n * 3);
    emitted_.clear();
    failed_ = false;
    gluTessNormal(tess_, normal.x, normal.y, normal.z);
    gluTessBeginPolygon(tess_, this);
    gluTessBeginContour(tess_);
    for (std::size_t i = 0; i < n; ++i) {
        double* p = &coords_[i * 3];
        p[0] = c[i].x;
        p[1] = c[i].y;
        p[2] = c[i].z;
        gluTessVertex(tess_, p, reinterpret_cast<void*>(static_cast<std::intptr_t>(i)));
    }
    gluTessEndContour(tess_);
    gluTessEndPolygon(tess_);
    if (failed_) return;
    for (std::size_t k = 0; k + 2 < emitted_.size(); k += 3) {
        local_triangle t = {emitted_[k], emitted_[k + 1], emitted_[k + 2]};
        if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2]) continue;  // collapsed by a snapped crossing
        // Regions the odd winding rule keeps may come out either way round;
        // a corner lying on a diagonal gives a sliver of no area, left out.
        const float area = signed_area(c[t[0]], c[t[1]], c[t[2]], normal);
        if (area == 0) continue;
        if (area < 0) std::swap(t[1], t[2]);
        out.push_back(t);
    }
}

}  // namespace tessel::vrml::detail
