#pragma once
// The VRML97 parser: scene text in, a document of typed nodes out, with
// every PROTO instance already expanded into the nodes its body makes (the
// interface values put where the body says IS), ROUTEs read and dropped.
// Like the VRML 1.0 parser it never fails: what it cannot read becomes a
// warning and is skipped. Nesting of any depth is read without recursion.

#include <functional>
#include <memory>
#include <string>

#include "formats/node.h"
#include "formats/sources.h"
#include "formats/text_parts.h"
#include "input/warnings.h"

namespace tessel::reader {
class load_budget;
}

namespace tessel::vrml {

// Parses text (begin..end, the header line included: it is a comment) into
// doc, whose `file` names the text in warnings. doc.root's children are the
// top-level nodes; other nodes' children are in their node-valued fields.
// `progress`, when set, gets the share of the text read (0..100). With a
// budget, nodes, values and PROTO copies are taken from it; when it runs
// out the parse ends there (or the instance draws nothing) with a warning.
// `part`: the text is a share of a larger one (parse_in_shares).
void parse_vrml2(const char* begin, const char* end, document& doc, warning_list& warnings,
                 const std::function<void(int)>& progress = {}, proto_file_source* externs = nullptr,
                 reader::load_budget* budget = nullptr, text_part* part = nullptr);

// X3D's UNIT angle: every rotation and angle of the document (its shares'
// included) turned into radians. Lengths are scaled where the document is
// placed (its walk starts under a scale of its length unit).
void apply_angle_unit(document& doc);

}  // namespace tessel::vrml
