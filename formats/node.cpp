// What both VRML readings share of their parsed nodes: field look-ups,
// node tables, and the values a node holds.

#include <utility>

#include "formats/node_table.h"

namespace tessel::vrml {

namespace {

// Types with more fields than this are looked up through a hash.
constexpr std::size_t hashed_from = 16;

}  // namespace

int node_type::field_index(std::string_view field) const {
    if (!by_name_.empty()) {
        const auto found = by_name_.find(field);
        return found == by_name_.end() ? -1 : found->second;
    }
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].name == field) return static_cast<int>(i);
    return -1;
}

void node_type::add_field(std::string name, field_type type) {
    fields.push_back({std::move(name), type});
    if (fields.size() < hashed_from) return;
    // The first name wins, as in the scan above.
    if (by_name_.empty())
        for (std::size_t i = 0; i + 1 < fields.size(); ++i) by_name_.try_emplace(fields[i].name, static_cast<int>(i));
    by_name_.try_emplace(fields.back().name, static_cast<int>(fields.size() - 1));
}

std::int64_t value_bytes(const field_value& v) {
    std::int64_t bytes = static_cast<std::int64_t>(sizeof(field_value) + v.numbers.size() * sizeof(float) +
                                                   v.integers.size() * sizeof(std::int32_t) +
                                                   v.nodes.size() * sizeof(node*));
    for (const std::string& w : v.words) bytes += static_cast<std::int64_t>(sizeof(std::string) + w.size());
    return bytes;
}

field_value* value_slots::find(node& n, std::uint32_t field) {
    if (slots_.empty() && n.values.size() <= hashed_from) {
        for (field_value& v : n.values)
            if (v.field == field) return &v;
        return nullptr;
    }
    if (slots_.size() != n.type->fields.size()) {
        slots_.assign(n.type->fields.size(), -1);
        for (std::size_t i = 0; i < n.values.size(); ++i)
            if (n.values[i].field < slots_.size()) slots_[n.values[i].field] = static_cast<std::int32_t>(i);
    }
    if (field >= slots_.size() || slots_[field] < 0) return nullptr;
    return &n.values[static_cast<std::size_t>(slots_[field])];
}

void value_slots::added(const node& n) {
    if (slots_.empty() || n.values.empty()) return;
    const std::uint32_t field = n.values.back().field;
    if (field < slots_.size()) slots_[field] = static_cast<std::int32_t>(n.values.size() - 1);
}

node_table::node_table(const std::vector<type_spec>& specs) {
    for (const type_spec& s : specs) {
        node_type t;
        t.name = s.name;
        t.kind = s.kind;
        t.children = s.children;
        for (const auto& [name, type] : s.fields) t.fields.push_back({name, type});
        types_.push_back(std::move(t));
    }
    for (const node_type& t : types_) by_name_.emplace(t.name, &t);  // the first of a name wins
}

const node_type* node_table::find(std::string_view name) const {
    const auto found = by_name_.find(name);
    return found == by_name_.end() ? nullptr : found->second;
}

bool field_type_in(std::span<const std::pair<std::string_view, field_type>> names, std::string_view name,
                   field_type& type) {
    for (const auto& [n, t] : names)
        if (n == name) {
            type = t;
            return true;
        }
    return false;
}

const field_value* node::value(std::string_view field) const {
    const int index = type->field_index(field);
    if (index < 0) return nullptr;
    for (const field_value& v : values)
        if (v.field == static_cast<std::uint32_t>(index)) return &v;
    return nullptr;
}

const std::vector<node*>& node::nodes(std::string_view field) const {
    static const std::vector<node*> none;
    const field_value* v = value(field);
    return v ? v->nodes : none;
}

const node* node::child(std::string_view field) const {
    const field_value* v = value(field);
    return v && !v->nodes.empty() ? v->nodes[0] : nullptr;
}

const std::vector<float>& node::numbers(std::string_view field) const {
    static const std::vector<float> none;
    const field_value* v = value(field);
    return v ? v->numbers : none;
}

const std::vector<std::int32_t>& node::integers(std::string_view field) const {
    static const std::vector<std::int32_t> none;
    const field_value* v = value(field);
    return v ? v->integers : none;
}

float node::number(std::string_view field, float fallback) const {
    const field_value* v = value(field);
    return v && !v->numbers.empty() ? v->numbers[0] : fallback;
}

std::int32_t node::integer(std::string_view field, std::int32_t fallback) const {
    const field_value* v = value(field);
    return v && !v->integers.empty() ? v->integers[0] : fallback;
}

std::string_view node::word(std::string_view field, std::string_view fallback) const {
    const field_value* v = value(field);
    return v && !v->words.empty() ? std::string_view(v->words[0]) : fallback;
}

}  // namespace tessel::vrml
