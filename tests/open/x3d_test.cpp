// X3D's classic encoding: its statements and access keywords read quietly,
// its nodes drawn as the store shows (triangle counts, points, colours),
// the same nodes written in the XML encoding making the very same store,
// its nodes kept out of VRML 2.0 files, and X3D and VRML 2.0 files
// inlining each other.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "open/open.h"
#include "tests/support/test_env.h"

namespace tessel::test {
namespace {

const std::string header = "#X3D V3.3 utf8\n";

// A unit square's corners, counter-clockwise from the origin, in the z = 0 plane.
const std::string square = "coord Coordinate { point [ 0 0 0, 1 0 0, 1 1 0, 0 1 0 ] }";
// The same corners in strip order.
const std::string strip = "coord Coordinate { point [ 0 0 0, 1 0 0, 0 1 0, 1 1 0 ] }";

struct x3d_case {
    const char* name;
    std::string world;       // after the header
    shape_kind kind;
    std::size_t primitives;  // triangles or segments, of all shapes
    std::size_t point;       // of the first shape, checked to be at x, y, z
    float x, y, z;
    float red, green, blue;  // the first shape's colour (its first vertex colour when it has them)
    float alpha = 1;         // the first shape's first vertex colour's alpha, when it has them
    std::string xml = {};    // the same world in the XML encoding (the Scene's content), when given
};

void PrintTo(const x3d_case& c, std::ostream* os) { *os << c.name; }

class X3dNodes : public ::testing::TestWithParam<x3d_case> {};

TEST_P(X3dNodes, DrawnIntoTheStore) {
    const x3d_case& c = GetParam();
    scratch_dir dir;
    const std::string path = dir.write("world.x3dv", header + c.world);
    scene_store store;
    const load_result r = open_scene_file(path, store, reading_mode::standard);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.warnings.empty()) << r.warnings[0];
    ASSERT_FALSE(store.shapes.empty());
    std::size_t primitives = 0;
    for (const shape_record& s : store.shapes) {
        EXPECT_EQ(s.kind, c.kind);
        primitives += s.corners.size() / corners_per_primitive(s.kind);
    }
    EXPECT_EQ(primitives, c.primitives);
    const shape_record& first = store.shapes[0];
    ASSERT_GT(first.point_count(), c.point);
    EXPECT_NEAR(first.points[c.point * 3], c.x, 1e-5);
    EXPECT_NEAR(first.points[c.point * 3 + 1], c.y, 1e-5);
    EXPECT_NEAR(first.points[c.point * 3 + 2], c.z, 1e-5);
    const float* colour = first.colours.empty() ? first.material.diffuse : first.colours.data();
    EXPECT_NEAR(colour[0], c.red, 1e-5);
    EXPECT_NEAR(colour[1], c.green, 1e-5);
    EXPECT_NEAR(colour[2], c.blue, 1e-5);
    if (!first.colours.empty()) {
        EXPECT_NEAR(first.colours[3], c.alpha, 1e-5);
    }
    // The XML encoding makes the very same store.
    if (!c.xml.empty()) {
        const std::string xml_path = dir.write("world.x3d", "<?xml version='1.0'?>\n<X3D version='3.3'><Scene>" + c.xml +
                                                                "</Scene></X3D>\n");
        scene_store twin;
        const load_result x = open_scene_file(xml_path, twin, reading_mode::standard);
        ASSERT_TRUE(x.ok) << x.error;
        EXPECT_TRUE(x.warnings.empty()) << x.warnings[0];
        ASSERT_EQ(twin.shapes.size(), store.shapes.size());
        for (std::size_t i = 0; i < store.shapes.size(); ++i) {
            const shape_record &a = store.shapes[i], &b = twin.shapes[i];
            EXPECT_EQ(a.points, b.points) << i;
            EXPECT_EQ(a.normals, b.normals) << i;
            EXPECT_TRUE(std::equal(a.corners.begin(), a.corners.end(), b.corners.begin(), b.corners.end())) << i;
            EXPECT_EQ(a.colours, b.colours) << i;
            EXPECT_TRUE(std::equal(a.material.diffuse, a.material.diffuse + 3, b.material.diffuse)) << i;
        }
    }
    // Every face of the flat sets looks along +z: strips alternate their
    // winding, and the generated normals follow it.
    if (c.kind == shape_kind::triangles && c.z == 0) {
        for (const shape_record& s : store.shapes)
            for (std::size_t n = 2; n < s.normals.size(); n += 3) EXPECT_GT(s.normals[n], 0.99f) << n / 3;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, X3dNodes,
    ::testing::Values(
        x3d_case{"IndexedTriangleSet", "Shape { geometry IndexedTriangleSet { index [ 0 1 2 0 2 3 ] " + square + " } }",
                 shape_kind::triangles, 2, 2, 1, 1, 0, 1, 1, 1, 1,
                 "<Shape><IndexedTriangleSet index='0 1 2 0 2 3'><Coordinate point='0 0 0, 1 0 0, 1 1 0, 0 1 0'/></IndexedTriangleSet></Shape>"},
        x3d_case{"TriangleSet", "Shape { geometry TriangleSet { coord Coordinate { point [ 0 0 0, 1 0 0, 1 1 0, "
                                "0 0 0, 1 1 0, 0 1 0, 5 5 5 ] } } }",
                 shape_kind::triangles, 2, 1, 1, 0, 0, 1, 1, 1},
        x3d_case{"IndexedTriangleFanSet", "Shape { geometry IndexedTriangleFanSet { index [ 0 1 2 3 -1 ] " + square + " } }",
                 shape_kind::triangles, 2, 3, 0, 1, 0, 1, 1, 1, 1,
                 "<Shape><IndexedTriangleFanSet index='0 1 2 3 -1'><Coordinate point='0 0 0, 1 0 0, 1 1 0, 0 1 0'/></IndexedTriangleFanSet></Shape>"},
        x3d_case{"TriangleFanSet", "Shape { geometry TriangleFanSet { fanCount [ 4 ] " + square + " } }",
                 shape_kind::triangles, 2, 0, 0, 0, 0, 1, 1, 1, 1,
                 "<Shape><TriangleFanSet fanCount='4'><Coordinate point='0 0 0, 1 0 0, 1 1 0, 0 1 0'/></TriangleFanSet></Shape>"},
        x3d_case{"IndexedTriangleStripSet",
                 "Shape { geometry IndexedTriangleStripSet { index [ 0 1 2 3 -1 3 2 ] " + strip + " } }",
                 shape_kind::triangles, 2, 3, 1, 1, 0, 1, 1, 1, 1,
                 "<Shape><IndexedTriangleStripSet index='0 1 2 3 -1 3 2'><Coordinate point='0 0 0, 1 0 0, 0 1 0, 1 1 0'/></IndexedTriangleStripSet></Shape>"},
        x3d_case{"TriangleStripSet", "Shape { geometry TriangleStripSet { stripCount [ 4 ] " + strip + " } }",
                 shape_kind::triangles, 2, 2, 0, 1, 0, 1, 1, 1, 1,
                 "<Shape><TriangleStripSet stripCount='4'><Coordinate point='0 0 0, 1 0 0, 0 1 0, 1 1 0'/></TriangleStripSet></Shape>"},
        x3d_case{"IndexedQuadSet", "Shape { geometry IndexedQuadSet { index [ 0 1 2 3 ] " + square + " } }",
                 shape_kind::triangles, 2, 1, 1, 0, 0, 1, 1, 1, 1,
                 "<Shape><IndexedQuadSet index='0 1 2 3'><Coordinate point='0 0 0, 1 0 0, 1 1 0, 0 1 0'/></IndexedQuadSet></Shape>"},
        x3d_case{"QuadSet", "Shape { geometry QuadSet { " + square + " } }", shape_kind::triangles, 2, 2, 1, 1, 0, 1, 1, 1, 1,
                 "<Shape><QuadSet><Coordinate point='0 0 0, 1 0 0, 1 1 0, 0 1 0'/></QuadSet></Shape>"},
        x3d_case{"LineSet", "Shape { geometry LineSet { vertexCount [ 3 2 ] coord Coordinate { point [ 0 0 0, "
                            "1 0 0, 1 1 0, 4 0 0, 4 1 0 ] } } }",
                 shape_kind::lines, 3, 4, 4, 1, 0, 1, 1, 1},
        // Alpha becomes transparency: 0.75 opaque.
        x3d_case{"ColorRgbaPerVertex",
                 "Shape { appearance Appearance { material Material {} } geometry IndexedFaceSet { coordIndex [ 0 1 2 ] "
                 "coord Coordinate { point [ 0 0 0, 1 0 0, 0 1 0 ] } color ColorRGBA { color [ 1 0 0 0.75, 0 1 0 0.75, "
                 "0 0 1 0.75 ] } } }",
                 shape_kind::triangles, 1, 0, 0, 0, 0, 1, 0, 0, 0.75f,
                 "<Shape><Appearance><Material/></Appearance><IndexedFaceSet coordIndex='0 1 2'><Coordinate point='0 0 0, 1 0 0, 0 1 0'/><ColorRGBA color='1 0 0 0.75, 0 1 0 0.75, 0 0 1 0.75'/></IndexedFaceSet></Shape>"},
        x3d_case{"ColorRgbaOnLines",
                 "Shape { geometry LineSet { vertexCount [ 2 ] coord Coordinate { point [ 0 0 0, 1 0 0 ] } "
                 "color ColorRGBA { color [ 0 1 0 1, 0 0 1 1 ] } } }",
                 shape_kind::lines, 1, 1, 1, 0, 0, 0, 1, 0, 1,
                 "<Shape><LineSet vertexCount='2'><Coordinate point='0 0 0, 1 0 0'/><ColorRGBA color='0 1 0 1, 0 0 1 1'/></LineSet></Shape>"},
        x3d_case{"ColorRgbaOnAnElevationGrid",
                 "Shape { appearance Appearance { material Material {} } geometry ElevationGrid { xDimension 2 "
                 "zDimension 2 height [ 0 0 0 0 ] color ColorRGBA { color [ 1 0 0 0.5, 0 1 0 0.5, 0 0 1 0.5, "
                 "1 1 0 0.5 ] } } }",
                 shape_kind::triangles, 2, 1, 0, 0, 1, 1, 0, 0, 0.5f},
        x3d_case{"CadPartsMoveTheirFaces",
                 "CADAssembly { name \"a\" children CADLayer { name \"l\" children CADPart { translation 5 0 0 "
                 "children CADFace { shape Shape { geometry IndexedFaceSet { coordIndex [ 0 1 2 ] coord Coordinate "
                 "{ point [ 0 0 0, 1 0 0, 0 1 0 ] } } } } } } }",
                 shape_kind::triangles, 1, 1, 6, 0, 0, 1, 1, 1, 1,
                 "<CADAssembly name='a'><CADLayer name='l'><CADPart translation='5 0 0'><CADFace><Shape containerField='shape'><IndexedFaceSet coordIndex='0 1 2'><Coordinate point='0 0 0, 1 0 0, 0 1 0'/></IndexedFaceSet></Shape></CADFace></CADPart></CADLayer></CADAssembly>"},
        x3d_case{"StaticGroupAndSwitchChildren",
                 "StaticGroup { children Switch { whichChoice 1 children [ Shape { geometry Box {} } Shape { geometry "
                 "TriangleSet { coord Coordinate { point [ 0 0 0, 1 0 0, 0 1 0 ] } } } ] } }",
                 shape_kind::triangles, 1, 1, 1, 0, 0, 1, 1, 1},
        x3d_case{"LodChildren", "LOD { range [ 10 ] children [ Shape { geometry TriangleSet { coord Coordinate { point [ "
                                "0 0 0, 1 0 0, 0 1 0 ] } } } Shape { geometry Box {} } ] }",
                 shape_kind::triangles, 1, 2, 0, 1, 0, 1, 1, 1},
        // A dielectric's diffuse colour is its base colour.
        x3d_case{"PhysicalMaterial",
                 "Shape { appearance Appearance { material PhysicalMaterial { baseColor 0 0.5 1 metallic 0 roughness "
                 "0.5 } } geometry TriangleSet { coord Coordinate { point [ 0 0 0, 1 0 0, 0 1 0 ] } } }",
                 shape_kind::triangles, 1, 0, 0, 0, 0, 0, 0.5f, 1, 1,
                 "<Shape><Appearance><PhysicalMaterial baseColor='0 0.5 1' metallic='0' roughness='0.5'/></Appearance><TriangleSet><Coordinate point='0 0 0, 1 0 0, 0 1 0'/></TriangleSet></Shape>"},
        x3d_case{"TwoSidedMaterialFront",
                 "Shape { appearance Appearance { material TwoSidedMaterial { diffuseColor 1 1 0 separateBackColor "
                 "TRUE backDiffuseColor 0 0 1 } } geometry TriangleSet { solid FALSE coord Coordinate { point [ 0 0 0, "
                 "1 0 0, 0 1 0 ] } } }",
                 shape_kind::triangles, 1, 0, 0, 0, 0, 1, 1, 0},
        x3d_case{"MetadataIsQuiet",
                 "Shape { metadata MetadataSet { name \"s\" value [ MetadataBoolean { value [ TRUE FALSE ] } "
                 "MetadataDouble { value 1.5 } MetadataFloat { value [ 1 2 ] } MetadataInteger { value [ 3 ] } "
                 "MetadataString { name \"n\" reference \"r\" value \"v\" } ] } geometry TriangleSet { metadata "
                 "MetadataFloat {} coord Coordinate { point [ 0 0 0, 1 0 0, 0 1 0 ] } } }",
                 shape_kind::triangles, 1, 0, 0, 0, 0, 1, 1, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// UNIT length and angle: the file's numbers in its own units, the store in
// metres and radians; an inlined file keeps its own units, in both encodings.
TEST(X3d, UnitsOfLengthAndAngleAreApplied) {
    scratch_dir dir;
    dir.write("part.x3d", "<X3D><head><unit category='length' name='millimetre' conversionFactor='0.001'/></head>"
                          "<Scene><Shape><TriangleSet><Coordinate point='0 0 0, 1000 0 0, 0 1000 0'/></TriangleSet>"
                          "</Shape></Scene></X3D>");
    const std::string path = dir.write("world.x3dv", header + "UNIT length centimetre 0.01\nUNIT angle degree 0.0174532925\n"
                                                              "Transform { rotation 0 0 1 90 children Shape { geometry "
                                                              "TriangleSet { coord Coordinate { point [ 0 0 0, 100 0 0, "
                                                              "0 100 0 ] } } } }\nInline { url \"part.x3d\" }\n"
                                                              "Fog { visibilityRange 500 }\n"
                                                              "NavigationInfo { avatarSize [25 160 75] speed 200 }\n");
    scene_store store;
    const load_result r = open_scene_file(path, store, reading_mode::standard);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.warnings.empty()) << r.warnings[0];
    ASSERT_EQ(store.shapes.size(), 2u);
    // 100 cm along x, turned a quarter about z: a metre up y.
    const auto has_point = [](const shape_record& s, float x, float y) {
        for (std::size_t i = 0; i < s.point_count(); ++i)
            if (std::abs(s.points[i * 3] - x) < 1e-5 && std::abs(s.points[i * 3 + 1] - y) < 1e-5) return true;
        return false;
    };
    EXPECT_TRUE(has_point(store.shapes[0], 0, 1));
    EXPECT_FALSE(has_point(store.shapes[0], 100, 0));
    // The inlined part's 1000 mm, under the world's own centimetres: a metre.
    EXPECT_TRUE(has_point(store.shapes[1], 1, 0));
    // The fog's range and the avatar's sizes and speed are lengths too.
    ASSERT_TRUE(store.fog);
    EXPECT_NEAR(store.fog->range, 5, 1e-5);
    EXPECT_NEAR(store.navigation.radius, 0.25, 1e-6);
    EXPECT_NEAR(store.navigation.eye_height, 1.6, 1e-6);
    EXPECT_NEAR(store.navigation.step_height, 0.75, 1e-6);
    EXPECT_NEAR(store.navigation.speed, 2, 1e-6);
}

TEST(X3d, UnlitMaterialDrawsItsEmissiveColourUnlit) {
    scratch_dir dir;
    const std::string path = dir.write(
        "world.x3dv", header + "Shape { appearance Appearance { material UnlitMaterial { emissiveColor 0 1 0 } } "
                               "geometry TriangleSet { coord Coordinate { point [ 0 0 0, 1 0 0, 0 1 0 ] } } }");
    scene_store store;
    const load_result r = open_scene_file(path, store, reading_mode::standard);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(store.shapes.size(), 1u);
    EXPECT_FALSE(store.shapes[0].lit);
    EXPECT_EQ(std::vector<float>(store.shapes[0].colour, store.shapes[0].colour + 3), (std::vector<float>{0, 1, 0}));
}

TEST(X3d, OrthoViewpointIsAnOrthographicCameraOfItsExtent) {
    scratch_dir dir;
    const std::string path =
        dir.write("world.x3dv", header + "OrthoViewpoint { position 0 0 7 fieldOfView [ -2 -3 2 3 ] }\n"
                                         "Shape { geometry Box {} }");
    scene_store store;
    const load_result r = open_scene_file(path, store, reading_mode::standard);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.warnings.empty()) << r.warnings[0];
    ASSERT_TRUE(store.camera);
    EXPECT_EQ(store.camera->kind, camera_kind::orthographic);
    EXPECT_NEAR(store.camera->height, 6, 1e-5);
    EXPECT_NEAR(store.camera->position[2], 7, 1e-5);
}

// What X3D writes around its nodes: every statement, X3D's access keywords
// and field types, fields X3D added, read without a word.
TEST(X3d, StatementsAndAccessKeywordsReadQuietly) {
    scratch_dir dir;
    const std::string path = dir.write(
        "world.x3dv",
        "#X3D V4.0 utf8\n"
        "PROFILE Immersive\n"
        "COMPONENT Geometry3D:2\n"
        "COMPONENT CADGeometry : 2\n"
        "META \"creator\" \"tessel's tests\"\n"
        "UNIT length metre 1\n"
        "UNIT mass kilogram 1000\n"
        "PROTO Tile [ initializeOnly SFColor tint 1 0 0 inputOutput SFVec3f at 0 0 0 inputOnly SFBool touch\n"
        "             outputOnly SFTime touched initializeOnly SFColorRGBA rgba 1 1 1 1 initializeOnly MFBool\n"
        "             flags [ TRUE FALSE ] initializeOnly SFDouble size 2 ] {\n"
        "  Transform { translation IS at children Shape { appearance Appearance { material Material {\n"
        "    diffuseColor IS tint } } geometry Box { size 1 1 1 } } }\n"
        "}\n"
        "EXTERNPROTO Plate [ initializeOnly SFVec3f size ] \"urn:web3d:x3d:node:Box\"\n"
        "DEF T Transform { visible TRUE bboxDisplay FALSE children [ Tile { at 3 0 0 } Shape { geometry Plate { } } ] }\n"
        "DEF S Script { initializeOnly SFInt32 count 0 inputOnly SFBool go outputOnly SFTime done }\n"
        "Viewpoint { centerOfRotation 0 1 0 }\n"
        "NavigationInfo { transitionType [ \"LINEAR\" ] transitionTime 2 }\n"
        "TimeSensor { pauseTime 1 resumeTime 2 }\n"
        "EXPORT T AS Table\n");
    scene_store store;
    const load_result r = open_scene_file(path, store, reading_mode::standard);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.warnings.empty()) << r.warnings[0];
    ASSERT_EQ(store.shapes.size(), 2u);
    EXPECT_NEAR(store.shapes[0].material.diffuse[0], 1, 1e-5);
    EXPECT_NEAR(store.shapes[0].material.diffuse[1], 0, 1e-5);
    float low_x = 1e9f;
    for (std::size_t p = 0; p < store.shapes[0].points.size(); p += 3) low_x = std::min(low_x, store.shapes[0].points[p]);
    EXPECT_NEAR(low_x, 2.5f, 1e-5);  // the Tile's box, moved by its interface
}

struct warning_case {
    const char* name;
    std::string text;
    const char* warning;  // with its position
};

void PrintTo(const warning_case& c, std::ostream* os) { *os << c.name; }

class X3dWarnings : public ::testing::TestWithParam<warning_case> {};

TEST_P(X3dWarnings, SaidOnceWithItsPlace) {
    scratch_dir dir;
    const std::string path = dir.write("world.x3dv", GetParam().text);
    scene_store store;
    const load_result r = open_scene_file(path, store, reading_mode::standard);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_NE(r.warnings[0].find(GetParam().warning), std::string::npos) << r.warnings[0];
}

INSTANTIATE_TEST_SUITE_P(
    Cases, X3dWarnings,
    ::testing::Values(
        warning_case{"UnitOfNoSize", header + "PROFILE Interchange\n  UNIT length nothing 0\nShape { geometry Box {} }",
                     "world.x3dv:3:3: UNIT length nothing has a factor that is not above 0"},
        warning_case{"ImportFromNoInline", header + "DEF Part Group {}\nIMPORT Part.Wheel AS Wheel\nShape { geometry Box {} }",
                     "world.x3dv:3:1: IMPORT from \"Part\", which no DEF before it names as an Inline"},
        warning_case{"ExportOfNoName", header + "Shape { geometry Box {} }\nEXPORT Nothing AS Else\n",
                     "world.x3dv:3:1: EXPORT of \"Nothing\""},
        warning_case{"ComponentWithoutLevel", header + "COMPONENT Geometry3D\nShape { geometry Box {} }",
                     "world.x3dv:2:1: COMPONENT without a name and a level"},
        // X3D's nodes and statements are X3D's alone.
        warning_case{"NoX3dNodesInVrml2", "#VRML V2.0 utf8\nShape { geometry TriangleSet { coord Coordinate { point [ 0 0 0, "
                                          "1 0 0, 0 1 0 ] } } }\nShape { geometry Box {} }",
                     "world.x3dv:2:18: unknown node TriangleSet"},
        warning_case{"NoX3dFieldsInVrml2", "#VRML V2.0 utf8\nShape { geometry Box { metadata NULL } }",
                     "unknown field \"metadata\" of Box"}),
    [](const auto& info) { return std::string(info.param.name); });

// Which primitives show their inside: in X3D as `solid` says, open or
// closed; in VRML97 and VRML 1.0 the open cones and cylinders.
TEST(X3d, SolidSaysWhichPrimitivesShowTheirInside) {
    const struct {
        const char* name;
        std::string text;
        bool two_sided;
    } rows[] = {
        {"open X3D cylinder", header + "Shape { geometry Cylinder { top FALSE } }", false},
        {"open X3D cone, not solid", header + "Shape { geometry Cone { bottom FALSE solid FALSE } }", true},
        {"X3D box, not solid", header + "Shape { geometry Box { solid FALSE } }", true},
        {"X3D sphere", header + "Shape { geometry Sphere { } }", false},
        {"open VRML97 cylinder", "#VRML V2.0 utf8\nShape { geometry Cylinder { top FALSE } }", true},
        {"closed VRML97 cone", "#VRML V2.0 utf8\nShape { geometry Cone { } }", false},
        {"open VRML 1.0 cylinder", "#VRML V1.0 ascii\nShapeHints { shapeType SOLID } Cylinder { parts SIDES }", true},
        {"VRML 1.0 cube, shape unknown", "#VRML V1.0 ascii\nShapeHints { shapeType UNKNOWN_SHAPE_TYPE } Cube { }", false},
    };
    scratch_dir dir;
    for (const auto& row : rows) {
        const std::string path = dir.write("world.wrl", row.text);
        scene_store store;
        const load_result r = open_scene_file(path, store, reading_mode::standard);
        ASSERT_TRUE(r.ok) << row.name << ": " << r.error;
        ASSERT_EQ(store.shapes.size(), 1u) << row.name;
        EXPECT_EQ(store.shapes[0].two_sided, row.two_sided) << row.name;
    }
}

// An X3D world may inline VRML 2.0 files and a VRML 2.0 world X3D ones,
// each read by its own rules.
TEST(X3d, InlinesBothWays) {
    scratch_dir dir;
    dir.write("x3d_part.x3dv", header + "Shape { geometry TriangleSet { coord Coordinate { point [ 0 0 0, 1 0 0, 0 1 0 ] } } }");
    dir.write("vrml_part.wrl", "#VRML V2.0 utf8\nInline { url \"x3d_part.x3dv\" }\nShape { geometry Box {} }");
    // An Inline told not to load reads nothing.
    const std::string x3d_world = dir.write("world.x3dv", header + "Transform { translation 10 0 0 children Inline { url \"vrml_part.wrl\" } }\n"
                                                                   "Inline { load FALSE url \"x3d_part.x3dv\" }");
    scene_store store;
    const load_result r = open_scene_file(x3d_world, store, reading_mode::standard);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.warnings.empty()) << r.warnings[0];
    ASSERT_EQ(store.shapes.size(), 2u);
    EXPECT_EQ(store.shapes[0].corners.size(), 3u);  // the triangle, inlined twice over
    EXPECT_NEAR(store.shapes[0].points[3], 11, 1e-5);
}

// A world moves what its Inline's file EXPORTs through the names it
// IMPORTs, in both encodings: the inlined file's clock drives the world's
// interpolator, which moves the inlined Transform. A name the file does
// not export is said, with the ROUTE's place.
TEST(X3d, ImportedNodesAreRoutedTo) {
    scratch_dir dir;
    dir.write("part.x3dv", header + "DEF T Transform { children Shape { geometry Box { size 2 2 2 } } }\n"
                                    "DEF C TimeSensor { cycleInterval 4 loop TRUE }\nEXPORT T AS Wheel EXPORT C");
    const std::string classic = dir.write(
        "world.x3dv", header + "DEF Part Inline { url \"part.x3dv\" }\nIMPORT Part.Wheel AS W IMPORT Part.C\n"
                               "IMPORT Part.Axle\nDEF P PositionInterpolator { key [0 1] keyValue [0 0 0, 8 0 0] }\n"
                               "ROUTE C.fraction_changed TO P.set_fraction ROUTE P.value_changed TO W.translation\n"
                               "ROUTE P.value_changed TO Axle.translation");
    const std::string xml = dir.write(
        "world.x3d", "<X3D version='3.3'><Scene>\n<Inline DEF='Part' url='\"part.x3dv\"'/>\n"
                     "<IMPORT inlineDEF='Part' importedDEF='Wheel' AS='W'/><IMPORT inlineDEF='Part' importedDEF='C'/>\n"
                     "<IMPORT inlineDEF='Part' importedDEF='Axle'/>\n"
                     "<PositionInterpolator DEF='P' key='0 1' keyValue='0 0 0 8 0 0'/>\n"
                     "<ROUTE fromNode='C' fromField='fraction_changed' toNode='P' toField='set_fraction'/>"
                     "<ROUTE fromNode='P' fromField='value_changed' toNode='W' toField='translation'/>\n"
                     "<ROUTE fromNode='P' fromField='value_changed' toNode='Axle' toField='translation'/>\n"
                     "</Scene></X3D>");
    for (const std::string& path : {classic, xml}) {
        scene_store store;
        std::unique_ptr<scene_world> world;
        const load_result r = open_scene_world(path, store, reading_mode::standard, world);
        ASSERT_TRUE(r.ok) << r.error;
        ASSERT_EQ(r.warnings.size(), 1u) << path;
        EXPECT_NE(r.warnings[0].find(":7:"), std::string::npos) << r.warnings[0];
        EXPECT_NE(r.warnings[0].find("IMPORT of \"Axle\", which"), std::string::npos) << r.warnings[0];
        ASSERT_TRUE(world) << path;
        world->play_to(1, store);
        ASSERT_EQ(store.shapes.size(), 1u);
        const shape_record& box = store.shapes[0];
        ASSERT_GE(box.motion, 0) << path;
        const float* m = store.motions.at(static_cast<std::size_t>(box.motion)).matrix;
        EXPECT_NEAR(m[12], 2, 1e-4) << path;  // a quarter of the way to x = 8
    }
}

}  // namespace
}  // namespace tessel::test
