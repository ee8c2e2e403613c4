// The XML is read by pugixml: well kept and packaged by Debian, and it
// parses in place, so that the large number lists of a mesh are scanned
// once and never copied into a reader's own memory. It loads no external
// entity or DTD and expands only XML's five predefined entities and
// character references, so no declared entity can grow or fetch anything;
// any entity declaration still stops the reading, as X3D files need none. A
// DOCTYPE that only names the X3D DTD by its URL is accepted; the DTD is
// never fetched.
//
// The tree is walked in document order without recursion, and the classic
// text is written straight into one reserved string as elements start and
// end: each element's attributes become its fields, its child elements the
// values of its node-valued fields, grouped by containerField. Each node's
// offset in the text gives its line, counted on from the previous node's.

#include "formats/x3d/xml_to_classic.h"

#include <iconv.h>

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace tessel::vrml {

namespace {

// How a value is written in classic text.
enum class value_kind : std::uint8_t {
    sf_raw,     // numbers, as they are
    mf_raw,     // numbers, in brackets
    sf_string,  // unquoted in XML: quoted
    mf_string,  // quoted in XML already, mostly: in brackets
    sf_bool,    // true/false: TRUE/FALSE
    mf_bool,
    sf_node,  // child elements
    mf_node,
    guess,  // a field no table knows: written so that it reads as one value
};

bool is_node_kind(value_kind k) { return k == value_kind::sf_node || k == value_kind::mf_node; }

value_kind kind_of(field_type t) {
    switch (t) {
    case field_type::sf_bool: return value_kind::sf_bool;
    case field_type::sf_string: return value_kind::sf_string;
    case field_type::mf_string: return value_kind::mf_string;
    case field_type::sf_node: return value_kind::sf_node;
    case field_type::mf_node: return value_kind::mf_node;
    case field_type::mf_color:
    case field_type::mf_float:
    case field_type::mf_long:
    case field_type::mf_vec2f:
    case field_type::mf_vec3f:
    case field_type::mf_time:
    case field_type::mf_rotation:
    case field_type::mf_color_rgba:
    case field_type::mf_vec4f: return value_kind::mf_raw;
    case field_type::mf_bool: return value_kind::mf_bool;
    default: return value_kind::sf_raw;
    }
}

// X3D's field type names ("SFVec3d", "MFString"...), as a PROTO's interface
// or a Script's field gives them.
value_kind kind_of_type_name(std::string_view type) {
    if (type.size() < 3 || (type[0] != 'S' && type[0] != 'M') || type[1] != 'F') return value_kind::guess;
    const bool many = type[0] == 'M';
    const std::string_view rest = type.substr(2);
    if (rest == "String") return many ? value_kind::mf_string : value_kind::sf_string;
    if (rest == "Bool") return many ? value_kind::mf_bool : value_kind::sf_bool;
    if (rest == "Node") return many ? value_kind::mf_node : value_kind::sf_node;
    return many ? value_kind::mf_raw : value_kind::sf_raw;
}

// A value for a declared field the XML gives none: the classic interface
// needs one. X3D's defaults are zeros of the type's size.
std::string_view default_value(std::string_view type) {
    if (!type.empty() && type[0] == 'M') return "[ ]";
    static const std::pair<std::string_view, std::string_view> defaults[] = {
        {"SFBool", "FALSE"},       {"SFString", "\"\""},         {"SFNode", "NULL"},      {"SFVec2f", "0 0"},
        {"SFVec2d", "0 0"},        {"SFVec3f", "0 0 0"},         {"SFVec3d", "0 0 0"},    {"SFColor", "0 0 0"},
        {"SFColorRGBA", "0 0 0 0"}, {"SFVec4f", "0 0 0 0"},      {"SFVec4d", "0 0 0 0"},  {"SFRotation", "0 0 1 0"},
        {"SFImage", "0 0 0"},      {"SFMatrix3f", "1 0 0 0 1 0 0 0 1"}, {"SFMatrix3d", "1 0 0 0 1 0 0 0 1"},
        {"SFMatrix4f", "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1"}, {"SFMatrix4d", "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1"}};
    for (const auto& [name, value] : defaults)
        if (name == type) return value;
    return "0";  // SFFloat, SFDouble, SFTime, SFInt32
}

// The node-valued field a child element fills when it names none: X3D's
// containerField default of its type.
std::string_view default_container(std::string_view type) {
    static const std::pair<std::string_view, std::string_view> fields[] = {
        {"Appearance", "appearance"},
        {"Material", "material"},
        {"TwoSidedMaterial", "material"},
        {"PhysicalMaterial", "material"},
        {"UnlitMaterial", "material"},
        {"ImageTexture", "texture"},
        {"PixelTexture", "texture"},
        {"MovieTexture", "texture"},
        {"TextureTransform", "textureTransform"},
        {"Coordinate", "coord"},
        {"CoordinateDouble", "coord"},
        {"Color", "color"},
        {"ColorRGBA", "color"},
        {"Normal", "normal"},
        {"TextureCoordinate", "texCoord"},
        {"TextureCoordinateGenerator", "texCoord"},
        {"MultiTextureCoordinate", "texCoord"},
        {"MultiTexture", "texture"},
        {"MultiTextureTransform", "textureTransform"},
        {"FogCoordinate", "fogCoord"},
        {"FloatVertexAttribute", "attrib"},
        {"Matrix3VertexAttribute", "attrib"},
        {"Matrix4VertexAttribute", "attrib"},
        {"TextureProperties", "textureProperties"},
        {"FontStyle", "fontStyle"},
        {"Box", "geometry"},
        {"Cone", "geometry"},
        {"Cylinder", "geometry"},
        {"Sphere", "geometry"},
        {"Text", "geometry"},
        {"ElevationGrid", "geometry"},
        {"Extrusion", "geometry"},
        {"IndexedFaceSet", "geometry"},
        {"IndexedLineSet", "geometry"},
        {"PointSet", "geometry"},
        {"LineSet", "geometry"},
        {"TriangleSet", "geometry"},
        {"TriangleFanSet", "geometry"},
        {"TriangleStripSet", "geometry"},
        {"QuadSet", "geometry"},
        {"IndexedTriangleSet", "geometry"},
        {"IndexedTriangleFanSet", "geometry"},
        {"IndexedTriangleStripSet", "geometry"},
        {"IndexedQuadSet", "geometry"},
        {"Arc2D", "geometry"},
        {"ArcClose2D", "geometry"},
        {"Circle2D", "geometry"},
        {"Disk2D", "geometry"},
        {"Polyline2D", "geometry"},
        {"Polypoint2D", "geometry"},
        {"Rectangle2D", "geometry"},
        {"TriangleSet2D", "geometry"},
    };
    if (type.starts_with("Metadata")) return "metadata";
    for (const auto& [name, field] : fields)
        if (name == type) return field;
    return "children";
}

// Whether a node-valued field no table knows holds one node: the names X3D
// gives single-node fields.
bool single_node_field(std::string_view field) {
    static const std::string_view names[] = {"appearance", "material", "texture", "textureTransform", "coord",
                                             "color",      "normal",   "texCoord", "fontStyle", "metadata",
                                             "geometry",   "proxy",    "fogCoord"};
    return std::find(std::begin(names), std::end(names), field) != std::end(names);
}

// Characters that would break a classic name (a DEF, a field, a type).
bool breaks_name(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= ' ' || u == 0x7f || c == '"' || c == '#' || c == '\'' || c == ',' || c == '.' || c == '[' ||
           c == '\\' || c == ']' || c == '{' || c == '}' || c == '+';
}

// Characters that would end or open classic structure inside a number list,
// as a table: number lists are most of a large scene, and are looked at
// character by character.
constexpr auto number_breakers = [] {
    std::array<bool, 256> t{};
    for (int c = 0; c < ' '; ++c) t[static_cast<std::size_t>(c)] = true;
    for (unsigned char c : std::string_view("\"#[\\]{}")) t[c] = true;
    return t;
}();

bool breaks_numbers(char c) { return number_breakers[static_cast<unsigned char>(c)]; }

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ','; }

std::string_view trimmed(std::string_view v) {
    while (!v.empty() && is_space(v.front())) v.remove_prefix(1);
    while (!v.empty() && is_space(v.back())) v.remove_suffix(1);
    return v;
}

bool equal_nocase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x | 0x20) == (y | 0x20);
           });
}

// Whether every word of a value is a number-like token or a boolean.
bool looks_numeric(std::string_view v) {
    for (char c : v) {
        if (is_space(c) || (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E' ||
            c == 'x' || c == 'X' || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))
            continue;
        return false;
    }
    return true;
}

bool looks_boolean(std::string_view v) {
    std::size_t i = 0;
    bool any = false;
    while (i < v.size()) {
        while (i < v.size() && is_space(v[i])) ++i;
        std::size_t j = i;
        while (j < v.size() && !is_space(v[j])) ++j;
        if (j == i) break;
        const std::string_view w = v.substr(i, j - i);
        if (!equal_nocase(w, "true") && !equal_nocase(w, "false")) return false;
        any = true;
        i = j;
    }
    return any;
}

std::size_t word_count(std::string_view v) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < v.size();) {
        while (i < v.size() && is_space(v[i])) ++i;
        if (i == v.size()) break;
        ++n;
        while (i < v.size() && !is_space(v[i])) ++i;
    }
    return n;
}

// A declared prototype's fields: how each one's values are written.
using proto_fields = std::unordered_map<std::string, value_kind>;

enum class element : std::uint8_t {
    x3d,
    head,
    scene,
    node,            // a node element, or a ProtoInstance
    proto_declare,   // its ProtoInterface is transparent
    proto_interface,
    proto_body,
    extern_proto,
    field,        // a declaration: PROTO interface, EXTERNPROTO, Script
    field_value,  // a ProtoInstance's value
    is,
    leaf,  // an element that holds nothing (USE, ROUTE, meta, connect...)
    skip,  // out of place: it and all it holds are left out
};

struct frame {
    frame(element w, const node_type* t = nullptr, proto_fields* p = nullptr) : what(w), type(t), proto(p) {}
    element what;
    const node_type* type = nullptr;   // node: the table's type, when known
    proto_fields* proto = nullptr;     // node (an instance): the declared fields; proto_declare: being declared
    value_kind kind = value_kind::guess;  // field, field_value: how its value is written
    std::string open_field;            // node: the node-valued field whose '[' is still open
    int values = 0;                    // field, field_value: node values written
    bool in_extern = false;            // field: an EXTERNPROTO's, which holds no value
    bool body = false;                 // proto_declare: the body's '{' is written
    bool instance = false;             // node: a ProtoInstance
    // A Script: its url is written with its source, which follows its fields.
    bool script = false;
    std::string script_url;
    int source = 0;  // 0 none yet, 1 open string, 2 written
};

class transcoder {
public:
    transcoder(x3d_node_types types, std::string& out, warning_list& warnings)
        : types_(types), out_(out), warnings_(warnings) {}

    bool run(std::string_view xml, std::string& error);

private:
    void walk(const pugi::xml_document& doc);
    source_position position(std::ptrdiff_t offset);
    void move_to(std::ptrdiff_t offset) {
        if (offset >= 0) at_ = position(offset);  // negative: unknown, the last place stays
    }

    source_position here() const { return at_; }
    void warn(const std::string& message) { warnings_.add(here(), message); }
    void stop(std::string message) {
        if (!stop_message_.empty()) return;
        stop_message_ = std::move(message);
        stop_at_ = here();
    }

    // Pads with line ends up to a place's line, and with spaces up to its
    // column where the text written so far on that line is shorter: the
    // parser's warnings then name the XML line, and mostly the XML column.
    // Never goes back; always leaves a space before what follows.
    void place_to(std::int64_t line, std::int64_t column) {
        if (out_line_ < line) {
            out_.append(static_cast<std::size_t>(line - out_line_), '\n');
            out_line_ = line;
        }
        if (out_start_line_ != out_line_) {  // a string ran over lines
            out_line_start_ = out_.rfind('\n') + 1;  // npos + 1: the first line
            out_start_line_ = out_line_;
        }
        const auto now = static_cast<std::int64_t>(out_.size() - out_line_start_) + 1;
        if (out_line_ == line && now < column) out_.append(static_cast<std::size_t>(column - now), ' ');
        else out_ += ' ';
    }
    // An element or statement: what it becomes starts at its name, after '<'.
    void line_here() { place_to(at_.line, at_.column + 1); }
    // An attribute, at its name, when the parsed tree's name lies in the text.
    void attribute_here(const char* name) {
        if (name >= parsed_begin_ && name < parsed_end_) move_to(name - parsed_begin_);
        place_to(at_.line, at_.column);
    }

    void start(const char* name, const char** atts);
    void end();
    void text(std::string_view s);

    void start_in_x3d(std::string_view name);
    void start_in_head(std::string_view name, const char** atts);
    bool start_statement(std::string_view name, const char** atts);
    void start_node(std::string_view name, const char** atts);
    bool open_container(frame& parent, std::string_view element_name, const char** atts);
    void start_field(const char** atts, frame& parent);
    void start_field_value(const char** atts, frame& parent);
    void start_proto(const char** atts, bool external);
    void close_group(frame& f) {
        if (!f.open_field.empty()) {
            out_ += " ]";
            f.open_field.clear();
        }
    }
    void close_source(frame& f) {
        if (f.source == 1) {
            out_ += "\" ]";
            f.source = 2;
        }
    }
    void skip(std::string_view name, std::string_view where) {
        warn("<" + std::string(name) + "> does not belong in " + std::string(where) + "; left out");
        stack_.push_back({element::skip});
    }

    void name(std::string_view v);
    void string(std::string_view v);
    void value(value_kind kind, std::string_view v);
    void numbers(std::string_view v);
    void quoted_strings(std::string_view v);
    void booleans(std::string_view v);

    x3d_node_types types_;
    std::string& out_;
    warning_list& warnings_;
    // The text the offsets of the parsed tree count in, untouched by the
    // parsing; the place last moved to, and where its line starts.
    std::string_view text_;
    source_position at_{1, 1};
    std::size_t at_offset_ = 0, line_start_ = 0;
    std::vector<const char*> atts_;  // an element's names and values, as start() takes them
    std::int64_t out_line_ = 1;  // the line out_ ends on
    // Where that line starts in out_, known while out_start_line_ is it.
    std::size_t out_line_start_ = 0;
    std::int64_t out_start_line_ = 1;
    // The parsed copy of the text, into which the tree's names point.
    const char* parsed_begin_ = nullptr;
    const char* parsed_end_ = nullptr;
    std::vector<frame> stack_;
    bool seen_root_ = false;
    // Declared prototypes by name; values never move, so frames keep pointers.
    std::unordered_map<std::string, proto_fields> protos_;
    std::string stop_message_;
    source_position stop_at_;
};

// Elements of the encoding's own structure: out of their place they are no
// node either.
bool is_structure(std::string_view tag) {
    static const std::string_view tags[] = {"X3D", "head", "Scene", "component", "unit", "meta", "ProtoInterface",
                                            "ProtoBody", "field", "fieldValue", "IS", "connect"};
    return std::find(std::begin(tags), std::end(tags), tag) != std::end(tags);
}

bool is_statement(std::string_view tag) {
    return tag == "ROUTE" || tag == "IMPORT" || tag == "EXPORT" || tag == "ProtoDeclare" ||
           tag == "ExternProtoDeclare";
}

// A value that cannot be left empty in classic text: a single number or
// boolean.
bool empty_scalar(value_kind kind, std::string_view v) {
    return (kind == value_kind::sf_raw || kind == value_kind::sf_bool) && trimmed(v).empty();
}

const char* attribute(const char** atts, std::string_view key) {
    for (const char** a = atts; *a; a += 2)
        if (key == a[0]) return a[1];
    return nullptr;
}

// Attributes that are the element's own business, never a field.
bool not_a_field(std::string_view key) {
    return key == "DEF" || key == "USE" || key == "containerField" || key == "class" || key == "id" ||
           key == "style" || key.starts_with("xmlns") || key.find(':') != std::string_view::npos;
}

// A name as classic text may hold it: characters that would break the
// structure become '_', the same way everywhere, so that a DEF and its USEs
// and ROUTEs still agree.
void transcoder::name(std::string_view v) {
    const std::size_t from = out_.size();
    if (!v.empty() && v[0] >= '0' && v[0] <= '9') out_ += '_';
    out_.append(v);
    if (v.empty()) out_ += '_';
    for (std::size_t i = from; i < out_.size(); ++i)
        if (breaks_name(out_[i]) || (out_[i] == '-' && i == from)) out_[i] = '_';
}

void transcoder::string(std::string_view v) {
    out_ += '"';
    for (char c : v) {
        if (c == '"' || c == '\\') out_ += '\\';
        else if (c == '\n') ++out_line_;
        out_ += c;
    }
    out_ += '"';
}

void transcoder::numbers(std::string_view v) {
    // Looked for in the value, so that the usual list, with nothing to
    // replace, is copied in one piece.
    const auto bad = std::find_if(v.begin(), v.end(), breaks_numbers);
    const std::size_t from = out_.size() + static_cast<std::size_t>(bad - v.begin());
    out_.append(v);
    if (bad == v.end()) return;
    for (std::size_t i = from; i < out_.size(); ++i)
        if (breaks_numbers(out_[i])) out_[i] = ' ';
    warnings_.add_once("x3d numbers", here(), "characters that are no part of a number; read as spaces");
}

// Strings written with quotes and escapes, as classic writes them. Outside
// the quotes only separators are kept, and an unclosed string is closed:
// neither may swallow or open the structure around the value.
void transcoder::quoted_strings(std::string_view v) {
    const std::size_t from = out_.size();
    out_.append(v);
    bool in = false, changed = false;
    std::size_t i = from;
    for (; i < out_.size(); ++i) {
        const char c = out_[i];
        if (c == '\n') ++out_line_;
        if (in && c == '\\') {
            if (i + 1 < out_.size() && out_[i + 1] == '\n') ++out_line_;
            ++i;
        } else if (c == '"') {
            in = !in;
        } else if (!in && !is_space(c)) {
            out_[i] = ' ';
            changed = true;
        }
    }
    if (i > out_.size()) out_ += '\\';  // a backslash ended it: escape it
    if (in) {
        out_ += '"';
        changed = true;
    }
    if (changed) warnings_.add_once("x3d strings", here(), "text outside the quotes of a string list; left out");
}

void transcoder::booleans(std::string_view v) {
    std::size_t i = 0;
    while (i < v.size()) {
        while (i < v.size() && is_space(v[i])) ++i;
        std::size_t j = i;
        while (j < v.size() && !is_space(v[j])) ++j;
        if (j == i) break;
        const std::string_view w = v.substr(i, j - i);
        if (equal_nocase(w, "true")) out_ += "TRUE ";
        else if (equal_nocase(w, "false")) out_ += "FALSE ";
        else {
            numbers(w);  // left for the parser to name
            out_ += ' ';
        }
        i = j;
    }
}

void transcoder::value(value_kind kind, std::string_view v) {
    const std::string_view t = trimmed(v);
    switch (kind) {
    case value_kind::sf_string: string(v); return;
    case value_kind::mf_string:
        out_ += "[ ";
        if (t.empty()) {
        } else if (t.front() == '"') {
            quoted_strings(t);
        } else {
            string(t);
        }
        out_ += " ]";
        return;
    case value_kind::sf_bool:
    case value_kind::mf_bool:
        if (kind == value_kind::mf_bool) out_ += "[ ";
        booleans(t);
        if (kind == value_kind::mf_bool) out_ += ']';
        return;
    case value_kind::mf_raw:
        out_ += "[ ";
        numbers(t);
        out_ += " ]";
        return;
    case value_kind::sf_raw: numbers(t); return;
    case value_kind::guess:
        if (t.empty()) out_ += "\"\"";
        else if (looks_boolean(t)) value(word_count(t) > 1 ? value_kind::mf_bool : value_kind::sf_bool, t);
        else if (looks_numeric(t)) value(word_count(t) > 1 ? value_kind::mf_raw : value_kind::sf_raw, t);
        else if (t.front() == '"') value(value_kind::mf_string, t);
        else string(v);
        return;
    case value_kind::sf_node:
    case value_kind::mf_node: return;  // child elements, never attributes
    }
}

// The line and column of an offset into text_. The walk goes in document
// order, so offsets grow and lines are counted on from the last place; only
// a step back (never taken by a well-formed tree) counts from the start.
source_position transcoder::position(std::ptrdiff_t offset) {
    const std::size_t to = std::min(static_cast<std::size_t>(offset), text_.size());
    if (to < at_offset_) {
        at_offset_ = line_start_ = 0;
        at_.line = 1;
    }
    const char* const base = text_.data();
    for (const char* nl = base + at_offset_;;) {
        nl = static_cast<const char*>(std::memchr(nl, '\n', to - static_cast<std::size_t>(nl - base)));
        if (!nl) break;
        ++at_.line;
        ++nl;
        line_start_ = static_cast<std::size_t>(nl - base);
    }
    at_offset_ = to;
    at_.column = static_cast<std::int64_t>(to - line_start_) + 1;
    return at_;
}

// Calls start(), text() and end() for the tree's elements and texts in
// document order, the way a streaming reader would report them. The depth
// limit in start() bounds the frames; the walk itself keeps no stack, as it
// follows the tree's parent and sibling links.
void transcoder::walk(const pugi::xml_document& doc) {
    pugi::xml_node n = doc.first_child();
    while (n) {
        bool opened = false;
        switch (n.type()) {
        case pugi::node_element: {
            const std::ptrdiff_t name_at = n.offset_debug();
            move_to(name_at > 0 ? name_at - 1 : name_at);  // the '<' before the name
            atts_.clear();
            for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
                atts_.push_back(a.name());
                atts_.push_back(a.value());
            }
            atts_.push_back(nullptr);
            start(n.name(), atts_.data());
            if (!stop_message_.empty()) return;
            opened = true;
            break;
        }
        case pugi::node_pcdata:
        case pugi::node_cdata:
            move_to(n.offset_debug());
            text(n.value());
            break;
        case pugi::node_doctype:
            if (std::strstr(n.value(), "<!ENTITY")) {
                move_to(n.offset_debug());
                stop("entity declarations are not read");
                return;
            }
            break;
        default: break;
        }
        if (opened && n.first_child()) {
            n = n.first_child();
            continue;
        }
        if (opened) end();
        while (!n.next_sibling()) {
            n = n.parent();
            if (!n || n == doc) return;
            end();
        }
        n = n.next_sibling();
    }
}

// pugixml's reasons, in words like the rest of the reading's errors.
std::string parse_error_text(const pugi::xml_parse_result& r) {
    switch (r.status) {
    case pugi::status_out_of_memory: return "out of memory for the XML reader";
    case pugi::status_unrecognized_tag: return "not well-formed (invalid token)";
    case pugi::status_bad_pi: return "malformed declaration or processing instruction";
    case pugi::status_bad_comment: return "malformed comment";
    case pugi::status_bad_cdata: return "malformed CDATA section";
    case pugi::status_bad_doctype: return "malformed DOCTYPE";
    case pugi::status_bad_pcdata: return "malformed text";
    case pugi::status_bad_start_element: return "malformed start tag";
    case pugi::status_bad_attribute: return "malformed attribute";
    case pugi::status_bad_end_element: return "malformed end tag";
    case pugi::status_end_element_mismatch: return "mismatched tag";
    case pugi::status_no_document_element: return "no element found";
    default: return r.description();
    }
}

// Text in another encoding than UTF-8, as UTF-8: pugixml would convert it
// into a buffer of its own, whose offsets no longer count in the text.
bool to_utf8(std::string_view in, pugi::xml_encoding from, std::string& out) {
    const char* name = nullptr;
    switch (from) {
    case pugi::encoding_utf16_le: name = "UTF-16LE"; break;
    case pugi::encoding_utf16_be: name = "UTF-16BE"; break;
    case pugi::encoding_utf32_le: name = "UTF-32LE"; break;
    case pugi::encoding_utf32_be: name = "UTF-32BE"; break;
    case pugi::encoding_latin1: name = "ISO-8859-1"; break;
    default: return false;
    }
    iconv_t cd = iconv_open("UTF-8", name);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.resize(in.size() * 2 + 16);  // latin-1 doubles at most; UTF-16 and 32 shrink or stay
    char* src = const_cast<char*>(in.data());
    std::size_t src_left = in.size();
    char* dst = out.data();
    std::size_t dst_left = out.size();
    const bool ok = iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<std::size_t>(-1) && src_left == 0;
    iconv_close(cd);
    out.resize(ok ? out.size() - dst_left : 0);
    return ok;
}

bool transcoder::run(std::string_view xml, std::string& error) {
    out_.clear();
    out_.reserve(xml.size() + xml.size() / 8 + 256);
    // Parsed in place in a copy: offsets into the copy are offsets into the
    // text, the tree's names and values point into it, and it outlives the
    // tree. A DOCTYPE becomes a node, for its declarations to be looked at.
    constexpr unsigned options = pugi::parse_default | pugi::parse_doctype;
    text_ = xml;
    std::string buffer(xml), converted;
    pugi::xml_document doc;
    pugi::xml_parse_result r = doc.load_buffer_inplace(buffer.data(), buffer.size(), options, pugi::encoding_auto);
    if (r.encoding != pugi::encoding_utf8) {
        if (!to_utf8(xml, r.encoding, converted)) {
            error = warnings_.file() + ":1:1: the text is not in the encoding it declares";
            return false;
        }
        text_ = converted;
        buffer = converted;
        r = doc.load_buffer_inplace(buffer.data(), buffer.size(), options, pugi::encoding_utf8);
    }
    bool ok = static_cast<bool>(r);
    parsed_begin_ = buffer.data();
    parsed_end_ = buffer.data() + buffer.size();
    if (ok) {
        walk(doc);
        ok = stop_message_.empty();
        if (ok && !seen_root_) {
            ok = false;
            stop_message_ = "no X3D element";
            stop_at_ = at_;
        }
    }
    if (!ok) {
        const source_position p = stop_message_.empty() ? position(r.offset) : stop_at_;
        const std::string message = stop_message_.empty() ? parse_error_text(r) : stop_message_;
        error = warnings_.file() + ":" + std::to_string(p.line) + ":" + std::to_string(p.column) + ": " + message;
        out_.clear();  // a part of a scene is not handed on as if it were the scene
        return false;
    }
    out_ += '\n';
    return true;
}

void transcoder::start(const char* raw_name, const char** atts) {
    const std::string_view tag(raw_name);
    if (stack_.empty()) {
        if (seen_root_ || tag != "X3D") {
            stop("the document's element is <" + std::string(tag) + ">, not <X3D>");
            return;
        }
        seen_root_ = true;
        // X3D's classic header, then the profile where the element stands.
        const char* version = attribute(atts, "version");
        std::string_view v = version ? trimmed(version) : "3.3";
        if (v.empty() || !std::all_of(v.begin(), v.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; })) {
            warn("X3D version \"" + std::string(v) + "\" is not a number; read as 3.3");
            v = "3.3";
        }
        out_ += "#X3D V";
        out_.append(v);
        out_ += " utf8\n";
        out_line_ = 2;
        const char* profile = attribute(atts, "profile");
        line_here();
        out_ += "PROFILE ";
        name(profile ? trimmed(profile) : "Full");
        stack_.push_back({element::x3d});
        return;
    }
    // Each open element costs a frame here: a text of nothing but nested
    // tags must not cost many times its size. No scene nests nearly this
    // deep.
    constexpr std::size_t max_depth = 10000;
    if (stack_.size() >= max_depth) {
        stop("elements nested more than " + std::to_string(max_depth) + " deep");
        return;
    }
    frame& parent = stack_.back();
    switch (parent.what) {
    case element::skip:
    case element::leaf:
        if (parent.what == element::leaf) warn("<" + std::string(tag) + "> inside an element that holds nothing; left out");
        stack_.push_back({element::skip});
        return;
    case element::x3d: start_in_x3d(tag); return;
    case element::head: start_in_head(tag, atts); return;
    case element::proto_declare:
        if (tag == "ProtoInterface" && !parent.body) {
            stack_.push_back({element::proto_interface, nullptr, parent.proto});
        } else if (tag == "ProtoBody" && !parent.body) {
            line_here();
            out_ += "] {";
            parent.body = true;
            stack_.push_back({element::proto_body});
        } else {
            skip(tag, "a ProtoDeclare");
        }
        return;
    case element::proto_interface:
    case element::extern_proto:
        if (tag == "field") start_field(atts, parent);
        else skip(tag, parent.what == element::extern_proto ? "an ExternProtoDeclare" : "a ProtoInterface");
        return;
    case element::is:
        if (tag == "connect") {
            const char* field = attribute(atts, "nodeField");
            const char* proto = attribute(atts, "protoField");
            if (!field || !proto) {
                warn("<connect> without nodeField and protoField; left out");
            } else {
                line_here();
                name(field);
                out_ += " IS ";
                name(proto);
            }
            stack_.push_back({element::leaf});
        } else {
            skip(tag, "an IS");
        }
        return;
    case element::field:
    case element::field_value:
        if (!is_node_kind(parent.kind) || parent.in_extern) {
            skip(tag, "a field that holds no nodes");
            return;
        }
        if (is_statement(tag)) {
            skip(tag, "a field's node values");
            return;
        }
        if (parent.kind == value_kind::sf_node && parent.values > 0) {
            skip(tag, "a field that holds one node, after its node");
            return;
        }
        if (is_structure(tag)) {
            skip(tag, "a field's node values");
            return;
        }
        ++parent.values;
        start_node(tag, atts);
        return;
    case element::scene:
    case element::proto_body:
        if (start_statement(tag, atts)) return;
        if (is_structure(tag)) {
            skip(tag, "a scene or prototype body");
            return;
        }
        start_node(tag, atts);
        return;
    case element::node:
        close_source(parent);
        if (tag == "IS") {
            close_group(parent);
            stack_.push_back({element::is});
            return;
        }
        if (tag == "field") {
            close_group(parent);
            start_field(atts, parent);
            return;
        }
        if (tag == "fieldValue") {
            close_group(parent);
            if (parent.instance) start_field_value(atts, parent);
            else skip(tag, "a built-in node");
            return;
        }
        if (is_statement(tag)) {
            close_group(parent);  // a statement may stand among fields, never inside brackets
            start_statement(tag, atts);
            return;
        }
        if (is_structure(tag)) {
            skip(tag, "a node");
            return;
        }
        if (!open_container(parent, tag, atts)) return;
        start_node(tag, atts);
        return;
    }
}

void transcoder::start_in_x3d(std::string_view name) {
    if (name == "head") stack_.push_back({element::head});
    else if (name == "Scene") stack_.push_back({element::scene});
    else skip(name, "<X3D>");
}

void transcoder::start_in_head(std::string_view element_name, const char** atts) {
    if (element_name == "component") {
        const char* n = attribute(atts, "name");
        const char* level = attribute(atts, "level");
        if (n) {
            line_here();
            out_ += "COMPONENT ";
            name(trimmed(n));
            if (level) {
                out_ += ':';
                numbers(trimmed(level));
            }
        } else {
            warn("<component> without a name; left out");
        }
    } else if (element_name == "unit") {
        const char* category = attribute(atts, "category");
        const char* n = attribute(atts, "name");
        const char* factor = attribute(atts, "conversionFactor");
        if (category && n && factor) {
            line_here();
            out_ += "UNIT ";
            name(trimmed(category));
            out_ += ' ';
            name(trimmed(n));
            out_ += ' ';
            numbers(trimmed(factor));
        } else {
            warn("<unit> without category, name and conversionFactor; left out");
        }
    } else if (element_name == "meta") {
        const char* n = attribute(atts, "name");
        const char* content = attribute(atts, "content");
        if (n && content) {
            line_here();
            out_ += "META ";
            string(n);
            out_ += ' ';
            string(content);
        }
    } else {
        skip(element_name, "<head>");
        return;
    }
    stack_.push_back({element::leaf});
}

// The statements that may stand wherever a node may: ROUTE, IMPORT, EXPORT
// and prototype declarations. Returns false for any other element.
bool transcoder::start_statement(std::string_view element_name, const char** atts) {
    if (element_name == "ROUTE") {
        const char* from = attribute(atts, "fromNode");
        const char* from_field = attribute(atts, "fromField");
        const char* to = attribute(atts, "toNode");
        const char* to_field = attribute(atts, "toField");
        if (!from || !from_field || !to || !to_field) {
            warn("<ROUTE> without fromNode, fromField, toNode and toField; left out");
        } else {
            line_here();
            out_ += "ROUTE ";
            name(from);
            out_ += '.';
            name(from_field);
            out_ += " TO ";
            name(to);
            out_ += '.';
            name(to_field);
        }
    } else if (element_name == "IMPORT") {
        const char* inline_def = attribute(atts, "inlineDEF");
        const char* imported = attribute(atts, "importedDEF");
        const char* as = attribute(atts, "AS");
        if (!inline_def || !imported) {
            warn("<IMPORT> without inlineDEF and importedDEF; left out");
        } else {
            line_here();
            out_ += "IMPORT ";
            name(inline_def);
            out_ += '.';
            name(imported);
            if (as) {
                out_ += " AS ";
                name(as);
            }
        }
    } else if (element_name == "EXPORT") {
        const char* local = attribute(atts, "localDEF");
        const char* as = attribute(atts, "AS");
        if (!local) {
            warn("<EXPORT> without localDEF; left out");
        } else {
            line_here();
            out_ += "EXPORT ";
            name(local);
            if (as) {
                out_ += " AS ";
                name(as);
            }
        }
    } else if (element_name == "ProtoDeclare" || element_name == "ExternProtoDeclare") {
        start_proto(atts, element_name == "ExternProtoDeclare");
        return true;
    } else {
        return false;
    }
    stack_.push_back({element::leaf});
    return true;
}

void transcoder::start_proto(const char** atts, bool external) {
    const char* n = attribute(atts, "name");
    if (!n) {
        warn(external ? "<ExternProtoDeclare> without a name; left out" : "<ProtoDeclare> without a name; left out");
        stack_.push_back({element::skip});
        return;
    }
    proto_fields& fields = protos_[n];
    fields.clear();  // a later declaration of the name replaces the earlier one
    line_here();
    out_ += external ? "EXTERNPROTO " : "PROTO ";
    name(n);
    out_ += " [";
    frame f{external ? element::extern_proto : element::proto_declare, nullptr, &fields};
    if (external) {
        const char* url = attribute(atts, "url");
        f.script_url = url ? url : "";  // written after the interface
    }
    stack_.push_back(std::move(f));
}

// A field declaration: accessType type name, and a value where the
// declaration holds one.
void transcoder::start_field(const char** atts, frame& parent) {
    const char* n = attribute(atts, "name");
    const char* type = attribute(atts, "type");
    const char* access = attribute(atts, "accessType");
    if (!n || !type) {
        warn("<field> without a name and a type; left out");
        stack_.push_back({element::skip});
        return;
    }
    const std::string_view a = access ? trimmed(access) : "initializeOnly";
    if (!access) warn("<field> without an accessType; read as initializeOnly");
    const value_kind kind = kind_of_type_name(trimmed(type));
    if (parent.proto) (*parent.proto)[n] = kind;
    const bool external = parent.what == element::extern_proto;
    const bool has_value = !external && (a == "initializeOnly" || a == "inputOutput" || a == "field" ||
                                         a == "exposedField");
    line_here();
    name(a);
    out_ += ' ';
    name(trimmed(type));
    out_ += ' ';
    name(n);
    frame f{element::field};
    f.kind = kind;
    f.in_extern = !has_value;
    if (has_value) {
        out_ += ' ';
        if (kind == value_kind::mf_node) {
            out_ += '[';
        } else if (kind != value_kind::sf_node) {
            const char* v = attribute(atts, "value");
            if (v && !empty_scalar(kind, v)) value(kind, v);
            else out_.append(default_value(trimmed(type)));
        }
    }
    stack_.push_back(std::move(f));
}

void transcoder::start_field_value(const char** atts, frame& parent) {
    const char* n = attribute(atts, "name");
    if (!n) {
        warn("<fieldValue> without a name; left out");
        stack_.push_back({element::skip});
        return;
    }
    value_kind kind = value_kind::guess;
    if (parent.proto) {
        if (auto found = parent.proto->find(n); found != parent.proto->end()) kind = found->second;
        else warn("the prototype declares no field \"" + std::string(n) + "\"");
    }
    const char* v = attribute(atts, "value");
    if (v && empty_scalar(kind, v)) {
        warn("the fieldValue " + std::string(n) + " is empty; left out");
        stack_.push_back({element::skip});
        return;
    }
    if (kind == value_kind::guess && !v) kind = value_kind::mf_node;  // its values are child elements
    line_here();
    name(n);
    out_ += ' ';
    frame f{element::field_value};
    f.kind = kind;
    if (kind == value_kind::mf_node) out_ += '[';
    else if (kind != value_kind::sf_node) value(kind, v ? v : "");
    stack_.push_back(std::move(f));
}

// Opens the node-valued field of `parent` that a child element fills:
// `field [` for many nodes (kept open while the next child fills it too),
// `field` for one. Returns false when the child is left out.
bool transcoder::open_container(frame& parent, std::string_view element_name, const char** atts) {
    std::string_view field;
    if (const char* c = attribute(atts, "containerField")) field = trimmed(c);
    else field = element_name == "ProtoInstance" ? "children" : default_container(element_name);
    bool many = !single_node_field(field);
    if (parent.type) {
        if (const int i = parent.type->field_index(field); i >= 0) {
            const field_type t = parent.type->fields[static_cast<std::size_t>(i)].type;
            if (t == field_type::sf_node) many = false;
            else if (t == field_type::mf_node) many = true;
        }
    } else if (parent.proto) {
        if (auto found = parent.proto->find(std::string(field)); found != parent.proto->end()) {
            if (found->second == value_kind::sf_node) many = false;
            else if (found->second == value_kind::mf_node) many = true;
        }
    }
    if (many && parent.open_field == field) return true;
    close_group(parent);
    // Written where the parent's text ends, so that the child's own text
    // can start at the child's XML line and column.
    out_ += ' ';
    name(field);
    if (many) {
        out_ += " [";
        parent.open_field = field;
    }
    return true;
}

void transcoder::start_node(std::string_view element_name, const char** atts) {
    const bool instance = element_name == "ProtoInstance";
    const char* def = attribute(atts, "DEF");
    if (const char* use = attribute(atts, "USE")) {
        line_here();
        out_ += "USE ";
        name(use);
        stack_.push_back({element::leaf});
        return;
    }
    frame f{element::node};
    std::string_view type_name = element_name;
    if (instance) {
        const char* n = attribute(atts, "name");
        if (!n) {
            warn("<ProtoInstance> without a name; left out");
            out_ += "NULL";  // the field opened for it still needs a value
            stack_.push_back({element::skip});
            return;
        }
        type_name = n;
        f.instance = true;
        if (auto found = protos_.find(n); found != protos_.end()) f.proto = &found->second;
        else warn("<ProtoInstance> of \"" + std::string(n) + "\", which no declaration before it names");
    } else if (types_) {
        f.type = types_(element_name);
    }
    line_here();
    if (def) {
        out_ += "DEF ";
        name(def);
        out_ += ' ';
    }
    name(type_name);
    out_ += " {";
    f.script = element_name == "Script";
    if (!instance) {
        for (const char** a = atts; *a; a += 2) {
            const std::string_view key = a[0];
            // HTML's class, id and style stand on every element, but a
            // FontStyle's style is its own field.
            const int index = f.type ? f.type->field_index(key) : -1;
            if (not_a_field(key) && index < 0) continue;
            if (f.script && key == "url") {
                f.script_url = a[1];  // written with the source, if any follows
                continue;
            }
            value_kind kind = value_kind::guess;
            if (index >= 0) kind = kind_of(f.type->fields[static_cast<std::size_t>(index)].type);
            if (empty_scalar(kind, a[1])) {
                warn("the field " + std::string(key) + " of " + std::string(element_name) + " is empty; left out");
                continue;
            }
            if (is_node_kind(kind)) {
                warn("the field " + std::string(key) + " of " + std::string(element_name) +
                     " holds nodes, which are child elements, not an attribute; left out");
                continue;
            }
            attribute_here(a[0]);
            name(key);
            out_ += ' ';
            value(kind, a[1]);
        }
    }
    stack_.push_back(std::move(f));
}

// A Script's source, in CDATA or plain text, is the last of its urls.
void transcoder::text(std::string_view s) {
    if (stack_.empty() || stack_.back().what != element::node || !stack_.back().script) return;
    frame& f = stack_.back();
    if (f.source == 0) {
        const std::size_t first = s.find_first_not_of(" \t\r\n");
        if (first == std::string_view::npos) return;
        place_to(at_.line + std::count(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(first), '\n'), 0);
        s.remove_prefix(first);
        out_ += "url [ ";
        const std::string_view urls = trimmed(f.script_url);
        if (!urls.empty()) {
            if (urls.front() == '"') out_.append(urls);
            else string(urls);
            out_ += ' ';
        }
        out_ += '"';
        const std::string_view head = s.substr(0, 11);
        if (!equal_nocase(head, "ecmascript:") && !equal_nocase(head, "javascript:") &&
            !equal_nocase(head, "vrmlscript:"))
            out_ += "ecmascript:";
        f.source = 1;
    } else if (f.source == 2) {
        if (s.find_first_not_of(" \t\r\n") != std::string_view::npos)
            warnings_.add_once("x3d script pieces", here(), "Script source after its fields; left out");
        return;
    }
    for (char c : s) {
        if (c == '"' || c == '\\') out_ += '\\';
        else if (c == '\n') ++out_line_;
        out_ += c;
    }
}

void transcoder::end() {
    if (stack_.empty()) return;
    frame f = std::move(stack_.back());
    stack_.pop_back();
    switch (f.what) {
    case element::node:
        close_group(f);
        close_source(f);
        if (f.script && f.source == 0 && !trimmed(f.script_url).empty()) {
            out_ += " url ";
            value(value_kind::mf_string, f.script_url);
        }
        out_ += " }";
        return;
    case element::field:
    case element::field_value:
        if (f.in_extern) return;
        if (f.kind == value_kind::mf_node) out_ += " ]";
        else if (f.kind == value_kind::sf_node && f.values == 0) out_ += "NULL";
        return;
    case element::proto_declare:
        if (!f.body) out_ += " ] {";
        out_ += " }";
        return;
    case element::extern_proto:
        out_ += " ] ";
        value(value_kind::mf_string, f.script_url);
        return;
    default: return;
    }
}

}  // namespace

bool x3d_xml_to_classic(std::string_view xml, x3d_node_types types, std::string& classic, warning_list& warnings,
                        std::string& error) {
    error.clear();
    transcoder t(types, classic, warnings);
    return t.run(xml, error);
}

}  // namespace tessel::vrml
