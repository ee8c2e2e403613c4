// What one frame may draw: shapes in order until a number of primitives or
// of pixels covered (in whole pictures) is reached, with the pixels
// estimated from each shape's box and area and counted exactly only when the
// estimate does not fit.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "render/draw_budget.h"
#include "render/prepared_scene.h"

namespace tessel {
namespace {

// The identity: world coordinates are clip coordinates, and the square
// from -1 to 1 fills the picture.
const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
const float unit_scale[3] = {1, 1, 1};

struct triangle {
    float a[3], b[3], c[3];  // z 0 unless given
};

// A standard store of one shape per list, prepared as a frame sees it (the
// prepared shapes point into the store).
struct prepared_store {
    scene_store store;
    prepared_scene arrays;
};

std::unique_ptr<prepared_store> prepare(const std::vector<std::vector<triangle>>& shapes) {
    auto out = std::make_unique<prepared_store>();
    scene_store& store = out->store;
    store.reading = scene_reading::standard;
    for (const auto& triangles : shapes) {
        shape_record s;
        for (const triangle& t : triangles)
            for (const float* p : {t.a, t.b, t.c}) {
                s.corners.push_back(static_cast<std::uint32_t>(s.point_count()));
                s.points.insert(s.points.end(), {p[0], p[1], p[2]});
            }
        s.normals.assign(s.points.size(), 0);
        store.point_counts.push_back(static_cast<std::int64_t>(s.point_count()));
        store.face_counts.push_back(static_cast<std::int64_t>(triangles.size()));
        store.shapes.push_back(std::move(s));
    }
    store.shape_count = static_cast<std::int64_t>(store.shapes.size());
    out->arrays.update(store, unit_scale);
    return out;
}

const triangle whole_picture = {{-1, -1}, {3, -1}, {-1, 3}};

// A grid of n x n squares (two triangles each) over the picture, once.
std::vector<triangle> grid(int n) {
    std::vector<triangle> out;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const float x0 = -1 + 2.0f * i / n, x1 = -1 + 2.0f * (i + 1) / n;
            const float y0 = -1 + 2.0f * j / n, y1 = -1 + 2.0f * (j + 1) / n;
            out.push_back({{x0, y0}, {x1, y0}, {x1, y1}});
            out.push_back({{x0, y0}, {x1, y1}, {x0, y1}});
        }
    return out;
}

draw_report draw(const std::unique_ptr<prepared_store>& prepared, const draw_limits& limits,
                 std::vector<std::size_t>* each = nullptr, const float* clip = identity) {
    frame_budget budget(clip, 100, 100, limits);
    for (const prepared_shape& s : prepared->arrays.shapes()) {
        const std::size_t n = budget.indices_to_draw(s, shape_kind::triangles);
        if (each) each->push_back(n);
    }
    return budget.report();
}

TEST(DrawBudget, CoincidentTrianglesStopAtThePictureCount) {
    draw_limits limits;
    limits.pictures = 16;
    // In one shape, and each in a shape of its own (as USE places them).
    const std::vector<triangle> one_shape(1000, whole_picture);
    const std::vector<std::vector<triangle>> many_shapes(1000, std::vector<triangle>{whole_picture});
    for (const auto& shapes : {std::vector<std::vector<triangle>>{one_shape}, many_shapes}) {
        const draw_report r = draw(prepare(shapes), limits);
        EXPECT_EQ(r.primitives, 1000);
        EXPECT_EQ(r.drawn, 16);
        EXPECT_TRUE(r.by_fill);
        EXPECT_FALSE(r.complete());
        EXPECT_NE(describe(r, limits).find("drawing stopped after 16 of 1000 primitives: the scene would cover the picture "
                                           "more than 16 times over"),
                  std::string::npos)
            << describe(r, limits);
    }
}

TEST(DrawBudget, AFineMeshOverThePictureIsDrawnWhole) {
    draw_limits limits;
    limits.pictures = 4;
    const draw_report r = draw(prepare({grid(100), grid(50)}), limits);
    EXPECT_TRUE(r.complete());
    EXPECT_EQ(r.drawn, 2 * 100 * 100 + 2 * 50 * 50);
    EXPECT_TRUE(describe(r, limits).empty());
}

// A shape off the picture costs nothing, however large; one zoomed in on
// is counted by what it covers on the picture, not by its whole area.
TEST(DrawBudget, OnlyWhatFallsOnThePictureCounts) {
    draw_limits limits;
    limits.pictures = 3;  // the mesh's whole area would fill 1600 pictures
    std::vector<triangle> zoomed;  // a fine mesh of which the picture shows a small part
    for (const triangle& t : grid(200))
        zoomed.push_back({{t.a[0] * 40, t.a[1] * 40}, {t.b[0] * 40, t.b[1] * 40}, {t.c[0] * 40, t.c[1] * 40}});
    std::vector<std::size_t> each;
    const draw_report r = draw(prepare({std::vector<triangle>(500, {{5, 5}, {9, 5}, {5, 9}}), zoomed, {whole_picture}}), limits, &each);
    EXPECT_TRUE(r.complete()) << describe(r, limits);
    EXPECT_EQ(each, (std::vector<std::size_t>{1500, zoomed.size() * 3, 3}));
}

// Walking through a world, the ground and walls behind the viewer cover
// nothing, and a floor running from behind the viewer to the horizon covers
// only the part in front: neither may stop the frame.
TEST(DrawBudget, WhatLiesBehindTheEyeCoversNothing) {
    // A perspective view down -z, its near plane at 0.1 and far at 1000.
    const float perspective[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1.0002f, -1, 0, 0, -0.2f, 0};
    draw_limits limits;
    limits.pictures = 3;
    const std::vector<triangle> behind(1000, {{-100, -100, 5}, {100, -100, 5}, {0, 100, 5}});
    const std::vector<triangle> floor(2, {{-100, -1.6f, 50}, {100, -1.6f, 50}, {0, -1.6f, -900}});  // below the horizon
    std::vector<std::size_t> each;
    const draw_report r = draw(prepare({behind, floor, {{{-1, -1, -1}, {3, -1, -1}, {-1, 3, -1}}}}), limits, &each,
                               perspective);
    EXPECT_EQ(each, (std::vector<std::size_t>{3000, 6, 3}));
    EXPECT_TRUE(r.complete()) << describe(r, limits);
}

TEST(DrawBudget, PrimitivesAreCountedAcrossShapes) {
    draw_limits limits;
    limits.primitives = 250;
    std::vector<std::size_t> each;
    const draw_report r = draw(prepare({grid(10), grid(10)}), limits, &each);
    EXPECT_EQ(each, (std::vector<std::size_t>{600, 150}));
    EXPECT_EQ(r.drawn, 250);
    EXPECT_FALSE(r.by_fill);
    EXPECT_NE(describe(r, limits).find("a picture draws at most 250"), std::string::npos);
}

}  // namespace
}  // namespace tessel
