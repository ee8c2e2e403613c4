#pragma once
// The cursor over a scene text shared by the standard readings: white space,
// commas and comments between tokens, names, numbers straight from the text
// (no copy, no allocation), quoted strings, and where in the file it stands.
// Every read checks the end bound first, so any byte sequence is safe.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "input/warnings.h"

namespace tessel::vrml {

class lexer {
public:
    lexer(const char* begin, const char* end);

    // Skips white space (control characters included), commas and comments.
    void skip() {
        const char* p = p_;
        while (p < end_) {
            const unsigned char c = static_cast<unsigned char>(*p);
            if (c > ' ' && c != ',' && c != '#' && c != 0x7f) break;
            if (c == '\n') {
                line_start_ = p + 1;
                ++line_;
            } else if (c == '\r') {
                // CRLF counts once, at its LF; a lone CR ends a line too.
                if (p + 1 >= end_ || p[1] != '\n') {
                    line_start_ = p + 1;
                    ++line_;
                }
            } else if (c == '#') {
                p = skip_comment(p);
                continue;
            }
            ++p;
        }
        p_ = p;
        if (p_ >= next_report_) report();
    }

    bool at_end() const { return p_ >= end_; }
    // The next character, 0 at the end.
    char peek() const { return p_ < end_ ? *p_ : '\0'; }
    void advance() {
        if (p_ < end_) ++p_;
    }

    // A name: the longest run of characters that cannot end or start
    // another token. Empty when the next character is punctuation or the end.
    std::string_view word();

    // Numbers as the formats write them, read in place. On failure nothing is
    // consumed. Overflow gives +-inf for floats; integers beyond 32 bits are
    // clamped, and an integer written with a fraction is truncated.
    bool read_float(float& value);
    bool read_int(std::int32_t& value);
    // True when the next token starts like a number.
    bool at_number() const;
    // Whether integers with a leading 0 are octal, as the VRML 1.0 standard
    // writes them; VRML97 has decimal and 0x hexadecimal only (the default).
    void set_octal_integers(bool on) { octal_ = on; }
    // Nothing after the current place is read any more.
    void finish() { p_ = end_; }

    // A string in double quotes with backslash escapes, across lines; a
    // single unquoted word is taken as it is. Returns false when neither is
    // there. `terminated` is false when the text ended inside the quotes.
    bool read_string(std::string& out, bool& terminated);

    // Skips a bracketed, braced or parenthesised group starting at the next
    // character (which must open it), strings and comments respected.
    // Returns false when the text ends first.
    bool skip_group();

    // Punctuation where a node or field belongs: skips the character at the
    // next position, and the whole group when it opens one. Returns what to
    // warn about it.
    std::string skip_stray();

    // In a bracketed list whose '[' is read: skips to the next item and
    // says whether there is one, or the list closed (its ']' is read), or
    // the text ended first.
    enum class list_step { item, closed, ended };
    list_step next_in_list() {
        skip();
        if (at_end()) return list_step::ended;
        if (peek() != ']') return list_step::item;
        advance();
        return list_step::closed;
    }

    source_position where() const {
        return {line_, static_cast<std::int64_t>(p_ - line_start_) + 1};
    }
    std::int64_t offset() const { return p_ - begin_; }

    // A saved place to come back to (extension nodes that cannot be read
    // field by field are read again as a braced group).
    struct mark {
        const char* p;
        const char* line_start;
        std::int64_t line;
    };
    mark save() const { return {p_, line_start_, line_}; }
    void restore(const mark& m) {
        p_ = m.p;
        line_start_ = m.line_start;
        line_ = m.line;
    }

    // Called with the share of the text passed (0..100), only when it changes.
    void on_progress(std::function<void(int)> sink);

private:
    const char* skip_comment(const char* p);
    void report();

    const char* begin_;
    const char* p_;
    const char* end_;
    const char* line_start_;
    std::int64_t line_ = 1;
    std::function<void(int)> progress_;
    const char* next_report_;  // the position at which the percentage next changes
    int last_percent_ = -1;
    bool octal_ = false;
};

}  // namespace tessel::vrml
