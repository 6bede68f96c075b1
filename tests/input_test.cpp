// Tests of the reader of "input.txt": the number syntax, the section finder
// and the layout of the records. Values are worked out by hand from the
// texts (a based number's digits and exponent as powers of its base); whole
// runs on files the reader refuses are in failures_test.cpp.
#include "input.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "test_models.hpp"

namespace {

using test::strip;
using velmora::input_text;
using velmora::material_law;
using velmora::model;

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

model read(const std::string& text) {
    model m;
    velmora::read_model(m, text, "input.txt");
    return m;
}

std::string with_crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// Every field that the reader fills, as text; a zero of either sign as 0.
std::string describe(const model& m) {
    std::ostringstream t;
    t.precision(17);
    t << m.eta + 0.0 << " " << m.search_limit << " " << m.tolerance << " " << m.reference_residue + 0.0 << " "
      << m.max_iterations << " " << m.memory << " | " << m.thickness;
    if (m.material && m.material->law() == material_law::neo_hookean) t << " neo " << m.material->mu();
    if (m.material && m.material->law() == material_law::mooney_rivlin)
        t << " mr " << m.material->c10() << " " << m.material->c01();
    if (m.material) t << " " << m.material->bulk();
    for (int k = 1; k <= m.node_count; ++k) {
        t << "\n" << m.x(k) + 0.0 << " " << m.y(k) + 0.0 << " " << m.z(k) + 0.0;
        for (int d = 1; d <= 3; ++d)
            t << " " << m.dof_number(k, d) << ":" << m.prescribed(k, d) + 0.0 << ":" << m.force(k, d) + 0.0;
    }
    for (int e = 1; e <= m.element_count(); ++e)
        t << "\n" << m.elements(e).node(1) << " " << m.elements(e).node(2) << " " << m.elements(e).node(3);
    return t.str();
}

// ------------------------------------------------------------ number syntax

// The value read from the front of a text, and the text left unread: the
// longest run that forms a complete number is taken.
TEST(InputNumbers, IntegersReadByHand) {
    const struct {
        const char* text;
        int value;
        const char* rest;
    } cases[] = {
        {"0", 0, ""}, {"+7", 7, ""}, {"-42", -42, ""}, {"007", 7, ""}, {"1_000", 1000, ""}, {"1_2_3", 123, ""},
        {"2147483647", INT_MAX, ""}, {"-2147483648", INT_MIN, ""}, {"2E3", 2000, ""}, {"2e+3", 2000, ""},
        {"7E0", 7, ""}, {"-2E9", -2000000000, ""}, {"0E999999999999999999999", 0, ""}, {"16#1F#", 31, ""},
        {"16#ff#", 255, ""}, {"2#1_0#", 2, ""}, {"8#777#", 511, ""}, {"3#12#", 5, ""}, {"10#99#", 99, ""},
        {"-16#1F#", -31, ""}, {"16#7FFFFFFF#", INT_MAX, ""}, {"16#1E2#", 482, ""},  // E: a digit of base 16
        {"16#1#E2", 256, ""}, {"2#11#e4", 48, ""}, {"-2#1#E31", INT_MIN, ""},       // powers of the base
        {"4.0", 4, ".0"}, {"12e", 12, "e"}, {"1__0", 1, "__0"}, {"3 4", 3, " 4"}, {" \t 5", 5, ""},
        {"\r\n\r\n5", 5, ""}, {"\f5", 5, ""}, {"999999999", 999999999, ""}, {"0000000000123", 123, ""},
        {"-0000000002147483648", INT_MIN, ""},
    };
    for (const auto& c : cases) {
        input_text in(c.text, "input.txt");
        EXPECT_EQ(in.read_integer("value"), c.value) << c.text;
        EXPECT_EQ(in.remaining(), std::string_view(c.rest).size()) << c.text;
    }
}

TEST(InputNumbers, RealsReadByHand) {
    constexpr std::size_t zeros = 100010;  // beyond any double's decimal exponent range
    const struct {
        std::string text;
        double value;  // its sign bit too
        std::string rest;
    } cases[] = {
        {"3", 3, ""}, {"2.5e-4", 2.5e-4, ""}, {"1.0E+5", 1e5, ""}, {"-1.5", -1.5, ""}, {"+0.25", 0.25, ""},
        {"0.1", 0.1, ""}, {"1_000.000_1", 1000.0001, ""}, {"2e-3", 0.002, ""}, {"-0.0", -0.0, ""}, {"-0", -0.0, ""},
        {"1.7976931348623157E308", 1.7976931348623157e308, ""}, {"12345678901234567890", 12345678901234567890.0, ""},
        {"-16#0#", -0.0, ""}, {"+0.0", 0.0, ""}, {"0E999999999999999999999", 0, ""}, {"2#1.1#E1", 3, ""},
        {"16#0.4#E0", 0.25, ""}, {"16#0.8#", 0.5, ""}, {"2#1#E-2", 0.25, ""}, {"-8#0.4#", -0.5, ""},
        {"10#1.5#E1", 15, ""}, {"16#1F#", 31, ""}, {"5#1#E3", 125, ""}, {"3#0.1#", 1.0 / 3.0, ""},
        {"7#6.6#", 48.0 / 7.0, ""}, {"1.", 1, "."}, {"1e", 1, "e"}, {"1.5E+", 1.5, "E+"}, {"1_", 1, "_"},
        {"1__0", 1, "__0"}, {"1.5.3", 1.5, ".3"}, {"12,5", 12, ",5"}, {"16#A#x", 10, "x"},
        {"\t\r\n \f\n 2.5", 2.5, ""}, {"42 7", 42, " 7"}, {"-123456789012345", -123456789012345.0, ""},
        {"999999999999999", 999999999999999.0, ""}, {"9007199254740993", 9007199254740992.0, ""},  // 2^53 + 1 rounds
        // A long run of digits shifts the exponent by its length.
        {"0." + std::string(zeros, '0') + "1E" + std::to_string(zeros + 1), 1, ""},
        {"1" + std::string(zeros, '0') + "E-" + std::to_string(zeros), 1, ""},
        {"16#0." + std::string(zeros, '0') + "1#E" + std::to_string(zeros + 1), 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 30));
        input_text in(c.text, "input.txt");
        const double v = in.read_real("value");
        EXPECT_EQ(v, c.value);
        EXPECT_EQ(std::signbit(v), std::signbit(c.value));
        EXPECT_EQ(in.remaining(), c.rest.size());
    }
}

// Texts that neither reading accepts: no leading digit, a lone sign, a
// blank after the sign, a base outside 2..16, a digit outside its base, a
// missing '#', a value beyond a double (16#1#E300 is 2^1200); texts that are
// not 32-bit integers but are reals; and texts without a number.
TEST(InputNumbers, MalformedOrOutOfRangeNumbersFail) {
    const auto integer = [](const char* t) {
        return failure_of([&] { input_text(t, "input.txt").read_integer("value"); }).name;
    };
    const auto real = [](const char* t) { return failure_of([&] { input_text(t, "input.txt").read_real("value"); }).name; };
    for (const char* t : {".5", "abc", "+", "- 5", "_1", "E3", "\r5", ":", "17#1#", "1#0#", "99999999999999999999#1#",
                          "2#102#", "8#9#", "16#G#", "#1#", "16##", "16#1F", "16#1F 3", "16#1.#", "16#.8#", "1E100000",
                          "-1E999", "16#1#E300", "3#1#E1000"}) {
        EXPECT_EQ(integer(t), "DATA_ERROR") << t;
        EXPECT_EQ(real(t), "DATA_ERROR") << t;
    }
    for (const char* t : {"2#1.1#", "1E-2", "2147483648", "-2147483649", "3E9", "16#80000000#", "2#1#E31",
                          "4_294_967_296"}) {
        EXPECT_EQ(integer(t), "DATA_ERROR") << t;
        EXPECT_EQ(real(t), "none") << t;
    }
    EXPECT_EQ(real("1.0e309"), "DATA_ERROR");
    for (const char* t : {"", " \t\n\r\n\f "}) {
        EXPECT_EQ(integer(t), "END_ERROR");
        EXPECT_EQ(real(t), "END_ERROR");
    }
}

// A failure names the file and the line of the offending text, counting
// lines alike for either line end, and quotes what was found.
TEST(InputNumbers, FailureNamesFileLineAndText) {
    for (const std::string eol : {"\n", "\r\n"}) {
        const std::string text = "1" + eol + eol + "2" + eol + "node" + eol;
        const raised r = failure_of([&] {
            input_text in(text, "input.txt");
            for (int k = 0; k < 3; ++k) in.read_integer("value");
        });
        EXPECT_EQ(r.name, "DATA_ERROR");
        EXPECT_EQ(r.message.rfind("input.txt:4: ", 0), 0u) << r.message;
        EXPECT_NE(r.message.find("\"node\""), std::string::npos) << r.message;
    }
}

// ---------------------------------------------------------- sections and records

// Each node: coordinates, then per direction the support flag (before
// set-up), the prescribed value and the force.
TEST(InputSections, StripExampleReadsEveryField) {
    EXPECT_EQ(describe(read(strip().text())),
              "0.90000000000000002 20 0.001 0 500 7 | 1 mr 0.40000000000000002 0.10000000000000001 50\n"
              "0 0 0 1:0:0 1:0:0 1:0:0\n1 0 0 0:0:0 0:0:0 1:0:0\n1 1 0 0:0:0.5 0:0:0 1:0:0\n"
              "0 1 0 1:0:0 0:0:0 1:0:0\n1 2 3\n1 3 4");
}

// Texts that must read exactly like the strip example.
TEST(InputSections, LayoutVariantsReadLikeTheStrip) {
    const auto with = [](const std::function<void(strip&)>& change) {
        strip s;
        change(s);
        return s.text();
    };
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"comments, empty lines and lines with a blank before a colon pass over",
         with([](strip& s) {
             s.head = "\n\nStrip\n : not a header\n\t: nor this\n\nanother comment\n";
             s.material = "\n : still section 1\nloose words 1 2 3\n\n" + s.material;
             s.nodes = " : comment\n\n" + s.nodes;
             s.supports = "comment between sections\n" + s.supports;
             s.loads = " :\n\n" + s.loads;
         })},
        {"header text after the colon is free", with([](strip& s) {
             s.control = ":\n0.9  20  0.001  0  500  7\n";
             s.material = ":: 1 2 3\n1.0  2  0.4  0.1  50.0\n";
             s.nodes = ":4\n4\nnode  x  y  z\n1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n";
         })},
        {"CR LF line ends", with_crlf(strip().text())},
        {"tabs and form feeds, with CR LF", with_crlf(with([](strip& s) {
             s.control = ": control\n0.9\t20\t0.001\t0\t500\t7\n";
             s.nodes = ": nodes\n4\nnode  x  y  z\n1\t0 0 0\n\f2 1 0 0\n3 1 1 0\n4 0 1 0\n";
             s.elements = "\f: elements\n2\nelement  first  second  third\n1 1 2 3\n2\t1\t3\t4\n";
         }))},
        {"numbers spread over lines; only the rest of a record's last line is discarded", with([](strip& s) {
             s.control = ": control\n0.9\n\n20 0.001\n0    500\n7 the rest is a comment 1 2 3\n";
             s.material = ": material\n1.0\n2\n0.4\n0.1  50.0\n";
             s.nodes = ": nodes\n4\nnode  x  y  z\n1\n0\n0 0\n2 1\n0 0\n3 1 1 0\n4 0 1\n\n0\n";
             s.elements = ": elements\n2\nelement  first  second  third\n1 1\n2 3\n2 1 3 4\n";
             s.loads = ": loads\n1\nnode  dir  value\n3\n1\n0.5\n";
         })},
        {"trailing text and extra numbers are discarded", with([](strip& s) {
             s.control = ": control\n0.9  20  0.001  0  500  7  8 9 eta limit tol\n";
             s.nodes = ": nodes\n4 nodes\nnode  x  y  z\n1 0 0 0 origin\n2 1 0 0 5 6 7\n3 1 1 0\t:corner\n4 0 1 0 0\n";
             s.elements = ": elements\n2 triangles\nelement  first  second  third\n1 1 2 3 4\n2 1 3 4 lower\n";
             s.loads = ": loads\n1 force\nnode  dir  value\n3 1 0.5 pull\n";
         })},
        {"records in any order", with([](strip& s) {
             s.nodes = ": nodes\n4\nnode  x  y  z\n3 1 1 0\n1 0 0 0\n4 0 1 0\n2 1 0 0\n";
             s.elements = ": elements\n2\nelement  first  second  third\n2 1 3 4\n1 1 2 3\n";
             s.supports = ": supports\n7\nnode  dir  value\n4 3 0.0\n3 3 0.0\n2 3 0.0\n1 3 0.0\n4 1 0.0\n1 2 0\n1 1 0\n";
         })},
        {"longer number forms", with([](strip& s) {
             s.control = ": control\n0.9  2#10100#  1E-3  -0.0  5E2  16#7#\n";
             s.nodes = ": nodes\n2#100#\nnode  x  y  z\n1 0 0 0\n2 1_0E-1 0 0\n3 16#1# 2#1.0# 0\n4 0 1.0e0 -0\n";
         })},
        {"nothing after the last load record is read", with([](strip& s) {
             s.loads += "garbage 1E999 ::\n: seventh section\n2147483648\nno line end";
         })},
    };
    const std::string plain = describe(read(strip().text()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(describe(read(c.text)), plain);
    }
}

// The file ends before a header: no loads section, an indented (so not a
// header) loads line, nothing at all, only empty lines.
TEST(InputSections, FileEndingBeforeAHeaderIsAnEndFailure) {
    strip s;
    s.loads = "";
    strip t;
    t.loads = " : loads\n1\nnode  dir  value\n3 1 0.5\n";
    for (const std::string& text : {s.text(), t.text(), std::string(), std::string("\n\n\n")})
        EXPECT_EQ(failure_of([&] { read(text); }).name, "END_ERROR") << text;
}

TEST(InputRecords, ToleranceNotGreaterThanZeroBecomesTheDefault) {
    const struct {
        const char* given;
        double read;
    } cases[] = {{"0", 0.001},  {"0.0", 0.001},   {"-0.0", 0.001}, {"-1", 0.001},
                 {"-1E-9", 0.001}, {"1E-6", 1e-6}, {"0.5", 0.5},    {"2", 2.0}};
    for (const auto& c : cases) {
        strip s;
        s.control = std::string(": control\n0.9  20  ") + c.given + "  0  500  7\n";
        EXPECT_EQ(read(s.text()).tolerance, c.read) << c.given;
    }
}

// Kind 1 reads two parameters (a third is discarded with the line); kinds
// other than 1 and 2 leave no material and read no parameter, so the nodes
// header follows directly.
TEST(InputRecords, MaterialKindDecidesTheParameters) {
    strip s;
    s.material = ": material\n2.5  1  0.3  40.0  99.0 more\n";
    const model m = read(s.text());
    EXPECT_EQ(m.thickness, 2.5);
    ASSERT_TRUE(m.material.has_value());
    EXPECT_EQ(m.material->law(), material_law::neo_hookean);
    EXPECT_EQ(m.material->mu(), 0.3);
    EXPECT_EQ(m.material->bulk(), 40.0);
    for (const char* line : {"1.0  3", "1.0  0", "1.0  -1", "1.0  99", "1.0  3  0.4  0.1  50.0"}) {
        s.material = std::string(": material\n") + line + "\n";
        const model other = read(s.text());
        EXPECT_FALSE(other.material.has_value()) << line;
        EXPECT_EQ(other.node_count, 4) << line;
        EXPECT_EQ(other.element_count(), 2) << line;
    }
}

// A later record for the same node and direction replaces the earlier one
// (forces are not added up); a prescribed 0 still marks the direction;
// element corners are not checked while reading.
TEST(InputRecords, RecordsAreStoredAsGivenAndRepeatsReplace) {
    strip s;
    s.elements = ": elements\n2\nelement  first  second  third\n1 1 2 99\n2 0 -3 4\n";
    s.supports = ": supports\n4\nnode  dir  value\n2 1 0.5\n2 1 0.25\n3 2 0.75\n3 2 0.0\n";
    s.loads = ": loads\n3\nnode  dir  value\n3 1 1.0\n3 1 2.0\n4 3 -1.5\n";
    const model m = read(s.text());
    for (int k = 1; k <= 4; ++k)
        for (int d = 1; d <= 3; ++d)
            EXPECT_EQ(m.dof_number(k, d), (k == 2 && d == 1) || (k == 3 && d == 2) ? 1 : 0) << k << "," << d;
    EXPECT_EQ(m.prescribed(2, 1), 0.25);
    EXPECT_EQ(m.prescribed(3, 2), 0.0);
    EXPECT_EQ(m.force(3, 1), 2.0);
    EXPECT_EQ(m.force(4, 3), -1.5);
    EXPECT_EQ(m.force(3, 2), 0.0);
    EXPECT_EQ(m.elements(1).node(3), 99);
    EXPECT_EQ(m.elements(2).node(1), 0);
    EXPECT_EQ(m.elements(2).node(2), -3);
}

// Supports and loads need a title line only after a count above 0 (one
// after 0 is passed over as a comment); nodes and elements always consume
// one, so without it the next header is taken as the title.
TEST(InputRecords, TitleLinesAfterTheCounts) {
    for (const auto& [supports, loads] :
         {std::pair{": supports\n0\n", ": loads\n0\n"},
          {": supports\n0\nnode  dir  value\n", ": loads\n0\nnode  dir  value\n"},
          {": supports\n-2\n", ": loads\n-1\n"},
          {": supports\n0 none\n", ": loads\n0 none\nnode  dir  value\n3 1 0.5\n"}}) {
        strip s;
        s.supports = supports;
        s.loads = loads;
        const model m = read(s.text());
        ASSERT_EQ(m.node_count, 4);
        for (int k = 1; k <= 4; ++k)
            for (int d = 1; d <= 3; ++d) {
                EXPECT_EQ(m.dof_number(k, d), 0) << supports;
                EXPECT_EQ(m.force(k, d), 0.0) << loads;
            }
    }
    strip s;
    s.nodes = ": nodes\n0\nnode  x  y  z\n";
    s.elements = ": elements\n-1\nelement  first  second  third\n";
    s.supports = ": supports\n0\n";
    s.loads = ": loads\n0\n";
    const model empty = read(s.text());
    EXPECT_EQ(empty.node_count, 0);
    EXPECT_EQ(empty.element_count(), 0);
    s.elements = ": elements\n0\n";
    EXPECT_EQ(failure_of([&] { read(s.text()); }).name, "END_ERROR");

    // Without the node title the first record is the title, and the
    // elements header (line 12) is read as a node record.
    strip t;
    t.nodes = ": nodes\n4\n1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n";
    const raised r = failure_of([&] { read(t.text()); });
    EXPECT_EQ(r.name, "DATA_ERROR");
    EXPECT_EQ(r.message.rfind("input.txt:12: ", 0), 0u) << r.message;
}

}  // namespace
