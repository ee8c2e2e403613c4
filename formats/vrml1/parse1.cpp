#include "formats/vrml1/parse1.h"

#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "input/budget.h"
#include "formats/field_reader.h"
#include "formats/lexer.h"
#include "formats/vrml1/node_types1.h"

namespace tessel::vrml {

namespace {

std::string position_text(source_position p) {
    return std::to_string(p.line) + ":" + std::to_string(p.column);
}

const node_type& root_type() {
    static const node_type t = [] {
        node_type r = *vrml1_node_type("Separator");
        r.name = "(top level)";
        return r;
    }();
    return t;
}

class parser {
public:
    parser(const char* begin, const char* end, document& doc, warning_list& warnings, reader::load_budget* budget,
           text_part* part)
        : lx_(begin, end), fields_(lx_, warnings), doc_(doc), warnings_(warnings), budget_(lx_, warnings, budget),
          part_(part) {}

    void run(const std::function<void(int)>& progress);

private:
    struct frame {
        node* n;
        std::string def;       // name bound when the node is complete
        int field_slot = -1;   // >= 0: the node is the value of this field of the parent
        value_slots values;    // the node's values by field
    };

    void warn(source_position where, const std::string& message) { warnings_.add(where, message); }
    void start_node(std::string_view word, source_position at, int field_slot);
    void close_top();
    void attach(frame& parent, node* child, int field_slot, source_position at);
    bool read_declaration(node_type& type);
    void read_field(frame& top, int index, source_position at);
    void skip_value() { fields_.skip_value(); }
    bool charge(std::int64_t bytes, const char* what, source_position at) { return budget_.charge(bytes, what, at); }

    lexer lx_;
    field_reader fields_;
    document& doc_;
    warning_list& warnings_;
    std::vector<frame> frames_;
    std::unordered_map<std::string, node*> names_;
    parse_budget budget_;
    text_part* part_;
};


void parser::run(const std::function<void(int)>& progress) {
    if (progress) lx_.on_progress(progress);
    lx_.set_octal_integers(true);
    doc_.root = &doc_.make(&root_type(), {1, 1});
    frames_.push_back({doc_.root, {}, -1, {}});
    while (true) {
        lx_.skip();
        if (lx_.at_end()) break;
        const char c = lx_.peek();
        const source_position at = lx_.where();
        if (part_ && frames_.size() == 1 && part_->stop_here(lx_.offset(), at.line)) break;
        if (c == '}') {
            lx_.advance();
            if (frames_.size() == 1) {
                warn(at, "'}' closes no node; ignored");
                continue;
            }
            close_top();
            continue;
        }
        const std::string_view w = lx_.word();
        if (w.empty()) {
            // Punctuation where a node or field belongs: skip it and what it opens.
            warn(at, lx_.skip_stray());
            continue;
        }
        frame& top = frames_.back();
        if (frames_.size() > 1) {
            const int index = top.n->type->field_index(w);
            if (index >= 0) {
                read_field(top, index, at);
                continue;
            }
        }
        start_node(w, at, -1);
    }
    if (frames_.size() > 1) {
        const frame& open = frames_.back();
        if (!budget_.stopped()) warn(lx_.where(), "the file ends inside " + open.n->type->name + " (opened at " +
                              position_text(open.n->where) + "); what was read is kept");
        while (frames_.size() > 1) close_top();
    }
}

void parser::start_node(std::string_view word, source_position at, int field_slot) {
    std::string def;
    if (word == "DEF") {
        lx_.skip();
        def.assign(lx_.word());
        if (def.empty()) warn(at, "DEF without a name");
        lx_.skip();
        at = lx_.where();
        word = lx_.word();
    } else if (word == "USE") {
        lx_.skip();
        const std::string name(lx_.word());
        const auto found = names_.find(name);
        if (found == names_.end()) {
            warn(at, "USE of \"" + name + "\", which no DEF before it names; ignored");
            return;
        }
        attach(frames_.back(), found->second, field_slot, at);
        return;
    } else if (word == "NULL" && field_slot >= 0) {
        return;
    }
    lx_.skip();
    if (word.empty() || lx_.peek() != '{') {
        if (frames_.size() > 1 && field_slot < 0) {
            const std::string& type = frames_.back().n->type->name;
            warnings_.add_once("field " + type + "." + std::string(word), at,
                               "unknown field \"" + std::string(word) + "\" of " + type + "; skipped");
        } else {
            warn(at, "unexpected \"" + std::string(word) + "\"; a node name and '{' belong here");
        }
        skip_value();
        return;
    }
    const lexer::mark brace = lx_.save();
    lx_.advance();
    const node_type* type = vrml1_node_type(word);
    if (!type) {
        const std::string name(word);
        // An extension node that declares its fields is read field by field;
        // one that does not, or declares a type unknown here, is skipped whole.
        lx_.skip();
        const lexer::mark after_brace = lx_.save();
        node_type* declared = nullptr;
        if (lx_.word() == "fields") {
            declared = &doc_.declared_types.emplace_back();
            declared->name = name;
            declared->children = true;
            if (!read_declaration(*declared)) {
                doc_.declared_types.pop_back();
                declared = nullptr;
            }
        } else {
            lx_.restore(after_brace);
        }
        if (!declared) {
            warnings_.add_once("node " + name, at, "unknown node " + name + "; skipped");
            lx_.restore(brace);
            lx_.skip_group();
            return;
        }
        warnings_.add_once("node " + name, at, "unknown node " + name + "; read by its field declaration, not drawn");
        type = declared;
    }
    if (!charge(static_cast<std::int64_t>(sizeof(node)), "nodes", at)) return;
    node& n = doc_.make(type, at);
    frames_.push_back({&n, std::move(def), field_slot, {}});
}

bool parser::read_declaration(node_type& type) {
    lx_.skip();
    if (lx_.peek() != '[') return false;
    lx_.advance();
    lexer::list_step step;
    while ((step = lx_.next_in_list()) == lexer::list_step::item) {
        const std::string_view type_name = lx_.word();
        lx_.skip();
        const std::string_view field_name = lx_.word();
        field_type ft;
        if (type_name.empty() || field_name.empty() || !field_type_named(type_name, ft)) return false;
        if (type.field_index(field_name) < 0) type.add_field(std::string(field_name), ft);
    }
    return step == lexer::list_step::closed;
}

void parser::close_top() {
    frame done = std::move(frames_.back());
    frames_.pop_back();
    node* n = done.n;
    if (n->type->kind == node_kind::unknown) {
        // An extension that says it is a grouping node is traversed as one.
        if (const field_value* is_a = n->value("isA")) {
            for (const std::string& base : is_a->words) {
                const node_type* known = vrml1_node_type(base);
                if (known && (known->kind == node_kind::separator || known->kind == node_kind::group ||
                              known->kind == node_kind::transform_separator)) {
                    const_cast<node_type*>(n->type)->kind = known->kind;
                    break;
                }
            }
        }
    }
    if (!done.def.empty()) names_[done.def] = n;
    attach(frames_.back(), n, done.field_slot, n->where);
}

void parser::attach(frame& parent, node* child, int field_slot, source_position at) {
    if (field_slot >= 0) {
        if (field_value* v = parent.values.find(*parent.n, static_cast<std::uint32_t>(field_slot))) {
            v->node = child;
            return;
        }
        field_value v;
        v.field = static_cast<std::uint32_t>(field_slot);
        v.node = child;
        parent.n->values.push_back(std::move(v));
        parent.values.added(*parent.n);
        return;
    }
    if (!parent.n->type->children) {
        warnings_.add_once("children " + parent.n->type->name, at,
                           parent.n->type->name + " holds no child nodes; " + child->type->name + " ignored");
        return;
    }
    parent.n->children.push_back(child);
}

void parser::read_field(frame& top, int index, source_position at) {
    const field_def& def = top.n->type->fields[static_cast<std::size_t>(index)];
    if (def.type == field_type::sf_node) {
        lx_.skip();
        const source_position value_at = lx_.where();
        const std::string_view w = lx_.word();
        if (w.empty()) {
            warn(value_at, "bad value for " + def.name + " of " + top.n->type->name + "; skipped");
            skip_value();
            return;
        }
        start_node(w, value_at, index);
        return;
    }
    field_value value;
    value.field = static_cast<std::uint32_t>(index);
    if (!fields_.read_value(def.type, value, at, def.name + " of " + top.n->type->name)) return;
    if (!charge(value_bytes(value), "coordinates and indices", at)) return;
    lx_.skip();
    if (lx_.peek() == '~') lx_.advance();  // Inventor's "ignored" flag
    // A field given twice keeps its last value.
    if (field_value* v = top.values.find(*top.n, value.field)) {
        *v = std::move(value);
        return;
    }
    top.n->values.push_back(std::move(value));
    top.values.added(*top.n);
}

}  // namespace

void parse_vrml1(const char* begin, const char* end, document& doc, warning_list& warnings,
                 const std::function<void(int)>& progress, reader::load_budget* budget, text_part* part) {
    warnings.set_file(doc.file);
    parser p(begin, end, doc, warnings, budget, part);
    p.run(progress);
}

}  // namespace tessel::vrml
