#pragma once
// What the tick makes of the attenuation spins: each tick reads how far a
// spin moved since the last one and puts it back at rest. Plain arithmetic
// on the spin's reading, without the panel.

#include "app/spin_button.h"

namespace tessel {

// The spins' range, cut to 16 bits by the control: it runs 0 down to -15536.
constexpr int kSpinRange = 50000;
// The spins' rest position (-1 in 16 bits): the tick puts them back there
// after each run, so that its next reading counts only the clicks since.
constexpr int kSpinRest = 0xFFFF;

// What the tick does with one spin: the value moves by 0.1 per up-arrow step
// since the previous tick, or down by 0.1 once when the spin moved down.
float step_attenuation(float value, const CSpinButtonCtrl& spin);

}  // namespace tessel
