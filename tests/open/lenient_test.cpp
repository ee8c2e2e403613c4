// What real VRML97 worlds do that the standard does not allow, read as
// other readers read it, each with a warning: geometry standing where a
// Shape belongs, and VRML 1.0 models inlined into a VRML97 world.
#include <gtest/gtest.h>

#include <string>

#include "open/open.h"
#include "tests/support/test_env.h"

namespace tessel::test {
namespace {

struct lenient_case {
    const char* name;
    std::string world;          // after the first line
    std::string part;           // part.wrl, when the world inlines it
    std::size_t shapes;
    float first_point_x;        // of the first shape, in the world
    float diffuse_red;          // of the first shape
    const char* warning;
};

void PrintTo(const lenient_case& c, std::ostream* os) { *os << c.name; }

class Lenient : public ::testing::TestWithParam<lenient_case> {};

TEST_P(Lenient, DrawnWithAWarning) {
    const lenient_case& c = GetParam();
    scratch_dir dir;
    if (!c.part.empty()) dir.write("part.wrl", c.part);
    const std::string path = dir.write("world.wrl", "#VRML V2.0 utf8\n" + c.world);
    scene_store store;
    const load_result r = open_scene_file(path, store, reading_mode::standard);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(store.shapes.size(), c.shapes);
    EXPECT_NEAR(store.shapes[0].points[0], c.first_point_x, 1e-5);
    EXPECT_NEAR(store.shapes[0].material.diffuse[0], c.diffuse_red, 1e-5);
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_NE(r.warnings[0].find(c.warning), std::string::npos) << r.warnings[0];
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Lenient,
    ::testing::Values(
        // A default Material: lit, grey 0.8.
        lenient_case{"GeometryAmongChildren", "Transform { translation 5 0 0 children [ Box { size 2 2 2 } ] }", "",
                     1, 4, 0.8f, "Box stands among children without a Shape"},
        lenient_case{"GeometryAtTheTop", "IndexedFaceSet { coord Coordinate { point [1 0 0, 2 0 0, 1 1 0] } coordIndex [0 1 2] }",
                     "", 1, 1, 0.8f, "IndexedFaceSet stands among children"},
        // Placed by the Inline's Transform, in the VRML 1.0 file's own colours.
        lenient_case{"Vrml1ModelInlined", "Transform { translation 5 0 0 children Inline { url \"part.wrl\" } }",
                     "#VRML V1.0 ascii\nSeparator { Material { diffuseColor 1 0 0 } Translation { translation 0 1 0 }\n"
                     "Coordinate3 { point [0 0 0, 1 0 0, 0 1 0] } IndexedFaceSet { coordIndex [0, 1, 2, -1] } }\n",
                     1, 5, 1, "is a VRML 1.0 file, not VRML97; read as VRML 1.0"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessel::test
