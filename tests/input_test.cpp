// Tests of the reader of "input.txt": the number syntax, the section finder
// and the layout of the records. Values are worked out by hand from the
// texts (a based number's digits and exponent as powers of its base); whole
// runs on files the reader refuses are in failures_test.cpp.
#include "read/input.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <regex>
#include <sstream>
#include <string>

#include "read/input_text.hpp"
#include "test_models.hpp"

namespace {

using test::strip;
using velmora::input_text;

// The name of the failure that f raises, or "none".
template <class F>
std::string failure_of(F f) {
    try {
        f();
    } catch (const terms::failure& e) {
        return e.name();
    }
    return "none";
}

std::string with_crlf(const std::string& text) { return std::regex_replace(text, std::regex("\n"), "\r\n"); }

// Every field that read fills, as text (a zero of either sign as 0), or
// the failure it raises: its name, and with message also the message.
template <class Read>
std::string outcome(Read read, bool message = false) {
    velmora::model m;
    try {
        read(m);
    } catch (const terms::failure& e) {
        return message ? e.name() + ": " + e.message() : e.name();
    }
    std::ostringstream t;
    t.precision(17);
    t << m.eta + 0.0 << " " << m.search_limit << " " << m.tolerance << " " << m.reference_residue + 0.0 << " "
      << m.max_iterations << " " << m.memory << " | " << m.thickness;
    if (m.material && m.material->law() == velmora::material_law::neo_hookean)
        t << " neo " << m.material->mu();
    else if (m.material)
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

// Each text read as an integer and as a real: the value (a real's sign bit
// too) and the length left unread, since the longest run that forms a
// complete number is taken; or DATA_ERROR ("bad"), or END_ERROR ("none")
// when the text holds no number. A based number's digits and exponent are
// powers of its base.
TEST(InputNumbers, NumbersReadByHand) {
    constexpr double bad = NAN, none = INFINITY;
    constexpr std::size_t zeros = 100010;  // beyond any double's decimal exponent range
    const std::string tiny = "0." + std::string(zeros, '0') + "1E" + std::to_string(zeros + 1);
    const struct {
        std::string text;
        double integer;
        std::size_t integer_rest;
        double real;
        std::size_t real_rest;
    } cases[] = {
        {"", none, 0, none, 0},
        {" \t\n\r\n\f ", none, 0, none, 0},
        {"+7", 7, 0, 7, 0},
        {"-42", -42, 0, -42, 0},
        {"1_0_00", 1000, 0, 1000, 0},
        {"999999999", 999999999, 0, 999999999, 0},
        {"0000000000123", 123, 0, 123, 0},
        {"2147483647", 2147483647, 0, 2147483647, 0},
        {"-2147483648", -2147483648.0, 0, -2147483648.0, 0},
        {"2147483648", bad, 0, 2147483648.0, 0},
        {"-2147483649", bad, 0, -2147483649.0, 0},
        {"3E9", bad, 0, 3e9, 0},
        {"2e+3", 2000, 0, 2000, 0},
        {"0E999999999999999999999", 0, 0, 0, 0},
        {"1E-2", bad, 0, 0.01, 0},
        {"2.5e-4", 2, 5, 2.5e-4, 0},
        {"1_000.000_1", 1000, 6, 1000.0001, 0},
        {"1.7976931348623157E308", 1, 21, 1.7976931348623157e308, 0},
        {"1.0e309", 1, 6, bad, 0},
        {"12345678901234567890", bad, 0, 12345678901234567890.0, 0},
        {"-123456789012345", bad, 0, -123456789012345.0, 0},
        {"9007199254740993", bad, 0, 9007199254740992.0, 0},  // 2^53 + 1 rounds to even
        {"-0.0", 0, 2, -0.0, 0},
        {"-0", 0, 0, -0.0, 0},
        {"-16#0#", 0, 0, -0.0, 0},
        {"+0.25", 0, 3, 0.25, 0},
        {"16#ff#", 255, 0, 255, 0},
        {"3#12#", 5, 0, 5, 0},
        {"-16#1F#", -31, 0, -31, 0},
        {"5#1#E3", 125, 0, 125, 0},
        {"16#1#E2", 256, 0, 256, 0},
        {"2#1#E-2", bad, 0, 0.25, 0},
        {"16#1E2#", 482, 0, 482, 0},  // E: a digit
        {"16#7FFFFFFF#", 2147483647, 0, 2147483647, 0},
        {"16#80000000#", bad, 0, 2147483648.0, 0},
        {"-2#1#E31", -2147483648.0, 0, -2147483648.0, 0},
        {"2#1#E31", bad, 0, 2147483648.0, 0},
        {"3#0#E99999", 0, 0, 0, 0},
        {"2#1.1#E1", bad, 0, 3, 0},
        {"16#0.4#E0", bad, 0, 0.25, 0},
        {"-8#0.4#", bad, 0, -0.5, 0},
        {"10#1.5#E1", bad, 0, 15, 0},
        {"7#6.6#", bad, 0, 48.0 / 7.0, 0},
        {"4.0", 4, 2, 4, 0},
        {"1.", 1, 1, 1, 1},
        {"1.5.3", 1, 4, 1.5, 2},
        {"12e", 12, 1, 12, 1},
        {"12e+", 12, 2, 12, 2},
        {"1_", 1, 1, 1, 1},
        {"1__0", 1, 3, 1, 3},
        {"3 4", 3, 2, 3, 2},
        {"16#A#x", 10, 1, 10, 1},
        {"\r\n\f \t5", 5, 0, 5, 0},
        {"\t\r\n \f\n 2.5", 2, 2, 2.5, 0},
        // A long run of digits shifts the exponent by its length.
        {tiny, 0, tiny.size() - 1, 1, 0},
        {std::string("1").append(zeros, '0') + "E-" + std::to_string(zeros), bad, 0, 1, 0},
        {"16#0." + std::string(zeros, '0') + "1#E" + std::to_string(zeros + 1), bad, 0, 1, 0},
        // No leading digit, a lone sign, a blank after the sign, a base
        // outside 2..16, a digit outside its base, a missing '#', a value
        // beyond a double (16#1#E300 is 2^1200).
        {".5", bad, 0, bad, 0},
        {"abc", bad, 0, bad, 0},
        {"+", bad, 0, bad, 0},
        {"- 5", bad, 0, bad, 0},
        {"_1", bad, 0, bad, 0},
        {"E3", bad, 0, bad, 0},
        {"\r5", bad, 0, bad, 0},
        {"17#1#", bad, 0, bad, 0},
        {"1#0#", bad, 0, bad, 0},
        {"99999999999999999999#1#", bad, 0, bad, 0},
        {"2#102#", bad, 0, bad, 0},
        {"16#G#", bad, 0, bad, 0},
        {"#1#", bad, 0, bad, 0},
        {"16##", bad, 0, bad, 0},
        {"16#1F 3", bad, 0, bad, 0},
        {"16#1.#", bad, 0, bad, 0},
        {"16#.8#", bad, 0, bad, 0},
        {"-1E999", bad, 0, bad, 0},
        {"16#1#E300", bad, 0, bad, 0},
        {"3#1#E1000", bad, 0, bad, 0},
    };
    for (const auto& c : cases) {
        for (const bool real : {false, true}) {
            SCOPED_TRACE(c.text.substr(0, 30) + (real ? " as a real" : " as an integer"));
            const double want = real ? c.real : c.integer;
            double got = bad;
            input_text in(c.text, "input.txt");
            EXPECT_EQ(failure_of([&] { got = real ? in.read_real("value") : in.read_integer("value"); }),
                      std::isnan(want)   ? "DATA_ERROR"
                      : std::isinf(want) ? "END_ERROR"
                                         : "none");
            if (!std::isfinite(want)) continue;
            EXPECT_EQ(got, want);
            EXPECT_EQ(std::signbit(got), std::signbit(want));
            EXPECT_EQ(in.remaining(), real ? c.real_rest : c.integer_rest);
        }
    }
}

// Whole files read by hand. Per node: its coordinates, then per direction
// the support flag, the prescribed value and the force; then the corners of
// each element.
TEST(InputSections, FilesReadByHand) {
    const std::string control = "0.90000000000000002 20 0.001 0 500 7 | ";
    const std::string mr = "1 mr 0.40000000000000002 0.10000000000000001 50";
    const std::string nodes =
        "\n0 0 0 1:0:0 1:0:0 1:0:0\n1 0 0 0:0:0 0:0:0 1:0:0\n1 1 0 0:0:0.5 0:0:0 1:0:0\n"
        "0 1 0 1:0:0 0:0:0 1:0:0\n1 2 3\n1 3 4";
    const struct {
        std::string text, read;
    } cases[] = {
        {strip().text(), control + mr + nodes},
        // Comments, empty lines and lines with a blank before a colon pass
        // over; header text after the colon is free; CR LF, tabs and form
        // feeds; numbers spread over lines, and only the rest of a record's
        // last line discarded; records in any order; nothing after the last
        // load record read; a tolerance not above 0 becomes 0.001.
        {with_crlf(strip{
             .head = "\n\nStrip\n : not a header\n\t: nor this\n",
             .control = ":\n0.9\t20\n\n0 0    500\n7 the rest 1 2 3\n",
             .material = "\n : still section 1\nloose words 1 2 3\n\n:: 1 2 3\n1.0  2  0.4  0.1  50.0\n",
             .nodes = ": nodes\n4 nodes\nnode  x  y  z\n3 1 1 0\t:c\n1\n0\n0 0\n\f2 1 0 0 5 6\n4 0 1\n\n0\n",
             .elements = "\f: elements\n2\ntitle\n2\t1\t3\t4\n1 1\n2 3 4\n",
             .supports = "comment\n: supports\n7\ntitle\n4 3 0.0\n3 3 0.0\n2 3 0.0\n1 3 0.0\n4 1 0\n1 2 0\n1 1 0\n",
             .loads = ": loads\n1\ntitle\n3 1 0.5\ngarbage 1E999 ::\n: seventh section\n2147483648\nno line end"}
                       .text()),
         control + mr + nodes},
        // Kind 1 reads two parameters (a third is discarded with the line);
        // kinds other than 1 and 2 leave no material and read none.
        {strip{.control = ": control\n0.9  20  -1E-9  0  500  7\n",
               .material = ": material\n2.5  1  0.3  40.0  99.0 more\n"}
             .text(),
         control + "2.5 neo 0.29999999999999999 40" + nodes},
        {strip{.control = ": control\n0.9  20  0.5  0  500  7\n", .material = ": material\n1.0  3  0.4  0.1  50.0\n"}
             .text(),
         "0.90000000000000002 20 0.5 0 500 7 | 1" + nodes},
        // A later record for the same node and direction replaces the
        // earlier one (forces are not added up); a prescribed 0 still marks
        // the direction; element corners are not checked while reading.
        {strip{.elements = ": elements\n2\ntitle\n1 1 2 99\n2 0 -3 4\n",
               .supports = ": supports\n4\ntitle\n2 1 0.5\n2 1 0.25\n3 2 0.75\n3 2 0.0\n",
               .loads = ": loads\n3\ntitle\n3 1 1.0\n3 1 2.0\n4 3 -1.5\n"}
             .text(),
         control + mr +
             "\n0 0 0 0:0:0 0:0:0 0:0:0\n1 0 0 1:0.25:0 0:0:0 0:0:0\n1 1 0 0:0:2 1:0:0 0:0:0\n"
             "0 1 0 0:0:0 0:0:0 0:0:-1.5\n1 2 99\n0 -3 4"},
        // Supports and loads need a title line only after a count above 0
        // (one after 0 is passed over as a comment); nodes and elements
        // always consume one. Material kind 0 reads no parameter either.
        {strip{.material = ": material\n1.0  0\n",
               .nodes = ": nodes\n0\ntitle\n",
               .elements = ": elements\n-1\ntitle\n",
               .supports = ": supports\n0\n",
               .loads = ": loads\n-1\n"}
             .text(),
         control + "1"},
        {strip{.supports = ": supports\n0 none\ntitle\n", .loads = ": loads\n0 none\ntitle\n3 1 0.5\n"}.text(),
         control + mr +
             "\n0 0 0 0:0:0 0:0:0 0:0:0\n1 0 0 0:0:0 0:0:0 0:0:0\n1 1 0 0:0:0 0:0:0 0:0:0\n"
             "0 1 0 0:0:0 0:0:0 0:0:0\n1 2 3\n1 3 4"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(outcome([&](velmora::model& m) { velmora::read_model(m, c.text, "input.txt"); }), c.read) << c.text;
}

// A file read a piece at a time gives what its whole text gives: the same
// model, or the same failure with the same line and message, whatever the
// size of the pieces and whether the file's size is known. The texts put
// line ends, CR LF pairs, comments and records across the pieces' edges,
// hold lines longer than a piece, end without a line end, and give counts
// that the rest of the file cannot hold.
TEST(InputSections, FileReadInPiecesReadsAsTheWholeText) {
    const std::string whole = strip().text();
    const std::string texts[] = {
        whole,
        with_crlf(whole),
        strip{.head = "\f\fa comment line much longer than the short pieces of the reader\n\n",
              .nodes = ": nodes\n4\ntitle\n1 0 0 0\n2\n1\n\n0 0\n3 1 1 0\f\n4 0 1 0 and a long tail after the record\n"}
            .text(),
        whole.substr(0, whole.size() - 1),  // no line end at the end
        whole.substr(0, whole.find("3 1 0.5") + 5),
        whole.substr(0, whole.find(": elements")),
        "",
        "\n\n\n",
        ": control\n0.9  20  0.001  0  500  7",
        strip{.nodes = ": nodes\n400\ntitle\n1 0 0 0\n"}.text(),
        with_crlf(strip{.elements = ": elements\n2\ntitle\n1 1 2 3\n2 1 3 x4\n"}.text()),
        strip{.supports = ": supports\n1\ntitle\n9 1 0.0\n"}.text(),
        strip{.loads = ": loads\n1\ntitle\n3 1 0.5 no line end"}.text(),
        strip{.loads = ": loads\n1\ntitle\n3 1 0.5\r"}.text(),
    };
    for (const std::string& text : texts) {
        const std::string want = outcome([&](velmora::model& m) { velmora::read_model(m, text, "input.txt"); }, true);
        for (const std::size_t piece : {1, 2, 3, 7, 64, 1 << 20})
            for (const bool size_known : {false, true}) {
                SCOPED_TRACE("piece " + std::to_string(piece) + (size_known ? ", size known: " : ": ") + text);
                std::FILE* file = std::tmpfile();
                ASSERT_NE(file, nullptr);
                std::fwrite(text.data(), 1, text.size(), file);
                std::rewind(file);
                const std::optional<std::uintmax_t> size =
                    size_known ? std::optional<std::uintmax_t>(text.size()) : std::nullopt;
                EXPECT_EQ(
                    outcome([&](velmora::model& m) { velmora::read_model(m, file, size, "input.txt", piece); }, true),
                    want);
                std::fclose(file);
            }
    }
}

// A model file read by its path gives what its text gives, with failures
// located by that path; a path that names no file is a NAME_ERROR that
// names it.
TEST(InputSections, FileReadByPath) {
    const test::scratch_dir dir;
    const std::string path = (dir.path() / "model.txt").string();
    for (const std::string& text :
         {strip().text(), strip{.elements = ": elements\n2\ntitle\n1 1 2 3\n2 1 3 x4\n"}.text()}) {
        dir.write("model.txt", text);
        EXPECT_EQ(outcome([&](velmora::model& m) { velmora::read_model_file(m, path); }, true),
                  outcome([&](velmora::model& m) { velmora::read_model(m, text, path); }, true));
    }
    const std::string missing = (dir.path() / "missing.txt").string();
    EXPECT_EQ(outcome([&](velmora::model& m) { velmora::read_model_file(m, missing); }, true),
              "NAME_ERROR: cannot open \"" + missing + "\": No such file or directory");
}

}  // namespace
