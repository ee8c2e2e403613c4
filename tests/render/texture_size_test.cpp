// Sizing texture images for GLs that take only powers of two or limit the
// size: the nearer power of two within the limit, and a resampling that
// keeps each region's colour where it was.
#include <gtest/gtest.h>

#include "render/texture_objects.h"

namespace tessel {
namespace {

struct side_case {
    std::int32_t size;
    bool power_of_two_only;
    std::int32_t max_size;
    std::int32_t want;
};

class TextureSides : public ::testing::TestWithParam<side_case> {};

TEST_P(TextureSides, FitTheGl) {
    EXPECT_EQ(texture_side(GetParam().size, GetParam().power_of_two_only, GetParam().max_size), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(Textures, TextureSides,
                         ::testing::Values(side_case{300, false, 4096, 300}, side_case{300, true, 4096, 256},
                                           side_case{400, true, 4096, 512}, side_case{3, true, 4096, 4},
                                           side_case{1, true, 4096, 1}, side_case{5000, false, 4096, 4096},
                                           side_case{5000, true, 4096, 4096}, side_case{3000, true, 2048, 2048}),
                         [](const auto& info) {
                             return std::to_string(info.param.size) + (info.param.power_of_two_only ? "PowerOfTwo" : "Any") +
                                    "Max" + std::to_string(info.param.max_size);
                         });

TEST(TextureSides, ResamplingKeepsQuartersInPlace) {
    // 3 x 3 to 4 x 4: the corners keep their colours, rows stay bottom-up.
    texture_image image;
    image.width = image.height = 3;
    image.components = 3;
    image.rgba.assign(3 * 3 * 4, 255);
    image.rgba[0] = 0;                       // lower left: cyan
    image.rgba[(2 * 3 + 2) * 4 + 1] = 0;     // upper right: magenta
    const std::vector<std::uint8_t> out = resample_rgba(image, 4, 4);
    ASSERT_EQ(out.size(), 4u * 4 * 4);
    EXPECT_LT(out[0], 128);
    EXPECT_EQ(out[1], 255);
    EXPECT_LT(out[(3 * 4 + 3) * 4 + 1], 128);
    EXPECT_EQ(out[(3 * 4 + 3) * 4 + 0], 255);
    EXPECT_EQ(out[(3 * 4 + 0) * 4 + 0], 255);  // upper left untouched
    EXPECT_EQ(out[(3 * 4 + 0) * 4 + 1], 255);
}

}  // namespace
}  // namespace tessel
