// Number formats of the output files.
//
// A real is first rounded by std::to_chars, which rounds the exact binary
// value correctly but sends an exact tie to the even digit. Such a tie is
// recognised with a few exact integer operations and its last digit raised,
// which gives rounding half away from zero without any multi-precision
// arithmetic on ordinary numbers.
#include "write/format.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace velmora {
namespace {

using u64 = std::uint64_t;

// 5^0 .. 5^27; 5^27 is the largest power of five below 2^64.
constexpr u64 pow5[28] = {
    1ull,
    5ull,
    25ull,
    125ull,
    625ull,
    3125ull,
    15625ull,
    78125ull,
    390625ull,
    1953125ull,
    9765625ull,
    48828125ull,
    244140625ull,
    1220703125ull,
    6103515625ull,
    30517578125ull,
    152587890625ull,
    762939453125ull,
    3814697265625ull,
    19073486328125ull,
    95367431640625ull,
    476837158203125ull,
    2384185791015625ull,
    11920928955078125ull,
    59604644775390625ull,
    298023223876953125ull,
    1490116119384765625ull,
    7450580596923828125ull,
};

// The longest mantissa to_chars writes for a double: "-d." + aft digits
// + "e-324", plus some room.
constexpr int to_chars_room = 16;

// Most characters to_chars writes after the mantissa: "e-324".
constexpr int exponent_room = 5;

// Most significant digits the exact decimal expansion of a double can have
// (767); 800 digits after the point are therefore always exact.
constexpr int exact_precision = 800;

// "00" "01" ... "99".
constexpr char digit_pairs[201] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The two digits of v < 100.
const char* two_digits(std::uint32_t v) { return &digit_pairs[std::size_t{2} * v]; }

// Digits of v < 10^8 (1 for 0).
int decimal_digits(std::uint32_t v) {
    return 1 + (v >= 10) + (v >= 100) + (v >= 1000) + (v >= 10000) + (v >= 100000) + (v >= 1000000) + (v >= 10000000);
}

// Writes the decimal digits of m (no leading zeros) somewhere in buffer and
// returns where they start, n their count. Numbers below 10^8 (node and
// element numbers, most whole coordinates) take all eight digits at once,
// from four independent two-digit pieces, and drop the leading zeros.
char* decimal(u64 m, char (&buffer)[20], int& n) {
    if (m < 100000000) {
        const auto v = static_cast<std::uint32_t>(m);
        const std::uint32_t high = v / 10000, low = v % 10000;
        std::memcpy(buffer, two_digits(high / 100), 2);
        std::memcpy(buffer + 2, two_digits(high % 100), 2);
        std::memcpy(buffer + 4, two_digits(low / 100), 2);
        std::memcpy(buffer + 6, two_digits(low % 100), 2);
        n = decimal_digits(v);
        return buffer + 8 - n;
    }
    n = static_cast<int>(std::to_chars(buffer, buffer + sizeof buffer, m).ptr - buffer);
    return buffer;
}

char* put_blanks(char* p, int n) {
    for (; n > 0; --n) *p++ = ' ';
    return p;
}

// Writes m in decimal with leading zeros to at least min_digits digits.
char* put_unsigned(char* p, u64 m, int min_digits) {
    char tmp[20];
    int n = 0;
    do {
        tmp[n++] = static_cast<char>('0' + m % 10);
        m /= 10;
    } while (m != 0);
    for (int k = n; k < min_digits; ++k) *p++ = '0';
    while (n > 0) *p++ = tmp[--n];
    return p;
}

// Whether v, rounded by to_chars to the digits d[0], d[2..2+aft) with
// decimal exponent e, was an exact tie that went down: with N those digits
// as an integer and odd = 2N + 1, whether v == odd * 10^(e - aft) / 2
// exactly. Only for aft <= 16, so that odd fits in 64 bits. v > 0, finite.
// The scaled v is tested for being an integer first: that fails at once for
// almost every value, before any digit is read or any division made.
bool tie_went_down_short(double v, const char* d, int aft, int e) {
    const auto digits = [&] {
        u64 n = static_cast<u64>(d[0] - '0');
        for (int k = 0; k < aft; ++k) n = n * 10 + static_cast<u64>(d[2 + k] - '0');
        return 2 * n + 1;
    };
    const int j = aft - e;
    if (j >= 0) {
        // v * 2^(j+1) == odd / 5^j. A dyadic number equals that fraction
        // only if it is an integer (and 5^j divides odd, so j <= 27).
        // Scaling by a power of two is exact: v < 10^(aft+1), no overflow.
        if (j > 27) return false;
        const double t = v * static_cast<double>(u64{1} << (j + 1));
        if (!(t < 0x1p63)) return false;
        const u64 ti = static_cast<u64>(t);
        if (static_cast<double>(ti) != t) return false;
        const u64 odd = digits();
        return odd % pow5[j] == 0 && odd / pow5[j] == ti;
    }
    // v * 2^(1-u) == odd * 5^u with u = -j: an odd integer, which a double
    // holds only below 2^53 (so u <= 22). v >= 10^e > 2^(u-1), so the
    // scaled value is at least 1 and the scaling exact.
    const int u = -j;
    if (u > 22) return false;
    const double t = v / static_cast<double>(u64{1} << (u - 1));
    if (!(t < 0x1p53)) return false;
    const u64 ti = static_cast<u64>(t);
    if (static_cast<double>(ti) != t) return false;
    return ti % pow5[u] == 0 && ti / pow5[u] == digits();
}

// As tie_went_down_short for any aft: compares with the exact expansion.
// Used only for more than 16 digits, so it may be slow.
bool tie_went_down_long(double v, const char* d, int aft, int e) {
    // With aft + 1 >= 767 digits the rounded digits are already exact.
    if (aft + 1 >= 767) return false;
    char x[exact_precision + to_chars_room];
    const auto r = std::to_chars(x, x + sizeof x, v, std::chars_format::scientific, exact_precision);
    const char* xe = x + 2 + exact_precision;  // the 'e'
    int ex = 0;
    for (const char* q = xe + 2; q < r.ptr; ++q) ex = ex * 10 + (*q - '0');
    if (xe[1] == '-') ex = -ex;
    if (ex != e || x[0] != d[0] || std::memcmp(x + 2, d + 2, static_cast<std::size_t>(aft)) != 0) return false;
    if (x[2 + aft] != '5') return false;
    for (const char* q = x + 3 + aft; q < xe; ++q)
        if (*q != '0') return false;
    return true;
}

char* put_exponent(char* p, int e, int exp) {
    *p++ = 'E';
    *p++ = e < 0 ? '-' : '+';
    const int digits = exp - 1 > 1 ? exp - 1 : 1;
    return put_unsigned(p, static_cast<u64>(e < 0 ? -e : e), digits);
}

// A whole number of magnitude m < 2^53 (its digits are exact): the digits are
// rounded to aft + 1 in integer arithmetic, a first dropped digit of 5 or
// more going up, away from zero. Mesh coordinates are often whole numbers.
char* format_whole(char* p, bool negative, u64 m, int fore, int aft, int exp) {
    char buffer[20];
    int n;
    char* const digits = decimal(m, buffer, n);
    int e = n - 1;
    const int keep = aft + 1;
    if (n > keep) {
        const bool up = digits[keep] >= '5';
        n = keep;
        if (up) {
            int k = keep - 1;
            for (; k >= 0 && digits[k] == '9'; --k) digits[k] = '0';
            if (k >= 0) {
                ++digits[k];
            } else {  // 99..9 became 100..0
                digits[0] = '1';
                ++e;
            }
        }
    }
    p = put_blanks(p, fore - (negative ? 2 : 1));
    if (negative) *p++ = '-';
    *p++ = digits[0];
    *p++ = '.';
    for (int k = 1; k < keep; ++k) *p++ = k < n ? digits[k] : '0';
    return put_exponent(p, e, exp);
}

char* format_finite(char* p, double value, int fore, int aft, int exp) {
    if (aft < 0) aft = 0;
    if (value == 0) {
        // Also negative zero: no sign.
        p = put_blanks(p, fore - 1);
        *p++ = '0';
        *p++ = '.';
        for (int k = 0; k < aft; ++k) *p++ = '0';
        return put_exponent(p, 0, exp);
    }
    const double magnitude = std::fabs(value);
    if (magnitude < 0x1p53) {
        const auto whole = static_cast<u64>(magnitude);
        if (static_cast<double>(whole) == magnitude) return format_whole(p, value < 0, whole, fore, aft, exp);
    }
    const bool negative = std::signbit(value);
    p = put_blanks(p, fore - (negative ? 2 : 1));
    char* const lead = p + (negative ? 1 : 0);
    char* const mant_end = lead + (aft > 0 ? 2 + aft : 1);
    // With exp < 3 a one-digit exponent is shorter than the two digits
    // to_chars writes: keep the caller's characters behind the number.
    char saved[exponent_room];
    if (exp < 3) std::memcpy(saved, mant_end, sizeof saved);
    // to_chars writes "[-]d.ddd...e+XX" (no point when aft is 0) in place;
    // its mantissa is already the final one and the exponent is rewritten.
    const auto r = std::to_chars(p, p + aft + to_chars_room, value, std::chars_format::scientific, aft);
    int e = 0;
    for (const char* q = mant_end + 2; q < r.ptr; ++q) e = e * 10 + (*q - '0');
    if (mant_end[1] == '-') e = -e;

    // Only a result with an even last digit can be a tie sent to even, and
    // raising an even digit by one never carries.
    char* const last = mant_end - 1;
    if ((*last - '0') % 2 == 0) {
        const double v = std::fabs(value);
        const bool down = aft <= 16 ? tie_went_down_short(v, lead, aft, e) : tie_went_down_long(v, lead, aft, e);
        if (down) ++*last;
    }

    p = mant_end;
    if (aft == 0) *p++ = '.';
    p = put_exponent(p, e, exp);
    if (exp < 3 && p < r.ptr) std::memcpy(p, saved + (p - mant_end), static_cast<std::size_t>(r.ptr - p));
    return p;
}

const char* non_finite_word(double value) {
    if (std::isnan(value)) return "NaN";
    return value < 0 ? "-Inf" : "Inf";
}

char* put_word(char* p, const char* word) {
    while (*word != '\0') *p++ = *word++;
    return p;
}

}  // namespace

char* format_integer(char* p, long long value, int width) {
    const bool negative = value < 0;
    // Magnitude in unsigned arithmetic, which also holds LLONG_MIN.
    const u64 m = negative ? u64{0} - static_cast<u64>(value) : static_cast<u64>(value);
    char buffer[20];
    int n;
    const char* const digits = decimal(m, buffer, n);
    p = put_blanks(p, width - n - (negative ? 1 : 0));
    if (negative) *p++ = '-';
    std::memcpy(p, digits, static_cast<std::size_t>(n));
    return p + n;
}

char* format_real(char* p, double value, int fore, int aft, int exp) {
    if (!std::isfinite(value)) {
        const char* word = non_finite_word(value);
        const int width = fore + 1 + (aft > 0 ? aft : 0) + 1 + exp;
        p = put_blanks(p, width - static_cast<int>(std::strlen(word)));
        return put_word(p, word);
    }
    return format_finite(p, value, fore, aft, exp);
}

char* format_real_unpadded(char* p, double value, int fore, int aft, int exp) {
    if (!std::isfinite(value)) return put_word(p, non_finite_word(value));
    return format_finite(p, value, fore, aft, exp);
}

}  // namespace velmora
