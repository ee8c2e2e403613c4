#pragma once
// How the node tables of both readings are written, one line per type, and
// looked up by name. Internal to formats/.

#include <span>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "formats/node.h"

namespace tessel::vrml {

struct type_spec {
    const char* name;
    node_kind kind;
    bool children;  // holds child nodes of its own (VRML 1.0); VRML97 keeps them in fields
    std::vector<std::pair<const char*, field_type>> fields;
};

// The types of a table, found by name for every node a file gives: hashed.
class node_table {
public:
    explicit node_table(const std::vector<type_spec>& specs);
    node_table(const node_table&) = delete;
    node_table& operator=(const node_table&) = delete;
    const node_type* find(std::string_view name) const;

private:
    std::vector<node_type> types_;
    std::unordered_map<std::string_view, const node_type*> by_name_;  // keys are types_' names
};

// Looks a field type name up in a format's list of names.
bool field_type_in(std::span<const std::pair<std::string_view, field_type>> names, std::string_view name,
                   field_type& type);

}  // namespace tessel::vrml
