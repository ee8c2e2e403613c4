#pragma once
// X3D's XML encoding (.x3d) rewritten as X3D's classic encoding, so that an
// XML file is read by the same parser as a classic one: PROTO expansion,
// ROUTEs, traversal and warnings are those of the classic text.

#include <string>
#include <string_view>

#include "formats/node.h"
#include "input/warnings.h"

namespace tessel::vrml {

// Finds a built-in node type by name, null for a name it does not know. The
// table belongs to the reading that parses the result; it is handed in, so
// that this rewriting stands on no reading of its own.
using x3d_node_types = const node_type* (*)(std::string_view name);

// Rewrites the XML text as classic text into `classic` (replaced). Each
// element starts on the classic line of the XML line it starts on, so that
// the parser's warnings name XML lines (columns differ). The field types of
// `types` decide how attribute values are written (strings quoted, booleans
// in capitals, arrays in brackets); a node or field it does not know is
// written as well as its value allows, for the parser to warn about.
// Problems that do not stop the rewriting go to `warnings`. Returns false
// with `error` set ("FILE:LINE:COLUMN: message", FILE from warnings.file())
// for text that is not well-formed XML, not an X3D document, or declares
// entities. Reads no file and no network: external entities and DTDs are
// never loaded.
bool x3d_xml_to_classic(std::string_view xml, x3d_node_types types, std::string& classic, warning_list& warnings,
                        std::string& error);

}  // namespace tessel::vrml
