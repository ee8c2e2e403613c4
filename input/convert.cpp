#include "input/convert.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale.h>

namespace tessel::reader {
namespace {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// from_chars leaves the value alone when the result is out of range; strtod
// then gives +-HUGE_VAL or the (possibly denormal) underflowed value. Only
// that rare case goes to strtod, under a fixed "C" locale.
double parse_out_of_range(const char* first, const char* last) {
    static locale_t c_locale = newlocale(LC_ALL_MASK, "C", nullptr);
    std::string copy(first, last);
    return strtod_l(copy.c_str(), nullptr, c_locale);
}

}  // namespace

double parse_number(std::string_view word) {
    const char* p = word.data();
    const char* end = p + word.size();
    while (p != end && is_space(*p)) ++p;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) {
        negative = (*p == '-');
        ++p;
    }
    if (p == end) return 0.0;
    // from_chars would also take a second sign; atof does not.
    if (*p == '+' || *p == '-') return 0.0;
    double value = 0.0;
    const auto [stop, ec] = std::from_chars(p, end, value, std::chars_format::general);
    if (ec == std::errc::invalid_argument) return 0.0;
    if (ec == std::errc::result_out_of_range) value = parse_out_of_range(p, stop);
    return negative ? -value : value;
}

float to_single(double value) {
    constexpr double max = std::numeric_limits<float>::max();
    // Halfway between FLT_MAX and the next power of two: from here on the
    // nearest single-precision value is infinity.
    constexpr double overflow = 3.4028235677973366e38;
    if (value > max) return value >= overflow ? std::numeric_limits<float>::infinity() : std::numeric_limits<float>::max();
    if (value < -max) return value <= -overflow ? -std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::max();
    return static_cast<float>(value);
}

std::int32_t to_index(double value) {
    if (std::isnan(value)) return std::numeric_limits<std::int32_t>::min();
    const double t = std::trunc(value);
    if (t >= 2147483648.0) return std::numeric_limits<std::int32_t>::max();
    if (t < -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(t);
}

void append_entry(std::string& list, double value) {
    char buf[64];
    if (std::isnan(value)) {
        list += "nan#";
        return;
    }
    if (std::isinf(value)) {
        list += value < 0 ? "-inf#" : "inf#";
        return;
    }
    const double mag = std::fabs(value);
    if (mag == 0.0 || (mag >= 0.1 && mag < 1e20)) {
        const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
        list.append(buf, r.ptr);
        if (!std::memchr(buf, '.', static_cast<std::size_t>(r.ptr - buf))) list += '.';
        list += '#';
        return;
    }
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    const char* e = static_cast<const char*>(std::memchr(buf, 'e', static_cast<std::size_t>(r.ptr - buf)));
    list.append(buf, static_cast<std::size_t>(e - buf));
    if (!std::memchr(buf, '.', static_cast<std::size_t>(e - buf))) list += '.';
    list += 'e';
    const char* exp = e + 1;
    char sign = '+';
    if (*exp == '+' || *exp == '-') sign = *exp++;
    list += sign;
    for (std::ptrdiff_t pad = 3 - (r.ptr - exp); pad > 0; --pad) list += '0';
    list.append(exp, static_cast<std::size_t>(r.ptr - exp));
    list += '#';
}

bool read_entry(std::string_view list, std::size_t& pos, double& value) {
    if (pos >= list.size()) return false;
    const std::size_t hash = list.find('#', pos);
    if (hash == std::string_view::npos) return false;
    value = parse_number(list.substr(pos, hash - pos));
    pos = hash + 1;
    return true;
}

}  // namespace tessel::reader
