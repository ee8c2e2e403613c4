#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "input/convert.h"
#include "tests/support/test_env.h"

using namespace tessel::reader;

namespace {

struct number_case {
    const char* word;
    double expected;
};

TEST(Convert, WordsConvertByTheAtofRule) {
    const double inf = std::numeric_limits<double>::infinity();
    const number_case cases[] = {
        {"3", 3.0},          {"0.5}", 0.5},       {"\n4", 4.0},          {"[0.8", 0.0},
        {"-", 0.0},          {".", 0.0},          {"", 0.0},             {"+5", 5.0},
        {"+-5", 0.0},        {"-.5", -0.5},       {"5.", 5.0},           {"1e3", 1000.0},
        {"1e", 1.0},         {"1e+", 1.0},        {"2.5E-1x", 0.25},     {"0x10", 0.0},
        {" \t\r\n\v\f7", 7.0}, {"abc", 0.0},      {"1e999", inf},        {"-1e999", -inf},
        {"1e-400", 0.0},     {"inf", inf},        {"-Infinity", -inf},   {"INFINITYx", inf},
        {"12345678901234567890", 12345678901234567890.0},
    };
    for (const auto& c : cases) EXPECT_EQ(parse_number(c.word), c.expected) << '"' << c.word << '"';
}

TEST(Convert, SpecialValuesKeepSignAndKind) {
    EXPECT_TRUE(std::signbit(parse_number("-0")));
    EXPECT_TRUE(std::isnan(parse_number("nan")));
    EXPECT_TRUE(std::isnan(parse_number("-NaN(123)")));
    EXPECT_EQ(parse_number("4.9406564584124654e-324"), std::numeric_limits<double>::denorm_min());
}

TEST(Convert, SinglePrecisionRoundsToNearestAndOverflowsToInfinity) {
    const float fmax = std::numeric_limits<float>::max();
    EXPECT_EQ(to_single(0.1), 0.1f);
    EXPECT_EQ(to_single(3.4028235e38), fmax);
    EXPECT_EQ(to_single(3.40282356e38), fmax);  // below the halfway point
    EXPECT_TRUE(std::isinf(to_single(3.4028236e38)));
    EXPECT_EQ(to_single(-1e39), -std::numeric_limits<float>::infinity());
    EXPECT_EQ(to_single(1e-50), 0.0f);
}

TEST(Convert, IndicesTruncateAndNeverWrap) {
    const std::int32_t max = std::numeric_limits<std::int32_t>::max();
    const std::int32_t min = std::numeric_limits<std::int32_t>::min();
    const std::pair<double, std::int32_t> cases[] = {
        {2.9, 2},        {-2.9, -2},     {65535, 65535},  {65536, 65536},
        {70000.5, 70000}, {2147483647.9, max}, {2147483648.0, max}, {1e10, max},
        {-2147483648.0, min}, {-1e10, min}, {std::nan(""), min}, {-INFINITY, min},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(to_index(in), out) << in;
}

TEST(Convert, TextListEntriesHaveTheDecimalForm) {
    const std::pair<double, const char*> cases[] = {
        {9, "9.#"},         {24, "24.#"},          {1, "1.#"},         {0, "0.#"},
        {0.5, "0.5#"},      {-3, "-3.#"},          {1e-5, "1.e-005#"}, {2.5e25, "2.5e+025#"},
        {1e20, "1.e+020#"}, {0.05, "5.e-002#"},    {0.1, "0.1#"},
    };
    for (const auto& [value, text] : cases) {
        std::string list;
        append_entry(list, value);
        EXPECT_EQ(list, text) << value;
    }
}

TEST(Convert, TextListEntriesReadBackToTheSameSingle) {
    std::mt19937 rng(12345);
    std::string list;
    std::vector<float> values = {0.8f,
                                 -0.0f,
                                 std::numeric_limits<float>::max(),
                                 std::numeric_limits<float>::denorm_min(),
                                 std::numeric_limits<float>::min(),
                                 std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(),
                                 std::numeric_limits<float>::quiet_NaN()};
    std::uniform_int_distribution<std::uint32_t> bits;
    for (int i = 0; i < 20000; ++i) {
        const std::uint32_t w = bits(rng);
        float f;
        std::memcpy(&f, &w, 4);
        values.push_back(f);
    }
    for (float v : values) append_entry(list, v);
    std::size_t pos = 0;
    for (float v : values) {
        double d = 0;
        ASSERT_TRUE(read_entry(list, pos, d));
        const float back = to_single(d);
        if (std::isnan(v)) {
            EXPECT_TRUE(std::isnan(back));
        } else {
            EXPECT_EQ(std::memcmp(&back, &v, 4), 0) << v;
        }
    }
    double d;
    EXPECT_FALSE(read_entry(list, pos, d));
}

TEST(Convert, EmptyEntryReadsAsZeroAndUnterminatedTailIsNoEntry) {
    std::size_t pos = 0;
    double d = 7;
    ASSERT_TRUE(read_entry("#12", pos, d));
    EXPECT_EQ(d, 0.0);
    EXPECT_FALSE(read_entry("#12", pos, d));
}

// A user's locale with a decimal comma must change nothing: the viewer's
// GUI toolkit switches the process locale to the environment's.
TEST(Convert, ConversionsIgnoreTheProcessLocale) {
    const tessel::test::temp_folder dir("tessel-locale");
    const std::string cmd = "localedef -i de_DE -f UTF-8 '" + dir.path() + "/de_DE.UTF-8' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) TESSEL_CANNOT_RUN("cannot build a de_DE locale here (localedef, locales)");
    setenv("LOCPATH", dir.path().c_str(), 1);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    ASSERT_EQ(std::atof("0.5"), 0.0) << "the locale did not take effect";
    EXPECT_EQ(parse_number("0.5"), 0.5);
    EXPECT_EQ(parse_number("1e999"), std::numeric_limits<double>::infinity());
    std::string list;
    append_entry(list, 0.25);
    EXPECT_EQ(list, "0.25#");
    std::setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
}

}  // namespace
