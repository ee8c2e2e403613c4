#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reader_support.h"

using tessel::test::crlf;
using tessel::test::scan;

namespace {

const std::string usual_node =
    "#VRML V1.0 ascii\n"
    "\n"
    "DEF Tri Separator {\n"
    "    Transform {\n"
    "        translation 1 2 3\n"
    "        rotation 0 1 0 0.5\n"
    "    }\n"
    "    Material {\n"
    "        diffuseColor 0.8 0.2 0.2\n"
    "    }\n"
    "    Coordinate3 {\n"
    "        point [ 0 0 0, 1 0 0, 0 1 0 ]\n"
    "    }\n"
    "    IndexedFaceSet {\n"
    "        coordIndex [ 0, 1, 2, -1 ]\n"
    "    }\n"
    "}\n";

void expect_usual_node(const tessel::test::scan_output& out) {
    EXPECT_EQ(out.shapes, 1);
    EXPECT_EQ(out.lists.point_counts, "9.#");
    EXPECT_EQ(out.lists.translations, "1.#2.#3.#");
    EXPECT_EQ(out.lists.rotations, "0.#1.#0.#0.5#");
    EXPECT_EQ(out.lists.scales, "1.#1.#1.#");
    EXPECT_EQ(out.lists.colours, "0.800000011920929#0.20000000298023224#0.20000000298023224#");
    EXPECT_EQ(out.lists.index_counts, "3.#");
    EXPECT_EQ(out.points, (std::vector<float>{0, 0, 0, 1, 0, 0, 0, 1, 0}));
    EXPECT_EQ(out.index, (std::vector<std::int32_t>{0, 1, 2}));
}

TEST(Scan, UsualNodeFillsListsAndStores) { expect_usual_node(scan(crlf(usual_node))); }

// Line feeds end words like carriage returns: LF-only files and unindented
// lines read exactly like indented CRLF files.
TEST(Scan, LineFeedOnlyAndUnindentedFilesReadLikeCrlf) {
    expect_usual_node(scan(usual_node));
    std::string flat;
    for (std::size_t i = 0; i < usual_node.size(); ++i) {
        if (usual_node[i] == ' ' && (i == 0 || usual_node[i - 1] == '\n' || usual_node[i - 1] == ' ')) continue;
        flat += usual_node[i];
    }
    expect_usual_node(scan(flat));
    expect_usual_node(scan(crlf(flat)));
}

TEST(Scan, StoreBytesAreLittleEndian) {
    const auto out = scan("DEF a { Coordinate3 { point [ 1.5 -2 70000 ] }\n IndexedFaceSet { coordIndex [ 70000, 1, 2 ] } }\n");
    EXPECT_EQ(out.point_bytes,
              (std::vector<unsigned char>{0, 0, 0xC0, 0x3F, 0, 0, 0, 0xC0, 0, 0xB8, 0x88, 0x47}));
    EXPECT_EQ(out.index_bytes, (std::vector<unsigned char>{0x70, 0x11, 1, 0, 1, 0, 0, 0, 2, 0, 0, 0}));
}

// Comments are blanked before the scan, so their words never become values,
// braces or keywords; a '#' inside a string is not a comment.
TEST(Scan, CommentsAreNeverRead) {
    const auto out = scan(
        "#VRML V1.0 ascii\n"
        "DEF a Separator { # comment with { braces and DEF words\n"
        "  Info { string \"not # a comment\" }\n"
        "  Coordinate3 { point [ 1 2 3, # 9 9 9\n"
        "    4 5 6 ] }\n"
        "  IndexedFaceSet { coordIndex [ 0 1 # 7 -1\n 1 -1 ] }\n"
        "}\n");
    EXPECT_EQ(out.points, (std::vector<float>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(out.index, (std::vector<std::int32_t>{0, 1, 1}));
}

TEST(Scan, StringsMaySpanLinesEscapeQuotesAndRunToTheEnd) {
    const struct {
        std::string text;
        std::int64_t shapes;
    } cases[] = {
        {"Info { string \"a\nb # c\" }\nDEF a { Coordinate3 { point [ 1 2 3 ] } }\n", 1},
        {"Info { string \"x \\\" # y\" }\nDEF a { Coordinate3 { point [ 1 2 3 ] } }\n", 1},
        {"Info { string \"open # DEF a { Coordinate3 { point [ 1 2 3 ] } }\n", 1},
        {"# \"quote in a comment\nDEF a { Coordinate3 { point [ 1 2 3 ] } }\n", 1},
        {"DEF a { Coordinate3 { point [ 1 2 3 ] } } # DEF b { Coordinate3 { point [ 1 ] } }\n", 1},
    };
    for (const auto& c : cases) EXPECT_EQ(scan(c.text).shapes, c.shapes) << c.text;
}

// A reader's last word may be followed at once by the next field or by a
// closing brace; both are still read.
TEST(Scan, FieldsAndBracesRightAfterValuesAreRead) {
    const auto out = scan(
        "DEF a { Transform { translation 1 2 3 rotation 0 0 1 2 scaleFactor 4 5 6 }\n"
        "Material { diffuseColor 0.5 0.5 0.5 } Coordinate3 { point [ 0 0 0 ] } }\n"
        "DEF b { Coordinate3 { point [ 1 1 1 ] } }\n");
    ASSERT_EQ(out.shapes, 2);
    EXPECT_EQ(out.lists.translations, "1.#2.#3.#0.#0.#0.#");
    EXPECT_EQ(out.lists.rotations, "0.#0.#1.#2.#0.#0.#0.#0.#");
    EXPECT_EQ(out.lists.scales, "4.#5.#6.#1.#1.#1.#");
    EXPECT_EQ(out.lists.colours, "0.5#0.5#0.5#1.#1.#1.#");
}

TEST(Scan, PolygonsBecomeTriangleFans) {
    const struct {
        const char* list;
        std::vector<std::int32_t> stored;
    } cases[] = {
        {"0 1 2 -1 2 1 3 -1", {0, 1, 2, 2, 1, 3}},
        {"0, 1, 2, 3, -1", {0, 1, 2, 0, 2, 3}},
        {"0 1 2 3 4 -1 5 6 7", {0, 1, 2, 0, 2, 3, 0, 3, 4, 5, 6, 7}},
        {"0 1 -1 2 -1 3 4 5", {3, 4, 5}},
        {"0 1 2 3]", {0, 1, 2, 0, 2, 3}},
        {"0 1 -1.0 2", {0, 1, -1, 0, -1, 2}},
        {"-1 -1 0 1 2 -1 -1", {0, 1, 2}},
        {"", {}},
    };
    for (const auto& c : cases) {
        const auto out = scan(std::string("DEF a { IndexedFaceSet { coordIndex [ ") + c.list + " ] } }\n");
        EXPECT_EQ(out.index, c.stored) << c.list;
        EXPECT_EQ(out.lists.index_counts, std::to_string(c.stored.size()) + ".#") << c.list;
    }
}

TEST(Scan, ValueAgainstClosingBracketIsWrittenAndEndsTheList) {
    const auto out = scan("DEF a { Coordinate3 { point [ 1 2 3,4 5 6] } }\n");
    EXPECT_EQ(out.points, (std::vector<float>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(out.lists.point_counts, "6.#");
}

TEST(Scan, NodeWithoutPointListMakesNoShapeButKeepsItsIndexCount) {
    const auto out = scan("DEF a { IndexedFaceSet { coordIndex [ 0 1 2 ] } }\n");
    EXPECT_EQ(out.shapes, 0);
    EXPECT_EQ(out.lists.point_counts, "");
    EXPECT_EQ(out.lists.index_counts, "3.#");
}

// Behaviour of the walk that files rely on: a DEF inside a walk is an
// ordinary word, shapes take the values current when their list ends, and
// later nodes of the usual layout reuse earlier values.
TEST(Scan, CurrentValuesCarryOverWithinOneWalk) {
    const auto out = scan(
        "DEF a Separator {\n"
        "  Transform { translation 1 1 1 }\n"
        "  Material { diffuseColor 1 0 0 }\n"
        "  Coordinate3 { point [ 0 0 0 ] }\n"
        "  IndexedFaceSet { coordIndex [ 0 0 0 ] }\n"
        "}\n"
        "DEF b Separator {\n"
        "  Coordinate3 { point [ 1 1 1 ] }\n"
        "  Transform { scaleFactor 2 2 2 }\n"
        "  Coordinate { point [ 2 2 2 ] }\n"
        "  IndexedFaceSet { coordIndex [ 0 0 0 ] }\n"
        "}\n");
    ASSERT_EQ(out.shapes, 3);
    EXPECT_EQ(out.lists.translations, "1.#1.#1.#1.#1.#1.#1.#1.#1.#");
    EXPECT_EQ(out.lists.colours, "1.#0.#0.#1.#0.#0.#1.#0.#0.#");
    EXPECT_EQ(out.lists.scales, "1.#1.#1.#1.#1.#1.#2.#2.#2.#");
}

TEST(Scan, WalkEndsWhenItsOwnBracesClose) {
    // A node whose braces close in the walk's own words resets the values
    // for the next DEF.
    const auto out = scan(
        "DEF a { Transform { translation 5 5 5 } Coordinate3 { point [ 0 0 0 ] } }\n"
        "DEF b { Coordinate3 { point [ 1 1 1 ] } }\n");
    ASSERT_EQ(out.shapes, 2);
    EXPECT_EQ(out.lists.translations, "5.#5.#5.#0.#0.#0.#");
}

TEST(Scan, FieldReadersKeepDefaultsForMissingValues) {
    const struct {
        const char* node;
        const char* rotations;
        const char* colours;
    } cases[] = {
        // A rotation with three values reads the next word as its fourth.
        {"Transform { rotation 1 2 3 }", "1.#2.#3.#0.#", "1.#1.#1.#"},
        // A bracket word in a colour converts to 0.
        {"Material { diffuseColor [ 0.5 0.25 ] }", "0.#0.#0.#0.#", "0.#0.5#0.25#"},
        {"Material { diffuseColor [0.5 0.25 0.125 ] }", "0.#0.#0.#0.#", "0.#0.25#0.125#"},
        // No diffuseColor: the colour stays.
        {"Material { ambientColor 0.1 0.1 0.1 }", "0.#0.#0.#0.#", "1.#1.#1.#"},
        {"Material { diffuseColorX 0.1 0.1 0.1 }", "0.#0.#0.#0.#", "1.#1.#1.#"},
    };
    for (const auto& c : cases) {
        const auto out =
            scan(std::string("DEF a {\n") + c.node + "\nCoordinate3 { point [ 0 0 0 ] }\n}\n");
        ASSERT_EQ(out.shapes, 1) << c.node;
        EXPECT_EQ(out.lists.rotations, c.rotations) << c.node;
        EXPECT_EQ(out.lists.colours, c.colours) << c.node;
    }
}

TEST(Scan, KeywordsMatchOnlyWholeCaseSensitiveWords) {
    EXPECT_EQ(scan("def a { Coordinate3 { point [ 1 ] } }\n").shapes, 0);
    EXPECT_EQ(scan("DEFx a { Coordinate3 { point [ 1 ] } }\n").shapes, 0);
    EXPECT_EQ(scan("DEF a { coordinate3 { point [ 1 ] } }\n").shapes, 0);
    EXPECT_EQ(scan("DEF a { Coordinate3x { point [ 1 ] } }\n").shapes, 0);
    EXPECT_EQ(scan("DEF a { Coordinate3 { point [ 1 ] } }\n").shapes, 1);
}

TEST(Scan, LastCharacterIsNeverPartOfAWord) {
    // Without a line end after it, the final brace is not counted; the walk
    // still ends at the end of the text.
    const auto out = scan("DEF a { Coordinate3 { point [ 1 2 3 ] } }");
    EXPECT_EQ(out.shapes, 1);
    EXPECT_EQ(scan("DEF").shapes, 0);
    EXPECT_EQ(scan("").shapes, 0);
    EXPECT_EQ(scan("D").shapes, 0);
}

TEST(Scan, ProgressRisesOncePerPercentToTheEnd) {
    std::string text = "DEF a { Coordinate3 { point [ ";
    for (int i = 0; i < 3000; ++i) text += "1 2 3, ";
    text += "] }\nIndexedFaceSet { coordIndex [ 0 1 2 -1 ] } }\n";
    const auto out = scan(text);
    ASSERT_FALSE(out.progress.empty());
    EXPECT_EQ(out.progress.front(), 0);
    EXPECT_EQ(out.progress.back(), 100);
    for (std::size_t i = 1; i < out.progress.size(); ++i) EXPECT_EQ(out.progress[i], out.progress[i - 1] + 1);
}

}  // namespace
