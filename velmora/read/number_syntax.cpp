// The general number syntax of "input.txt", and every failure of a
// number: [sign] numeral [. numeral] [exponent], or [sign] base # numeral
// [. numeral] # [exponent] in a base from 2 to 16, where a numeral may
// group its digits with single underscores (1_000) and the exponent E[sign]
// digits is a power of the base. An integer takes no fraction and no
// negative exponent and must fit in 32 bits; a real must be a finite double.
#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "model/model.hpp"
#include "read/input_text.hpp"

namespace velmora {

namespace {

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// The longest numeral digit {[_] digit} in the given base that starts at p;
// its digits are appended to digits. Returns p when no digit stands there.
const char* numeral(const char* p, const char* end, int base, std::string& digits) {
    if (p == end || digit_value(*p) >= base) return p;
    digits += *p++;
    while (p != end) {
        if (digit_value(*p) < base) {
            digits += *p++;
        } else if (*p == '_' && p + 1 != end && digit_value(p[1]) < base) {
            digits += p[1];
            p += 2;
        } else {
            break;
        }
    }
    return p;
}

// Exact value of a digit string when it fits in 64 bits.
bool exact_value(const std::string& digits, int base, unsigned long long& value) {
    value = 0;
    for (char c : digits) {
        const auto d = static_cast<unsigned long long>(digit_value(c));
        if (value > (ULLONG_MAX - d) / static_cast<unsigned long long>(base)) return false;
        value = value * static_cast<unsigned long long>(base) + d;
    }
    return true;
}

bool power_of_two(int base, int& log2) {
    for (log2 = 1; log2 <= 4; ++log2)
        if (base == (1 << log2)) return true;
    return false;
}

}  // namespace

input_text::number input_text::read_number(bool real, const char* what) {
    skip_blanks();
    const char* const start = p_;
    const char* const kind = real ? "a real" : "an integer";
    if (p_ == end_)
        fail_at(end_, end_error, std::string("the file ends where ") + kind + " (" + what + ") was expected");

    number n;
    const char* q = p_;
    if (*q == '+' || *q == '-') n.negative = (*q++ == '-');

    std::string digits;
    const char* after = numeral(q, end_, 10, digits);
    if (after == q)
        fail_at(start, data_error, std::string("expected ") + kind + " (" + what + "), found " + found(start));
    q = after;

    int base = 10;
    std::string fraction;
    if (q != end_ && *q == '#') {
        // base # digits [. digits] # [exponent]: a number in a base from 2 to 16.
        unsigned long long b = 0;
        if (!exact_value(digits, 10, b) || b < 2 || b > 16)
            fail_at(start, data_error, "the base of the number " + found(start) + " (" + what + ") must lie in 2..16");
        base = static_cast<int>(b);
        digits.clear();
        after = numeral(q + 1, end_, base, digits);
        if (after == q + 1)
            fail_at(start, data_error,
                    "expected digits of base " + std::to_string(base) + " after '#' in " + found(start) + " (" + what +
                        ")");
        q = after;
        if (q != end_ && *q == '.') {
            after = numeral(q + 1, end_, base, fraction);
            if (after == q + 1 || !real)
                fail_at(start, data_error, std::string("expected ") + kind + " (" + what + "), found " + found(start));
            q = after;
        }
        if (q == end_ || *q != '#')
            fail_at(start, data_error,
                    "expected a closing '#' after the digits of base " + std::to_string(base) + " in " + found(start) +
                        " (" + what + ")");
        ++q;
    } else if (real && q != end_ && *q == '.' && q + 1 != end_ && digit_value(q[1]) < 10) {
        q = numeral(q + 1, end_, 10, fraction);
    }

    // Exponent: E or e, an optional sign and decimal digits; for a based
    // number it is a power of the base.
    bool exponent_negative = false;
    std::string exponent_digits;
    if (q != end_ && (*q == 'E' || *q == 'e')) {
        const char* r = q + 1;
        bool negative = false;
        if (r != end_ && (*r == '+' || *r == '-')) negative = (*r++ == '-');
        after = numeral(r, end_, 10, exponent_digits);
        if (after != r) {
            q = after;
            exponent_negative = negative;
        } else {
            exponent_digits.clear();
        }
    }
    p_ = q;

    // The exponent saturates at a value beyond any double's range in any
    // base even after the digits of the longest text that fits in memory
    // have shifted it (0.000...1E400 with 100000 zeros is 1E-99600), and
    // small enough that four times it still fits in a long long.
    constexpr long long exponent_cap = 100'000'000'000'000'000;
    long long exponent = 0;
    for (char c : exponent_digits) exponent = std::min(exponent * 10 + (c - '0'), exponent_cap);
    if (exponent_negative) exponent = -exponent;

    // The number as it stands in the file, shortened for the message.
    const std::string text =
        q - start <= longest_quote ? std::string(start, q) : std::string(start, start + longest_quote) + "...";
    if (!real) {
        if (exponent < 0)
            fail_at(start, data_error,
                    "expected an integer (" + std::string(what) + "), found " + found(start) +
                        " (an integer cannot have a negative exponent)");
        unsigned long long value = 0;
        bool fits = exact_value(digits, base, value);
        // A value other than 0 leaves the 64 bits within 64 multiplications.
        for (long long k = 0; fits && value != 0 && k < exponent; ++k) {
            if (value > ULLONG_MAX / static_cast<unsigned long long>(base)) fits = false;
            value *= static_cast<unsigned long long>(base);
        }
        const unsigned long long limit = n.negative ? 2147483648ULL : 2147483647ULL;
        if (!fits || value > limit)
            fail_at(start, data_error,
                    "the integer " + text + " (" + what + ") lies outside the range -2147483648..2147483647");
        n.integer = n.negative ? -static_cast<long long>(value) : static_cast<long long>(value);
        return n;
    }

    double value = 0.0;
    int log2 = 0;
    unsigned long long mantissa = 0;
    if (base == 10) {
        std::string decimal = digits;
        if (!fraction.empty()) {
            decimal += '.';
            decimal += fraction;
        }
        if (exponent != 0) {
            decimal += 'e';
            decimal += std::to_string(exponent);
        }
        const auto r = std::from_chars(decimal.data(), decimal.data() + decimal.size(), value);
        if (r.ec == std::errc::result_out_of_range) value = std::strtod(decimal.c_str(), nullptr);
    } else if (exact_value(digits + fraction, base, mantissa) && power_of_two(base, log2)) {
        // Exact but for the one rounding of a mantissa longer than 53 bits.
        const long long scale = static_cast<long long>(log2) * (exponent - static_cast<long long>(fraction.size()));
        value = std::ldexp(static_cast<double>(mantissa), static_cast<int>(std::clamp(scale, -100000LL, 100000LL)));
    } else {
        long double m = 0.0L;
        for (char c : digits + fraction) m = m * base + digit_value(c);
        // A zero mantissa is zero whatever the exponent (0 times an
        // overflowing power would be NaN).
        const long double scaled =
            m == 0 ? 0.0L
                   : m * std::pow(static_cast<long double>(base),
                                  static_cast<long double>(exponent - static_cast<long long>(fraction.size())));
        value = static_cast<double>(scaled);
    }
    if (!std::isfinite(value))
        fail_at(start, data_error,
                "the real " + text + " (" + std::string(what) + ") lies outside the range of a double");
    n.real = n.negative ? -value : value;
    return n;
}

}  // namespace velmora
