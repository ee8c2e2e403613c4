#pragma once
// Field values as both standard readings write them: numbers of every type,
// single or in brackets, strings, images, bit masks, and the skipping of
// values of unknown type. Shared so that VRML 1.0 and VRML97 read numbers,
// strings and images exactly alike. Internal to formats/.

#include <cstdint>
#include <string>
#include <vector>

#include "formats/lexer.h"
#include "formats/node.h"

namespace tessel::reader {
class load_budget;
}

namespace tessel::vrml {

class field_reader {
public:
    field_reader(lexer& lx, warning_list& warnings) : lx_(lx), warnings_(warnings) {}

    // Reads a value of `type` (not a node type) into value. On a bad value
    // warns, naming `what`, and returns false; the field keeps its default.
    bool read_value(field_type type, field_value& value, source_position at, const std::string& what);
    // The value of a field this reader does not know, whatever its type.
    void skip_value();
    // After a bad entry inside brackets: on to the bracket that closes the list.
    void skip_list_rest();

private:
    template <typename Number>
    bool read_numbers(std::vector<Number>& out, int width, bool multiple);
    bool read_strings(std::vector<std::string>& out, bool multiple, source_position at);
    bool read_image(std::vector<std::int32_t>& out);
    bool read_bitmask(std::vector<std::string>& out);

    lexer& lx_;
    warning_list& warnings_;
};

bool is_multiple(field_type t);

// What the parse of one file takes from the load's budget (may be null):
// when a node or value does not fit, the parse ends there with one warning
// and keeps what it has read.
class parse_budget {
public:
    parse_budget(lexer& lx, warning_list& warnings, reader::load_budget* budget)
        : lx_(lx), warnings_(warnings), budget_(budget) {}
    bool charge(std::int64_t bytes, const char* what, source_position at);
    // The budget ran out: the rest of the text is not read.
    bool stopped() const { return stopped_; }
    reader::load_budget* budget() const { return budget_; }

private:
    lexer& lx_;
    warning_list& warnings_;
    reader::load_budget* budget_;
    bool stopped_ = false;
};

}  // namespace tessel::vrml
