#include "formats/vrml1/traverse1.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

#include "world/lights_cameras.h"
#include "formats/vrml1/texture1.h"
#include "formats/vrml1/ascii_text.h"
#include "formats/vrml1/node_types1.h"
#include "geometry/matrix.h"
#include "media/text_glyphs.h"

namespace tessel::vrml {

namespace {

matrix4 rotation_of(const std::vector<float>& r) {
    return r.size() >= 4 ? rotation_matrix(r[0], r[1], r[2], r[3]) : matrix4{};
}

const material_list& default_material() {
    static const material_list none;
    return none;
}

const std::vector<float>& default_coordinates() {
    static const std::vector<float> origin = {0, 0, 0};
    return origin;
}

bool binding_named(std::string_view word, binding& out) {
    static const std::pair<std::string_view, binding> names[] = {
        {"DEFAULT", binding::default_binding},
        {"OVERALL", binding::overall},
        {"NONE", binding::overall},  // Inventor's obsolete name for OVERALL
        {"PER_PART", binding::per_part},
        {"PER_PART_INDEXED", binding::per_part_indexed},
        {"PER_FACE", binding::per_face},
        {"PER_FACE_INDEXED", binding::per_face_indexed},
        {"PER_VERTEX", binding::per_vertex},
        {"PER_VERTEX_INDEXED", binding::per_vertex_indexed},
    };
    for (const auto& [name, value] : names)
        if (name == word) {
            out = value;
            return true;
        }
    return false;
}

struct traversal_state {
    matrix4 matrix;
    const material_list* material = &default_material();
    binding material_binding = binding::overall;
    const std::vector<float>* coords = nullptr;
    const std::vector<float>* normals = nullptr;
    binding normal_binding = binding::default_binding;
    shape_hints hints;
    const node* font = nullptr;  // the FontStyle in force; null: the defaults
    std::int32_t lights = -1;  // the newest light in force (a link of the traversal core), -1: none
    const texture_source* texture = nullptr;
    texture_matrix texture_transform;
    const std::vector<float>* texture_coords = nullptr;
};

enum class saves : std::uint8_t { nothing, all, transform };

struct frame {
    const node* group;
    const document* doc;
    std::size_t next;
    std::size_t end;
    saves kind;
    std::int64_t saved = -1;  // index of this frame's copy, made when the state first changes inside it
    int enclosing_all;        // the nearest frame (this one included) that saves all state
    int enclosing_transform;  // the nearest frame (this one included) that saves the transform
    bool leaves_document;     // the last frame of an inlined file
};

class walker {
public:
    walker(geometry_sink& sink, warning_list& warnings, inline_source* inlines, const traversal_limits& limits)
        : core_(sink, warnings, inlines, limits), sink_(sink) {}

    void run(const document& doc);

private:
    void push(const node* group, const document* doc, std::size_t begin, std::size_t end, saves kind,
              bool leaves_document = false);
    void pop();
    // Called before the state changes: the nearest saving frame keeps a copy
    // first, so that a Separator that changes nothing costs nothing.
    void changing_state();
    void changing_transform();
    void visit(const node& n);
    void apply_transform(const node& n);
    void apply_texture_node(const node& n);
    void draw(const node& n);
    const material_list* material_for(const node& n);
    void open_inline(const node& n);
    void add_light(const node& n);
    void draw_text(const node& n);
    traversal_core core_;
    geometry_sink& sink_;
    traversal_state state_;
    std::vector<frame> frames_;
    std::vector<traversal_state> saved_states_;
    std::vector<matrix4> saved_matrices_;
    std::unordered_map<const node*, material_list> own_materials_;
    std::map<std::pair<const node*, const material_list*>, material_list> merged_materials_;
    bool camera_seen_ = false;
    std::unordered_map<const node*, texture_source> textures_;  // each Texture2 resolved once
};

void walker::run(const document& doc) {
    if (!doc.root) return;
    core_.begin(doc);
    push(doc.root, &doc, 0, doc.root->children.size(), saves::all, true);
    while (!frames_.empty() && !core_.stopped()) {
        frame& f = frames_.back();
        if (f.next >= f.end) {
            pop();
            continue;
        }
        const node* n = f.group->children[f.next++];
        if (!core_.count_visit(*n)) break;
        visit(*n);
    }
    core_.warnings().set_file(doc.file);
}

void walker::push(const node* group, const document* doc, std::size_t begin, std::size_t end, saves kind,
                  bool leaves_document) {
    const int index = static_cast<int>(frames_.size());
    frame f{group, doc, begin, std::min(end, group->children.size()), kind, -1, -1, -1, leaves_document};
    f.enclosing_all = kind == saves::all ? index : (frames_.empty() ? -1 : frames_.back().enclosing_all);
    f.enclosing_transform = kind != saves::nothing ? index : (frames_.empty() ? -1 : frames_.back().enclosing_transform);
    frames_.push_back(f);
}

void walker::pop() {
    const frame f = frames_.back();
    frames_.pop_back();
    if (f.saved >= 0) {
        if (f.kind == saves::all) {
            state_ = saved_states_.back();
            saved_states_.pop_back();
        } else {
            state_.matrix = saved_matrices_.back();
            saved_matrices_.pop_back();
        }
    }
    if (f.leaves_document) core_.leave();
}

void walker::changing_state() {
    if (frames_.empty()) return;
    const int i = frames_.back().enclosing_all;
    if (i >= 0 && frames_[static_cast<std::size_t>(i)].saved < 0) {
        frames_[static_cast<std::size_t>(i)].saved = static_cast<std::int64_t>(saved_states_.size());
        saved_states_.push_back(state_);
    }
}

void walker::changing_transform() {
    // The nearest Separator must keep the matrix from before the change even
    // when a TransformSeparator inside it saves the matrix too.
    changing_state();
    if (frames_.empty()) return;
    const int i = frames_.back().enclosing_transform;
    if (i < 0) return;
    frame& f = frames_[static_cast<std::size_t>(i)];
    if (f.saved >= 0) return;
    if (f.kind == saves::all) {
        f.saved = static_cast<std::int64_t>(saved_states_.size());
        saved_states_.push_back(state_);
    } else {
        f.saved = static_cast<std::int64_t>(saved_matrices_.size());
        saved_matrices_.push_back(state_.matrix);
    }
}

void walker::visit(const node& n) {
    const document* doc = frames_.back().doc;
    switch (n.type->kind) {
    case node_kind::separator:
    case node_kind::www_anchor: push(&n, doc, 0, n.children.size(), saves::all); break;
    case node_kind::lod: push(&n, doc, 0, 1, saves::all); break;
    case node_kind::transform_separator: push(&n, doc, 0, n.children.size(), saves::transform); break;
    case node_kind::group: push(&n, doc, 0, n.children.size(), saves::nothing); break;
    case node_kind::switch_group: {
        const std::int32_t which = n.integer("whichChild", -1);
        if (which == -3) {
            push(&n, doc, 0, n.children.size(), saves::nothing);
        } else if (which >= 0 && static_cast<std::size_t>(which) < n.children.size()) {
            push(&n, doc, static_cast<std::size_t>(which), static_cast<std::size_t>(which) + 1, saves::nothing);
        } else if (which != -1) {
            core_.warn_once("switch", n, "Switch whichChild " + std::to_string(which) + " names no child; nothing drawn");
        }
        break;
    }
    case node_kind::www_inline: open_inline(n); break;
    case node_kind::coordinate3: {
        changing_state();
        const field_value* v = n.value("point");
        state_.coords = v ? &v->numbers : &default_coordinates();
        break;
    }
    case node_kind::normal: {
        changing_state();
        state_.normals = &n.numbers("vector");
        break;
    }
    case node_kind::material:
    case node_kind::base_color: {
        changing_state();
        state_.material = material_for(n);
        break;
    }
    case node_kind::material_binding:
    case node_kind::normal_binding: {
        const std::string_view word = n.word("value", n.type->kind == node_kind::material_binding ? "OVERALL" : "DEFAULT");
        binding b;
        if (!binding_named(word, b)) {
            core_.warn(n, "unknown binding " + std::string(word) + " in " + n.type->name + "; ignored");
            break;
        }
        changing_state();
        (n.type->kind == node_kind::material_binding ? state_.material_binding : state_.normal_binding) = b;
        break;
    }
    case node_kind::shape_hints: {
        changing_state();
        // Like every node, ShapeHints gives all its fields: those the file
        // leaves out take their defaults.
        state_.hints = shape_hints{};
        if (const field_value* v = n.value("vertexOrdering"); v && !v->words.empty()) {
            const std::string& w = v->words[0];
            state_.hints.ordering = w == "COUNTERCLOCKWISE" ? vertex_ordering::counterclockwise
                                    : w == "CLOCKWISE"      ? vertex_ordering::clockwise
                                                            : vertex_ordering::unknown;
        }
        if (const field_value* v = n.value("shapeType"); v && !v->words.empty()) state_.hints.solid = v->words[0] == "SOLID";
        // Faces are only fanned when the file says they are convex; a
        // concave face fanned would be drawn wrong, a convex one tessellated
        // is only slower.
        if (const field_value* v = n.value("faceType"); v && !v->words.empty()) state_.hints.convex = v->words[0] == "CONVEX";
        if (const field_value* v = n.value("creaseAngle"); v && !v->numbers.empty()) state_.hints.crease_angle = v->numbers[0];
        break;
    }
    case node_kind::transform:
    case node_kind::translation:
    case node_kind::rotation:
    case node_kind::scale:
    case node_kind::matrix_transform:
    case node_kind::rotation_xyz:
        changing_transform();
        apply_transform(n);
        break;
    case node_kind::texture2:
    case node_kind::texture2_transform:
    case node_kind::texture_coordinate2:
        changing_state();
        apply_texture_node(n);
        break;
    case node_kind::indexed_face_set:
    case node_kind::indexed_line_set:
    case node_kind::point_set:
    case node_kind::cube:
    case node_kind::sphere:
    case node_kind::cone:
    case node_kind::cylinder: draw(n); break;
    case node_kind::light: add_light(n); break;
    case node_kind::font_style:
        changing_state();
        state_.font = &n;
        break;
    case node_kind::ascii_text: draw_text(n); break;
    case node_kind::camera:
        // The first viewpoint is where the author meant the scene seen from.
        if (!camera_seen_) {
            camera_seen_ = true;
            sink_.camera(world_camera(n, state_.matrix));
        }
        break;
    case node_kind::quiet:
    case node_kind::unknown: break;
    default: break;  // VRML97 kinds never reach a VRML 1.0 document
    }
}

void walker::apply_transform(const node& n) {
    matrix4 m;
    switch (n.type->kind) {
    case node_kind::transform: {
        const auto& t = n.numbers("translation");
        const auto& c = n.numbers("center");
        const auto& s = n.numbers("scaleFactor");
        const auto& so = n.numbers("scaleOrientation");
        const float cx = c.size() >= 3 ? c[0] : 0, cy = c.size() >= 3 ? c[1] : 0, cz = c.size() >= 3 ? c[2] : 0;
        // T * C * R * SO * S * -SO * -C: scaled about the centre along the
        // scale orientation, turned about the centre, then moved.
        if (t.size() >= 3) m = translation_matrix(t[0], t[1], t[2]);
        m = multiply(m, translation_matrix(cx, cy, cz));
        m = multiply(m, rotation_of(n.numbers("rotation")));
        const matrix4 orient = rotation_of(so);
        m = multiply(m, orient);
        if (s.size() >= 3) m = multiply(m, scale_matrix(s[0], s[1], s[2]));
        if (so.size() >= 4) m = multiply(m, rotation_matrix(so[0], so[1], so[2], -so[3]));
        m = multiply(m, translation_matrix(-cx, -cy, -cz));
        break;
    }
    case node_kind::translation: {
        const auto& t = n.numbers("translation");
        if (t.size() >= 3) m = translation_matrix(t[0], t[1], t[2]);
        break;
    }
    case node_kind::rotation: m = rotation_of(n.numbers("rotation")); break;
    case node_kind::scale: {
        const auto& s = n.numbers("scaleFactor");
        if (s.size() >= 3) m = scale_matrix(s[0], s[1], s[2]);
        break;
    }
    case node_kind::matrix_transform: {
        // The file writes the matrix row by row with the translation in the
        // last row: exactly OpenGL's column-major order.
        const auto& v = n.numbers("matrix");
        if (v.size() >= 16)
            for (int i = 0; i < 16; ++i) m.m[i] = v[static_cast<std::size_t>(i)];
        break;
    }
    case node_kind::rotation_xyz: {
        const std::string_view axis = n.word("axis", "X");
        const float angle = n.number("angle", 0);
        if (axis == "X") m = rotation_matrix(1, 0, 0, angle);
        else if (axis == "Y") m = rotation_matrix(0, 1, 0, angle);
        else if (axis == "Z") m = rotation_matrix(0, 0, 1, angle);
        else core_.warn(n, "RotationXYZ axis " + std::string(axis) + " is not X, Y or Z; ignored");
        break;
    }
    default: break;
    }
    state_.matrix = multiply(state_.matrix, m);
}

void walker::apply_texture_node(const node& n) {
    switch (n.type->kind) {
    case node_kind::texture2: {
        auto [it, made] = textures_.try_emplace(&n);
        if (made && !texture2_source(n, *frames_.back().doc, it->second)) {
            textures_.erase(it);
            state_.texture = nullptr;
            break;
        }
        state_.texture = &it->second;
        break;
    }
    case node_kind::texture2_transform:
        state_.texture_transform = multiply(state_.texture_transform, texture2_transform_matrix(n));
        break;
    case node_kind::texture_coordinate2: state_.texture_coords = &n.numbers("point"); break;
    default: break;
    }
}

const material_list* walker::material_for(const node& n) {
    const std::string_view diffuse = n.type->kind == node_kind::base_color ? "rgb" : "diffuseColor";
    auto [own, made] = own_materials_.try_emplace(&n);
    if (made) {
        material_list& l = own->second;
        l.ambient = n.numbers("ambientColor");
        l.diffuse = n.numbers(diffuse);
        l.specular = n.numbers("specularColor");
        l.emissive = n.numbers("emissiveColor");
        l.shininess = n.numbers("shininess");
        l.transparency = n.numbers("transparency");
    }
    const material_list& mine = own->second;
    const material_list* before = state_.material;
    // A Material replaces the whole material: a field it does not give takes
    // its default, as for any node. Inventor's BaseColor only sets the
    // diffuse colours and leaves the rest in force.
    if (n.type->kind != node_kind::base_color || before == &default_material()) return &mine;
    auto [merged, fresh] = merged_materials_.try_emplace({&n, before});
    if (fresh) {
        material_list& l = merged->second;
        l.ambient = n.value("ambientColor") ? mine.ambient : before->ambient;
        l.diffuse = n.value(diffuse) ? mine.diffuse : before->diffuse;
        l.specular = n.value("specularColor") ? mine.specular : before->specular;
        l.emissive = n.value("emissiveColor") ? mine.emissive : before->emissive;
        l.shininess = n.value("shininess") ? mine.shininess : before->shininess;
        l.transparency = n.value("transparency") ? mine.transparency : before->transparency;
    }
    return &merged->second;
}

void walker::open_inline(const node& n) {
    if (!core_.inlines()) return;
    const document* from = frames_.back().doc;
    const std::string name(n.word("name", ""));
    if (name.empty()) {
        core_.warn(n, "WWWInline without a name; ignored");
        return;
    }
    const document* doc = core_.inlines()->open(*from, name, n.where);
    core_.restore_file();
    if (!doc || !doc->root) return;
    switch (core_.may_enter(*doc)) {
    case traversal_core::entry::already_open:
        core_.warn(n, "WWWInline \"" + name + "\" includes a file that is already being read; ignored");
        return;
    case traversal_core::entry::too_deep:
        core_.warn(n, "WWWInline \"" + name + "\" nests inlines more than " + std::to_string(core_.limits().inline_depth) +
                    " deep; ignored");
        return;
    case traversal_core::entry::allowed: break;
    }
    core_.enter(*doc);
    push(doc->root, doc, 0, doc->root->children.size(), saves::all, true);
}

void walker::add_light(const node& n) {
    const std::optional<scene_light> light = world_light(n, state_.matrix);
    if (!light) return;
    std::int32_t link = state_.lights;
    if (!core_.add_scoped_light(*light, link, n)) return;
    changing_state();
    state_.lights = link;
}

void walker::draw_text(const node& n) {
    // Paid for before the letters are made: a long string makes many
    // triangles, a few dozen per character.
    std::int64_t characters = 0;
    if (const field_value* v = n.value("string"))
        for (const std::string& line : v->words) characters += static_cast<std::int64_t>(line.size());
    if (!core_.spend(characters * 400, n)) return;
    // A few dozen triangles a character, afforded before they are made.
    if (!sink_.affords(characters * glyph_bytes, n.where, "glyphs")) return;
    std::vector<float> coords;
    std::vector<std::int32_t> index;
    std::string error;
    if (!ascii_text_faces(n, state_.font, coords, index, error)) {
        core_.warn_once("font", n, "AsciiText not drawn: " + error);
        return;
    }
    if (index.empty()) return;
    // Flat letters facing +z, counterclockwise; one material for the whole text.
    shape_state s;
    s.matrix = state_.matrix;
    s.material = state_.material;
    s.material_binding = binding::overall;
    s.hints.ordering = vertex_ordering::counterclockwise;
    s.hints.convex = true;
    s.where = n.where;
    s.lights = core_.lights_in_force(state_.lights);
    sink_.face_set(s, coords, index, {}, {});
}

void walker::draw(const node& n) {
    shape_state s;
    s.lights = core_.lights_in_force(state_.lights);
    s.matrix = state_.matrix;
    s.material = state_.material;
    s.material_binding = state_.material_binding;
    s.normal_binding = state_.normal_binding;
    s.hints = state_.hints;
    s.where = n.where;
    const std::vector<float>* coords = state_.coords;
    const std::vector<float>* normals = state_.normals;
    if (const field_value* vp = n.value("vertexProperty"); vp && vp->node) {
        // Inventor's per-shape vertex data takes the place of the state's.
        if (const field_value* v = vp->node->value("vertex")) coords = &v->numbers;
        if (const field_value* v = vp->node->value("normal")) normals = &v->numbers;
    }
    if (normals) s.normals = *normals;
    s.texture = state_.texture;
    s.texture_transform = state_.texture_transform;
    if (state_.texture_coords) s.texture_coords = *state_.texture_coords;
    if (n.type->kind == node_kind::indexed_face_set) s.texture_coord_index = n.integers("textureCoordIndex");
    // The document's own values, and materials the walk keeps: the back
    // end may build the shape after this call, on another thread.
    s.lasting = true;
    switch (n.type->kind) {
    case node_kind::indexed_face_set:
    case node_kind::indexed_line_set:
    case node_kind::point_set: {
        if (!coords) {
            core_.warn_once("coordinates", n, n.type->name + " with no Coordinate3 before it; drawn with none");
        }
        const std::span<const float> c = coords ? std::span<const float>(*coords) : std::span<const float>();
        if (n.type->kind == node_kind::point_set) {
            if (!core_.spend(static_cast<std::int64_t>(c.size()), n)) return;
            sink_.point_set(s, c, n.integer("startIndex", 0), n.integer("numPoints", -1));
            return;
        }
        const auto& ci = n.integers("coordIndex");
        const auto& mi = n.integers("materialIndex");
        const auto& ni = n.integers("normalIndex");
        if (!core_.spend(static_cast<std::int64_t>(c.size() + ci.size() + mi.size() + ni.size()), n)) return;
        if (n.type->kind == node_kind::indexed_face_set)
            sink_.face_set(s, c, ci, mi, ni);
        else
            sink_.line_set(s, c, ci, mi, ni);
        return;
    }
    default: break;
    }
    // A primitive becomes a few hundred coordinates in the back end.
    if (!core_.spend(200, n)) return;
    unsigned parts = parts::all;
    if (const field_value* v = n.value("parts")) {
        parts = 0;
        for (const std::string& w : v->words) {
            if (w == "SIDES") parts |= parts::sides;
            else if (w == "TOP" && n.type->kind == node_kind::cylinder) parts |= parts::top;
            else if (w == "BOTTOM") parts |= parts::bottom;
            else if (w == "ALL") parts |= parts::all;
            else core_.warn(n, "unknown part " + w + " of " + n.type->name + "; ignored");
        }
    }
    if (n.type->kind == node_kind::cone) parts &= parts::sides | parts::bottom;  // a cone has no top
    // Primitives are closed whatever the ShapeHints say; an open cone or
    // cylinder shows its inside.
    s.hints.solid = n.type->kind == node_kind::cone       ? parts == (parts::sides | parts::bottom)
                    : n.type->kind == node_kind::cylinder ? parts == parts::all
                                                          : true;
    switch (n.type->kind) {
    case node_kind::cube:
        sink_.cube(s, n.number("width", 2), n.number("height", 2), n.number("depth", 2));
        break;
    case node_kind::sphere: sink_.sphere(s, n.number("radius", 1)); break;
    case node_kind::cone: sink_.cone(s, n.number("bottomRadius", 1), n.number("height", 2), parts); break;
    case node_kind::cylinder: sink_.cylinder(s, n.number("radius", 1), n.number("height", 2), parts); break;
    default: break;
    }
}

}  // namespace

void traverse_vrml1(const document& doc, geometry_sink& sink, warning_list& warnings, inline_source* inlines,
                    const traversal_limits& limits) {
    walker w(sink, warnings, inlines, limits);
    w.run(doc);
    sink.built();  // before the walk's materials go
}

}  // namespace tessel::vrml
