#pragma once
// Text forms of the two attenuation values, independent of the process
// locale (Qt sets it from the environment, and a French or German locale
// would turn "0.5" into 0 under atof or printf).

#include <optional>
#include <string>
#include <string_view>

namespace tessel {

// General number format with six significant digits, as printf's "%g":
// 1.0 gives "1", 1.1f gives "1.1", 1e6 gives "1e+06".
std::string format_attenuation(float value);

// A decimal number with optional blanks around it and an optional sign.
// Empty text, trailing garbage, and values that are not finite or do not fit
// a float give no value: they are not numbers a user can steer with.
std::optional<float> parse_attenuation(std::string_view text);

}  // namespace tessel
