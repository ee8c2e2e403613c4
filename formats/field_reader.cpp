#include "formats/field_reader.h"

#include <type_traits>

#include "input/budget.h"

namespace tessel::vrml {

bool parse_budget::charge(std::int64_t bytes, const char* what, source_position at) {
    if (!budget_ || budget_->spend(bytes, what)) return true;
    if (!stopped_) warnings_.add(at, budget_->message() + "; the rest of the file is not read");
    stopped_ = true;
    lx_.finish();
    return false;
}

bool is_multiple(field_type t) {
    return t == field_type::mf_color || t == field_type::mf_float || t == field_type::mf_long ||
           t == field_type::mf_string || t == field_type::mf_vec2f || t == field_type::mf_vec3f ||
           t == field_type::mf_time || t == field_type::mf_rotation || t == field_type::mf_node ||
           t == field_type::mf_color_rgba || t == field_type::mf_vec4f || t == field_type::mf_bool;
}

namespace {

// Numbers per value of the float types.
int float_width(field_type t) {
    switch (t) {
    case field_type::sf_float:
    case field_type::mf_float:
    case field_type::sf_time:
    case field_type::mf_time: return 1;
    case field_type::sf_vec2f:
    case field_type::mf_vec2f: return 2;
    case field_type::sf_color:
    case field_type::mf_color:
    case field_type::sf_vec3f:
    case field_type::mf_vec3f: return 3;
    case field_type::sf_rotation:
    case field_type::mf_rotation:
    case field_type::sf_color_rgba:
    case field_type::mf_color_rgba:
    case field_type::sf_vec4f:
    case field_type::mf_vec4f: return 4;
    case field_type::sf_matrix: return 16;
    default: return 0;
    }
}

}  // namespace

bool field_reader::read_value(field_type type, field_value& value, source_position at, const std::string& what) {
    lx_.skip();
    const source_position value_at = lx_.where();
    if (lx_.at_end()) {
        warnings_.add(at, "the file ends before the value of " + what);
        return false;
    }
    bool ok = false;
    const bool multiple = is_multiple(type);
    switch (type) {
    case field_type::sf_bool: {
        std::int32_t v = 0;
        if (lx_.at_number()) {
            ok = lx_.read_int(v);
        } else {
            const std::string_view w = lx_.word();
            ok = w == "TRUE" || w == "FALSE";
            v = w == "TRUE";
        }
        value.integers.assign(1, v != 0);
        break;
    }
    case field_type::mf_bool: {
        // TRUE and FALSE, one alone or a bracketed list
        const auto read_one = [&] {
            const std::string_view w = lx_.word();
            value.integers.push_back(w == "TRUE");
            return w == "TRUE" || w == "FALSE";
        };
        lx_.skip();
        if (lx_.peek() == '[') {
            lx_.advance();
            lexer::list_step step;
            ok = true;
            while (ok && (step = lx_.next_in_list()) == lexer::list_step::item) ok = read_one();
            if (!ok) skip_list_rest();
            else ok = step == lexer::list_step::closed;
        } else {
            ok = read_one();
        }
        break;
    }
    case field_type::sf_enum: {
        const std::string_view w = lx_.word();
        ok = !w.empty();
        value.words.emplace_back(w);
        break;
    }
    case field_type::sf_bitmask: ok = read_bitmask(value.words); break;
    case field_type::sf_long:
    case field_type::mf_long: ok = read_numbers(value.integers, 1, multiple); break;
    case field_type::sf_image: ok = read_image(value.integers); break;
    case field_type::sf_string:
    case field_type::mf_string: ok = read_strings(value.words, multiple, value_at); break;
    case field_type::sf_node:
    case field_type::mf_node: break;  // node values are the parser's own business
    default: {
        const int width = float_width(type);
        if (width == 0) break;
        ok = read_numbers(value.numbers, width, multiple);
        if (ok && value.numbers.size() % static_cast<std::size_t>(width) != 0) {
            warnings_.add(value_at, what + " has " + std::to_string(value.numbers.size()) +
                               " numbers, not a whole number of values; the last are dropped");
            value.numbers.resize(value.numbers.size() / static_cast<std::size_t>(width) * static_cast<std::size_t>(width));
        }
        break;
    }
    }
    if (!ok) warnings_.add(value_at, "bad value for " + what + "; the field keeps its default");
    return ok;
}

// A value of `width` numbers, or with `multiple` a bracketed list of any
// length (a single value may stand without brackets).
template <typename Number>
bool field_reader::read_numbers(std::vector<Number>& out, int width, bool multiple) {
    const auto read_one = [this](Number& v) {
        if constexpr (std::is_same_v<Number, float>) return lx_.read_float(v);
        else return lx_.read_int(v);
    };
    lx_.skip();
    if (multiple && lx_.peek() == '[') {
        lx_.advance();
        lexer::list_step step;
        while ((step = lx_.next_in_list()) == lexer::list_step::item) {
            Number v;
            if (!read_one(v)) {
                skip_list_rest();
                return false;
            }
            out.push_back(v);
        }
        return step == lexer::list_step::closed;
    }
    for (int i = 0; i < width; ++i) {
        if (i > 0) lx_.skip();
        Number v;
        if (!read_one(v)) return false;
        out.push_back(v);
    }
    return true;
}

bool field_reader::read_strings(std::vector<std::string>& out, bool multiple, source_position at) {
    bool bracketed = false;
    if (multiple && lx_.peek() == '[') {
        lx_.advance();
        bracketed = true;
    }
    while (true) {
        lx_.skip();
        if (bracketed && lx_.peek() == ']') {
            lx_.advance();
            return true;
        }
        if (lx_.at_end()) return !bracketed && !out.empty();
        std::string s;
        bool terminated;
        if (!lx_.read_string(s, terminated)) {
            if (bracketed) skip_list_rest();
            return false;
        }
        if (!terminated) warnings_.add(at, "a string runs to the end of the file");
        out.push_back(std::move(s));
        if (!bracketed) return true;
    }
}

bool field_reader::read_image(std::vector<std::int32_t>& out) {
    std::int32_t head[3];
    for (std::int32_t& h : head) {
        lx_.skip();
        if (!lx_.read_int(h)) return false;
    }
    out.assign(head, head + 3);
    // A declared size is only a promise: read the pixels that are there.
    const std::int64_t pixels = head[0] > 0 && head[1] > 0 ? std::int64_t{head[0]} * head[1] : 0;
    for (std::int64_t i = 0; i < pixels; ++i) {
        lx_.skip();
        std::int32_t v;
        if (!lx_.at_number() || !lx_.read_int(v)) return false;
        out.push_back(v);
    }
    return true;
}

bool field_reader::read_bitmask(std::vector<std::string>& out) {
    const bool grouped = lx_.peek() == '(';
    if (grouped) lx_.advance();
    while (true) {
        lx_.skip();
        const std::string_view w = lx_.word();
        if (w.empty()) {
            if (grouped) skip_list_rest();
            return false;
        }
        out.emplace_back(w);
        lx_.skip();
        if (lx_.peek() == '|') {
            lx_.advance();
            continue;
        }
        if (!grouped) return true;
        if (lx_.peek() == ')') {
            lx_.advance();
            return true;
        }
        skip_list_rest();
        return false;
    }
}

// After a bad entry inside brackets: on to the bracket that closes the list.
void field_reader::skip_list_rest() {
    int depth = 1;
    while (true) {
        lx_.skip();
        if (lx_.at_end()) return;
        const char c = lx_.peek();
        if (c == '[' || c == '(') {
            ++depth;
            lx_.advance();
        } else if (c == ']' || c == ')') {
            lx_.advance();
            if (--depth == 0) return;
        } else if (c == '{' || c == '}') {
            return;  // the list was never closed: let the node structure resume
        } else if (c == '"') {
            std::string s;
            bool terminated;
            lx_.read_string(s, terminated);
        } else if (lx_.word().empty()) {
            lx_.advance();
        }
    }
}

// The value of a field this reader does not know, whatever its type.
void field_reader::skip_value() {
    lx_.skip();
    const char c = lx_.peek();
    if (c == '[' || c == '(' || c == '{') {
        lx_.skip_group();
        return;
    }
    if (c == '"') {
        std::string s;
        bool terminated;
        lx_.read_string(s, terminated);
        return;
    }
    if (lx_.at_number()) {
        float v;
        while (lx_.at_number() && lx_.read_float(v)) lx_.skip();
        return;
    }
    const std::string_view w = lx_.word();
    if (w.empty()) {
        if (c != '}') lx_.advance();
        return;
    }
    if (w == "DEF" || w == "USE") {
        lx_.skip();
        lx_.word();
        if (w == "USE") return;
        lx_.skip();
        lx_.word();
    }
    lx_.skip();
    if (lx_.peek() == '{') {
        lx_.skip_group();
        return;
    }
    while (lx_.peek() == '|') {
        lx_.advance();
        lx_.skip();
        lx_.word();
        lx_.skip();
    }
}

}  // namespace tessel::vrml
