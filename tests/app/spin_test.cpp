#include <gtest/gtest.h>

#include <cstdint>

#include <QToolButton>

#include "app/spin_steps.h"
#include "app/spin_button.h"
#include "test_support.h"

namespace {

class Spin : public ::testing::Test {
protected:
    static void SetUpTestSuite() { tessel::testing::ensure_application(); }

    // A spin as the tick leaves it: range 0 to 50000 (cut to -15536), at rest.
    static void at_rest(CSpinButtonCtrl& spin) {
        spin.SetRange(0, 50000);
        spin.SetPos(0xFFFF);
    }
};

TEST_F(Spin, RangeLimitsAreSixteenBitSigned) {
    CSpinButtonCtrl spin;
    int lower = 0, upper = 0;
    spin.SetRange(0, 50000);
    spin.GetRange(lower, upper);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, -15536);
    spin.SetRange(0, 0xA120);
    spin.GetRange(lower, upper);
    EXPECT_EQ(upper, -24288);
}

TEST_F(Spin, ReadingCarriesPositionInLowWordAndErrorFlagInHighWord) {
    CSpinButtonCtrl spin;
    at_rest(spin);
    EXPECT_EQ(spin.GetPos(), 0x1FFFF);
    spin.SetPos(0);
    EXPECT_EQ(spin.GetPos(), 0x10000);
    spin.SetPos(-5);
    EXPECT_EQ(spin.GetPos(), 0x20000 - 5);
}

TEST_F(Spin, SetPosStaysInsideTheRangeAndReturnsThePreviousPosition) {
    CSpinButtonCtrl spin;
    at_rest(spin);
    EXPECT_EQ(spin.SetPos(-20000), -1);
    EXPECT_EQ(spin.GetPos() & 0xFFFF, static_cast<std::uint16_t>(-15536));
    spin.SetPos(7);
    EXPECT_EQ(spin.GetPos(), 0x10000);
}

TEST_F(Spin, ArrowsStepTowardsTheirEndsWithoutWrapping) {
    CSpinButtonCtrl spin;
    at_rest(spin);
    spin.StepUp();
    spin.StepUp();
    EXPECT_EQ(spin.GetPos(), 0x1FFFF - 2);  // the up arrow runs towards -15536
    spin.StepDown();
    spin.StepDown();
    spin.StepDown();
    spin.StepDown();
    EXPECT_EQ(spin.GetPos(), 0x10000);  // stops at 0, no wrap to the other end

    spin.SetPos(-15535);
    spin.StepUp();
    spin.StepUp();
    EXPECT_EQ(spin.GetPos(), 0x20000 - 15536);
}

TEST_F(Spin, ArrowButtonsAreWhatAClickReaches) {
    CSpinButtonCtrl spin;
    at_rest(spin);
    spin.upButton()->click();
    EXPECT_EQ(spin.GetPos(), 0x1FFFF - 1);
    spin.downButton()->click();
    spin.downButton()->click();
    EXPECT_EQ(spin.GetPos(), 0x10000);
}

struct step_case {
    const char* what;
    int up;    // up-arrow clicks since the last tick
    int down;  // down-arrow clicks since the last tick
    float expected;
};

TEST_F(Spin, AttenuationFollowsTheClicksSinceTheLastTick) {
    const step_case cases[] = {
        {"no click", 0, 0, 1.0f},
        {"one up", 1, 0, static_cast<float>(1.0 + 0.1)},
        {"nine up", 9, 0, static_cast<float>(1.0 - 9 * -0.1)},
        {"ten up", 10, 0, static_cast<float>(1.0 - 10 * -0.1)},
        {"twenty-five up", 25, 0, static_cast<float>(1.0 - 25 * -0.1)},
        {"one down", 0, 1, static_cast<float>(1.0 - static_cast<double>(0.1f))},
        {"three down", 0, 3, static_cast<float>(1.0 - static_cast<double>(0.1f))},
        {"two up, one down", 2, 1, static_cast<float>(1.0 + 0.1)},
    };
    for (const auto& c : cases) {
        CSpinButtonCtrl spin;
        at_rest(spin);
        for (int i = 0; i < c.up; ++i) spin.StepUp();
        for (int i = 0; i < c.down; ++i) spin.StepDown();
        EXPECT_EQ(tessel::step_attenuation(1.0f, spin), c.expected) << c.what;
    }
}

TEST_F(Spin, ManyUpClicksNeverLowerTheValue) {
    CSpinButtonCtrl spin;
    at_rest(spin);
    for (int i = 0; i < 20000; ++i) spin.StepUp();  // stops at the range end
    EXPECT_GT(tessel::step_attenuation(1.0f, spin), 1000.0f);
}

}  // namespace
