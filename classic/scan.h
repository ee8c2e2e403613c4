#pragma once
// The node scan: readers that walk the scene text directly, each collecting
// its own words from a shared cursor with its own set of terminating
// characters, and hand coordinates and indices to the intermediate stores and
// counts and per-shape values to the six text lists.

#include <cstdint>
#include <string>
#include <string_view>

#include "classic/load.h"
#include "classic/stores.h"

namespace tessel::reader {

// The six "#"-terminated lists of decimal numbers that carry counts and
// per-shape values from the scan to the rebuild.
struct text_lists {
    std::string point_counts;  // values written to DTVX.tmp per point list
    std::string index_counts;  // values written to DTFC.tmp per index list
    std::string translations;  // 3 per shape
    std::string rotations;     // 4 per shape: axis x, y, z, angle
    std::string scales;        // 3 per shape
    std::string colours;       // 3 per shape
};

// Reports the scan position (cursor * 100 / end) to a sink, calling it only
// when the percentage changes. The cursor only moves forward, so the next
// change can be precomputed and each report costs one comparison.
class progress_meter {
public:
    progress_meter(const progress_sink* sink, std::int64_t end);
    void report(std::int64_t cursor) {
        if (cursor >= next_) changed(cursor);
    }
    // The first cursor position whose report would change the percentage.
    std::int64_t next() const { return next_; }

private:
    void changed(std::int64_t cursor);

    const progress_sink* sink_;
    std::int64_t end_;
    int last_ = -1;
    std::int64_t next_ = 0;
};

// Everything the readers share: the text, the cursor, the end bound
// (length - 1: the last character is never part of a word), the current
// shape values and the outputs.
struct scan_state {
    const char* text = nullptr;
    std::int64_t length = 0;
    std::int64_t cursor = 0;
    std::int64_t end = 0;

    float translation[3] = {0, 0, 0};
    float rotation[4] = {0, 0, 0, 0};
    float scale[3] = {1, 1, 1};
    float colour[3] = {1, 1, 1};
    std::int64_t shape_count = 0;

    text_lists lists;
    store_writer* points = nullptr;   // DTVX.tmp
    store_writer* indices = nullptr;  // DTFC.tmp
    progress_meter* progress = nullptr;

    bool at(std::int64_t pos, char c) const { return pos >= 0 && pos < length && text[pos] == c; }
};

// Blanks comments to spaces in place: a '#' outside a double-quoted string
// starts a comment that runs up to the next carriage return or line feed.
// A string runs to the next unescaped '"' (a backslash escapes the next
// character) and may span lines; an unterminated one runs to the end.
// Length and positions are kept.
void blank_comments(char* text, std::int64_t length);

// Scans the whole text from cursor 0 for DEF nodes and walks each one.
void top_level_scan(scan_state& s);

}  // namespace tessel::reader
