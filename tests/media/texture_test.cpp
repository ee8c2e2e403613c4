// Textures in the standard reading: images decoded from every supported
// format and from inline fields, refused safely when damaged, decoded once
// per load, and the texture coordinates each shape gets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#include "recording_sink.h"
#include "media/image.h"
#include "open/open.h"

namespace tessel::test {
namespace {

const std::string textures = std::string(TESSEL_SOURCE_DIR) + "/tests/media/data/textures/";

std::array<int, 4> pixel(const texture_image& image, int x, int y) {
    const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) +
                           static_cast<std::size_t>(x)) * 4;
    return {image.rgba[i], image.rgba[i + 1], image.rgba[i + 2], image.rgba[i + 3]};
}

// ---- decoding

struct format_case {
    const char* name;
    const char* file;
    int components;
    int tolerance;  // JPEG is lossy
};

class ImageFormats : public ::testing::TestWithParam<format_case> {};

// The fixtures are 16 x 16 with a red lower-left and upper-right quarter and
// white elsewhere, so a flipped or mirrored image shows.
TEST_P(ImageFormats, CheckerDecodesBottomUp) {
    texture_image image;
    std::string error;
    ASSERT_TRUE(vrml::decode_image_file(textures + GetParam().file, image, error)) << error;
    EXPECT_EQ(image.width, 16);
    EXPECT_EQ(image.height, 16);
    EXPECT_EQ(image.components, GetParam().components);
    const int tol = GetParam().tolerance;
    const auto expect = [&](int x, int y, int r, int g, int b) {
        const auto p = pixel(image, x, y);
        EXPECT_NEAR(p[0], r, tol) << x << "," << y;
        EXPECT_NEAR(p[1], g, tol) << x << "," << y;
        EXPECT_NEAR(p[2], b, tol) << x << "," << y;
        EXPECT_EQ(p[3], 255);
    };
    expect(3, 3, 255, 0, 0);
    expect(12, 3, 255, 255, 255);
    expect(3, 12, 255, 255, 255);
    expect(12, 12, 255, 0, 0);
}

INSTANTIATE_TEST_SUITE_P(Textures, ImageFormats,
                         ::testing::Values(format_case{"Png", "checker.png", 3, 0},
                                           format_case{"Jpeg", "checker.jpg", 3, 24},
                                           format_case{"Gif", "checker.gif", 3, 0},
                                           format_case{"Bmp", "checker.bmp", 3, 0},
                                           format_case{"SgiRunLength", "checker.rgb", 3, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Textures, GreySgiImageHasOneComponent) {
    texture_image image;
    std::string error;
    ASSERT_TRUE(vrml::decode_image_file(textures + "grey.bw", image, error)) << error;
    EXPECT_EQ(image.components, 1);
    const auto white = pixel(image, 12, 3), red = pixel(image, 3, 3);
    EXPECT_EQ(white[0], 255);
    EXPECT_LT(red[0], 128);
    EXPECT_EQ(red[0], red[2]);
}

std::string read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Cut short, bytes overwritten, or a header that promises a huge image:
// every format fails with a message or decodes something of the size it
// says, never reads outside its input (run under the sanitizers too).
TEST(Textures, DamagedFilesNeverCrash) {
    scratch_folder dir;
    for (const char* name : {"checker.png", "checker.jpg", "checker.gif", "checker.bmp", "checker.rgb", "grey.bw"}) {
        const std::string good = read_bytes(textures + name);
        std::vector<std::string> bad;
        for (std::size_t cut : {good.size() / 2, std::size_t{12}, std::size_t{3}}) bad.push_back(good.substr(0, cut));
        for (std::size_t at : {std::size_t{6}, std::size_t{18}, std::size_t{22}, good.size() / 2}) {
            std::string s = good;
            for (std::size_t k = at; k < std::min(at + 4, s.size()); ++k) s[k] = '\xff';
            bad.push_back(s);
        }
        for (std::size_t i = 0; i < bad.size(); ++i) {
            const std::string path = dir.write("bad" + std::to_string(i), bad[i]);
            texture_image image;
            std::string error;
            if (vrml::decode_image_file(path, image, error)) {
                EXPECT_EQ(image.rgba.size(), static_cast<std::size_t>(image.width) * image.height * 4) << name << i;
            } else {
                EXPECT_FALSE(error.empty()) << name << i;
            }
        }
    }
}

// Inputs the fuzzer found, kept as fixtures.
TEST(Textures, FuzzFindingsAreRefusedWithAMessage) {
    for (const char* name : {"damaged-gif-unknown-error.gif"}) {
        texture_image image;
        std::string error;
        EXPECT_FALSE(vrml::decode_image_file(textures + name, image, error)) << name;
        EXPECT_FALSE(error.empty()) << name;
    }
}

TEST(Textures, ForgedHugeSizesAreRefusedBeforeAllocating) {
    std::string bmp = read_bytes(textures + "checker.bmp");
    bmp[18] = bmp[19] = bmp[20] = '\x7f';  // width near 2^31
    scratch_folder dir;
    texture_image image;
    std::string error;
    EXPECT_FALSE(vrml::decode_image_file(dir.write("huge.bmp", bmp), image, error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
    EXPECT_FALSE(vrml::decode_sf_image(std::vector<std::int32_t>{100000, 100000, 3}, image, error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
}

struct inline_case {
    int components;
    std::int32_t value;
    std::array<int, 4> rgba;
};

class InlineImages : public ::testing::TestWithParam<inline_case> {};

TEST_P(InlineImages, ComponentsArePackedHighByteFirst) {
    // 2 x 1: the given pixel, then zero.
    const std::vector<std::int32_t> numbers = {2, 1, GetParam().components, GetParam().value, 0};
    texture_image image;
    std::string error;
    ASSERT_TRUE(vrml::decode_sf_image(numbers, image, error)) << error;
    EXPECT_EQ(image.components, GetParam().components);
    EXPECT_EQ(image.source, "inline");
    EXPECT_EQ(pixel(image, 0, 0), GetParam().rgba);
}

INSTANTIATE_TEST_SUITE_P(Textures, InlineImages,
                         ::testing::Values(inline_case{1, 0x80, {0x80, 0x80, 0x80, 255}},
                                           inline_case{2, 0x80C0, {0x80, 0x80, 0x80, 0xC0}},
                                           inline_case{3, 0xFF8000, {0xFF, 0x80, 0x00, 255}},
                                           inline_case{4, static_cast<std::int32_t>(0xFF800040u), {0xFF, 0x80, 0x00, 0x40}}));

TEST(Textures, InlineImageWithTooFewPixelsOrComponentsIsRefused) {
    texture_image image;
    std::string error;
    EXPECT_FALSE(vrml::decode_sf_image(std::vector<std::int32_t>{2, 2, 3, 1, 2, 3}, image, error));
    EXPECT_FALSE(vrml::decode_sf_image(std::vector<std::int32_t>{1, 1, 5, 1}, image, error));
}

// ---- through a load

struct loaded {
    scene_store store;
    load_result result;
};

loaded load(const scratch_folder& dir, const std::string& body) {
    loaded l;
    const std::string path = dir.write("scene.wrl", "#VRML V1.0 ascii\n" + body);
    l.result = open_scene_file(path, l.store, reading_mode::standard);
    return l;
}

// The texture coordinate of the vertex at (x, y, z), or NaNs.
std::array<float, 2> coordinate_at(const shape_record& s, float x, float y, float z) {
    for (std::size_t i = 0; i < s.point_count(); ++i) {
        if (std::fabs(s.points[3 * (i) + 0] - x) < 1e-4f && std::fabs(s.points[3 * (i) + 1] - y) < 1e-4f &&
            std::fabs(s.points[3 * (i) + 2] - z) < 1e-4f) {
            return {s.texture_coords[2 * (i) + 0], s.texture_coords[2 * (i) + 1]};
        }
    }
    return {NAN, NAN};
}

void expect_coordinate(const shape_record& s, std::array<float, 3> at, std::array<float, 2> want) {
    const auto got = coordinate_at(s, at[0], at[1], at[2]);
    EXPECT_NEAR(got[0], want[0], 1e-5) << at[0] << "," << at[1] << "," << at[2];
    EXPECT_NEAR(got[1], want[1], 1e-5) << at[0] << "," << at[1] << "," << at[2];
}

const std::string checker_node = "Texture2 { image 2 2 3 0xFF0000 0xFFFFFF 0xFFFFFF 0xFF0000 }\n";

TEST(Textures, FaceSetDefaultCoordinatesFollowItsBoundingBox) {
    // 4 wide (x: s), 2 high along z (t), flat in y: t runs to 2 / 4.
    scratch_folder dir;
    const loaded l = load(dir, checker_node + "Coordinate3 { point [1 5 0, 5 5 0, 5 5 2, 1 5 2] }\n"
                                              "IndexedFaceSet { coordIndex [0, 1, 2, 3] }");
    ASSERT_TRUE(l.result.ok) << l.result.error;
    ASSERT_EQ(l.store.shapes.size(), 1u);
    const shape_record& s = l.store.shapes[0];
    EXPECT_EQ(s.texture, 0);
    expect_coordinate(s, {1, 5, 0}, {0, 0});
    expect_coordinate(s, {5, 5, 0}, {1, 0});
    expect_coordinate(s, {5, 5, 2}, {1, 0.5f});
    expect_coordinate(s, {1, 5, 2}, {0, 0.5f});
}

TEST(Textures, CubeShowsTheWholeImageUprightOnEachFace) {
    scratch_folder dir;
    const loaded l = load(dir, checker_node + "Cube {}");
    ASSERT_TRUE(l.result.ok);
    const shape_record& s = l.store.shapes[0];
    ASSERT_EQ((s.texture_coords.size() / 2), s.point_count());
    // Find each face's corners by their normal.
    const auto corner = [&](std::array<float, 3> n, std::array<float, 3> p) -> std::array<float, 2> {
        for (std::size_t i = 0; i < s.point_count(); ++i) {
            bool same = true;
            for (int k = 0; k < 3; ++k)
                same = same && std::fabs(s.points[3 * (i) + k] - p[k]) < 1e-5f && std::fabs(s.normals[3 * (i) + k] - n[k]) < 1e-5f;
            if (same) return {s.texture_coords[2 * (i) + 0], s.texture_coords[2 * (i) + 1]};
        }
        return {NAN, NAN};
    };
    EXPECT_EQ(corner({0, 0, 1}, {-1, -1, 1}), (std::array<float, 2>{0, 0}));   // front: lower left
    EXPECT_EQ(corner({0, 0, 1}, {1, 1, 1}), (std::array<float, 2>{1, 1}));
    EXPECT_EQ(corner({0, 0, -1}, {1, -1, -1}), (std::array<float, 2>{0, 0}));  // back, seen from behind
    EXPECT_EQ(corner({1, 0, 0}, {1, -1, 1}), (std::array<float, 2>{0, 0}));    // right
    EXPECT_EQ(corner({0, 1, 0}, {-1, 1, 1}), (std::array<float, 2>{0, 0}));    // top, front edge down
    EXPECT_EQ(corner({0, -1, 0}, {-1, -1, -1}), (std::array<float, 2>{0, 0})); // bottom, back edge down
}

TEST(Textures, SphereWrapsFromTheBackCounterclockwise) {
    scratch_folder dir;
    const loaded l = load(dir, checker_node + "Sphere {}");
    const shape_record& s = l.store.shapes[0];
    expect_coordinate(s, {-1, 0, 0}, {0.25f, 0.5f});
    expect_coordinate(s, {0, 0, 1}, {0.5f, 0.5f});
    expect_coordinate(s, {1, 0, 0}, {0.75f, 0.5f});
}

TEST(Textures, ExplicitCoordinatesSplitPointsWhereTheyDiffer) {
    // Two triangles share the edge 1-2, but the second takes other
    // coordinates there: those points need a second vertex each.
    scratch_folder dir;
    const loaded l = load(dir, checker_node +
                                   "Coordinate3 { point [0 0 0, 1 0 0, 1 1 0, 0 1 0] }\n"
                                   "TextureCoordinate2 { point [0 0, 1 0, 1 1, 0 1, 2 0, 2 2] }\n"
                                   "IndexedFaceSet { coordIndex [0, 1, 2, -1, 0, 2, 3, -1]\n"
                                   "  textureCoordIndex [0, 1, 2, -1, 0, 5, 3, -1] }");
    ASSERT_TRUE(l.result.ok);
    const shape_record& s = l.store.shapes[0];
    EXPECT_EQ(s.point_count(), 5u);
    std::vector<std::array<float, 2>> at_2;
    for (std::size_t i = 0; i < s.point_count(); ++i)
        if (s.points[3 * (i) + 0] == 1 && s.points[3 * (i) + 1] == 1) at_2.push_back({s.texture_coords[2 * (i) + 0], s.texture_coords[2 * (i) + 1]});
    std::sort(at_2.begin(), at_2.end());
    EXPECT_EQ(at_2, (std::vector<std::array<float, 2>>{{1, 1}, {2, 2}}));
}

TEST(Textures, TransformsAccumulateAndTurnAboutTheirCentre) {
    // Scale by 2, then (applied first) a quarter turn about (0.5, 0.5):
    // (0, 0) -> (1, 0) -> (2, 0); (1, 0) -> (1, 1) -> (2, 2).
    scratch_folder dir;
    const loaded l = load(dir, checker_node +
                                   "Texture2Transform { scaleFactor 2 2 }\n"
                                   "Texture2Transform { rotation 1.5707963 center 0.5 0.5 }\n"
                                   "Coordinate3 { point [0 0 0, 1 0 0, 1 1 0] }\n"
                                   "IndexedFaceSet { coordIndex [0, 1, 2] }");
    const shape_record& s = l.store.shapes[0];
    expect_coordinate(s, {0, 0, 0}, {2, 0});
    expect_coordinate(s, {1, 0, 0}, {2, 2});
    expect_coordinate(s, {1, 1, 0}, {0, 2});
}

TEST(Textures, OneFileIsDecodedOnceAndSharedAcrossSeparators) {
    scratch_folder dir;
    const std::string png = read_bytes(textures + "checker.png");
    dir.write("a.png", png);
    const loaded l = load(dir, "Separator { Texture2 { filename \"a.png\" wrapS CLAMP } Cube {} }\n"
                               "Separator { Texture2 { filename \"a.png\" } Sphere {} }\n"
                               "Cone {}");
    ASSERT_EQ(l.store.shapes.size(), 3u);
    ASSERT_EQ(l.store.textures.size(), 1u);
    EXPECT_EQ(l.store.textures[0]->source, dir.path + "/a.png");
    EXPECT_EQ(l.store.shapes[0].texture, 0);
    EXPECT_EQ(l.store.shapes[0].wrap_s, texture_wrap::clamp);
    EXPECT_EQ(l.store.shapes[1].texture, 0);
    EXPECT_EQ(l.store.shapes[1].wrap_s, texture_wrap::repeat);
    EXPECT_EQ(l.store.shapes[2].texture, -1);  // the Separator took the texture with it
    EXPECT_TRUE(l.store.shapes[2].texture_coords.empty());
}

TEST(Textures, MissingAndBrokenImagesWarnOnceAndLeaveShapesUntextured) {
    scratch_folder dir;
    dir.write("broken.png", "\x89PNG\r\n\x1a\nnot really");
    const loaded l = load(dir, "Texture2 { filename \"missing.png\" }\nCube {}\nSphere {}\n"
                               "Texture2 { filename \"broken.png\" }\nCube {}\n");
    ASSERT_TRUE(l.result.ok);
    ASSERT_EQ(l.store.shapes.size(), 3u);
    for (const shape_record& s : l.store.shapes) EXPECT_EQ(s.texture, -1);
    EXPECT_TRUE(l.store.textures.empty());
    ASSERT_EQ(l.result.warnings.size(), 2u);
    EXPECT_NE(l.result.warnings[0].find("scene.wrl:2:1:"), std::string::npos) << l.result.warnings[0];
    EXPECT_NE(l.result.warnings[0].find("missing.png"), std::string::npos);
    EXPECT_NE(l.result.warnings[1].find("scene.wrl:5:1:"), std::string::npos) << l.result.warnings[1];
    EXPECT_NE(l.result.warnings[1].find("PNG"), std::string::npos) << l.result.warnings[1];
}

TEST(Textures, InlineImageStandsInForAnUnreadableFile) {
    scratch_folder dir;
    const loaded l = load(dir, "Texture2 { filename \"missing.png\" image 1 1 3 0xFF0000 }\nCube {}");
    ASSERT_EQ(l.store.textures.size(), 1u);
    EXPECT_EQ(l.store.textures[0]->source, "inline");
    EXPECT_EQ(l.store.shapes[0].texture, 0);
    ASSERT_EQ(l.result.warnings.size(), 1u);
    EXPECT_NE(l.result.warnings[0].find("inline image is used instead"), std::string::npos) << l.result.warnings[0];
}

}  // namespace
}  // namespace tessel::test
