#include "formats/vrml97/traverse2.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <cstdint>
#include <map>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include <unistd.h>

#include "geometry/generated_shapes.h"
#include "geometry/matrix.h"
#include "geometry/placed_sink.h"
#include "media/text_glyphs.h"
#include "world/lights_cameras.h"
#include "world/urls.h"

namespace tessel::vrml {

namespace {

// What a generated point costs on its way to the store: its coordinates,
// texture coordinates and indices here, then its stored vertex.
constexpr std::int64_t generated_point_bytes = 96;

// T * C * R * SR * S * -SR * -C: scaled about the centre along the scale
// orientation, turned about the centre, then moved.
matrix4 transform_matrix(const node& n) {
    matrix4 m;
    const auto& t = n.numbers("translation");
    const auto& c = n.numbers("center");
    const auto& r = n.numbers("rotation");
    const auto& s = n.numbers("scale");
    const auto& so = n.numbers("scaleOrientation");
    const bool centred = c.size() >= 3;
    if (t.size() >= 3) m = translation_matrix(t[0], t[1], t[2]);
    if (centred) m = multiply(m, translation_matrix(c[0], c[1], c[2]));
    if (r.size() >= 4) m = multiply(m, rotation_matrix(r[0], r[1], r[2], r[3]));
    if (s.size() >= 3) {
        if (so.size() >= 4) m = multiply(m, rotation_matrix(so[0], so[1], so[2], so[3]));
        m = multiply(m, scale_matrix(s[0], s[1], s[2]));
        if (so.size() >= 4) m = multiply(m, rotation_matrix(so[0], so[1], so[2], -so[3]));
    }
    if (centred) m = multiply(m, translation_matrix(-c[0], -c[1], -c[2]));
    return m;
}

// The node a SFNode field holds, when it is of the kind expected there; a
// node of another kind (a PROTO standing for something else, an unknown
// node) counts as none.
const node* child_of(const node& n, std::string_view field, node_kind kind) {
    const node* c = n.child(field);
    return c && c->type && c->type->kind == kind ? c : nullptr;
}

bool flag(const node& n, std::string_view field, bool fallback) { return n.integer(field, fallback ? 1 : 0) != 0; }

float unit(float v, float fallback) { return std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : fallback; }

std::vector<float> colour_of(const node& n, std::string_view field, float r, float g, float b) {
    const auto& v = n.numbers(field);
    if (v.size() < 3) return {r, g, b};
    return {unit(v[0], r), unit(v[1], g), unit(v[2], b)};
}

// A Background's sky where a level view meets it, at the horizon: the
// first colour is straight up, each next one at its angle from there,
// shaded linearly between; past the last angle the last colour holds.
void horizon_colour(const std::vector<float>& colours, const std::vector<float>& angles, float rgb[3]) {
    const std::size_t count = colours.size() / 3;
    if (count == 0) return;
    const float horizon = std::numbers::pi_v<float> / 2;
    std::size_t below = 0;  // the last colour at or above the horizon
    float from = 0, to = 0;
    for (std::size_t i = 1; i < count && i - 1 < angles.size(); ++i) {
        const float angle = angles[i - 1];
        if (!std::isfinite(angle)) break;
        if (angle > horizon) {
            to = angle;
            break;
        }
        below = i;
        from = angle;
    }
    const std::size_t above = to > 0 ? below + 1 : below;
    const float t = to > from ? (horizon - from) / (to - from) : 0.0f;
    for (int k = 0; k < 3; ++k) {
        const float a = unit(colours[below * 3 + static_cast<std::size_t>(k)], 0);
        const float b = unit(colours[above * 3 + static_cast<std::size_t>(k)], 0);
        rgb[k] = a + (b - a) * t;
    }
}

// The texture matrix of a VRML97 TextureTransform: the coordinates are
// moved first, then scaled and turned about the centre (unlike VRML 1.0's
// Texture2Transform, which moves last).
texture_matrix texture_transform_matrix(const node& n) {
    const auto pair = [&](const char* field, float x, float y) {
        const auto& v = n.numbers(field);
        return v.size() >= 2 && std::isfinite(v[0]) && std::isfinite(v[1]) ? std::pair{v[0], v[1]} : std::pair{x, y};
    };
    const auto [tx, ty] = pair("translation", 0, 0);
    const auto [sx, sy] = pair("scale", 1, 1);
    const auto [cx, cy] = pair("center", 0, 0);
    const float angle = n.number("rotation", 0);
    const float c = std::isfinite(angle) ? std::cos(angle) : 1, s = std::isfinite(angle) ? std::sin(angle) : 0;
    const auto moved = [](float x, float y) { return texture_matrix{{1, 0, 0, 1, x, y}}; };
    // Tc' = -C * S * R * C * T * Tc
    texture_matrix m = moved(-cx, -cy);
    m = multiply(m, texture_matrix{{sx, 0, 0, sy, 0, 0}});
    m = multiply(m, texture_matrix{{c, s, -s, c, 0, 0}});
    m = multiply(m, moved(cx, cy));
    return multiply(m, moved(tx, ty));
}

// The turn of a matrix alone, as unit columns at right angles (a mirror
// stays one); none when the matrix flattens space or is not finite.
std::array<float, 9> turn_of(const matrix4& m) {
    double c[3][3];
    for (int k = 0; k < 3; ++k) {
        for (int r = 0; r < 3; ++r) c[k][r] = m.m[k * 4 + r];
        // Less of the columns before it, so that the three stand at right angles.
        for (int j = 0; j < k; ++j) {
            const double along = c[k][0] * c[j][0] + c[k][1] * c[j][1] + c[k][2] * c[j][2];
            for (int r = 0; r < 3; ++r) c[k][r] -= along * c[j][r];
        }
        const double length = std::sqrt(c[k][0] * c[k][0] + c[k][1] * c[k][1] + c[k][2] * c[k][2]);
        if (!(length > 1e-12) || !std::isfinite(length)) return {1, 0, 0, 0, 1, 0, 0, 0, 1};
        for (int r = 0; r < 3; ++r) c[k][r] /= length;
    }
    std::array<float, 9> out;
    for (int k = 0; k < 3; ++k)
        for (int r = 0; r < 3; ++r) out[static_cast<std::size_t>(k * 3 + r)] = static_cast<float>(c[k][r]);
    return out;
}

// The image file a list of urls names, relative to the scene file `from`:
// the first file that is there, as a browser would try them in turn; when
// none is, the first local one, so that the back end says why it cannot be
// read; empty when none is local.
std::string image_file(const std::string& from, const std::vector<std::string>& urls) {
    std::string first;
    for (const std::string& url : urls) {
        if (!local_url(url)) continue;
        std::string file = resolve_image_name(from, url);
        if (access(file.c_str(), R_OK) == 0) return file;
        if (first.empty()) first = std::move(file);
    }
    return first;
}

// How the viewer walks, as a NavigationInfo says: its first type that the
// viewer knows (ANY leaves the choice to the viewer, which examines), and
// the avatar's size, speed and sight where they make sense.
// Its sizes, speed and sight are lengths of the coordinates it stands in
// (`scale` to the world's: an X3D file's unit of length among others).
scene_navigation navigation_of(const node& n, float scale) {
    scene_navigation nav;
    nav.mode = navigation_mode::walk;  // the type's default is "WALK" "ANY"
    if (const field_value* types = n.value("type")) {
        nav.mode = navigation_mode::examine;
        for (const std::string& t : types->words) {
            const std::pair<const char*, navigation_mode> known[] = {{"EXAMINE", navigation_mode::examine},
                                                                     {"WALK", navigation_mode::walk},
                                                                     {"FLY", navigation_mode::fly},
                                                                     {"NONE", navigation_mode::none},
                                                                     {"ANY", navigation_mode::examine}};
            const auto k = std::find_if(std::begin(known), std::end(known), [&](const auto& p) { return t == p.first; });
            if (k != std::end(known)) {
                nav.mode = k->second;
                break;
            }
        }
    }
    const auto positive = [](float v, float otherwise) { return v > 0 && std::isfinite(v) ? v : otherwise; };
    // A speed of 0 lets the viewer turn but not move.
    const float speed = n.number("speed", 1);
    nav.speed = speed >= 0 && std::isfinite(speed) ? speed : 1;
    const std::vector<float>& avatar = n.numbers("avatarSize");
    if (avatar.size() > 0) nav.radius = positive(avatar[0], nav.radius);
    if (avatar.size() > 1) nav.eye_height = positive(avatar[1], nav.eye_height);
    if (avatar.size() > 2) nav.step_height = positive(avatar[2], nav.step_height);
    nav.visibility_limit = positive(n.number("visibilityLimit", 0), 0);
    nav.radius *= scale;
    nav.eye_height *= scale;
    nav.step_height *= scale;
    nav.speed *= scale;
    nav.visibility_limit *= scale;
    return nav;
}

// The closest fixed-function Material to a PhysicalMaterial: a metal
// reflects its base colour and scatters little, so the diffuse colour
// falls to half and the specular colour rises from the 4% of a dielectric
// to the base colour as metallic rises; a rough surface has a dull, wide
// highlight (specular weakened, shininess low), a smooth one a sharp one.
void physical_material(const node& m, material_list& l) {
    const std::vector<float> base = colour_of(m, "baseColor", 1, 1, 1);
    const float metallic = unit(m.number("metallic", 1), 1);
    const float roughness = unit(m.number("roughness", 1), 1);
    l.diffuse.resize(3);
    l.specular.resize(3);
    for (std::size_t k = 0; k < 3; ++k) {
        l.diffuse[k] = base[k] * (1 - metallic / 2);
        l.specular[k] = (0.04f + (base[k] - 0.04f) * metallic) * (1 - roughness);
    }
    l.ambient = {0.2f * l.diffuse[0], 0.2f * l.diffuse[1], 0.2f * l.diffuse[2]};
    l.emissive = colour_of(m, "emissiveColor", 0, 0, 0);
    l.shininess = {(1 - roughness) * (1 - roughness)};
    l.transparency = {unit(m.number("transparency", 0), 0)};
}

// The node a geometry's color field holds: a Color, or in X3D a ColorRGBA.
const node* colour_node(const node& g) {
    const node* c = g.child("color");
    return c && c->type && (c->type->kind == node_kind::v2_color || c->type->kind == node_kind::x3d_color_rgba) ? c
                                                                                                                 : nullptr;
}

// X3D's triangle, fan, strip and quad sets as the faces of a face set:
// indices into coord, each face ended by -1. The sets without an index
// number their vertices in order; fans and strips are cut by -1 (indexed)
// or by their counts. Counts and indices past the coordinates end the
// list: the back end warns of bad indices, not of missing vertices.
void x3d_faces(const node& g, std::int64_t points, std::vector<std::int32_t>& out) {
    const std::string& name = g.type->name;
    const bool indexed = name.rfind("Indexed", 0) == 0;
    std::vector<std::int32_t> order;  // the vertices in the file's order, runs cut by -1
    if (indexed) {
        order = g.integers("index");
    } else {
        const bool counted = name == "TriangleFanSet" || name == "TriangleStripSet";
        const auto& counts = g.integers(name == "TriangleFanSet" ? "fanCount" : "stripCount");
        std::int64_t next = 0;
        if (counted) {
            for (const std::int32_t count : counts) {
                if (count <= 0 || next + count > points) break;
                for (std::int32_t k = 0; k < count; ++k) order.push_back(static_cast<std::int32_t>(next++));
                order.push_back(-1);
            }
        } else {
            for (; next < points; ++next) order.push_back(static_cast<std::int32_t>(next));
        }
    }
    const bool fans = name.find("Fan") != std::string::npos;
    const bool strips = name.find("Strip") != std::string::npos;
    const std::size_t per = name.find("Quad") != std::string::npos ? 4 : 3;
    if (!fans && !strips) {
        // Whole triangles or quads; a -1 is no separator here, and an
        // incomplete last one is left out.
        std::size_t k = 0;
        for (; k + per <= order.size(); k += per) {
            out.insert(out.end(), order.begin() + static_cast<std::ptrdiff_t>(k),
                       order.begin() + static_cast<std::ptrdiff_t>(k + per));
            out.push_back(-1);
        }
        return;
    }
    std::size_t start = 0;
    while (start < order.size()) {
        std::size_t end = start;
        while (end < order.size() && order[end] >= 0) ++end;
        for (std::size_t k = start; k + 2 < end; ++k) {
            if (fans) out.insert(out.end(), {order[start], order[k + 1], order[k + 2], -1});
            // Every other triangle of a strip turns the other way round.
            else if ((k - start) % 2 == 0) out.insert(out.end(), {order[k], order[k + 1], order[k + 2], -1});
            else out.insert(out.end(), {order[k + 1], order[k], order[k + 2], -1});
        }
        start = end + 1;
    }
}

// LineSet: polylines of vertexCount vertices each, in order.
void x3d_lines(const node& g, std::int64_t points, std::vector<std::int32_t>& out) {
    std::int64_t next = 0;
    for (const std::int32_t count : g.integers("vertexCount")) {
        if (count < 2 || next + count > points) break;
        for (std::int32_t k = 0; k < count; ++k) out.push_back(static_cast<std::int32_t>(next++));
        out.push_back(-1);
    }
}

// An X3D file's UNIT length: its whole content placed under that scale, so
// that its lengths are metres; an inlined file's relative to the units of
// the file it stands in. None where the units agree.
std::optional<matrix4> length_scale(const document& doc, float around = 1.0f) {
    const float relative = doc.length_unit / around;
    if (relative == 1.0f || !std::isfinite(relative)) return std::nullopt;
    matrix4 scale;
    scale.m[0] = scale.m[5] = scale.m[10] = relative;
    return scale;
}

struct frame {
    const std::vector<node*>* list;
    const document* doc;
    std::size_t next;
    std::size_t end;
    std::int32_t matrix;  // index in walker::matrices_ of the matrix in force for the list
    std::int32_t lights;  // the newest DirectionalLight in scope (a link of the traversal core), -1: none
    std::int32_t motion;  // the moving part the list's matrix is relative to, -1: the world
    bool single;          // the list's owner, and everything above it, is held once
    bool again;           // the list may be walked again (under a USE'd node, or in an inlined file)
    bool owns_matrix;     // made its own matrix, dropped with it
    bool leaves_document; // the last frame of a file (the world or an inlined one)
    collision_role collision = collision_role::both;  // under a Collision: seen only, or its unseen proxy
};

class walker {
public:
    walker(geometry_sink& sink, warning_list& warnings, inline_source* inlines, const traversal_limits& limits,
           bool release_drawn, moving_parts* moving, live_shapes* live, const other_reading* vrml1 = nullptr)
        : core_(sink, warnings, inlines, limits), sink_(sink), warnings_(warnings), moving_(moving), live_(live),
          vrml1_(vrml1), release_drawn_(release_drawn) {}

    void run(const document& doc);
    void redraw(const live_shapes::site& site);

private:
    // Point and spot lights shine on the whole scene wherever they stand,
    // so they are all found in a first walk, before any shape is drawn.
    enum class pass : std::uint8_t { lights, shapes };

    void walk(const document& doc);
    void push(const std::vector<node*>& list, std::size_t begin, std::size_t end, const document* doc,
              const matrix4* own, bool leaves_document = false, std::int32_t motion = -2);
    void pop();
    const matrix4& matrix() const { return matrices_[static_cast<std::size_t>(frames_.back().matrix)]; }
    // The matrix in force in world coordinates, through the moving part it is relative to.
    matrix4 world_matrix(const frame& f) const {
        const matrix4& m = matrices_[static_cast<std::size_t>(f.matrix)];
        return f.motion >= 0 ? multiply(motion_worlds_[static_cast<std::size_t>(f.motion)], m) : m;
    }
    bool enter_moving(const node& n);
    bool enter_billboard(const node& n);
    void enter_collision(const node& n);
    // Marks the moving Transforms above a frame as carrying a light or the view.
    void carried(const frame& f, std::unordered_set<const node*> moving_parts::*by);
    // Whether a bindable node of the kind is the one shown: the one events
    // bound, or while none was, the world's first.
    bool shown_bindable(const node& n, int kind) const {
        return !live_ || !live_->bound[kind] || live_->bound[kind] == &n;
    }
    void visit(const node& n);
    void open_inline(const node& n);
    void add_scoped_lights(frame& f);
    void draw_shape(const node& shape);
    void draw_shape_now(const node& shape);
    void draw_shape_alone(const node& shape, const node& geometry);
    void draw_bare_geometry(const node& geometry);
    void draw_geometry(const node& g, shape_state& s, const node* material);
    void draw_text(const node& text, shape_state& s);
    void draw_generated(const node& g, shape_state& s, const node* material);
    void draw_x3d_set(const node& g, shape_state& s, const node* material);
    const material_list* material_for(const node* material, const node* colours);
    // How long a length of the coordinates in force is in the world's.
    float length_scale_here() const { return uniform_scale(matrix()); }
    std::shared_ptr<const shape_material> back_material(const node* material, const node* back);
    const texture_source* texture_for(const node& t);
    traversal_core core_;
    geometry_sink& sink_;
    warning_list& warnings_;
    pass pass_ = pass::lights;
    const document* world_ = nullptr;
    std::vector<frame> frames_;
    std::vector<matrix4> matrices_;  // a stack: a Transform's frame adds its matrix, its end takes it off
    moving_parts* moving_;
    live_shapes* live_;
    const other_reading* vrml1_;  // walks VRML 1.0 files this world inlines
    const std::vector<std::int32_t>* lights_override_ = nullptr;  // a redrawn shape's lights
    std::vector<matrix4> motion_worlds_;  // by the sink's motion number: where each moving part stands
    std::map<std::pair<const node*, const document*>, const document*> inlined_;  // each Inline opened once
    // By Material, Color and the Appearance's backMaterial.
    std::map<std::tuple<const node*, const node*, const node*>, material_list> materials_;
    const node* back_material_ = nullptr;  // the backMaterial of the Appearance being drawn
    std::unordered_map<const node*, std::optional<texture_source>> textures_;
    struct text_faces {
        std::vector<float> coords;
        std::vector<std::int32_t> index;
        bool drawn = false;
    };
    std::unordered_map<const node*, text_faces> texts_;  // a Text USE'd again is not laid out again
    bool camera_seen_ = false;
    int viewpoints_listed_ = 0;
    bool background_seen_ = false;
    bool fog_seen_ = false;
    bool navigation_seen_ = false;
    bool release_drawn_;
    bool visiting_single_ = false;  // the node being visited is drawn only this once
    bool visiting_again_ = false;   // the node being visited may be met again
    // Shapes that may be met again: the records their first drawing made and
    // the way back from where it placed them, so that a later meeting places
    // those records again instead of building them anew.
    struct drawn_shape {
        std::size_t first = 0;
        std::size_t count = 0;
        bool placeable = false;  // its matrix could be inverted
        bool mirrored = false;
        matrix4 back;            // from the first drawing's place to the shape's own coordinates
    };
    std::unordered_map<const node*, drawn_shape> drawn_;
};

// Gives back a field's arrays; the node is read no more.
void release(const node& n, std::string_view field) {
    if (const field_value* v = n.value(field)) {
        auto& gone = const_cast<field_value&>(*v);
        std::vector<float>().swap(gone.numbers);
        std::vector<std::int32_t>().swap(gone.integers);
    }
}

void walker::run(const document& doc) {
    if (!doc.root) return;
    world_ = &doc;
    pass_ = pass::lights;
    core_.set_quiet(true);
    walk(doc);
    pass_ = pass::shapes;
    core_.set_quiet(false);
    walk(doc);
    warnings_.set_file(doc.file);
    // A world without a Viewpoint is seen through the default one, which
    // the back end moves back until the whole scene shows.
    if (!camera_seen_ && !core_.stopped()) {
        scene_camera framed;
        framed.position[2] = 10;
        framed.focal_distance = 0;
        framed.framed = true;
        sink_.camera(framed);
    }
}

void walker::walk(const document& doc) {
    frames_.clear();
    matrices_.assign(1, matrix4{});
    core_.begin(doc);
    const std::optional<matrix4> units = length_scale(doc);
    push(doc.root->children, 0, doc.root->children.size(), &doc, units ? &*units : nullptr, true);
    while (!frames_.empty() && !core_.stopped()) {
        frame& f = frames_.back();
        if (f.next >= f.end) {
            pop();
            continue;
        }
        const node* n = (*f.list)[f.next++];
        if (!n || !n->type) continue;
        visiting_single_ = f.single && n->uses == 1;
        visiting_again_ = f.again || n->uses > 1;
        if (!core_.count_visit(*n)) break;
        visit(*n);
    }
}

void walker::push(const std::vector<node*>& list, std::size_t begin, std::size_t end, const document* doc,
                  const matrix4* own, bool leaves_document, std::int32_t motion) {
    end = std::min(end, list.size());
    if (begin >= end) {
        if (leaves_document) core_.leave();
        return;
    }
    std::int32_t m = frames_.empty() ? 0 : frames_.back().matrix;
    if (motion >= 0) {
        // A moving part starts its own coordinates: its place is the motion's.
        matrices_.push_back(matrix4{});
        m = static_cast<std::int32_t>(matrices_.size() - 1);
    } else if (own) {
        matrices_.push_back(multiply(matrices_[static_cast<std::size_t>(m)], *own));
        m = static_cast<std::int32_t>(matrices_.size() - 1);
    }
    if (motion == -2) motion = frames_.empty() ? -1 : frames_.back().motion;
    const std::int32_t lights = frames_.empty() ? -1 : frames_.back().lights;
    // Inlined files may be drawn again from another Inline: never single.
    const bool single = release_drawn_ && doc == world_ && (frames_.empty() || visiting_single_);
    // An inlined file may be inlined again, from here or from elsewhere.
    const bool again = !frames_.empty() && (visiting_again_ || doc != world_);
    const collision_role collision = frames_.empty() ? collision_role::both : frames_.back().collision;
    frames_.push_back({&list, doc, begin, end, m, lights, motion, single, again, own != nullptr, leaves_document,
                       collision});
    if (pass_ == pass::shapes) add_scoped_lights(frames_.back());
}

void walker::pop() {
    const frame f = frames_.back();
    frames_.pop_back();
    if (f.owns_matrix) matrices_.pop_back();
    if (f.leaves_document) core_.leave();
}

void walker::visit(const node& n) {
    const document* doc = frames_.back().doc;
    switch (n.type->kind) {
    case node_kind::v2_transform: {
        const auto& children = n.nodes("children");
        if (children.empty()) break;
        if (enter_moving(n)) break;
        const matrix4 m = transform_matrix(n);
        push(children, 0, children.size(), doc, &m);
        break;
    }
    case node_kind::v2_group: {
        const auto& children = n.nodes("children");
        if (n.type->name == "Billboard" && enter_billboard(n)) break;
        if (n.type->name == "Collision") {
            enter_collision(n);
            break;
        }
        push(children, 0, children.size(), doc, nullptr);
        break;
    }
    case node_kind::v2_switch: {
        // X3D names the choices children.
        const auto& choice = n.value("choice") ? n.nodes("choice") : n.nodes("children");
        const std::int32_t which = n.integer("whichChoice", -1);
        if (which >= 0 && static_cast<std::size_t>(which) < choice.size()) {
            push(choice, static_cast<std::size_t>(which), static_cast<std::size_t>(which) + 1, doc, nullptr);
        } else if (which != -1) {
            core_.warn_once("switch", n, "Switch whichChoice " + std::to_string(which) + " names no choice (there are " +
                                       std::to_string(choice.size()) + "); nothing drawn");
        }
        break;
    }
    case node_kind::v2_lod: {
        // A still picture has no distance to choose by: the finest level.
        const auto& level = n.value("level") ? n.nodes("level") : n.nodes("children");
        push(level, 0, 1, doc, nullptr);
        break;
    }
    case node_kind::v2_inline: open_inline(n); break;
    case node_kind::x3d_cad_face: {
        const auto& shape = n.nodes("shape");
        push(shape, 0, shape.size(), doc, nullptr);
        break;
    }
    case node_kind::v2_point_light:
    case node_kind::v2_spot_light:
        if (pass_ == pass::lights)
            if (const std::optional<scene_light> light = world_light(n, world_matrix(frames_.back())))
                core_.add_scene_light(*light, n);
        if (pass_ == pass::shapes) carried(frames_.back(), &moving_parts::carry_lights);
        break;
    case node_kind::v2_shape:
        if (pass_ == pass::shapes) draw_shape(n);
        break;
    // Geometry where a Shape belongs: invalid, but other readers draw it, so
    // the author sees the model, with a warning.
    case node_kind::v2_box:
    case node_kind::v2_sphere:
    case node_kind::v2_cone:
    case node_kind::v2_cylinder:
    case node_kind::v2_indexed_face_set:
    case node_kind::v2_indexed_line_set:
    case node_kind::v2_point_set:
    case node_kind::v2_elevation_grid:
    case node_kind::v2_extrusion:
    case node_kind::v2_text:
    case node_kind::x3d_face_sets:
    case node_kind::x3d_line_set:
        if (pass_ == pass::shapes) draw_bare_geometry(n);
        break;
    // Bindable nodes: the world's first one is bound; inlined files' are not.
    case node_kind::v2_viewpoint:
        if (pass_ == pass::shapes && doc == world_) {
            const scene_camera camera = world_camera(n, world_matrix(frames_.back()));
            const bool bound = !camera_seen_ && shown_bindable(n, 0);
            if (bound) {
                camera_seen_ = true;
                sink_.camera(camera);
                carried(frames_.back(), &moving_parts::carry_view);
            }
            // The list the viewer offers: by description, else DEF name, else number.
            const auto named = world_->view_names.find(&n);
            const std::string def = named != world_->view_names.end() ? named->second : std::string();
            std::string name(n.word("description", ""));
            if (name.empty()) name = def;
            ++viewpoints_listed_;
            if (name.empty()) name = "Point de vue " + std::to_string(viewpoints_listed_);
            sink_.viewpoint({name, def, camera, flag(n, "jump", true)}, bound);
        }
        break;
    case node_kind::v2_background:
        if (pass_ == pass::shapes && !background_seen_ && doc == world_ && shown_bindable(n, 1)) {
            background_seen_ = true;
            float rgb[3] = {0, 0, 0};
            horizon_colour(n.numbers("skyColor"), n.numbers("skyAngle"), rgb);
            sink_.background(rgb);
            // Colours kept within 0..1 and whole; angles as given, the
            // renderer reads them in order.
            const auto colours = [&](const char* field) {
                std::vector<float> c = n.numbers(field);
                c.resize(c.size() / 3 * 3);
                for (float& v : c) v = unit(v, 0);
                return c;
            };
            scene_sky sky{colours("skyColor"), n.numbers("skyAngle"), colours("groundColor"), n.numbers("groundAngle")};
            sky.axes = turn_of(world_matrix(frames_.back()));
            // A Transform that events turn turns the sky with it.
            carried(frames_.back(), &moving_parts::carry_view);
            // The panorama's images, by face: a face whose urls name no
            // file here is left out, the others are still shown.
            static constexpr const char* face_fields[panorama_faces] = {"frontUrl", "backUrl", "leftUrl",
                                                                        "rightUrl", "topUrl",  "bottomUrl"};
            std::array<texture_source, panorama_faces> images;
            panorama_sources faces{};
            for (std::size_t f = 0; f < faces.size(); ++f) {
                const field_value* urls = n.value(face_fields[f]);
                const auto blank = [](const std::string& url) { return url.empty(); };
                if (!urls || std::all_of(urls->words.begin(), urls->words.end(), blank)) continue;
                images[f].file = image_file(doc->file, urls->words);
                images[f].where = n.where;
                if (images[f].file.empty()) {
                    core_.warn(n, std::string("Background ") + face_fields[f] + " names no local file (\"" +
                                      urls->words[0] + "\"); that face of the panorama is left out");
                    continue;
                }
                faces[f] = &images[f];
            }
            sink_.sky(sky, faces);
        }
        break;
    case node_kind::v2_navigation_info:
        if (pass_ == pass::shapes && !navigation_seen_ && doc == world_ && shown_bindable(n, 2)) {
            navigation_seen_ = true;
            sink_.headlight(flag(n, "headlight", true));
            sink_.navigation(navigation_of(n, length_scale_here()));
        }
        break;
    case node_kind::quiet:
        // Sensors, interpolators and scripts only act once time runs, and
        // WorldInfo describes; Sound would change what is heard.
        if (n.type->name == "Sound") core_.warn_once("node Sound", n, "Sound is not played; skipped");
        // The world's first Fog is in force; a visibilityRange of 0 is none.
        if (n.type->name == "Fog" && pass_ == pass::shapes && !fog_seen_ && doc == world_) {
            fog_seen_ = true;
            scene_fog fog;
            fog.exponential = n.word("fogType", "LINEAR") == "EXPONENTIAL";
            const std::vector<float> colour = colour_of(n, "color", 1, 1, 1);
            std::copy(colour.begin(), colour.end(), fog.colour);
            fog.range = n.number("visibilityRange", 0) * length_scale_here();
            sink_.fog(fog);
        }
        break;
    // DirectionalLights were placed when their group was entered; the
    // parser has warned about unknown nodes; the rest draws nothing.
    default: break;
    }
}

void walker::open_inline(const node& n) {
    // An X3D Inline may be told not to load its file (yet).
    if (!core_.inlines() || !flag(n, "load", true)) return;
    const document* from = frames_.back().doc;
    auto [known, first_time] = inlined_.try_emplace({&n, from}, nullptr);
    if (first_time) {
        // Problems with the file itself are reported once, by whichever
        // walk meets the Inline first.
        const std::string name = inline_file_name(n);
        if (name.empty()) {
            if (n.value("url") && !n.value("url")->words.empty())
                warnings_.add(n.where, "Inline names no local file (\"" + n.value("url")->words[0] +
                                           "\"); only files on this computer are read");
            return;
        }
        const document* doc = core_.inlines()->open(*from, name, n.where);
        core_.restore_file();
        if (doc && !doc->vrml2) {
            if (vrml1_) {
                warnings_.add(n.where, "Inline \"" + name + "\" is a VRML 1.0 file, not VRML97; read as VRML 1.0");
            } else {
                warnings_.add(n.where, "Inline \"" + name + "\" is not a VRML97 file; ignored");
                doc = nullptr;
            }
        }
        known->second = doc;
    }
    const document* doc = known->second;
    if (!doc || !doc->root) return;
    switch (core_.may_enter(*doc)) {
    case traversal_core::entry::already_open:
        core_.warn(n, "Inline includes a file that is already being read (\"" + doc->file + "\"); ignored");
        return;
    case traversal_core::entry::too_deep:
        core_.warn(n, "Inline nests files more than " + std::to_string(core_.limits().inline_depth) + " deep; ignored");
        return;
    case traversal_core::entry::allowed: break;
    }
    if (!doc->vrml2) {
        // Walked by its own reading, from its own origin, and placed here;
        // lit by the lights in force here. Only its shapes come back.
        if (pass_ != pass::shapes) return;
        placed_sink here(sink_, matrix(), frames_.back().motion, core_.lights_in_force(frames_.back().lights));
        (*vrml1_)(*doc, here, warnings_);
        warnings_.set_file(frames_.back().doc->file);
        return;
    }
    core_.enter(*doc);
    const std::optional<matrix4> units = length_scale(*doc, from->length_unit);
    push(doc->root->children, 0, doc->root->children.size(), doc, units ? &*units : nullptr, true);
}

// A Transform that events move draws its children as one moving part of
// the scene, under a matrix of its own that the world can change without
// drawing them again. Lights under it stay where they were at the start.
bool walker::enter_moving(const node& n) {
    if (!moving_ || pass_ != pass::shapes || !moving_->transforms.count(&n)) return false;
    const frame& f = frames_.back();
    const matrix4 own = transform_matrix(n);
    const matrix4 world = multiply(world_matrix(f), own);
    const std::int32_t slot = sink_.motion(world, f.motion);
    if (slot < 0) return false;
    if (motion_worlds_.size() <= static_cast<std::size_t>(slot)) motion_worlds_.resize(static_cast<std::size_t>(slot) + 1);
    motion_worlds_[static_cast<std::size_t>(slot)] = world;
    moving_->sites.push_back({&n, f.motion, matrix(), slot});
    const auto& children = n.nodes("children");
    push(children, 0, children.size(), f.doc, &world, false, slot);
    return true;
}

// A Billboard's children are a part of their own, which the renderer
// turns towards the viewer at every frame; its place is where the
// Billboard stands.
bool walker::enter_billboard(const node& n) {
    const auto& children = n.nodes("children");
    if (pass_ != pass::shapes || children.empty()) return false;
    const frame& f = frames_.back();
    const matrix4 world = world_matrix(f);
    const std::int32_t slot = sink_.motion(world, f.motion);
    if (slot < 0) return false;
    if (motion_worlds_.size() <= static_cast<std::size_t>(slot)) motion_worlds_.resize(static_cast<std::size_t>(slot) + 1);
    motion_worlds_[static_cast<std::size_t>(slot)] = world;
    if (moving_) moving_->sites.push_back({nullptr, f.motion, matrix(), slot});
    std::vector<float> axis = n.numbers("axisOfRotation");
    if (axis.size() != 3) axis = {0, 1, 0};
    for (float& a : axis)
        if (!std::isfinite(a)) a = 0;
    sink_.billboard(slot, axis.data());
    push(children, 0, children.size(), f.doc, &world, false, slot);
    return true;
}

// A Collision that does not collide shows its children to the eye only;
// one with a proxy stops the walking viewer at the proxy instead, unseen.
void walker::enter_collision(const node& n) {
    const auto& children = n.nodes("children");
    const document* doc = frames_.back().doc;
    const collision_role around = frames_.back().collision;
    const bool stops = flag(n, "collide", true) && around == collision_role::both;
    const auto& proxy = n.nodes("proxy");
    const auto push_as = [&](const std::vector<node*>& list, collision_role role) {
        const std::size_t before = frames_.size();
        push(list, 0, list.size(), doc, nullptr);
        if (frames_.size() > before) frames_.back().collision = role;
    };
    if (stops && !proxy.empty()) {
        push_as(children, collision_role::seen);
        push_as(proxy, collision_role::unseen);
    } else {
        push_as(children, stops ? around : (around == collision_role::both ? collision_role::seen : around));
    }
}

void walker::carried(const frame& f, std::unordered_set<const node*> moving_parts::*by) {
    if (!moving_) return;
    for (std::int32_t m = f.motion; m >= 0 && static_cast<std::size_t>(m) < moving_->sites.size();) {
        const moving_parts::site& site = moving_->sites[static_cast<std::size_t>(m)];
        // A Billboard's part: the Transforms above it carry what it holds.
        if (!site.transform) {
            m = site.parent;
            continue;
        }
        if (!(moving_->*by).insert(site.transform).second) break;  // and those above it are marked too
        m = site.parent;
    }
}

// A DirectionalLight lights its whole group, the shapes before it included,
// so a group's lights are placed before any of its children is drawn.
void walker::add_scoped_lights(frame& f) {
    for (std::size_t i = f.next; i < f.end; ++i) {
        const node* n = (*f.list)[i];
        if (!n || !n->type || n->type->kind != node_kind::v2_directional_light) continue;
        const std::optional<scene_light> light = world_light(*n, world_matrix(f));
        if (!light) continue;
        carried(f, &moving_parts::carry_lights);
        if (!core_.add_scoped_light(*light, f.lights, *n)) return;
    }
}

// A Material's values, or a TwoSidedMaterial's front or (`back`) back ones.
void classic_material(const node& m, bool back, material_list& l) {
    const auto field = [back](const char* front_name, const char* back_name) { return back ? back_name : front_name; };
    l.diffuse = colour_of(m, field("diffuseColor", "backDiffuseColor"), 0.8f, 0.8f, 0.8f);
    const float ambient = unit(m.number(field("ambientIntensity", "backAmbientIntensity"), 0.2f), 0.2f);
    l.ambient = {ambient * l.diffuse[0], ambient * l.diffuse[1], ambient * l.diffuse[2]};
    l.specular = colour_of(m, field("specularColor", "backSpecularColor"), 0, 0, 0);
    l.emissive = colour_of(m, field("emissiveColor", "backEmissiveColor"), 0, 0, 0);
    l.shininess = {unit(m.number(field("shininess", "backShininess"), 0.2f), 0.2f)};
    l.transparency = {unit(m.number(field("transparency", "backTransparency"), 0), 0)};
}

// The back faces' own material: a TwoSidedMaterial's back values when it
// keeps them apart, or the material an X3D 4 Appearance gives its back
// faces; null when they show the front's.
std::shared_ptr<const shape_material> walker::back_material(const node* material, const node* back) {
    const auto first = [](const material_list& l) {
        auto m = std::make_shared<shape_material>();
        const auto colour = [](const std::vector<float>& from, float (&to)[3]) {
            if (from.size() >= 3) std::copy(from.begin(), from.begin() + 3, to);
        };
        colour(l.ambient, m->ambient);
        colour(l.diffuse, m->diffuse);
        colour(l.specular, m->specular);
        colour(l.emissive, m->emissive);
        if (!l.shininess.empty()) m->shininess = l.shininess[0];
        if (!l.transparency.empty()) m->transparency = l.transparency[0];
        return m;
    };
    if (material && material->type->name == "TwoSidedMaterial" && flag(*material, "separateBackColor", false)) {
        material_list l;
        classic_material(*material, true, l);
        return first(l);
    }
    if (!back || back == material) return nullptr;
    const node* kept = back_material_;
    back_material_ = nullptr;
    const material_list* l = material_for(back, nullptr);
    back_material_ = kept;
    return first(*l);
}

const material_list* walker::material_for(const node* material, const node* colours) {
    const node* back = material ? back_material_ : nullptr;
    auto [it, made] = materials_.try_emplace({material, colours, back});
    material_list& l = it->second;
    if (!made) return &l;
    l.back = back_material(material, back);
    const std::string_view material_type = material ? std::string_view(material->type->name) : std::string_view();
    if (material_type == "PhysicalMaterial") {
        physical_material(*material, l);
    } else if (material_type == "UnlitMaterial") {
        // Drawn unlit (shape_state::unlit), in its emissive colour.
        l.diffuse = colour_of(*material, "emissiveColor", 1, 1, 1);
        l.transparency = {unit(material->number("transparency", 0), 0)};
    } else if (material) {
        classic_material(*material, false, l);
    } else {
        // Unlit: the shape shows its Color node's, texture's or plain white.
        l.diffuse = {1, 1, 1};
    }
    if (colours && colours->type->kind == node_kind::x3d_color_rgba) {
        // r, g, b, a: alpha becomes the entry's transparency, which the back
        // end keeps per face (the face's first corner's), not per corner.
        const auto& c = colours->numbers("color");
        if (c.size() >= 4) {
            const std::size_t count = c.size() / 4;
            l.diffuse.resize(count * 3);
            l.transparency.resize(count);
            for (std::size_t i = 0; i < count; ++i) {
                for (std::size_t k = 0; k < 3; ++k) l.diffuse[i * 3 + k] = unit(c[i * 4 + k], 1);
                l.transparency[i] = 1 - unit(c[i * 4 + 3], 1);
            }
        }
    } else if (colours) {
        const auto& c = colours->numbers("color");
        if (c.size() >= 3) {
            l.diffuse.resize(c.size() / 3 * 3);
            for (std::size_t i = 0; i < l.diffuse.size(); ++i) l.diffuse[i] = unit(c[i], 1);
        }
    }
    return &l;
}

const texture_source* walker::texture_for(const node& t) {
    auto [it, made] = textures_.try_emplace(&t);
    if (!made) return it->second ? &*it->second : nullptr;
    texture_source source;
    source.where = t.where;
    source.repeat_s = flag(t, "repeatS", true);
    source.repeat_t = flag(t, "repeatT", true);
    source.alpha_replaces_transparency = true;
    if (t.type->kind == node_kind::v2_pixel_texture) {
        const auto& image = t.integers("image");
        if (image.size() < 3 || image[0] <= 0 || image[1] <= 0) return nullptr;
        source.image = image;
        source.image_key = &image;
    } else {
        const field_value* urls = t.value("url");
        if (!urls || urls->words.empty()) return nullptr;
        source.file = image_file(frames_.back().doc->file, urls->words);
        if (source.file.empty()) {
            core_.warn_once("remote-texture", t, "ImageTexture names no local file (\"" + urls->words[0] +
                                               "\"); the shape is drawn untextured");
            return nullptr;
        }
    }
    it->second = std::move(source);
    return &*it->second;
}

namespace {

// The nodes whose fields make what a Shape draws, and whether it shows an image.
bool shape_parts(const node& shape, std::vector<const node*>& parts) {
    parts.push_back(&shape);
    bool textured = false;
    if (const node* appearance = shape.child("appearance")) {
        parts.push_back(appearance);
        for (const char* field : {"material", "textureTransform"})
            if (const node* n = appearance->child(field)) parts.push_back(n);
        textured = appearance->child("texture") != nullptr;
    }
    if (const node* geometry = shape.child("geometry")) {
        parts.push_back(geometry);
        for (const char* field : {"coord", "color", "normal", "texCoord", "fontStyle"})
            if (geometry->type && geometry->type->field_index(field) >= 0)
                if (const node* n = geometry->child(field)) parts.push_back(n);
    }
    return textured;
}

}  // namespace

// A Shape that events change is drawn as a site of its own, which a tick
// can draw again alone.
void walker::draw_shape(const node& shape) {
    if (!live_ || live_->nodes.empty()) return draw_shape_now(shape);
    std::vector<const node*> parts;
    const bool textured = shape_parts(shape, parts);
    const bool changes = std::any_of(parts.begin(), parts.end(), [&](const node* n) { return live_->nodes.count(n); });
    if (!changes || textured) return draw_shape_now(shape);
    const std::size_t before = sink_.shapes_made();
    const std::span<const std::int32_t> lights = core_.lights_in_force(frames_.back().lights);
    draw_shape_now(shape);
    const std::size_t index = live_->sites.size();
    live_->sites.push_back({&shape, frames_.back().doc, matrix(), frames_.back().motion,
                            std::vector<std::int32_t>(lights.begin(), lights.end()), before,
                            sink_.shapes_made() - before, frames_.back().collision});
    for (const node* n : parts) {
        std::vector<std::size_t>& of = live_->sites_of[n];
        if (of.empty() || of.back() != index) of.push_back(index);
    }
}

void walker::redraw(const live_shapes::site& site) {
    world_ = site.doc;
    core_.begin(*site.doc);
    pass_ = pass::shapes;
    matrices_.assign(1, site.matrix);
    frames_.clear();
    static const std::vector<node*> none;
    frames_.push_back({&none, site.doc, 0, 0, 0, -1, site.motion, false, false, false, false, site.collision});
    lights_override_ = &site.lights;
    draw_shape_now(*site.shape);
}

void walker::draw_shape_now(const node& shape) {
    const node* geometry = shape.child("geometry");
    if (!geometry || !geometry->type) return;
    // A still scene's shape met again is its first drawing placed again.
    // Moving worlds number their parts' motions themselves, so they build.
    const bool shareable = visiting_again_ && !moving_ && !live_ && !lights_override_ && frames_.back().motion < 0 &&
                           frames_.back().collision == collision_role::both;
    if (shareable) {
        if (const auto known = drawn_.find(&shape); known != drawn_.end()) {
            const drawn_shape& d = known->second;
            const bool mirrored = determinant3(matrix()) < 0;
            if (d.count > 0 && d.placeable && mirrored == d.mirrored &&
                sink_.place_again(d.first, d.count, multiply(matrix(), d.back),
                                  core_.lights_in_force(frames_.back().lights), geometry->where))
                return;
        }
    }
    if (!shareable || drawn_.count(&shape)) return draw_shape_alone(shape, *geometry);
    const std::size_t before = sink_.shapes_made();
    draw_shape_alone(shape, *geometry);
    drawn_shape& d = drawn_[&shape];
    d.first = before;
    d.count = sink_.shapes_made() - before;
    d.mirrored = determinant3(matrix()) < 0;
    d.placeable = invert_affine(matrix(), d.back);
}

void walker::draw_shape_alone(const node& shape, const node& geometry_node) {
    const node* geometry = &geometry_node;
    const node* appearance = child_of(shape, "appearance", node_kind::v2_appearance);
    const node* material = appearance ? child_of(*appearance, "material", node_kind::v2_material) : nullptr;
    back_material_ = appearance ? child_of(*appearance, "backMaterial", node_kind::v2_material) : nullptr;
    shape_state s;
    s.matrix = matrix();
    s.motion = frames_.back().motion;
    s.collision = frames_.back().collision;
    s.where = geometry->where;
    s.lights = lights_override_ ? std::span<const std::int32_t>(*lights_override_)
                                : core_.lights_in_force(frames_.back().lights);
    s.unlit = material == nullptr || material->type->name == "UnlitMaterial";
    s.material = material_for(material, nullptr);
    if (appearance) {
        if (const node* t = appearance->child("texture"); t && t->type) {
            if (t->type->kind == node_kind::v2_image_texture || t->type->kind == node_kind::v2_pixel_texture)
                s.texture = texture_for(*t);
            else if (t->type->name == "MovieTexture")
                core_.warn_once("node MovieTexture", *t, "MovieTexture is not played; its shapes are drawn untextured");
        }
        if (const node* t = child_of(*appearance, "textureTransform", node_kind::v2_texture_transform))
            s.texture_transform = texture_transform_matrix(*t);
    }
    draw_geometry(*geometry, s, material);
}

void walker::draw_bare_geometry(const node& g) {
    core_.warn_once("bare geometry " + g.type->name, g,
                    g.type->name + " stands among children without a Shape; drawn as a Shape with a default Material");
    // The values of a Material node left at its defaults.
    static const material_list standard = [] {
        material_list l;
        l.diffuse = {0.8f, 0.8f, 0.8f};
        l.ambient = {0.16f, 0.16f, 0.16f};
        l.specular = {0, 0, 0};
        l.emissive = {0, 0, 0};
        l.shininess = {0.2f};
        l.transparency = {0};
        return l;
    }();
    shape_state s;
    s.matrix = matrix();
    s.motion = frames_.back().motion;
    s.collision = frames_.back().collision;
    s.where = g.where;
    s.lights = core_.lights_in_force(frames_.back().lights);
    s.material = &standard;
    draw_geometry(g, s, nullptr);
}

void walker::draw_geometry(const node& g, shape_state& s, const node* material) {
    const node_kind kind = g.type->kind;
    s.hints.ordering = vertex_ordering::counterclockwise;
    s.hints.solid = true;
    s.hints.convex = true;
    s.hints.crease_angle = 0;
    switch (kind) {
    case node_kind::v2_indexed_face_set:
    case node_kind::v2_indexed_line_set:
    case node_kind::v2_point_set: {
        // The document's own values, and materials the walk keeps: the back
        // end may build the shape after this call, on another thread.
        s.lasting = true;
        const node* coord = child_of(g, "coord", node_kind::v2_coordinate);
        if (!coord) return;  // nothing to draw, as the standard allows
        const auto& coords = coord->numbers("point");
        const node* colours = colour_node(g);
        const auto& coord_index = g.integers("coordIndex");
        std::span<const std::int32_t> colour_index;
        if (colours) {
            s.material = material_for(material, colours);
            if (kind == node_kind::v2_point_set) {
                s.material_binding = binding::per_vertex;
            } else if (flag(g, "colorPerVertex", true)) {
                // An empty colorIndex stands for coordIndex in the back end.
                s.material_binding = binding::per_vertex_indexed;
                colour_index = g.integers("colorIndex");
            } else {
                colour_index = g.integers("colorIndex");
                s.material_binding = colour_index.empty() ? binding::per_face : binding::per_face_indexed;
            }
        }
        if (kind == node_kind::v2_point_set) {
            if (!core_.spend(static_cast<std::int64_t>(coords.size()), g)) return;
            sink_.point_set(s, coords, 0, -1);
            return;
        }
        if (kind == node_kind::v2_indexed_line_set) {
            if (!core_.spend(static_cast<std::int64_t>(coords.size() + coord_index.size() + colour_index.size()), g)) return;
            sink_.line_set(s, coords, coord_index, colour_index, {});
            return;
        }
        std::span<const std::int32_t> normal_index;
        if (const node* normals = child_of(g, "normal", node_kind::v2_normal)) {
            s.normals = normals->numbers("vector");
            normal_index = g.integers("normalIndex");
            if (flag(g, "normalPerVertex", true)) s.normal_binding = binding::per_vertex_indexed;
            else s.normal_binding = normal_index.empty() ? binding::per_face : binding::per_face_indexed;
        }
        if (const node* tc = child_of(g, "texCoord", node_kind::v2_texture_coordinate)) {
            s.texture_coords = tc->numbers("point");
            s.texture_coord_index = g.integers("texCoordIndex");
        }
        s.hints.ordering = flag(g, "ccw", true) ? vertex_ordering::counterclockwise : vertex_ordering::clockwise;
        s.hints.solid = flag(g, "solid", true);
        s.hints.convex = flag(g, "convex", true);
        const float crease = g.number("creaseAngle", 0);
        s.hints.crease_angle = std::isfinite(crease) ? crease : 0;
        if (!core_.spend(static_cast<std::int64_t>(coords.size() + coord_index.size() + colour_index.size() +
                                             normal_index.size() + s.texture_coord_index.size()),
                   g))
            return;
        sink_.face_set(s, coords, coord_index, colour_index, normal_index);
        if (pass_ == pass::shapes && visiting_single_ && g.uses == 1) {
            // Once the back end has built the shape from them.
            sink_.after_built([&g, coord] {
                for (const char* field : {"coordIndex", "colorIndex", "normalIndex", "texCoordIndex"}) release(g, field);
                if (coord->uses == 1) release(*coord, "point");
                if (const node* normals = child_of(g, "normal", node_kind::v2_normal); normals && normals->uses == 1)
                    release(*normals, "vector");
                if (const node* tc = child_of(g, "texCoord", node_kind::v2_texture_coordinate); tc && tc->uses == 1)
                    release(*tc, "point");
            });
        }
        return;
    }
    case node_kind::v2_text: draw_text(g, s); return;
    case node_kind::x3d_face_sets:
    case node_kind::x3d_line_set: draw_x3d_set(g, s, material); return;
    case node_kind::v2_elevation_grid:
    case node_kind::v2_extrusion: draw_generated(g, s, material); return;
    case node_kind::v2_box:
    case node_kind::v2_sphere:
    case node_kind::v2_cone:
    case node_kind::v2_cylinder: break;
    default: return;  // not a geometry node: the Shape draws nothing
    }
    // A primitive becomes a few hundred coordinates in the back end.
    if (!core_.spend(200, g)) return;
    s.lasting = true;  // sizes only, and a material the walk keeps
    const auto parts_of = [&](std::initializer_list<std::pair<const char*, unsigned>> fields) {
        unsigned mask = 0;
        for (const auto& [field, bit] : fields)
            if (flag(g, field, true)) mask |= bit;
        return mask;
    };
    // X3D says which primitives show their inside; in VRML97 an open cone
    // or cylinder does.
    const unsigned cone_parts = parts_of({{"side", parts::sides}, {"bottom", parts::bottom}});
    const unsigned cylinder_parts = parts_of({{"side", parts::sides}, {"top", parts::top}, {"bottom", parts::bottom}});
    if (frames_.back().doc->x3d) s.hints.solid = flag(g, "solid", true);
    else if (kind == node_kind::v2_cone) s.hints.solid = cone_parts == (parts::sides | parts::bottom);
    else if (kind == node_kind::v2_cylinder) s.hints.solid = cylinder_parts == parts::all;
    switch (kind) {
    case node_kind::v2_box: {
        const auto& size = g.numbers("size");
        if (size.size() >= 3) sink_.cube(s, size[0], size[1], size[2]);
        else sink_.cube(s, 2, 2, 2);
        break;
    }
    case node_kind::v2_sphere: sink_.sphere(s, g.number("radius", 1)); break;
    case node_kind::v2_cone:
        sink_.cone(s, g.number("bottomRadius", 1), g.number("height", 2), cone_parts);
        break;
    case node_kind::v2_cylinder:
        sink_.cylinder(s, g.number("radius", 1), g.number("height", 2), cylinder_parts);
        break;
    default: break;
    }
}

// ElevationGrid and Extrusion: made into face sets here, so that the back
// end triangulates, lights and textures them like any other.
void walker::draw_generated(const node& g, shape_state& s, const node* material) {
    generated_faces faces;
    std::string problem;
    bool made = false;
    const bool grid = g.type->kind == node_kind::v2_elevation_grid;
    if (grid) {
        elevation_grid_params p;
        p.x_dimension = g.integer("xDimension", 0);
        p.z_dimension = g.integer("zDimension", 0);
        p.x_spacing = g.number("xSpacing", 1);
        p.z_spacing = g.number("zSpacing", 1);
        p.height = g.numbers("height");
        // A few numbers ask for millions of points: afforded before they are made.
        if (p.x_dimension > 0 && p.z_dimension > 0 &&
            !sink_.affords(std::int64_t{p.x_dimension} * p.z_dimension * generated_point_bytes, g.where, "triangles"))
            return;
        made = elevation_grid_faces(p, faces, problem);
    } else {
        extrusion_params p;
        p.cross_section = g.numbers("crossSection");
        p.spine = g.numbers("spine");
        p.scale = g.numbers("scale");
        p.orientation = g.numbers("orientation");
        p.begin_cap = flag(g, "beginCap", true);
        p.end_cap = flag(g, "endCap", true);
        if (!sink_.affords(static_cast<std::int64_t>(p.spine.size() / 3 + 2) *
                               static_cast<std::int64_t>(p.cross_section.size() / 2 + 1) * generated_point_bytes,
                           g.where, "triangles"))
            return;
        made = extrusion_faces(p, faces, problem);
    }
    if (!problem.empty()) {
        // Once per node, however often it is USE'd.
        core_.warn_once(std::to_string(reinterpret_cast<std::uintptr_t>(&g)), g,
                  g.type->name + (made ? ": " : " not drawn: ") + problem);
    }
    if (!made) return;
    s.hints.ordering = flag(g, "ccw", true) ? vertex_ordering::counterclockwise : vertex_ordering::clockwise;
    s.hints.solid = flag(g, "solid", true);
    // Grid cells are quads, split along a diagonal whatever the file says;
    // an Extrusion's convex field speaks of its caps.
    s.hints.convex = grid || flag(g, "convex", true);
    const float crease = g.number("creaseAngle", 0);
    s.hints.crease_angle = std::isfinite(crease) ? crease : 0;
    s.texture_coords = faces.texture_coords;
    s.texture_coord_index = faces.texture_coord_index;
    if (grid) {
        // Grid points are numbered like the grid's vertices and faces like
        // its cells, so per-vertex values follow coordIndex and per-face
        // values come one a cell.
        if (const node* colours = colour_node(g)) {
            s.material = material_for(material, colours);
            s.material_binding = flag(g, "colorPerVertex", true) ? binding::per_vertex_indexed : binding::per_face;
        }
        if (const node* normals = child_of(g, "normal", node_kind::v2_normal)) {
            s.normals = normals->numbers("vector");
            s.normal_binding = flag(g, "normalPerVertex", true) ? binding::per_vertex_indexed : binding::per_face;
        }
        if (const node* tc = child_of(g, "texCoord", node_kind::v2_texture_coordinate)) {
            s.texture_coords = tc->numbers("point");
            s.texture_coord_index = {};
        }
    }
    if (!core_.spend(static_cast<std::int64_t>(faces.coords.size() + 2 * faces.coord_index.size()), g)) return;
    sink_.face_set(s, faces.coords, faces.coord_index, {}, {});
}

// X3D's triangle, fan, strip and quad sets and LineSet: their faces or
// lines are made into index lists here, so that the back end draws them as
// it draws face and line sets. Colours, normals and texture coordinates
// follow the vertices as their points do; per face, one a triangle (or
// quad). Without normals, normalPerVertex asks for normals averaged over the
// faces that share a vertex, else each face's own.
void walker::draw_x3d_set(const node& g, shape_state& s, const node* material) {
    const node* coord = child_of(g, "coord", node_kind::v2_coordinate);
    if (!coord) return;
    const auto& coords = coord->numbers("point");
    const auto points = static_cast<std::int64_t>(coords.size() / 3);
    const bool lines = g.type->kind == node_kind::x3d_line_set;
    // The generated lists live for this call only.
    s.lasting = false;
    std::vector<std::int32_t> index;
    if (!core_.spend(static_cast<std::int64_t>(coords.size() + g.integers("index").size()), g)) return;
    if (lines) x3d_lines(g, points, index);
    else x3d_faces(g, points, index);
    if (index.empty() || !sink_.affords(static_cast<std::int64_t>(index.size() * sizeof(std::int32_t)), g.where, "triangles"))
        return;
    if (const node* colours = colour_node(g)) {
        s.material = material_for(material, colours);
        s.material_binding = lines || flag(g, "colorPerVertex", true) ? binding::per_vertex_indexed : binding::per_face;
    }
    if (lines) {
        sink_.line_set(s, coords, index, {}, {});
        return;
    }
    const bool per_vertex = flag(g, "normalPerVertex", true);
    if (const node* normals = child_of(g, "normal", node_kind::v2_normal)) {
        s.normals = normals->numbers("vector");
        s.normal_binding = per_vertex ? binding::per_vertex_indexed : binding::per_face;
    }
    s.hints.crease_angle = per_vertex ? std::numbers::pi_v<float> : 0;
    if (const node* tc = child_of(g, "texCoord", node_kind::v2_texture_coordinate)) s.texture_coords = tc->numbers("point");
    s.hints.ordering = flag(g, "ccw", true) ? vertex_ordering::counterclockwise : vertex_ordering::clockwise;
    s.hints.solid = flag(g, "solid", true);
    s.hints.convex = true;
    sink_.face_set(s, coords, index, {}, {});
}

void walker::draw_text(const node& text, shape_state& s) {
    const field_value* strings = text.value("string");
    if (!strings || strings->words.empty()) return;
    // Paid for before the letters are made: a long string makes many
    // triangles, a few dozen per character.
    std::int64_t characters = 0;
    for (const std::string& line : strings->words) characters += static_cast<std::int64_t>(line.size());
    if (!core_.spend(characters * 400, text)) return;
    auto [it, made] = texts_.try_emplace(&text);
    if (made && !sink_.affords(characters * glyph_bytes, text.where, "glyphs")) return;
    text_faces& faces = it->second;
    if (made) {
        text_layout layout;
        layout.size = 1;
        std::string minor = "FIRST";  // the second justify value: along the lines' succession
        if (const node* font = child_of(text, "fontStyle", node_kind::v2_font_style)) {
            const float size = font->number("size", 1);
            if (std::isfinite(size) && size > 0) layout.size = size;
            if (const field_value* v = font->value("family")) {
                const auto known = std::find_if(v->words.begin(), v->words.end(), [](const std::string& w) {
                    return w == "SERIF" || w == "SANS" || w == "TYPEWRITER";
                });
                if (known != v->words.end())
                    layout.family = *known == "SANS" ? font_family::sans
                                    : *known == "TYPEWRITER" ? font_family::typewriter
                                                             : font_family::serif;
            }
            const std::string_view style = font->word("style", "PLAIN");
            layout.bold = style == "BOLD" || style == "BOLDITALIC";
            layout.italic = style == "ITALIC" || style == "BOLDITALIC";
            const float spacing = font->number("spacing", 1);
            if (std::isfinite(spacing)) layout.spacing = spacing;
            const std::string_view justify = font->word("justify", "BEGIN");
            if (const field_value* v = font->value("justify"); v && v->words.size() > 1) minor = v->words[1];
            layout.justification = justify == "MIDDLE" ? text_justification::center
                                   : justify == "END"  ? text_justification::right
                                                       : text_justification::left;
            if (!flag(*font, "horizontal", true) || !flag(*font, "leftToRight", true) ||
                !flag(*font, "topToBottom", true))
                core_.warn_once("text-direction", *font,
                          "vertical or right-to-left text is drawn horizontally, left to right, top to bottom");
        }
        layout.widths = text.numbers("length");
        std::string error;
        if (!text_triangles(strings->words, layout, faces.coords, error)) {
            faces.coords.clear();
            core_.warn_once("font", text, "Text not drawn: " + error);
            return;
        }
        // The first baseline stands on y = 0 (FIRST); BEGIN puts the top of
        // the first line there, END the bottom of the last, MIDDLE the
        // middle between them. A line reaches 0.8 of the size above its
        // baseline and 0.2 below, as the usual fonts do.
        if (minor == "BEGIN" || minor == "MIDDLE" || minor == "END") {
            const float top = 0.8f * layout.size;
            const float bottom = -(static_cast<float>(strings->words.size()) - 1) * layout.spacing * layout.size -
                                 0.2f * layout.size;
            const float shift = minor == "BEGIN" ? -top : minor == "END" ? -bottom : -(top + bottom) / 2;
            for (std::size_t i = 1; i < faces.coords.size(); i += 3) faces.coords[i] += shift;
        }
        // The longest line is squeezed to maxExtent; lines are justified
        // about x = 0, so squeezing about it keeps their justification.
        const float max_extent = text.number("maxExtent", 0);
        if (std::isfinite(max_extent) && max_extent > 0 && faces.coords.size() >= 3) {
            float low = faces.coords[0], high = faces.coords[0];
            for (std::size_t i = 0; i < faces.coords.size(); i += 3) {
                low = std::min(low, faces.coords[i]);
                high = std::max(high, faces.coords[i]);
            }
            if (high - low > max_extent) {
                const float squeeze = max_extent / (high - low);
                for (std::size_t i = 0; i < faces.coords.size(); i += 3) faces.coords[i] *= squeeze;
            }
        }
        for (std::int32_t p = 0; p + 2 < static_cast<std::int32_t>(faces.coords.size() / 3); p += 3)
            faces.index.insert(faces.index.end(), {p, p + 1, p + 2, -1});
        faces.drawn = true;
    }
    if (!faces.drawn || faces.index.empty()) return;
    // Flat letters seen from either side.
    s.hints.ordering = vertex_ordering::unknown;
    s.hints.solid = false;
    sink_.face_set(s, faces.coords, faces.index, {}, {});
}

}  // namespace

void traverse_vrml2(const document& doc, geometry_sink& sink, warning_list& warnings, inline_source* inlines,
                    const traversal_limits& limits, bool release_drawn, moving_parts* moving, live_shapes* live,
                    const other_reading* vrml1) {
    if (moving) {
        moving->sites.clear();
        moving->carry_lights.clear();
        moving->carry_view.clear();
    }
    if (live) {
        live->sites.clear();
        live->sites_of.clear();
    }
    walker w(sink, warnings, inlines, limits, release_drawn, moving, live, vrml1);
    w.run(doc);
    sink.built();  // before the walk's materials go
}

void redraw_vrml2_shape(const live_shapes::site& site, geometry_sink& sink, warning_list& warnings) {
    walker w(sink, warnings, nullptr, {}, false, nullptr, nullptr);
    w.redraw(site);
    sink.built();
}

matrix4 vrml2_transform_matrix(const node& transform) { return transform_matrix(transform); }

}  // namespace tessel::vrml
