// Public VRML 2.0 files (tests/formats/data/vrml97/README.md) loaded as the
// viewer loads them: what reaches the scene store must be what the file
// describes. Counts and boxes were read from the files and agree with what
// Coin3D reads from them (boxes to its two decimals).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>
#include <unistd.h>

#include "scene/scene.h"
#include "open/open.h"

namespace tessel::test {
namespace {

struct totals {
    std::int64_t triangles = 0, segments = 0, points = 0;
    float low[3], high[3];
};

totals count(const scene_store& store) {
    totals t;
    std::fill(t.low, t.low + 3, std::numeric_limits<float>::max());
    std::fill(t.high, t.high + 3, std::numeric_limits<float>::lowest());
    for (std::size_t i = 0; i < store.shapes.size(); ++i) {
        const shape_record& s = store.shapes[i];
        (s.kind == shape_kind::triangles ? t.triangles : s.kind == shape_kind::lines ? t.segments : t.points) +=
            store.face_counts[i];
        for (std::size_t i = 0; i < s.points.size(); ++i) {
            const std::size_t k = i % 3;
            t.low[k] = std::min(t.low[k], s.points[i]);
            t.high[k] = std::max(t.high[k], s.points[i]);
        }
    }
    return t;
}

struct public_case {
    const char* file;
    std::int64_t triangles, segments, points;
    float low[3], high[3];
};

class PublicVrml2Files : public ::testing::TestWithParam<public_case> {};

TEST_P(PublicVrml2Files, LoadWhatTheFileDescribes) {
    const public_case& c = GetParam();
    scene_store store;
    const load_result r = open_scene_file(std::string(TESSEL_SOURCE_DIR) + "/tests/formats/data/vrml97/" + c.file, store,
                                          reading_mode::standard);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.warning_count, 0) << (r.warnings.empty() ? "" : r.warnings[0]);
    const totals t = count(store);
    EXPECT_EQ(t.triangles, c.triangles);
    EXPECT_EQ(t.segments, c.segments);
    EXPECT_EQ(t.points, c.points);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(t.low[k], c.low[k], 0.006) << "axis " << k;
        EXPECT_NEAR(t.high[k], c.high[k], 0.006) << "axis " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Public, PublicVrml2Files,
    ::testing::Values(
        // A 5 x 6 grid: 20 cells of two triangles, spaced 0.5 by 0.25.
        public_case{"elevationGrid2.wrl", 40, 0, 0, {0, 0, 0}, {2, 0.5f, 1.25f}},
        public_case{"points.wrl", 0, 0, 3, {-1, -1, 0}, {1, 1, 0}},
        // The unit cube's 12 edges, 4 face diagonals and 3 lines through the middle.
        public_case{"linesTransparent.wrl", 0, 19, 0, {0, 0, 0}, {1, 1, 1}},
        public_case{"creaseAngle.wrl", 28, 0, 0, {-20, 0, -20}, {20, 6.7f, 20}},
        public_case{"crystal.wrl", 32, 0, 0, {-1.21f, -1, -0.48f}, {1.21f, 1, 0.48f}},
        // 12 triangles, and 12 line sets of one segment each.
        public_case{"meshWithLines.wrl", 12, 12, 0, {-1.2f, -1.35f, -0.18f}, {11, 1.35f, 0}},
        // Two inlined files scaled from inches.
        public_case{"GrayCarDoorFL.wrl", 294, 0, 0, {-0.12f, -1.12f, -0.02f}, {0.29f, 0.23f, 0.97f}}),
    [](const auto& info) {
        std::string name = info.param.file;
        return name.substr(0, name.find('.'));
    });

TEST(PublicVrml2Files, ColoursAndTheWorldAroundThem) {
    const std::string data = std::string(TESSEL_SOURCE_DIR) + "/tests/formats/data/vrml97/";
    scene_store grid;
    ASSERT_TRUE(open_scene_file(data + "elevationGrid2.wrl", grid, reading_mode::standard).ok);
    ASSERT_EQ(grid.shapes.size(), 1u);
    EXPECT_EQ(std::vector<float>(grid.shapes[0].material.diffuse, grid.shapes[0].material.diffuse + 3),
              (std::vector<float>{1, 0, 0}));
    ASSERT_TRUE(grid.background.has_value());
    EXPECT_EQ((*grid.background)[0] + (*grid.background)[1] + (*grid.background)[2], 3.0f);
    ASSERT_TRUE(grid.camera.has_value());
    EXPECT_EQ(grid.camera->position[2], 5.0f);

    // Points without a Material are unlit, each in its own colour.
    scene_store points;
    ASSERT_TRUE(open_scene_file(data + "points.wrl", points, reading_mode::standard).ok);
    const shape_record& p = points.shapes.at(0);
    EXPECT_FALSE(p.lit);
    ASSERT_EQ((p.colours.size() / 4), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const bool at_low_corner = p.points[3 * (i) + 0] == -1;
        EXPECT_EQ(p.colours[4 * (i) + 0], at_low_corner ? 1.0f : 0.0f) << i;  // red at -1 -1 0 only
    }

    // Lines shown in their emissive red, four fifths transparent.
    scene_store lines;
    ASSERT_TRUE(open_scene_file(data + "linesTransparent.wrl", lines, reading_mode::standard).ok);
    const shape_record& l = lines.shapes.at(0);
    EXPECT_FALSE(l.lit);
    EXPECT_EQ(l.colour[0], 1.0f);
    EXPECT_EQ(l.colour[1], 0.0f);
    EXPECT_NEAR(l.material.transparency, 0.8f, 1e-6);
}

// The load gives back a face set's arrays once drawn when nothing else can
// reach them: every way of drawing one node twice must still draw it twice.
TEST(PublicVrml2Files, NodesDrawnTwiceKeepTheirArrays) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("tessel-twice-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto write = [&](const char* name, const std::string& text) {
        std::FILE* f = std::fopen((dir / name).c_str(), "w");
        std::fputs(("#VRML V2.0 utf8\n" + text).c_str(), f);
        std::fclose(f);
        return (dir / name).string();
    };
    const std::string quad = "IndexedFaceSet { coord DEF C Coordinate { point [ 0 0 0, 1 0 0, 1 1 0, 0 1 0 ] } "
                             "coordIndex [ 0 1 2 3 ] }";
    write("part.wrl", "Shape { geometry " + quad + " }");
    const std::string scene = write(
        "scene.wrl",
        // Used again by USE, from a shared PROTO body, through a shared
        // Coordinate, and from one file inlined twice: 2 + 2 + 2 + 2 quads.
        "DEF S Shape { geometry " + quad + " } Transform { translation 2 0 0 children USE S }\n"
        "PROTO P [ ] { Shape { geometry IndexedFaceSet { coord Coordinate { point [ 0 0 0, 1 0 0, 1 1 0 ] } "
        "coordIndex [ 0 1 2 ] } } } P { } P { }\n"
        "Shape { geometry IndexedFaceSet { coord USE C coordIndex [ 0 1 2 3 ] } }\n"
        "Inline { url \"part.wrl\" } Transform { translation 0 2 0 children Inline { url \"part.wrl\" } }\n");
    scene_store store;
    const load_result r = open_scene_file(scene, store, reading_mode::standard);
    ASSERT_TRUE(r.ok) << r.error;
    // Quads of 2 triangles: S twice, the shared Coordinate once more, the
    // Inline twice; and the PROTO's one triangle twice.
    EXPECT_EQ(count(store).triangles, 2 * 2 + 2 + 2 * 2 + 2);
    std::filesystem::remove_all(dir);
}

TEST(PublicVrml2Files, CompressedFilesOpenWhateverTheirName) {
    const std::string source = std::string(TESSEL_SOURCE_DIR) + "/tests/formats/data/vrml97/elevationGrid2.wrl";
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("tessel-wrz-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    for (const char* name : {"grid.wrz", "grid.wrl.gz", "grid.wrl"}) {
        const std::string packed = (dir / name).string();
        ASSERT_EQ(std::system(("gzip -c '" + source + "' > '" + packed + "'").c_str()), 0);
        scene_store store;
        const load_result r = open_scene_file(packed, store, reading_mode::standard);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(count(store).triangles, 40) << name;
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tessel::test
