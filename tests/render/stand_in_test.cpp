// The stand-in of a heavy scene, without a display: which shapes it
// reduces, that its triangles name the shapes' own points, and that what the
// thread made is taken only for the store, and the shapes, it was made from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "render/prepared_scene.h"
#include "render/stand_in.h"
#include "scene/scene.h"
#include "test_scenes.h"

namespace tessel {
namespace {

prepared_scene prepare(const scene_store& store) {
    prepared_scene arrays;
    const float unit[3] = {1, 1, 1};
    arrays.update(store, unit);
    return arrays;
}

TEST(StandIn, OnlyLargeTriangleShapesOfHeavyScenesAreReducedWithinTheBudget) {
    scene_store store = test::standard_tori(4, 40, 20);  // 4 x 1,600 triangles
    // A small torus stays whole and counts against the budget.
    std::vector<test::test_shape> small = {test::torus(10, 10, 5.0f, 2.0f)};
    scene_store extra = test::make_store(small);
    store.shapes.push_back(std::move(extra.shapes[0]));
    store.point_counts.push_back(extra.point_counts[0]);
    store.face_counts.push_back(extra.face_counts[0]);
    ++store.shape_count;
    const prepared_scene arrays = prepare(store);

    const std::vector<stand_in_target> plan = plan_stand_in(store, arrays.shapes(), test::small_stand_in_limits());
    ASSERT_EQ(plan.size(), 4u);  // neither the line nor the 200-triangle torus
    std::size_t planned = 0;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        EXPECT_EQ(plan[i].shape, i);
        planned += plan[i].triangles;
    }
    EXPECT_LE(planned + 200, 2'000u);
    EXPECT_GT(planned, 1'000u);

    // Under the scene threshold, nothing; by default, a scene this small
    // draws in full.
    stand_in_limits high = test::small_stand_in_limits();
    high.scene_triangles = 7'000;
    EXPECT_TRUE(plan_stand_in(store, arrays.shapes(), high).empty());
    EXPECT_TRUE(plan_stand_in(store, arrays.shapes()).empty());
}

// Copies placed again share their source's stand-in: it is made once,
// and the summary counts it as often as it is drawn.
TEST(StandIn, CopiesPlacedAgainDrawTheirSourcesStandIn) {
    scene_store store = test::standard_tori(1, 40, 20);  // one torus of 1,600 triangles, and a line
    const std::size_t first_copy = store.shapes.size();
    for (int copy = 0; copy < 3; ++copy) {
        shape_record placed;
        placed.shares = 0;
        placed.motion = static_cast<std::int32_t>(store.motions.size());
        store.motions.emplace_back();
        store.shapes.push_back(std::move(placed));
        store.point_counts.push_back(store.point_counts[0]);
        store.face_counts.push_back(store.face_counts[0]);
        ++store.shape_count;
    }
    const prepared_scene arrays = prepare(store);
    const std::vector<stand_in_target> plan = plan_stand_in(store, arrays.shapes(), test::small_stand_in_limits());
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_EQ(plan[0].shape, 0u);
    EXPECT_LE(plan[0].triangles * 4, 2'000u);  // the budget holds for all four placements

    stand_in_maker maker;
    ASSERT_TRUE(maker.start(store, arrays.shapes(), test::small_stand_in_limits()));
    maker.wait();
    std::vector<corner_view> chosen;
    choose_stand_ins(maker, store, arrays.shapes(), chosen);
    ASSERT_EQ(chosen.size(), first_copy + 3);
    EXPECT_FALSE(chosen[0].empty());
    for (std::size_t s = first_copy; s < chosen.size(); ++s) EXPECT_EQ(chosen[s].size(), chosen[0].size());
    const std::int64_t others = maker.summary().scene_triangles - 4 * store.face_counts[0];
    EXPECT_EQ(maker.summary().triangles, others + static_cast<std::int64_t>(4 * chosen[0].size() / 3));
}

TEST(StandIn, ReducedTrianglesAreFewerAndNameTheShapesOwnPoints) {
    const test::test_shape t = test::torus(100, 50, 30.0f, 10.0f);  // 10,000 triangles
    std::vector<float> points;
    for (const auto& p : t.points) points.insert(points.end(), p.begin(), p.end());
    std::vector<std::uint32_t> corners;
    for (const auto& f : t.faces)
        for (const std::int32_t c : f) corners.push_back(static_cast<std::uint32_t>(c));
    const std::vector<std::uint32_t> reduced = reduce_triangles(points, corners, 1'000);
    EXPECT_EQ(reduced.size() % 3, 0u);
    EXPECT_GT(reduced.size() / 3, 300u);
    EXPECT_LE(reduced.size() / 3, 1'000u);
    EXPECT_TRUE(std::all_of(reduced.begin(), reduced.end(), [&](std::uint32_t c) { return c < t.points.size(); }));
    EXPECT_TRUE(reduce_triangles({}, corners, 10).empty());
}

// What the thread made is taken for the store it was made from, per shape
// while the shape is as it was, and never for a newer store; the thread
// never reads the store, which may be gone before it finishes.
TEST(StandIn, WhatTheThreadMadeIsDroppedWhenTheStoreChanges) {
    const stand_in_limits limits = test::small_stand_in_limits();
    {
        // The store and its arrays go away at once; the thread works on.
        stand_in_maker maker;
        {
            scene_store store = test::standard_tori(4, 40, 20);
            const prepared_scene arrays = prepare(store);
            ASSERT_TRUE(maker.start(store, arrays.shapes(), limits));
        }
        maker.wait();
        EXPECT_EQ(maker.shapes().size(), 4u);
    }

    scene_store store = test::standard_tori(4, 40, 20);
    prepared_scene arrays = prepare(store);
    stand_in_maker maker;
    ASSERT_TRUE(maker.start(store, arrays.shapes(), limits));
    maker.wait();
    ASSERT_TRUE(maker.ready());
    EXPECT_EQ(maker.summary().shapes, 4u);
    EXPECT_EQ(maker.summary().scene_triangles, 4 * 1'600);
    EXPECT_LE(maker.summary().triangles, 2'000);
    std::vector<corner_view> chosen;
    choose_stand_ins(maker, store, arrays.shapes(), chosen);
    ASSERT_EQ(chosen.size(), store.shapes.size());
    for (std::size_t s = 0; s < 4; ++s) {
        EXPECT_FALSE(chosen[s].empty()) << s;
        EXPECT_LT(chosen[s].size(), arrays.shapes()[s].indices.size()) << s;
        EXPECT_TRUE(chosen[s].narrow()) << "800 points fit 16-bit corners";
    }
    EXPECT_TRUE(chosen[4].empty()) << "the line is drawn in full";

    // The live world draws shape 1 again in place: its stand-in is dropped,
    // the others stay.
    ++store.shapes[1].revision;
    ++store.moved;
    const float unit[3] = {1, 1, 1};
    arrays.update(store, unit);
    choose_stand_ins(maker, store, arrays.shapes(), chosen);
    ASSERT_EQ(chosen.size(), store.shapes.size());
    EXPECT_TRUE(chosen[1].empty());
    EXPECT_FALSE(chosen[0].empty());

    // Fewer points under the same revision (a damaged store): dropped too.
    store.shapes[2].points.resize(store.shapes[2].points.size() - 3);
    --store.point_counts[2];
    scene_store damaged = store;  // a store swapped without a new generation
    arrays.update(damaged, unit);
    choose_stand_ins(maker, damaged, arrays.shapes(), chosen);
    ASSERT_EQ(chosen.size(), damaged.shapes.size());
    EXPECT_TRUE(chosen[2].empty());

    // A new load: nothing of the old stand-in applies, even to shapes that
    // look the same; a new start forgets it.
    scene_store next = test::standard_tori(4, 40, 20);
    next.generation = store.generation + 1;
    arrays.update(next, unit);
    choose_stand_ins(maker, next, arrays.shapes(), chosen);
    EXPECT_TRUE(chosen.empty());
    ASSERT_TRUE(maker.start(next, arrays.shapes(), limits));
    EXPECT_TRUE(maker.shapes().empty()) << "nothing is taken before the new thread has finished";
    // Started again at once (a newer store while one is under way): the
    // running thread is cancelled and joined first.
    ASSERT_TRUE(maker.start(next, arrays.shapes(), limits));
    maker.wait();
    choose_stand_ins(maker, next, arrays.shapes(), chosen);
    EXPECT_EQ(std::count_if(chosen.begin(), chosen.end(), [](corner_view v) { return !v.empty(); }), 4);
    maker.stop();
    choose_stand_ins(maker, next, arrays.shapes(), chosen);
    EXPECT_TRUE(chosen.empty());
}

}  // namespace
}  // namespace tessel
