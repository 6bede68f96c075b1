// Tests of the number formats. Expected strings are worked out by hand from
// the exact binary values (noted beside each case), or, in the randomised
// check, from glibc's exact printf expansion rounded here independently.
#include "format.hpp"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

constexpr char sentinel = '#';
constexpr std::size_t buffer_size = 1024;

// Runs a writer into a buffer filled with a sentinel and checks that it
// wrote only printable ASCII and nothing past the end it returned.
template <class Writer>
std::string run(Writer write) {
    char buf[buffer_size];
    std::memset(buf, sentinel, sizeof buf);
    char* end = write(buf);
    EXPECT_TRUE(end >= buf && end < buf + buffer_size);
    for (const char* q = end; q < buf + buffer_size; ++q) {
        if (*q != sentinel) {
            ADD_FAILURE() << "written past the returned end";
            break;
        }
    }
    std::string s(buf, end);
    for (char c : s) EXPECT_TRUE(c >= 0x20 && c <= 0x7e) << "non-printable in \"" << s << '"';
    return s;
}

std::string integer(long long v, int width) {
    return run([&](char* p) { return velmora::format_integer(p, v, width); });
}

std::string real(double v, int fore, int aft, int exp) {
    return run([&](char* p) { return velmora::format_real(p, v, fore, aft, exp); });
}

std::string unpadded(double v, int fore, int aft, int exp) {
    return run([&](char* p) { return velmora::format_real_unpadded(p, v, fore, aft, exp); });
}

// The formats the output files use.
std::string e6(double v) { return real(v, 1, 6, 3); }
std::string e8(double v) { return real(v, 1, 8, 3); }

// Exact decimal expansion from glibc printf (exact at any precision).
std::string exact(double v, int digits) {
    char buf[1200];
    std::snprintf(buf, sizeof buf, "%.*e", digits, v);
    return buf;
}

// ---------------------------------------------------------------- integers

TEST(FormatInteger, RightAlignedInWidth) {
    EXPECT_EQ(integer(42, 5), "   42");
    EXPECT_EQ(integer(-42, 5), "  -42");
    EXPECT_EQ(integer(0, 3), "  0");
    EXPECT_EQ(integer(12345, 5), "12345");
    EXPECT_EQ(integer(-1234, 5), "-1234");
    EXPECT_EQ(integer(1000000, 10), "   1000000");
}

TEST(FormatInteger, WiderNumberWidensField) {
    EXPECT_EQ(integer(123456, 3), "123456");
    EXPECT_EQ(integer(-12345, 5), "-12345");
    EXPECT_EQ(integer(10, 1), "10");
}

TEST(FormatInteger, WidthZeroHasNoBlanks) {
    EXPECT_EQ(integer(0, 0), "0");
    EXPECT_EQ(integer(7, 0), "7");
    EXPECT_EQ(integer(-7, 0), "-7");
    EXPECT_EQ(integer(100, 0), "100");
}

TEST(FormatInteger, Extremes) {
    EXPECT_EQ(integer(LLONG_MIN, 0), "-9223372036854775808");
    EXPECT_EQ(integer(LLONG_MIN, 22), "  -9223372036854775808");
    EXPECT_EQ(integer(LLONG_MAX, 0), "9223372036854775807");
    EXPECT_EQ(integer(LLONG_MAX, 20), " 9223372036854775807");
    EXPECT_EQ(integer(-1, 0), "-1");
}

// ------------------------------------------------------ ties away from zero

// Values exactly halfway in the last place, which printf and to_chars would
// send to the even digit.
TEST(FormatReal, ExactTiesGoAwayFromZero) {
    // 1.2578125 = 161/128; 6 digits: 1.257812|5.
    EXPECT_EQ(e6(1.2578125), "1.257813E+00");
    EXPECT_EQ(e6(-1.2578125), "-1.257813E+00");
    // 1.001953125 = 1 + 1/512; 8 digits: 1.00195312|5.
    EXPECT_EQ(e8(1.001953125), "1.00195313E+00");
    EXPECT_EQ(e8(-1.001953125), "-1.00195313E+00");
    // -5/1024 = -4.8828125E-03.
    EXPECT_EQ(e6(-0.0048828125), "-4.882813E-03");
    EXPECT_EQ(e6(0.0048828125), "4.882813E-03");
    // 2^-10 = 9.765625E-04; 5 digits: 9.76562|5.
    EXPECT_EQ(real(0.0009765625, 1, 5, 3), "9.76563E-04");
    // 2^-20 = 9.5367431640625E-07; 12 digits: 9.536743164062|5.
    EXPECT_EQ(real(std::ldexp(1.0, -20), 1, 12, 3), "9.536743164063E-07");
    // 2^-30 = 9.31322574615478515625E-10; 19 digits: ...851562|5.
    EXPECT_EQ(real(std::ldexp(1.0, -30), 1, 19, 3), "9.3132257461547851563E-10");
    EXPECT_EQ(real(-std::ldexp(1.0, -30), 1, 19, 3), "-9.3132257461547851563E-10");
}

TEST(FormatReal, SmallTiesWithFewDigits) {
    EXPECT_EQ(real(2.5, 1, 0, 3), "3.E+00");
    EXPECT_EQ(real(-2.5, 1, 0, 3), "-3.E+00");
    EXPECT_EQ(real(0.125, 1, 1, 3), "1.3E-01");   // 1.2|5
    EXPECT_EQ(real(0.125, 1, 2, 3), "1.25E-01");  // exact, no rounding
    EXPECT_EQ(real(0.625, 1, 1, 3), "6.3E-01");   // 6.2|5
    EXPECT_EQ(real(-0.625, 1, 1, 3), "-6.3E-01");
    EXPECT_EQ(real(1.375, 1, 1, 3), "1.4E+00");   // 1.3|75, odd digit goes up either way
    EXPECT_EQ(real(1.5, 1, 0, 3), "2.E+00");
}

TEST(FormatReal, TiesAboveTheLastDigitPlace) {
    // 1234565 exactly; 5 digits: 1.23456|5E+06.
    EXPECT_EQ(real(1234565.0, 1, 5, 3), "1.23457E+06");
    EXPECT_EQ(real(-1234565.0, 1, 5, 3), "-1.23457E+06");
    // 2.5E+20 = 5^21 * 2^19 is a double; 0 digits: 2|.5.
    EXPECT_EQ(real(2.5e20, 1, 0, 3), "3.E+20");
    // 1.25E+20 = 5^21 * 2^18; 1 digit: 1.2|5.
    EXPECT_EQ(real(1.25e20, 1, 1, 3), "1.3E+20");
    // 4096.5 with 4 digits: 4.096|5E+03.
    EXPECT_EQ(real(4096.5, 2, 4, 3), " 4.0965E+03");
    EXPECT_EQ(real(4096.5, 2, 3, 3), " 4.097E+03");
}

// ---------------------------------------------------- near ties stay down

TEST(FormatReal, NearTiesAreRoundedByTheExactValue) {
    // 2^52 * 5e-7 = 2251799813.685248, so 1.0000005 lies between
    // 1 + 2251799813 * 2^-52 (below the tie) and 1 + 2251799814 * 2^-52
    // (above, and the double nearest 1.0000005).
    const double below = 1.0 + std::ldexp(2251799813.0, -52);
    const double above = 1.0 + std::ldexp(2251799814.0, -52);
    EXPECT_EQ(above, 1.0000005);
    EXPECT_EQ(e6(below), "1.000000E+00");
    EXPECT_EQ(e6(above), "1.000001E+00");
    EXPECT_EQ(e6(-below), "-1.000000E+00");
    // Independent check of the sides with the exact expansion.
    EXPECT_EQ(exact(below, 25).substr(0, 11), "1.000000499");
    EXPECT_EQ(exact(above, 25).substr(0, 11), "1.000000500");

    // The doubles nearest these decimals lie just below the tie:
    // 2.675 = 2.67499999999999982236431605997495353221893310546875...
    EXPECT_EQ(real(2.675, 1, 2, 3), "2.67E+00");
    EXPECT_EQ(real(1.005, 1, 2, 3), "1.00E+00");
    EXPECT_EQ(real(0.15, 1, 0, 3), "1.E-01");
    EXPECT_EQ(real(1.15, 1, 1, 3), "1.1E+00");
    EXPECT_EQ(exact(2.675, 20).substr(0, 8), "2.674999");

    // Neighbours of exact ties.
    EXPECT_EQ(real(std::nextafter(2.5, 0.0), 1, 0, 3), "2.E+00");
    EXPECT_EQ(real(std::nextafter(2.5, 3.0), 1, 0, 3), "3.E+00");
    EXPECT_EQ(real(std::nextafter(-0.625, 0.0), 1, 1, 3), "-6.2E-01");
    EXPECT_EQ(e6(std::nextafter(1.2578125, 0.0)), "1.257812E+00");
}

// ------------------------------------------------------ carries

TEST(FormatReal, CarryRenormalises) {
    EXPECT_EQ(real(9.9999999, 2, 6, 3), " 1.000000E+01");
    EXPECT_EQ(real(9.9999996, 2, 6, 3), " 1.000000E+01");
    EXPECT_EQ(real(-9.9999999, 2, 6, 3), "-1.000000E+01");
    EXPECT_EQ(real(9.999999999, 2, 8, 3), " 1.00000000E+01");
    EXPECT_EQ(e6(0.99999999), "1.000000E+00");
    EXPECT_EQ(real(-999999.5, 1, 5, 3), "-1.00000E+06");  // exact tie
    EXPECT_EQ(real(9.5, 1, 0, 3), "1.E+01");
    EXPECT_EQ(real(99.5, 1, 1, 3), "1.0E+02");
    // The carry adds an exponent digit.
    EXPECT_EQ(e6(9.9999999e99), "1.000000E+100");
    EXPECT_EQ(e6(9.9999999e-100), "1.000000E-99");
    // Just below the carry.
    EXPECT_EQ(e6(9.9999994), "9.999999E+00");
}

// ------------------------------------------------------ zero

TEST(FormatReal, ZeroAndNegativeZero) {
    EXPECT_EQ(real(0.0, 2, 6, 3), " 0.000000E+00");
    EXPECT_EQ(real(-0.0, 2, 6, 3), " 0.000000E+00");
    EXPECT_EQ(real(0.0, 1, 8, 3), "0.00000000E+00");
    EXPECT_EQ(real(-0.0, 1, 8, 3), "0.00000000E+00");
    EXPECT_EQ(real(0.0, 1, 6, 4), "0.000000E+000");
    EXPECT_EQ(real(-0.0, 1, 0, 3), "0.E+00");
    EXPECT_EQ(unpadded(-0.0, 2, 6, 3), " 0.000000E+00");
}

// ------------------------------------------------------ subnormals

TEST(FormatReal, Subnormals) {
    const double tiny = std::numeric_limits<double>::denorm_min();
    // 2^-1074 = 4.94065645841246544176...E-324
    EXPECT_EQ(e6(tiny), "4.940656E-324");
    EXPECT_EQ(e8(tiny), "4.94065646E-324");
    EXPECT_EQ(e6(-tiny), "-4.940656E-324");
    EXPECT_EQ(real(tiny, 2, 6, 3), " 4.940656E-324");
    // 2^-1073 = 9.88131291682493088353...E-324
    EXPECT_EQ(e6(2 * tiny), "9.881313E-324");
    // Largest subnormal 2.22507385850720088902...E-308, smallest normal
    // 2.22507385850720138309...E-308.
    EXPECT_EQ(e6(DBL_MIN - tiny), "2.225074E-308");
    EXPECT_EQ(e8(DBL_MIN), "2.22507386E-308");
}

// ------------------------------------------------------ exponents

TEST(FormatReal, ExponentDigits) {
    EXPECT_EQ(e6(1.0e100), "1.000000E+100");
    EXPECT_EQ(e6(1.0e-100), "1.000000E-100");
    EXPECT_EQ(e6(DBL_MAX), "1.797693E+308");  // 1.797693|1348...
    EXPECT_EQ(e8(DBL_MAX), "1.79769313E+308");
    EXPECT_EQ(e6(-DBL_MAX), "-1.797693E+308");
    EXPECT_EQ(e6(1.0e-5), "1.000000E-05");
    EXPECT_EQ(e6(123.0), "1.230000E+02");
    EXPECT_EQ(e6(1.0e10), "1.000000E+10");
    // Sign and digits take at least exp characters, at least one digit.
    EXPECT_EQ(real(1.5, 1, 1, 4), "1.5E+000");
    EXPECT_EQ(real(1.5e100, 1, 1, 4), "1.5E+100");
    EXPECT_EQ(real(1.5e-7, 1, 1, 4), "1.5E-007");
    EXPECT_EQ(real(1.5, 1, 1, 2), "1.5E+0");
    EXPECT_EQ(real(1.5e12, 1, 1, 2), "1.5E+12");
    EXPECT_EQ(real(1.5, 1, 1, 1), "1.5E+0");
}

// ------------------------------------------------------ fore

TEST(FormatReal, ForeAlignsSignAndDigit) {
    EXPECT_EQ(real(1.0, 2, 6, 3), " 1.000000E+00");
    EXPECT_EQ(real(-1.0, 2, 6, 3), "-1.000000E+00");
    EXPECT_EQ(real(1.0, 1, 6, 3), "1.000000E+00");
    EXPECT_EQ(real(-1.0, 1, 6, 3), "-1.000000E+00");
    EXPECT_EQ(real(1.0, 3, 6, 3), "  1.000000E+00");
    EXPECT_EQ(real(-1.0, 3, 6, 3), " -1.000000E+00");
    EXPECT_EQ(real(-3.25, 2, 8, 3), "-3.25000000E+00");
    EXPECT_EQ(real(3.25, 2, 8, 3), " 3.25000000E+00");
}

// ------------------------------------------------------ non-finite

TEST(FormatReal, NonFinitePadded) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(real(nan, 2, 8, 3), "            NaN");  // width 15
    EXPECT_EQ(real(inf, 2, 8, 3), "            Inf");
    EXPECT_EQ(real(-inf, 2, 8, 3), "           -Inf");
    EXPECT_EQ(real(nan, 2, 6, 3), "          NaN");  // width 13
    EXPECT_EQ(real(inf, 2, 6, 3), "          Inf");
    EXPECT_EQ(real(-inf, 2, 6, 3), "         -Inf");
    EXPECT_EQ(real(-nan, 2, 6, 3), "          NaN");
    EXPECT_EQ(real(inf, 1, 6, 3), "         Inf");  // width 12
    EXPECT_EQ(real(1.0, 2, 6, 3).size(), real(inf, 2, 6, 3).size());
}

TEST(FormatReal, NonFiniteUnpadded) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(unpadded(nan, 2, 8, 3), "NaN");
    EXPECT_EQ(unpadded(-nan, 2, 8, 3), "NaN");
    EXPECT_EQ(unpadded(inf, 2, 8, 3), "Inf");
    EXPECT_EQ(unpadded(-inf, 2, 6, 3), "-Inf");
    // Finite values as format_real.
    EXPECT_EQ(unpadded(1.2578125, 2, 6, 3), " 1.257813E+00");
    EXPECT_EQ(unpadded(-1.0, 1, 6, 3), "-1.000000E+00");
}

// ------------------------------------------------------ randomised

// Reference: glibc's exact expansion to 800 digits (every double's exact
// expansion has fewer significant digits), rounded half away from zero by
// looking at the first dropped digit.
std::string reference(double v, int fore, int aft, int exp, bool* tie_to_odd) {
    *tie_to_odd = false;
    std::string x = exact(v, 800);
    const bool negative = x[0] == '-';
    if (negative) x.erase(0, 1);
    const std::size_t epos = x.find('e');
    int e = std::stoi(x.substr(epos + 1));
    std::string digits = x.substr(0, 1) + x.substr(2, epos - 2);  // 801 digits
    const bool zero = digits.find_first_not_of('0') == std::string::npos;
    std::string kept = digits.substr(0, static_cast<std::size_t>(aft) + 1);
    const char next = digits[static_cast<std::size_t>(aft) + 1];
    if (next == '5' && digits.find_first_not_of('0', static_cast<std::size_t>(aft) + 2) ==
                           std::string::npos &&
        (kept.back() - '0') % 2 == 0)
        *tie_to_odd = true;  // ties-to-even would have gone the other way
    if (next >= '5') {
        int k = aft;
        while (k >= 0 && kept[static_cast<std::size_t>(k)] == '9') kept[static_cast<std::size_t>(k--)] = '0';
        if (k < 0) {
            kept.pop_back();
            kept.insert(kept.begin(), '1');
            ++e;
        } else {
            ++kept[static_cast<std::size_t>(k)];
        }
    }
    std::string out;
    const bool minus = negative && !zero;
    if (zero) e = 0;
    for (int k = fore - (minus ? 2 : 1); k > 0; --k) out += ' ';
    if (minus) out += '-';
    out += kept[0];
    out += '.';
    out += kept.substr(1);
    out += 'E';
    out += e < 0 ? '-' : '+';
    std::string ed = std::to_string(e < 0 ? -e : e);
    while (static_cast<int>(ed.size()) < std::max(exp - 1, 1)) ed = "0" + ed;
    return out + ed;
}

TEST(FormatReal, RandomAgainstExactReference) {
    std::mt19937_64 rng(20240611);
    const int afts[] = {6, 6, 6, 8, 8, 8, 0, 1, 2, 3, 5, 10, 14, 15, 16, 17, 20, 30};
    int ties = 0;
    int mismatches = 0;
    for (int i = 0; i < 60000; ++i) {
        double v;
        switch (i % 3) {
        case 0: {  // any bit pattern: all exponents, subnormals
            const std::uint64_t bits = rng();
            std::memcpy(&v, &bits, sizeof v);
            if (!std::isfinite(v)) continue;
            break;
        }
        case 1: {  // few significant bits: many exact ties
            const double n = static_cast<double>(rng() % (1u << 16));
            const int k = static_cast<int>(rng() % 40) - 24;
            v = std::ldexp(n, k);
            if (rng() & 1) v = -v;
            break;
        }
        default: {  // short decimals: near ties
            const double n = static_cast<double>(rng() % 100000000);
            const int k = static_cast<int>(rng() % 40) - 20;
            v = n * std::pow(10.0, k);
            if (rng() & 1) v = -v;
            break;
        }
        }
        const int aft = afts[rng() % std::size(afts)];
        const int fore = 1 + static_cast<int>(rng() % 3);
        const int exp = 1 + static_cast<int>(rng() % 4);
        bool tie = false;
        const std::string want = reference(v, fore, aft, exp, &tie);
        const std::string got = real(v, fore, aft, exp);
        if (tie) ++ties;
        if (got != want && ++mismatches <= 10)
            ADD_FAILURE() << exact(v, 40) << " fore " << fore << " aft " << aft << " exp " << exp
                          << ": got \"" << got << "\", want \"" << want << '"';
    }
    EXPECT_EQ(mismatches, 0);
    // The tie correction must actually have been exercised.
    EXPECT_GT(ties, 200);
}

}  // namespace
