#include "formats/vrml97/parse2.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "input/budget.h"
#include "formats/field_reader.h"
#include "formats/format.h"
#include "formats/lexer.h"
#include "formats/vrml97/node_types2.h"

namespace tessel::vrml {

int proto_definition::proto_field_index(std::string_view field) const { return instance_type.field_index(field); }

namespace {

std::string position_text(source_position p) { return std::to_string(p.line) + ":" + std::to_string(p.column); }

const node_type& root_type() {
    static const node_type t = [] {
        node_type r;
        r.name = "(top level)";
        r.kind = node_kind::v2_group;
        r.children = true;
        return r;
    }();
    return t;
}

bool is_node_type(field_type t) { return t == field_type::sf_node || t == field_type::mf_node; }

// A declaration's access: VRML97's words, or X3D's for the same four.
enum class access : std::uint8_t { none, field, exposed_field, event_in, event_out };

access access_named(std::string_view w) {
    if (w == "field" || w == "initializeOnly") return access::field;
    if (w == "exposedField" || w == "inputOutput") return access::exposed_field;
    if (w == "eventIn" || w == "inputOnly") return access::event_in;
    if (w == "eventOut" || w == "outputOnly") return access::event_out;
    return access::none;
}

// PROTO declarations inside PROTO bodies, node values of interface fields
// and Script fields are read by nested calls; deeper than this they are
// skipped, so that no file can exhaust the stack. Node nesting itself is
// read without recursion at any depth.
constexpr int max_nesting = 48;

// Copies made when PROTOs are instantiated. Bodies that take nothing from
// their interface are shared instead of copied, so only files built to
// multiply get near this.
constexpr std::int64_t max_copies = 4'000'000;

class parser {
public:
    parser(const char* begin, const char* end, document& doc, warning_list& warnings, proto_file_source* externs,
           reader::load_budget* budget, text_part* part)
        : lx_(begin, end), fields_(lx_, warnings), doc_(doc), warnings_(warnings), externs_(externs),
          budget_(lx_, warnings, budget), part_(part) {}

    void run(const std::function<void(int)>& progress);

private:
    // Where nodes read at statement level go.
    enum class until : std::uint8_t {
        end_of_text,  // the file's top level
        brace,        // a PROTO body, up to its '}'
        bracket,      // an MFNode value, up to its ']'
        one_node,     // an SFNode value: one node (or NULL)
    };

    struct frame {
        node* n;
        std::string def;          // the name bound when the node is complete
        int target_field = -1;    // >= 0: the node goes to this field of the frame below
        int open_list = -1;       // >= 0: inside the brackets of this MFNode field
        const proto_definition* proto = nullptr;  // a PROTO instance, expanded when complete
        bool script = false;      // a Script: its own field declarations are read and dropped
        value_slots values;       // the node's values by field
        std::size_t links_before = 0;  // in a PROTO body: the body's IS links when the node opened
    };

    struct scope {
        std::unordered_map<std::string, node*> names;
        std::unordered_map<std::string, const proto_definition*> protos;
        std::unordered_map<std::string, const node_type*> aliases;  // EXTERNPROTOs of built-in nodes
        proto_definition* defining = nullptr;  // the PROTO whose body this is
    };

    void warn(source_position where, const std::string& message) { warnings_.add(where, message); }
    bool charge(std::int64_t bytes, const char* what, source_position at) { return budget_.charge(bytes, what, at); }
    void statements(std::vector<node*>& out, until end);
    bool statement_word(std::string_view w, source_position at);
    bool x3d_statement(std::string_view w, source_position at);
    std::string statement_name();
    void start_node(std::string_view word, source_position at, std::vector<frame>& frames, std::vector<node*>& out,
                    int target_field);
    void close_node(std::vector<frame>& frames, std::vector<node*>& out);
    void attach(std::vector<frame>& frames, std::vector<node*>& out, node* child, int target_field);
    void read_field(std::vector<frame>& frames, frame& top, int index, source_position at);
    bool read_is(node& n, const field_def& def, field_value& value);
    void read_event_is(node& n, const std::string& event);
    void mark_routed(proto_definition& proto);
    void pass_on(const proto_definition& proto, const std::unordered_map<const node*, node*>& copy_of, node* result);
    void read_script_declaration(access kind, source_position at);
    proto_definition& declare_proto(const std::string& name, source_position at);
    void read_proto(source_position at);
    void read_extern_proto(source_position at);
    bool read_interface(proto_definition& proto, bool with_values);
    void read_node_value(field_value& value, bool multiple);
    void read_route(source_position at);
    const proto_definition* find_proto(std::string_view name) const;
    const node_type* find_alias(std::string_view name) const;
    node* find_name(const std::string& name) const;
    node* instantiate(const proto_definition& proto, const node& instance);
    const document* extern_document(const std::string& urls, source_position at, std::string& proto_name);

    lexer lx_;
    field_reader fields_;
    document& doc_;
    warning_list& warnings_;
    proto_file_source* externs_;
    std::vector<scope> scopes_;
    std::unordered_map<std::string, imported_node> imports_;  // X3D IMPORTs, by their local names
    int nesting_ = 0;
    std::int64_t copies_ = 0;
    bool copies_warned_ = false;
    parse_budget budget_;
    text_part* part_;
};


void parser::run(const std::function<void(int)>& progress) {
    if (progress) lx_.on_progress(progress);
    doc_.vrml2 = true;
    doc_.root = &doc_.make(&root_type(), {1, 1});
    scopes_.emplace_back();
    statements(doc_.root->children, until::end_of_text);
}

// The statements of one level: nodes (with every node nested in them, read
// with an explicit stack), PROTO and EXTERNPROTO declarations, ROUTEs.
void parser::statements(std::vector<node*>& out, until end) {
    std::vector<frame> frames;
    const std::size_t wanted = out.size() + 1;  // until::one_node
    while (true) {
        if (end == until::one_node && frames.empty() && out.size() >= wanted) return;
        lx_.skip();
        const source_position at = lx_.where();
        if (lx_.at_end()) {
            if (budget_.stopped())
                ;  // said once already
            else if (!frames.empty())
                warn(at, "the file ends inside " + frames.back().n->type->name + " (opened at " +
                             position_text(frames.back().n->where) + "); what was read is kept");
            else if (end == until::brace)
                warn(at, "the file ends inside a PROTO body");
            else if (end == until::bracket)
                warn(at, "the file ends inside a list of nodes");
            while (!frames.empty()) close_node(frames, out);
            return;
        }
        if (part_ && end == until::end_of_text && frames.empty() && part_->stop_here(lx_.offset(), at.line)) return;
        const char c = lx_.peek();
        if (frames.empty()) {
            if ((c == '}' && end == until::brace) || (c == ']' && end == until::bracket)) {
                lx_.advance();
                return;
            }
        } else if (frames.back().open_list >= 0) {
            if (c == ']') {
                lx_.advance();
                frames.back().open_list = -1;
                continue;
            }
        } else if (c == '}') {
            lx_.advance();
            close_node(frames, out);
            continue;
        }
        const std::string_view w = lx_.word();
        if (w.empty()) {
            warn(at, lx_.skip_stray());
            if (end == until::one_node && frames.empty()) return;
            continue;
        }
        if (statement_word(w, at)) continue;
        if (!frames.empty() && frames.back().open_list < 0) {
            frame& top = frames.back();
            if (top.script)
                if (const access kind = access_named(w); kind != access::none) {
                    read_script_declaration(kind, at);
                    continue;
                }
            const int index = top.n->type->field_index(w);
            if (index >= 0) {
                read_field(frames, top, index, at);
                continue;
            }
            lx_.skip();
            const lexer::mark after = lx_.save();
            if (lx_.word() == "IS") {
                read_event_is(*top.n, std::string(w));
                continue;
            }
            lx_.restore(after);
            const std::string& type = top.n->type->name;
            warnings_.add_once("field " + type + "." + std::string(w), at,
                               "unknown field \"" + std::string(w) + "\" of " + type + "; skipped");
            fields_.skip_value();
            continue;
        }
        const int target = frames.empty() ? -1 : frames.back().open_list;
        start_node(w, at, frames, out, target);
        if (end == until::one_node && frames.empty() && out.size() < wanted) return;  // NULL or a failed node
    }
}

// PROTO, EXTERNPROTO and ROUTE may stand wherever a node or field may.
bool parser::statement_word(std::string_view w, source_position at) {
    if (w == "ROUTE") {
        read_route(at);
        return true;
    }
    if (w == "PROTO") {
        read_proto(at);
        return true;
    }
    if (w == "EXTERNPROTO") {
        read_extern_proto(at);
        return true;
    }
    return doc_.x3d && x3d_statement(w, at);
}

// The next name of a statement, empty (with a warning) when there is none.
std::string parser::statement_name() {
    lx_.skip();
    return std::string(lx_.word());
}

// X3D's statements about the file as a whole. Profiles, components and
// meta data ask for nothing this viewer lacks that a warning about a node
// would not say better. Units of length and angle are kept in the document
// for the traversal to scale by; EXPORTs and IMPORTs are kept for the live
// world to link once the Inlines' files are read.
bool parser::x3d_statement(std::string_view w, source_position at) {
    if (w == "PROFILE") {
        if (statement_name().empty()) warn(at, "PROFILE without a name");
        return true;
    }
    if (w == "COMPONENT") {
        // name:level, with or without spaces about the colon
        const std::string name = statement_name();
        const std::size_t colon = name.find(':');
        bool whole = colon != std::string::npos && colon > 0 && colon + 1 < name.size();
        if (!whole && !name.empty() && colon != 0) {
            bool colon_seen = colon != std::string::npos;
            if (!colon_seen) {
                lx_.skip();
                if (lx_.peek() == ':') {
                    lx_.advance();
                    colon_seen = true;
                }
            }
            if (colon_seen) whole = !statement_name().empty();
        }
        if (!whole) warn(at, "COMPONENT without a name and a level (name:level)");
        return true;
    }
    if (w == "META") {
        field_value key, value;
        if (fields_.read_value(field_type::sf_string, key, at, "the META key"))
            fields_.read_value(field_type::sf_string, value, at, "the META value");
        return true;
    }
    if (w == "UNIT") {
        const std::string category = statement_name();
        const std::string name = statement_name();
        field_value factor;
        if (category.empty() || name.empty() || !fields_.read_value(field_type::sf_float, factor, at, "the UNIT factor"))
            return true;
        const float f = factor.numbers.empty() ? 1.0f : factor.numbers[0];
        if (category != "length" && category != "angle") return true;  // mass and force draw nothing
        if (!(f > 0) || !std::isfinite(f)) {
            warn(at, "UNIT " + category + " " + name + " has a factor that is not above 0; ignored");
            return true;
        }
        (category == "length" ? doc_.length_unit : doc_.angle_unit) = f;
        return true;
    }
    if (w == "EXPORT") {
        const std::string local = statement_name();
        lx_.skip();
        const lexer::mark m = lx_.save();
        std::string as = local;
        if (lx_.word() == "AS") as = statement_name();
        else lx_.restore(m);
        if (local.empty() || as.empty()) {
            warn(at, "EXPORT without a name");
        } else if (node* n = find_name(local)) {
            if (scopes_.size() > 1) warn(at, "EXPORT inside a PROTO body; ignored");
            else if (charge(static_cast<std::int64_t>(64 + as.size()), "exports", at)) doc_.exports[as] = n;
        } else {
            warn(at, "EXPORT of \"" + local + "\", which no DEF before it names; ignored");
        }
        return true;
    }
    if (w == "IMPORT") {
        // IMPORT InlineName.ExportedName [AS LocalName]
        const std::string imported = statement_name();
        lx_.skip();
        const lexer::mark m = lx_.save();
        const std::size_t dot = imported.find('.');
        std::string local = dot == std::string::npos ? std::string() : imported.substr(dot + 1);
        if (lx_.word() == "AS") local = statement_name();
        else lx_.restore(m);
        if (dot == std::string::npos || dot == 0 || dot + 1 == imported.size() || local.empty()) {
            warn(at, "IMPORT \"" + imported + "\" is not InlineName.ExportedName; ignored");
            return true;
        }
        const node* in = find_name(imported.substr(0, dot));
        if (!in || !in->type || in->type->kind != node_kind::v2_inline) {
            warn(at, "IMPORT from \"" + imported.substr(0, dot) + "\", which no DEF before it names as an Inline; ignored");
            return true;
        }
        if (scopes_.size() > 1) {
            warn(at, "IMPORT inside a PROTO body; ignored");
            return true;
        }
        if (charge(static_cast<std::int64_t>(96 + local.size() + imported.size()), "imports", at))
            imports_[local] = {in, imported.substr(dot + 1)};
        return true;
    }
    return false;
}

// ROUTE from.event TO to.event. The names are bound where the ROUTE
// stands: a later DEF of the same name does not move it.
void parser::read_route(source_position at) {
    lx_.skip();
    const std::string from(lx_.word());
    lx_.skip();
    const lexer::mark m = lx_.save();
    if (lx_.word() != "TO") {
        lx_.restore(m);
        warn(at, "ROUTE without TO; ignored");
        return;
    }
    lx_.skip();
    const std::string to(lx_.word());
    route_statement r;
    r.where = at;
    imported_route through_import;
    const auto split = [&](const std::string& end, node*& n, std::string& event, imported_node& imported) {
        const std::size_t dot = end.find('.');
        if (dot == std::string::npos || dot == 0 || dot + 1 == end.size()) {
            warn(at, "ROUTE end \"" + end + "\" is not NODE.event; the ROUTE is ignored");
            return false;
        }
        const std::string name = end.substr(0, dot);
        event = end.substr(dot + 1);
        n = find_name(name);
        if (n) return true;
        // A name the file IMPORTs, when no DEF shadows it.
        if (const auto found = imports_.find(name); found != imports_.end() && !scopes_.back().defining) {
            imported = found->second;
            return true;
        }
        warn(at, "ROUTE names \"" + name + "\", which no DEF before it names; ignored");
        return false;
    };
    if (!split(from, r.from, r.from_event, through_import.from) || !split(to, r.to, r.to_event, through_import.to))
        return;
    if (!charge(static_cast<std::int64_t>(sizeof(route_statement) + from.size() + to.size()), "routes", at)) return;
    if (through_import.from.inline_node || through_import.to.inline_node) {
        through_import.route = std::move(r);
        doc_.imported_routes.push_back(std::move(through_import));
        return;
    }
    // Inside a PROTO body the route is each instance's, between its copies.
    if (proto_definition* proto = scopes_.back().defining) proto->routes.push_back(std::move(r));
    else doc_.routes.push_back(std::move(r));
}

const proto_definition* parser::find_proto(std::string_view name) const {
    const std::string key(name);
    for (auto s = scopes_.rbegin(); s != scopes_.rend(); ++s)
        if (const auto found = s->protos.find(key); found != s->protos.end()) return found->second;
    return nullptr;
}

const node_type* parser::find_alias(std::string_view name) const {
    const std::string key(name);
    for (auto s = scopes_.rbegin(); s != scopes_.rend(); ++s)
        if (const auto found = s->aliases.find(key); found != s->aliases.end()) return found->second;
    return nullptr;
}

// A PROTO body has its own names; names from outside are still found, as
// files written for lenient browsers expect.
node* parser::find_name(const std::string& name) const {
    for (auto s = scopes_.rbegin(); s != scopes_.rend(); ++s)
        if (const auto found = s->names.find(name); found != s->names.end()) return found->second;
    return nullptr;
}

void parser::start_node(std::string_view word, source_position at, std::vector<frame>& frames,
                        std::vector<node*>& out, int target_field) {
    std::string def;
    std::string missing_name;  // holds the type's name when a DEF lacks its own
    if (word == "DEF") {
        lx_.skip();
        def.assign(lx_.word());
        if (def.empty()) warn(at, "DEF without a name");
        lx_.skip();
        if (!def.empty() && lx_.peek() == '{') {
            // "DEF Transform {": the name is missing, not the node.
            warn(at, "DEF without a name before " + def + "; the node is read without one");
            missing_name = std::move(def);
            def.clear();
            word = missing_name;
        } else {
            at = lx_.where();
            word = lx_.word();
        }
    } else if (word == "USE") {
        lx_.skip();
        const std::string name(lx_.word());
        node* found = find_name(name);
        if (!found) {
            warn(at, "USE of \"" + name + "\", which no DEF before it names; ignored");
            return;
        }
        attach(frames, out, found, target_field);
        return;
    } else if (word == "NULL") {
        return;
    }
    lx_.skip();
    if (word.empty() || lx_.peek() != '{') {
        warn(at, "unexpected \"" + std::string(word) + "\"; a node name and '{' belong here");
        fields_.skip_value();
        return;
    }
    const lexer::mark brace = lx_.save();
    lx_.advance();
    const proto_definition* proto = find_proto(word);
    const node_type* type = proto ? &proto->instance_type : node_type_for(word, doc_.x3d);
    if (!proto)
        if (const node_type* alias = find_alias(word)) type = alias;
    if (!type) {
        const std::string name(word);
        warnings_.add_once("node " + name, at, "unknown node " + name + "; skipped");
        lx_.restore(brace);
        lx_.skip_group();
        if (!def.empty() && charge(static_cast<std::int64_t>(sizeof(node) + sizeof(node_type)), "nodes", at)) {
            // Keep the name, so that ROUTEs and USEs of it read quietly.
            node_type& unknown = doc_.declared_types.emplace_back();
            unknown.name = name;
            scopes_.back().names[def] = &doc_.make(&unknown, at);
        }
        return;
    }
    if (!charge(static_cast<std::int64_t>(sizeof(node)), "nodes", at)) return;
    node& n = doc_.make(type, at);
    const proto_definition* defining = scopes_.back().defining;
    frames.push_back({&n, std::move(def), target_field, -1, proto, !proto && word == "Script", {},
                      defining ? defining->links.size() : 0});
}

void parser::close_node(std::vector<frame>& frames, std::vector<node*>& out) {
    frame done = std::move(frames.back());
    frames.pop_back();
    node* n = done.n;
    if (done.proto) {
        node* instance = n;
        n = instantiate(*done.proto, *instance);
        if (!n) return;
        // IS links of the instance's own interface fields, inside another
        // PROTO's body, hold the node the instance became.
        if (proto_definition* outer = scopes_.back().defining)
            for (std::size_t l = done.links_before; l < outer->links.size(); ++l)
                if (outer->links[l].from == instance) outer->links[l].from = n;
    }
    if (!done.def.empty()) {
        scopes_.back().names[done.def] = n;
        // The viewer lists Viewpoints by their DEF name when they have no description.
        if (n && n->type && n->type->kind == node_kind::v2_viewpoint) doc_.view_names[n] = done.def;
    }
    attach(frames, out, n, done.target_field);
}

void parser::attach(std::vector<frame>& frames, std::vector<node*>& out, node* child, int target_field) {
    if (child->uses != UINT32_MAX) ++child->uses;
    if (frames.empty()) {
        out.push_back(child);
        return;
    }
    node& parent = *frames.back().n;
    if (child->uses_interface) parent.uses_interface = true;
    if (field_value* v = frames.back().values.find(parent, static_cast<std::uint32_t>(target_field))) {
        if (v->is_ref >= 0) {  // a value given after IS: the last one wins
            v->is_ref = -1;
            v->nodes.clear();
        }
        if (parent.type->fields[static_cast<std::size_t>(target_field)].type == field_type::sf_node) v->nodes.clear();
        v->nodes.push_back(child);
        return;
    }
    field_value v;
    v.field = static_cast<std::uint32_t>(target_field);
    v.nodes.push_back(child);
    parent.values.push_back(std::move(v));
    frames.back().values.added(parent);
}

void parser::read_field(std::vector<frame>& frames, frame& top, int index, source_position at) {
    const field_def& def = top.n->type->fields[static_cast<std::size_t>(index)];
    field_value value;
    value.field = static_cast<std::uint32_t>(index);
    lx_.skip();
    const lexer::mark m = lx_.save();
    if (lx_.word() == "IS") {
        if (!read_is(*top.n, def, value)) return;
    } else {
        lx_.restore(m);
        if (is_node_type(def.type)) {
            // Forget an earlier value of the field: the nodes given now replace it.
            field_value* earlier = top.values.find(*top.n, value.field);
            if (earlier) *earlier = std::move(value);
            if (def.type == field_type::mf_node && lx_.peek() == '[') {
                lx_.advance();
                top.open_list = index;
                // An empty list still counts as given: it replaces a default.
                if (!earlier) {
                    top.n->values.push_back(std::move(value));
                    top.values.added(*top.n);
                }
                return;
            }
            const source_position value_at = lx_.where();
            const std::string_view w = lx_.word();
            if (w.empty()) {
                warn(value_at, "bad value for " + def.name + " of " + top.n->type->name + "; skipped");
                fields_.skip_value();
                return;
            }
            if (w == "NULL") {
                if (!earlier) {
                    top.n->values.push_back(std::move(value));
                    top.values.added(*top.n);
                }
                return;
            }
            std::vector<node*> unused;  // the node goes to the field, never to a statement list
            start_node(w, value_at, frames, unused, index);
            return;
        }
        if (!fields_.read_value(def.type, value, at, def.name + " of " + top.n->type->name)) return;
        if (!charge(value_bytes(value), "coordinates and indices", at)) return;
    }
    // A field given twice keeps its last value.
    if (field_value* v = top.values.find(*top.n, value.field)) {
        *v = std::move(value);
        return;
    }
    top.n->values.push_back(std::move(value));
    top.values.added(*top.n);
}

// "field IS interfaceField" inside a PROTO body.
bool parser::read_is(node& n, const field_def& def, field_value& value) {
    lx_.skip();
    const source_position at = lx_.where();
    const std::string name(lx_.word());
    const proto_definition* proto = scopes_.back().defining;
    if (!proto) {
        warn(at, "IS outside a PROTO body; " + def.name + " of " + n.type->name + " keeps its default");
        return false;
    }
    const int index = proto->proto_field_index(name);
    if (index < 0) {
        warn(at, "IS names \"" + name + "\", which the PROTO " + proto->name + " does not declare; ignored");
        return false;
    }
    const proto_field& field = proto->fields[static_cast<std::size_t>(index)];
    if (field.type != def.type) {
        warn(at, def.name + " of " + n.type->name + " and " + name + " of the PROTO " + proto->name +
                     " have different types; the IS is ignored");
        return false;
    }
    value.is_ref = index;
    n.uses_interface = true;
    if (field.routable) scopes_.back().defining->links.push_back({&n, def.name, index});
    return true;
}

// "event IS interfaceEvent": an event of a body node (or of a PROTO
// instance's interface) tied to the PROTO's. The node is copied per
// instance, so that each instance's events reach its own.
void parser::read_event_is(node& n, const std::string& event) {
    lx_.skip();
    const source_position at = lx_.where();
    const std::string name(lx_.word());
    proto_definition* proto = scopes_.back().defining;
    if (!proto) {
        warn(at, "IS outside a PROTO body; " + event + " of " + n.type->name + " is not connected");
        return;
    }
    const int index = proto->proto_field_index(name);
    if (index < 0) {
        warn(at, "IS names \"" + name + "\", which the PROTO " + proto->name + " does not declare; ignored");
        return;
    }
    if (!charge(static_cast<std::int64_t>(sizeof(proto_definition::link) + event.size()), "PROTO interfaces", at))
        return;
    n.uses_interface = true;
    proto->links.push_back({&n, event, index});
}

// Script's own interface: events are dropped, fields read past (their
// values may hold DEFs that later USEs name).
void parser::read_script_declaration(access kind, source_position at) {
    lx_.skip();
    const std::string type_name(lx_.word());
    lx_.skip();
    lx_.word();
    field_type type;
    if (!vrml2_field_type_named(type_name, type, doc_.x3d)) {
        warn(at, "unknown field type \"" + type_name + "\" in a Script; skipped");
        return;
    }
    lx_.skip();
    const lexer::mark m = lx_.save();
    if (lx_.word() == "IS") {
        lx_.skip();
        lx_.word();
        return;
    }
    lx_.restore(m);
    if (kind == access::event_in || kind == access::event_out) return;
    field_value ignored;
    if (is_node_type(type)) read_node_value(ignored, type == field_type::mf_node);
    else fields_.read_value(type, ignored, at, "a Script field");
}

// A node value read by a nested call (interface defaults, Script fields).
void parser::read_node_value(field_value& value, bool multiple) {
    lx_.skip();
    if (nesting_ >= max_nesting) {
        warn(lx_.where(), "node values nested too deeply; skipped");
        fields_.skip_value();
        return;
    }
    ++nesting_;
    if (multiple && lx_.peek() == '[') {
        lx_.advance();
        statements(value.nodes, until::bracket);
    } else {
        statements(value.nodes, until::one_node);
    }
    --nesting_;
    if (!multiple && value.nodes.size() > 1) value.nodes.resize(1);
}

// The interface of a PROTO (with default values) or of an EXTERNPROTO
// (without), after its opening bracket.
bool parser::read_interface(proto_definition& proto, bool with_values) {
    while (true) {
        lx_.skip();
        const source_position at = lx_.where();
        if (lx_.at_end()) {
            warn(at, "the file ends inside the interface of the PROTO " + proto.name);
            return false;
        }
        if (lx_.peek() == ']') {
            lx_.advance();
            return true;
        }
        const std::string kind(lx_.word());
        if (kind.empty()) {
            warn(at, "unexpected character in the interface of the PROTO " + proto.name + "; skipped");
            lx_.advance();
            continue;
        }
        lx_.skip();
        const std::string type_name(lx_.word());
        lx_.skip();
        const std::string name(lx_.word());
        proto_field f;
        f.name = name;
        const access declared = access_named(kind);
        if (declared == access::none || name.empty() || !vrml2_field_type_named(type_name, f.type, doc_.x3d)) {
            warn(at, "bad declaration \"" + kind + " " + type_name + " " + name + "\" in the PROTO " + proto.name +
                         "; the interface is read no further");
            // On to the bracket that closes the interface.
            fields_.skip_list_rest();
            return true;
        }
        f.has_value = declared == access::field || declared == access::exposed_field;
        f.routable = declared != access::field;
        if (f.has_value && with_values) {
            if (is_node_type(f.type)) {
                read_node_value(f.value, f.type == field_type::mf_node);
            } else if (!fields_.read_value(f.type, f.value, at, name + " of the PROTO " + proto.name)) {
                f.value = {};
            }
        }
        if (!charge(value_bytes(f.value) + static_cast<std::int64_t>(2 * name.size() + sizeof(proto_field)),
                    "PROTO interfaces", at))
            return false;
        if (proto.proto_field_index(name) >= 0) {
            warn(at, "the PROTO " + proto.name + " declares " + name + " twice; the first is kept");
            continue;
        }
        proto.instance_type.add_field(f.name, f.type);
        proto.fields.push_back(std::move(f));
    }
}

// A PROTO or EXTERNPROTO of this document, the last declared under its name.
proto_definition& parser::declare_proto(const std::string& name, source_position at) {
    proto_definition& proto = doc_.protos.emplace_back();
    proto.name = name;
    doc_.last_proto_named[name] = &proto;
    proto.instance_type.name = name;
    proto.where = at;
    return proto;
}

void parser::read_proto(source_position at) {
    lx_.skip();
    const std::string name(lx_.word());
    lx_.skip();
    if (name.empty() || lx_.peek() != '[' || nesting_ >= max_nesting) {
        warn(at, nesting_ >= max_nesting ? "PROTO declarations nested too deeply; skipped"
                                         : "PROTO without a name and an interface in brackets; skipped");
        // Skip what may follow: the interface and the body.
        for (int i = 0; i < 2; ++i) {
            lx_.skip();
            if (lx_.peek() == '[' || lx_.peek() == '{') lx_.skip_group();
        }
        return;
    }
    lx_.advance();
    proto_definition& proto = declare_proto(name, at);
    ++nesting_;
    const bool interface_read = read_interface(proto, true);
    lx_.skip();
    if (!interface_read || lx_.peek() != '{') {
        --nesting_;
        if (interface_read) warn(lx_.where(), "the PROTO " + name + " has no body in braces; skipped");
        return;
    }
    lx_.advance();
    scope body_scope;
    body_scope.defining = &proto;
    scopes_.push_back(std::move(body_scope));
    std::vector<node*> body;
    statements(body, until::brace);
    scopes_.pop_back();
    --nesting_;
    if (body.empty()) warn(at, "the PROTO " + name + " has no nodes in its body; its instances draw nothing");
    else proto.body = body.front();
    // Nodes of inner PROTO instances that only take part in events were
    // added while the body was read; the body's own come first.
    proto.body_nodes.insert(proto.body_nodes.begin(), body.begin(), body.end());
    mark_routed(proto);
    if (proto.body) doc_.proto_bodies.insert(name);
    // Known from here on, so a PROTO cannot instantiate itself.
    scopes_.back().protos[name] = &proto;
    scopes_.back().aliases.erase(name);
}

void parser::read_extern_proto(source_position at) {
    lx_.skip();
    const std::string name(lx_.word());
    lx_.skip();
    if (name.empty() || lx_.peek() != '[') {
        warn(at, "EXTERNPROTO without a name and an interface in brackets; skipped");
        return;
    }
    lx_.advance();
    proto_definition& declared = declare_proto(name, at);
    if (!read_interface(declared, false)) return;
    field_value urls;
    lx_.skip();
    fields_.read_value(field_type::mf_string, urls, at, "the EXTERNPROTO " + name + " url");
    // A browser's own nodes under another name: these always resolve, so
    // they are taken before any file is tried.
    static constexpr std::string_view built_in[] = {"urn:web3d:vrml97:node:", "urn:web3d:x3d:node:"};
    for (const std::string& url : urls.words)
        for (const std::string_view prefix : built_in)
            if (url.compare(0, prefix.size(), prefix) == 0)
                if (const node_type* type = node_type_for(std::string_view(url).substr(prefix.size()), doc_.x3d)) {
                    scopes_.back().aliases[name] = type;
                    scopes_.back().protos.erase(name);
                    return;
                }
    const proto_definition* found = nullptr;
    std::string problems;
    for (const std::string& url : urls.words) {
        std::string wanted;
        const document* other = extern_document(url, at, wanted);
        if (!other) continue;
        if (wanted.empty() && !other->protos.empty()) found = &other->protos.front();
        if (const auto named = other->last_proto_named.find(wanted); named != other->last_proto_named.end())
            found = named->second;
        if (found) break;
        problems += " \"" + url + "\" has no PROTO " + (wanted.empty() ? name : wanted) + ";";
    }
    scopes_.back().aliases.erase(name);
    if (found) {
        scopes_.back().protos[name] = found;
        return;
    }
    if (urls.words.empty()) problems = " no url given;";
    warnings_.add(at, "EXTERNPROTO " + name + " not found:" + problems + " its instances draw nothing");
    // The declared interface still reads the instances' fields.
    scopes_.back().protos[name] = &declared;
}

// The document of an EXTERNPROTO url, kept alive by this one; proto_name
// gets the part after '#'.
const document* parser::extern_document(const std::string& url, source_position at, std::string& proto_name) {
    const std::size_t hash = url.find('#');
    proto_name = hash == std::string::npos ? std::string() : url.substr(hash + 1);
    const std::string file = url.substr(0, hash);
    if (file.empty()) {
        // "#Name" names a PROTO of this same file, declared before.
        return doc_.proto_bodies.count(proto_name) ? &doc_ : nullptr;
    }
    if (!externs_) return nullptr;
    std::shared_ptr<const document> other = externs_->open_proto_file(doc_, file, at);
    warnings_.set_file(doc_.file);
    if (!other) return nullptr;
    const document* raw = other.get();
    bool kept = false;
    for (const auto& u : doc_.uses) kept = kept || u.get() == raw;
    if (!kept) doc_.uses.push_back(std::move(other));
    return raw;
}

// The nodes an instance stands for: the body's first node, copied where it
// (or anything below it) takes a value from the interface, and shared where
// it does not. The copies take the instance's values, or the defaults.
node* parser::instantiate(const proto_definition& proto, const node& instance) {
    if (!proto.body) return nullptr;
    // Every node to copy, parents before children; each once, however often
    // the body USEs it. Top-level nodes beside the first are copied when
    // they take part in the instance's events.
    std::unordered_map<const node*, node*> copy_of;
    std::vector<const node*> order;
    for (const node* root : proto.body_nodes)
        if (root->uses_interface && copy_of.emplace(root, nullptr).second) order.push_back(root);
    if (order.empty()) {
        pass_on(proto, copy_of, proto.body);
        return proto.body;
    }
    for (std::size_t i = 0; i < order.size(); ++i)
        for (const field_value& v : order[i]->values)
            for (const node* child : v.nodes)
                if (child->uses_interface && copy_of.emplace(child, nullptr).second) order.push_back(child);
    // The instance's values by interface field: looked up once, not per IS.
    std::vector<const field_value*> given(proto.fields.size(), nullptr);
    for (const field_value& iv : instance.values)
        if (iv.field < given.size()) given[iv.field] = &iv;
    const auto value_for = [&](const field_value& v) -> const field_value* {
        const std::size_t ref = static_cast<std::size_t>(v.is_ref);
        if (given[ref]) return given[ref];
        return proto.fields[ref].has_value ? &proto.fields[ref].value : nullptr;
    };
    // What the copies will hold, arrays included, paid before any is made:
    // instances that each copy a large default are stopped by what they
    // cost, not only by how many nodes they make.
    std::int64_t bytes = 0;
    for (const node* original : order) {
        bytes += static_cast<std::int64_t>(sizeof(node));
        for (const field_value& v : original->values) {
            const field_value* taken = v.is_ref >= 0 ? value_for(v) : &v;
            if (taken) bytes += value_bytes(*taken);
        }
    }
    copies_ += static_cast<std::int64_t>(order.size());
    const bool too_many = copies_ > max_copies;
    reader::load_budget* budget = budget_.budget();
    if (too_many || (budget && !budget->spend(bytes, "PROTO copies"))) {
        if (!copies_warned_)
            warn(instance.where, too_many ? "PROTO instances make more than " + std::to_string(max_copies) +
                                                " nodes; the rest draw nothing"
                                          : budget->message() + "; the remaining PROTO instances draw nothing");
        copies_warned_ = true;
        return nullptr;
    }
    for (const node* original : order) {
        node& copy = doc_.make(original->type, original->where);
        copy.values = original->values;
        copy.children = original->children;
        copy_of[original] = &copy;
    }
    for (const node* original : order) {
        node& copy = *copy_of[original];
        copy.uses_interface = false;
        for (std::size_t i = 0; i < copy.values.size();) {
            field_value& v = copy.values[i];
            if (v.is_ref >= 0) {
                const field_value* taken = value_for(v);
                if (!taken) {  // an event: the field keeps its own default
                    copy.values.erase(copy.values.begin() + static_cast<std::ptrdiff_t>(i));
                    continue;
                }
                const std::uint32_t field = v.field;
                v = *taken;
                v.field = field;
            }
            for (node*& child : v.nodes)
                if (const auto found = copy_of.find(child); found != copy_of.end()) child = found->second;
            if (v.is_ref >= 0) copy.uses_interface = true;  // the instance sits in another body
            ++i;
        }
    }
    // Every node the copies hold is held once more, whether copied or shared.
    for (const node* original : order)
        for (const field_value& v : copy_of[original]->values)
            for (node* child : v.nodes)
                if (child->uses != UINT32_MAX) ++child->uses;
    // A copy that still takes values from an enclosing PROTO's interface
    // makes its parents do so too: children come after parents in `order`.
    for (auto o = order.rbegin(); o != order.rend(); ++o) {
        node& copy = *copy_of[*o];
        for (const field_value& v : copy.values)
            for (const node* child : v.nodes)
                if (child->uses_interface) copy.uses_interface = true;
    }
    node* result = copy_of.count(proto.body) ? copy_of[proto.body] : proto.body;
    pass_on(proto, copy_of, result);
    return result;
}

// The instance's share of the body's events: its ROUTEs and interface,
// between its own copies, go to the document, or to the PROTO whose body
// holds the instance (whose own instances copy them again).
void parser::pass_on(const proto_definition& proto, const std::unordered_map<const node*, node*>& copy_of,
                     node* result) {
    const auto mapped = [&](node* n) {
        const auto found = copy_of.find(n);
        return found != copy_of.end() && found->second ? found->second : n;
    };
    proto_definition* outer = scopes_.back().defining;
    std::vector<route_statement>& routes = outer ? outer->routes : doc_.routes;
    // The instance's event-only nodes are the enclosing body's too, copied
    // with each of its instances.
    if (outer)
        for (node* root : proto.body_nodes)
            if (root != proto.body)
                if (const auto found = copy_of.find(root); found != copy_of.end() && found->second) {
                    found->second->uses_interface = true;
                    outer->body_nodes.push_back(found->second);
                }
    // Routes and interfaces of instances nested in bodies multiply with the
    // copies that hold them: they count as copies, and are paid for.
    reader::load_budget* budget = budget_.budget();
    const auto affords = [&](std::int64_t bytes) {
        if (++copies_ <= max_copies && (!budget || budget->spend(bytes, "PROTO copies"))) return true;
        if (!copies_warned_)
            warn(proto.where, "PROTO instances make more than " + std::to_string(max_copies) +
                                  " nodes, routes and events, or more than a load may take; the rest draw nothing");
        copies_warned_ = true;
        return false;
    };
    for (const route_statement& r : proto.routes) {
        if (!affords(static_cast<std::int64_t>(sizeof(route_statement) + r.from_event.size() + r.to_event.size())))
            break;
        route_statement copy = r;
        copy.from = mapped(r.from);
        copy.to = mapped(r.to);
        routes.push_back(std::move(copy));
    }
    const auto add = [&](node* holder, interface_link link) {
        if (!affords(static_cast<std::int64_t>(sizeof(interface_link) + link.name.size() + link.event.size())))
            return;
        if (outer) outer->inner_interfaces.emplace_back(holder, std::move(link));
        else doc_.interfaces[holder].push_back(std::move(link));
    };
    for (const proto_definition::link& l : proto.links)
        add(result, {proto.fields[static_cast<std::size_t>(l.field)].name, mapped(l.from), l.event});
    for (const auto& [holder, link] : proto.inner_interfaces) {
        interface_link copy = link;
        copy.target = mapped(link.target);
        add(mapped(holder), std::move(copy));
    }
}

// Body nodes that ROUTEs join are copied per instance, and so is every
// node above them, so that each instance's events stay its own.
void parser::mark_routed(proto_definition& proto) {
    std::unordered_set<const node*> ends;
    for (const route_statement& r : proto.routes) {
        ends.insert(r.from);
        ends.insert(r.to);
    }
    for (const auto& [holder, link] : proto.inner_interfaces) ends.insert(holder);
    if (ends.empty()) return;
    // Children before parents: a walk that leaves each node after its children.
    std::unordered_set<const node*> seen;
    std::vector<std::pair<node*, bool>> stack;
    for (node* root : proto.body_nodes) stack.emplace_back(root, false);
    while (!stack.empty()) {
        auto [n, done] = stack.back();
        stack.pop_back();
        if (done) {
            if (ends.count(n)) n->uses_interface = true;
            for (const field_value& v : n->values)
                for (const node* child : v.nodes)
                    if (child && child->uses_interface) n->uses_interface = true;
            continue;
        }
        if (!seen.insert(n).second) continue;
        stack.emplace_back(n, true);
        for (const field_value& v : n->values)
            for (node* child : v.nodes)
                if (child && !seen.count(child)) stack.emplace_back(child, false);
    }
}

}  // namespace

void parse_vrml2(const char* begin, const char* end, document& doc, warning_list& warnings,
                 const std::function<void(int)>& progress, proto_file_source* externs,
                 reader::load_budget* budget, text_part* part) {
    warnings.set_file(doc.file);
    // A later share of a large text has no header of its own: its caller
    // sets doc.x3d.
    if (detect_scene_format(std::string_view(begin, static_cast<std::size_t>(end - begin))) == scene_format::x3d)
        doc.x3d = true;
    parser p(begin, end, doc, warnings, externs, budget, part);
    p.run(progress);
}

}  // namespace tessel::vrml

namespace tessel::vrml {

void apply_angle_unit(document& doc) {
    const float unit = doc.angle_unit;
    if (unit == 1.0f) return;
    // Rotations, and the fields the X3D standard measures in angles.
    static constexpr std::string_view angles[] = {"creaseAngle", "cutOffAngle", "beamWidth", "skyAngle",
                                                  "groundAngle"};
    each_node(doc, [&](node& n) {
        if (!n.type) return;
        for (field_value& v : n.values) {
            if (v.field >= n.type->fields.size()) continue;
            const field_def& def = n.type->fields[v.field];
            const bool rotation = def.type == field_type::sf_rotation || def.type == field_type::mf_rotation;
            const bool angle = std::find(std::begin(angles), std::end(angles), def.name) != std::end(angles) ||
                               (def.name == "fieldOfView" && n.type->kind == node_kind::v2_viewpoint);
            if (rotation)
                for (std::size_t i = 3; i < v.numbers.size(); i += 4) v.numbers[i] *= unit;
            else if (angle)
                for (float& a : v.numbers) a *= unit;
        }
    });
}

}  // namespace tessel::vrml
