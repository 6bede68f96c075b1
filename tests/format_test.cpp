// Tests of the number formats. Expected strings are worked out by hand from
// the exact binary values (noted beside the cases), or, in the randomised
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

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double tiny = std::numeric_limits<double>::denorm_min();

// Runs a writer into a buffer filled with a sentinel: it must write only
// printable ASCII and nothing past the end it returns.
template <class Writer>
std::string run(Writer write) {
    constexpr char sentinel = '#';
    char buf[1024];
    std::memset(buf, sentinel, sizeof buf);
    char* end = write(buf);
    EXPECT_TRUE(end >= buf && end < buf + sizeof buf);
    for (const char* q = end; q < buf + sizeof buf; ++q)
        if (*q != sentinel) {
            ADD_FAILURE() << "written past the returned end";
            break;
        }
    std::string s(buf, end);
    for (char c : s) EXPECT_TRUE(c >= 0x20 && c <= 0x7e) << "non-printable in \"" << s << '"';
    return s;
}

std::string real(double v, int fore, int aft, int exp) {
    return run([&](char* p) { return velmora::format_real(p, v, fore, aft, exp); });
}

// Exact decimal expansion (glibc printf is exact at any precision).
std::string exact(double v, int digits) {
    char buf[1200];
    std::snprintf(buf, sizeof buf, "%.*e", digits, v);
    return buf;
}

TEST(FormatInteger, RightAlignedAndWidenedWhenLonger) {
    const struct {
        long long value;
        int width;
        const char* text;
    } cases[] = {{42, 5, "   42"},     {-42, 5, "  -42"},   {0, 3, "  0"},    {12345, 5, "12345"},
                 {-1234, 5, "-1234"},  {123456, 3, "123456"}, {-12345, 5, "-12345"}, {-7, 0, "-7"},
                 {100, 0, "100"},      {LLONG_MIN, 0, "-9223372036854775808"},
                 {LLONG_MIN, 22, "  -9223372036854775808"}, {LLONG_MAX, 20, " 9223372036854775807"}};
    for (const auto& c : cases)
        EXPECT_EQ(run([&](char* p) { return velmora::format_integer(p, c.value, c.width); }), c.text) << c.value;

    // Every change in the number of digits, either sign, against printf.
    char expected[40];
    for (long long power = 1; power <= 1'000'000'000'000'000'000; power *= 10)
        for (const long long v : {power - 1, power, power + 1, -(power - 1), -power, -(power + 1)})
            for (const int width : {0, 12}) {
                std::snprintf(expected, sizeof expected, "%*lld", width, v);
                EXPECT_EQ(run([&](char* p) { return velmora::format_integer(p, v, width); }), expected) << v;
            }
}

struct real_case {
    double value;
    int fore, aft, exp;
    const char* text;
};

void expect_formats(std::initializer_list<real_case> cases) {
    for (const real_case& c : cases)
        EXPECT_EQ(real(c.value, c.fore, c.aft, c.exp), c.text) << exact(c.value, 25) << " (" << c.fore << ", "
                                                              << c.aft << ", " << c.exp << ")";
}

// Exact halves in the last place go away from zero, where printf and
// to_chars would go to the even digit; values near a tie go by their exact
// binary value.
TEST(FormatReal, TiesGoAwayFromZeroAndNearTiesByTheExactValue) {
    const double below = 1.0 + std::ldexp(2251799813.0, -52);  // just below 1.0000005
    const double above = 1.0 + std::ldexp(2251799814.0, -52);  // just above: the double nearest 1.0000005
    ASSERT_EQ(exact(below, 25).substr(0, 11), "1.000000499");
    ASSERT_EQ(exact(above, 25).substr(0, 11), "1.000000500");
    expect_formats({
        {1.2578125, 1, 6, 3, "1.257813E+00"},  // 161/128 = 1.257812|5
        {-1.2578125, 1, 6, 3, "-1.257813E+00"},
        {1.001953125, 1, 8, 3, "1.00195313E+00"},  // 1 + 2^-9
        {-0.0048828125, 1, 6, 3, "-4.882813E-03"},  // -5/1024
        {0.0009765625, 1, 5, 3, "9.76563E-04"},     // 2^-10 = 9.76562|5E-04
        {std::ldexp(1.0, -20), 1, 12, 3, "9.536743164063E-07"},
        {-std::ldexp(1.0, -30), 1, 19, 3, "-9.3132257461547851563E-10"},  // beyond 16 digits
        {2.5, 1, 0, 3, "3.E+00"}, {-0.625, 1, 1, 3, "-6.3E-01"},
        {0.125, 1, 2, 3, "1.25E-01"},  // exact, nothing to round
        {1.375, 1, 1, 3, "1.4E+00"},   // odd digit: up either way
        {1234565.0, 1, 5, 3, "1.23457E+06"},  // ties above the last digit's place
        {-1234565.0, 1, 5, 3, "-1.23457E+06"},
        {2.5e20, 1, 0, 3, "3.E+20"},  // 5^21 2^19
        {1.25e20, 1, 1, 3, "1.3E+20"}, {4096.5, 2, 4, 3, " 4.0965E+03"},
        {4096.5, 2, 3, 3, " 4.097E+03"}, {below, 1, 6, 3, "1.000000E+00"},
        {above, 1, 6, 3, "1.000001E+00"}, {-below, 1, 6, 3, "-1.000000E+00"},
        {2.675, 1, 2, 3, "2.67E+00"},  // 2.67499999999999982236...
        {1.005, 1, 2, 3, "1.00E+00"}, {0.15, 1, 0, 3, "1.E-01"},
        {std::nextafter(2.5, 0.0), 1, 0, 3, "2.E+00"}, {std::nextafter(2.5, 3.0), 1, 0, 3, "3.E+00"},
        {std::nextafter(-0.625, 0.0), 1, 1, 3, "-6.2E-01"},
    });
}

// A carry renormalises and may add an exponent digit; exponents take at
// least exp characters with their sign; subnormals keep their digits.
TEST(FormatReal, CarriesExponentsZerosAndSubnormals) {
    expect_formats({
        {9.9999999, 2, 6, 3, " 1.000000E+01"}, {-9.9999999, 2, 6, 3, "-1.000000E+01"},
        {9.999999999, 2, 8, 3, " 1.00000000E+01"}, {0.99999999, 1, 6, 3, "1.000000E+00"},
        {-999999.5, 1, 5, 3, "-1.00000E+06"},  // an exact tie that carries
        {9.5, 1, 0, 3, "1.E+01"}, {99.5, 1, 1, 3, "1.0E+02"},
        {9.9999999e99, 1, 6, 3, "1.000000E+100"}, {9.9999999e-100, 1, 6, 3, "1.000000E-99"},
        {9.9999994, 1, 6, 3, "9.999999E+00"},  // just below the carry
        {1.5, 1, 1, 4, "1.5E+000"}, {1.5e-7, 1, 1, 4, "1.5E-007"},
        {1.5, 1, 1, 2, "1.5E+0"}, {1.5e12, 1, 1, 2, "1.5E+12"},
        {1.5, 1, 1, 1, "1.5E+0"}, {DBL_MAX, 1, 8, 3, "1.79769313E+308"},
        {-DBL_MAX, 1, 6, 3, "-1.797693E+308"},
        {-1.0, 3, 6, 3, " -1.000000E+00"},  // sign and digit right-aligned in fore
        {1.0, 3, 6, 3, "  1.000000E+00"}, {0.0, 2, 6, 3, " 0.000000E+00"},
        {-0.0, 2, 6, 3, " 0.000000E+00"},  // zero has no sign
        {-0.0, 1, 0, 3, "0.E+00"}, {0.0, 1, 6, 4, "0.000000E+000"},
        {tiny, 1, 6, 3, "4.940656E-324"},  // 2^-1074 = 4.94065645841...E-324
        {-tiny, 2, 8, 3, "-4.94065646E-324"}, {2 * tiny, 1, 6, 3, "9.881313E-324"},
        {DBL_MIN - tiny, 1, 6, 3, "2.225074E-308"},  // largest subnormal 2.2250738585072008...
    });
}

// Right-aligned to the width of an ordinary value, fore + 1 + aft + 1 + exp;
// the unpadded form writes the word alone and finite values as format_real.
TEST(FormatReal, ValuesThatAreNotFiniteAreWords) {
    expect_formats({{nan, 2, 8, 3, "            NaN"}, {-nan, 2, 6, 3, "          NaN"},
                    {inf, 2, 6, 3, "          Inf"}, {-inf, 2, 6, 3, "         -Inf"}, {inf, 1, 6, 3, "         Inf"}});
    const auto unpadded = [](double v) {
        return run([&](char* p) { return velmora::format_real_unpadded(p, v, 2, 6, 3); });
    };
    EXPECT_EQ(unpadded(-nan), "NaN");
    EXPECT_EQ(unpadded(inf), "Inf");
    EXPECT_EQ(unpadded(-inf), "-Inf");
    EXPECT_EQ(unpadded(1.2578125), " 1.257813E+00");
    EXPECT_EQ(unpadded(-0.0), " 0.000000E+00");
}

// Reference: the exact expansion to 800 digits (more than any double has),
// rounded half away from zero by the first dropped digit.
std::string reference(double v, int fore, int aft, int exp, bool* tie_to_odd) {
    std::string x = exact(v, 800);
    const bool negative = x[0] == '-';
    if (negative) x.erase(0, 1);
    const std::size_t epos = x.find('e');
    int e = std::stoi(x.substr(epos + 1));
    const std::string digits = x.substr(0, 1) + x.substr(2, epos - 2);
    const bool zero = digits.find_first_not_of('0') == std::string::npos;
    const auto keep = static_cast<std::size_t>(aft) + 1;
    std::string kept = digits.substr(0, keep);
    const char next = digits[keep];
    // An exact tie that ties-to-even would have sent the other way.
    *tie_to_odd = next == '5' && digits.find_first_not_of('0', keep + 1) == std::string::npos &&
                  (kept.back() - '0') % 2 == 0;
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
    if (zero) e = 0;
    const bool minus = negative && !zero;
    std::string out(static_cast<std::size_t>(std::max(fore - (minus ? 2 : 1), 0)), ' ');
    if (minus) out += '-';
    out += kept[0];
    out += '.';
    out += kept.substr(1);
    out += e < 0 ? "E-" : "E+";
    std::string ed = std::to_string(e < 0 ? -e : e);
    while (static_cast<int>(ed.size()) < std::max(exp - 1, 1)) ed.insert(ed.begin(), '0');
    return out + ed;
}

TEST(FormatReal, RandomAgainstExactReference) {
    std::mt19937_64 rng(20240611);
    const int afts[] = {6, 6, 6, 8, 8, 8, 0, 1, 2, 3, 5, 10, 14, 15, 16, 17, 20, 30};
    int ties = 0, mismatches = 0;
    for (int i = 0; i < 60000; ++i) {
        double v;
        if (i % 3 == 0) {  // any bit pattern: all exponents, subnormals
            const std::uint64_t bits = rng();
            std::memcpy(&v, &bits, sizeof v);
            if (!std::isfinite(v)) continue;
        } else {  // few significant bits (many exact ties) or short decimals (near ties)
            const double n = static_cast<double>(rng() % (i % 3 == 1 ? 1u << 16 : 100000000u));
            const int k = static_cast<int>(rng() % 40);
            v = i % 3 == 1 ? std::ldexp(n, k - 24) : n * std::pow(10.0, k - 20);
        }
        if (i % 3 != 0 && (rng() & 1)) v = -v;
        const int aft = afts[rng() % std::size(afts)];
        const int fore = 1 + static_cast<int>(rng() % 3);
        const int exp = 1 + static_cast<int>(rng() % 4);
        bool tie = false;
        const std::string want = reference(v, fore, aft, exp, &tie);
        const std::string got = real(v, fore, aft, exp);
        ties += tie;
        if (got != want && ++mismatches <= 10)
            ADD_FAILURE() << exact(v, 40) << " fore " << fore << " aft " << aft << " exp " << exp << ": got \""
                          << got << "\", want \"" << want << '"';
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(ties, 200);  // the tie correction was exercised
}

}  // namespace
