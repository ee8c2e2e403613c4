#pragma once
// The VRML 1.0 / Inventor 2.x ascii parser: scene text in, a document of
// typed nodes out. It never fails: what it cannot read becomes a warning and
// is skipped, and the rest of the file is still read. Nesting of any depth is
// read without recursion.

#include <functional>

#include "input/warnings.h"
#include "formats/node.h"
#include "formats/text_parts.h"

namespace tessel::reader {
class load_budget;
}

namespace tessel::vrml {

// Parses text (begin..end, the header line included: it is a comment) into
// doc, whose `file` names the text in warnings. `progress`, when set, gets the
// share of the text read so far (0..100), only when it changes. With a
// budget, nodes and values are taken from it; when it runs out the parse
// ends there with a warning. `part`: the text is a share of a larger one
// (parse_in_shares).
void parse_vrml1(const char* begin, const char* end, document& doc, warning_list& warnings,
                 const std::function<void(int)>& progress = {}, reader::load_budget* budget = nullptr,
                 text_part* part = nullptr);

}  // namespace tessel::vrml
