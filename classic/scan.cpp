#include "classic/scan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "input/convert.h"

namespace tessel::reader {
namespace {

using terminator_set = std::array<bool, 256>;

// Space, comma, tab, carriage return and line feed end a word in every
// reader; some readers add a bracket or brace.
constexpr terminator_set make_set(const char* extra) {
    terminator_set t{};
    t[static_cast<unsigned char>(' ')] = true;
    t[static_cast<unsigned char>(',')] = true;
    t[static_cast<unsigned char>('\t')] = true;
    t[static_cast<unsigned char>('\r')] = true;
    t[static_cast<unsigned char>('\n')] = true;
    for (const char* p = extra; *p; ++p) t[static_cast<unsigned char>(*p)] = true;
    return t;
}

constexpr terminator_set word_terminators = make_set("");       // top level, node walk, numbers
constexpr terminator_set search_terminators = make_set("}");    // Material keyword search
constexpr terminator_set list_terminators = make_set("]");      // point and index lists

bool ends_word(const terminator_set& t, char c) { return t[static_cast<unsigned char>(c)]; }

// The word rule: the longest run from the cursor of characters that are not
// terminators and lie below the end bound. The cursor stops on the
// terminator (or at the bound).
std::string_view read_word(scan_state& s, const terminator_set& t) {
    const std::int64_t start = s.cursor;
    std::int64_t pos = start;
    while (pos < s.end && !ends_word(t, s.text[pos])) ++pos;
    s.cursor = pos;
    return {s.text + start, static_cast<std::size_t>(pos - start)};
}

// The same, reporting the position before every character taken. Runs
// between two percentage changes without looking at the meter.
std::string_view read_list_word(scan_state& s) {
    const std::int64_t start = s.cursor;
    std::int64_t pos = start;
    for (;;) {
        const std::int64_t limit = std::min(s.end, s.progress->next());
        while (pos < limit && !ends_word(list_terminators, s.text[pos])) ++pos;
        if (pos >= s.end || ends_word(list_terminators, s.text[pos])) break;
        s.progress->report(pos);
    }
    s.cursor = pos;
    return {s.text + start, static_cast<std::size_t>(pos - start)};
}

// Separators other than ']' between list words only give empty words, which
// are ignored; pass over them at once, with the report each one would get.
void skip_separators(scan_state& s) {
    std::int64_t pos = s.cursor;
    while (pos < s.end && s.text[pos] != ']' && ends_word(list_terminators, s.text[pos])) {
        s.progress->report(pos);
        ++pos;
    }
    s.cursor = pos;
}

// Moves the cursor to the next target character, or to the end bound.
void skip_to(scan_state& s, char target) {
    if (s.at(s.cursor, target) || s.cursor >= s.end) return;
    const void* hit = std::memchr(s.text + s.cursor, target, static_cast<std::size_t>(s.end - s.cursor));
    s.cursor = hit ? static_cast<const char*>(hit) - s.text : s.end;
}

// Reads up to n non-empty words as numbers into target; a word that starts
// with no number stores 0. Stops at the end bound, leaving the values not
// read as they were.
void read_values(scan_state& s, float* target, int n) {
    int stored = 0;
    while (stored < n && s.cursor < s.end) {
        const std::string_view w = read_word(s, word_terminators);
        if (!w.empty()) target[stored++] = to_single(parse_number(w));
        ++s.cursor;
    }
}

void number_reader(scan_state& s, float* target, int n) {
    s.progress->report(s.cursor);
    read_values(s, target, n);
}

// Looks for diffuseColor inside the Material node's braces; other fields and
// their values are read as search words and ignored.
void material_reader(scan_state& s) {
    s.progress->report(s.cursor);
    skip_to(s, '{');
    ++s.cursor;
    std::string_view word;
    for (;;) {
        if (s.at(s.cursor, '}')) break;
        if (s.cursor >= s.end) break;
        if (word == "diffuseColor") break;
        word = read_word(s, search_terminators);
        ++s.cursor;
    }
    if (word == "diffuseColor") read_values(s, s.colour, 3);
    skip_to(s, '}');
    ++s.cursor;
}

// Writes one point list's coordinates; returns how many values it wrote.
std::int64_t read_point_values(scan_state& s) {
    std::int64_t count = 0;
    for (;;) {
        s.progress->report(s.cursor);
        ++s.cursor;
        skip_separators(s);
        const std::string_view w = read_list_word(s);
        if (!w.empty()) {
            s.progress->report(s.cursor);
            s.points->put_float(to_single(parse_number(w)));
            ++count;
        }
        if (s.at(s.cursor, ']') || s.cursor >= s.end) break;
    }
    return count;
}

// Indices are whole numbers; the common short unsigned form skips the
// general conversion, which would give the same value.
std::int32_t index_value(std::string_view w) {
    if (w.size() <= 9) {
        std::int32_t v = 0;
        std::size_t i = 0;
        for (; i < w.size(); ++i) {
            const unsigned d = static_cast<unsigned char>(w[i]) - '0';
            if (d > 9) break;
            v = v * 10 + static_cast<std::int32_t>(d);
        }
        if (i == w.size() && i > 0) return v;
    }
    return to_index(parse_number(w));
}

// Writes one index list as triangles. A face ends at a "-1" word or at the
// end of the list; a face of n >= 3 corners becomes the fan (i0, i1, i2),
// (i0, i2, i3), ...; shorter faces write nothing. Returns the number of
// values written.
std::int64_t read_index_values(scan_state& s) {
    std::int64_t count = 0;
    std::int64_t corners = 0;  // corners of the current face so far
    std::int32_t first = 0, previous = 0;
    for (;;) {
        s.progress->report(s.cursor);
        ++s.cursor;
        skip_separators(s);
        const std::string_view w = read_list_word(s);
        if (w == "-1") {
            corners = 0;
        } else if (!w.empty()) {
            const std::int32_t v = index_value(w);
            if (corners == 0) {
                first = v;
            } else if (corners >= 2) {
                s.indices->put_int(first);
                s.indices->put_int(previous);
                s.indices->put_int(v);
                count += 3;
            }
            previous = v;
            ++corners;
            s.progress->report(s.cursor);
        }
        if (s.at(s.cursor, ']') || s.cursor >= s.end) break;
    }
    return count;
}

enum class list_kind { points, indices };

// Both list readers: skip to '[', read the values up to ']', then consume the
// first '}' after the list and record the count.
void list_reader(scan_state& s, list_kind kind) {
    skip_to(s, '[');
    s.progress->report(s.cursor);
    std::int64_t count = 0;
    if (!s.at(s.cursor, ']')) count = kind == list_kind::points ? read_point_values(s) : read_index_values(s);
    ++s.cursor;
    skip_to(s, '}');
    ++s.cursor;
    if (kind == list_kind::points) {
        append_entry(s.lists.point_counts, static_cast<double>(count));
    } else {
        s.progress->report(s.cursor);
        append_entry(s.lists.index_counts, static_cast<double>(count));
    }
}

// A point list makes a shape, which takes the current values as they stand
// once its list has been read.
void new_shape(scan_state& s) {
    ++s.shape_count;
    list_reader(s, list_kind::points);
    for (float v : s.translation) append_entry(s.lists.translations, v);
    for (float v : s.rotation) append_entry(s.lists.rotations, v);
    for (float v : s.scale) append_entry(s.lists.scales, v);
    for (float v : s.colour) append_entry(s.lists.colours, v);
}

void set_defaults(scan_state& s) {
    for (float& v : s.translation) v = 0.0f;
    for (float& v : s.rotation) v = 0.0f;
    for (float& v : s.scale) v = 1.0f;
    for (float& v : s.colour) v = 1.0f;
}

// Hands a keyword to its reader; false for an ordinary word.
bool dispatch(scan_state& s, std::string_view word) {
    if (word == "translation") {
        number_reader(s, s.translation, 3);
    } else if (word == "rotation") {
        number_reader(s, s.rotation, 4);
    } else if (word == "scaleFactor" || word == "scale") {
        number_reader(s, s.scale, 3);
    } else if (word == "Material") {
        material_reader(s);
    } else if (word == "Coordinate3" || word == "Coordinate") {
        new_shape(s);
    } else if (word == "coordIndex") {
        list_reader(s, list_kind::indices);
    } else {
        return false;
    }
    return true;
}

// Walks one named node, counting braces in the words it reads itself, until
// the depth returns to 0 or the text ends. Braces consumed by the readers are
// not counted, so in the usual layout a walk runs on through later nodes.
void node_walk(scan_state& s) {
    s.progress->report(s.cursor);
    set_defaults(s);
    skip_to(s, '{');
    ++s.cursor;
    std::int64_t depth = 1;
    while (s.cursor < s.end) {
        const std::int64_t start = s.cursor;
        std::int64_t pos = start;
        while (pos < s.end && depth > 0 && !ends_word(word_terminators, s.text[pos])) {
            if (s.text[pos] == '{') ++depth;
            else if (s.text[pos] == '}') --depth;
            ++pos;
        }
        s.cursor = pos;
        s.progress->report(s.cursor);
        const std::string_view word(s.text + start, static_cast<std::size_t>(pos - start));
        // A reader leaves the cursor where the next word starts; only an
        // ordinary word's terminator is passed over here.
        if (!dispatch(s, word)) ++s.cursor;
        if (depth <= 0) break;
    }
}

}  // namespace

progress_meter::progress_meter(const progress_sink* sink, std::int64_t end) : sink_(sink), end_(end) {
    if (!sink_ || !*sink_ || end_ <= 0) next_ = std::numeric_limits<std::int64_t>::max();
}

void progress_meter::changed(std::int64_t cursor) {
    const std::int64_t clamped = cursor > end_ ? end_ : cursor;
    const int percent = static_cast<int>(clamped * 100 / end_);
    if (percent != last_) {
        last_ = percent;
        (*sink_)(percent);
    }
    // First cursor whose percentage is above this one.
    next_ = percent >= 100 ? std::numeric_limits<std::int64_t>::max()
                           : ((percent + 1) * end_ + 99) / 100;
}

void blank_comments(char* text, std::int64_t length) {
    char* p = text;
    char* const end = text + length;
    while (p < end) {
        char* hash = static_cast<char*>(std::memchr(p, '#', static_cast<std::size_t>(end - p)));
        char* quote = static_cast<char*>(std::memchr(p, '"', static_cast<std::size_t>((hash ? hash : end) - p)));
        if (quote) {
            // Skip the string; '#' inside it is text.
            p = quote + 1;
            while (p < end && *p != '"') p += (*p == '\\' && end - p >= 2) ? 2 : 1;
            p = p < end ? p + 1 : end;
            continue;
        }
        if (!hash) break;
        p = hash;
        while (p < end && *p != '\r' && *p != '\n') *p++ = ' ';
    }
}

void top_level_scan(scan_state& s) {
    s.end = s.length - 1;
    while (s.cursor < s.end) {
        const std::string_view word = read_word(s, word_terminators);
        ++s.cursor;
        if (word == "DEF") node_walk(s);
    }
}

}  // namespace tessel::reader
