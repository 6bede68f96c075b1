// Tests of the number formats. Expected strings are worked out by hand from
// the exact binary values, or taken from glibc's printf, which expands the
// exact binary value at any precision.
#include "write/format.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfenv>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

namespace {

constexpr double inf = HUGE_VAL, tiny = 0x1p-1074;
const double nan = std::nan("");

// Runs a writer into a buffer of '#': it must write only printable ASCII and
// nothing past the end it returns.
template <class Writer>
std::string run(Writer write) {
    std::string buf(1024, '#');
    const auto n = static_cast<std::size_t>(write(buf.data()) - buf.data());
    EXPECT_EQ(buf.find_first_not_of('#', n), std::string::npos) << "written past the end";
    buf.resize(n);
    EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](char c) { return c >= 0x20 && c <= 0x7e; })) << buf;
    return buf;
}

std::string real(double v, int fore, int aft, int exp) {
    return run([&](char* p) { return velmora::format_real(p, v, fore, aft, exp); });
}

std::string printf_e(const char* format, int digits, double v) {
    char buf[1200];
    std::snprintf(buf, sizeof buf, format, digits, v);
    return buf;
}

TEST(FormatInteger, AgreesWithPrintfAtEveryDigitCountAndWidth) {
    char expected[40];
    for (long long power = 1; power > 0; power = power > LLONG_MAX / 10 ? 0 : power * 10)  // 1 to 10^18
        for (const long long v : {power - 1, power, 1 - power, -power, LLONG_MIN, LLONG_MAX})
            for (const int width : {0, 3, 5, 22}) {
                std::snprintf(expected, sizeof expected, "%*lld", width, v);
                EXPECT_EQ(run([&](char* p) { return velmora::format_integer(p, v, width); }), expected) << width;
            }
}

// Exact halves go away from zero (printf would go to the even digit), values
// near a tie by their exact binary value; a carry renormalises and may add
// an exponent digit; exponents take at least exp characters with their sign;
// zero has no sign; subnormals keep their digits. A value that is not
// finite is its word, right-aligned to fore + 1 + aft + 1 + exp.
TEST(FormatReal, HandWorkedTiesCarriesExponentsExtremesAndWords) {
    // 1.000000499... and 1.000000500..., the doubles on either side of 1.0000005
    const double below = 1.0 + std::ldexp(2251799813.0, -52), above = below + 0x1p-52;
    const struct {
        double value;
        int fore, aft, exp;
        const char* text;
    } cases[] = {
        {1.2578125, 1, 6, 3, "1.257813E+00"},
        {-1.2578125, 1, 6, 3, "-1.257813E+00"},
        {2.5, 1, 0, 3, "3.E+00"},
        {1234565.0, 1, 5, 3, "1.23457E+06"},
        {0x1p-22, 1, 14, 3, "2.38418579101563E-07"},         // a half of 10^-21
        {-0x1p-30, 1, 19, 3, "-9.3132257461547851563E-10"},  // a tie beyond 16 digits
        {below, 1, 6, 3, "1.000000E+00"},
        {above, 1, 6, 3, "1.000001E+00"},
        {9.9999994, 1, 6, 3, "9.999999E+00"},
        {2.675, 1, 2, 3, "2.67E+00"},
        {std::nextafter(2.5, 0.0), 1, 0, 3, "2.E+00"},  // 2.67499999999999982236...
        {9.9999999, 2, 6, 3, " 1.000000E+01"},
        {-999999.5, 1, 5, 3, "-1.00000E+06"},  // a tie that carries
        {9.9999999e99, 1, 6, 3, "1.000000E+100"},
        {9.9999999e-100, 1, 6, 3, "1.000000E-99"},
        {1.5, 1, 1, 2, "1.5E+0"},
        {1.5, 1, 1, 4, "1.5E+000"},
        {1.5e-7, 1, 1, 4, "1.5E-007"},
        {1.5e12, 1, 1, 2, "1.5E+12"},
        {-1.0, 3, 6, 3, " -1.000000E+00"},
        {1.0, 3, 6, 3, "  1.000000E+00"},
        {0.0, 2, 6, 3, " 0.000000E+00"},
        {-0.0, 2, 6, 3, " 0.000000E+00"},
        {-0.0, 1, 0, 4, "0.E+000"},
        {tiny, 1, 6, 3, "4.940656E-324"},  // 2^-1074
        {-tiny, 2, 8, 3, "-4.94065646E-324"},
        {DBL_MIN - tiny, 1, 6, 3, "2.225074E-308"},
        {DBL_MAX, 1, 8, 3, "1.79769313E+308"},
        {nan, 2, 8, 3, "            NaN"},
        {-nan, 2, 6, 3, "          NaN"},
        {-inf, 2, 6, 3, "         -Inf"},
        {inf, 1, 6, 3, "         Inf"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(real(c.value, c.fore, c.aft, c.exp), c.text)
            << printf_e("%.*e", 25, c.value) << " (" << c.fore << ", " << c.aft << ", " << c.exp << ")";
}

// The unpadded form writes the word alone and finite values as format_real.
TEST(FormatReal, UnpaddedWordsStandAlone) {
    std::string s;
    for (const double v : {-nan, inf, -inf, 1.2578125, -0.0})
        s += run([&](char* p) { return velmora::format_real_unpadded(p, v, 2, 6, 3); }) + ",";
    EXPECT_EQ(s, "NaN,Inf,-Inf, 1.257813E+00, 0.000000E+00,");
}

// The expected text from printf, which rounds by the current rounding mode:
// to nearest sends a tie to even, so an exact tie (dropped digits 5000...)
// is printed rounding away from zero instead.
std::string reference(double v, int fore, int aft, int exp, int& ties) {
    const std::string x = printf_e("%.*e", 800, v);  // exact: no double has more digits
    const std::size_t cut = (v < 0 ? 3 : 2) + static_cast<std::size_t>(aft);
    const bool tie = x[cut] == '5' && x.find_first_not_of('0', cut + 1) == x.find('e');
    ties += tie;
    if (tie) std::fesetround(v < 0 ? FE_DOWNWARD : FE_UPWARD);
    const std::string s = printf_e("%#.*e", aft, v);
    std::fesetround(FE_TONEAREST);
    const std::size_t e = s.find('e');
    const int ex = std::stoi(s.substr(e + 1));
    char tail[16];
    std::snprintf(tail, sizeof tail, "E%c%0*d", ex < 0 ? '-' : '+', std::max(exp - 1, 1), std::abs(ex));
    return std::string(static_cast<std::size_t>(std::max(fore - (v < 0 ? 2 : 1), 0)), ' ') + s.substr(0, e) + tail;
}

TEST(FormatReal, RandomAgainstPrintf) {
    std::mt19937_64 rng(20240611);
    const int afts[] = {6, 6, 6, 8, 8, 8, 0, 1, 2, 3, 5, 10, 14, 15, 16, 17, 20, 30};
    int ties = 0, mismatches = 0;
    for (int i = 0; i < 60000; ++i) {
        double v;
        if (i % 3 == 0) {  // any bit pattern: all exponents, subnormals
            v = std::bit_cast<double>(rng());
            if (!std::isfinite(v) || v == 0) continue;
        } else if (i % 6 == 5) {  // whole numbers of 1 to 16 digits, ties and carries among them
            v = (rng() & 1 ? -1.0 : 1.0) * static_cast<double>((rng() >> (11 + rng() % 53)) * (i % 12 == 5 ? 5 : 1));
            if (v == 0) continue;
        } else {  // few significant bits (many exact ties) or short decimals (near ties)
            const double n = static_cast<double>(1 + rng() % (i % 3 == 1 ? 1u << 16 : 100000000u));
            const int k = static_cast<int>(rng() % 40);
            v = (rng() & 1 ? -1 : 1) * (i % 3 == 1 ? std::ldexp(n, k - 24) : n * std::pow(10.0, k - 20));
        }
        const int aft = afts[rng() % std::size(afts)], fore = 1 + int(rng() % 3), exp = 1 + int(rng() % 4);
        const std::string want = reference(v, fore, aft, exp, ties), got = real(v, fore, aft, exp);
        if (got != want && ++mismatches <= 10)
            ADD_FAILURE() << printf_e("%.*e", 40, v) << " (" << fore << ", " << aft << ", " << exp << "): got \"" << got
                          << "\", want \"" << want << '"';
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(ties, 200);  // the tie correction was exercised
}

}  // namespace
