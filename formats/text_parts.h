#pragma once
// Reading one large scene text on several threads. The text is cut at a few
// places that look like the start of a top-level node (a name at the start
// of a line); each later share is parsed into a document of its own while
// the first parser reads on from the start. Whether a cut was right is only
// known when the parser before it gets there: it must stop exactly there,
// at the top level, and the share must have needed nothing from before it
// (no USE of an earlier DEF, no PROTO, no warning at all) and fit in the
// load's budget. Then the shares' nodes join the document in order, their
// lines counted on from where the parser before stopped, as if one parser
// had read them; otherwise the first parser reads on as if there were no
// cut. Either way the document is the one a single thread makes.

#include <atomic>
#include <cstdint>
#include <functional>

#include "formats/node.h"
#include "input/warnings.h"

namespace tessel::reader {
class load_budget;
}

namespace tessel::vrml {

// What a parser is told about the share of a text it reads.
struct text_part {
    // A later share, read on another thread beside the first: it opens no
    // other file and reports no progress.
    bool beside = false;
    // Where (an offset from the start of its text) the next share starts; -1:
    // none. A parser that is at the top level there, about to read the next
    // statement, calls hand_over: true ends its reading there. A parser that
    // finds itself past it calls passed and reads on to the end.
    std::int64_t next_share = -1;
    std::function<bool(std::int64_t line)> hand_over;
    std::function<void()> passed;
    // Raised when this share's reading is no longer wanted.
    const std::atomic<bool>* unwanted = nullptr;

    // For parsers: at the top level, `offset` into the text, on `line`:
    // whether to stop reading here.
    bool stop_here(std::int64_t offset, std::int64_t line) {
        if (next_share < 0) return unwanted && *unwanted;
        if (offset < next_share) return unwanted && *unwanted;
        const bool exact = offset == next_share;
        next_share = -1;
        if (exact && hand_over && hand_over(line)) return true;
        if (!exact && passed) passed();
        return false;
    }
};

// A parser of one format: parses begin..end into doc as parse_vrml1 or
// parse_vrml2 do, told about its share by `part` (null: the whole text).
using share_parser = std::function<void(const char* begin, const char* end, document& doc, warning_list& warnings,
                                        reader::load_budget* budget, text_part* part)>;

// Parses begin..end into doc with `parse`, on up to `threads` threads when
// the text is large enough to gain from it. The result, warnings and what
// the budget was charged are those of one parse of the whole text.
void parse_in_shares(const char* begin, const char* end, document& doc, warning_list& warnings,
                     reader::load_budget* budget, int threads, const share_parser& parse);

}  // namespace tessel::vrml
