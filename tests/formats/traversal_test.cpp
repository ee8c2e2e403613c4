// Traversal state in file order: transforms accumulate into world matrices,
// groups save what the VRML 1.0 standard says they save, and every shape
// gets the material, bindings, normals and hints in force.
#include <gtest/gtest.h>

#include "recording_sink.h"
#include "formats/vrml1/parse1.h"
#include "formats/vrml1/traverse1.h"

namespace tessel::test {
namespace {

using vrml::binding;

void expect_near3(const std::vector<float>& got, std::vector<float> want, const char* what) {
    ASSERT_EQ(got.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], want[i], 1e-4) << what << " component " << i;
}

struct transform_case {
    const char* name;
    std::string body;                 // ends with the Cube that is checked
    std::vector<float> point, world;  // object point and where it must land
};

class Transforms : public ::testing::TestWithParam<transform_case> {};

TEST_P(Transforms, LastCubeLandsWhereExpected) {
    const reading r = read_vrml(GetParam().body);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_FALSE(r.calls().empty());
    const auto& p = GetParam().point;
    expect_near3(r.calls().back().world(p[0], p[1], p[2]), GetParam().world, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Vrml1, Transforms,
    ::testing::Values(
        transform_case{"Translation", "Translation { translation 1 2 3 } Cube {}", {0, 0, 0}, {1, 2, 3}},
        transform_case{"Rotation", "Rotation { rotation 0 0 2 1.5707963 } Cube {}", {1, 0, 0}, {0, 1, 0}},
        transform_case{"Scale", "Scale { scaleFactor 2 3 4 } Cube {}", {1, 1, 1}, {2, 3, 4}},
        transform_case{"TransformAboutCentre",
                       "Transform { translation 10 0 0 rotation 0 0 1 1.5707963 scaleFactor 2 1 1 center 1 0 0 } Cube {}",
                       {2, 0, 0}, {11, 2, 0}},
        transform_case{"ScaleOrientation", "Transform { scaleFactor 2 1 1 scaleOrientation 0 0 1 1.5707963 } Cube {}",
                       {0, 1, 0}, {0, 2, 0}},
        transform_case{"MatrixTransformRowsAsWritten", "MatrixTransform { matrix 0 1 0 0  -1 0 0 0  0 0 1 0  5 6 7 1 } Cube {}",
                       {1, 0, 0}, {5, 7, 7}},
        transform_case{"RotationXYZ", "RotationXYZ { axis Y angle 1.5707963 } Cube {}", {1, 0, 0}, {0, 0, -1}},
        transform_case{"LaterTransformsApplyFirst", "Translation { translation 1 0 0 } Rotation { rotation 0 0 1 1.5707963 } Cube {}",
                       {1, 0, 0}, {1, 1, 0}},
        transform_case{"SeparatorRestores", "Separator { Translation { translation 5 0 0 } Cube {} } Cube {}", {0, 0, 0}, {0, 0, 0}},
        transform_case{"NestedSeparatorsAccumulate",
                       "Separator { Translation { translation 1 0 0 } Separator { Scale { scaleFactor 2 2 2 } Cube {} } }",
                       {1, 1, 1}, {3, 2, 2}},
        transform_case{"TransformSeparatorRestoresTransform",
                       "TransformSeparator { Translation { translation 5 0 0 } } Cube {}", {0, 0, 0}, {0, 0, 0}},
        transform_case{"TransformSeparatorInsideSeparator",
                       "Separator { TransformSeparator { Translation { translation 5 0 0 } Material { } } Cube {} } Cube {}",
                       {0, 0, 0}, {0, 0, 0}},
        transform_case{"GroupKeepsNothing", "Group { Translation { translation 5 0 0 } } Cube {}", {0, 0, 0}, {5, 0, 0}},
        transform_case{"AnchorRestores", "WWWAnchor { name \"x.wrl\" Translation { translation 5 0 0 } } Cube {}", {0, 0, 0}, {0, 0, 0}},
        transform_case{"SwitchAllIsAGroup", "Switch { whichChild -3 Translation { translation 5 0 0 } } Cube {}", {0, 0, 0}, {5, 0, 0}},
        transform_case{"UseReappliesTransform",
                       "DEF T Translation { translation 1 0 0 } Cube {} USE T Cube {}", {0, 0, 0}, {2, 0, 0}},
        transform_case{"ZeroAxisTurnsNothing", "Rotation { rotation 0 0 0 1 } Cube {}", {1, 0, 0}, {1, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Traversal, SeparatorRestoresMaterialCoordinatesAndBindings) {
    const reading r = read_vrml(
        "Coordinate3 { point [ 0 0 0 ] }\n"
        "Separator { Material { diffuseColor 1 0 0 } MaterialBinding { value PER_FACE } Coordinate3 { point [ 1 1 1 ] }\n"
        "  ShapeHints { creaseAngle 1 } PointSet {} }\n"
        "PointSet {}\n");
    ASSERT_EQ(r.calls().size(), 2u);
    EXPECT_EQ(r.calls()[0].material.diffuse, (std::vector<float>{1, 0, 0}));
    EXPECT_EQ(r.calls()[0].material_binding, binding::per_face);
    EXPECT_EQ(r.calls()[0].coords, (std::vector<float>{1, 1, 1}));
    EXPECT_FLOAT_EQ(r.calls()[0].hints.crease_angle, 1);
    EXPECT_TRUE(r.calls()[1].material.diffuse.empty());
    EXPECT_EQ(r.calls()[1].material_binding, binding::overall);
    EXPECT_EQ(r.calls()[1].coords, (std::vector<float>{0, 0, 0}));
    EXPECT_FLOAT_EQ(r.calls()[1].hints.crease_angle, 0.5f);
}

TEST(Traversal, MaterialKeepsEveryValueAndReplacesTheWholeMaterial) {
    const reading r = read_vrml(
        "Material { ambientColor [ 0.1 0.1 0.1, 0.2 0.2 0.2 ] diffuseColor [ 1 0 0, 0 1 0, 0 0 1 ]\n"
        "  specularColor 1 1 1 emissiveColor 0 0 0.5 shininess [ 0.3 0.4 ] transparency [ 0 0.5 ] }\n"
        "Cube {}\n"
        "Material { diffuseColor 1 1 0 }\n"
        "Sphere {}\n");
    ASSERT_EQ(r.calls().size(), 2u);
    const auto& m = r.calls()[0].material;
    EXPECT_EQ(m.ambient.size(), 6u);
    EXPECT_EQ(m.diffuse.size(), 9u);
    EXPECT_EQ(m.specular, (std::vector<float>{1, 1, 1}));
    EXPECT_EQ(m.emissive, (std::vector<float>{0, 0, 0.5f}));
    EXPECT_EQ(m.shininess, (std::vector<float>{0.3f, 0.4f}));
    EXPECT_EQ(m.transparency, (std::vector<float>{0, 0.5f}));
    const auto& n = r.calls()[1].material;
    EXPECT_EQ(n.diffuse, (std::vector<float>{1, 1, 0}));
    // Fields the second Material leaves out take their defaults.
    EXPECT_TRUE(n.ambient.empty());
    EXPECT_TRUE(n.shininess.empty());
    EXPECT_TRUE(n.transparency.empty());
}

TEST(Traversal, EveryBindingValueReachesTheShape) {
    const std::pair<const char*, binding> values[] = {
        {"DEFAULT", binding::default_binding},   {"OVERALL", binding::overall},
        {"PER_PART", binding::per_part},         {"PER_PART_INDEXED", binding::per_part_indexed},
        {"PER_FACE", binding::per_face},         {"PER_FACE_INDEXED", binding::per_face_indexed},
        {"PER_VERTEX", binding::per_vertex},     {"PER_VERTEX_INDEXED", binding::per_vertex_indexed},
    };
    for (const auto& [word, value] : values) {
        const reading r = read_vrml(std::string("MaterialBinding { value ") + word + " } NormalBinding { value " + word +
                                    " } Cylinder {}");
        ASSERT_EQ(r.calls().size(), 1u) << word;
        EXPECT_EQ(r.calls()[0].material_binding, value) << word;
        EXPECT_EQ(r.calls()[0].normal_binding, value) << word;
    }
    const reading bad = read_vrml("MaterialBinding { value PER_FACE } MaterialBinding { value SIDEWAYS } Cube {}");
    EXPECT_EQ(bad.calls()[0].material_binding, binding::per_face);
    EXPECT_TRUE(bad.warned("unknown binding SIDEWAYS"));
}

TEST(Traversal, FaceAndLineSetsGetTheirIndicesAndNormals) {
    const reading r = read_vrml(
        "Coordinate3 { point [ 0 0 0, 1 0 0, 1 1 0, 0 1 0 ] }\n"
        "Normal { vector [ 0 0 1, 0 0 -1 ] } NormalBinding { value PER_FACE_INDEXED }\n"
        "ShapeHints { vertexOrdering COUNTERCLOCKWISE shapeType SOLID faceType CONVEX creaseAngle 0.25 }\n"
        "IndexedFaceSet { coordIndex [ 0 1 2 3 -1 ] materialIndex [ 2 ] normalIndex [ 1 ] textureCoordIndex [ 0 ] }\n"
        "ShapeHints { faceType UNKNOWN_FACE_TYPE }\n"
        "IndexedLineSet { coordIndex [ 0 1 2 ] }\n");
    ASSERT_EQ(r.calls().size(), 2u);
    const auto& f = r.calls()[0];
    EXPECT_EQ(f.kind, "faces");
    EXPECT_EQ(f.coords.size(), 12u);
    EXPECT_EQ(f.coord_index, (std::vector<std::int32_t>{0, 1, 2, 3, -1}));
    EXPECT_EQ(f.material_index, (std::vector<std::int32_t>{2}));
    EXPECT_EQ(f.normal_index, (std::vector<std::int32_t>{1}));
    EXPECT_EQ(f.normals, (std::vector<float>{0, 0, 1, 0, 0, -1}));
    EXPECT_EQ(f.normal_binding, binding::per_face_indexed);
    EXPECT_EQ(f.hints.ordering, vrml::vertex_ordering::counterclockwise);
    EXPECT_TRUE(f.hints.solid);
    EXPECT_TRUE(f.hints.convex);
    EXPECT_FLOAT_EQ(f.hints.crease_angle, 0.25f);
    const auto& l = r.calls()[1];
    EXPECT_EQ(l.kind, "lines");
    EXPECT_EQ(l.coord_index, (std::vector<std::int32_t>{0, 1, 2}));
    EXPECT_FALSE(l.hints.convex);
    EXPECT_FALSE(l.hints.solid);  // hints not given take their defaults
    EXPECT_EQ(l.hints.ordering, vrml::vertex_ordering::unknown);
    EXPECT_FLOAT_EQ(l.hints.crease_angle, 0.5f);
}

TEST(Traversal, PrimitivesGetTheirSizesAndParts) {
    const reading r = read_vrml(
        "Cube {} Cube { width 1 height 3 depth 4 } Sphere { radius 2 }\n"
        "Cone {} Cone { parts BOTTOM bottomRadius 2 height 5 }\n"
        "Cylinder {} Cylinder { parts ( SIDES | TOP ) radius 3 height 1 }\n"
        "Coordinate3 { point [ 0 0 0, 1 1 1, 2 2 2 ] } PointSet { startIndex 1 numPoints 2 } PointSet {}\n");
    ASSERT_EQ(r.calls().size(), 9u);
    EXPECT_EQ(r.calls()[0].sizes, (std::vector<float>{2, 2, 2}));
    EXPECT_EQ(r.calls()[1].sizes, (std::vector<float>{1, 3, 4}));
    EXPECT_EQ(r.calls()[2].sizes, (std::vector<float>{2}));
    EXPECT_EQ(r.calls()[3].sizes, (std::vector<float>{1, 2}));
    EXPECT_EQ(r.calls()[3].parts, vrml::parts::sides | vrml::parts::bottom);
    EXPECT_EQ(r.calls()[4].parts, vrml::parts::bottom);
    EXPECT_EQ(r.calls()[4].sizes, (std::vector<float>{2, 5}));
    EXPECT_EQ(r.calls()[5].parts, vrml::parts::all);
    EXPECT_EQ(r.calls()[6].parts, vrml::parts::sides | vrml::parts::top);
    EXPECT_EQ(r.calls()[6].sizes, (std::vector<float>{3, 1}));
    EXPECT_EQ(r.calls()[7].sizes, (std::vector<float>{1, 2}));
    EXPECT_EQ(r.calls()[8].sizes, (std::vector<float>{0, -1}));
}

struct choice_case {
    const char* name;
    std::string body;
    std::vector<std::string> kinds;  // the shapes drawn, in order
};

class Choices : public ::testing::TestWithParam<choice_case> {};

TEST_P(Choices, DrawTheChosenChildren) {
    const reading r = read_vrml(GetParam().body);
    std::vector<std::string> kinds;
    for (const auto& c : r.calls()) kinds.push_back(c.kind);
    EXPECT_EQ(kinds, GetParam().kinds);
}

INSTANTIATE_TEST_SUITE_P(
    Vrml1, Choices,
    ::testing::Values(
        choice_case{"SwitchNone", "Switch { Cube {} Sphere {} }", {}},
        choice_case{"SwitchOne", "Switch { whichChild 1 Cube {} Sphere {} Cone {} }", {"sphere"}},
        choice_case{"SwitchAll", "Switch { whichChild -3 Cube {} Sphere {} }", {"cube", "sphere"}},
        choice_case{"SwitchBeyondChildren", "Switch { whichChild 7 Cube {} }", {}},
        choice_case{"LodFirstChild", "LOD { range [ 10 ] Cube {} Sphere {} }", {"cube"}},
        choice_case{"UseDrawsAgain", "DEF S Separator { Cube {} Sphere {} } USE S", {"cube", "sphere", "cube", "sphere"}},
        choice_case{"UseBeforeDefIgnored", "USE S DEF S Sphere {}", {"sphere"}},
        choice_case{"DefNotVisibleInsideItself", "DEF S Separator { Cube {} USE S }", {"cube"}},
        choice_case{"DefRedefinedTakesTheLatest", "DEF S Cube {} DEF S Sphere {} USE S", {"cube", "sphere", "sphere"}},
        choice_case{"InfoAndCamerasDrawNothing",
                    "Info { string \"x\" } PerspectiveCamera { position 0 0 5 } PointLight {} Texture2 { filename \"t.png\" } Cone {}",
                    {"cone"}},
        choice_case{"ExtensionGroupByIsA",
                    "Wrapper { fields [ MFString isA ] isA [ \"Separator\" ] Translation { translation 1 0 0 } Cube {} }",
                    {"cube"}},
        choice_case{"InventorVertexProperty",
                    "IndexedFaceSet { vertexProperty VertexProperty { vertex [ 0 0 0, 1 0 0, 0 1 0 ] } coordIndex [ 0 1 2 -1 ] }",
                    {"faces"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Traversal, UseBeforeDefIsWarnedWithItsName) {
    const reading r = read_vrml("USE Missing");
    EXPECT_TRUE(r.warned("USE of \"Missing\""));
}

TEST(Traversal, InventorVertexPropertyGivesTheCoordinates) {
    const reading r = read_vrml(
        "Coordinate3 { point [ 5 5 5 ] }\n"
        "IndexedFaceSet { vertexProperty VertexProperty { vertex [ 0 0 0, 1 0 0, 0 1 0 ] } coordIndex [ 0 1 2 -1 ] }\n");
    ASSERT_EQ(r.calls().size(), 1u);
    EXPECT_EQ(r.calls()[0].coords, (std::vector<float>{0, 0, 0, 1, 0, 0, 0, 1, 0}));
}

TEST(Traversal, ExponentialInstancingStops) {
    // Each level uses the previous one twice: 2^40 cubes if walked out.
    std::string text = "#VRML V1.0 ascii\nDEF L0 Cube {}\n";
    for (int i = 1; i <= 40; ++i)
        text += "DEF L" + std::to_string(i) + " Group { USE L" + std::to_string(i - 1) + " USE L" + std::to_string(i - 1) + " }\n";
    vrml::document doc;
    vrml::warning_list warnings;
    vrml::parse_vrml1(text.data(), text.data() + text.size(), doc, warnings);
    recording_sink sink;
    vrml::traversal_limits limits;
    limits.nodes = 10000;
    vrml::traverse_vrml1(doc, sink, warnings, nullptr, limits);
    EXPECT_GT(sink.calls.size(), 1000u);
    EXPECT_LT(sink.calls.size(), 10000u);
    ASSERT_EQ(warnings.count(), 1);
    EXPECT_NE(warnings.texts()[0].find("instances its parts too often"), std::string::npos);
}

}  // namespace
}  // namespace tessel::test
