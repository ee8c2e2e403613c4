#include "formats/lexer.h"

#include <charconv>
#include <cstring>
#include <limits>

#include "input/convert.h"

namespace tessel::vrml {

namespace {

bool is_space(unsigned char c) { return c <= ' ' || c == ',' || c == 0x7f; }

// Characters that end a name: they start or end some other token.
bool ends_word(unsigned char c) {
    return is_space(c) || c == '{' || c == '}' || c == '[' || c == ']' || c == '(' || c == ')' || c == '|' ||
           c == '"' || c == '#' || c == '\\' || c == '~';
}

std::int32_t clamp32(std::int64_t v) {
    if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

}  // namespace

lexer::lexer(const char* begin, const char* end)
    : begin_(begin), p_(begin), end_(end), line_start_(begin), next_report_(end + 1) {}

void lexer::on_progress(std::function<void(int)> sink) {
    progress_ = std::move(sink);
    last_percent_ = -1;
    next_report_ = progress_ ? p_ : end_ + 1;
}

void lexer::report() {
    if (!progress_) {
        next_report_ = end_ + 1;
        return;
    }
    const std::int64_t length = end_ - begin_;
    const std::int64_t at = p_ - begin_;
    const int percent = length > 0 ? static_cast<int>(at * 100 / length) : 100;
    if (percent != last_percent_) {
        last_percent_ = percent;
        progress_(percent);
    }
    if (percent >= 100) {
        next_report_ = end_ + 1;
        return;
    }
    // The first offset that gives the next percentage.
    const std::int64_t next = ((percent + 1) * length + 99) / 100;
    next_report_ = begin_ + next;
}

const char* lexer::skip_comment(const char* p) {
    // The line end itself is left for skip() to count.
    const void* nl = std::memchr(p, '\n', static_cast<std::size_t>(end_ - p));
    const void* cr = std::memchr(p, '\r', static_cast<std::size_t>((nl ? static_cast<const char*>(nl) : end_) - p));
    if (cr) return static_cast<const char*>(cr);
    return nl ? static_cast<const char*>(nl) : end_;
}

std::string_view lexer::word() {
    const char* start = p_;
    const char* p = p_;
    while (p < end_ && !ends_word(static_cast<unsigned char>(*p))) ++p;
    p_ = p;
    return {start, static_cast<std::size_t>(p - start)};
}

bool lexer::at_number() const {
    if (p_ >= end_) return false;
    const char c = *p_;
    if ((c >= '0' && c <= '9') || c == '.') return true;
    if ((c == '-' || c == '+') && p_ + 1 < end_) {
        const char d = p_[1];
        return (d >= '0' && d <= '9') || d == '.' || d == 'i' || d == 'I' || d == 'n' || d == 'N';
    }
    return false;
}

bool lexer::read_float(float& value) {
    const char* p = p_;
    if (p < end_ && *p == '+') ++p;
    auto [ptr, ec] = std::from_chars(p, end_, value);
    if (ec == std::errc()) {
        p_ = ptr;
        return true;
    }
    if (ec == std::errc::result_out_of_range) {
        // Beyond single precision: the C library's rule gives +-inf or the
        // nearest tiny value, where from_chars leaves the value unset.
        value = reader::to_single(reader::parse_number(std::string_view(p, static_cast<std::size_t>(ptr - p))));
        p_ = ptr;
        return true;
    }
    return false;
}

bool lexer::read_int(std::int32_t& value) {
    const char* p = p_;
    bool negative = false;
    if (p < end_ && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    int base = 10;
    const char* digits = p;
    if (p + 1 < end_ && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        digits = p + 2;
    } else if (octal_ && p + 1 < end_ && p[0] == '0' && p[1] >= '0' && p[1] <= '7') {
        base = 8;
        digits = p + 1;
    }
    std::uint64_t magnitude = 0;
    auto [ptr, ec] = std::from_chars(digits, end_, magnitude, base);
    if (ec == std::errc::invalid_argument) return false;
    if (base == 10 && ptr < end_ && (*ptr == '.' || *ptr == 'e' || *ptr == 'E')) {
        // Written as a float where an integer belongs: truncate it.
        double d = 0;
        auto [fptr, fec] = std::from_chars(p_ + (*p_ == '+' ? 1 : 0), end_, d);
        if (fec == std::errc::invalid_argument) return false;
        if (fec == std::errc::result_out_of_range) d = reader::parse_number(std::string_view(p_, fptr - p_));
        value = reader::to_index(d);
        p_ = fptr;
        return true;
    }
    std::int64_t v;
    if (ec == std::errc::result_out_of_range || magnitude > (std::uint64_t{1} << 62)) {
        v = negative ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
    } else {
        v = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
        // Hexadecimal values name 32-bit patterns (packed colours).
        if (base == 16 && !negative && magnitude <= 0xffffffffu) v = static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
    }
    value = clamp32(v);
    p_ = ptr;
    return true;
}

bool lexer::read_string(std::string& out, bool& terminated) {
    out.clear();
    terminated = true;
    if (p_ >= end_) return false;
    if (*p_ != '"') {
        const std::string_view w = word();
        if (w.empty()) return false;
        out.assign(w);
        return true;
    }
    const char* p = p_ + 1;
    while (p < end_ && *p != '"') {
        char c = *p;
        if (c == '\\' && p + 1 < end_) {
            ++p;
            c = *p;
        }
        if (c == '\n' || (c == '\r' && (p + 1 >= end_ || p[1] != '\n'))) {
            ++line_;
            line_start_ = p + 1;
        }
        out.push_back(c);
        ++p;
    }
    if (p >= end_) {
        terminated = false;
        p_ = end_;
        return true;
    }
    p_ = p + 1;
    return true;
}

bool lexer::skip_group() {
    // One counter for all three kinds of bracket: a group only has to end
    // somewhere sensible, not be well formed inside.
    std::int64_t depth = 0;
    while (true) {
        skip();
        if (p_ >= end_) return false;
        const char c = *p_;
        if (c == '{' || c == '[' || c == '(') {
            ++depth;
            ++p_;
        } else if (c == '}' || c == ']' || c == ')') {
            ++p_;
            if (--depth <= 0) return true;
        } else if (c == '"') {
            std::string ignored;
            bool terminated;
            read_string(ignored, terminated);
        } else {
            if (word().empty()) ++p_;
        }
    }
}

std::string lexer::skip_stray() {
    const char c = peek();
    if (c == '[' || c == '(' || c == '{') {
        skip_group();
        return std::string("unexpected '") + c + "'; skipped up to its closing bracket";
    }
    advance();
    return std::string("unexpected '") + c + "'; skipped";
}

}  // namespace tessel::vrml
