// Textures by their pixels, drawn off screen as snapshots draw them: a
// red/white checker lands where its coordinates put it, repeats or clamps
// beyond 1, moves with a texture transform, modulates or replaces the
// material's colour, and a shape whose image is missing is drawn plain.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "snapshot/snapshot.h"
#include "open/open.h"

namespace tessel {
namespace {

constexpr int size = 200;

struct picture {
    std::vector<std::uint8_t> rgb;  // rows from the top
    // The pixel at fraction (fx, fy) of the unit quad the scenes draw,
    // fy from the quad's bottom.
    std::array<int, 3> at(float fx, float fy) const {
        // The quad's bounding sphere (radius sqrt 0.5) fills 90% of the half size.
        const float half = size / 2.0f, scale = half * 0.9f / 0.70710678f;
        const int col = static_cast<int>(half + (fx - 0.5f) * scale);
        const int row = static_cast<int>(half - (fy - 0.5f) * scale);
        const std::size_t i = (static_cast<std::size_t>(row) * size + static_cast<std::size_t>(col)) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

class scratch {
public:
    scratch() {
        char pattern[] = "/tmp/tessel-texture-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~scratch() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(path_ + "/" + name, std::ios::binary) << text;
        return path_ + "/" + name;
    }

private:
    std::string path_;
};

// A unit quad in the xy plane facing the headlight, after `before`.
picture draw_quad(const std::string& before, const std::string& quad_fields = "", load_result* result = nullptr) {
    scratch dir;
    const std::string path = dir.write("scene.wrl", "#VRML V1.0 ascii\n" + before +
                                                        "\nCoordinate3 { point [0 0 0, 1 0 0, 1 1 0, 0 1 0] }\n"
                                                        "IndexedFaceSet { coordIndex [0, 1, 2, 3] " +
                                                        quad_fields + " }\n");
    scene_store scene;
    const load_result loaded = open_scene_file(path, scene, reading_mode::standard);
    EXPECT_TRUE(loaded.ok) << loaded.error;
    if (result) *result = loaded;
    picture p;
    std::string error;
    EXPECT_TRUE(render_offscreen(size, size, scene, view_transform{}, render_settings{}, p.rgb, error)) << error;
    if (p.rgb.size() != std::size_t{size} * size * 3) p.rgb.assign(std::size_t{size} * size * 3, 0);
    return p;
}

bool red(const std::array<int, 3>& p) { return p[0] > 200 && p[1] < 40 && p[2] < 40; }
bool white(const std::array<int, 3>& p) { return p[0] > 200 && p[1] > 200 && p[2] > 200; }

std::string describe(const std::array<int, 3>& p) {
    return "(" + std::to_string(p[0]) + ", " + std::to_string(p[1]) + ", " + std::to_string(p[2]) + ")";
}

// Lower-left and upper-right red, the others white.
const std::string checker = "Texture2 { image 2 2 3 0xFF0000 0xFFFFFF 0xFFFFFF 0xFF0000 ";

TEST(TexturePixels, CheckerLandsWhereTheDefaultCoordinatesPutIt) {
    const picture p = draw_quad(checker + "}");
    EXPECT_TRUE(red(p.at(0.25f, 0.25f))) << describe(p.at(0.25f, 0.25f));
    EXPECT_TRUE(white(p.at(0.75f, 0.25f))) << describe(p.at(0.75f, 0.25f));
    EXPECT_TRUE(white(p.at(0.25f, 0.75f))) << describe(p.at(0.25f, 0.75f));
    EXPECT_TRUE(red(p.at(0.75f, 0.75f))) << describe(p.at(0.75f, 0.75f));
}

struct wrap_case {
    const char* name;
    const char* wrap;
    bool beyond_s_red;  // at s = 1.25, t = 0.25
    bool beyond_t_red;  // at s = 0.25, t = 1.25
};

class TextureWraps : public ::testing::TestWithParam<wrap_case> {};

TEST_P(TextureWraps, CoordinatesBeyondOneRepeatOrClamp) {
    // Coordinates 0..2 across the quad: the image fits four times when it
    // repeats; clamped, the edge texels stretch over the rest.
    const picture p = draw_quad(checker + GetParam().wrap + " }\nTextureCoordinate2 { point [0 0, 2 0, 2 2, 0 2] }");
    const auto inside = p.at(0.125f, 0.125f), beyond_s = p.at(0.625f, 0.125f), beyond_t = p.at(0.125f, 0.625f);
    EXPECT_TRUE(red(inside)) << describe(inside);
    EXPECT_TRUE(white(p.at(0.375f, 0.125f))) << describe(p.at(0.375f, 0.125f));
    EXPECT_TRUE(GetParam().beyond_s_red ? red(beyond_s) : white(beyond_s)) << describe(beyond_s);
    EXPECT_TRUE(GetParam().beyond_t_red ? red(beyond_t) : white(beyond_t)) << describe(beyond_t);
}

INSTANTIATE_TEST_SUITE_P(Textures, TextureWraps,
                         ::testing::Values(wrap_case{"Repeat", "", true, true},
                                           wrap_case{"Clamp", "wrapS CLAMP wrapT CLAMP", false, false},
                                           wrap_case{"ClampSOnly", "wrapS CLAMP", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TexturePixels, TransformMovesTheImage) {
    // Half an image to the left: s' = s + 0.5, so the lower left shows white.
    const picture p = draw_quad(checker + "}\nTexture2Transform { translation 0.5 0 }");
    EXPECT_TRUE(white(p.at(0.25f, 0.25f))) << describe(p.at(0.25f, 0.25f));
    EXPECT_TRUE(red(p.at(0.75f, 0.25f))) << describe(p.at(0.75f, 0.25f));
}

TEST(TexturePixels, GreyImagesModulateTheMaterialAndColourImagesReplaceIt) {
    const std::string blue = "Material { diffuseColor 0 0 1 }\n";
    const picture grey = draw_quad(blue + "Texture2 { image 1 1 1 0x80 }");
    const picture plain = draw_quad(blue);
    const picture colour = draw_quad(blue + "Texture2 { image 1 1 3 0x00FF00 }");
    const auto g = grey.at(0.5f, 0.5f), b = plain.at(0.5f, 0.5f), c = colour.at(0.5f, 0.5f);
    EXPECT_NEAR(g[2], b[2] / 2, 12) << describe(g) << " against " << describe(b);
    EXPECT_LT(g[0] + g[1], 20) << describe(g);
    EXPECT_GT(c[1], 200) << describe(c);
    EXPECT_LT(c[2], 40) << describe(c);
}

TEST(TexturePixels, MissingImageLeavesTheShapeInItsMaterial) {
    load_result result;
    const picture p = draw_quad("Material { diffuseColor 1 0 0 }\nTexture2 { filename \"nowhere.png\" }", "", &result);
    EXPECT_TRUE(red(p.at(0.25f, 0.75f))) << describe(p.at(0.25f, 0.75f));
    EXPECT_TRUE(red(p.at(0.75f, 0.25f))) << describe(p.at(0.75f, 0.25f));
    ASSERT_EQ(result.warnings.size(), 1u);
    EXPECT_NE(result.warnings[0].find("scene.wrl:3:1: texture image"), std::string::npos) << result.warnings[0];
}

}  // namespace
}  // namespace tessel
