// The VRML97 traversal: small VRML97 texts parsed and walked into a
// recording sink (or the real back end), checking what each shape gets.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>

#include "recording_sink.h"
#include "tests/support/test_env.h"
#include "formats/vrml1/parse1.h"
#include "formats/vrml97/parse2.h"
#include "formats/vrml97/traverse2.h"

namespace tessel::test {
namespace {

using vrml::binding;

// A parsed VRML97 text and what its traversal handed the sink.
struct walked {
    vrml::document doc;
    recording_sink sink;
    vrml::warning_list warnings;
    const std::vector<recorded_call>& calls() const { return sink.calls; }
    bool warned(const std::string& part) const {
        for (const std::string& w : warnings.texts())
            if (w.find(part) != std::string::npos) return true;
        return false;
    }
};

void parse(const std::string& body, vrml::document& doc, vrml::warning_list& warnings) {
    const std::string text = "#VRML V2.0 utf8\n" + body;
    vrml::parse_vrml2(text.data(), text.data() + text.size(), doc, warnings);
}

std::unique_ptr<walked> walk(const std::string& body, vrml::inline_source* inlines = nullptr,
                             const vrml::traversal_limits& limits = {}, const std::string& file = "/scenes/w.wrl") {
    auto w = std::make_unique<walked>();
    w->doc.file = file;
    w->warnings.set_file(file);
    parse(body, w->doc, w->warnings);
    vrml::traverse_vrml2(w->doc, w->sink, w->warnings, inlines, limits);
    return w;
}

void expect_near3(const std::vector<float>& got, std::vector<float> want, const std::string& what) {
    ASSERT_EQ(got.size(), 3u) << what;
    for (std::size_t i = 0; i < 3; ++i) EXPECT_NEAR(got[i], want[i], 1e-4) << what << " component " << i;
}

std::vector<float> three(const float* v) { return {v[0], v[1], v[2]}; }

// Files an Inline may name, parsed in advance; the same name gives the same
// document, as the real source does.
class fake_inlines final : public vrml::inline_source {
public:
    void add(const std::string& name, const std::string& body, bool vrml2 = true) {
        auto doc = std::make_unique<vrml::document>();
        doc->file = name;
        vrml::warning_list w;
        if (vrml2) {
            parse(body, *doc, w);
        } else {
            const std::string text = "#VRML V1.0 ascii\n" + body;
            vrml::parse_vrml1(text.data(), text.data() + text.size(), *doc, w);
        }
        files_[name] = std::move(doc);
    }
    const vrml::document* open(const vrml::document&, const std::string& name, vrml::source_position) override {
        const auto found = files_.find(name);
        return found == files_.end() ? nullptr : found->second.get();
    }

private:
    std::map<std::string, std::unique_ptr<vrml::document>> files_;
};

const std::string box = "Shape { geometry Box { } }";

struct transform_case {
    const char* name;
    std::string body;                 // its last shape is checked
    std::vector<float> point, world;  // object point and where it must land
};

class Vrml2Transforms : public ::testing::TestWithParam<transform_case> {};

TEST_P(Vrml2Transforms, LastShapeLandsWhereExpected) {
    const auto w = walk(GetParam().body);
    ASSERT_FALSE(w->calls().empty());
    const auto& p = GetParam().point;
    expect_near3(w->calls().back().world(p[0], p[1], p[2]), GetParam().world, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Vrml2, Vrml2Transforms,
    ::testing::Values(
        transform_case{"Translation", "Transform { translation 1 2 3 children " + box + " }", {0, 0, 0}, {1, 2, 3}},
        transform_case{"Rotation", "Transform { rotation 0 0 2 1.5707963 children " + box + " }", {1, 0, 0}, {0, 1, 0}},
        transform_case{"ScaleAboutCentreThenTurnThenMove",
                       "Transform { translation 10 0 0 rotation 0 0 1 1.5707963 scale 2 1 1 center 1 0 0 children " +
                           box + " }",
                       {2, 0, 0}, {11, 2, 0}},
        transform_case{"ScaleOrientation",
                       "Transform { scale 2 1 1 scaleOrientation 0 0 1 1.5707963 children " + box + " }", {0, 1, 0},
                       {0, 2, 0}},
        transform_case{"NestedAccumulate",
                       "Transform { translation 1 0 0 children Transform { scale 2 2 2 children " + box + " } }",
                       {1, 1, 1}, {3, 2, 2}},
        transform_case{"SiblingTransformDoesNotLeak",
                       "Group { children [ Transform { translation 5 0 0 children " + box + " } " + box + " ] }",
                       {0, 0, 0}, {0, 0, 0}},
        transform_case{"GroupingNodesPassTheMatrixOn",
                       "Transform { translation 1 0 0 children [ Billboard { children Collision { children Anchor { "
                       "children " + box + " } } } ] }",
                       {0, 0, 0}, {1, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

struct choice_case {
    const char* name;
    std::string body;
    std::vector<float> radii;  // of the spheres drawn, in order
    const char* warning;       // part of the expected warning, or null
};

class Vrml2Choices : public ::testing::TestWithParam<choice_case> {};

TEST_P(Vrml2Choices, DrawOnlyTheChosenChild) {
    const auto w = walk(GetParam().body);
    std::vector<float> radii;
    for (const auto& c : w->calls()) radii.push_back(c.sizes.at(0));
    EXPECT_EQ(radii, GetParam().radii);
    if (GetParam().warning) EXPECT_TRUE(w->warned(GetParam().warning));
    else EXPECT_EQ(w->warnings.count(), 0) << w->warnings.texts().at(0);
}

const std::string three_spheres =
    "[ Shape { geometry Sphere { radius 1 } } Shape { geometry Sphere { radius 2 } } "
    "Shape { geometry Sphere { radius 3 } } ]";

INSTANTIATE_TEST_SUITE_P(
    Vrml2, Vrml2Choices,
    ::testing::Values(choice_case{"SwitchChoice", "Switch { whichChoice 1 choice " + three_spheres + " }", {2}, nullptr},
                      choice_case{"SwitchNone", "Switch { choice " + three_spheres + " }", {}, nullptr},
                      choice_case{"SwitchOutOfRange", "Switch { whichChoice 3 choice " + three_spheres + " }", {},
                                  "names no choice"},
                      choice_case{"LodFinestLevel", "LOD { range [ 10 20 ] level " + three_spheres + " }", {1}, nullptr},
                      choice_case{"ShapeUsedTwice",
                                  "DEF S Shape { geometry Sphere { radius 4 } } Transform { translation 1 0 0 "
                                  "children USE S }",
                                  {4, 4}, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Traversal2, SharedShapeIsDrawnUnderEachTransform) {
    const auto w = walk("Transform { translation 1 0 0 children DEF S " + box + " }\n"
                        "Transform { translation 0 2 0 children USE S }");
    ASSERT_EQ(w->calls().size(), 2u);
    expect_near3(w->calls()[0].world(0, 0, 0), {1, 0, 0}, "first");
    expect_near3(w->calls()[1].world(0, 0, 0), {0, 2, 0}, "second");
}

TEST(Traversal2, MaterialGivesOneEntryAndNoMaterialDrawsUnlitWhite) {
    const auto w = walk(
        "Shape { appearance Appearance { material Material { diffuseColor 2 -1 0.5 ambientIntensity 0.5 "
        "  specularColor 0 1 0 emissiveColor 0 0 1 shininess 0.7 transparency 0.25 } } geometry Box { } }\n"
        "Shape { appearance Appearance { material Material { } } geometry Box { } }\n"
        "Shape { appearance Appearance { } geometry Box { } }\n"
        "Shape { geometry Box { } }");
    ASSERT_EQ(w->calls().size(), 4u);
    const auto& given = w->calls()[0];
    EXPECT_FALSE(given.unlit);
    EXPECT_EQ(given.material.diffuse, (std::vector<float>{1, 0, 0.5f}));
    EXPECT_EQ(given.material.ambient, (std::vector<float>{0.5f, 0, 0.25f}));
    EXPECT_EQ(given.material.specular, (std::vector<float>{0, 1, 0}));
    EXPECT_EQ(given.material.emissive, (std::vector<float>{0, 0, 1}));
    EXPECT_EQ(given.material.shininess, (std::vector<float>{0.7f}));
    EXPECT_EQ(given.material.transparency, (std::vector<float>{0.25f}));
    const auto& defaults = w->calls()[1];
    EXPECT_FALSE(defaults.unlit);
    EXPECT_EQ(defaults.material.diffuse, (std::vector<float>{0.8f, 0.8f, 0.8f}));
    EXPECT_NEAR(defaults.material.ambient.at(0), 0.16f, 1e-6);
    EXPECT_EQ(defaults.material.shininess, (std::vector<float>{0.2f}));
    for (std::size_t i = 2; i < 4; ++i) {
        EXPECT_TRUE(w->calls()[i].unlit) << i;
        EXPECT_EQ(w->calls()[i].material.diffuse, (std::vector<float>{1, 1, 1})) << i;
    }
}

struct colour_case {
    const char* name;
    std::string fields;
    binding expected;
    std::vector<std::int32_t> index;
};

class Vrml2ColourBindings : public ::testing::TestWithParam<colour_case> {};

TEST_P(Vrml2ColourBindings, ColorNodeMapsOntoMaterialBinding) {
    const auto w = walk("Shape { appearance Appearance { material Material { } } geometry IndexedFaceSet {\n"
                        "  coord Coordinate { point [ 0 0 0, 1 0 0, 1 1 0, 0 1 0 ] } coordIndex [ 0 1 2 -1 0 2 3 -1 ]\n"
                        "  color Color { color [ 1 0 0, 0 1 0, 0 0 1, 1 1 0 ] } " +
                        GetParam().fields + " } }");
    ASSERT_EQ(w->calls().size(), 1u);
    const auto& c = w->calls()[0];
    EXPECT_EQ(c.material_binding, GetParam().expected);
    EXPECT_EQ(c.material_index, GetParam().index);
    EXPECT_EQ(c.material.diffuse, (std::vector<float>{1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 0}));
    EXPECT_EQ(c.material.shininess.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Vrml2, Vrml2ColourBindings,
    ::testing::Values(colour_case{"PerVertexByCoordIndex", "", binding::per_vertex_indexed, {}},
                      colour_case{"PerVertexIndexed", "colorIndex [ 3 2 1 -1 0 1 2 -1 ]", binding::per_vertex_indexed,
                                  {3, 2, 1, -1, 0, 1, 2, -1}},
                      colour_case{"PerFace", "colorPerVertex FALSE", binding::per_face, {}},
                      colour_case{"PerFaceIndexed", "colorPerVertex FALSE colorIndex [ 2 0 ]",
                                  binding::per_face_indexed, {2, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Traversal2, FaceSetHintsNormalsAndTextureCoordinates) {
    const auto w = walk(
        "Shape { geometry IndexedFaceSet { coord Coordinate { point [ 0 0 0, 1 0 0, 1 1 0 ] } coordIndex [ 0 1 2 ] } }\n"
        "Shape { geometry IndexedFaceSet { coord Coordinate { point [ 0 0 0, 1 0 0, 1 1 0 ] } coordIndex [ 0 1 2 ]\n"
        "  ccw FALSE solid FALSE convex FALSE creaseAngle 0.5\n"
        "  normal Normal { vector [ 0 0 1 ] } normalPerVertex FALSE normalIndex [ 0 ]\n"
        "  texCoord TextureCoordinate { point [ 0 0, 1 0, 1 1 ] } texCoordIndex [ 2 1 0 ] } }\n"
        "Shape { geometry IndexedFaceSet { coordIndex [ 0 1 2 ] } }\n");
    ASSERT_EQ(w->calls().size(), 2u) << "a face set without coordinates draws nothing";
    const auto& plain = w->calls()[0];
    EXPECT_EQ(plain.hints.ordering, vrml::vertex_ordering::counterclockwise);
    EXPECT_TRUE(plain.hints.solid);
    EXPECT_TRUE(plain.hints.convex);
    EXPECT_EQ(plain.hints.crease_angle, 0);
    EXPECT_TRUE(plain.normals.empty());
    EXPECT_EQ(plain.material_binding, binding::overall);
    const auto& given = w->calls()[1];
    EXPECT_EQ(given.hints.ordering, vrml::vertex_ordering::clockwise);
    EXPECT_FALSE(given.hints.solid);
    EXPECT_FALSE(given.hints.convex);
    EXPECT_FLOAT_EQ(given.hints.crease_angle, 0.5f);
    EXPECT_EQ(given.normals, (std::vector<float>{0, 0, 1}));
    EXPECT_EQ(given.normal_binding, binding::per_face_indexed);
    EXPECT_EQ(given.normal_index, (std::vector<std::int32_t>{0}));
    EXPECT_EQ(given.texture_coords, (std::vector<float>{0, 0, 1, 0, 1, 1}));
    EXPECT_EQ(given.texture_coord_index, (std::vector<std::int32_t>{2, 1, 0}));
}

TEST(Traversal2, LinesPointsAndPrimitives) {
    const auto w = walk(
        "Shape { geometry IndexedLineSet { coord Coordinate { point [ 0 0 0, 1 0 0 ] } coordIndex [ 0 1 ]\n"
        "  color Color { color [ 1 0 0, 0 1 0 ] } colorPerVertex FALSE } }\n"
        "Shape { geometry PointSet { coord Coordinate { point [ 0 0 0, 1 0 0 ] } color Color { color [ 1 0 0, 0 1 0 ] } } }\n"
        "Shape { geometry Box { size 1 2 3 } }\n"
        "Shape { geometry Cone { bottomRadius 2 height 3 bottom FALSE } }\n"
        "Shape { geometry Cylinder { radius 4 height 5 top FALSE } }\n"
        // What the picture lacks is said once per type; what acts only in time is not.
        "Sound { } Sound { } TimeSensor { } Shape { appearance Appearance { texture MovieTexture { } } geometry Box { } }\n");
    ASSERT_EQ(w->calls().size(), 6u);
    EXPECT_EQ(w->warnings.count(), 2) << (w->warnings.texts().empty() ? "" : w->warnings.texts()[0]);
    EXPECT_TRUE(w->warned("Sound is not played"));
    EXPECT_TRUE(w->warned("MovieTexture is not played"));
    EXPECT_EQ(w->calls()[0].kind, "lines");
    EXPECT_EQ(w->calls()[0].material_binding, binding::per_face);
    EXPECT_EQ(w->calls()[1].kind, "points");
    EXPECT_EQ(w->calls()[1].material_binding, binding::per_vertex);
    EXPECT_EQ(w->calls()[1].material.diffuse.size(), 6u);
    EXPECT_EQ(w->calls()[2].sizes, (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(w->calls()[3].sizes, (std::vector<float>{2, 3}));
    EXPECT_EQ(w->calls()[3].parts, vrml::parts::sides);
    EXPECT_EQ(w->calls()[4].sizes, (std::vector<float>{4, 5}));
    EXPECT_EQ(w->calls()[4].parts, vrml::parts::sides | vrml::parts::bottom);
}

std::size_t faces_in(const std::vector<std::int32_t>& index) {
    return static_cast<std::size_t>(std::count(index.begin(), index.end(), -1));
}

TEST(Traversal2, ElevationGridsAndExtrusionsBecomeFaceSets) {
    const auto w = walk(
        "Shape { geometry ElevationGrid { xDimension 3 zDimension 2 xSpacing 2 height [ 0 1 2 3 4 5 ]\n"
        "  color Color { color [ 1 0 0, 0 1 0 ] } colorPerVertex FALSE ccw FALSE creaseAngle 1 } }\n"
        "Shape { geometry ElevationGrid { xDimension 2 zDimension 2 height [ 0 0 0 0 ]\n"
        "  color Color { color [ 1 0 0, 0 1 0, 0 0 1, 1 1 1 ] }\n"
        "  texCoord TextureCoordinate { point [ 0 0, 1 0, 0 1, 1 1 ] } } }\n"
        "Shape { geometry ElevationGrid { xDimension 2 zDimension 2 height [ 7 ] } }\n"
        "Shape { geometry Extrusion { } }\n"
        "Shape { geometry Extrusion { beginCap FALSE endCap FALSE solid FALSE } }\n"
        "Shape { geometry ElevationGrid { } }\n");
    ASSERT_EQ(w->calls().size(), 5u) << "an empty grid draws nothing";
    const auto& cells = w->calls()[0];
    EXPECT_EQ(cells.kind, "faces");
    EXPECT_EQ(faces_in(cells.coord_index), 2u);
    EXPECT_EQ(cells.material_binding, binding::per_face);
    EXPECT_EQ(cells.hints.ordering, vrml::vertex_ordering::clockwise);
    EXPECT_FLOAT_EQ(cells.hints.crease_angle, 1);
    ASSERT_EQ(cells.coords.size(), 18u);
    expect_near3({cells.coords.begin() + 15, cells.coords.end()}, {4, 5, 1}, "last grid point");
    EXPECT_FALSE(cells.texture_coords.empty()) << "the grid's own texture coordinates";
    EXPECT_EQ(cells.texture_coord_index.size(), cells.coord_index.size());
    const auto& vertices = w->calls()[1];
    EXPECT_EQ(vertices.material_binding, binding::per_vertex_indexed);
    EXPECT_TRUE(vertices.material_index.empty()) << "colours follow the points";
    EXPECT_EQ(vertices.texture_coords, (std::vector<float>{0, 0, 1, 0, 0, 1, 1, 1}));
    EXPECT_TRUE(vertices.texture_coord_index.empty());
    EXPECT_TRUE(w->warned("ElevationGrid: ")) << "too few heights: drawn with a warning";
    const auto& capped = w->calls()[3];
    const auto& open = w->calls()[4];
    EXPECT_TRUE(capped.hints.solid);
    EXPECT_FALSE(open.hints.solid);
    EXPECT_EQ(faces_in(capped.coord_index), faces_in(open.coord_index) + 2);
}

TEST(Traversal2, DirectionalLightsLightTheirGroupPointLightsEverything) {
    // Shapes are told apart by their sphere radius.
    const auto w = walk(
        "Shape { geometry Sphere { radius 1 } }\n"
        "Group { children [\n"
        "  Shape { geometry Sphere { radius 2 } }\n"
        "  DirectionalLight { direction 1 0 0 }\n"
        "  Transform { children Shape { geometry Sphere { radius 3 } } }\n"
        "] }\n"
        "Transform { translation 0 5 0 children PointLight { location 1 0 0 } }\n"
        "DirectionalLight { on FALSE }\n");
    ASSERT_EQ(w->sink.lights.size(), 2u);
    // The point light is found before any shape, so it is light 0.
    EXPECT_EQ(w->sink.lights[0].kind, light_kind::point);
    expect_near3(three(w->sink.lights[0].location), {1, 5, 0}, "point light");
    EXPECT_EQ(w->sink.lights[1].kind, light_kind::directional);
    ASSERT_EQ(w->calls().size(), 3u);
    EXPECT_EQ(w->calls()[0].lights, (std::vector<std::int32_t>{0}));
    EXPECT_EQ(w->calls()[1].lights, (std::vector<std::int32_t>{0, 1})) << "a light lights the shapes before it";
    EXPECT_EQ(w->calls()[2].lights, (std::vector<std::int32_t>{0, 1}));
}

TEST(Traversal2, LightsBeyondSevenAreWarnedAbout) {
    std::string body;
    for (int i = 0; i < 9; ++i) body += "PointLight { } ";
    const auto w = walk(body + box);
    EXPECT_EQ(w->sink.lights.size(), 7u);
    ASSERT_EQ(w->calls().size(), 1u);
    EXPECT_EQ(w->calls()[0].lights.size(), 7u);
    EXPECT_TRUE(w->warned("more than 7 lights"));
}

TEST(Traversal2, SpotLightFieldsAndDefaults) {
    const auto w = walk("SpotLight { cutOffAngle 0.5 beamWidth 0.2 direction 0 -1 0 intensity 0.5 color 1 0 0 }\n"
                        "SpotLight { cutOffAngle 0.5 }" + box);
    ASSERT_EQ(w->sink.lights.size(), 2u);
    const scene_light& narrow = w->sink.lights[0];
    EXPECT_EQ(narrow.kind, light_kind::spot);
    EXPECT_FLOAT_EQ(narrow.cut_off_angle, 0.5f);
    EXPECT_GT(narrow.drop_off_rate, 0) << "a beam narrower than the cone fades towards its edge";
    expect_near3(three(narrow.direction), {0, -1, 0}, "direction");
    expect_near3(three(narrow.location), {0, 0, 0}, "location");
    EXPECT_FLOAT_EQ(narrow.intensity, 0.5f);
    EXPECT_EQ(w->sink.lights[1].drop_off_rate, 0) << "the default beam is wider than the cone: even light";
}

TEST(Traversal2, FirstViewpointBackgroundAndNavigationInfoAreBound) {
    const auto w = walk(
        "Transform { translation 0 0 5 children Viewpoint { orientation 0 1 0 1.5707963 fieldOfView 0.5 } }\n"
        "Viewpoint { position 9 9 9 }\n"
        "Background { skyColor [ 0.1 0.2 0.3, 1 1 1, 0 0 0 ] skyAngle [ 1, 2.1415927 ] } Background { skyColor 1 0 0 }\n"
        "NavigationInfo { headlight FALSE } NavigationInfo { }\n");
    ASSERT_EQ(w->sink.cameras.size(), 1u);
    const scene_camera& c = w->sink.cameras[0];
    expect_near3(three(c.position), {0, 0, 15}, "position");
    expect_near3(three(c.direction), {-1, 0, 0}, "direction");
    EXPECT_FLOAT_EQ(c.height_angle, 0.5f);
    EXPECT_EQ(c.focal_distance, 0) << "left to the framing";
    ASSERT_EQ(w->sink.backgrounds.size(), 1u);
    // A level view sees the sky at the horizon: halfway from white to black.
    expect_near3(w->sink.backgrounds[0], {0.5f, 0.5f, 0.5f}, "sky");
    EXPECT_EQ(w->sink.headlights, (std::vector<bool>{false}));
}

TEST(Traversal2, TexturesAndTheirTransform) {
    const auto w = walk(
        "Shape { appearance Appearance { texture ImageTexture { url [ \"http://x/a.png\" \"img/b.png\" ] repeatS FALSE }\n"
        "  textureTransform TextureTransform { translation 0.5 0 scale 2 2 center 1 0 rotation 1.5707963 } }\n"
        "  geometry Box { } }\n"
        "Shape { appearance Appearance { texture PixelTexture { image 1 1 3 0xff0000 } } geometry Box { } }\n"
        "Shape { appearance Appearance { texture PixelTexture { } } geometry Box { } }\n");
    ASSERT_EQ(w->calls().size(), 3u);
    const auto& file = w->calls()[0];
    ASSERT_TRUE(file.textured);
    EXPECT_EQ(file.texture.file, "/scenes/img/b.png");
    EXPECT_FALSE(file.texture.repeat_s);
    EXPECT_TRUE(file.texture.repeat_t);
    // Translation first: (0, 0) moved to (0.5, 0), by the centre to (1.5, 0),
    // turned to (0, 1.5), scaled to (0, 3), back by the centre to (-1, 3).
    const float* m = file.texture_transform.m;
    EXPECT_NEAR(m[4], -1, 1e-5);
    EXPECT_NEAR(m[5], 3, 1e-5);
    // s turns into t and doubles.
    EXPECT_NEAR(m[0], 0, 1e-5);
    EXPECT_NEAR(m[1], 2, 1e-5);
    EXPECT_TRUE(w->calls()[1].textured);
    EXPECT_TRUE(w->calls()[1].texture.file.empty());
    EXPECT_FALSE(w->calls()[2].textured) << "an empty image turns texturing off";
}

TEST(Traversal2, InlinesAreDrawnOnceAndNeverIntoThemselves) {
    fake_inlines files;
    files.add("part.wrl", "Viewpoint { position 7 7 7 } Shape { geometry Sphere { radius 2 } }\n"
                          "Inline { url \"loop.wrl\" }");
    files.add("loop.wrl", "Shape { geometry Sphere { radius 3 } } Inline { url \"loop.wrl\" }");
    files.add("old.wrl", "Cube { }", false);
    const auto w = walk("Transform { translation 1 0 0 children Inline { url [ \"http://x/y.wrl\" \"part.wrl\" ] } }\n"
                        "Inline { url \"old.wrl\" } Inline { url \"missing.wrl\" }",
                        &files);
    ASSERT_EQ(w->calls().size(), 2u);
    EXPECT_EQ(w->calls()[0].sizes, (std::vector<float>{2}));
    expect_near3(w->calls()[0].world(0, 0, 0), {1, 0, 0}, "inlined shape");
    EXPECT_EQ(w->calls()[1].sizes, (std::vector<float>{3}));
    EXPECT_TRUE(w->warned("already being read"));
    EXPECT_TRUE(w->warned("not a VRML97 file"));
    // Only the default viewpoint of a world without one.
    ASSERT_EQ(w->sink.cameras.size(), 1u);
    EXPECT_TRUE(w->sink.cameras[0].framed) << "an inlined file's viewpoint is not bound";
}

TEST(Traversal2, InlineDepthIsLimited) {
    fake_inlines files;
    for (int i = 0; i < 5; ++i)
        files.add("f" + std::to_string(i) + ".wrl",
                  "Shape { geometry Box { } } Inline { url \"f" + std::to_string(i + 1) + ".wrl\" }");
    vrml::traversal_limits limits;
    limits.inline_depth = 2;
    const auto w = walk("Inline { url \"f0.wrl\" }", &files, limits);
    EXPECT_EQ(w->calls().size(), 2u);
    EXPECT_TRUE(w->warned("more than 2 deep"));
}

TEST(Traversal2, MillionNestedTransformsNeitherCrashNorRecurse) {
    constexpr int depth = 1'000'000;
    std::string body;
    body.reserve(depth * 24);
    body += "Transform { translation 1 2 3 children ";
    for (int i = 1; i < depth; ++i) body += "Transform { children ";
    body += box;
    body.append(depth, '}');
    const auto w = walk(body);
    EXPECT_EQ(w->warnings.count(), 0);
    ASSERT_EQ(w->calls().size(), 1u);
    expect_near3(w->calls()[0].world(0, 0, 0), {1, 2, 3}, "deepest shape");
}

TEST(Traversal2, SelfMultiplyingSceneStopsAtTheNodeLimit) {
    // Each level names the one below twice: 2^30 shapes if walked in full.
    std::string body = "DEF L0 " + box;
    for (int i = 1; i <= 30; ++i)
        body = "DEF L" + std::to_string(i) + " Group { children [ " + body + " USE L" + std::to_string(i - 1) + " ] }";
    vrml::traversal_limits limits;
    limits.nodes = 10'000;
    const auto w = walk(body, nullptr, limits);
    EXPECT_LT(w->calls().size(), 10'000u);
    EXPECT_TRUE(w->warned("drawing stopped after 10000 nodes"));
    EXPECT_EQ(w->warnings.count(), 1);
}

TEST(Traversal2, TextIsLaidOutAndSqueezedToMaxExtent) {
    const auto w = walk(
        "Shape { geometry Text { string \"Wide words\" fontStyle FontStyle { size 2 justify \"MIDDLE\" } } }\n"
        "Shape { geometry Text { string \"Wide words\" maxExtent 1 fontStyle FontStyle { size 2 justify \"MIDDLE\" } } }");
    if (w->warned("Text not drawn")) TESSEL_CANNOT_RUN("no outline font on this machine");
    ASSERT_EQ(w->calls().size(), 2u);
    const auto extent = [](const recorded_call& c) {
        float low = c.coords.at(0), high = low;
        for (std::size_t i = 0; i < c.coords.size(); i += 3) {
            low = std::min(low, c.coords[i]);
            high = std::max(high, c.coords[i]);
        }
        return std::pair{low, high};
    };
    const auto [low, high] = extent(w->calls()[0]);
    EXPECT_GT(high - low, 5) << "ten letters of size 2";
    EXPECT_NEAR(low, -high, 0.2f * (high - low)) << "centred";
    EXPECT_FALSE(w->calls()[0].hints.solid);
    const auto [squeezed_low, squeezed_high] = extent(w->calls()[1]);
    EXPECT_NEAR(squeezed_high - squeezed_low, 1, 1e-3);
}

// The second justify value places the lines along y: FIRST the first
// baseline on 0, BEGIN the top of the first line, MIDDLE the block's
// middle, END the bottom of the last line.
TEST(Traversal2, TextLinesArePlacedByTheMinorJustification) {
    std::string body;
    for (const char* minor : {"FIRST", "BEGIN", "MIDDLE", "END"})
        body += std::string("Shape { geometry Text { string [ \"Ab\" \"cd\" ] fontStyle FontStyle { justify [ \"BEGIN\" \"") +
                minor + "\" ] } } }\n";
    const auto w = walk(body);
    if (w->warned("Text not drawn")) TESSEL_CANNOT_RUN("no outline font on this machine");
    ASSERT_EQ(w->calls().size(), 4u);
    float low[4], high[4];
    for (std::size_t t = 0; t < 4; ++t) {
        const std::vector<float>& c = w->calls()[t].coords;
        low[t] = high[t] = c.at(1);
        for (std::size_t i = 1; i < c.size(); i += 3) {
            low[t] = std::min(low[t], c[i]);
            high[t] = std::max(high[t], c[i]);
        }
    }
    EXPECT_GT(high[0], 0.5f) << "FIRST: the capital stands above the first baseline";
    EXPECT_NEAR(low[0], -1, 0.05f) << "FIRST: the second line's baseline one size lower";
    EXPECT_LE(high[1], 0.0f) << "BEGIN: all below the first line's top";
    EXPECT_GT(high[1], -0.3f);
    EXPECT_NEAR(low[2] + high[2], 0, 0.3f) << "MIDDLE: about y = 0";
    EXPECT_GE(low[3], 0.0f) << "END: all above the last line's bottom";
    EXPECT_LT(low[3], 0.3f);
}

// Through the real back end: shapes without a Material are stored unlit,
// and lines with only an emissive colour show it.
TEST(Traversal2, UnlitShapesReachTheStore) {
    vrml::document doc;
    doc.file = "u.wrl";
    vrml::warning_list warnings("u.wrl");
    parse("Shape { geometry Box { } }\n"
          "Shape { appearance Appearance { material Material { } } geometry Box { } }\n"
          "Shape { appearance Appearance { material Material { emissiveColor 0 1 0 } }\n"
          "  geometry IndexedLineSet { coord Coordinate { point [ 0 0 0, 1 0 0 ] } coordIndex [ 0 1 ] } }\n"
          // An image with alpha gives the transparency; one without leaves the material's.
          "Shape { appearance Appearance { material Material { transparency 1 }\n"
          "  texture PixelTexture { image 1 1 4 0xff0000ff } } geometry Box { } }\n"
          "Shape { appearance Appearance { material Material { transparency 0.5 }\n"
          "  texture PixelTexture { image 1 1 3 0xff0000 } } geometry Box { } }\n",
          doc, warnings);
    scene_store store;
    vrml::scene_builder builder(store, warnings);
    vrml::traverse_vrml2(doc, builder, warnings);
    builder.finish();
    ASSERT_EQ(store.shapes.size(), 5u);
    EXPECT_FALSE(store.shapes[0].lit);
    EXPECT_EQ(three(store.shapes[0].material.diffuse), (std::vector<float>{1, 1, 1}));
    EXPECT_TRUE(store.shapes[1].lit);
    EXPECT_EQ(three(store.shapes[2].material.diffuse), (std::vector<float>{0, 1, 0}));
    EXPECT_EQ(store.shapes[3].material.transparency, 0);
    EXPECT_EQ(store.shapes[4].material.transparency, 0.5f);
}

}  // namespace
}  // namespace tessel::test
