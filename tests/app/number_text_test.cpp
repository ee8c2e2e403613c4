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

TEST(AttenuationText, StepsOfOneTenthShowWithoutFloatNoise) {
    // The tick adds 0.1 in double precision and stores a float: what the
    // user sees must still be the short decimal.
    float value = 1.0f;
    for (int i = 0; i < 5; ++i) value = static_cast<float>(value + 0.1);
    EXPECT_EQ(tessel::format_attenuation(value), "1.5");
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

TEST(AttenuationText, WhatIsWrittenReadsBackAsTheSameFloat) {
    for (const float value : {1.1f, 0.3f, 12.7f, -4.2f, 1e-3f, 250.5f}) {
        const auto back = tessel::parse_attenuation(tessel::format_attenuation(value));
        ASSERT_TRUE(back.has_value());
        EXPECT_FLOAT_EQ(*back, value);
    }
}

}  // namespace
