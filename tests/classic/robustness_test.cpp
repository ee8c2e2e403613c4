// Inputs that must never crash, hang or read outside an array. Run these
// under the sanitizer build as well.

#include <cmath>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "reader_support.h"

using tessel::load_result;
using tessel::scene_store;
using tessel::test::load_text;

namespace {

// Every array agrees with its count and every corner names a point.
void expect_consistent(const scene_store& s) {
    ASSERT_EQ(s.shapes.size(), static_cast<std::size_t>(s.shape_count));
    ASSERT_EQ(s.point_counts.size(), s.shapes.size());
    ASSERT_EQ(s.face_counts.size(), s.shapes.size());
    for (std::size_t i = 0; i < s.shapes.size(); ++i) {
        const auto& sh = s.shapes[i];
        ASSERT_EQ(sh.points.size(), 3 * static_cast<std::size_t>(s.point_counts[i]));
        ASSERT_EQ(sh.normals.size(), 3 * static_cast<std::size_t>(s.point_counts[i]));
        ASSERT_EQ(sh.corners.size(), 3 * static_cast<std::size_t>(s.face_counts[i]));
        for (const std::uint32_t v : sh.corners) ASSERT_LT(v, s.point_counts[i]);
    }
}

scene_store load_ok(const std::string& text) {
    load_result r;
    scene_store s = load_text(text, &r);
    EXPECT_TRUE(r.ok) << r.error;
    expect_consistent(s);
    return s;
}

TEST(Robustness, BinaryNoise) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(1, 255);
    const char* pieces[] = {"DEF ", "{", "}", "[", "]", "Coordinate3 ", "coordIndex ", "-1 ", "Material ",
                            "diffuseColor ", "translation ", "\n", "\r", "#", "\"", "1e999 "};
    for (int round = 0; round < 200; ++round) {
        std::string text;
        for (int i = 0; i < 400; ++i) {
            if (byte(rng) < 64) text += pieces[byte(rng) % 16];
            else text += static_cast<char>(byte(rng));
        }
        load_ok(text);
    }
}

TEST(Robustness, DeeplyNestedBraces) {
    const std::string open(10000, '{');
    const std::string close(10000, '}');
    load_ok("DEF a " + open + " Coordinate3 { point [ 1 2 3 ] } " + close + "\n");
    load_ok("DEF a { " + std::string(10000, '}') + " Coordinate3 { point [ 1 ] }\n");
    std::string words;
    for (int i = 0; i < 10000; ++i) words += "{ ";
    EXPECT_EQ(load_ok("DEF a { " + words + "Coordinate3 { point [ 1 2 3 ] }\n").shape_count, 1);
}

TEST(Robustness, UnclosedListsAndNodesEndAtTheText) {
    const struct {
        const char* text;
        std::int64_t shapes;
    } cases[] = {
        {"DEF a { Coordinate3 { point [ 1 2 3, 4 5 6", 1},
        {"DEF a { Coordinate3 { point [ 1 2 3 ] }\nIndexedFaceSet { coordIndex [ 0 0 0", 1},
        {"DEF a { Coordinate3 { point", 1},
        {"DEF a { Coordinate3", 1},
        {"DEF a { Material { diffuseColor 1", 0},
        {"DEF a { translation 1", 0},
        {"DEF a { Coordinate3 { point ]", 1},
        {"DEF", 0},
        {"DEF a", 0},
    };
    for (const auto& c : cases) {
        for (const std::string tail : {"", "\n", " ", "]", "}"}) {
            const scene_store s = load_ok(c.text + tail);
            EXPECT_EQ(s.shape_count, c.shapes) << c.text << tail;
        }
    }
}

TEST(Robustness, OneHundredMegabyteLine) {
    std::string text = "DEF a { Coordinate3 { point [ ";
    text.reserve(100u << 20);
    while (text.size() < (100u << 20)) text += "1.25 -2 3e2, ";
    text += "] } IndexedFaceSet { coordIndex [ 0 1 2 3 4 5 6 7 8 9 -1 ] } }";
    const scene_store s = load_ok(text);
    ASSERT_EQ(s.shape_count, 1);
    EXPECT_GT(s.point_counts[0], 8'000'000);
    EXPECT_EQ(s.face_counts[0], 8);
    EXPECT_EQ(s.shapes[0].points.back(), 300.0f);
}

TEST(Robustness, OneHugeWord) {
    load_ok("DEF a { Coordinate3 { point [ " + std::string(20u << 20, '7') + " ] } }\n");
    load_ok(std::string(20u << 20, 'D') + "\n");
}

TEST(Robustness, SpecialNumbersSurviveToTheScene) {
    const scene_store s = load_ok(
        "DEF a { Transform { translation 1e999 -0 nan }\n"
        "Coordinate3 { point [ 0 0 0, 1e999 0 0, 0 nan 0, -1e999 -0 1e-50 ] }\n"
        "IndexedFaceSet { coordIndex [ 0 1 2 -1 0 2 3 -1 99999999999 0 1 -1 -99999999999 0 1 ] } }\n");
    ASSERT_EQ(s.shape_count, 1);
    const auto& sh = s.shapes[0];
    EXPECT_TRUE(std::isinf(sh.translation[0]));
    EXPECT_TRUE(std::signbit(sh.translation[1]));
    EXPECT_TRUE(std::isnan(sh.translation[2]));
    EXPECT_TRUE(std::isinf(sh.points[3 * (1) + 0]));
    EXPECT_TRUE(std::isnan(sh.points[3 * (2) + 1]));
    EXPECT_TRUE(std::signbit(sh.points[3 * (3) + 1]));
    EXPECT_EQ(s.face_counts[0], 2);
}

TEST(Robustness, ManyTinyShapes) {
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "DEF a { Coordinate3 { point [ 1 2 3 ] } } ";
    EXPECT_EQ(load_ok(text + "\n").shape_count, 20000);
}

}  // namespace
