#include "walk/walk.h"

#include <embree3/rtcore.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "scene/vec3.h"

namespace tessel {

struct collider::impl {
    RTCDevice device = nullptr;
    RTCScene scene = nullptr;
    ~impl() { release(); }
    void release() {
        if (scene) rtcReleaseScene(scene);
        scene = nullptr;
    }
};

collider::collider() : p_(std::make_unique<impl>()) {
    // One thread: walking asks a few rays per step, and the scene's build
    // is made once per change.
    p_->device = rtcNewDevice("threads=1");
}

collider::~collider() {
    p_->release();
    if (p_->device) rtcReleaseDevice(p_->device);
}

void collider::follow(const scene_store& store) {
    std::uint64_t revisions = 0;
    for (const shape_record& shape : store.shapes) revisions += shape.revision;
    const auto same_places = [&] {
        return motions_.size() == store.motions.size() &&
               std::equal(motions_.begin(), motions_.end(), store.motions.begin(), [](const auto& a, const auto& b) {
                   return std::equal(a.matrix, a.matrix + 16, b.matrix);
               });
    };
    if (followed_ && generation_ == store.generation && revisions_ == revisions && same_places()) return;
    followed_ = true;
    generation_ = store.generation;
    revisions_ = revisions;
    motions_ = store.motions;
    p_->release();
    triangles_ = 0;
    if (!p_->device) return;
    std::vector<float> points;
    std::vector<std::uint32_t> corners;
    for (const shape_record& shape : store.shapes) {
        if (shape.kind != shape_kind::triangles || !shape.collides) continue;
        const shape_record& arrays = drawn_arrays(store, shape);
        const std::size_t n = arrays.point_count();
        if (n == 0 || points.size() / 3 + n > std::numeric_limits<std::uint32_t>::max()) continue;
        const auto first = static_cast<std::uint32_t>(points.size() / 3);
        const scene_motion* motion = shape.motion >= 0 && static_cast<std::size_t>(shape.motion) < store.motions.size()
                                         ? &store.motions[static_cast<std::size_t>(shape.motion)]
                                         : nullptr;
        for (std::size_t i = 0; i < n; ++i) {
            float p[3] = {arrays.points[i * 3], arrays.points[i * 3 + 1], arrays.points[i * 3 + 2]};
            if (motion) motion->place(p, p);
            points.insert(points.end(), p, p + 3);
        }
        const corner_view c = arrays.corners.view();
        for (std::size_t i = 0; i + 2 < c.size(); i += 3)
            if (c[i] < n && c[i + 1] < n && c[i + 2] < n)
                corners.insert(corners.end(), {first + c[i], first + c[i + 1], first + c[i + 2]});
    }
    if (corners.empty()) return;
    p_->scene = rtcNewScene(p_->device);
    RTCGeometry geometry = rtcNewGeometry(p_->device, RTC_GEOMETRY_TYPE_TRIANGLE);
    // Embree reads vertices 16 bytes at a time: one float to spare.
    auto* v = static_cast<float*>(rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                                           3 * sizeof(float), points.size() / 3 + 1));
    auto* t = static_cast<std::uint32_t*>(rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                                                   3 * sizeof(std::uint32_t), corners.size() / 3));
    if (!v || !t) {
        rtcReleaseGeometry(geometry);
        p_->release();
        return;
    }
    std::copy(points.begin(), points.end(), v);
    std::fill(v + points.size(), v + points.size() + 3, 0.0f);
    std::copy(corners.begin(), corners.end(), t);
    rtcCommitGeometry(geometry);
    rtcAttachGeometry(p_->scene, geometry);
    rtcReleaseGeometry(geometry);
    rtcCommitScene(p_->scene);
    triangles_ = corners.size() / 3;
}

std::optional<float> collider::hit(const float origin[3], const float direction[3], float reach) const {
    if (!p_->scene || !(reach > 0)) return std::nullopt;
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    RTCRayHit r{};
    r.ray.org_x = origin[0];
    r.ray.org_y = origin[1];
    r.ray.org_z = origin[2];
    r.ray.dir_x = direction[0];
    r.ray.dir_y = direction[1];
    r.ray.dir_z = direction[2];
    r.ray.tnear = 0;
    r.ray.tfar = std::isfinite(reach) ? reach : std::numeric_limits<float>::infinity();
    r.ray.mask = 0xFFFFFFFFu;
    r.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    rtcIntersect1(p_->scene, &context, &r);
    if (r.hit.geomID == RTC_INVALID_GEOMETRY_ID) return std::nullopt;
    return r.ray.tfar;
}

namespace {

using vec = vec3d;
vec unit(vec a, vec otherwise) {
    const double l = length(a);
    return l > 1e-9 && std::isfinite(l) ? a * (1 / l) : otherwise;
}
vec from(const float f[3]) { return {f[0], f[1], f[2]}; }
void store(vec v, float f[3]) {
    f[0] = static_cast<float>(v.x);
    f[1] = static_cast<float>(v.y);
    f[2] = static_cast<float>(v.z);
}
// v turned by `angle` about the unit `axis` (right-handed).
vec turned(vec v, vec axis, double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    return v * c + cross(axis, v) * s + axis * (dot(axis, v) * (1 - c));
}

// How far the avatar may go from `from` along the unit `way`, up to
// `distance`, keeping `radius` from any surface ahead.
double free_way(const collider& surfaces, vec from, vec way, double distance, double radius) {
    float o[3], d[3];
    store(from, o);
    store(way, d);
    const std::optional<float> ahead = surfaces.hit(o, d, static_cast<float>(distance + radius));
    if (!ahead) return distance;
    return std::clamp(*ahead - radius, 0.0, distance);
}

}  // namespace

scene_camera walk_step(const scene_camera& camera, const walk_move& move, bool flying, const scene_navigation& avatar,
                       const collider& surfaces) {
    scene_camera out = camera;
    const vec up = unit(from(camera.upright), {0, 1, 0});
    vec ahead = unit(from(camera.direction), {0, 0, -1});
    vec head = unit(from(camera.up), up);

    // Turning: about the upright, then up or down about the view's right,
    // never past looking straight up or down.
    if (move.turn != 0 && std::isfinite(move.turn)) {
        ahead = turned(ahead, up, move.turn);
        head = turned(head, up, move.turn);
    }
    if (move.look_up != 0 && std::isfinite(move.look_up)) {
        const vec right = unit(cross(ahead, head), {1, 0, 0});
        const double now = std::asin(std::clamp(dot(ahead, up), -1.0, 1.0));
        const double limit = 1.5;  // radians, short of straight up
        const double angle = std::clamp(now + move.look_up, -limit, limit) - now;
        ahead = turned(ahead, right, angle);
        head = turned(head, right, angle);
    }
    store(ahead, out.direction);
    store(head, out.up);

    // Moving: walking keeps level, flying goes where the view points.
    const vec right = unit(cross(ahead, up), unit(cross(head * -1.0, up), {1, 0, 0}));
    vec forward = flying ? ahead : unit(cross(up, right), ahead);
    vec wanted = forward * move.forward + right * move.right;
    if (flying) wanted = wanted + up * move.up;
    vec eye = from(camera.position);
    const double distance = length(wanted);
    const double radius = avatar.radius;
    if (distance > 0 && std::isfinite(distance)) {
        const vec way = wanted * (1 / distance);
        double allowed = free_way(surfaces, eye, way, distance, radius);
        if (!flying) {
            // Knee high: whatever is higher than a step stops the walker too.
            const vec knee = eye - up * (avatar.eye_height - avatar.step_height * 1.01);
            allowed = std::min(allowed, free_way(surfaces, knee, way, distance, radius));
        }
        eye = eye + way * allowed;
    }

    if (!flying) {
        // The floor below the eye: climbed onto, or fallen to. None (the
        // walker left the world's floors): the eye stays at its height.
        float o[3], d[3];
        store(eye, o);
        store(up * -1.0, d);
        const std::optional<float> below = surfaces.hit(o, d, std::numeric_limits<float>::infinity());
        if (below) {
            const double rise = avatar.eye_height - *below;
            if (rise > avatar.step_height) {
                eye = from(camera.position);  // a step too high: the walker stays
            } else {
                eye = eye + up * rise;
            }
        }
    }
    store(eye, out.position);
    return out;
}

}  // namespace tessel
