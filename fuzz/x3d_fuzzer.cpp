// libFuzzer target over X3D's XML encoding: the rewriting into classic text
// and the parse of what it writes, which must read whatever the XML held.
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/node.h"
#include "formats/vrml97/node_types2.h"
#include "formats/vrml97/parse2.h"
#include "formats/x3d/xml_to_classic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tessel::vrml;
    const std::string_view xml(reinterpret_cast<const char*>(data), size);
    std::string classic, error;
    warning_list warnings("fuzz.x3d");
    if (!x3d_xml_to_classic(xml, vrml2_node_type, classic, warnings, error)) return 0;
    document doc;
    doc.file = "fuzz.x3d";
    parse_vrml2(classic.data(), classic.data() + classic.size(), doc, warnings, {});
    return 0;
}
