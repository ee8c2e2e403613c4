#include "app/view_steering.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tessel {

int turned_position(int position, int steps) {
    const int turned = (position + steps) % kSliderSteps;
    return turned < 0 ? turned + kSliderSteps : turned;
}

namespace {

// Three significant digits: the field stays short enough to read whole, and
// a notch in and a notch out come back to the same value.
double three_digits(double value) {
    if (!(value > 0.0) || !std::isfinite(value)) return value;
    const int exponent = static_cast<int>(std::floor(std::log10(value))) - 2;
    const double unit = std::pow(10.0, std::abs(exponent));
    return exponent < 0 ? std::round(value * unit) / unit : std::round(value / unit) * unit;
}

}  // namespace

float zoomed_attenuation(float value, int steps) {
    if (steps == 0) return value;
    const double magnitude = std::fabs(static_cast<double>(value));
    double zoomed = three_digits(magnitude * std::pow(kZoomFactor, steps));
    if (steps > 0) {
        zoomed = std::min(std::max(zoomed, static_cast<double>(kZoomMin)), std::max<double>(kZoomMax, magnitude));
    } else {
        zoomed = std::max(zoomed, std::min<double>(kZoomMin, magnitude));
    }
    return std::copysign(static_cast<float>(zoomed), value);
}

int moved_position(int position, int steps) { return std::clamp(position + steps, 0, kSliderSteps); }

int step_accumulator::add(double amount) {
    m_rest += amount;
    const double whole = std::trunc(m_rest);
    m_rest -= whole;
    return static_cast<int>(whole);
}

std::array<double, 3> translation_steps(const std::array<double, 3>& rotation_degrees, double right, double up,
                                        double translate_attenuation) {
    if (translate_attenuation == 0.0 || !std::isfinite(translate_attenuation)) return {0.0, 0.0, 0.0};
    // The picture is Rx * Ry * Rz * (point + translation); the move d in the
    // view plane is R * delta, so delta = R^T d, taken back one axis at a
    // time: undo x first, then y, then z.
    double v[3] = {right, up, 0.0};
    const auto undo = [&v](double degrees, int a, int b) {
        const double r = degrees * std::numbers::pi / 180.0;
        const double c = std::cos(r), s = std::sin(r);
        const double va = v[a], vb = v[b];
        v[a] = c * va + s * vb;
        v[b] = -s * va + c * vb;
    };
    undo(rotation_degrees[0], 1, 2);  // about x: (y, z)
    undo(rotation_degrees[1], 2, 0);  // about y: (z, x)
    undo(rotation_degrees[2], 0, 1);  // about z: (x, y)
    return {-v[0] / translate_attenuation, -v[1] / translate_attenuation, -v[2] / translate_attenuation};
}

}  // namespace tessel
