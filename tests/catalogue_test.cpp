// The catalogue of bad input: one whole run per kind of fault, each checked
// for exit status 1, the report "\nraised NAME : message\n" on standard
// error, a message that locates the fault, and which output files exist
// afterwards (those of the steps before the failure, complete; none of the
// steps after it).
//
// Kinds that other test files already run, listed here so that the
// catalogue reads whole:
//   missing "input.txt", "input.txt" a directory, empty file, letters in a
//   number, integers beyond 32 bits and reals beyond a double, bases outside
//   2..16, node, element and direction numbers out of range (0 and 4
//   included), duplicated node and element records, a file ending before a
//   header, inside a record or without a last line end
//       failures_test.cpp (InputFailures, Reader/InputFailure)
//   a count far too large for the file       failures_test.cpp (CountBeyondFile)
//   zero-area element, element corner out of range, material kind 3 with
//   reference residue 0                      setup_test.cpp
//   no descent direction (NLP.HALT)          verdict_test.cpp, report_test.cpp
// The kinds below are the rest.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "program_run.hpp"

namespace {

using test::fs::path;

const char* const output_files[] = {"ansys.txt", "autocad.scr", "output.txt"};

path reference(const std::string& model) { return path(VELMORA_TEST_DATA) / "reference" / model; }

using test::strip;

// The line on which a text ends, counted as a person counts the lines of
// an editor: the line after the last line end, or the last line when the
// text ends with a line end.
int last_line(const std::string& text) {
    int line = 1;
    for (char c : text)
        if (c == '\n') ++line;
    return !text.empty() && text.back() == '\n' ? line - 1 : line;
}

bool printable(const std::string& text) {
    for (char c : text)
        if (c < ' ' || c > '~') return false;
    return true;
}

// The shape every failing run shares: exit status 1 and exactly
// "\nraised NAME : message\n" on standard error, the message one line of
// printable ASCII. Returns the message.
std::string failure_message(const test::run_result& r, const std::string& name) {
    EXPECT_EQ(r.status, 1);
    const std::string head = "\nraised " + name + " : ";
    EXPECT_EQ(r.err.rfind(head, 0), 0u) << "stderr: " << r.err;
    if (r.err.size() <= head.size() || r.err.back() != '\n') {
        ADD_FAILURE() << "no message or no final line end: " << r.err;
        return {};
    }
    std::string message = r.err.substr(head.size(), r.err.size() - head.size() - 1);
    EXPECT_FALSE(message.empty());
    EXPECT_TRUE(printable(message)) << "not one printable line: " << message;
    return message;
}

// Checks the location prefix "input.txt:LINE: " of a reader failure.
void expect_located(const std::string& message, int line) {
    const std::string location = "input.txt:" + std::to_string(line) + ": ";
    EXPECT_EQ(message.rfind(location, 0), 0u) << "expected at " << location << "\nmessage: " << message;
}

void expect_contains(const std::string& message, const std::string& fragment) {
    EXPECT_NE(message.find(fragment), std::string::npos) << "expected \"" << fragment << "\" in: " << message;
}

void expect_no_output_file(const test::scratch_dir& dir) {
    for (const char* name : output_files) EXPECT_FALSE(dir.has(name)) << name;
}

// ------------------------------------------------------------ binary garbage

// Deterministic bytes (a linear congruential generator) from the whole
// byte range except the colon, so that no line can be a header: the reader
// passes over everything as comment lines and reaches the end of the file
// still looking for the first header.
std::string garbage(std::size_t size, std::uint32_t seed) {
    std::string bytes;
    std::uint32_t state = seed;
    while (bytes.size() < size) {
        state = state * 1664525u + 1013904223u;
        const char c = static_cast<char>(state >> 24);
        if (c != ':') bytes += c;
    }
    return bytes;
}

TEST(BadInputCatalogue, BinaryGarbageHasNoHeader) {
    const std::string bytes = garbage(4096, 7) + "\n";
    test::model_run run(bytes);
    const std::string message = failure_message(run.result, "END_ERROR");
    expect_located(message, last_line(bytes));
    expect_contains(message, "control");
    EXPECT_EQ(run.result.out, "");
    expect_no_output_file(run.dir);
}

// Garbage where the first number is expected: the message quotes it with
// its unprintable bytes written as \xNN, on the line of the garbage.
TEST(BadInputCatalogue, BinaryGarbageWhereANumberIsExpected) {
    const std::string input = "Strip\n: control\n" + std::string(1, '\0') + "\x01\xFF\x80" + garbage(512, 3);
    test::model_run run(input);
    const std::string message = failure_message(run.result, "DATA_ERROR");
    expect_located(message, 3);
    expect_contains(message, "eta");
    expect_contains(message, "\\x00\\x01\\xFF\\x80");
    EXPECT_EQ(run.result.out, "");
    expect_no_output_file(run.dir);
}

// The strip model saved as UTF-16 (little-endian, with a byte-order mark):
// every character is followed by a zero byte, so no line begins with a
// colon and the first header is never found. The file ends with the zero
// byte after its last line feed, a last line without a line end.
TEST(BadInputCatalogue, Utf16FileHasNoHeader) {
    const std::string text = strip().text();
    std::string utf16 = "\xFF\xFE";
    for (char c : text) {
        utf16 += c;
        utf16 += '\0';
    }
    test::model_run run(utf16);
    const std::string message = failure_message(run.result, "END_ERROR");
    expect_located(message, last_line(utf16));
    expect_contains(message, "header of the control section");
    EXPECT_EQ(run.result.out, "");
    expect_no_output_file(run.dir);
}

// ------------------------------------------------ a number that is in range

// 3#0#E99999 is zero times a large power of three: zero, as 2#0#E99999 and
// 0E99999 are. The strip model with it as the first coordinate of node 4
// (0 in the reference file) must give the reference run's bytes: the power
// of three overflows, and the reader once refused 0 * inf = NaN as
// "outside the range of a double".
TEST(BadInputCatalogue, ZeroWithALargeExponentInBase3IsZero) {
    const path folder = reference("strip_example");
    std::string input = test::read_file(folder / "input.txt");
    const std::string node4 = "\n4 0 1 0\n";
    const std::size_t at = input.find(node4);
    ASSERT_NE(at, std::string::npos) << "the reference model changed";
    input.replace(at, node4.size(), "\n4 3#0#E99999 1 0\n");
    test::model_run run(input);
    EXPECT_EQ(run.result.status, 0) << run.result.err;
    EXPECT_EQ(run.result.out, test::read_file(folder / "expected" / "stdout.txt"));
    for (const char* name : output_files)
        EXPECT_EQ(run.dir.read(name), test::read_file(folder / "expected" / name)) << name;
}

// ------------------------------------------------- truncated in every section

// Every place where a copy of the file can break off inside a section:
// after each word or number and after each line end. The reader reports
// END_ERROR on the line where the text stops, or, in the nodes and
// elements sections, possibly on the line of the count when the rest of
// the text is too short for the records it announces; no file is written.
struct section_cut {
    const char* section;
    std::size_t first;  // the section's first byte in the strip text
    std::size_t last;   // one past its last byte
    int count_line;     // line of the count checked against the rest, or 0
};

std::ostream& operator<<(std::ostream& os, const section_cut& c) { return os << c.section; }

std::vector<section_cut> sections() {
    const strip s;
    std::vector<section_cut> cuts;
    std::size_t at = 0;
    const auto add = [&](const char* name, std::size_t length, int count_line) {
        cuts.push_back({name, at, at + length, count_line});
        at += length;
    };
    add("control", s.head.size() + s.control.size(), 0);
    add("material", s.material.size(), 0);
    add("nodes", s.nodes.size(), 7);
    add("elements", s.elements.size(), 14);
    add("supports", s.supports.size(), 0);
    add("loads", s.loads.size(), 0);
    return cuts;
}

bool blank(char c) { return c == ' ' || c == '\n'; }

class TruncatedFile : public testing::TestWithParam<section_cut> {};

TEST_P(TruncatedFile, EndsWithEndErrorOnTheLastLine) {
    const section_cut& c = GetParam();
    const std::string whole = strip().text();
    int cuts = 0;
    for (std::size_t length = c.first + 1; length <= c.last && length < whole.size(); ++length) {
        const bool after_word = !blank(whole[length - 1]) && blank(whole[length]);
        const bool after_line_end = whole[length - 1] == '\n';
        if (!after_word && !after_line_end) continue;
        const std::string text = whole.substr(0, length);
        SCOPED_TRACE("input.txt cut after byte " + std::to_string(length) + ": ..." +
                     text.substr(text.size() > 24 ? text.size() - 24 : 0));
        test::model_run run(text);
        const std::string message = failure_message(run.result, "END_ERROR");
        const std::string at_count = "input.txt:" + std::to_string(c.count_line) + ": ";
        if (c.count_line != 0 && message.rfind(at_count, 0) == 0) {
            expect_contains(message, "count");
        } else {
            expect_located(message, last_line(text));
            expect_contains(message, "end");
        }
        EXPECT_EQ(run.result.out, "");
        expect_no_output_file(run.dir);
        ++cuts;
    }
    // Each section holds a header and at least one line of numbers.
    EXPECT_GE(cuts, 4);
}

INSTANTIATE_TEST_SUITE_P(EverySection, TruncatedFile, testing::ValuesIn(sections()),
                         [](const testing::TestParamInfo<section_cut>& info) {
                             return std::string(info.param.section);
                         });

// ---------------------------------------------------------- a header missing

// Without the material header the reader, looking for it, passes over the
// material line as a comment and takes the nodes header for it: the node
// count becomes the thickness and the title line of the nodes stands where
// the material kind is expected.
TEST(BadInputCatalogue, MaterialHeaderMissing) {
    strip s;
    s.material = "1.0  2  0.4  0.1  50.0\n";
    test::model_run run(s.text());
    const std::string message = failure_message(run.result, "DATA_ERROR");
    expect_located(message, 7);
    expect_contains(message, "material kind");
    expect_contains(message, "\"node\"");
    EXPECT_EQ(run.result.out, "");
    expect_no_output_file(run.dir);
}

// -------------------------------------------- material kind 3, residue above 0

// With a positive reference residue the set-up needs no energy, so the
// absent material is first needed by the deck writer: "ansys.txt" stops
// after its data-table heading (the reviewed reference file), nothing else
// is written and no verdict is printed. (Kind 3 with reference residue 0
// fails in the set-up, before any file: setup_test.cpp.)
TEST(BadInputCatalogue, MaterialKind3WithPositiveReferenceResidue) {
    const path folder = reference("kind3_refpos");
    test::model_run run(test::read_file(folder / "input.txt"));
    const std::string message = failure_message(run.result, "MATERIAL_ERROR");
    expect_contains(message, "kind 3");
    EXPECT_EQ(run.result.out, "");
    ASSERT_TRUE(run.dir.has("ansys.txt"));
    EXPECT_EQ(run.dir.read("ansys.txt"), test::read_file(folder / "expected" / "ansys.txt"));
    EXPECT_FALSE(run.dir.has("autocad.scr"));
    EXPECT_FALSE(run.dir.has("output.txt"));
}

// ------------------------------------------ output that cannot be written

// The strip model of the reference runs, whose expected files say what a
// complete file of each earlier step holds.
class UnwritableOutput : public testing::Test {
protected:
    void SetUp() override { dir.write("input.txt", test::read_file(folder / "input.txt")); }

    std::string expected(const std::string& name) const { return test::read_file(folder / "expected" / name); }

    // The files of the steps before the failing writer are complete.
    void expect_complete(const std::string& name) const {
        ASSERT_TRUE(dir.has(name)) << name;
        EXPECT_EQ(dir.read(name), expected(name)) << name;
    }

    const path folder = reference("strip_example");
    test::scratch_dir dir;
};

// The working directory itself cannot be written: it is bound read-only
// over itself in a mount namespace of its own (chmod would not stop root,
// who runs the tests in CI). The first writer cannot create its file.
TEST_F(UnwritableOutput, ReadOnlyWorkingDirectory) {
    const std::string bind = "mount --bind -o ro '" + dir.path().string() + "' '" + dir.path().string() + "'";
    if (std::system(("unshare -m sh -c \"" + bind + "\" >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << "no mount namespace here: the read-only directory cannot be made";
    // Standard output and error go outside the read-only directory.
    const test::scratch_dir streams;
    const std::string command = "unshare -m sh -c \"" + bind + " && cd '" + dir.path().string() + "' && '" +
                                VELMORA_BINARY + "' > '" + (streams / "out").string() + "' 2> '" +
                                (streams / "err").string() + "'\"";
    const int raw = std::system(command.c_str());
    test::run_result r;
    r.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = streams.read("out");
    r.err = streams.read("err");
    const std::string message = failure_message(r, "USE_ERROR");
    expect_contains(message, "\"ansys.txt\"");
    expect_contains(message, "Read-only");
    EXPECT_EQ(r.out, "");
    expect_no_output_file(dir);
}

// A directory in the place of an output file: its writer cannot create
// the file. The deck comes before the minimisation, so nothing is printed.
TEST_F(UnwritableOutput, DeckNameTakenByADirectory) {
    test::fs::create_directory(dir / "ansys.txt");
    const test::run_result r = test::run_velmora(dir.path());
    const std::string message = failure_message(r, "USE_ERROR");
    expect_contains(message, "cannot create \"ansys.txt\"");
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(dir.has("autocad.scr"));
    EXPECT_FALSE(dir.has("output.txt"));
}

// The drawing comes after the verdict: the verdict is printed, the deck is
// complete, and the report is not written.
TEST_F(UnwritableOutput, DrawingNameTakenByADirectory) {
    test::fs::create_directory(dir / "autocad.scr");
    const test::run_result r = test::run_velmora(dir.path());
    const std::string message = failure_message(r, "USE_ERROR");
    expect_contains(message, "cannot create \"autocad.scr\"");
    EXPECT_EQ(r.out, expected("stdout.txt"));
    expect_complete("ansys.txt");
    EXPECT_FALSE(dir.has("output.txt"));
}

TEST_F(UnwritableOutput, ReportNameTakenByADirectory) {
    test::fs::create_directory(dir / "output.txt");
    const test::run_result r = test::run_velmora(dir.path());
    const std::string message = failure_message(r, "USE_ERROR");
    expect_contains(message, "cannot create \"output.txt\"");
    EXPECT_EQ(r.out, expected("stdout.txt"));
    expect_complete("ansys.txt");
    expect_complete("autocad.scr");
}

// A full disk: the drawing is created (as a link to /dev/full) but its
// bytes cannot be written. The failure must be reported, not lost when the
// file is closed; the deck stays complete and the report is not written.
TEST_F(UnwritableOutput, DiskFullWhileWritingTheDrawing) {
    if (!test::fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    test::fs::create_symlink("/dev/full", dir / "autocad.scr");
    const test::run_result r = test::run_velmora(dir.path());
    const std::string message = failure_message(r, "USE_ERROR");
    expect_contains(message, "\"autocad.scr\"");
    expect_contains(message, "No space left");
    EXPECT_EQ(r.out, expected("stdout.txt"));
    expect_complete("ansys.txt");
    EXPECT_FALSE(dir.has("output.txt"));
}

}  // namespace
