#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/number_text.h"

namespace {

struct format_case {
    float value;
    const char* text;
};

TEST(AttenuationText, WritesSixSignificantDigitsInGeneralForm) {
    const format_case cases[] = {
        {1.0f, "1"},       {1.1f, "1.1"},       {0.9f, "0.9"},         {2.0f, "2"},
        {-0.1f, "-0.1"},   {0.0f, "0"},         {1234567.0f, "1.23457e+06"},
        {0.0001f, "0.0001"}, {0.00001f, "1e-05"}, {123456.0f, "123456"}, {1.0f / 3.0f, "0.333333"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tessel::format_attenuation(c.value), c.text) << c.value;
    }
}

struct parse_case {
    const char* text;
    std::optional<float> value;
};

TEST(AttenuationText, ReadsDecimalNumbersAndRefusesEverythingElse) {
    const parse_case cases[] = {
        {"2", 2.0f},         {"2.5", 2.5f},       {" 2.5\t", 2.5f},   {"+3", 3.0f},
        {"-0.5", -0.5f},     {"1e3", 1000.0f},    {"2.", 2.0f},       {".5", 0.5f},
        {"0", 0.0f},         {"", std::nullopt},  {"  ", std::nullopt}, {"abc", std::nullopt},
        {"1,5", std::nullopt}, {"1.5x", std::nullopt}, {"1 5", std::nullopt}, {"-", std::nullopt},
        {"+-1", std::nullopt}, {"++1", std::nullopt}, {"inf", std::nullopt}, {"nan", std::nullopt},
        {"1e999", std::nullopt}, {"1e39", std::nullopt}, {"0x10", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tessel::parse_attenuation(c.text), c.value) << '"' << c.text << '"';
    }
}

}  // namespace
