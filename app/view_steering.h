#pragma once
// What a hand in the GL window does to the panel's values: turns, zooms and
// moves expressed as new slider positions and attenuation values, so that
// the panel and its tick stay the one place the view comes from. Plain
// arithmetic, no Qt and no window.

#include <array>

namespace tessel {

// The panel's sliders run 0 to 100; a rotation slider makes a full turn.
constexpr int kSliderSteps = 100;
constexpr double kDegreesPerStep = 360.0 / kSliderSteps;
constexpr int kSliderCentre = 50;

// Scene units across the GL window, whatever its size: the renderer's fixed
// box of -400 to 400. A move drag keeps the scene under the pointer with it.
constexpr double kViewBoxWidth = 800.0;

// Zoom: each notch or key multiplies the scale attenuation by this much.
constexpr double kZoomFactor = 1.1;
// The magnitudes zooming keeps the scale attenuation between: a hundredth
// makes any scene a speck, a thousand brings scenes written in units of one
// up to the window's size. Typed values may lie outside.
constexpr float kZoomMin = 0.01f;
constexpr float kZoomMax = 1000.0f;

// A rotation slider turned by steps, wrapped into 0..99 (100 is 0 again).
int turned_position(int position, int steps);

// The scale attenuation after steps notches (positive: larger picture),
// rounded to three significant digits. Its sign is kept; zooming never takes it past kZoomMin or kZoomMax, and leaves
// a value that a user typed outside them alone when the step would take it
// further out. Zero zooms in to kZoomMin.
float zoomed_attenuation(float value, int steps);

// A translation slider moved by steps, clamped to 0..100.
int moved_position(int position, int steps);

// Whole slider steps out of a gesture that comes in fractions: add() takes
// a fractional amount and returns the whole steps it completes, keeping the
// rest for the next call, so that slow drags add up exactly.
class step_accumulator {
public:
    int add(double amount);
    void reset() { m_rest = 0.0; }

private:
    double m_rest = 0.0;
};

// The change of the three translation sliders that moves the picture by
// (right, up) scene units in the view plane, given the rotation sliders'
// angles in degrees and the translate attenuation. The view translation is
// applied inside the rotation, so a move in the view plane is the rotated
// back one; the sliders count against the translation ((50 - position) x
// attenuation). Zero for a zero attenuation, which moves nothing.
std::array<double, 3> translation_steps(const std::array<double, 3>& rotation_degrees, double right, double up,
                                        double translate_attenuation);

}  // namespace tessel
