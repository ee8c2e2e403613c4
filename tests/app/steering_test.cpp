// The arithmetic of steering by hand and of the recent-file list.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>

#include <QStringList>

#include "app/recent_files.h"
#include "app/view_steering.h"

namespace {

TEST(Steering, RotationSlidersWrapAroundAFullTurn) {
    const struct {
        int position, steps, expected;
    } cases[] = {
        {0, 1, 1}, {99, 1, 0}, {0, -1, 99}, {100, 1, 1}, {100, -1, 99}, {50, 250, 0}, {3, -205, 98}, {7, 0, 7},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tessel::turned_position(c.position, c.steps), c.expected) << c.position << " + " << c.steps;
}

TEST(Steering, TranslationSlidersStopAtTheirEnds) {
    EXPECT_EQ(tessel::moved_position(50, 30), 80);
    EXPECT_EQ(tessel::moved_position(90, 30), 100);
    EXPECT_EQ(tessel::moved_position(10, -30), 0);
}

TEST(Steering, ZoomStepsByATenthAndStaysInItsRange) {
    const struct {
        float value;
        int steps;
        float expected;
    } cases[] = {
        {1.0f, 1, 1.1f},
        {1.0f, -1, 0.909f},
        {0.909f, 1, 1.0f},                      // a notch out and back in is where it was
        {1.33f, -1, 1.21f},
        {1.0f, 2, 1.21f},
        {-2.0f, 1, -2.2f},  // a mirrored scene stays mirrored
        {999.0f, 1, 1000.0f},
        {1000.0f, 5, 1000.0f},
        {0.0105f, -1, 0.01f},
        {0.0f, 1, 0.01f},                       // nothing shown: the first notch brings it back
        {0.0f, -1, 0.0f},
        {5000.0f, 1, 5000.0f},                  // typed beyond the range: left alone going further
        {5000.0f, -1, 4550.0f},
        {0.001f, -1, 0.001f},
        {0.001f, 1, 0.01f},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tessel::zoomed_attenuation(c.value, c.steps), c.expected) << c.value << " by " << c.steps;
}

TEST(Steering, FractionsOfStepsAddUpAcrossADrag) {
    tessel::step_accumulator rest;
    int total = 0;
    std::array<int, 5> each{};
    for (int& steps : each) total += steps = rest.add(0.5);
    EXPECT_EQ(each, (std::array<int, 5>{0, 1, 0, 1, 0}));
    EXPECT_EQ(total, 2);
    EXPECT_EQ(rest.add(-0.75), 0);  // 0.5 - 0.75 leaves -0.25
    EXPECT_EQ(rest.add(-0.75), -1);
    rest.add(0.75);
    rest.reset();
    EXPECT_EQ(rest.add(0.5), 0);
}

// The view's own order: Rx * Ry * Rz applied to a translation.
std::array<double, 3> rotated(const std::array<double, 3>& degrees, std::array<double, 3> v) {
    const auto turn = [&v](double d, int a, int b) {
        const double r = d * std::numbers::pi / 180.0;
        const double va = v[a], vb = v[b];
        v[a] = std::cos(r) * va - std::sin(r) * vb;
        v[b] = std::sin(r) * va + std::cos(r) * vb;
    };
    turn(degrees[2], 0, 1);
    turn(degrees[1], 2, 0);
    turn(degrees[0], 1, 2);
    return v;
}

TEST(Steering, AMoveInTheViewPlaneFollowsThePointerWhateverTheTurn) {
    const std::array<double, 3> turns[] = {{0, 0, 0}, {0, 90, 0}, {18, 36, 0}, {90, 0, 0}, {200, 310, 47}};
    for (const auto& degrees : turns) {
        for (const double attenuation : {1.0, 2.5, -1.0}) {
            const auto steps = tessel::translation_steps(degrees, 20.0, -10.0, attenuation);
            // Slider steps count against the translation.
            const auto moved = rotated(degrees, {-steps[0] * attenuation, -steps[1] * attenuation,
                                                 -steps[2] * attenuation});
            EXPECT_NEAR(moved[0], 20.0, 1e-9) << degrees[0] << " " << degrees[1] << " " << degrees[2];
            EXPECT_NEAR(moved[1], -10.0, 1e-9);
            EXPECT_NEAR(moved[2], 0.0, 1e-9);
        }
    }
    EXPECT_EQ(tessel::translation_steps({0, 0, 0}, 20.0, 10.0, 1.0), (std::array<double, 3>{-20.0, -10.0, 0.0}));
    EXPECT_EQ(tessel::translation_steps({10, 20, 30}, 20.0, 10.0, 0.0), (std::array<double, 3>{0.0, 0.0, 0.0}));
}

TEST(RecentFiles, NewestFirstWithoutRepeatsAndAtMostEight) {
    const QStringList eight = {"/a/1.wrl", "/a/2.wrl", "/a/3.wrl", "/a/4.wrl",
                               "/a/5.wrl", "/a/6.wrl", "/a/7.wrl", "/a/8.wrl"};
    const struct {
        QStringList list;
        QString path;
        QStringList expected;
    } cases[] = {
        {{}, "/a/1.wrl", {"/a/1.wrl"}},
        {eight, "/a/9.wrl", QStringList{"/a/9.wrl"} + eight.mid(0, 7)},
        {eight, "/a/5.wrl", {"/a/5.wrl", "/a/1.wrl", "/a/2.wrl", "/a/3.wrl", "/a/4.wrl", "/a/6.wrl", "/a/7.wrl",
                             "/a/8.wrl"}},
        {{"/a/1.wrl", "/a/2.wrl"}, "/a/./b/../2.wrl", {"/a/2.wrl", "/a/1.wrl"}},
        {{"/a/1.wrl", "", "/a/1.wrl"}, "/a/3.wrl", {"/a/3.wrl", "/a/1.wrl"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tessel::with_recent_file(c.list, c.path), c.expected) << c.path.toStdString();
}

TEST(RecentFiles, ItemsAreNumberedAndShowAmpersandsAsWritten) {
    EXPECT_EQ(tessel::recent_file_text(0, "/models/cube.wrl"), "&1 cube.wrl (/models)");
    EXPECT_EQ(tessel::recent_file_text(7, "/R&D/a&b.wrl"), "&8 a&&b.wrl (/R&&D)");
}

}  // namespace
