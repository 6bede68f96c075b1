// Runs of the built program on input files that the reader must refuse.
// Each run must end with exit status 1, print nothing on standard output,
// report on standard error exactly a line end, "raised ", the failure's
// name, " : " and a one-line message that names input.txt, the line of the
// fault, what was expected and what was found, and leave the output files
// of an earlier run as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>

#include "program_run.hpp"

namespace {

using test::strip;
using test::with;

const char* const output_files[] = {"ansys.txt", "autocad.scr", "output.txt"};
const char* const earlier = "from an earlier run\n";

// The strip example cut after the first occurrence of a text.
std::string up_to(const std::string& end) {
    const std::string whole = strip().text();
    return whole.substr(0, whole.find(end) + end.size());
}

// Checks status, output and the report "\nraised NAME : MESSAGE\n" with a
// one-line message; returns the message.
std::string report_message(const test::run_result& r, const std::string& name) {
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    const std::string prefix = "\nraised " + name + " : ";
    EXPECT_EQ(r.err.rfind(prefix, 0), 0u) << "stderr: " << r.err;
    EXPECT_EQ(r.err.find('\n', prefix.size()), r.err.size() - 1) << "not one line with a line end: " << r.err;
    return r.err.substr(std::min(prefix.size(), r.err.size()));
}

TEST(InputFailures, InputFileMissingOrADirectory) {
    for (const bool directory : {false, true}) {
        test::scratch_dir dir;
        if (directory) test::fs::create_directory(dir / "input.txt");
        const std::string message = report_message(test::run_velmora(dir.path()), "NAME_ERROR");
        EXPECT_NE(message.find("\"input.txt\""), std::string::npos) << message;
        for (const char* name : output_files) EXPECT_FALSE(dir.has(name)) << name;
    }
}

// One file per kind of fault and shape of message. Lines of the strip: 3
// control values, 7 node count, 9-12 nodes, 16-17 elements, 21-27
// supports, 29 force count, 31 force.
TEST(InputFailures, ReportLocatesTheFaultAndNothingIsWritten) {
    const auto crlf = [](const std::string& text) { return std::regex_replace(text, std::regex("\n"), "\r\n"); };
    const std::string nodes = ": nodes\n4\nnode  x  y  z\n", elements = ": elements\n2\ntitle\n1 1 2 3\n";
    const std::string supports = ": supports\n1\ntitle\n", loads = ": loads\n1\ntitle\n";
    const struct {
        std::string input;
        const char* name;
        int line;
        const char* expected;
        const char* found;
    } cases[] = {
        {with(&strip::loads, ""), "END_ERROR", 27, "header of the loads section", "the file ends"},
        {up_to("\n4 0 1"), "END_ERROR", 12, "a real (third coordinate)", "the file ends"},
        {with(&strip::loads, ": loads\n2\ntitle\n3 1 0.5\n"), "END_ERROR", 31, "(node number)", "the file ends"},
        {up_to("3 1 0.5"), "END_ERROR", 31, "line end after the force record", "the file ends"},
        // Elements always consume a title line, here the supports header.
        {with(&strip::elements, ": elements\n0\n"), "END_ERROR", 28, "header of the loads section", "the file ends"},
        {with(&strip::control, ": control\nfast  20  0.001  0  500  7\n"), "DATA_ERROR", 3, "a real (eta",
         "found \"fast\""},
        {crlf(with(&strip::nodes, nodes + "1 0 zero 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n")), "DATA_ERROR", 9,
         "(second coordinate)", "found \"zero\""},
        {with(&strip::material, "1.0  2  0.4  0.1  50.0\n"), "DATA_ERROR", 7, "(material kind)", "\"node\""},
        {with(&strip::nodes, ": nodes\n4\n1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n"), "DATA_ERROR", 12, "(node number)",
         "\":\""},
        {with(&strip::control, ": control\n0.9  2147483648  0.001  0  500  7\n"), "DATA_ERROR", 3,
         "(search limit) lies outside the range -2147483648..2147483647", "2147483648"},
        {with(&strip::nodes, nodes + "1 0 0 0\n2 1 0 0\n3 1 -1E999 0\n4 0 1 0\n"), "DATA_ERROR", 11,
         "(second coordinate) lies outside the range of a double", "-1E999"},
        {with(&strip::control, ": control\n0.9  17#1#  0.001  0  500  7\n"), "DATA_ERROR", 3, "lie in 2..16", "17#1#"},
        {with(&strip::nodes, nodes + "1 0 0 0\n2 8#9.0# 0 0\n3 1 1 0\n4 0 1 0\n"), "DATA_ERROR", 10, "digits of base 8",
         "8#9.0#"},
        {with(&strip::loads, loads + "3 1 16#1F\n"), "DATA_ERROR", 31, "closing '#'", "16#1F"},
        {with(&strip::nodes, nodes + "1 0 0 0\n2 1 0 0\n1 1 1 0\n4 0 1 0\n"), "DATA_ERROR", 11, "node 1",
         "given twice"},
        {with(&strip::nodes, nodes + "0 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n"), "RANGE_ERROR", 9, "outside 1..4",
         "node number 0"},
        {with(&strip::elements, elements + "3 1 3 4\n"), "RANGE_ERROR", 17, "outside 1..2", "element number 3"},
        {with(&strip::supports, supports + "5 1 0.0\n"), "RANGE_ERROR", 21, "outside 1..4", "node number 5"},
        {with(&strip::supports, supports + "1 4 0.0\n"), "RANGE_ERROR", 21, "outside 1..3", "direction 4"},
        {with(&strip::loads, loads + "0 1 0.5\n"), "RANGE_ERROR", 31, "outside 1..4", "node number 0"},
        {with(&strip::loads, loads + "3 0 0.5\n"), "RANGE_ERROR", 31, "outside 1..3", "direction 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        test::scratch_dir dir;
        for (const char* name : output_files) dir.write(name, earlier);
        dir.write("input.txt", c.input);
        const std::string message = report_message(test::run_velmora(dir.path()), c.name);
        EXPECT_EQ(message.rfind("input.txt:" + std::to_string(c.line) + ": ", 0), 0u) << message;
        EXPECT_NE(message.find(c.expected), std::string::npos) << message;
        EXPECT_NE(message.find(c.found), std::string::npos) << message;
        for (const char* name : output_files) EXPECT_EQ(dir.read(name), earlier) << name;
    }
}

// A count is never trusted for memory. The program runs with its address
// space limited far below what the claimed records would need (1E8 nodes
// take 2.4 GB of coordinates), so an allocation for the count shows as an
// out-of-memory report instead of END_ERROR on the count's line. Under
// AddressSanitizer, which reserves terabytes of address space at start,
// its allocator refuses single allocations above the limit instead.
TEST(CountBeyondFile, EndsWithoutAllocatingForTheCount) {
#if defined(__SANITIZE_ADDRESS__)
    const std::string limit = "export ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}max_allocation_size_mb=512\"";
#else
    const std::string limit = "ulimit -v 524288";
#endif
    const struct {
        std::string input;
        int line;  // of the count; 0: a sound model that runs under the same limit
    } cases[] = {{with(&strip::nodes, ": nodes\n100000000\ntitle\n1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n"), 7},
                 {with(&strip::elements, ": elements\n2147483647\ntitle\n1 1 2 3\n2 1 3 4\n"), 14},
                 {strip().text(), 0}};
    for (const auto& c : cases) {
        test::scratch_dir dir;
        dir.write("input.txt", c.input);
        const test::run_result r = test::run_velmora(dir.path(), {}, limit);
        if (c.line == 0) {
            EXPECT_EQ(r.status, 0) << r.err;
            continue;
        }
        const std::string message = report_message(r, "END_ERROR");
        EXPECT_EQ(message.rfind("input.txt:" + std::to_string(c.line) + ": the count", 0), 0u) << message;
        for (const char* name : output_files) EXPECT_FALSE(dir.has(name)) << name;
    }
}

}  // namespace
