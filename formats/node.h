#pragma once
// Nodes as a standard reading parses them: every node keeps the fields its
// file gave, typed, so that traversal (and later readers of textures, lights
// or text) can look at them; children and node-valued fields point at other
// nodes of the same document. A USE is the DEF'd node itself, pointed at
// again, so it does everything that node does wherever it appears.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "input/warnings.h"

namespace tessel::vrml {

enum class field_type : std::uint8_t {
    sf_bool,
    sf_color,
    sf_enum,
    sf_float,
    sf_image,
    sf_long,
    sf_matrix,
    sf_rotation,
    sf_string,
    sf_vec2f,
    sf_vec3f,
    sf_bitmask,
    sf_node,
    mf_color,
    mf_float,
    mf_long,
    mf_string,
    mf_vec2f,
    mf_vec3f,
    // VRML97 only: read by its own type names (vrml2_field_type_named)
    sf_time,
    mf_time,
    mf_rotation,
    mf_node,
    // X3D only: four numbers a value (r, g, b, a; x, y, z, w), and lists of
    // booleans
    sf_color_rgba,
    mf_color_rgba,
    sf_vec4f,
    mf_vec4f,
    mf_bool,
};

// What traversal does with a node; unknown nodes keep their type's name.
enum class node_kind : std::uint8_t {
    unknown,
    // groups
    separator,
    transform_separator,
    group,
    switch_group,
    lod,
    www_anchor,
    www_inline,
    // properties
    coordinate3,
    material,
    base_color,  // Inventor: sets the diffuse colours alone
    material_binding,
    normal,
    normal_binding,
    shape_hints,
    transform,
    translation,
    rotation,
    scale,
    matrix_transform,
    rotation_xyz,
    // shapes
    indexed_face_set,
    indexed_line_set,
    point_set,
    cube,
    sphere,
    cone,
    cylinder,
    // lights and viewpoints, told apart by their type's name
    light,
    camera,
    // text: the font in force, and the letters drawn with it
    font_style,
    ascii_text,
    // texturing
    texture2,
    texture2_transform,
    texture_coordinate2,
    // kept for later readers, no effect yet
    quiet,
    // VRML97: nodes whose children sit in fields, and the nodes a Shape names
    v2_transform,
    v2_group,    // Group, Billboard, Collision, Anchor: children drawn as they are
    v2_switch,
    v2_lod,
    v2_inline,
    v2_shape,
    v2_appearance,
    v2_material,
    v2_image_texture,
    v2_pixel_texture,
    v2_texture_transform,
    v2_indexed_face_set,
    v2_indexed_line_set,
    v2_point_set,
    v2_box,
    v2_sphere,
    v2_cone,
    v2_cylinder,
    v2_elevation_grid,
    v2_extrusion,
    v2_text,
    v2_font_style,
    v2_coordinate,
    v2_color,
    v2_normal,
    v2_texture_coordinate,
    v2_directional_light,
    v2_point_light,
    v2_spot_light,
    v2_viewpoint,
    v2_background,
    v2_navigation_info,
    // X3D: triangle, fan, strip and quad sets (told apart by their type's
    // name), LineSet, ColorRGBA, and a CADFace, which holds one shape
    x3d_face_sets,
    x3d_line_set,
    x3d_color_rgba,
    x3d_cad_face,
};

struct field_def {
    std::string name;
    field_type type;
};

struct node_type {
    std::string name;
    node_kind kind = node_kind::unknown;
    std::vector<field_def> fields;
    bool children = false;  // may hold child nodes
    // Returns the index of the named field, or -1.
    int field_index(std::string_view field) const;
    // Declares one more field (a PROTO's interface, an extension node's
    // declaration). Types of many fields are looked up through a hash, so
    // that reading them stays linear in the file.
    void add_field(std::string name, field_type type);

private:
    struct name_hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::unordered_map<std::string, int, name_hash, std::equal_to<>> by_name_;  // filled past a few fields
};

// One field as its file gave it. Numbers of float types go to `numbers`
// (SFBool, SFLong, MFLong and SFImage to `integers`), names and strings to
// `words`, a VRML 1.0 node value to `node`, VRML97 SFNode and MFNode values
// to `nodes` (NULL leaves it empty).
struct field_value {
    std::uint32_t field = 0;  // index in the node type's fields
    // Inside a PROTO body: the interface field this value stands for ("IS"),
    // replaced by the instance's value when the PROTO is instantiated; -1
    // for a plain value.
    std::int32_t is_ref = -1;
    std::vector<float> numbers;
    std::vector<std::int32_t> integers;
    std::vector<std::string> words;
    struct node* node = nullptr;
    std::vector<struct node*> nodes;
};

struct node {
    const node_type* type = nullptr;
    source_position where;
    std::vector<field_value> values;  // only the fields the file gave, each once
    std::vector<node*> children;
    // Inside a PROTO body: this node, or a node it holds, takes a value from
    // the PROTO's interface, so each instance needs its own copy. Nodes
    // without it are shared by every instance.
    bool uses_interface = false;
    // VRML97: how many places hold this node (fields of other nodes, USEs,
    // PROTO instances sharing it). A node held once, on a path held once
    // all the way up, is drawn once, so its arrays may go once drawn.
    std::uint32_t uses = 0;

    const field_value* value(std::string_view field) const;
    // The field's numbers, or an empty list when the file did not give it.
    const std::vector<float>& numbers(std::string_view field) const;
    // VRML97 node-valued fields: the nodes given, or an empty list.
    const std::vector<node*>& nodes(std::string_view field) const;
    // The first node of a VRML97 SFNode field, or null.
    const node* child(std::string_view field) const;
    const std::vector<std::int32_t>& integers(std::string_view field) const;
    float number(std::string_view field, float fallback) const;
    std::int32_t integer(std::string_view field, std::int32_t fallback) const;
    // The first word (enum value, string), or fallback.
    std::string_view word(std::string_view field, std::string_view fallback) const;
};

// What a value holds, in bytes, as a load's budget counts it.
std::int64_t value_bytes(const field_value& v);

// A node's value of a field while a parser reads the node: a look through
// its few values, or for a node of many fields (a PROTO instance, an
// extension node) a table by field number, so that giving every one of
// thousands of fields stays linear.
class value_slots {
public:
    field_value* find(node& n, std::uint32_t field);
    // After n.values got a new last entry.
    void added(const node& n);

private:
    std::vector<std::int32_t> slots_;  // per field of the type: index in values, or -1
};

// A VRML97 PROTO: its interface, with the default value of each field, and
// the body's first node, which an instance stands for (the other body nodes
// are read but draw nothing).
struct proto_field {
    std::string name;
    field_type type = field_type::sf_float;
    bool has_value = false;  // field and exposedField; events carry no value
    bool routable = false;   // exposedField and events: ROUTEs may name it
    field_value value;       // the default
};

// "ROUTE from.event TO to.event" as the file gave it: the nodes its DEF
// names stood for where the ROUTE stands, the events by their names. What
// the names mean is the live world's to resolve.
struct route_statement {
    node* from = nullptr;
    std::string from_event;
    node* to = nullptr;
    std::string to_event;
    source_position where;
};

// X3D's IMPORT: a node that the file an Inline reads EXPORTs under a name,
// known to the importing file only through its ROUTEs. Which node it is
// shows once the Inline's file has been read.
struct imported_node {
    const node* inline_node = nullptr;
    std::string exported;
};

// A ROUTE of which an end is an imported node; the other end, if it is
// the file's own, stands in `route`.
struct imported_route {
    route_statement route;
    imported_node from, to;  // inline_node null: route's own end
};

// "event IS interfaceField" (or a field's IS) of a node in a PROTO body:
// events that reach an instance's interface field go to this node's event,
// and the node's events leave by it.
struct interface_link {
    std::string name;   // the interface field
    node* target = nullptr;
    std::string event;  // the target's event or field
};

struct proto_definition {
    std::string name;
    std::vector<proto_field> fields;
    node* body = nullptr;
    // Every top-level node of the body: the first is drawn, the others
    // (sensors, interpolators) only take part in events.
    std::vector<node*> body_nodes;
    // What each instance gets a copy of, its nodes mapped to the instance's:
    // the body's ROUTEs, its IS links by interface field number, and the
    // interfaces of PROTO instances inside the body (by the node each
    // instance became).
    std::vector<route_statement> routes;
    struct link {
        node* from;
        std::string event;
        std::int32_t field;
    };
    std::vector<link> links;
    std::vector<std::pair<node*, interface_link>> inner_interfaces;
    source_position where;
    node_type instance_type;  // the interface as a node type: an instance's fields are read by it
    int proto_field_index(std::string_view field) const;
};

// Every node of one file, owned in one place so that the tree needs no
// recursion to free, however deep it is.
struct document {
    std::string file;  // for warnings
    bool vrml2 = false;  // read as VRML97: children sit in node-valued fields
    // An X3D file in its classic encoding, read by the VRML97 reading with
    // X3D's statements, access keywords, fields and nodes.
    bool x3d = false;
    // X3D's UNIT statements: the file's lengths and angles in metres and
    // radians are its numbers times these.
    float length_unit = 1.0f;
    float angle_unit = 1.0f;
    std::deque<node> nodes;
    std::deque<node_type> declared_types;  // from extension nodes' field declarations
    node* root = nullptr;                  // the top-level nodes, as if in one Separator
    // VRML97: documents this one's nodes point into (the files EXTERNPROTOs
    // name), kept alive as long as it is.
    std::vector<std::shared_ptr<const document>> uses;
    std::deque<proto_definition> protos;  // VRML97 PROTOs, for the files that name them by EXTERNPROTO
    // The last PROTO or EXTERNPROTO declared under each name, and the names
    // some PROTO with a body was declared under: looked up rather than
    // searched, however many a file declares.
    std::unordered_map<std::string, const proto_definition*> last_proto_named;
    std::unordered_set<std::string> proto_bodies;
    // The ROUTEs outside PROTO bodies, in the order of the file, those of
    // the PROTO instances' bodies included.
    std::vector<route_statement> routes;
    // The interface of each PROTO instance outside PROTO bodies, by the
    // node the instance became.
    std::unordered_map<const node*, std::vector<interface_link>> interfaces;
    // X3D: the nodes this file EXPORTs, by the name they are exported as,
    // and its ROUTEs to and from nodes it IMPORTs from its Inlines' files.
    std::unordered_map<std::string, node*> exports;
    std::vector<imported_route> imported_routes;

    // The DEF names of Viewpoints, which name them in the viewer's list when
    // they have no description.
    std::unordered_map<const node*, std::string> view_names;
    // A large text read on several threads: the documents of its later
    // shares, whose top-level nodes joined this one's root. Their nodes are
    // this document's as much as `nodes` are (each_node visits both).
    std::vector<std::shared_ptr<document>> shares;

    node& make(const node_type* type, source_position where) {
        node& n = nodes.emplace_back();
        n.type = type;
        n.where = where;
        return n;
    }
};

// Calls f on every node of the document, those of its shares included.
template <typename F>
void each_node(document& doc, F&& f) {
    for (node& n : doc.nodes) f(n);
    for (const std::shared_ptr<document>& share : doc.shares)
        for (node& n : share->nodes) f(n);
}

}  // namespace tessel::vrml
