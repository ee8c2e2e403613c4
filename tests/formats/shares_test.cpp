// A large text read on several threads gives the document one parser
// gives: the shares join when they needed nothing from before them, and
// the first parser reads on when they did.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "formats/text_parts.h"
#include "formats/vrml1/parse1.h"
#include "formats/vrml97/parse2.h"

namespace tessel::test {
namespace {

using namespace tessel::vrml;

// Everything a document says, in the order a walk meets it.
void dump(const node* n, std::string& out, int depth) {
    if (!n) {
        out += "null\n";
        return;
    }
    out += std::string(static_cast<std::size_t>(depth), ' ') + (n->type ? n->type->name : "?") + " @" +
           std::to_string(n->where.line) + ":" + std::to_string(n->where.column) + " uses " + std::to_string(n->uses) + "\n";
    for (const field_value& v : n->values) {
        out += std::to_string(v.field) + ":";
        for (const float f : v.numbers) out += " " + std::to_string(f);
        for (const int i : v.integers) out += " " + std::to_string(i);
        for (const std::string& w : v.words) out += " " + w;
        out += "\n";
        if (depth < 40)
            for (const node* c : v.nodes) dump(c, out, depth + 1);
        if (v.node && depth < 40) dump(v.node, out, depth + 1);
    }
    if (depth < 40)
        for (const node* c : n->children) dump(c, out, depth + 1);
}

struct read_result {
    std::string dump;
    std::vector<std::string> warnings;
    std::size_t joined = 0;  // shares whose documents joined
};

read_result read(const std::string& text, bool vrml2, int threads) {
    document doc;
    doc.file = "big.wrl";
    warning_list warnings(doc.file);
    parse_in_shares(text.data(), text.data() + text.size(), doc, warnings, nullptr, threads,
                    [&](const char* b, const char* e, document& into, warning_list& w, reader::load_budget* budget,
                        text_part* part) {
                        if (vrml2) parse_vrml2(b, e, into, w, {}, nullptr, budget, part);
                        else parse_vrml1(b, e, into, w, {}, budget, part);
                    });
    read_result r;
    dump(doc.root, r.dump, 0);
    for (const route_statement& route : doc.routes) r.dump += "route " + route.from_event + " " + route.to_event + "\n";
    r.warnings = warnings.texts();
    r.joined = doc.shares.size();
    return r;
}

// About 8 MB of top-level parts, `middle` written three quarters through:
// read on two threads, past the one cut, in the second share.
std::string big_text(bool vrml2, const std::string& middle, const std::string& head = {}) {
    std::string text = vrml2 ? "#VRML V2.0 utf8\n" : "#VRML V1.0 ascii\n";
    text += head;
    for (int part = 0; part < 2000; ++part) {
        if (part == 1500) text += middle;
        std::string points;
        for (int i = 0; i < 300; ++i)
            points += std::to_string(part) + "." + std::to_string(i) + " " + std::to_string(i) + " 0,\n";
        if (vrml2)
            text += "DEF T" + std::to_string(part) + " Transform {\n  translation " + std::to_string(part) +
                    " 0 0\n  children Shape { geometry IndexedFaceSet { coord Coordinate { point [\n" + points +
                    "] } coordIndex [0 1 2 -1] } }\n}\n";
        else
            text += "DEF S" + std::to_string(part) + " Separator {\n  Coordinate3 { point [\n" + points +
                    "] }\n  IndexedFaceSet { coordIndex [0, 1, 2, -1] }\n}\n";
    }
    return text;
}

struct shares_case {
    const char* name;
    bool vrml2;
    std::string middle;  // written halfway through
    std::string head;    // written first
    bool joins;
};

void PrintTo(const shares_case& c, std::ostream* os) { *os << c.name; }

class Shares : public ::testing::TestWithParam<shares_case> {};

TEST_P(Shares, ReadAsOneParserReadsThem) {
    const shares_case& c = GetParam();
    const std::string text = big_text(c.vrml2, c.middle, c.head);
    const read_result one = read(text, c.vrml2, 1);
    const read_result many = read(text, c.vrml2, 2);
    EXPECT_EQ(one.joined, 0u);
    EXPECT_EQ(many.joined > 0, c.joins);
    EXPECT_EQ(many.warnings, one.warnings);
    EXPECT_TRUE(many.dump == one.dump);  // not printed: megabytes
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Shares,
    ::testing::Values(
        shares_case{"Vrml2Parts", true, "", "", true},
        shares_case{"Vrml1Parts", false, "", "", true},
        shares_case{"Vrml2RoutesWithinAShare", true,
                    "DEF C TimeSensor {}\nDEF I PositionInterpolator {}\nROUTE C.fraction_changed TO I.set_fraction\n", "",
                    true},
        // Every later part is read again by the first parser: they name what came before them.
        shares_case{"UsesOfEarlierParts", true, "Transform { children USE T3 }\n", "", false},
        shares_case{"RoutesToEarlierParts", true, "ROUTE T2.translation_changed TO T3.set_translation\n", "", false},
        shares_case{"ProtoDeclaredFirst", true, "P {}\n", "PROTO P [] { Group {} }\n", false},
        shares_case{"WarningsInALaterPart", true, "Bogus { }\n", "", false},
        // The cut falls inside a string, on a line that starts like a node:
        // the first parser never stops there.
        shares_case{"CutInAString", true, "", [] {
                        std::string lines;
                        for (int i = 0; i < 1000000; ++i) lines += "Transform {\n";
                        return "WorldInfo { info \"" + lines + "\" }\n";
                    }(), false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessel::test
