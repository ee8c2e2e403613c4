// Whole files: the first line picks the reader, inlines are read beside the
// including file, and no input (deep, cut short, junk) crashes or hangs.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include <unistd.h>

#include "recording_sink.h"

namespace tessel::test {
namespace {

using vrml::binding;

void expect_near(const std::vector<float>& got, const std::vector<float>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-5) << i;
}

struct header_case {
    const char* name;
    std::string text;
    bool ok;
    const char* error_part;
};

class Headers : public ::testing::TestWithParam<header_case> {};

TEST_P(Headers, FirstLinePicksTheReader) {
    scratch_folder dir;
    const std::string path = dir.write("scene.wrl", GetParam().text);
    const reading r = read_vrml_file(path);
    EXPECT_EQ(r.ok, GetParam().ok) << r.error;
    if (GetParam().ok) {
        EXPECT_EQ(r.calls().size(), 1u);
    } else {
        EXPECT_NE(r.error.find(path), std::string::npos) << r.error;
        EXPECT_NE(r.error.find(GetParam().error_part), std::string::npos) << r.error;
        EXPECT_TRUE(r.calls().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, Headers,
    ::testing::Values(
        header_case{"Vrml1", "#VRML V1.0 ascii\nCube {}", true, ""},
        header_case{"Vrml1WithTrailingText", "#VRML V1.0 ascii   made by hand\r\nCube {}", true, ""},
        header_case{"Inventor20", "#Inventor V2.0 ascii\nCube {}", true, ""},
        header_case{"Inventor21", "\xEF\xBB\xBF#Inventor V2.1 ascii\n\nSeparator { Cube {} }", true, ""},
        header_case{"Vrml2", "#VRML V2.0 utf8\nShape { geometry Box {} }", true, ""},
        header_case{"InventorBinary", "#Inventor V2.1 binary\n\x01\x02", false, "binary Inventor file"},
        header_case{"NoHeader", "Separator { Cube {} }", false, "its first line is \"Separator { Cube {} }\", but a VRML file starts with \"#VRML V2.0 utf8\" or \"#VRML V1.0 ascii\""},
        header_case{"Empty", "", false, "first line is empty"},
        header_case{"SuggestsClassic", "#VRML V1.1 ascii\nCube {}", false, "classic reading"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Files, UnreadableFileNamesItself) {
    const reading r = read_vrml_file("/nonexistent/tessel/a.wrl");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("/nonexistent/tessel/a.wrl"), std::string::npos);
}

TEST(Inlines, ReadBesideTheIncludingFileWithTheirOwnState) {
    scratch_folder dir;
    std::system(("mkdir '" + dir.path + "/parts'").c_str());
    dir.write("parts/wheel.wrl", "#VRML V1.0 ascii\nTranslation { translation 0 1 0 } Cylinder {}\nWWWInline { name \"hub.wrl\" }\n");
    dir.write("parts/hub.wrl", "#VRML V1.0 ascii\nSphere {}\n");
    const std::string car = dir.write("car.wrl",
                                      "#VRML V1.0 ascii\nTranslation { translation 5 0 0 }\n"
                                      "WWWInline { name \"parts/wheel.wrl\" } Cube {}\n"
                                      "WWWInline { name \"file:parts/wheel.wrl\" }\n");
    const reading r = read_vrml_file(car);
    ASSERT_TRUE(r.ok) << r.error;
    std::vector<std::string> kinds;
    for (const auto& c : r.calls()) kinds.push_back(c.kind);
    EXPECT_EQ(kinds, (std::vector<std::string>{"cylinder", "sphere", "cube", "cylinder", "sphere"}));
    EXPECT_NEAR(r.calls()[1].world(0, 0, 0)[1], 1, 1e-6);  // the hub sits where the wheel moved to
    EXPECT_NEAR(r.calls()[2].world(0, 0, 0)[0], 5, 1e-6);  // the inline's translation stays inside it
    EXPECT_NEAR(r.calls()[2].world(0, 0, 0)[1], 0, 1e-6);
    EXPECT_EQ(r.warnings.count(), 0);
}

TEST(Inlines, MissingSelfIncludingAndRemoteAreWarnings) {
    scratch_folder dir;
    dir.write("b.wrl", "#VRML V1.0 ascii\nCone {}\nWWWInline { name \"a.wrl\" }\n");
    dir.write("notvrml.wrl", "hello\n");
    const std::string a = dir.write("a.wrl",
                                    "#VRML V1.0 ascii\nCube {}\n"
                                    "WWWInline { name \"a.wrl\" }\n"
                                    "WWWInline { name \"b.wrl\" }\n"
                                    "WWWInline { name \"gone.wrl\" }\n"
                                    "WWWInline { name \"notvrml.wrl\" }\n"
                                    "WWWInline { name \"http://example.org/x.wrl\" }\n");
    const reading r = read_vrml_file(a);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.calls().size(), 2u);  // the cube, and b's cone once
    EXPECT_TRUE(r.warned(a + ":3:1: WWWInline \"a.wrl\" includes a file that is already being read"));
    EXPECT_TRUE(r.warned(dir.path + "/b.wrl:3:1: WWWInline \"a.wrl\" includes a file"));
    EXPECT_TRUE(r.warned(a + ":5:1: WWWInline \"gone.wrl\" not read: Cannot open"));
    EXPECT_TRUE(r.warned("WWWInline \"notvrml.wrl\" not read"));
    EXPECT_TRUE(r.warned("is not a local file"));
}

// Part files without a first line are read as VRML 2.0 only when they are
// named like scene files, through a link or not; any other file a scene
// names is refused without a word of it quoted.
TEST(Inlines, OnlyFilesNamedLikeScenesMayLackTheirFirstLine) {
    scratch_folder dir;
    dir.write("part.wrl", "Shape { geometry Box { } }\n");
    for (const char* name : {"notes.txt", "linked.txt", "proto.txt"})
        dir.write(name, "Shape { geometry Sphere { } } secret words\n");
    ASSERT_EQ(symlink((dir.path + "/linked.txt").c_str(), (dir.path + "/link.wrl").c_str()), 0);
    const std::string world = dir.write("world.wrl",
                                        "#VRML V2.0 utf8\nInline { url \"part.wrl\" }\nInline { url \"notes.txt\" }\n"
                                        "Inline { url \"link.wrl\" }\nEXTERNPROTO X [ ] \"proto.txt\" X { }\n");
    const reading r = read_vrml_file(world);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.calls().size(), 1u);
    EXPECT_EQ(r.calls()[0].kind, "cube");
    EXPECT_TRUE(r.warned(world + ":2:1: Inline \"part.wrl\" has no VRML first line; read as VRML 2.0"));
    for (const char* refused : {":3:1: Inline \"notes.txt\"", ":4:1: Inline \"link.wrl\"", ":5:1: EXTERNPROTO \"proto.txt\""})
        EXPECT_TRUE(r.warned(world + refused + " not read: it does not start with a VRML first line")) << refused;
    for (const std::string& w : r.warnings.texts()) EXPECT_EQ(w.find("secret"), std::string::npos) << w;
}

TEST(BadInput, MillionNestedSeparatorsReadWithoutRecursion) {
    std::string body;
    const int depth = 1000000;
    body.reserve(depth * 12 + 64);
    for (int i = 0; i < depth; ++i) body += "Separator {\n";
    body += "Translation { translation 1 0 0 } Cube {}";
    for (int i = 0; i < depth; ++i) body += "}";
    body += "Cube {}";
    const reading r = read_vrml(body);
    ASSERT_EQ(r.calls().size(), 2u);
    EXPECT_NEAR(r.calls()[0].world(0, 0, 0)[0], 1, 1e-6);
    EXPECT_NEAR(r.calls()[1].world(0, 0, 0)[0], 0, 1e-6);
    EXPECT_EQ(r.warnings.count(), 0);
}

TEST(BadInput, TruncatedFilesKeepWhatWasRead) {
    const std::string full =
        "Separator { Coordinate3 { point [ 0 0 0, 1 0 0, 0 1 0 ] } IndexedFaceSet { coordIndex [ 0 1 2 -1 ] }\n"
        "Info { string \"a } string\" } Cube { width 3 } }";
    std::size_t warned = 0;
    for (std::size_t cut = 0; cut <= full.size(); ++cut) {
        const reading r = read_vrml(full.substr(0, cut));
        ASSERT_TRUE(r.ok);
        EXPECT_LE(r.calls().size(), 2u);
        if (cut < full.size() && r.warnings.count() > 0) ++warned;
    }
    EXPECT_GT(warned, full.size() / 2);  // a cut inside a node is reported
    const reading cut = read_vrml(full.substr(0, full.find("Info")));
    EXPECT_TRUE(cut.warned("the file ends inside Separator (opened at 2:1)"));
    ASSERT_EQ(cut.calls().size(), 1u);
    EXPECT_EQ(cut.calls()[0].coord_index.size(), 4u);
}

TEST(BadInput, JunkNeverCrashes) {
    std::mt19937 random(7);
    const std::string pieces[] = {"Separator", "{", "}", "[", "]", "(", ")", "|", "DEF", "USE", "x", "\"", "#",
                                  "\n", "\r", "1e999", "-", "0x", "Coordinate3", "point", "IndexedFaceSet",
                                  "coordIndex", "fields", "SFFloat", "WWWInline", "name", "Switch", "whichChild",
                                  "Cone", "parts", "Texture2", "image", "99999 99999 4", "\x01\xff"};
    for (int round = 0; round < 300; ++round) {
        std::string body;
        const int n = 1 + static_cast<int>(random() % 60);
        for (int i = 0; i < n; ++i) body += pieces[random() % std::size(pieces)] + std::string(random() % 2 ? " " : "");
        const reading r = read_vrml(body);
        EXPECT_TRUE(r.ok) << body;
    }
}


// Public test models (tests/formats/data/README.md): what each draws, as read
// from the file by hand.
struct public_case {
    const char* file;
    std::vector<std::string> first_kinds;  // the first shapes, in order
    std::size_t calls;
    std::int64_t warnings;
};

class PublicFiles : public ::testing::TestWithParam<public_case> {};

TEST_P(PublicFiles, DrawWhatTheFileDescribes) {
    const reading r = read_vrml_file(std::string(TESSEL_SOURCE_DIR) + "/tests/formats/data/" + GetParam().file);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.calls().size(), GetParam().calls);
    EXPECT_EQ(r.warnings.count(), GetParam().warnings) << (r.warnings.texts().empty() ? "" : r.warnings.texts()[0]);
    for (std::size_t i = 0; i < GetParam().first_kinds.size() && i < r.calls().size(); ++i)
        EXPECT_EQ(r.calls()[i].kind, GetParam().first_kinds[i]) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Coin, PublicFiles,
    ::testing::Values(
        // Switch -2 (Inventor's "inherit") is warned about and draws nothing.
        public_case{"switch.wrl", {"cube", "sphere", "cube", "sphere", "cube"}, 5, 1},
        public_case{"indexedfaceset.wrl", {"faces"}, 28, 0},
        public_case{"cylinder.wrl", {"cylinder"}, 22, 0},
        public_case{"rotationxyz.iv", {"cube", "cube"}, 7, 0},
        public_case{"materialbinding.iv", {"cube", "cone", "cylinder", "sphere", "faces"}, 50, 0},
        public_case{"wwwinline.wrl", {"sphere"}, 1, 0}),
    [](const auto& info) {
        std::string name = info.param.file;
        return name.substr(0, name.find('.'));
    });

TEST(PublicFiles, StateReachesTheShapes) {
    const std::string data = std::string(TESSEL_SOURCE_DIR) + "/tests/formats/data/";
    const reading sw = read_vrml_file(data + "switch.wrl");
    ASSERT_EQ(sw.calls().size(), 5u);
    const float x[] = {8, 16, 32, 36, 0}, y[] = {0, 0, 0, 0, 16};
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(sw.calls()[i].world(0, 0, 0)[0], x[i], 1e-5) << i;
        EXPECT_NEAR(sw.calls()[i].world(0, 0, 0)[1], y[i], 1e-5) << i;
    }
    EXPECT_EQ(sw.calls()[4].material.diffuse, (std::vector<float>{1, 0, 0}));

    const reading ifs = read_vrml_file(data + "indexedfaceset.wrl");
    const binding row0[] = {binding::overall,          binding::per_part,   binding::per_part_indexed,
                            binding::per_face,         binding::per_face_indexed, binding::per_vertex,
                            binding::per_vertex_indexed, binding::per_vertex_indexed};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(ifs.calls()[i].material_binding, row0[i]) << i;

    const reading cyl = read_vrml_file(data + "cylinder.wrl");
    const unsigned parts[] = {vrml::parts::all, vrml::parts::sides, vrml::parts::bottom, vrml::parts::top,
                              vrml::parts::top | vrml::parts::bottom};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(cyl.calls()[i].parts, parts[i]) << i;

    const reading rot = read_vrml_file(data + "rotationxyz.iv");
    expect_near(rot.calls()[1].world(0, 1, 0), {4, std::cos(0.78f), std::sin(0.78f)});
    EXPECT_EQ(rot.calls()[1].material.diffuse, (std::vector<float>{1, 0, 0}));  // Inventor's BaseColor

    const reading in = read_vrml_file(data + "wwwinline.wrl");
    EXPECT_EQ(in.calls()[0].material.diffuse, (std::vector<float>{1, 1, 0}));
}

}  // namespace
}  // namespace tessel::test
