// X3D's XML encoding rewritten as classic text: what each XML construct
// becomes, that the result parses into the nodes the XML describes, that
// warnings name XML lines, and that hostile XML is refused without reading
// anything outside the text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "formats/node.h"
#include "formats/vrml97/node_types2.h"
#include "formats/vrml97/parse2.h"
#include "formats/x3d/xml_to_classic.h"

namespace tessel::test {
namespace {

struct transcoded {
    bool ok = false;
    std::string classic, error;
    vrml::warning_list warnings{"test.x3d"};
};

transcoded transcode(const std::string& xml) {
    transcoded t;
    t.ok = vrml::x3d_xml_to_classic(xml, vrml::vrml2_node_type, t.classic, t.warnings, t.error);
    return t;
}

std::string scene(const std::string& body) {
    return "<?xml version='1.0' encoding='UTF-8'?>\n<X3D profile='Interchange' version='3.3'><Scene>" + body +
           "</Scene></X3D>";
}

// Whitespace runs as one space: the tests below compare structure; line
// alignment is checked on its own.
std::string squeezed(const std::string& s) {
    std::string out;
    for (char c : s) {
        const bool space = c == ' ' || c == '\n' || c == '\t';
        if (space && (out.empty() || out.back() == ' ')) continue;
        out += space ? ' ' : c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

// The classic text after the header and the PROFILE line.
std::string body_of(const transcoded& t) {
    const std::string s = squeezed(t.classic);
    const std::size_t profile = s.find("PROFILE Interchange ");
    return profile == std::string::npos ? s : s.substr(profile + 20);
}

struct rewrite_case {
    const char* what;
    const char* xml;
    const char* classic;
};

TEST(X3dXml, ElementsBecomeClassicNodes) {
    const rewrite_case cases[] = {
        {"DEF and fields", "<Transform DEF='T' translation='1 2 3' class='c' id='i'/>",
         "DEF T Transform { translation 1 2 3 }"},
        {"USE has no fields", "<Transform USE='T' translation='1 2 3'/>", "USE T"},
        {"HTML's style on a node, FontStyle's own style", "<Group style='x'/><FontStyle style='BOLD' class='c'/>",
         "Group { } FontStyle { style \"BOLD\" }"},
        {"default containerFields, MF values in brackets, booleans",
         "<Shape><Appearance><Material diffuseColor='1 0 0'/></Appearance>"
         "<IndexedFaceSet coordIndex='0 1 2 -1' solid='false'><Coordinate point='0 0 0, 1 0 0, 0 1 0'/>"
         "</IndexedFaceSet></Shape>",
         "Shape { appearance Appearance { material Material { diffuseColor 1 0 0 } } geometry IndexedFaceSet { "
         "coordIndex [ 0 1 2 -1 ] solid FALSE coord Coordinate { point [ 0 0 0, 1 0 0, 0 1 0 ] } } }"},
        {"children in one list, a statement closes it",
         "<Group><Shape/><Group/><ROUTE fromNode='A' fromField='b' toNode='C' toField='d'/><Shape/></Group>",
         "Group { children [ Shape { } Group { } ] ROUTE A.b TO C.d children [ Shape { } ] }"},
        {"explicit containerField into an SFNode field", "<Collision><Shape containerField='proxy'/></Collision>",
         "Collision { proxy Shape { } }"},
        {"SFString quoted and escaped, entities decoded", "<WorldInfo title='say \"hi\" \\ &amp; &lt;go&gt;'/>",
         "WorldInfo { title \"say \\\"hi\\\" \\\\ & <go>\" }"},
        {"MFString as written", "<ImageTexture url='\"a.png\" \"b c.png\"'/>",
         "ImageTexture { url [ \"a.png\" \"b c.png\" ] }"},
        {"MFString without quotes", "<ImageTexture url='a.png'/>", "ImageTexture { url [ \"a.png\" ] }"},
        {"MFString with text outside its quotes and no closing quote",
         "<ImageTexture url='\"a.png\" ] } \"b.png'/>", "ImageTexture { url [ \"a.png\" \"b.png\" ] }"},
        {"numbers keep no structure", "<Transform translation='1 # 2 } 3'/>", "Transform { translation 1 2 3 }"},
        {"an empty number is left out", "<Transform translation=' ' scale='2 2 2'/>", "Transform { scale 2 2 2 }"},
        {"unknown node: values read as one value each",
         "<Foo a='1 2' b='hello there' c='true' d='\"x\" \"y\"' e='3'/>",
         "Foo { a [ 1 2 ] b \"hello there\" c TRUE d [ \"x\" \"y\" ] e 3 }"},
        {"names keep no structure", "<Transform DEF='a.b{c'/><Transform USE='a.b{c'/>",
         "DEF a_b_c Transform { } USE a_b_c"},
        {"IMPORT and EXPORT", "<IMPORT inlineDEF='I' importedDEF='E' AS='L'/><EXPORT localDEF='T'/>",
         "IMPORT I.E AS L EXPORT T"},
        {"PROTO with interface, body and IS",
         "<ProtoDeclare name='P'><ProtoInterface>"
         "<field name='s' type='SFFloat' accessType='inputOutput' value='2'/>"
         "<field name='n' type='SFString' accessType='initializeOnly' value='a b'/>"
         "<field name='g' type='SFNode' accessType='initializeOnly'><Box/></field>"
         "<field name='k' type='MFNode' accessType='initializeOnly'><Box/><Sphere/></field>"
         "<field name='e' type='SFVec3f' accessType='initializeOnly'/>"
         "<field name='i' type='SFBool' accessType='inputOnly'/>"
         "</ProtoInterface><ProtoBody><Transform><IS><connect nodeField='scale' protoField='s'/></IS>"
         "<Shape/></Transform></ProtoBody></ProtoDeclare>",
         "PROTO P [ inputOutput SFFloat s 2 initializeOnly SFString n \"a b\" initializeOnly SFNode g Box { } "
         "initializeOnly MFNode k [ Box { } Sphere { } ] initializeOnly SFVec3f e 0 0 0 inputOnly SFBool i ] { "
         "Transform { scale IS s children [ Shape { } ] } }"},
        {"ProtoInstance values typed by the declaration",
         "<ProtoDeclare name='P'><ProtoInterface>"
         "<field name='n' type='MFString' accessType='initializeOnly' value='\"x\"'/>"
         "<field name='b' type='SFBool' accessType='initializeOnly' value='true'/>"
         "<field name='g' type='SFNode' accessType='initializeOnly'/>"
         "</ProtoInterface><ProtoBody><Group/></ProtoBody></ProtoDeclare>"
         "<Group><ProtoInstance name='P' DEF='I'><fieldValue name='n' value='a'/>"
         "<fieldValue name='b' value='false'/><fieldValue name='g'><Box/></fieldValue></ProtoInstance>"
         "<ProtoInstance name='P' USE='I'/></Group>",
         "PROTO P [ initializeOnly MFString n [ \"x\" ] initializeOnly SFBool b TRUE initializeOnly SFNode g NULL ] "
         "{ Group { } } Group { children [ DEF I P { n [ \"a\" ] b FALSE g Box { } } USE I ] }"},
        {"EXTERNPROTO", "<ExternProtoDeclare name='E' url='\"e.wrl#E\"'>"
                        "<field name='a' type='SFFloat' accessType='inputOutput'/></ExternProtoDeclare>",
         "EXTERNPROTO E [ inputOutput SFFloat a ] [ \"e.wrl#E\" ]"},
        {"a PROTO without interface or body", "<ProtoDeclare name='Q'/>", "PROTO Q [ ] { }"},
        {"Script with fields and its source in CDATA",
         "<Script DEF='S' url='\"s.js\"'><field name='x' type='SFFloat' accessType='inputOutput' value='1'/>"
         "<![CDATA[function f(v) { x = \"a\\b\"; }]]></Script>",
         "DEF S Script { inputOutput SFFloat x 1 url [ \"s.js\" \"ecmascript:function f(v) { x = \\\"a\\\\b\\\"; }\" ] }"},
        {"Script source that names its language, and a url alone",
         "<Script><![CDATA[javascript: f()]]></Script><Script url='s.js'/>",
         "Script { url [ \"javascript: f()\" ] } Script { url [ \"s.js\" ] }"},
        {"elements out of place are left out", "<Transform><connect nodeField='a' protoField='b'/></Transform>",
         "Transform { }"},
    };
    for (const rewrite_case& c : cases) {
        const transcoded t = transcode(scene(c.xml));
        EXPECT_TRUE(t.ok) << c.what << ": " << t.error;
        EXPECT_EQ(body_of(t), c.classic) << c.what;
    }
}

TEST(X3dXml, HeadBecomesHeaderAndStatements) {
    const transcoded t = transcode(
        "<X3D version='3.2' profile='Immersive'><head><component name='Geospatial' level='1'/>"
        "<unit category='length' name='km' conversionFactor='1000'/><meta name='title' content='A \"b\"'/></head>"
        "<Scene/></X3D>");
    ASSERT_TRUE(t.ok) << t.error;
    EXPECT_EQ(squeezed(t.classic),
              "#X3D V3.2 utf8 PROFILE Immersive COMPONENT Geospatial:1 UNIT length km 1000 META \"title\" \"A \\\"b\\\"\"");
    const transcoded bare = transcode("<X3D><Scene/></X3D>");
    EXPECT_EQ(squeezed(bare.classic), "#X3D V3.3 utf8 PROFILE Full");
}

// Each element starts on its XML line, and where the text written before
// it on that line is no longer, at its XML column: the parser's warnings
// name that place.
TEST(X3dXml, LinesAndColumnsFollowTheXml) {
    const std::string xml =
        "<?xml version='1.0'?>\n"               // 1
        "<X3D profile='Interchange'>\n"         // 2
        "<Scene>\n"                             // 3
        "<Transform translation='1\n2\n3'>\n"  // 4-6
        "  <Shape>\n"                           // 7
        "    <Box size='1 1 1' nonsense='2'/>\n"  // 8
        "  </Shape>\n"                          // 9
        "</Transform>\n"                        // 10
        "<Script><![CDATA[\n"                   // 11
        "a();\n"                                // 12
        "b();]]></Script>\n"                    // 13
        "<Sphere\n"                             // 14
        "   radius='2'/>\n"                     // 15
        "</Scene></X3D>\n";
    const transcoded t = transcode(xml);
    ASSERT_TRUE(t.ok) << t.error;
    std::vector<std::string> lines(1);
    for (char c : t.classic) {
        if (c == '\n') lines.emplace_back();
        else lines.back() += c;
    }
    ASSERT_GE(lines.size(), 14u);
    EXPECT_NE(lines[3].find("Transform"), std::string::npos) << t.classic;
    EXPECT_NE(lines[6].find("Shape"), std::string::npos) << t.classic;
    EXPECT_NE(lines[7].find("Box"), std::string::npos) << t.classic;
    EXPECT_NE(lines[11].find("a();"), std::string::npos) << t.classic;
    EXPECT_NE(lines[13].find("Sphere"), std::string::npos) << t.classic;

    vrml::document doc;
    doc.file = "test.x3d";
    vrml::warning_list warnings("test.x3d");
    // The header statements are X3D's; this reading knows VRML97's alone.
    std::string classic = t.classic;
    classic.replace(classic.find("PROFILE Interchange"), 19, std::string(19, ' '));
    vrml::parse_vrml2(classic.data(), classic.data() + classic.size(), doc, warnings, {});
    bool named = false;
    for (const std::string& w : warnings.texts()) named = named || (w.find("test.x3d:8:23:") == 0 && w.find("nonsense") != std::string::npos);
    EXPECT_TRUE(named) << (warnings.texts().empty() ? "no warnings" : warnings.texts()[0]);
}

// The classic text parses into the nodes the XML describes: PROTO instances
// expanded, values typed.
TEST(X3dXml, ResultParsesIntoTheDescribedNodes) {
    std::string nested;
    for (int i = 0; i < 100; ++i) nested += "<Transform>";
    nested += "<Shape><Box size='1 2 3'/></Shape>";
    for (int i = 0; i < 100; ++i) nested += "</Transform>";
    const transcoded t = transcode(scene(
        "<ProtoDeclare name='P'><ProtoInterface><field name='s' type='SFVec3f' accessType='initializeOnly' "
        "value='1 1 1'/></ProtoInterface><ProtoBody><Transform><IS><connect nodeField='scale' protoField='s'/>"
        "</IS></Transform></ProtoBody></ProtoDeclare><ProtoInstance name='P'><fieldValue name='s' value='4 5 6'/>"
        "</ProtoInstance>" + nested));
    ASSERT_TRUE(t.ok) << t.error;
    std::string classic = t.classic;
    classic.replace(classic.find("PROFILE Interchange"), 19, std::string(19, ' '));
    // VRML97's name for an interface field, which this reading knows.
    classic.replace(classic.find("initializeOnly"), 14, "field         ");
    vrml::document doc;
    doc.file = "test.x3d";
    vrml::warning_list warnings("test.x3d");
    vrml::parse_vrml2(classic.data(), classic.data() + classic.size(), doc, warnings, {});
    ASSERT_EQ(warnings.count(), 0) << warnings.texts().at(0);
    ASSERT_EQ(doc.root->children.size(), 2u);
    EXPECT_EQ(doc.root->children[0]->numbers("scale"), (std::vector<float>{4, 5, 6}));
    const vrml::node* n = doc.root->children[1];
    int depth = 1;
    while (!n->nodes("children").empty() && n->type->name == "Transform") {
        n = n->nodes("children")[0];
        ++depth;
    }
    EXPECT_EQ(depth, 101);
    ASSERT_NE(n->child("geometry"), nullptr);
    EXPECT_EQ(n->child("geometry")->numbers("size"), (std::vector<float>{1, 2, 3}));
}

// Text in another encoding than UTF-8 is read as UTF-8, its elements still
// on their lines.
TEST(X3dXml, OtherEncodingsBecomeUtf8) {
    const std::string text = "\n<X3D><Scene>\n<WorldInfo title='caf\xE9'/></Scene></X3D>";
    std::string utf16 = "\xFF\xFE";
    for (char c : "<?xml version='1.0' encoding='UTF-16'?>" + text) utf16 += {c, '\0'};
    const std::pair<const char*, std::string> cases[] = {
        {"latin-1", "<?xml version='1.0' encoding='ISO-8859-1'?>" + text},
        {"UTF-16 with its mark", utf16},
    };
    for (const auto& [what, xml] : cases) {
        const transcoded t = transcode(xml);
        ASSERT_TRUE(t.ok) << what << ": " << t.error;
        const std::size_t at = t.classic.find("WorldInfo { title \"caf\xC3\xA9\" }");
        ASSERT_NE(at, std::string::npos) << what << ": " << t.classic;
        EXPECT_EQ(std::count(t.classic.begin(), t.classic.begin() + static_cast<std::ptrdiff_t>(at), '\n'), 2) << what;
    }
}

// Hostile or broken XML ends with an error that names the place, and never
// reads a file: the secret below must not show up anywhere.
TEST(X3dXml, HostileXmlIsRefusedWithoutReadingFiles) {
    const std::string secret_path = ::testing::TempDir() + "x3d_secret.txt";
    std::ofstream(secret_path) << "SECRET-CONTENT";
    const std::string url = "file://" + secret_path;
    const std::string valid = scene("<Transform translation='1 2 3'><Shape><Box/></Shape></Transform>");
    struct hostile {
        const char* what;
        std::string xml;
        const char* error;  // empty: read, without the secret
    };
    std::string deep = "<X3D><Scene>";
    for (int i = 0; i < 20000; ++i) deep += "<Group>";
    std::string deep_closed = deep;
    for (int i = 0; i < 20000; ++i) deep_closed += "</Group>";
    deep_closed += "</Scene></X3D>";
    const hostile cases[] = {
        {"nesting without end", deep, "test.x3d:1:"},
        {"nesting too deep", deep_closed, "test.x3d:1:69999: elements nested more than 10000 deep"},
        {"billion laughs, with the reason",
         "<!DOCTYPE X3D [<!ENTITY a 'aaaaaaaaaa'><!ENTITY b '&a;&a;&a;&a;&a;&a;&a;&a;'>]><X3D/>",
         "entity declarations are not read"},
        {"billion laughs",
         "<?xml version='1.0'?><!DOCTYPE X3D [<!ENTITY a 'aaaaaaaaaa'><!ENTITY b '&a;&a;&a;&a;&a;&a;&a;&a;'>"
         "<!ENTITY c '&b;&b;&b;&b;&b;&b;&b;&b;&b;'>]><X3D><Scene><WorldInfo title='&c;'/></Scene></X3D>",
         "test.x3d:1:"},
        {"external entity",
         "<!DOCTYPE X3D [<!ENTITY x SYSTEM '" + url + "'>]><X3D><Scene><WorldInfo title='&x;'/></Scene></X3D>",
         "entity declarations are not read"},
        {"parameter entity", "<!DOCTYPE X3D [<!ENTITY % p SYSTEM '" + url + "'> %p;]><X3D><Scene/></X3D>",
         "entity declarations are not read"},
        {"external DTD by URL, never fetched",
         "<?xml version='1.0'?>\n<!DOCTYPE X3D PUBLIC 'ISO//Web3D//DTD X3D 3.3//EN' '" + url + "'>\n" +
             valid.substr(valid.find("<X3D")),
         ""},
        {"malformed, with the reason", "<X3D><Scene>\n  <Transform></Scene></X3D>", "mismatched tag"},
        {"malformed", "<X3D><Scene>\n  <Transform></Scene></X3D>", "test.x3d:2:"},
        {"truncated", valid.substr(0, valid.size() / 2), "test.x3d:2:"},
        {"empty", "", "test.x3d:1:1: no element found"},
        {"not X3D", "<html><X3D/></html>", "test.x3d:1:1: the document's element is <html>, not <X3D>"},
    };
    for (const hostile& c : cases) {
        const transcoded t = transcode(c.xml);
        EXPECT_EQ(t.ok, *c.error == 0) << c.what << ": " << t.error;
        if (*c.error) {
            EXPECT_NE(t.error.find(c.error), std::string::npos) << c.what << ": " << t.error;
        }
        EXPECT_EQ(t.classic.find("SECRET"), std::string::npos) << c.what;
        EXPECT_LT(t.classic.size(), 10000u) << c.what;
    }
    std::remove(secret_path.c_str());
}

}  // namespace
}  // namespace tessel::test
