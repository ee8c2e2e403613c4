#include "render/standard_draw.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <cstddef>
#include <cstring>

#include "render/billboards.h"
#include "render/draw_elements.h"
#include "render/standard_view.h"
#include "render/texture_objects.h"

namespace tessel {

namespace {

GLenum primitive_of(shape_kind kind) {
    switch (kind) {
        case shape_kind::lines: return GL_LINES;
        case shape_kind::points: return GL_POINTS;
        default: return GL_TRIANGLES;
    }
}

// GL 1.2's edge clamp: GL 1.1's GL_CLAMP would blend the border colour in.
constexpr GLint clamp_to_edge = 0x812F;

// The image a shape shows, or null when it shows none.
const texture_image* shape_image(const texture_objects& textures, const scene_store& store, const shape_record& shape,
                                 const prepared_shape& arrays) {
    if (shape.texture < 0 || static_cast<std::size_t>(shape.texture) >= store.textures.size() ||
        arrays.texture_coordinates.empty() || textures.name(shape.texture) == 0) {
        return nullptr;
    }
    return store.textures[static_cast<std::size_t>(shape.texture)].get();
}

// The texture modulates the lit colour. An image with colours of its own
// replaces the diffuse colour, so the material's is made white under it;
// a grey image only darkens the material's.
void bind_texture(const texture_objects& textures, const shape_record& shape, const prepared_shape& arrays) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, textures.name(shape.texture));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, shape.wrap_s == texture_wrap::clamp ? clamp_to_edge : GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, shape.wrap_t == texture_wrap::clamp ? clamp_to_edge : GL_REPEAT);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, 0, arrays.texture_coordinates.data());
}

// Shapes seen through: transparent material, or an image with an alpha channel.
bool blended(const texture_objects& textures, const scene_store& store, const shape_record& shape,
             const prepared_shape& arrays) {
    if (shape.material.transparency > 0.0f) return true;
    const texture_image* image = shape_image(textures, store, shape, arrays);
    return image && (image->components == 2 || image->components == 4);
}

void unbind_texture() {
    glDisable(GL_TEXTURE_2D);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

void set_material(const shape_material& m, GLenum faces = GL_FRONT_AND_BACK) {
    const float alpha = 1.0f - m.transparency;
    const float ambient[4] = {m.ambient[0], m.ambient[1], m.ambient[2], alpha};
    const float diffuse[4] = {m.diffuse[0], m.diffuse[1], m.diffuse[2], alpha};
    const float specular[4] = {m.specular[0], m.specular[1], m.specular[2], alpha};
    const float emissive[4] = {m.emissive[0], m.emissive[1], m.emissive[2], alpha};
    glMaterialfv(faces, GL_AMBIENT, ambient);
    glMaterialfv(faces, GL_DIFFUSE, diffuse);
    glMaterialfv(faces, GL_SPECULAR, specular);
    glMaterialfv(faces, GL_EMISSION, emissive);
    glMaterialf(faces, GL_SHININESS, std::clamp(m.shininess, 0.0f, 1.0f) * 128.0f);
    // Unlit shapes and the colour array's alpha read the current colour.
    if (faces != GL_BACK) glColor4fv(diffuse);
}

void draw_shape(const texture_objects& textures, const scene_store& store, const shape_record& shape,
                const prepared_shape& arrays, corner_view indices, std::size_t count, draw_pacer& pacer) {
    if (indices.empty() || count == 0) return;
    // Colour tracking off first, or the current colour set below would
    // overwrite the ambient and diffuse values just given.
    glDisable(GL_COLOR_MATERIAL);
    const texture_image* image = shape_image(textures, store, shape, arrays);
    const bool replaces_colour = image && image->components >= 3;
    const auto material = [&](const shape_material& m, GLenum faces) {
        if (!replaces_colour) return set_material(m, faces);
        shape_material white = m;
        std::fill(white.diffuse, white.diffuse + 3, 1.0f);
        set_material(white, faces);
    };
    // Back faces of their own are lit as such where both sides show.
    const bool own_back = shape.back && shape.lit && shape.two_sided;
    material(shape.material, own_back ? GL_FRONT : GL_FRONT_AND_BACK);
    if (own_back) material(*shape.back, GL_BACK);
    if (image) bind_texture(textures, shape, arrays);
    else unbind_texture();
    if (shape.lit) {
        glEnable(GL_LIGHTING);
        glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, shape.two_sided ? GL_TRUE : GL_FALSE);
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, 0, arrays.normals.data());
    } else {
        glDisable(GL_LIGHTING);
        glDisableClientState(GL_NORMAL_ARRAY);
    }
    if (!arrays.colours.empty() && !replaces_colour) {
        // Per-vertex colours replace the diffuse colour only; the other
        // material values stay the shape's.
        glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
        glEnable(GL_COLOR_MATERIAL);
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_FLOAT, 0, arrays.colours.data());
    } else {
        glDisableClientState(GL_COLOR_ARRAY);
    }
    glVertexPointer(3, GL_FLOAT, 0, arrays.points.data());
    draw_elements(pacer, primitive_of(shape.kind), indices, count);
}

// Projection times model-view, as the GL holds them now.
void clip_matrix(float out[16]) {
    float p[16], m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            double v = 0;
            for (int k = 0; k < 4; ++k) v += static_cast<double>(p[k * 4 + r]) * m[c * 4 + k];
            out[c * 4 + r] = static_cast<float>(v);
        }
}

// An orthographic box of half height 400 (or half width, on a tall window)
// that keeps the window's aspect ratio; deep enough for the largest view scale.
void load_projection() {
    GLint viewport[4] = {0, 0, 1, 1};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const double w = std::max(viewport[2], 1), h = std::max(viewport[3], 1);
    const double half = standard_view_half;
    const double x = w >= h ? half * w / h : half, y = w >= h ? half : half * h / w;
    const double depth = half * 1000.0;
    glLoadIdentity();
    glOrtho(-x, x, -y, y, -depth, depth);
}

// The panel's view as for the classic reading (turn, move, then stretch
// the coordinates), on top of the framing that centres the bounding
// sphere and scales it to fill most of the box.
void fitted_view(const scene_store& store, const view_transform& view) {
    glRotatef(view.rotation[0], 1.0f, 0.0f, 0.0f);
    glRotatef(view.rotation[1], 0.0f, 1.0f, 0.0f);
    glRotatef(view.rotation[2], 0.0f, 0.0f, 1.0f);
    glTranslatef(view.translation[0], view.translation[1], view.translation[2]);
    glScalef(view.scale[0], view.scale[1], view.scale[2]);
    const float fit = store.bound_radius > 0 ? standard_view_half * standard_fill / store.bound_radius : 1.0f;
    glScalef(fit, fit, fit);
    glTranslatef(-store.bound_centre[0], -store.bound_centre[1], -store.bound_centre[2]);
}

// Whether a column-major matrix turns space inside out.
bool mirrors(const float* m) {
    const double det = double(m[0]) * (double(m[5]) * m[10] - double(m[9]) * m[6]) -
                       double(m[4]) * (double(m[1]) * m[10] - double(m[9]) * m[2]) +
                       double(m[8]) * (double(m[1]) * m[6] - double(m[5]) * m[2]);
    return det < 0;
}

// A shape of a moving part is drawn under its part's place, which the frame
// budget must know too; the lights were placed before, in the world's terms.
class part_placement {
public:
    part_placement(const scene_store& store, std::span<const scene_motion> motions, frame_budget& budget)
        : store_(store), motions_(motions), budget_(budget) {
        for (const scene_light& l : store.lights) limited_ = limited_ || l.radius > 0;
    }
    ~part_placement() { leave(); }
    void enter(const shape_record& shape) {
        const std::int32_t m = shape.motion >= 0 && static_cast<std::size_t>(shape.motion) < motions_.size()
                                   ? shape.motion
                                   : -1;
        if (m == current_) return;
        leave();
        if (m < 0) return;
        const float* matrix = motions_[static_cast<std::size_t>(m)].matrix;
        glPushMatrix();
        glMultMatrixf(matrix);
        budget_.place(matrix);
        current_ = m;
        mirrors_ = mirrors(matrix);
    }
    // Whether the part's place mirrors what it holds.
    bool mirrored() const { return mirrors_; }
    // Lights are placed in the world's terms, outside any part's place.
    void use_lights(scene_light_slots& lights, const shape_record& shape, const prepared_shape& arrays) {
        const std::vector<std::int32_t>& reaching = lights_reaching(shape, arrays);
        if (current_ < 0) {
            lights.use(store_, reaching);
            return;
        }
        glPopMatrix();
        lights.use(store_, reaching);
        glPushMatrix();
        glMultMatrixf(motions_[static_cast<std::size_t>(current_)].matrix);
    }
    void leave() {
        if (current_ < 0) return;
        glPopMatrix();
        budget_.place(nullptr);
        current_ = -1;
        mirrors_ = false;
    }

private:
    // The shape's lights but those whose radius ends before the box about
    // its points (where its part stands now): fixed-function lights reach
    // everywhere, so a light's radius is kept shape by shape.
    const std::vector<std::int32_t>& lights_reaching(const shape_record& shape, const prepared_shape& arrays) {
        if (!limited_) return shape.lights;
        // How far a point is from the box: in the world's terms for a still
        // shape; for a part's, from the sphere about its placed box.
        float centre[3], half = 0;
        for (int k = 0; k < 3; ++k) {
            centre[k] = (arrays.low[k] + arrays.high[k]) / 2;
            half += (arrays.high[k] - arrays.low[k]) * (arrays.high[k] - arrays.low[k]) / 4;
        }
        half = std::sqrt(half);
        if (current_ >= 0) {
            const scene_motion& m = motions_[static_cast<std::size_t>(current_)];
            m.place(centre, centre);
            float stretch = 0;
            for (int c = 0; c < 3; ++c)
                stretch = std::max(stretch, std::hypot(m.matrix[4 * c], m.matrix[4 * c + 1], m.matrix[4 * c + 2]));
            half *= stretch;
        }
        const auto away = [&](const float* p) {
            if (current_ >= 0) return std::hypot(p[0] - centre[0], p[1] - centre[1], p[2] - centre[2]) - half;
            float outside[3];
            for (int k = 0; k < 3; ++k) outside[k] = std::max({arrays.low[k] - p[k], p[k] - arrays.high[k], 0.0f});
            return std::hypot(outside[0], outside[1], outside[2]);
        };
        reaching_.clear();
        for (const std::int32_t index : shape.lights) {
            if (index >= 0 && static_cast<std::size_t>(index) < store_.lights.size()) {
                const scene_light& l = store_.lights[static_cast<std::size_t>(index)];
                if (l.radius > 0 && l.kind != light_kind::directional && away(l.location) > l.radius) continue;
            }
            reaching_.push_back(index);
        }
        return reaching_;
    }

    const scene_store& store_;
    std::span<const scene_motion> motions_;
    frame_budget& budget_;
    std::int32_t current_ = -1;
    bool mirrors_ = false;
    bool limited_ = false;  // some light has a radius
    std::vector<std::int32_t> reaching_;
};

// A solid shape (closed, its faces' order known) shows only its front
// faces: its back faces are culled, as the file asks. The builder stores
// every face counterclockwise; a mirroring view or part turns that.
void cull_back_faces(const shape_record& shape, bool mirrored) {
    glFrontFace(mirrored ? GL_CW : GL_CCW);
    if (shape.kind == shape_kind::triangles && !shape.two_sided) {
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
    } else {
        glDisable(GL_CULL_FACE);
    }
}

}  // namespace

const scene_fog* fog_in_view(const scene_store& store, const render_settings& settings) {
    if (store.reading != scene_reading::standard || !store.fog || !settings.use_camera || !store.camera) return nullptr;
    return &*store.fog;
}

namespace {

// GL_NV_fog_distance's names, which Mesa offers.
constexpr GLenum fog_distance_mode = 0x855A;
constexpr GLint eye_plane = 0x2502;

bool fog_distance_signed() {
    const auto* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    return extensions && std::strstr(extensions, "GL_NV_fog_distance");
}

// The fog's colour over what lies beyond its range. LINEAR fades from
// the eye to the range; EXPONENTIAL (e to the minus distance over what is
// left of the range, in the file's terms) has no fixed-function form, and
// the GL's e to the minus (density times distance) squared, with the
// density below, follows it within 6 % of the colour at every distance.
void start_fog(const scene_fog& fog, const view_transform& view) {
    // Distances are measured in the eye's units, which the view's scale
    // stretches; its mean stands for all three.
    const float stretch = (std::abs(view.scale[0]) + std::abs(view.scale[1]) + std::abs(view.scale[2])) / 3.0f;
    const float range = fog.range * (stretch > 0 && std::isfinite(stretch) ? stretch : 1.0f);
    const GLfloat colour[4] = {fog.colour[0], fog.colour[1], fog.colour[2], 1.0f};
    glFogfv(GL_FOG_COLOR, colour);
    // The GL's fog distance is |eye z| at each corner, shaded between: a
    // floor whose corners lie far ahead and behind the eye is fog all over,
    // as the distance never falls between them. The eye's z itself is
    // shaded exactly across the part in view; ahead it is negative, so the
    // linear fog ends at minus the range (the squared one cares not).
    const bool signed_distance = fog_distance_signed();
    if (signed_distance) glFogi(fog_distance_mode, eye_plane);
    if (fog.exponential) {
        glFogi(GL_FOG_MODE, GL_EXP2);
        glFogf(GL_FOG_DENSITY, 2.17f / range);
    } else {
        glFogi(GL_FOG_MODE, GL_LINEAR);
        glFogf(GL_FOG_START, 0.0f);
        glFogf(GL_FOG_END, signed_distance ? -range : range);
    }
    glEnable(GL_FOG);
}

// The colour of a Background's list at `angle` from where it starts:
// colour 0 there, colour k at angle k - 1, shaded linearly between; past
// the last usable angle the last colour holds.
void shade_at(const std::vector<float>& colours, const std::vector<float>& angles, double angle, float out[3]) {
    const std::size_t count = colours.size() / 3;
    std::fill(out, out + 3, 0.0f);
    if (count == 0) return;
    double from = 0;
    std::size_t last = 0;
    for (std::size_t k = 1; k < count && k - 1 < angles.size(); ++k) {
        const double to = angles[k - 1];
        if (!std::isfinite(to) || to < from) break;
        if (angle <= to) {
            const double t = to > from ? (angle - from) / (to - from) : 1.0;
            for (int c = 0; c < 3; ++c)
                out[c] = static_cast<float>(colours[(k - 1) * 3 + c] + (colours[k * 3 + c] - colours[(k - 1) * 3 + c]) * t);
            return;
        }
        from = to;
        last = k;
    }
    std::copy_n(&colours[last * 3], 3, out);
}

// The last angle up to which a list of colours reaches (the ground ends there).
double reach(const std::vector<float>& colours, const std::vector<float>& angles) {
    double to = 0;
    for (std::size_t k = 1; k < colours.size() / 3 && k - 1 < angles.size(); ++k) {
        if (!std::isfinite(angles[k - 1]) || angles[k - 1] < to) break;
        to = std::min<double>(angles[k - 1], std::numbers::pi);
    }
    return to;
}

// Bands of the sphere about the viewer, from `from` to `to` radians away
// from the pole at y = `pole` (1: straight up, -1: straight down), each
// ring shaded by `colours` at its angle; the angles themselves are rings,
// so that every colour stands where the file puts it.
void draw_band(const std::vector<float>& colours, const std::vector<float>& angles, double to, float pole) {
    std::vector<double> rings;
    constexpr int steps = 48;
    for (int k = 0; k <= steps; ++k) rings.push_back(std::numbers::pi * k / steps);
    for (const float a : angles)
        if (std::isfinite(a)) rings.push_back(a);
    rings.push_back(to);
    std::sort(rings.begin(), rings.end());
    rings.erase(std::unique(rings.begin(), rings.end()), rings.end());
    while (!rings.empty() && rings.back() > to) rings.pop_back();
    for (std::size_t r = 0; r + 1 < rings.size(); ++r) {
        glBegin(GL_QUAD_STRIP);
        for (int k = 0; k <= steps; ++k) {
            const double around = 2 * std::numbers::pi * k / steps;
            for (const double phi : {rings[r], rings[r + 1]}) {
                float rgb[3];
                shade_at(colours, angles, phi, rgb);
                glColor3fv(rgb);
                glVertex3d(std::sin(phi) * std::cos(around), pole * std::cos(phi), std::sin(phi) * std::sin(around));
            }
        }
        glEnd();
    }
}

// Each face of the panorama's cube, by panorama_face: its corners from
// the image's lower left, counter-clockwise as seen from inside, so that
// the image stands upright, unmirrored, to a viewer at the centre who
// faces it with +y up (the top face: facing up with +z, the back, above
// the image; the bottom: facing down with -z, the front, above it).
// Neighbouring images then meet edge to edge.
constexpr GLfloat face_corners[panorama_faces][4][3] = {
    {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}},  // front, -z
    {{1, -1, 1}, {-1, -1, 1}, {-1, 1, 1}, {1, 1, 1}},      // back, +z
    {{-1, -1, 1}, {-1, -1, -1}, {-1, 1, -1}, {-1, 1, 1}},  // left, -x
    {{1, -1, -1}, {1, -1, 1}, {1, 1, 1}, {1, 1, -1}},      // right, +x
    {{-1, 1, -1}, {1, 1, -1}, {1, 1, 1}, {-1, 1, 1}},      // top, +y
    {{-1, -1, 1}, {1, -1, 1}, {1, -1, -1}, {-1, -1, -1}},  // bottom, -y
};

// The panorama's images on a cube about the viewer, over the sky and
// ground: each face shows its image's own colours, blended by its alpha
// so that the sky shows where the image is clear.
void draw_panorama(const scene_sky& sky, const texture_objects& textures) {
    constexpr GLfloat corner_st[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    for (int f = 0; f < panorama_faces; ++f) {
        const unsigned name = textures.name(sky.panorama[static_cast<std::size_t>(f)]);
        if (name == 0) continue;
        glBindTexture(GL_TEXTURE_2D, name);
        // Clamped, or each edge would blend in the opposite one's texels.
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, clamp_to_edge);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, clamp_to_edge);
        glBegin(GL_QUADS);
        for (int k = 0; k < 4; ++k) {
            glTexCoord2fv(corner_st[k]);
            glVertex3fv(face_corners[f][k]);
        }
        glEnd();
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
}

// The Background's sky and ground, behind everything: a sphere about the
// viewer that turns with the view but does not move with it, drawn with
// a projection of its own depth so that the scene's depth range cannot
// clip it, and the panorama's cube in front of it. Perspective views only:
// looking along parallel lines, the fitted view shows the flat colour at
// the horizon.
void draw_sky(const scene_sky& sky, const texture_objects& textures) {
    GLfloat p[16], m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    if (p[15] != 0.0f) return;
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    GLfloat turn[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    for (int c = 0; c < 3; ++c) {
        const double length = std::sqrt(double(m[c * 4]) * m[c * 4] + double(m[c * 4 + 1]) * m[c * 4 + 1] +
                                         double(m[c * 4 + 2]) * m[c * 4 + 2]);
        if (!(length > 0) || !std::isfinite(length)) return;
        for (int r = 0; r < 3; ++r) turn[c * 4 + r] = static_cast<GLfloat>(m[c * 4 + r] / length);
    }
    // Depth clipping alone matters (nothing is depth tested): near enough
    // that a wide view keeps the sphere and the cube out to its edges, far
    // enough for the cube's corners (the square root of 3 away).
    const double near = 0.05, far = 2.0;
    p[10] = static_cast<GLfloat>(-(far + near) / (far - near));
    p[14] = static_cast<GLfloat>(-2 * far * near / (far - near));
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadMatrixf(p);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadMatrixf(turn);
    const GLfloat axes[16] = {sky.axes[0], sky.axes[1], sky.axes[2], 0, sky.axes[3], sky.axes[4], sky.axes[5], 0,
                              sky.axes[6], sky.axes[7], sky.axes[8], 0, 0,           0,           0,           1};
    glMultMatrixf(axes);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_2D);
    glDepthMask(GL_FALSE);
    glShadeModel(GL_SMOOTH);
    // One colour all round is the clear colour already.
    if (sky.colours_vary()) {
        draw_band(sky.sky_colours, sky.sky_angles, std::numbers::pi, 1.0f);
        const double ground = reach(sky.ground_colours, sky.ground_angles);
        if (ground > 0) draw_band(sky.ground_colours, sky.ground_angles, ground, -1.0f);
    }
    draw_panorama(sky, textures);
    glDepthMask(GL_TRUE);
    glEnable(GL_DEPTH_TEST);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

}  // namespace

draw_report draw_standard_scene(const scene_store& store, const std::vector<prepared_shape>& arrays,
                                texture_objects& textures, const view_transform& view,
                                const render_settings& settings, const draw_limits& limits,
                                std::span<const corner_view> stand_ins) {
    glPushAttrib(GL_ENABLE_BIT | GL_FOG_BIT | GL_POLYGON_BIT | GL_LIGHTING_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_CURRENT_BIT |
                 GL_POINT_BIT | GL_TEXTURE_BIT);
    textures.update(store);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    if (settings.use_camera && store.camera) {
        load_camera_view(store, *store.camera, view);
        // The Background is not in the fog: only what stands in the world is.
        if (store.sky && store.sky->shaded()) draw_sky(*store.sky, textures);
        if (const scene_fog* fog = fog_in_view(store, settings)) start_fog(*fog, view);
    } else {
        glMatrixMode(GL_PROJECTION);
        load_projection();
        glMatrixMode(GL_MODELVIEW);
        fitted_view(store, view);
    }

    // Scaling by the framing and the view stretches normals; GL renormalises
    // them after its inverse-transpose transform.
    glEnable(GL_NORMALIZE);
    glEnable(GL_DEPTH_TEST);
    if (settings.headlight && store.headlight) glEnable(GL_LIGHT0);
    else glDisable(GL_LIGHT0);
    glPointSize(2.0f);
    glEnableClientState(GL_VERTEX_ARRAY);
    float clip[16];
    clip_matrix(clip);
    GLint viewport[4] = {0, 0, 1, 1};
    glGetIntegerv(GL_VIEWPORT, viewport);
    frame_budget budget(clip, viewport[2], viewport[3], limits);

    // Opaque shapes first; then the transparent ones blended over them,
    // farthest first and without hiding each other in the depth buffer.
    scene_light_slots lights;
    draw_pacer pacer;
    const std::size_t count = std::min(arrays.size(), store.shapes.size());
    // The stand-in of a triangle shape, or nothing: lines and points are
    // always drawn in full.
    const auto stand_in = [&](std::size_t s) {
        return s < stand_ins.size() && store.shapes[s].kind == shape_kind::triangles ? stand_ins[s] : corner_view{};
    };
    const auto indices = [&](std::size_t s) {
        const corner_view coarse = stand_in(s);
        return coarse.empty() ? arrays[s].indices : coarse;
    };
    GLfloat view_matrix[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, view_matrix);
    // Billboards face the eye of this very frame.
    const std::vector<scene_motion> turned = turned_motions(store, view_matrix);
    const std::span<const scene_motion> motions = turned.empty() ? std::span<const scene_motion>(store.motions) : turned;
    part_placement parts(store, motions, budget);
    const bool view_mirrors = mirrors(view_matrix);
    for (std::size_t s = 0; s < count; ++s) {
        if (!store.shapes[s].drawn) continue;  // a proxy that only stops a walking viewer
        if (!blended(textures, store, store.shapes[s], arrays[s])) {
            parts.enter(store.shapes[s]);
            const std::size_t drawn = budget.indices_to_draw(arrays[s], store.shapes[s].kind, stand_in(s));
            if (drawn == 0) continue;
            parts.use_lights(lights, store.shapes[s], arrays[s]);
            cull_back_faces(store.shapes[s], view_mirrors != parts.mirrored());
            draw_shape(textures, store, store.shapes[s], arrays[s], indices(s), drawn, pacer);
        }
    }
    parts.leave();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    // Within one closed shape too: its far side first, then its near side,
    // or the far faces would blend over the near ones wherever they happen
    // to come later in the shape.
    glEnable(GL_CULL_FACE);
    std::vector<bool> seen_through(count);
    for (std::size_t s = 0; s < count; ++s)
        seen_through[s] = store.shapes[s].drawn && blended(textures, store, store.shapes[s], arrays[s]);
    for (const std::size_t s : transparent_back_to_front(store, motions, arrays, seen_through)) {
        parts.enter(store.shapes[s]);
        const std::size_t drawn = budget.indices_to_draw(arrays[s], store.shapes[s].kind, stand_in(s));
        if (drawn == 0) continue;
        parts.use_lights(lights, store.shapes[s], arrays[s]);
        glFrontFace(view_mirrors != parts.mirrored() ? GL_CW : GL_CCW);
        // Seen through, glass shows its inside too, solid or not; a solid
        // shape seen through only where its image is (a cut-out tree on a
        // thin box) shows its front faces alone, as an opaque one does.
        const shape_record& shape = store.shapes[s];
        if (shape.kind == shape_kind::triangles && (shape.two_sided || shape.material.transparency > 0.0f)) {
            glCullFace(GL_FRONT);
            draw_shape(textures, store, store.shapes[s], arrays[s], indices(s), drawn, pacer);
        }
        glCullFace(GL_BACK);
        draw_shape(textures, store, store.shapes[s], arrays[s], indices(s), drawn, pacer);
    }

    parts.leave();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopClientAttrib();
    glPopAttrib();
    draw_report report = budget.report();
    report.generation = store.generation;
    return report;
}

}  // namespace tessel
