#pragma once
// Nodes as a standard reading parses them: every node keeps the fields its
// file gave, typed, so that traversal (and later readers of textures, lights
// or text) can look at them; children and node-valued fields point at other
// nodes of the same document. A USE is the DEF'd node itself, pointed at
// again, so it does everything that node does wherever it appears.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "vrml/geometry.h"

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
};

// Looks a type name up ("SFFloat", "MFVec3f", Inventor's "MFInt32"...).
// Returns false for names this reader cannot parse.
bool field_type_named(std::string_view name, field_type& type);

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
};

// The built-in types of VRML 1.0 and the Inventor nodes its files use.
// Returns null for an unknown name.
const node_type* vrml1_node_type(std::string_view name);

// One field as its file gave it. Numbers of float types go to `numbers`
// (SFBool, SFLong, MFLong and SFImage to `integers`), names and strings to
// `words`, a node value to `node`.
struct field_value {
    std::uint16_t field = 0;  // index in the node type's fields
    std::vector<float> numbers;
    std::vector<std::int32_t> integers;
    std::vector<std::string> words;
    struct node* node = nullptr;
};

struct node {
    const node_type* type = nullptr;
    source_position where;
    std::vector<field_value> values;  // only the fields the file gave, each once
    std::vector<node*> children;

    const field_value* value(std::string_view field) const;
    // The field's numbers, or an empty list when the file did not give it.
    const std::vector<float>& numbers(std::string_view field) const;
    const std::vector<std::int32_t>& integers(std::string_view field) const;
    float number(std::string_view field, float fallback) const;
    std::int32_t integer(std::string_view field, std::int32_t fallback) const;
    // The first word (enum value, string), or fallback.
    std::string_view word(std::string_view field, std::string_view fallback) const;
};

// Every node of one file, owned in one place so that the tree needs no
// recursion to free, however deep it is.
struct document {
    std::string file;  // for warnings
    std::deque<node> nodes;
    std::deque<node_type> declared_types;  // from extension nodes' field declarations
    node* root = nullptr;                  // the top-level nodes, as if in one Separator

    node& make(const node_type* type, source_position where) {
        node& n = nodes.emplace_back();
        n.type = type;
        n.where = where;
        return n;
    }
};

}  // namespace tessel::vrml
