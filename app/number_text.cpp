#include "app/number_text.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace tessel {

std::string format_attenuation(float value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value),
                                      std::chars_format::general, 6);
    return std::string(buffer, result.ptr);
}

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::optional<float> parse_attenuation(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    // from_chars refuses a leading '+', which people do type.
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) return std::nullopt;
    }
    if (text.empty()) return std::nullopt;

    double value = 0.0;
    const char* const end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value, std::chars_format::general);
    if (result.ec != std::errc{} || result.ptr != end) return std::nullopt;
    // "inf" and "nan" parse, but they are not values the view can use.
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max()) {
        return std::nullopt;
    }
    return static_cast<float>(value);
}

}  // namespace tessel
