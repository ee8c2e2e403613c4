#include "render/standard_view.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "render/standard_draw.h"

namespace tessel {

namespace {

void cross(const float a[3], const float b[3], float out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

// (x, y, z, 1) through a column-major matrix, the eye-space z only.
float eye_z(const GLfloat m[16], const float p[3]) { return m[2] * p[0] + m[6] * p[1] + m[10] * p[2] + m[14]; }

}  // namespace

void load_camera_view(const scene_store& store, const scene_camera& camera, const view_transform& view) {
    GLint viewport[4] = {0, 0, 1, 1};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const double w = std::max(viewport[2], 1), h = std::max(viewport[3], 1);
    const bool perspective = camera.kind == camera_kind::perspective;
    const double focal = camera.focal_distance;
    // Half the smaller side of the window, in world units at the focal point.
    const double half = perspective ? focal * std::tan(camera.height_angle / 2.0) : camera.height / 2.0;
    const float unit = static_cast<float>(half / standard_view_half);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, static_cast<float>(-focal));
    glRotatef(view.rotation[0], 1.0f, 0.0f, 0.0f);
    glRotatef(view.rotation[1], 0.0f, 1.0f, 0.0f);
    glRotatef(view.rotation[2], 0.0f, 0.0f, 1.0f);
    glTranslatef(view.translation[0] * unit, view.translation[1] * unit, view.translation[2] * unit);
    glScalef(view.scale[0], view.scale[1], view.scale[2]);
    glTranslatef(0.0f, 0.0f, static_cast<float>(focal));
    // World to eye: the camera's right, up and backward directions as rows.
    float right[3];
    cross(camera.direction, camera.up, right);
    const GLfloat look[16] = {right[0], camera.up[0], -camera.direction[0], 0,
                              right[1], camera.up[1], -camera.direction[1], 0,
                              right[2], camera.up[2], -camera.direction[2], 0,
                              0,        0,            0,                    1};
    glMultMatrixf(look);
    glTranslatef(-camera.position[0], -camera.position[1], -camera.position[2]);

    // Depth range: the bounding sphere as the view leaves it, with a margin
    // so that its outermost points are not clipped.
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    const float stretch = std::max({std::fabs(view.scale[0]), std::fabs(view.scale[1]), std::fabs(view.scale[2])});
    const double radius = std::max<double>(store.bound_radius * stretch, 1e-3);
    const double depth = -eye_z(m, store.bound_centre);
    double far_plane = depth + radius * 1.05;
    double near_plane = depth - radius * 1.05;
    if (!std::isfinite(far_plane) || !std::isfinite(near_plane)) {
        near_plane = -1;
        far_plane = 1;
    }
    // The file's visibility limit: nothing farther is drawn, the background shows.
    if (const float limit = store.navigation.visibility_limit * stretch; limit > 0 && limit < far_plane) {
        far_plane = limit;
        if (near_plane >= far_plane) near_plane = far_plane * 1e-4;
    }

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const double x = w >= h ? w / h : 1.0, y = w >= h ? 1.0 : h / w;
    if (perspective) {
        // Everything is behind the camera: any valid frustum draws nothing.
        if (far_plane <= 0) far_plane = 1;
        // The depth buffer keeps its precision over a range of about 1:10^4.
        near_plane = std::max(near_plane, far_plane * 1e-4);
        const double t = std::tan(camera.height_angle / 2.0) * near_plane;
        glFrustum(-x * t, x * t, -y * t, y * t, near_plane, far_plane);
    } else {
        glOrtho(-x * half, x * half, -y * half, y * half, near_plane, far_plane);
    }
    glMatrixMode(GL_MODELVIEW);
}

void scene_light_slots::use(const scene_store& store, const std::vector<std::int32_t>& lights) {
    if (valid_ && lights == current_) return;
    GLint max_lights = 8;
    glGetIntegerv(GL_MAX_LIGHTS, &max_lights);
    const int slots = std::max(0, max_lights - 1);  // GL_LIGHT0 is the headlight
    int used = 0;
    for (const std::int32_t index : lights) {
        if (used >= slots) break;
        if (index < 0 || static_cast<std::size_t>(index) >= store.lights.size()) continue;
        const scene_light& l = store.lights[static_cast<std::size_t>(index)];
        const GLenum slot = static_cast<GLenum>(GL_LIGHT1 + used);
        const GLfloat colour[4] = {l.colour[0] * l.intensity, l.colour[1] * l.intensity, l.colour[2] * l.intensity, 1};
        const GLfloat ambient[4] = {l.colour[0] * l.ambient, l.colour[1] * l.ambient, l.colour[2] * l.ambient, 1};
        glLightfv(slot, GL_AMBIENT, ambient);
        glLightfv(slot, GL_DIFFUSE, colour);
        glLightfv(slot, GL_SPECULAR, colour);
        if (l.kind == light_kind::directional) {
            // A direction, given as where the light comes from.
            const GLfloat from[4] = {-l.direction[0], -l.direction[1], -l.direction[2], 0};
            glLightfv(slot, GL_POSITION, from);
        } else {
            const GLfloat at[4] = {l.location[0], l.location[1], l.location[2], 1};
            glLightfv(slot, GL_POSITION, at);
        }
        if (l.kind == light_kind::spot) {
            glLightfv(slot, GL_SPOT_DIRECTION, l.direction);
            glLightf(slot, GL_SPOT_CUTOFF, l.cut_off_angle * 180.0f / 3.14159265f);
            glLightf(slot, GL_SPOT_EXPONENT, l.drop_off_rate * 128.0f);
        } else {
            glLightf(slot, GL_SPOT_CUTOFF, 180.0f);
            glLightf(slot, GL_SPOT_EXPONENT, 0.0f);
        }
        // As the file has them fade; VRML 1.0 lights never do. The GL does
        // not hold the light at full strength where a0 + a1 d + a2 d^2 is
        // below 1, as VRML97 does: a0 below 1 brightens what is near.
        glLightf(slot, GL_CONSTANT_ATTENUATION, l.attenuation[0]);
        glLightf(slot, GL_LINEAR_ATTENUATION, l.attenuation[1]);
        glLightf(slot, GL_QUADRATIC_ATTENUATION, l.attenuation[2]);
        glEnable(slot);
        ++used;
    }
    for (int k = used; k < std::max(enabled_, valid_ ? 0 : slots); ++k) glDisable(static_cast<GLenum>(GL_LIGHT1 + k));
    enabled_ = used;
    current_ = lights;
    valid_ = true;
}

std::vector<std::size_t> transparent_back_to_front(const scene_store& store, std::span<const scene_motion> motions,
                                                   const std::vector<prepared_shape>& arrays,
                                                   const std::vector<bool>& seen_through) {
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    const std::size_t count = std::min(arrays.size(), store.shapes.size());
    std::vector<std::size_t> order;
    std::vector<float> depth(count, 0.0f);
    for (std::size_t s = 0; s < count; ++s) {
        if (s >= seen_through.size() || !seen_through[s]) continue;
        order.push_back(s);
        const std::span<const float> p = arrays[s].points;
        const std::size_t n = p.size() / 3;
        if (n == 0) continue;
        double sum[3] = {0, 0, 0};
        for (std::size_t i = 0; i < n; ++i)
            for (int k = 0; k < 3; ++k) sum[k] += p[i * 3 + k];
        float centre[3] = {static_cast<float>(sum[0] / n), static_cast<float>(sum[1] / n),
                           static_cast<float>(sum[2] / n)};
        // A moving part's shape: its centre where the part stands now.
        if (const std::int32_t motion = store.shapes[s].motion;
            motion >= 0 && static_cast<std::size_t>(motion) < motions.size()) {
            motions[static_cast<std::size_t>(motion)].place(centre, centre);
        }
        depth[s] = eye_z(m, centre);
    }
    // Eye-space z grows towards the viewer: the most negative is farthest.
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return depth[a] < depth[b]; });
    return order;
}

}  // namespace tessel
