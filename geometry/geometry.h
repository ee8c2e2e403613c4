#pragma once
// The geometry back end shared by every standard reading: a format's front
// end walks its nodes, keeps the traversal state its format defines, and
// hands each shape here with that state resolved into plain values. The back
// end triangulates, applies the bindings, makes normals and appends finished
// shape records (points in world coordinates) to a scene store.
//
// Nothing here knows a file format: VRML 1.0 bindings map directly, VRML97's
// colorPerVertex / normalPerVertex / colorIndex map onto the same bindings.

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <memory>
#include <string>
#include <vector>

#include "input/warnings.h"
#include "scene/scene.h"

namespace tessel::reader {
class load_budget;
}

namespace tessel::vrml {

namespace detail {
struct builder_scratch;
struct shape_target;
}

// Column-major 4x4 matrix as OpenGL takes it: m[12], m[13], m[14] translate.
struct matrix4 {
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

// How values of a property list are assigned to a shape's parts, faces or
// vertices, with the names and meanings of the VRML 1.0 standard.
enum class binding : std::uint8_t {
    default_binding,
    overall,
    per_part,
    per_part_indexed,
    per_face,
    per_face_indexed,
    per_vertex,
    per_vertex_indexed,
};

// Every value of the Material in force. Each list may have its own length
// (0 means the field was empty; the back end then uses the field's default).
struct material_list {
    std::vector<float> ambient;       // r, g, b per entry
    std::vector<float> diffuse;       // r, g, b per entry
    std::vector<float> specular;      // r, g, b per entry
    std::vector<float> emissive;      // r, g, b per entry
    std::vector<float> shininess;     // one per entry
    std::vector<float> transparency;  // one per entry
    // The back faces' material when they have their own (one for all
    // entries), else null.
    std::shared_ptr<const shape_material> back;
};

enum class vertex_ordering : std::uint8_t { unknown, counterclockwise, clockwise };

struct shape_hints {
    vertex_ordering ordering = vertex_ordering::unknown;
    bool solid = false;         // shapeType SOLID: closed, so back faces are never seen
    bool convex = false;        // faceType CONVEX: faces may be fanned without tessellating
    float crease_angle = 0.5f;  // radians; edges sharper than this stay sharp
};

// The Texture2 in force, resolved by the front end: an image file (a path
// the back end can open) and/or the numbers of an inline image, which stands
// in when there is no file or it cannot be read. The back end decodes each
// image once and shares it between shapes.
struct texture_source {
    std::string file;                // resolved path; empty: the inline image
    std::span<const std::int32_t> image;  // SFImage numbers; empty when the node gives none
    const void* image_key = nullptr;      // the same inline image gives the same key
    bool repeat_s = true;
    bool repeat_t = true;
    // VRML97: an image with alpha gives the shape's transparency alone, the
    // material's is not used.
    bool alpha_replaces_transparency = false;
    source_position where;           // the Texture2 node, for warnings
};

// The image files of a Background's panorama, by panorama_face; null for a
// face without one. Valid for the duration of the call.
using panorama_sources = std::array<const texture_source*, panorama_faces>;

// Maps texture coordinates: s' = m[0] s + m[2] t + m[4], t' = m[1] s + m[3] t + m[5].
struct texture_matrix {
    float m[6] = {1, 0, 0, 1, 0, 0};
};

// What a shape is to a walking viewer and to the eye: both seen and in the
// way, seen only (a Collision that does not collide), or in the way unseen
// (a Collision's proxy).
enum class collision_role : std::uint8_t { both, seen, unseen };

// Everything in force for one shape node, resolved by the front end. The
// pointers stay valid for the duration of the call only.
struct shape_state {
    matrix4 matrix;                                  // object to world
    const material_list* material = nullptr;         // never null in a call
    binding material_binding = binding::overall;
    std::span<const float> normals;                  // x, y, z per normal, object space; empty: generate
    binding normal_binding = binding::default_binding;
    shape_hints hints;
    source_position where;                           // the shape node, for warnings
    // The lights in force, numbered in the order the front end handed them
    // to light(), first placed first.
    std::span<const std::int32_t> lights;
    // Texturing: none when texture is null. Texture coordinates (s, t per
    // entry) are those of the TextureCoordinate2 in force; empty: the
    // shape's default mapping. texture_coord_index is the face set's own.
    const texture_source* texture = nullptr;
    texture_matrix texture_transform;
    std::span<const float> texture_coords;
    std::span<const std::int32_t> texture_coord_index;
    // Drawn without lighting, in its diffuse, vertex or texture colours: a
    // VRML97 shape whose appearance gives no Material.
    bool unlit = false;
    // Seen and bumped into; under a Collision, seen only, or its unseen proxy.
    collision_role collision = collision_role::both;
    // Under a part that moves (a motion() the sink made): matrix is then
    // relative to that part, whose own place the store keeps. -1: none.
    std::int32_t motion = -1;
    // The spans and the material stay as they are until the sink's built()
    // (they are the document's, and the walk frees none of them before
    // after_built says so): the sink may build the shape later, on another
    // thread. False: the values live for the call only.
    bool lasting = false;
};

// Parts of the primitives, as bit masks.
namespace parts {
constexpr unsigned sides = 1;
constexpr unsigned bottom = 2;
constexpr unsigned top = 4;
constexpr unsigned all = sides | bottom | top;
}  // namespace parts

// What a front end calls for each shape it meets. An interface, so that
// front-end tests can record the calls and the back end be tested alone.
class geometry_sink {
public:
    virtual ~geometry_sink() = default;

    // coords: x, y, z per point (object space). Faces end at -1 or the list's
    // end. Index lists may be empty where the binding does not use them.
    virtual void face_set(const shape_state& state, std::span<const float> coords,
                          std::span<const std::int32_t> coord_index,
                          std::span<const std::int32_t> material_index,
                          std::span<const std::int32_t> normal_index) = 0;
    // Polylines end at -1 or the list's end; each becomes line segments.
    virtual void line_set(const shape_state& state, std::span<const float> coords,
                          std::span<const std::int32_t> coord_index,
                          std::span<const std::int32_t> material_index,
                          std::span<const std::int32_t> normal_index) = 0;
    // count < 0 means "to the end of coords".
    virtual void point_set(const shape_state& state, std::span<const float> coords, std::int64_t start,
                           std::int64_t count) = 0;
    virtual void cube(const shape_state& state, float width, float height, float depth) = 0;
    virtual void sphere(const shape_state& state, float radius) = 0;
    virtual void cone(const shape_state& state, float bottom_radius, float height, unsigned part_mask) = 0;
    virtual void cylinder(const shape_state& state, float radius, float height, unsigned part_mask) = 0;
    // A part of the scene that will move as a whole, now at `world`, inside
    // the part `parent` (-1: the world): the number shapes under it name in
    // shape_state::motion (-1: the sink places every shape in the world
    // once and for all).
    virtual std::int32_t motion(const matrix4&, std::int32_t /*parent*/) { return -1; }
    // The part `motion` turns to face the viewer about `axis` (its own
    // coordinates; zero: turns whole).
    virtual void billboard(std::int32_t /*motion*/, const float /*axis*/[3]) {}
    // How many records the sink has made so far (0 when it keeps none);
    // every shape handed in before is built by then.
    virtual std::size_t shapes_made() { return 0; }
    // Builds every shape handed in so far: a front end calls it before what
    // it handed in as lasting goes (at the end of its walk).
    virtual void built() {}
    // Runs `then` once every shape handed in so far is built: at once, or
    // after the shapes the sink still has to build (the walk frees the
    // arrays it drew through this).
    virtual void after_built(std::function<void()> then) { then(); }
    // The `count` records made from `first` on, drawn again under
    // `placement` (from where they stand to the new place) and lit by
    // `lights`, without building them again: true when the sink did so (or
    // stopped), false when the front end must build them as new.
    virtual bool place_again(std::size_t /*first*/, std::size_t /*count*/, const matrix4& /*placement*/,
                             std::span<const std::int32_t> /*lights*/, source_position /*where*/) {
        return false;
    }
    // A light that is on, in world coordinates; the n-th call is light n of
    // shape_state::lights.
    virtual void light(const scene_light&) {}
    // The file's first camera, in world coordinates. A focal distance of 0
    // or less means the format gives none.
    virtual void camera(const scene_camera&) {}
    // One of the file's viewpoints, in the file's order, named for a list;
    // `bound`: the one camera() gives.
    virtual void viewpoint(const scene_viewpoint&, bool /*bound*/) {}
    // The colour the window is cleared with (r, g, b, 0..1), and whether
    // the viewer's headlight may shine. The first call of each counts, as
    // only the first such node of a file is in force when it opens.
    virtual void background(const float /*rgb*/[3]) {}
    virtual void fog(const scene_fog&) {}
    // The first Background's sky and ground, beside background()'s colour,
    // and its panorama's image files by panorama_face (null: none), which
    // the back end decodes into the store's images for the sky it keeps.
    virtual void sky(const scene_sky&, const panorama_sources& /*images*/) {}
    virtual void headlight(bool /*on*/) {}
    // How the file asks to be moved through (its first NavigationInfo).
    virtual void navigation(const scene_navigation&) {}
    // Whether the back end takes no more shapes (what the load may spend is
    // spent): front ends stop walking when it says so.
    virtual bool stopped() const { return false; }
    // Asked before a front end makes large geometry of its own (an elevation
    // grid, an extrusion, text): whether about `bytes` of shapes may still be
    // made. A refusal stops the back end, as a shape that did not fit would.
    // `what` names the kind of geometry for the message ("glyphs").
    virtual bool affords(std::int64_t /*bytes*/, source_position /*where*/, const char* /*what*/) { return true; }
};

// What a walk says about the view (the camera, the background, the
// headlight), the first of each given, written into `into`; none of the
// shapes. scene_builder keeps the view through one; alone, it serves a
// world whose bound Viewpoint or Background changed while its shapes did
// not, walked into a fresh store whose view show() then hands on.
class view_builder final : public geometry_sink {
public:
    explicit view_builder(scene_store& into) : into_(into) {}
    // How the panorama's images become images of the store the view is
    // shown in: a function that decodes one (or finds it decoded) and
    // gives its index there, -1 after a warning. Without one, the faces
    // of a panorama are left out.
    void decode_images_with(std::function<std::int32_t(const texture_source&)> decode) { decode_ = std::move(decode); }
    void face_set(const shape_state&, std::span<const float>, std::span<const std::int32_t>,
                  std::span<const std::int32_t>, std::span<const std::int32_t>) override {}
    void line_set(const shape_state&, std::span<const float>, std::span<const std::int32_t>,
                  std::span<const std::int32_t>, std::span<const std::int32_t>) override {}
    void point_set(const shape_state&, std::span<const float>, std::int64_t, std::int64_t) override {}
    void cube(const shape_state&, float, float, float) override {}
    void sphere(const shape_state&, float) override {}
    void cone(const shape_state&, float, float, unsigned) override {}
    void cylinder(const shape_state&, float, float, unsigned) override {}
    void camera(const scene_camera& camera) override;
    void viewpoint(const scene_viewpoint& view, bool bound) override;
    void background(const float rgb[3]) override;
    void fog(const scene_fog& fog) override;
    void sky(const scene_sky& sky, const panorama_sources& images) override;
    void headlight(bool on) override;
    void navigation(const scene_navigation& navigation) override;
    // Puts the view found into `shown`, a camera without a focal distance
    // given one that reaches shown's scene.
    void show(scene_store& shown) const;

private:
    scene_store& into_;
    bool background_given_ = false;  // later Backgrounds are not in force at start
    bool fog_given_ = false;         // likewise for Fog
    bool sky_given_ = false;         // and for the Background's sky
    bool headlight_given_ = false;   // likewise for the headlight
    bool navigation_given_ = false;  // and the NavigationInfo
    std::function<std::int32_t(const texture_source&)> decode_;
};

// Images decoded for a store that is shown already, beside those it holds:
// a view that changes after the load (a Background events bind, or whose
// urls they change) shows its panorama while the shapes stay as they are.
// Images the store holds are found by name, not decoded again, and count
// against the budget, so that views bound in turn cannot grow the store
// past what one load may hold.
class shown_images {
public:
    shown_images(scene_store& into, warning_list& warnings, reader::load_budget& budget);
    ~shown_images();
    shown_images(const shown_images&) = delete;
    shown_images& operator=(const shown_images&) = delete;
    // The index in the store's images of a panorama face's image, -1 after a warning.
    std::int32_t panorama_image(const texture_source& src);

private:
    scene_store& into_;
    warning_list& warnings_;
    std::unique_ptr<detail::builder_scratch> scratch_;
};

// The real back end: appends one or more shape records per call to `out`
// (shape_count, point_counts and face_counts kept in step) and reports
// problems (index out of range, degenerate data) to `warnings`, once per
// kind of problem and shape.
class scene_builder final : public geometry_sink {
public:
    // With a budget, every shape's arrays are taken from it (twice: the
    // store's and the drawing's copies) and images' pixels likewise; the
    // first shape that does not fit is left out with one warning, and so is
    // every shape after it.
    scene_builder(scene_store& out, warning_list& warnings, reader::load_budget* budget = nullptr);
    ~scene_builder() override;
    scene_builder(const scene_builder&) = delete;
    scene_builder& operator=(const scene_builder&) = delete;
    void face_set(const shape_state& state, std::span<const float> coords,
                  std::span<const std::int32_t> coord_index, std::span<const std::int32_t> material_index,
                  std::span<const std::int32_t> normal_index) override;
    void line_set(const shape_state& state, std::span<const float> coords,
                  std::span<const std::int32_t> coord_index, std::span<const std::int32_t> material_index,
                  std::span<const std::int32_t> normal_index) override;
    void point_set(const shape_state& state, std::span<const float> coords, std::int64_t start,
                   std::int64_t count) override;
    void cube(const shape_state& state, float width, float height, float depth) override;
    void sphere(const shape_state& state, float radius) override;
    void cone(const shape_state& state, float bottom_radius, float height, unsigned part_mask) override;
    void cylinder(const shape_state& state, float radius, float height, unsigned part_mask) override;
    void light(const scene_light& light) override;
    std::int32_t motion(const matrix4& world, std::int32_t parent) override;
    void billboard(std::int32_t motion, const float axis[3]) override;
    std::size_t shapes_made() override {
        built();
        return out_.shapes.size();
    }
    // Lasting shapes without images are built in batches, each on every
    // core the load may use (reader::load_threads) and appended in the
    // order handed in, so that the store, the warnings and what the budget
    // allows are the same whatever the number of threads.
    void built() override;
    void after_built(std::function<void()> then) override;
    bool place_again(std::size_t first, std::size_t count, const matrix4& placement,
                     std::span<const std::int32_t> lights, source_position where) override;
    void camera(const scene_camera& camera) override;
    void viewpoint(const scene_viewpoint& view, bool bound) override;
    void background(const float rgb[3]) override;
    void fog(const scene_fog& fog) override { view_.fog(fog); }
    void sky(const scene_sky& sky, const panorama_sources& images) override { view_.sky(sky, images); }
    void headlight(bool on) override;
    void navigation(const scene_navigation& navigation) override { view_.navigation(navigation); }
    bool stopped() const override { return stopped_; }
    // Where long image decodes report how far they are (0..100).
    void follow_decoding(std::function<void(int)> sink);
    // The images of a store this one replaces, shown again without being
    // read and decoded again (a moving world built anew).
    void reuse_images(const scene_store& previous);
    bool affords(std::int64_t bytes, source_position where, const char* what) override;

    // Sets the store's reading to standard and its bounding sphere from
    // every point appended, and gives a camera without a focal distance
    // one that reaches the scene. Call once, after the last shape.
    void finish();

private:
    scene_store& out_;
    warning_list& warnings_;
    std::size_t first_shape_;                        // shapes before this index were there already
    std::size_t first_light_;                        // likewise for lights
    view_builder view_;                              // the first camera, background and headlight
    reader::load_budget* budget_;
    bool stopped_ = false;                           // a shape did not fit: no more are made
    // Before a shape is made: whether one of about `bytes` may be. After:
    // takes what the shapes from `before` on hold, or drops them.
    bool admit(std::int64_t bytes, source_position where, const char* what = "triangles");
    void settle(std::size_t before, source_position where);
    void stop(source_position where);
    // Builds one node's shapes between admit and settle.
    template <typename... Args>
    void make(std::int64_t least, void (*build_shapes)(detail::shape_target, const shape_state&, Args...),
              const shape_state& state, Args... args);
    std::unique_ptr<detail::builder_scratch> scratch_;  // buffers and the tessellator, kept between shapes
    struct pending_shape;
    std::vector<std::unique_ptr<pending_shape>> pending_;  // handed in, not yet built
    std::int64_t pending_bytes_ = 0;                       // what they were admitted for
    std::vector<std::function<void()>> after_built_;
    std::vector<std::unique_ptr<detail::builder_scratch>> helper_scratch_;  // one per helping thread
};

}  // namespace tessel::vrml
