// Tests of the reader of "input.txt": the number syntax, the section finder
// and the layout of the records. Expected values are worked out by hand from
// the texts (a based number's digits and exponent expanded as powers of its
// base, decimal literals rounded by the compiler); the failures that end a
// run are checked against the built program in failures_test.cpp.
#include "input.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <string_view>

namespace {

using velmora::input_text;
using velmora::material_law;
using velmora::model;

// ------------------------------------------------------------------ helpers

// A value read from the front of a text, with the text left unread after it.
template <class T>
struct reading {
    T value;
    std::string rest;
};

reading<double> real_of(std::string_view text) {
    input_text in(text, "input.txt");
    const double v = in.read_real("value");
    return {v, std::string(text.substr(text.size() - in.remaining()))};
}

reading<int> integer_of(std::string_view text) {
    input_text in(text, "input.txt");
    const int v = in.read_integer("value");
    return {v, std::string(text.substr(text.size() - in.remaining()))};
}

// The name and message of the failure that f raises, or "none".
struct raised {
    std::string name = "none";
    std::string message;
};

template <class F>
raised failure_of(F f) {
    try {
        f();
    } catch (const terms::failure& e) {
        return {e.name(), e.message()};
    }
    return {};
}

raised real_failure(std::string_view text) {
    return failure_of([&] { input_text(text, "input.txt").read_real("value"); });
}

raised integer_failure(std::string_view text) {
    return failure_of([&] { input_text(text, "input.txt").read_integer("value"); });
}

// The strip model, section by section; a test replaces the parts it is about.
struct strip {
    std::string head = "Strip under tension\n";
    std::string control = ": control\n0.9  20  0.001  0  500  7\n";
    std::string material = ": material\n1.0  2  0.4  0.1  50.0\n";
    std::string nodes = ": nodes\n4\nnode  x  y  z\n1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n";
    std::string elements = ": elements\n2\nelement  first  second  third\n1 1 2 3\n2 1 3 4\n";
    std::string supports =
        ": supports\n7\nnode  dir  value\n1 1 0.0\n1 2 0.0\n4 1 0.0\n1 3 0.0\n2 3 0.0\n3 3 0.0\n4 3 0.0\n";
    std::string loads = ": loads\n1\nnode  dir  value\n3 1 0.5\n";

    std::string text() const { return head + control + material + nodes + elements + supports + loads; }
};

model read(const std::string& text) {
    model m;
    velmora::read_model(m, text, "input.txt");
    return m;
}

raised read_failure(const std::string& text) {
    return failure_of([&] { read(text); });
}

std::string with_crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// Every field that the reader fills, compared between two models.
void expect_same_model(const model& a, const model& b) {
    EXPECT_EQ(a.eta, b.eta);
    EXPECT_EQ(a.search_limit, b.search_limit);
    EXPECT_EQ(a.tolerance, b.tolerance);
    EXPECT_EQ(a.reference_residue, b.reference_residue);
    EXPECT_EQ(a.max_iterations, b.max_iterations);
    EXPECT_EQ(a.memory, b.memory);
    EXPECT_EQ(a.thickness, b.thickness);
    ASSERT_EQ(a.material.has_value(), b.material.has_value());
    if (a.material) {
        EXPECT_EQ(a.material->kind(), b.material->kind());
        EXPECT_EQ(a.material->bulk(), b.material->bulk());
    }
    ASSERT_EQ(a.node_count, b.node_count);
    for (int k = 1; k <= a.node_count; ++k) {
        EXPECT_EQ(a.x(k), b.x(k)) << "node " << k;
        EXPECT_EQ(a.y(k), b.y(k)) << "node " << k;
        EXPECT_EQ(a.z(k), b.z(k)) << "node " << k;
        for (int d = 1; d <= 3; ++d) {
            EXPECT_EQ(a.dof_number(k, d), b.dof_number(k, d)) << "node " << k << " direction " << d;
            EXPECT_EQ(a.prescribed(k, d), b.prescribed(k, d)) << "node " << k << " direction " << d;
            EXPECT_EQ(a.force(k, d), b.force(k, d)) << "node " << k << " direction " << d;
        }
    }
    ASSERT_EQ(a.element_count(), b.element_count());
    for (int e = 1; e <= a.element_count(); ++e)
        for (int c = 1; c <= 3; ++c) EXPECT_EQ(a.elements(e).node(c), b.elements(e).node(c)) << "element " << e;
}

// ------------------------------------------------------------ number syntax

TEST(InputNumbers, DecimalIntegers) {
    EXPECT_EQ(integer_of("0").value, 0);
    EXPECT_EQ(integer_of("7").value, 7);
    EXPECT_EQ(integer_of("+7").value, 7);
    EXPECT_EQ(integer_of("-42").value, -42);
    EXPECT_EQ(integer_of("007").value, 7);
    EXPECT_EQ(integer_of("1_000").value, 1000);
    EXPECT_EQ(integer_of("1_2_3").value, 123);
    EXPECT_EQ(integer_of("2147483647").value, INT_MAX);
    EXPECT_EQ(integer_of("-2147483648").value, INT_MIN);
}

TEST(InputNumbers, IntegerWithExponent) {
    EXPECT_EQ(integer_of("2E3").value, 2000);
    EXPECT_EQ(integer_of("2e3").value, 2000);
    EXPECT_EQ(integer_of("2E+3").value, 2000);
    EXPECT_EQ(integer_of("7E0").value, 7);
    EXPECT_EQ(integer_of("2E9").value, 2000000000);
    EXPECT_EQ(integer_of("-2E9").value, -2000000000);
    EXPECT_EQ(integer_of("0E99999").value, 0);
}

TEST(InputNumbers, BasedIntegers) {
    EXPECT_EQ(integer_of("16#1F#").value, 31);
    EXPECT_EQ(integer_of("16#1f#").value, 31);
    EXPECT_EQ(integer_of("16#ff#").value, 255);
    EXPECT_EQ(integer_of("2#1010#").value, 10);
    EXPECT_EQ(integer_of("2#1_0#").value, 2);
    EXPECT_EQ(integer_of("8#777#").value, 511);
    EXPECT_EQ(integer_of("3#12#").value, 5);
    EXPECT_EQ(integer_of("10#99#").value, 99);
    EXPECT_EQ(integer_of("-16#1F#").value, -31);
    // The exponent of a based number is a power of its base: 1 * 16^2, 3 * 2^4.
    EXPECT_EQ(integer_of("16#1#E2").value, 256);
    EXPECT_EQ(integer_of("2#11#e4").value, 48);
    // 0x1E2: the letter E is a digit inside the #s of base 16.
    EXPECT_EQ(integer_of("16#1E2#").value, 482);
    EXPECT_EQ(integer_of("16#7FFFFFFF#").value, INT_MAX);
    EXPECT_EQ(integer_of("-2#1#E31").value, INT_MIN);
}

TEST(InputNumbers, DecimalReals) {
    EXPECT_EQ(real_of("3").value, 3.0);
    EXPECT_EQ(real_of("3.0").value, 3.0);
    EXPECT_EQ(real_of("2.5e-4").value, 2.5e-4);
    EXPECT_EQ(real_of("1.0E+5").value, 1.0e5);
    EXPECT_EQ(real_of("-1.5").value, -1.5);
    EXPECT_EQ(real_of("+0.25").value, 0.25);
    EXPECT_EQ(real_of("0.1").value, 0.1);
    EXPECT_EQ(real_of("1_000.000_1").value, 1000.0001);
    EXPECT_EQ(real_of("2E3").value, 2000.0);
    EXPECT_EQ(real_of("2e-3").value, 0.002);
    EXPECT_EQ(real_of("1.7976931348623157E308").value, 1.7976931348623157e308);
    EXPECT_EQ(real_of("12345678901234567890").value, 12345678901234567890.0);
}

TEST(InputNumbers, BasedReals) {
    // 2#1.1# is 1.5 and the exponent 1 doubles it; 16#0.4# is 4/16.
    EXPECT_EQ(real_of("2#1.1#E1").value, 3.0);
    EXPECT_EQ(real_of("16#0.4#E0").value, 0.25);
    EXPECT_EQ(real_of("16#1#E2").value, 256.0);
    EXPECT_EQ(real_of("16#1F#").value, 31.0);
    EXPECT_EQ(real_of("16#0.8#").value, 0.5);
    EXPECT_EQ(real_of("2#1#E-2").value, 0.25);
    EXPECT_EQ(real_of("-8#0.4#").value, -0.5);
    EXPECT_EQ(real_of("10#1.5#E1").value, 15.0);
    // Bases that are not powers of two: 3#0.1# is 1/3, 7#6.6# is 6 + 6/7.
    EXPECT_EQ(real_of("3#0.1#").value, 1.0 / 3.0);
    EXPECT_EQ(real_of("7#6.6#").value, 48.0 / 7.0);
    EXPECT_EQ(real_of("5#1#E3").value, 125.0);
}

// A sign applies to zero as well; it matters where the value divides.
TEST(InputNumbers, NegativeZero) {
    const double minus_zero = real_of("-0.0").value;
    EXPECT_EQ(minus_zero, 0.0);
    EXPECT_TRUE(std::signbit(minus_zero));
    EXPECT_EQ(2.0 / minus_zero, -INFINITY);
    EXPECT_TRUE(std::signbit(real_of("-0").value));
    EXPECT_TRUE(std::signbit(real_of("-16#0#").value));
    EXPECT_FALSE(std::signbit(real_of("0.0").value));
    EXPECT_FALSE(std::signbit(real_of("+0.0").value));
}

// The longest run of characters that forms a complete number is read; the
// character after it stays unread.
TEST(InputNumbers, LongestCompleteNumberLeavesTheRest) {
    const auto point = real_of("1.");
    EXPECT_EQ(point.value, 1.0);
    EXPECT_EQ(point.rest, ".");
    const auto letter = real_of("1e");
    EXPECT_EQ(letter.value, 1.0);
    EXPECT_EQ(letter.rest, "e");
    const auto signed_exponent = real_of("1.5E+");
    EXPECT_EQ(signed_exponent.value, 1.5);
    EXPECT_EQ(signed_exponent.rest, "E+");
    const auto underscore = real_of("1_");
    EXPECT_EQ(underscore.value, 1.0);
    EXPECT_EQ(underscore.rest, "_");
    const auto double_underscore = real_of("1__0");
    EXPECT_EQ(double_underscore.value, 1.0);
    EXPECT_EQ(double_underscore.rest, "__0");
    const auto second_point = real_of("1.5.3");
    EXPECT_EQ(second_point.value, 1.5);
    EXPECT_EQ(second_point.rest, ".3");
    const auto comma = real_of("12,5");
    EXPECT_EQ(comma.value, 12.0);
    EXPECT_EQ(comma.rest, ",5");
    const auto after_based = real_of("16#A#x");
    EXPECT_EQ(after_based.value, 10.0);
    EXPECT_EQ(after_based.rest, "x");

    // An integer has no point: 4.0 read as an integer is 4, leaving ".0".
    const auto integer_point = integer_of("4.0");
    EXPECT_EQ(integer_point.value, 4);
    EXPECT_EQ(integer_point.rest, ".0");
    const auto integer_e = integer_of("12e");
    EXPECT_EQ(integer_e.value, 12);
    EXPECT_EQ(integer_e.rest, "e");
    const auto integer_underscore = integer_of("1__0");
    EXPECT_EQ(integer_underscore.value, 1);
    EXPECT_EQ(integer_underscore.rest, "__0");
    const auto blank = integer_of("3 4");
    EXPECT_EQ(blank.value, 3);
    EXPECT_EQ(blank.rest, " 4");
}

TEST(InputNumbers, BlanksTabsLineEndsAndFormFeedsBeforeANumber) {
    EXPECT_EQ(integer_of(" \t 5").value, 5);
    EXPECT_EQ(integer_of("\n\n5").value, 5);
    EXPECT_EQ(integer_of("\r\n\r\n5").value, 5);
    EXPECT_EQ(integer_of("\f5").value, 5);
    EXPECT_EQ(real_of("\t\r\n \f\n 2.5").value, 2.5);

    input_text in("1\t2\r\n3\n\f4", "input.txt");
    EXPECT_EQ(in.read_integer("a"), 1);
    EXPECT_EQ(in.read_integer("b"), 2);
    EXPECT_EQ(in.read_integer("c"), 3);
    EXPECT_EQ(in.read_integer("d"), 4);
    EXPECT_EQ(in.remaining(), 0u);
}

TEST(InputNumbers, MalformedNumbersAreDataFailures) {
    for (const char* text : {".5", "abc", "+", "-", "+ 5", "- 5", "_1", "#1#", "E3", "e3", "\r5", ":"}) {
        EXPECT_EQ(real_failure(text).name, "DATA_ERROR") << text;
        EXPECT_EQ(integer_failure(text).name, "DATA_ERROR") << text;
    }
}

TEST(InputNumbers, BadBaseOrDigitIsADataFailure) {
    // Bases lie in 2..16; each digit must be below the base; the digits
    // need a closing '#'.
    for (const char* text : {"17#1#", "1#0#", "0#0#", "99999999999999999999#1#", "2#102#", "2#2#", "8#9#",
                             "16#G#", "16##", "16#1F", "16#1F 3", "16#1.#", "16#.8#"}) {
        EXPECT_EQ(real_failure(text).name, "DATA_ERROR") << text;
        EXPECT_EQ(integer_failure(text).name, "DATA_ERROR") << text;
    }
    // A point or a negative exponent makes a number that is not an integer.
    EXPECT_EQ(integer_failure("2#1.1#").name, "DATA_ERROR");
    EXPECT_EQ(integer_failure("1E-2").name, "DATA_ERROR");
}

TEST(InputNumbers, IntegerOutside32BitsIsADataFailure) {
    for (const char* text : {"2147483648", "-2147483649", "3E9", "99999999999999999999", "16#80000000#",
                             "2#1#E31", "1E100000", "4_294_967_296"})
        EXPECT_EQ(integer_failure(text).name, "DATA_ERROR") << text;
}

TEST(InputNumbers, RealOutsideDoubleIsADataFailure) {
    // 16#1#E300 is 2^1200; 3#1#E1000 is about 10^477.
    for (const char* text : {"1E999", "-1E999", "1.0e309", "1E100000", "16#1#E300", "3#1#E1000"})
        EXPECT_EQ(real_failure(text).name, "DATA_ERROR") << text;
}

// A long run of digits shifts the exponent by its length: the value, not
// the written exponent, decides whether the number is in range.
TEST(InputNumbers, LongDigitRunsShiftTheExponent) {
    constexpr std::size_t zeros = 100010;  // more than any double's decimal exponent range
    const std::string small_fraction = "0." + std::string(zeros, '0') + "1E" + std::to_string(zeros + 1);
    EXPECT_EQ(real_of(small_fraction).value, 1.0);
    const std::string many_digits = "1" + std::string(zeros, '0') + "E-" + std::to_string(zeros);
    EXPECT_EQ(real_of(many_digits).value, 1.0);
    const std::string based = "16#0." + std::string(zeros, '0') + "1#E" + std::to_string(zeros + 1);
    EXPECT_EQ(real_of(based).value, 1.0);
    // Zero stays zero under any exponent, read at once.
    EXPECT_EQ(integer_of("0E999999999999999999999").value, 0);
    EXPECT_EQ(real_of("0E999999999999999999999").value, 0.0);
}

TEST(InputNumbers, EndOfTextWhereANumberIsExpected) {
    EXPECT_EQ(real_failure("").name, "END_ERROR");
    EXPECT_EQ(integer_failure(" \t\n\r\n\f ").name, "END_ERROR");
}

// A failure names the file and the line of the offending text, counting
// lines the same way for either line end, and quotes what was found.
TEST(InputNumbers, FailureNamesFileLineAndText) {
    for (const std::string eol : {"\n", "\r\n"}) {
        const std::string text = "1" + eol + eol + "2" + eol + "node" + eol;
        const raised r = failure_of([&] {
            input_text in(text, "input.txt");
            in.read_integer("a");
            in.read_integer("b");
            in.read_integer("c");
        });
        EXPECT_EQ(r.name, "DATA_ERROR");
        EXPECT_EQ(r.message.rfind("input.txt:4: ", 0), 0u) << r.message;
        EXPECT_NE(r.message.find("\"node\""), std::string::npos) << r.message;
    }
}

// ---------------------------------------------------------- section finding

TEST(InputSections, StripExampleReadsEveryField) {
    const model m = read(strip().text());
    EXPECT_EQ(m.eta, 0.9);
    EXPECT_EQ(m.search_limit, 20);
    EXPECT_EQ(m.tolerance, 0.001);
    EXPECT_EQ(m.reference_residue, 0.0);
    EXPECT_EQ(m.max_iterations, 500);
    EXPECT_EQ(m.memory, 7);
    EXPECT_EQ(m.thickness, 1.0);
    ASSERT_TRUE(m.material.has_value());
    EXPECT_EQ(m.material->kind(), material_law::mooney_rivlin);
    EXPECT_EQ(m.material->law(), material_law::mooney_rivlin);
    EXPECT_EQ(m.material->c10(), 0.4);
    EXPECT_EQ(m.material->c01(), 0.1);
    EXPECT_EQ(m.material->bulk(), 50.0);

    ASSERT_EQ(m.node_count, 4);
    const double xs[] = {0, 1, 1, 0}, ys[] = {0, 0, 1, 1};
    for (int k = 1; k <= 4; ++k) {
        EXPECT_EQ(m.x(k), xs[k - 1]);
        EXPECT_EQ(m.y(k), ys[k - 1]);
        EXPECT_EQ(m.z(k), 0.0);
    }
    ASSERT_EQ(m.element_count(), 2);
    const int corners[2][3] = {{1, 2, 3}, {1, 3, 4}};
    for (int e = 1; e <= 2; ++e)
        for (int c = 1; c <= 3; ++c) EXPECT_EQ(m.elements(e).node(c), corners[e - 1][c - 1]);

    // Held: node 1 in 1 and 2, node 4 in 1, every node in 3.
    const int held[4][3] = {{1, 1, 1}, {0, 0, 1}, {0, 0, 1}, {1, 0, 1}};
    for (int k = 1; k <= 4; ++k) {
        for (int d = 1; d <= 3; ++d) {
            EXPECT_EQ(m.dof_number(k, d), held[k - 1][d - 1]) << k << "," << d;
            EXPECT_EQ(m.prescribed(k, d), 0.0);
            EXPECT_EQ(m.force(k, d), (k == 3 && d == 1) ? 0.5 : 0.0) << k << "," << d;
        }
    }
}

// Comment lines, empty lines and lines that begin with a blank before a
// colon are passed over, before the first section and between sections.
// Were " : ..." taken as a header, a number would be read from the next
// header line and the read would fail.
TEST(InputSections, CommentsBlankLinesAndIndentedColonsArePassedOver) {
    strip s;
    s.head = "\n\nStrip under tension\n : not a header\n\t: nor this\n\nanother comment\n";
    s.material = "\n : still section 1\nloose words 1 2 3\n\n" + s.material;
    s.nodes = " : comment\n\n" + s.nodes;
    s.elements = "\n\n" + s.elements;
    s.supports = "comment between sections\n" + s.supports;
    s.loads = " :\n\n" + s.loads;
    expect_same_model(read(s.text()), read(strip().text()));
}

TEST(InputSections, HeaderTextAfterTheColonIsFree) {
    strip s;
    s.control = ":\n0.9  20  0.001  0  500  7\n";
    s.material = ":: 1 2 3\n1.0  2  0.4  0.1  50.0\n";
    s.nodes = ":4\n4\nnode  x  y  z\n1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n";
    expect_same_model(read(s.text()), read(strip().text()));
}

TEST(InputSections, CrLfTabsAndFormFeedsReadLikeLf) {
    const model plain = read(strip().text());
    expect_same_model(read(with_crlf(strip().text())), plain);

    strip s;
    s.control = ": control\n0.9\t20\t0.001\t0\t500\t7\n";
    s.nodes = ": nodes\n4\nnode  x  y  z\n1\t0 0 0\n\f2 1 0 0\n3 1 1 0\n4 0 1 0\n";
    s.elements = "\f: elements\n2\nelement  first  second  third\n1 1 2 3\n2\t1\t3\t4\n";
    expect_same_model(read(s.text()), plain);
    expect_same_model(read(with_crlf(s.text())), plain);
}

TEST(InputSections, FileEndingBeforeAHeaderIsAnEndFailure) {
    strip s;
    s.loads = "";
    EXPECT_EQ(read_failure(s.text()).name, "END_ERROR");
    s.loads = " : loads\n1\nnode  dir  value\n3 1 0.5\n";
    EXPECT_EQ(read_failure(s.text()).name, "END_ERROR");
    EXPECT_EQ(read_failure("").name, "END_ERROR");
    EXPECT_EQ(read_failure("\n\n\n").name, "END_ERROR");
}

// ------------------------------------------------------------ record layout

// Only the rest of the line that holds the sixth number is discarded.
TEST(InputRecords, ControlValuesSpreadOverLines) {
    strip s;
    s.control = ": control\n0.9\n\n20 0.001\n0    500\n7 the rest is a comment 1 2 3\n";
    expect_same_model(read(s.text()), read(strip().text()));
}

TEST(InputRecords, TrailingTextAndExtraNumbersAreDiscarded) {
    strip s;
    s.control = ": control\n0.9  20  0.001  0  500  7  8 9 eta limit tol\n";
    s.nodes = ": nodes\n4 nodes\nnode  x  y  z\n1 0 0 0 origin\n2 1 0 0 5 6 7\n3 1 1 0\t:corner\n4 0 1 0 0\n";
    s.elements = ": elements\n2 triangles\nelement  first  second  third\n1 1 2 3 4\n2 1 3 4 lower\n";
    s.supports = ": supports\n7 held\nnode  dir  value\n1 1 0.0 x\n1 2 0.0 9\n4 1 0.0\n1 3 0.0\n2 3 0.0\n"
                 "3 3 0.0\n4 3 0.0 end\n";
    s.loads = ": loads\n1 force\nnode  dir  value\n3 1 0.5 pull\n";
    expect_same_model(read(s.text()), read(strip().text()));
}

TEST(InputRecords, RecordsSpreadOverLines) {
    strip s;
    s.nodes = ": nodes\n4\nnode  x  y  z\n1\n0\n0 0\n2 1\n0 0\n3 1 1 0\n4 0 1\n\n0\n";
    s.elements = ": elements\n2\nelement  first  second  third\n1 1\n2 3\n2 1 3 4\n";
    s.loads = ": loads\n1\nnode  dir  value\n3\n1\n0.5\n";
    expect_same_model(read(s.text()), read(strip().text()));
}

TEST(InputRecords, RecordsOutOfOrderFillTheSameArrays) {
    strip s;
    s.nodes = ": nodes\n4\nnode  x  y  z\n3 1 1 0\n1 0 0 0\n4 0 1 0\n2 1 0 0\n";
    s.elements = ": elements\n2\nelement  first  second  third\n2 1 3 4\n1 1 2 3\n";
    s.supports = ": supports\n7\nnode  dir  value\n4 3 0.0\n3 3 0.0\n2 3 0.0\n1 3 0.0\n4 1 0.0\n1 2 0.0\n1 1 0.0\n";
    expect_same_model(read(s.text()), read(strip().text()));
}

TEST(InputRecords, ToleranceNotGreaterThanZeroBecomesTheDefault) {
    constexpr double default_tolerance = 0.001;
    const struct {
        const char* given;
        double read;
    } cases[] = {{"0", default_tolerance},   {"0.0", default_tolerance}, {"-0.0", default_tolerance},
                 {"-1", default_tolerance},  {"-1E-9", default_tolerance}, {"1E-6", 1e-6},
                 {"0.5", 0.5},               {"2", 2.0}};
    for (const auto& c : cases) {
        strip s;
        s.control = std::string(": control\n0.9  20  ") + c.given + "  0  500  7\n";
        EXPECT_EQ(read(s.text()).tolerance, c.read) << c.given;
    }
}

TEST(InputRecords, NeoHookeanMaterialDiscardsAThirdParameter) {
    strip s;
    s.material = ": material\n2.5  1  0.3  40.0  99.0 more\n";
    const model m = read(s.text());
    EXPECT_EQ(m.thickness, 2.5);
    ASSERT_TRUE(m.material.has_value());
    EXPECT_EQ(m.material->kind(), material_law::neo_hookean);
    EXPECT_EQ(m.material->law(), material_law::neo_hookean);
    EXPECT_EQ(m.material->mu(), 0.3);
    EXPECT_EQ(m.material->bulk(), 40.0);
    EXPECT_EQ(m.node_count, 4);
}

TEST(InputRecords, MaterialParametersMaySpreadOverLines) {
    strip s;
    s.material = ": material\n1.0\n2\n0.4\n0.1  50.0\n";
    expect_same_model(read(s.text()), read(strip().text()));
}

// Any kind but 1 and 2 leaves no material and reads no parameter: the
// next line is already the nodes header, which no number could be read from.
TEST(InputRecords, OtherMaterialKindsLeaveNoMaterialAndReadNoParameter) {
    for (const char* kind : {"3", "0", "-1", "99"}) {
        strip s;
        s.material = std::string(": material\n1.0  ") + kind + "\n";
        const model m = read(s.text());
        EXPECT_FALSE(m.material.has_value()) << kind;
        EXPECT_EQ(m.thickness, 1.0);
        EXPECT_EQ(m.node_count, 4) << kind;
        EXPECT_EQ(m.element_count(), 2) << kind;
    }
    strip s;
    s.material = ": material\n1.0  3  0.4  0.1  50.0\n";
    EXPECT_FALSE(read(s.text()).material.has_value());
}

// A later record for the same node and direction replaces the earlier one;
// forces are not added up; a prescribed 0 still marks the direction.
TEST(InputRecords, RepeatedSupportAndForceRecordsReplace) {
    strip s;
    s.supports = ": supports\n4\nnode  dir  value\n2 1 0.5\n2 1 0.25\n3 2 0.75\n3 2 0.0\n";
    s.loads = ": loads\n3\nnode  dir  value\n3 1 1.0\n3 1 2.0\n4 3 -1.5\n";
    const model m = read(s.text());
    for (int k = 1; k <= 4; ++k) {
        for (int d = 1; d <= 3; ++d) {
            const bool held = (k == 2 && d == 1) || (k == 3 && d == 2);
            EXPECT_EQ(m.dof_number(k, d), held ? 1 : 0) << k << "," << d;
        }
    }
    EXPECT_EQ(m.prescribed(2, 1), 0.25);
    EXPECT_EQ(m.prescribed(3, 2), 0.0);
    EXPECT_EQ(m.prescribed(1, 1), 0.0);
    EXPECT_EQ(m.force(3, 1), 2.0);
    EXPECT_EQ(m.force(4, 3), -1.5);
    EXPECT_EQ(m.force(1, 1), 0.0);
    EXPECT_EQ(m.force(3, 2), 0.0);
}

// Sections 5 and 6 need a title line only when their count is above 0; a
// title line after a count of 0 is passed over as a comment by the search
// for the next header.
TEST(InputRecords, SupportAndLoadCountsOfZeroWithOrWithoutTitle) {
    const struct {
        const char* supports;
        const char* loads;
    } cases[] = {
        {": supports\n0\n", ": loads\n0\n"},
        {": supports\n0\nnode  dir  value\n", ": loads\n0\nnode  dir  value\n"},
        {": supports\n-2\n", ": loads\n-1\n"},
        {": supports\n0 none\n", ": loads\n0 none\nnode  dir  value\n3 1 0.5\n"},
    };
    for (const auto& c : cases) {
        strip s;
        s.supports = c.supports;
        s.loads = c.loads;
        const model m = read(s.text());
        ASSERT_EQ(m.node_count, 4);
        for (int k = 1; k <= 4; ++k) {
            for (int d = 1; d <= 3; ++d) {
                EXPECT_EQ(m.dof_number(k, d), 0) << c.supports;
                EXPECT_EQ(m.prescribed(k, d), 0.0) << c.supports;
                EXPECT_EQ(m.force(k, d), 0.0) << c.loads;
            }
        }
    }
}

// Sections 3 and 4 consume one title line after the count line even when
// the count is 0.
TEST(InputRecords, NodeAndElementSectionsAlwaysConsumeATitleLine) {
    strip s;
    s.nodes = ": nodes\n0\nnode  x  y  z\n";
    s.elements = ": elements\n0\nelement  first  second  third\n";
    s.supports = ": supports\n0\n";
    s.loads = ": loads\n0\n";
    const model m = read(s.text());
    EXPECT_EQ(m.node_count, 0);
    EXPECT_EQ(m.element_count(), 0);

    // A negative count reads no record and makes empty arrays.
    s.nodes = ": nodes\n-2\nnode  x  y  z\n";
    s.elements = ": elements\n-1\nelement  first  second  third\n";
    const model negative = read(s.text());
    EXPECT_EQ(negative.node_count, -2);
    EXPECT_EQ(negative.element_count(), 0);
    EXPECT_EQ(negative.dof_number.size(), 0u);

    // With no title after a count of 0 the next header is consumed as the
    // title, so the loads header is taken for the supports and the file
    // ends before a loads header.
    s.elements = ": elements\n0\n";
    EXPECT_EQ(read_failure(s.text()).name, "END_ERROR");

    // A missing title with records: the first record is consumed as the
    // title and the elements header is then read as a node record.
    strip t;
    t.nodes = ": nodes\n4\n1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n";
    const raised r = read_failure(t.text());
    EXPECT_EQ(r.name, "DATA_ERROR");
    EXPECT_EQ(r.message.rfind("input.txt:12: ", 0), 0u) << r.message;
}

TEST(InputRecords, ElementNodesAreNotCheckedWhileReading) {
    strip s;
    s.elements = ": elements\n2\nelement  first  second  third\n1 1 2 99\n2 0 -3 4\n";
    const model m = read(s.text());
    EXPECT_EQ(m.elements(1).node(3), 99);
    EXPECT_EQ(m.elements(2).node(1), 0);
    EXPECT_EQ(m.elements(2).node(2), -3);
}

TEST(InputRecords, NothingAfterTheLastLoadRecordIsRead) {
    strip s;
    s.loads += "garbage 1E999 ::\n: seventh section\n2147483648\nno line end";
    expect_same_model(read(s.text()), read(strip().text()));
}

TEST(InputRecords, LongerNumberFormsInRecords) {
    strip s;
    s.control = ": control\n0.9  2#10100#  1E-3  -0.0  5E2  16#7#\n";
    s.nodes = ": nodes\n2#100#\nnode  x  y  z\n1 0 0 0\n2 1_0E-1 0 0\n3 16#1# 2#1.0# 0\n4 0 1.0e0 -0\n";
    const model m = read(s.text());
    expect_same_model(m, read(strip().text()));
    EXPECT_TRUE(std::signbit(m.reference_residue));
    EXPECT_TRUE(std::signbit(m.z(4)));
}

}  // namespace
