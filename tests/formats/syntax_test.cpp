// The VRML 1.0 / Inventor ascii syntax as real files write it: each case
// reads a text and checks the numbers the first shape receives.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "recording_sink.h"
#include "formats/node.h"
#include "formats/vrml1/parse1.h"

namespace tessel::test {
namespace {

struct syntax_case {
    const char* name;
    std::string body;
    std::vector<float> coords;
    std::vector<std::int32_t> coord_index;
    const char* warning = nullptr;  // part of a warning the text must give
};

std::string long_line() {
    std::string s = "Coordinate3 { point [";
    for (int i = 0; i < 200; ++i) s += " 1.2345678 2.3456789 3.4567891,";
    return s + " ] } IndexedFaceSet { coordIndex [0 1 2] }";
}

const std::vector<float> tri = {0, 0, 0, 1, 0, 0, 0, 1, 0};
const std::vector<std::int32_t> tri_index = {0, 1, 2, -1};

class Syntax : public ::testing::TestWithParam<syntax_case> {};

TEST_P(Syntax, FirstShapeGetsTheWrittenNumbers) {
    const syntax_case& c = GetParam();
    const reading r = read_vrml(c.body);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_FALSE(r.calls().empty());
    if (!c.coords.empty()) {
        EXPECT_EQ(r.calls()[0].coords, c.coords);
    }
    EXPECT_EQ(r.calls()[0].coord_index, c.coord_index);
    if (c.warning) {
        EXPECT_TRUE(r.warned(c.warning)) << c.warning;
    } else {
        EXPECT_EQ(r.warnings.count(), 0) << (r.warnings.texts().empty() ? "" : r.warnings.texts()[0]);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Vrml1, Syntax,
    ::testing::Values(
        syntax_case{"Brackets", "Coordinate3 { point [ 0 0 0, 1 0 0, 0 1 0 ] } IndexedFaceSet { coordIndex [ 0, 1, 2, -1 ] }", tri, tri_index},
        syntax_case{"NoSpaces", "Coordinate3{point[0 0 0,1 0 0,0 1 0]}IndexedFaceSet{coordIndex[0,1,2,-1]}", tri, tri_index},
        syntax_case{"SingleValuesWithoutBrackets", "Coordinate3 { point 1 2 3 } IndexedFaceSet { coordIndex 0 }", {1, 2, 3}, {0}},
        syntax_case{"EmptyList", "Coordinate3 { point [] } IndexedFaceSet { coordIndex [ ] }", {}, {}},
        syntax_case{"CommentsEverywhere",
                    "Coordinate3 # a\n{ point # b\n [ 0 0 0, # c\n 1 0 0, 0 1 0 ] # d\n } IndexedFaceSet { coordIndex [ 0 1 2 -1 ] }",
                    tri, tri_index},
        syntax_case{"CarriageReturnsOnly", "Coordinate3 {\r point [\r 0 0 0,\r 1 0 0,\r 0 1 0 ]\r}\rIndexedFaceSet { coordIndex [ 0 1 2 -1 ] }", tri, tri_index},
        syntax_case{"CrLf", "Coordinate3 {\r\n point [\r\n 0 0 0,\r\n 1 0 0, 0 1 0 ]\r\n}\r\nIndexedFaceSet { coordIndex [ 0 1 2 -1 ] }", tri, tri_index},
        syntax_case{"FieldGivenTwiceKeepsTheLast",
                    "Coordinate3 { point [ 9 9 9 ] point [ 0 0 0, 1 0 0, 0 1 0 ] } IndexedFaceSet { coordIndex [ 5 ] coordIndex [ 0 1 2 -1 ] }",
                    tri, tri_index},
        syntax_case{"NumberForms", "Coordinate3 { point [ +1 .5 1e2, -0.25 1.5E-1 2. ] } IndexedFaceSet { coordIndex [ 0x10 010 +3 ] }",
                    {1, 0.5f, 100, -0.25f, 0.15f, 2}, {16, 8, 3}},
        syntax_case{"FloatWrittenAsIndex", "IndexedFaceSet { coordIndex [ 1.0 2.9 -1 ] }", {}, {1, 2, -1}, "no Coordinate3"},
        syntax_case{"LongLine", long_line(), {}, {0, 1, 2}},
        syntax_case{"IgnoredFlag", "Coordinate3 { point [ 0 0 0, 1 0 0, 0 1 0 ] ~ } IndexedFaceSet { coordIndex [ 0 1 2 -1 ] }", tri, tri_index},
        syntax_case{"UnknownFieldSkipped",
                    "Coordinate3 { point [ 0 0 0, 1 0 0, 0 1 0 ] } IndexedFaceSet { colourIndex [ 1 2 { ] } ] coordIndex [ 0 1 2 -1 ] }",
                    tri, tri_index, "unknown field \"colourIndex\" of IndexedFaceSet"},
        syntax_case{"UnknownNodeSkippedByBraces",
                    "Fancy { a [ 1 2 ] inner Thing { s \"}\" } # }\n } Coordinate3 { point [ 0 0 0, 1 0 0, 0 1 0 ] } IndexedFaceSet { coordIndex [ 0 1 2 -1 ] }",
                    tri, tri_index, "unknown node Fancy; skipped"},
        syntax_case{"ExtensionNodeReadByItsDeclaration",
                    "Glow { fields [ SFFloat level, MFVec3f spots, SFBitMask mode ] level 2 spots [ 1 2 3 ] mode ( A | B ) }\n"
                    "Coordinate3 { point [ 0 0 0, 1 0 0, 0 1 0 ] } IndexedFaceSet { coordIndex [ 0 1 2 -1 ] }",
                    tri, tri_index, "unknown node Glow; read by its field declaration"},
        syntax_case{"BadNumberInList", "Coordinate3 { point [ 0 0 0, 1 x 0 ] } IndexedFaceSet { coordIndex [ 0 1 2 -1 ] }", {},
                    tri_index, "bad value for point of Coordinate3"},
        syntax_case{"PartialVector", "Coordinate3 { point [ 0 0 0, 1 0 ] } IndexedFaceSet { coordIndex [ 0 1 2 -1 ] }", {0, 0, 0},
                    tri_index, "not a whole number of values"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Syntax, SpecialNumbersAreKept) {
    const reading r = read_vrml("Coordinate3 { point [ nan inf -inf, 1e50 -1e50 1e-50 ] } PointSet { }");
    ASSERT_EQ(r.calls().size(), 1u);
    const auto& c = r.calls()[0].coords;
    ASSERT_EQ(c.size(), 6u);
    EXPECT_TRUE(std::isnan(c[0]));
    EXPECT_EQ(c[1], std::numeric_limits<float>::infinity());
    EXPECT_EQ(c[2], -std::numeric_limits<float>::infinity());
    EXPECT_EQ(c[3], std::numeric_limits<float>::infinity());
    EXPECT_EQ(c[4], -std::numeric_limits<float>::infinity());
    EXPECT_EQ(c[5], 0.0f);
}

// Field values of every type, looked at in the parsed document.
TEST(Syntax, EveryFieldTypeIsKeptInItsNode) {
    const std::string text =
        "#Inventor V2.1 ascii\n"
        "Separator {\n"
        " Info { string \"two\\\" \\\\lines\n here\" }\n"
        " Texture2 { image 2 1 3 0xff0000 0x00ff00 wrapS CLAMP }\n"
        " MatrixTransform { matrix 1 0 0 0 0 1 0 0 0 0 1 0 5 6 7 1 }\n"
        " Cylinder { parts (SIDES | TOP) }\n"
        " AsciiText { string [ \"a\", \"b c\" ] justification CENTER }\n"
        " DirectionalLight { on FALSE color 1 0.5 0 }\n"
        " Label { label unquoted }\n"
        "}\n";
    vrml::document doc;
    doc.file = "t.iv";
    vrml::warning_list warnings;
    vrml::parse_vrml1(text.data(), text.data() + text.size(), doc, warnings);
    EXPECT_EQ(warnings.count(), 0);
    ASSERT_EQ(doc.root->children.size(), 1u);
    const auto& kids = doc.root->children[0]->children;
    ASSERT_EQ(kids.size(), 7u);
    EXPECT_EQ(kids[0]->word("string", ""), "two\" \\lines\n here");
    EXPECT_EQ(kids[1]->integers("image"), (std::vector<std::int32_t>{2, 1, 3, 0xff0000, 0x00ff00}));
    EXPECT_EQ(kids[1]->word("wrapS", ""), "CLAMP");
    EXPECT_EQ(kids[2]->numbers("matrix").size(), 16u);
    EXPECT_EQ(kids[3]->value("parts")->words, (std::vector<std::string>{"SIDES", "TOP"}));
    EXPECT_EQ(kids[4]->value("string")->words, (std::vector<std::string>{"a", "b c"}));
    EXPECT_EQ(kids[5]->integer("on", 1), 0);
    EXPECT_EQ(kids[5]->numbers("color"), (std::vector<float>{1, 0.5f, 0}));
    EXPECT_EQ(kids[6]->word("label", ""), "unquoted");
}

TEST(Syntax, WarningsGiveLineAndColumn) {
    const reading r = read_vrml("Separator {\n  Cube { size 3 }\n\r\n  Bogus { }\n}\n", true, "w.wrl");
    ASSERT_EQ(r.warnings.count(), 2);
    EXPECT_EQ(r.warnings.texts()[0], "w.wrl:3:10: unknown field \"size\" of Cube; skipped");
    EXPECT_EQ(r.warnings.texts()[1], "w.wrl:5:3: unknown node Bogus; skipped");
}

TEST(Syntax, UnknownNodeIsWarnedOncePerType) {
    const reading r = read_vrml("Bogus { } Bogus { } Other { } Cube { }");
    EXPECT_EQ(r.warnings.count(), 2);
    EXPECT_EQ(r.calls().size(), 1u);
}

}  // namespace
}  // namespace tessel::test
