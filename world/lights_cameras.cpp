#include "world/lights_cameras.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "geometry/builder_parts.h"
#include "geometry/matrix.h"

namespace tessel::vrml {

namespace {

using detail::vec3;

vec3 field3(const node& n, std::string_view field, vec3 fallback) {
    const auto& v = n.numbers(field);
    if (v.size() < 3) return fallback;
    const vec3 r{v[0], v[1], v[2]};
    return detail::finite(r) ? r : fallback;
}

// Directions turn and stretch with the matrix, but never move.
vec3 direction(const matrix4& m, vec3 d) {
    const float* a = m.m;
    return {a[0] * d.x + a[4] * d.y + a[8] * d.z, a[1] * d.x + a[5] * d.y + a[9] * d.z,
            a[2] * d.x + a[6] * d.y + a[10] * d.z};
}

void store(float out[3], vec3 v) {
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
}

float finite_or(float v, float fallback) { return std::isfinite(v) ? v : fallback; }

}  // namespace

std::optional<scene_light> world_light(const node& n, const matrix4& matrix) {
    if (n.integer("on", 1) == 0) return std::nullopt;
    scene_light l;
    l.kind = n.type->name == "PointLight" ? light_kind::point
             : n.type->name == "SpotLight" ? light_kind::spot
                                           : light_kind::directional;
    l.intensity = std::clamp(finite_or(n.number("intensity", 1), 1), 0.0f, 1.0f);
    l.ambient = std::clamp(finite_or(n.number("ambientIntensity", 0), 0), 0.0f, 1.0f);
    const vec3 colour = field3(n, "color", {1, 1, 1});
    l.colour[0] = std::clamp(colour.x, 0.0f, 1.0f);
    l.colour[1] = std::clamp(colour.y, 0.0f, 1.0f);
    l.colour[2] = std::clamp(colour.z, 0.0f, 1.0f);
    const detail::transform t(matrix);
    const bool vrml2 = n.type->kind == node_kind::v2_point_light || n.type->kind == node_kind::v2_spot_light ||
                       n.type->kind == node_kind::v2_directional_light;
    // VRML97 lights stand at the origin unless moved; VRML 1.0 ones one unit in front of it.
    store(l.location, t.point(field3(n, "location", vrml2 ? vec3{0, 0, 0} : vec3{0, 0, 1})));
    vec3 d = detail::normalised(direction(matrix, field3(n, "direction", {0, 0, -1})));
    if (detail::length(d) == 0) d = {0, 0, -1};
    store(l.direction, d);
    l.cut_off_angle = std::clamp(finite_or(n.number("cutOffAngle", 0.785398f), 0.785398f), 0.0f,
                                 std::numbers::pi_v<float> / 2);
    if (vrml2 && l.kind != light_kind::directional) {
        // Both are lengths of the light's own coordinates.
        const float scale = uniform_scale(matrix);
        const float radius = finite_or(n.number("radius", 100), 100);
        l.radius = radius > 0 ? radius * scale : 0;
        const auto& a = n.numbers("attenuation");
        if (a.size() >= 3) {
            for (int k = 0; k < 3; ++k) l.attenuation[k] = std::max(finite_or(a[static_cast<std::size_t>(k)], 0), 0.0f);
            // Distances in the world's units: a0 + a1 d/s + a2 (d/s)^2.
            l.attenuation[1] /= scale;
            l.attenuation[2] /= scale * scale;
            if (l.attenuation[0] + l.attenuation[1] + l.attenuation[2] <= 0) l.attenuation[0] = 1;
        }
    }
    if (vrml2) {
        // A VRML97 spot is even inside beamWidth and fades linearly to
        // cutOffAngle; fixed-function GL only has cos^e fall-off, so the
        // exponent is chosen to halve the light halfway between the two.
        const float beam = finite_or(n.number("beamWidth", 1.570796f), 1.570796f);
        l.drop_off_rate = 0;
        if (beam >= 0 && beam < l.cut_off_angle) {
            const double halfway = (static_cast<double>(beam) + l.cut_off_angle) / 2;
            const double exponent = std::log(0.5) / std::log(std::cos(halfway));
            l.drop_off_rate = static_cast<float>(std::clamp(exponent / 128.0, 0.0, 1.0));
        }
    } else {
        l.drop_off_rate = std::clamp(finite_or(n.number("dropOffRate", 0), 0), 0.0f, 1.0f);
    }
    return l;
}

scene_camera world_camera(const node& n, const matrix4& matrix) {
    scene_camera c;
    const bool ortho_viewpoint = n.type->name == "OrthoViewpoint";
    c.kind = n.type->name == "OrthographicCamera" || ortho_viewpoint ? camera_kind::orthographic
                                                                      : camera_kind::perspective;
    const detail::transform t(matrix);
    const bool viewpoint = n.type->kind == node_kind::v2_viewpoint;
    store(c.position, t.point(field3(n, "position", viewpoint ? vec3{0, 0, 10} : vec3{0, 0, 1})));
    const auto& o = n.numbers("orientation");
    const matrix4 turned = multiply(matrix, o.size() >= 4 ? rotation_matrix(o[0], o[1], o[2], o[3]) : matrix4{});
    const vec3 ahead = direction(turned, {0, 0, -1});
    const vec3 up = direction(turned, {0, 1, 0});
    const float ahead_length = detail::length(ahead), up_length = detail::length(up);
    vec3 d = detail::normalised(ahead);
    // Up made perpendicular to the view direction, in case the matrix shears.
    vec3 u = detail::normalised(up - d * detail::dot(up, d));
    if (detail::length(d) == 0 || detail::length(u) == 0) {
        d = {0, 0, -1};
        u = {0, 1, 0};
    }
    store(c.direction, d);
    store(c.up, u);
    const vec3 upright = detail::normalised(direction(matrix, {0, 1, 0}));
    if (detail::length(upright) > 0) store(c.upright, upright);
    const float scale_ahead = ahead_length > 0 && std::isfinite(ahead_length) ? ahead_length : 1.0f;
    const float scale_up = up_length > 0 && std::isfinite(up_length) ? up_length : 1.0f;
    const float focal = finite_or(n.number("focalDistance", 5), 5);
    c.focal_distance = focal > 0 ? focal * scale_ahead : 5.0f;
    // A Viewpoint does not say how far away the scene is: 0 leaves it to the
    // framing, which knows the scene's bounds.
    if (viewpoint) c.focal_distance = 0;
    // An OrthoViewpoint's fieldOfView is its extent, xmin ymin xmax ymax.
    const float angle =
        ortho_viewpoint ? 0.785398f : finite_or(n.number(viewpoint ? "fieldOfView" : "heightAngle", 0.785398f), 0.785398f);
    // A view cone of 0 or 180 degrees shows nothing: keep it inside.
    c.height_angle = std::clamp(angle, 0.001f, std::numbers::pi_v<float> - 0.001f);
    float height = finite_or(n.number("height", 2), 2);
    if (ortho_viewpoint) {
        const std::vector<float>& extent = n.numbers("fieldOfView");
        height = extent.size() >= 4 ? finite_or(extent[3] - extent[1], 2) : 2;
    }
    c.height = height > 0 ? height * scale_up : 2.0f;
    return c;
}

}  // namespace tessel::vrml
