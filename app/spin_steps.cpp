// The tick's arithmetic on the attenuation spins.

#include "app/spin_steps.h"

#include <cstdint>

namespace tessel {

namespace {

constexpr std::int32_t kRestReading = 0x10000 | kSpinRest;  // a spin at rest, error flag set
constexpr std::int32_t kStepBound = 10;
constexpr double kStepFactor = -0.1;
constexpr float kStep = 0.1f;

}  // namespace

float step_attenuation(float value, const CSpinButtonCtrl& spin) {
    const std::int32_t reading = spin.GetPos();
    const std::int32_t steps = kRestReading - reading;
    // The low word is the position: below the rest position -1 it counts
    // up-arrow clicks, however many there were; at 0 the spin went down.
    const bool went_up = static_cast<std::int16_t>(reading & 0xFFFF) < 0;
    if (steps < kStepBound || went_up) {
        return static_cast<float>(static_cast<double>(value) - steps * kStepFactor);
    }
    return static_cast<float>(static_cast<double>(value) - static_cast<double>(kStep));
}

}  // namespace tessel
