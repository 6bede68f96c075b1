// The plain forms of a number, read in place: nearly every number of a
// model file is one of them.
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "read/input_text.hpp"

namespace velmora {

namespace {

bool is_decimal(char c) { return c >= '0' && c <= '9'; }

// The end of the digits that start at p.
const char* decimal_digits(const char* p, const char* end) {
    while (p != end && is_decimal(*p)) ++p;
    return p;
}

// The end of the digits that start at p, and their value in value, wrapped
// modulo 2^64 when they are too many for it.
const char* decimal_digits(const char* p, const char* end, std::uint64_t& value) {
    value = 0;
    for (; p != end && is_decimal(*p); ++p) value = value * 10 + static_cast<std::uint64_t>(*p - '0');
    return p;
}

// A character after which the plain forms below do not tell where the
// number ends: underscores, bases and exponents take the general path.
bool needs_general_path(const char* p, const char* end) {
    return p != end && (*p == '_' || *p == '#' || *p == 'E' || *p == 'e');
}

}  // namespace

// The plain forms, [sign] digits for an integer and [sign] digits [.digits]
// [E[sign]digits] for a real, which are nearly all numbers of a model file,
// are read here without building any string; everything else, and every
// failure, goes through read_number.
int input_text::read_integer(const char* what) {
    skip_blanks();
    const char* q = p_;
    bool negative = false;
    if (q != end_ && (*q == '+' || *q == '-')) negative = (*q++ == '-');
    const char* const digits = q;
    // Digits and value in one pass; the value is used only when there are
    // at most 9 digits.
    std::uint64_t value = 0;
    q = decimal_digits(q, end_, value);
    constexpr std::ptrdiff_t safe_digits = 9;  // any 9 digits fit in 32 bits
    if (q != digits && q - digits <= safe_digits && !needs_general_path(q, end_)) {
        p_ = q;
        const int v = static_cast<int>(value);
        return negative ? -v : v;
    }
    return static_cast<int>(read_number(false, what).integer);
}

double input_text::read_real(const char* what) {
    skip_blanks();
    const char* q = p_;
    bool negative = false;
    if (q != end_ && (*q == '+' || *q == '-')) negative = (*q++ == '-');
    const char* const number_start = q;
    std::uint64_t whole = 0;
    q = decimal_digits(q, end_, whole);
    if (q != number_start) {
        // A whole number of up to 15 digits is below 2^53: its double is
        // exact, which is what from_chars would give.
        constexpr std::ptrdiff_t exact_digits = 15;
        if (q - number_start <= exact_digits && (q == end_ || (*q != '.' && !needs_general_path(q, end_)))) {
            p_ = q;
            const double value = static_cast<double>(whole);
            return negative ? -value : value;
        }
        if (q + 1 < end_ && *q == '.' && is_decimal(q[1])) q = decimal_digits(q + 1, end_);
        if (q != end_ && (*q == 'E' || *q == 'e')) {
            const char* r = q + 1;
            if (r != end_ && (*r == '+' || *r == '-')) ++r;
            const char* const exponent = r;
            r = decimal_digits(r, end_);
            if (r != exponent) q = r;
        }
        double value = 0.0;
        if (!needs_general_path(q, end_)) {
            const auto result = std::from_chars(number_start, q, value, std::chars_format::general);
            if (result.ec == std::errc() && result.ptr == q && std::isfinite(value)) {
                p_ = q;
                return negative ? -value : value;
            }
        }
    }
    return read_number(true, what).real;
}

}  // namespace velmora
