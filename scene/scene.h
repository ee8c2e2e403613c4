#pragma once
// The in-memory scene shared by the reader, the renderer and the panel:
// shape records, the scene store that owns them, and the view transform
// that the panel writes and the renderer reads on every frame.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <optional>
#include <vector>

#include "scene/corner_list.h"

namespace tessel {

// What a shape's corners list: triangles (a, b, c), line segments (a, b) or
// single points (a). face_counts counts these primitives.
enum class shape_kind : std::uint8_t { triangles, lines, points };

// The full surface description the standard reading gives a shape, in the
// file's own terms (colours 0..1, shininess 0..1, transparency 0..1).
struct shape_material {
    float ambient[3] = {0.2f, 0.2f, 0.2f};
    float diffuse[3] = {0.8f, 0.8f, 0.8f};
    float specular[3] = {0.0f, 0.0f, 0.0f};
    float emissive[3] = {0.0f, 0.0f, 0.0f};
    float shininess = 0.2f;
    float transparency = 0.0f;
};

// A decoded texture image, shared by every shape that shows it.
struct texture_image {
    std::string source;            // the image file's path, or "inline" for an image written in the scene
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t components = 0;   // as the image gave them: 1 grey, 2 grey + alpha, 3 RGB, 4 RGBA
    // r, g, b, a per pixel whatever the components (grey repeated, alpha 255
    // when there is none), rows from the bottom up as texture t runs.
    std::vector<std::uint8_t> rgba;
};

enum class texture_wrap : std::uint8_t { repeat, clamp };

// One drawable shape: one point list of the scene file with the transform and
// colour that were current when the list ended. Its vertices and primitives
// are kept in the one layout they are drawn from, as glVertexPointer,
// glNormalPointer, glColorPointer, glTexCoordPointer and glDrawElements take
// them: no copy is made between a load and the GL.
struct shape_record {
    float translation[3] = {0.0f, 0.0f, 0.0f};
    float rotation[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // axis x, y, z, angle (radians)
    float scale[3] = {1.0f, 1.0f, 1.0f};
    float colour[3] = {1.0f, 1.0f, 1.0f};           // diffuse r, g, b
    std::vector<float> points;                      // x, y, z per point
    std::vector<float> normals;                     // x, y, z per point; zero where a point has none
    // The corners of every primitive, corners_per_primitive(kind) each,
    // every one naming a point of the shape.
    corner_list corners;

    // Filled by the standard reading only; the classic reading leaves these
    // defaults, which draw as lit triangles in the shape's colour.
    // Standard shapes hold their points in world coordinates, so their
    // translation, rotation and scale above stay the identity.
    shape_kind kind = shape_kind::triangles;
    bool two_sided = false;        // light both faces (orientation unknown or not solid)
    bool lit = true;               // false: lines and points without normals, drawn in their colour
    shape_material material;
    // The back faces' own material (X3D's two-sided materials), for lit
    // shapes whose both sides show; null: they take `material`.
    std::shared_ptr<const shape_material> back;
    // r, g, b, a per point (a = 1 - material.transparency); empty when the
    // whole shape has material.diffuse.
    std::vector<float> colours;
    // The image on the shape: an index into scene_store::textures, -1 for
    // none. A textured shape has s, t per point in texture_coords.
    std::int32_t texture = -1;
    texture_wrap wrap_s = texture_wrap::repeat;
    texture_wrap wrap_t = texture_wrap::repeat;
    std::vector<float> texture_coords;
    // The scene's own lights that shine on this shape: indices into the
    // store's lights, in the order the file placed them.
    std::vector<std::int32_t> lights;
    // A shape under a Transform that the world moves: its points are in
    // that Transform's coordinates, and the store's motions[motion] places
    // them in the world (-1: the points are the world's already).
    std::int32_t motion = -1;
    // Raised each time the world draws this shape again in place (the
    // store's `moved` then rises too), so that derived arrays follow.
    std::uint64_t revision = 0;
    // A part the file places more than once (USE, an Inline of the same
    // file) is built once: each further copy is a record without arrays of
    // its own that draws those of the earlier record `shares` (always a
    // lower index, itself no copy), placed by its motion. -1: its own arrays.
    std::int32_t shares = -1;
    // Whether a walking viewer bumps into the shape, and whether it is
    // drawn: a Collision's proxy stops the viewer unseen, and its children
    // are seen without stopping anyone.
    bool collides = true;
    bool drawn = true;

    std::size_t point_count() const { return points.size() / 3; }
};

struct scene_store;

// The record whose arrays `shape` draws: its own, or those of the record it shares.
const shape_record& drawn_arrays(const scene_store& store, const shape_record& shape);

// Corners per primitive: 3 for triangles, 2 for lines, 1 for points.
constexpr std::size_t corners_per_primitive(shape_kind kind) {
    return kind == shape_kind::lines ? 2 : kind == shape_kind::points ? 1 : 3;
}

enum class light_kind : std::uint8_t { directional, point, spot };

// A light of the file, placed in world coordinates by the transform in force
// where it stood. Only lights that are on are kept.
struct scene_light {
    light_kind kind = light_kind::directional;
    float intensity = 1.0f;                    // 0..1, multiplies colour
    float ambient = 0.0f;                      // 0..1: VRML97's ambientIntensity, the colour it adds everywhere
    float colour[3] = {1.0f, 1.0f, 1.0f};
    float location[3] = {0.0f, 0.0f, 1.0f};    // point and spot lights
    float direction[3] = {0.0f, 0.0f, -1.0f};  // directional and spot lights; unit length
    float drop_off_rate = 0.0f;                // spot: 0 even, 1 sharply brighter at the centre
    float cut_off_angle = 0.785398f;           // spot: half angle of the cone, radians
    // Point and spot lights of VRML97 and X3D: how far they reach (0:
    // everywhere), and how they fade, 1 / (a0 + a1 d + a2 d^2) at distance d.
    float radius = 0.0f;
    float attenuation[3] = {1.0f, 0.0f, 0.0f};
};

enum class camera_kind : std::uint8_t { perspective, orthographic };

// The viewpoint the file's author placed, in world coordinates.
struct scene_camera {
    camera_kind kind = camera_kind::perspective;
    float position[3] = {0.0f, 0.0f, 1.0f};
    float direction[3] = {0.0f, 0.0f, -1.0f};  // where the camera looks; unit length
    float up[3] = {0.0f, 1.0f, 0.0f};          // unit length, perpendicular to direction
    // The point the panel turns the scene about, along the view. A front end
    // whose format has no such value gives 0 or less ("unknown"); the
    // geometry back end then puts it where the scene is, once the scene's
    // bounds are known.
    float focal_distance = 5.0f;
    float height_angle = 0.785398f;            // perspective: full vertical angle, radians
    float height = 2.0f;                       // orthographic: full height of the view
    // Up for a viewer walking from here: the +y of the coordinates the
    // camera stands in, before its own orientation; unit length.
    float upright[3] = {0.0f, 1.0f, 0.0f};
    // The file gave no camera where its format has one by default (a
    // VRML97 or X3D world without a Viewpoint): once the scene's bounds are
    // known, it looks down -z from where it shows the whole scene.
    bool framed = false;
};

// One of the file's viewpoints, as the viewer lists them.
struct scene_viewpoint {
    std::string name;  // its description, else its DEF name, else "Point de vue N"
    std::string def;   // its DEF name, empty when it has none
    scene_camera camera;
    // Bound by the world's events, whether it moves the viewer there; false:
    // the viewer stays where it is.
    bool jump = true;
};

// The viewpoint `which` names: a number from 1, else a description or DEF
// name; -1 when none does.
std::int32_t find_viewpoint(const scene_store& store, const std::string& which);

// Shows viewpoint i of the store (its camera becomes the store's); false
// when there is no such viewpoint.
bool show_viewpoint(scene_store& store, std::int32_t i);

// The faces of the cube of images about the viewer, in the order
// scene_sky::panorama keeps them: front looks down -z, back +z, left -x,
// right +x, top +y, bottom -y.
enum class panorama_face : std::uint8_t { front, back, left, right, top, bottom };
inline constexpr int panorama_faces = 6;

// A Background's sky and ground as the file gives them: colours (r, g, b
// each) from straight up, and straight down, each next one at its angle
// (radians) from there, shaded between; past the last angle the last sky
// colour holds, and the ground ends. In front of them, a cube of images
// (those with alpha let them show through).
struct scene_sky {
    std::vector<float> sky_colours;
    std::vector<float> sky_angles;
    std::vector<float> ground_colours;
    std::vector<float> ground_angles;
    // Each face's image, by panorama_face: an index into scene_store::textures,
    // -1 for none (the sky and ground show there).
    std::array<std::int32_t, panorama_faces> panorama{-1, -1, -1, -1, -1, -1};
    // How the Background's axes stand in the world's: a column-major 3 x 3
    // matrix of unit columns, the turn of the transforms above it (their
    // scale and translation cannot move what is infinitely far away).
    std::array<float, 9> axes{1, 0, 0, 0, 1, 0, 0, 0, 1};
    // Whether its colours are more than one all round.
    bool colours_vary() const { return sky_colours.size() > 3 || !ground_colours.empty(); }
    // Whether the clear colour alone does not show it: its colours vary, or
    // a face shows an image.
    bool shaded() const {
        if (colours_vary()) return true;
        for (const std::int32_t image : panorama)
            if (image >= 0) return true;
        return false;
    }
};

// The file's Fog: the scene fades into `colour` with its distance from
// the viewer, wholly at `range` (scene units).
struct scene_fog {
    bool exponential = false;  // LINEAR, or EXPONENTIAL
    float colour[3] = {1.0f, 1.0f, 1.0f};
    float range = 0.0f;        // above 0
};

// How the viewer moves through a scene: turning it as an object (examine),
// walking on its floors, flying through it, or not at all.
enum class navigation_mode : std::uint8_t { examine, walk, fly, none };

// The file's NavigationInfo: its first type the viewer knows, and the
// avatar that walks (scene units): how fast, how wide, how high its eye
// stands above the floor, the highest step it climbs, and how far it sees
// (0: no limit).
struct scene_navigation {
    navigation_mode mode = navigation_mode::examine;
    float speed = 1.0f;
    float radius = 0.25f;
    float eye_height = 1.6f;
    float step_height = 0.75f;
    float visibility_limit = 0.0f;
};

// Where a moving part of the world stands now: a column-major 4x4 matrix
// from its own coordinates to the world's, as glMultMatrixf takes it.
struct scene_motion {
    float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    // The part this one stands in (always a lower index), -1: the world.
    // A part under a billboard turns with it.
    std::int32_t parent = -1;

    // Point p of the part, where it stands in the world (out may be p).
    template <class T>
    void place(const T p[3], T out[3]) const {
        const T x = p[0], y = p[1], z = p[2];
        for (int k = 0; k < 3; ++k) out[k] = matrix[k] * x + matrix[4 + k] * y + matrix[8 + k] * z + matrix[12 + k];
    }
};

// A part that turns to face the viewer at every frame: its motion's matrix
// is its place unturned, and the renderer turns what it holds about `axis`
// (in the part's coordinates) until its +z faces the viewer; a zero axis
// turns it whole, +z towards the viewer and +y up the screen.
struct scene_billboard {
    std::int32_t motion = -1;
    float axis[3] = {0.0f, 1.0f, 0.0f};
};

// Which reading made a store: the renderer frames and lights the two
// differently, and tools print them differently.
enum class scene_reading : std::uint8_t { classic, standard };

// Every shape of the loaded file. Counts are 64-bit so that no file size can
// wrap them; point_counts[i] and face_counts[i] always equal the sizes of
// the arrays shape i draws (drawn_arrays).
struct scene_store {
    std::int64_t shape_count = 0;
    std::vector<shape_record> shapes;
    std::vector<std::int64_t> point_counts;
    std::vector<std::int64_t> face_counts;
    // Raised each time a load replaces the store, so that consumers which
    // keep derived data (the renderer's vertex arrays) know when to rebuild.
    std::uint64_t generation = 0;

    scene_reading reading = scene_reading::classic;
    // The bounding sphere of every point of the standard reading, in world
    // coordinates, from which the renderer frames the scene; radius 0 when
    // the scene is empty.
    float bound_centre[3] = {0.0f, 0.0f, 0.0f};
    float bound_radius = 0.0f;
    // Every image the shapes show, each decoded once per load.
    std::vector<std::shared_ptr<const texture_image>> textures;
    // The standard reading's lights (shapes name those that reach them) and
    // the first camera of the file, if it has one.
    std::vector<scene_light> lights;
    std::optional<scene_camera> camera;
    // Every viewpoint of the world's own file, in the file's order (the
    // standard reading of VRML97 only); camera is the one bound of them.
    std::vector<scene_viewpoint> viewpoints;
    std::int32_t viewpoint = -1;  // which of them camera is, -1: none of them
    // The colour the file asks the window to be cleared with, r, g, b 0..1;
    // empty: the viewer's own grey. Only the standard reading sets it.
    std::optional<std::array<float, 3>> background;
    // The sky and ground the background shades, seen from the file's camera
    // (background is then their colour at the horizon).
    std::optional<scene_sky> sky;
    // Seen from the file's camera, the scene fades into the file's fog (the
    // standard reading of VRML97 only); empty: no fog.
    std::optional<scene_fog> fog;
    // Whether the file wants the light from the viewer's eye. The headlight
    // shines only when this and the user's switch (render_settings) are both
    // on: a file can turn it off for its own lighting, the user can always
    // turn it off, and neither can force it on against the other.
    bool headlight = true;
    // How the file asks to be moved through; a file without a NavigationInfo
    // is examined.
    scene_navigation navigation;
    // The places of the moving parts, and a count raised each time one of
    // them moves, or a shape is drawn again in place (its revision rises),
    // without the store being replaced, so that a window knows to draw again.
    std::vector<scene_motion> motions;
    std::uint64_t moved = 0;
    // The parts that face the viewer, in the order of their motions.
    std::vector<scene_billboard> billboards;
};

// The nine values through which the panel turns, moves and scales the whole
// picture. Loading a file never resets them.
struct view_transform {
    float rotation[3] = {0.0f, 0.0f, 0.0f};     // degrees about x, y, z
    float translation[3] = {0.0f, 0.0f, 0.0f};  // scene units
    float scale[3] = {1.0f, 1.0f, 1.0f};        // multiplies point coordinates, never normals
};

// How the viewer draws, apart from the view: switched by the user, never by
// loading a file.
struct render_settings {
    bool headlight = true;   // the light from the viewer's eye; the scene may also turn it off
    bool use_camera = true;  // start from the file's camera; false: the fitted view
};

// Fills every shape's normals with unit per-vertex normals: the sum of
// the (area-weighted) normals of the faces that name the point, each face
// once, divided by their number and normalised; the zero vector for a point
// no face uses or whose sum vanishes. Expects the normals zero-filled
// and every corner below its shape's point count. Linear in points + faces.
void compute_normals(scene_store& store);

// The same result computed point by point over the whole face list, as the
// straightforward definition reads. Quadratic; kept for tests and benchmarks.
void compute_normals_reference(scene_store& store);

// Releases every array of the store and empties it.
void release_scene(scene_store& store);

// What one shape's arrays hold, in bytes (their sizes, not capacities).
std::int64_t shape_bytes(const shape_record& shape);

}  // namespace tessel
