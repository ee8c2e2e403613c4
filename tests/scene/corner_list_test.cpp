#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "scene/corner_list.h"

namespace tessel {
namespace {

struct pack_case {
    const char* what;
    std::vector<std::uint32_t> corners;
    bool narrow;
};

TEST(CornerList, PacksToSixteenBitsExactlyWhenEveryCornerFits) {
    const pack_case cases[] = {
        {"small", {0, 1, 2, 2, 1, 3}, true},
        {"largest 16-bit corner", {0, 65535, 1}, true},
        {"one past it", {0, 65536, 1}, false},
        {"largest 32-bit corner", {UINT32_MAX, 0, 1}, false},
        {"empty", {}, false},
    };
    for (const pack_case& c : cases) {
        corner_list list;
        list.wide() = c.corners;
        list.pack();
        EXPECT_EQ(list.narrow(), c.narrow) << c.what;
        EXPECT_TRUE(list == c.corners) << c.what;
        const corner_view view = list.view();
        EXPECT_EQ(std::vector<std::uint32_t>(view.begin(), view.end()), c.corners) << c.what;
        EXPECT_EQ(view.corner_bytes(), c.narrow ? 2u : 4u) << c.what;
        EXPECT_EQ(list.bytes(), c.corners.size() * view.corner_bytes()) << c.what << ": the other form is freed";
    }
}

TEST(CornerList, WideningKeepsTheCornersForRenumbering) {
    corner_list list{4, 5, 6};
    list.pack();
    ASSERT_TRUE(list.narrow());
    for (std::uint32_t& c : list.wide()) c += 70000;
    EXPECT_FALSE(list.narrow());
    list.pack();
    EXPECT_FALSE(list.narrow());
    EXPECT_TRUE(list == (std::vector<std::uint32_t>{70004, 70005, 70006}));
    const corner_view first = list.view().first(2);
    EXPECT_EQ(first.size(), 2u);
    EXPECT_EQ(first[1], 70005u);
}

}  // namespace
}  // namespace tessel
