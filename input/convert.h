#pragma once
// Number conversions of the reader. They follow the C library's atof rule but
// never depend on the process locale (a GUI toolkit may switch LC_NUMERIC to
// a language whose decimal separator is a comma).

#include <cstdint>
#include <string>
#include <string_view>

namespace tessel::reader {

// atof: leading white space skipped, optional sign, the longest decimal
// prefix with fraction and exponent ("inf", "infinity", "nan" as strtod reads
// them); text that starts with no number gives 0. Overflow gives +-inf.
double parse_number(std::string_view word);

// The double rounded to the nearest single-precision value (+-inf beyond).
float to_single(double value);

// Truncated toward zero to 32 bits. Values beyond the 32-bit range (and NaN)
// become INT32_MAX or INT32_MIN, never a wrapped in-range value.
std::int32_t to_index(double value);

// Appends one text-list entry: the value in decimal followed by '#'. Fixed
// notation for 0 and magnitudes from 0.1 up to 1e20, otherwise mantissa,
// 'e', sign and three exponent digits; a decimal point always stays. The
// digits are the shortest that read back to the same double.
void append_entry(std::string& list, double value);

// Reads the entry at pos (up to the next '#') and moves pos past the '#'.
// Returns false, leaving pos, when the list has no entry left.
bool read_entry(std::string_view list, std::size_t& pos, double& value);

}  // namespace tessel::reader
