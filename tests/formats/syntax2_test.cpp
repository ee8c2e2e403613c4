// The VRML97 syntax, checked on the parsed document: PROTO instances must
// come out as the nodes their bodies make, with the instance's values where
// the body says IS, and hostile texts must end quickly with warnings.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "input/budget.h"
#include "formats/node.h"
#include "formats/vrml97/parse2.h"

namespace tessel::test {
namespace {

using vrml::document;
using vrml::node;

struct parsed {
    std::unique_ptr<document> doc = std::make_unique<document>();
    vrml::warning_list warnings;
    bool warned(const std::string& part) const {
        for (const std::string& w : warnings.texts())
            if (w.find(part) != std::string::npos) return true;
        return false;
    }
    const node& top(std::size_t i) const { return *doc->root->children.at(i); }
};

// Files an EXTERNPROTO may name, held in memory; each parsed on demand and
// refused while it is still being parsed, as the real source does.
class memory_files final : public vrml::proto_file_source {
public:
    std::map<std::string, std::string> texts;
    std::map<std::string, std::shared_ptr<document>> parsed_files;
    std::map<std::string, bool> open_now;
    vrml::warning_list* warnings = nullptr;

    std::shared_ptr<const document> open_proto_file(const document&, const std::string& url, vrml::source_position) override {
        if (open_now[url] || !texts.count(url)) return nullptr;
        if (auto found = parsed_files.find(url); found != parsed_files.end()) return found->second;
        auto doc = std::make_shared<document>();
        doc->file = url;
        open_now[url] = true;
        const std::string& t = texts[url];
        vrml::parse_vrml2(t.data(), t.data() + t.size(), *doc, *warnings, {}, this);
        open_now[url] = false;
        parsed_files[url] = doc;
        return doc;
    }
};

parsed parse(const std::string& body, memory_files* files = nullptr) {
    parsed p;
    const std::string text = "#VRML V2.0 utf8\n" + body;
    p.doc->file = "test.wrl";
    if (files) files->warnings = &p.warnings;
    vrml::parse_vrml2(text.data(), text.data() + text.size(), *p.doc, p.warnings, {}, files);
    return p;
}

std::string texts(const parsed& p) {
    std::string all;
    for (const std::string& w : p.warnings.texts()) all += w + "\n";
    return all;
}

TEST(Vrml2Syntax, NodesFieldsDefUseAndEventsRead) {
    const parsed p = parse(R"(
        DEF T Transform { translation 1 2 3 rotation 0 1 0 1.5
          children [ DEF S Shape { geometry Box { size 2 3 4 } appearance NULL } ] }
        Group { children USE S }
        DEF Clock TimeSensor { cycleInterval 5 loop TRUE }
        DEF Mover PositionInterpolator { key [0 1] keyValue [0 0 0, 1 1 1] }
        ROUTE Clock.fraction_changed TO Mover.set_fraction
        Script { url "javascript: function f() {}" eventIn SFFloat go field SFNode target USE T
                 field MFString names [ "a" "b" ] eventOut SFBool done }
        WorldInfo { title "café" info [ "x" ] }
        Shape { geometry IndexedFaceSet { coordIndex [ 0 1 2 -1 ] colorIndex 0x10 solid FALSE } })");
    EXPECT_EQ(p.warnings.count(), 0) << texts(p);
    ASSERT_EQ(p.doc->root->children.size(), 7u);
    const node& t = p.top(0);
    EXPECT_EQ(t.type->name, "Transform");
    EXPECT_EQ(t.numbers("translation"), (std::vector<float>{1, 2, 3}));
    const node* shape = t.nodes("children").at(0);
    EXPECT_EQ(shape->child("geometry")->numbers("size"), (std::vector<float>{2, 3, 4}));
    EXPECT_EQ(shape->child("appearance"), nullptr);
    EXPECT_EQ(p.top(1).nodes("children").at(0), shape);  // USE is the same node
    EXPECT_EQ(p.top(5).word("title", ""), "caf\xC3\xA9");  // UTF-8 bytes kept as they are
    const node* ifs = p.top(6).child("geometry");
    EXPECT_EQ(ifs->integers("coordIndex"), (std::vector<std::int32_t>{0, 1, 2, -1}));
    EXPECT_EQ(ifs->integers("colorIndex"), (std::vector<std::int32_t>{16}));
    EXPECT_EQ(ifs->integer("solid", 1), 0);
}

TEST(Vrml2Syntax, ProtoInstancesTakeTheirValuesOrTheDefaults) {
    const parsed p = parse(R"(
        PROTO Box2 [ field SFVec3f size 1 1 1  exposedField SFColor colour 1 0 0
                     field MFNode extra [ ]  eventIn SFBool poke ]
        { Transform { children [ Shape { appearance Appearance { material Material { diffuseColor IS colour } }
                                         geometry Box { size IS size } }
                                 Group { children IS extra } ] set_translation IS poke } }
        Box2 { }
        Box2 { size 2 3 4 extra [ Shape { } Shape { } ] }
        PROTO Plain [ ] { Shape { geometry Sphere { radius 5 } } }
        Plain { } Plain { })");
    EXPECT_EQ(p.warnings.count(), 0) << texts(p);
    ASSERT_EQ(p.doc->root->children.size(), 4u);
    const auto parts = [&](std::size_t i) { return p.top(i).nodes("children"); };
    for (std::size_t i = 0; i < 2; ++i) EXPECT_EQ(p.top(i).type->name, "Transform");
    const node* first_shape = parts(0).at(0);
    EXPECT_EQ(first_shape->child("geometry")->numbers("size"), (std::vector<float>{1, 1, 1}));
    EXPECT_EQ(first_shape->child("appearance")->child("material")->numbers("diffuseColor"),
              (std::vector<float>{1, 0, 0}));
    EXPECT_TRUE(parts(0).at(1)->nodes("children").empty());
    EXPECT_EQ(parts(1).at(0)->child("geometry")->numbers("size"), (std::vector<float>{2, 3, 4}));
    EXPECT_EQ(parts(1).at(1)->nodes("children").size(), 2u);
    // Each instance has its own copies, and the body itself is untouched.
    EXPECT_NE(parts(0).at(0), parts(1).at(0));
    EXPECT_EQ(p.doc->protos.front().body->nodes("children").at(0)->child("geometry")->value("size")->is_ref, 0);
    // A body that takes nothing from its interface is shared.
    EXPECT_EQ(&p.top(2), &p.top(3));
    EXPECT_EQ(p.top(2).type->name, "Shape");
}

TEST(Vrml2Syntax, ProtosInsideProtosPassValuesThrough) {
    const parsed p = parse(R"(
        PROTO Inner [ field SFFloat r 1 ] { Sphere { radius IS r } }
        PROTO Outer [ field SFFloat outer_r 7 ] { Shape { geometry Inner { r IS outer_r } } }
        Outer { } Outer { outer_r 9 } DEF I Inner { } USE I)");
    EXPECT_EQ(p.warnings.count(), 0) << texts(p);
    ASSERT_EQ(p.doc->root->children.size(), 4u);
    EXPECT_EQ(p.top(0).child("geometry")->number("radius", 0), 7);
    EXPECT_EQ(p.top(1).child("geometry")->number("radius", 0), 9);
    EXPECT_EQ(p.top(2).number("radius", 0), 1);
    EXPECT_EQ(&p.top(3), &p.top(2));
}

// VRML97 integers are decimal or 0x hexadecimal: a leading zero is only a
// zero (VRML 1.0's octal is not theirs).
TEST(Vrml2Syntax, LeadingZerosAreDecimal) {
    const parsed p = parse("IndexedFaceSet { coordIndex [ 0x10 010 +3 007 ] }");
    EXPECT_EQ(p.top(0).integers("coordIndex"), (std::vector<std::int32_t>{16, 10, 3, 7}));
}

// However many fields an interface declares, each keeps its own value.
TEST(Vrml2Syntax, ProtoOfMoreThan65536FieldsKeepsEachValue) {
    std::string s = "PROTO P [";
    for (int i = 0; i <= 70000; ++i) s += " field SFFloat f" + std::to_string(i) + " 1";
    const parsed p = parse(s + " ] { Sphere { radius IS f0 } } P { f65536 7 f70000 9 }");
    EXPECT_EQ(p.warnings.count(), 0) << texts(p);
    EXPECT_EQ(p.top(0).number("radius", 0), 1);
}

// Nodes and values are taken from the load's budget: past it the parse
// ends with one warning and keeps what it read.
TEST(Vrml2Syntax, BudgetEndsTheParseAndKeepsWhatWasRead) {
    std::string s = "#VRML V2.0 utf8\n";
    for (int i = 0; i < 100000; ++i) s += "Shape { geometry Box { size 1 2 3 } }\n";
    document doc;
    vrml::warning_list warnings;
    reader::load_budget budget(1 << 20);
    vrml::parse_vrml2(s.data(), s.data() + s.size(), doc, warnings, {}, nullptr, &budget);
    EXPECT_GT(doc.root->children.size(), 100u);
    EXPECT_LT(doc.root->children.size(), 100000u);
    EXPECT_EQ(warnings.count(), 1);
    ASSERT_FALSE(warnings.texts().empty());
    EXPECT_NE(warnings.texts()[0].find("needs more memory than a load may use here (1 MB; stopped at its nodes)"),
              std::string::npos)
        << warnings.texts()[0];
}

TEST(Vrml2Syntax, ExternProtosComeFromTheirFilesAndRefuseLoops) {
    memory_files files;
    files.texts["lib.wrl"] = "#VRML V2.0 utf8\nPROTO A [ field SFFloat r 2 ] { Sphere { radius IS r } }\n"
                             "PROTO B [ ] { Box { } }";
    files.texts["loop.wrl"] = "#VRML V2.0 utf8\nEXTERNPROTO L [ ] \"loop.wrl#L\"\nPROTO L [ ] { L { } }";
    const parsed p = parse(R"(
        EXTERNPROTO A [ field SFFloat r ] [ "missing.wrl" "lib.wrl#A" ]
        EXTERNPROTO First [ ] "lib.wrl"
        EXTERNPROTO B [ ] "lib.wrl#B"
        EXTERNPROTO L [ ] "loop.wrl#L"
        EXTERNPROTO Gone [ field SFFloat q ] "nowhere.wrl"
        EXTERNPROTO Holder [ field MFNode children ] [ "nowhere.wrl" "urn:web3d:vrml97:node:Transform" ]
        A { r 3 } First { } B { } L { } Gone { q 1 } Holder { children DEF In Shape { } } USE In)", &files);
    ASSERT_EQ(p.doc->root->children.size(), 5u) << texts(p);
    EXPECT_EQ(p.top(3).type->name, "Transform");  // a built-in node under another name
    EXPECT_EQ(p.top(3).nodes("children").at(0), &p.top(4));
    EXPECT_EQ(p.top(0).number("radius", 0), 3);
    EXPECT_EQ(p.top(1).number("radius", 0), 2);  // without #name: the file's first PROTO
    EXPECT_EQ(p.top(2).type->name, "Box");
    EXPECT_TRUE(p.warned("EXTERNPROTO Gone not found")) << texts(p);
    // loop.wrl cannot open itself while it is being read, so its L stays empty.
    EXPECT_TRUE(p.warned("the PROTO L has no nodes")) << texts(p);
}

// Hostile texts: each must end, keep what it can and say what it dropped.
struct hostile_case {
    const char* name;
    std::string body;
    std::size_t top_nodes;
    const char* warning;
};

std::string nested(int depth, const std::string& open, const std::string& close, const std::string& inner) {
    std::string s;
    s.reserve(static_cast<std::size_t>(depth) * (open.size() + close.size()) + inner.size());
    for (int i = 0; i < depth; ++i) s += open;
    s += inner;
    for (int i = 0; i < depth; ++i) s += close;
    return s;
}

// Each PROTO uses the one before twice: 2^40 nodes if copied.
std::string doubling_protos() {
    std::string s = "PROTO P0 [ field SFFloat r 1 ] { Sphere { radius IS r } }\n";
    for (int i = 1; i <= 40; ++i)
        s += "PROTO P" + std::to_string(i) + " [ field SFFloat r 1 ] { Group { children [ P" + std::to_string(i - 1) +
             " { r IS r } P" + std::to_string(i - 1) + " { r IS r } ] } }\n";
    return s + "P40 { r 2 }";
}

class Vrml2Hostile : public ::testing::TestWithParam<hostile_case> {};

TEST_P(Vrml2Hostile, EndsWithAWarning) {
    const hostile_case& c = GetParam();
    const parsed p = parse(c.body);
    EXPECT_EQ(p.doc->root->children.size(), c.top_nodes) << texts(p);
    if (c.warning) {
        EXPECT_TRUE(p.warned(c.warning)) << texts(p);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Vrml2Hostile,
    ::testing::Values(
        hostile_case{"AMillionNestedTransforms", nested(1'000'000, "Transform { children [ ", "] } ", "Shape { }"), 1,
                     nullptr},
        hostile_case{"UnclosedNesting", nested(100'000, "Transform { children [ ", "", "Shape { }"), 1,
                     "the file ends inside"},
        hostile_case{"SelfInstantiatingProto", "PROTO S [ ] { Group { children S { } } } S { }", 1, "unknown node S"},
        hostile_case{"UseBeforeItsDefEnds", "DEF X Group { children [ USE X ] }", 1, "which no DEF before it names"},
        hostile_case{"UseCycleThroughAProto",
                     "PROTO P [ field MFNode n [ ] ] { Group { children IS n } } DEF X P { n [ USE X ] }", 1,
                     "which no DEF before it names"},
        hostile_case{"ProtosNestedTooDeeply", nested(200, "PROTO P [ ] { ", "} ", "Shape { }") + " Shape { }", 1,
                     "nested too deeply"},
        hostile_case{"DoublingProtos", doubling_protos(), 1, "PROTO instances make more than"},
        hostile_case{"IsOutsideAProto", "Sphere { radius IS r }", 1, "IS outside a PROTO body"},
        hostile_case{"IsOfAnotherType", "PROTO P [ field SFBool b TRUE ] { Sphere { radius IS b } } P { }", 1,
                     "different types"},
        hostile_case{"BadInterface", "PROTO P [ field SFWhat x 1 ] { Box { } } P { }", 1, "bad declaration"},
        hostile_case{"UnknownNodeKeepsItsName", "DEF U Frobnicator { a [ 1 { 2 } ] } ROUTE U.x TO U.y Box { }", 1,
                     "unknown node Frobnicator"},
        hostile_case{"StrayBrackets", "] } ) Box { }", 1, "unexpected"},
        hostile_case{"DefWithoutItsName", "DEF Transform { children Shape { } }", 1, "DEF without a name before"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessel::test
