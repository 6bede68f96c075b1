// Whole runs that end in each way the minimisation can end: converged
// ("Optimal"), stopped by the iteration limit or by the gradient no longer
// changing at machine precision ("NOT Optimal", run completed), or failed
// because the start point offers no descent direction ("Line Search
// Failure", run aborted after the ANSYS deck).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "program_run.hpp"

namespace {

// A unit square of two Mooney-Rivlin triangles, held on its left edge (node
// 1 in x and y, node 4 in x) and in z everywhere, pulled at node 3 by 0.5 in x.
const char* const strip_control = "0.9  20  0.001  0  500  7";
const char* const strip_loads = "1\nnode  dir  value\n3 1 0.5\n";
constexpr double strip_pull = 0.5;

std::string strip(const std::string& control = strip_control, const std::string& loads = strip_loads) {
    return "Strip under tension\n"
           ": control\n" +
           control +
           "\n"
           ": material\n"
           "1.0  2  0.4  0.1  50.0\n"
           ": nodes\n"
           "4\n"
           "node  x  y  z\n"
           "1 0 0 0\n"
           "2 1 0 0\n"
           "3 1 1 0\n"
           "4 0 1 0\n"
           ": elements\n"
           "2\n"
           "element  first  second  third\n"
           "1 1 2 3\n"
           "2 1 3 4\n"
           ": supports\n"
           "7\n"
           "node  dir  value\n"
           "1 1 0.0\n"
           "1 2 0.0\n"
           "4 1 0.0\n"
           "1 3 0.0\n"
           "2 3 0.0\n"
           "3 3 0.0\n"
           "4 3 0.0\n"
           ": loads\n" +
           loads;
}

const char* const halt_report = "\nraised NLP.HALT : nlp:126 instantiated at velmora:483\n";

// The iteration count of a verdict line "\nMinor = " count(width 5) tail,
// or -1 when the text is not exactly such a line.
int verdict_count(const std::string& out, const std::string& tail) {
    const std::string head = "\nMinor = ";
    if (out.size() < head.size() + 5 + tail.size()) return -1;
    if (out.compare(0, head.size(), head) != 0) return -1;
    if (out.compare(out.size() - tail.size(), tail.size(), tail) != 0) return -1;
    const std::string field = out.substr(head.size(), out.size() - head.size() - tail.size());
    const std::size_t digits = field.find_first_not_of(' ');
    if (digits == std::string::npos || field.find_first_not_of("0123456789", digits) != std::string::npos) return -1;
    // Right-aligned in 5 characters, or wider with no blank at all.
    if (field.size() > 5 ? digits != 0 : field.size() != 5) return -1;
    return std::atoi(field.c_str() + digits);
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Rows of the report table that follows the header line beginning with
// header and its closing rule, up to the next empty or rule line.
std::vector<std::string> table_rows(const std::string& report, const std::string& header) {
    const std::vector<std::string> lines = lines_of(report);
    std::vector<std::string> rows;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind(header, 0) != 0) continue;
        for (std::size_t k = i + 2; k < lines.size() && !lines[k].empty() && lines[k][0] != '-'; ++k)
            rows.push_back(lines[k]);
        break;
    }
    return rows;
}

// Displacements of nodes 1..4 in the three directions, in node order.
std::vector<double> displacements(const std::string& report) {
    std::vector<double> u;
    for (const std::string& row : table_rows(report, " Node             Displ X"))
        for (std::size_t column : {10u, 30u, 50u}) u.push_back(std::stod(row.substr(column, 15)));
    return u;
}

// Sum of the reported support reactions in one direction (1..3).
double reaction_sum(const std::string& report, int direction) {
    double sum = 0;
    const std::size_t column = 10 + 18 * static_cast<std::size_t>(direction - 1);
    for (const std::string& row : table_rows(report, " Node           Force X"))
        if (row.size() >= column + 13 && row.substr(column, 13).find_first_not_of(' ') != std::string::npos)
            sum += std::stod(row.substr(column, 13));
    return sum;
}

// The "Minor Iterations" row of the report.
int report_iterations(const std::string& report) {
    for (const std::string& line : lines_of(report))
        if (line.rfind("| Minor Iterations", 0) == 0) return std::atoi(line.substr(48, 15).c_str());
    return -1;
}

// ---------------------------------------------------------------------------
// Converged and iteration-limited runs

TEST(Verdict, ConvergedRunPrintsOptimalAfterAnEmptyLine) {
    const test::model_run run(strip());
    ASSERT_EQ(run.result.status, 0) << run.result.err;
    EXPECT_EQ(run.result.err, "");
    const int count = verdict_count(run.result.out, "     Optimal\n");
    ASSERT_GT(count, 0) << '"' << run.result.out << '"';
    EXPECT_LT(count, 500);  // ended by the gradient test, not the limit
    ASSERT_TRUE(run.dir.has("ansys.txt"));
    ASSERT_TRUE(run.dir.has("autocad.scr"));
    ASSERT_TRUE(run.dir.has("output.txt"));
    const std::string report = run.dir.read("output.txt");
    EXPECT_EQ(report_iterations(report), count);

    // "Optimal" means equilibrium: the reactions balance the pull up to the
    // residue allowed at the two free x directions (0.001 times the start
    // residue 0.5 each) and the rounding of the printed reactions.
    constexpr double kOptimalBalanceTol = 2 * 0.001 * 0.5 + 1e-6;
    EXPECT_NEAR(reaction_sum(report, 1), -strip_pull, kOptimalBalanceTol);
    EXPECT_NEAR(reaction_sum(report, 2), 0, kOptimalBalanceTol);
}

// A verdict that cannot be written is a failure: the run must not end with
// status 0 as if the user had seen it.
TEST(Verdict, UnwritableStandardOutputIsAFailure) {
    test::scratch_dir dir;
    dir.write("input.txt", strip());
    const std::string command =
        "cd '" + dir.path().string() + "' && '" VELMORA_BINARY "' > /dev/full 2> .stderr";
    const int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    EXPECT_EQ(dir.read(".stderr"), "\nraised USE_ERROR : cannot write the verdict to standard output\n");
    EXPECT_TRUE(dir.has("ansys.txt"));
    EXPECT_FALSE(dir.has("autocad.scr"));
    EXPECT_FALSE(dir.has("output.txt"));
}

TEST(Verdict, IterationLimitPrintsNotOptimalAndStillWritesTheResults) {
    struct limit {
        const char* control;
        const char* verdict;
    };
    for (const limit& l : {limit{"0.9  20  0.001  0  2  7", "\nMinor =     2     NOT Optimal\n"},
                           limit{"0.9  20  0.001  0  1  7", "\nMinor =     1     NOT Optimal\n"},
                           limit{"0.9  20  0.001  0  0  7", "\nMinor =     1     NOT Optimal\n"}}) {
        SCOPED_TRACE(l.control);
        const test::model_run run(strip(l.control));
        EXPECT_EQ(run.result.out, l.verdict);
        EXPECT_EQ(run.result.status, 0);
        EXPECT_EQ(run.result.err, "");
        EXPECT_TRUE(run.dir.has("ansys.txt"));
        ASSERT_TRUE(run.dir.has("autocad.scr"));
        ASSERT_TRUE(run.dir.has("output.txt"));
        EXPECT_EQ(report_iterations(run.dir.read("output.txt")), l.verdict[13] - '0');
    }
}

// ---------------------------------------------------------------------------
// No descent direction at the start point

void expect_line_search_failure(const std::string& input) {
    // Files that only later steps would write are left as an earlier run
    // left them.
    const test::scratch_dir dir;
    dir.write("input.txt", input);
    dir.write("autocad.scr", "earlier drawing\n");
    const test::run_result r = test::run_velmora(dir.path());
    EXPECT_EQ(r.out, "Line Search Failure\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, halt_report);
    ASSERT_TRUE(dir.has("ansys.txt"));
    const std::string deck = dir.read("ansys.txt");
    const std::string end = "FINISH\n";
    EXPECT_TRUE(deck.size() >= end.size() && deck.compare(deck.size() - end.size(), end.size(), end) == 0)
        << "ansys.txt is not complete";
    EXPECT_EQ(dir.read("autocad.scr"), "earlier drawing\n");
    EXPECT_FALSE(dir.has("output.txt"));
}

TEST(VerdictFailure, UnloadedModelWithZeroSupportsHasNoDescentDirection) {
    // Zero displacement is already the equilibrium: the start gradient is 0.
    expect_line_search_failure(strip(strip_control, "0\n"));
}

TEST(VerdictFailure, UnloadedModelFailsAlsoWithAGivenReferenceResidue) {
    // The set-up does not evaluate the start point here; the minimiser does.
    expect_line_search_failure(strip("0.9  20  0.001  2.0  500  7", "0\n"));
}

TEST(VerdictFailure, ModelWithoutFreeDirectionsHasNoDescentDirection) {
    // Every direction prescribed (to zero): nothing to minimise over, even
    // with a force on a held node.
    std::string supports = "12\nnode  dir  value\n";
    for (int node = 1; node <= 4; ++node)
        for (int dir = 1; dir <= 3; ++dir) supports += std::to_string(node) + " " + std::to_string(dir) + " 0.0\n";
    std::string input = strip();
    const std::size_t from = input.find(": supports\n") + 11;
    const std::size_t to = input.find(": loads\n");
    input.replace(from, to - from, supports);
    expect_line_search_failure(input);
}

// ---------------------------------------------------------------------------
// A residue below what double precision reaches

TEST(VerdictStall, UnreachableResidueEndsNotOptimalWithTheConvergedSolution) {
    // The converged displacements, from a run that meets a tight but
    // reachable residue.
    const test::model_run converged(strip("0.9  20  1e-8  0  500  7"));
    ASSERT_EQ(converged.result.status, 0);
    ASSERT_GT(verdict_count(converged.result.out, "     Optimal\n"), 0) << converged.result.out;
    const std::vector<double> expected = displacements(converged.dir.read("output.txt"));
    ASSERT_EQ(expected.size(), 12u);

    // Tolerance 1e-15 of the start residue (and an absolute 1e-20 given as
    // reference residue times tolerance): the gradient stops changing long
    // before such a residue, and the run ends with the last point reached.
    for (const char* control : {"0.9  20  1e-15  0  500  7", "0.9  20  1e-20  1.0  500  7"}) {
        SCOPED_TRACE(control);
        const test::model_run run(strip(control));
        EXPECT_EQ(run.result.status, 0) << run.result.out << run.result.err;
        EXPECT_EQ(run.result.err, "");
        const int count = verdict_count(run.result.out, "     NOT Optimal\n");
        EXPECT_GT(count, 0) << '"' << run.result.out << '"';
        EXPECT_LT(count, 500);  // the iteration limit did not end it
        ASSERT_TRUE(run.dir.has("autocad.scr"));
        ASSERT_TRUE(run.dir.has("output.txt"));
        const std::string report = run.dir.read("output.txt");
        EXPECT_EQ(report_iterations(report), count);

        // The point reached is the equilibrium, as far as the report's eight
        // decimals and the 1e-8 run's own residue show.
        constexpr double kConvergedDisplacementTol = 1e-6;
        const std::vector<double> u = displacements(report);
        ASSERT_EQ(u.size(), expected.size());
        for (std::size_t i = 0; i < u.size(); ++i)
            EXPECT_NEAR(u[i], expected[i], kConvergedDisplacementTol) << "node " << i / 3 + 1 << " direction "
                                                                      << i % 3 + 1;
        // Printed reactions carry 7 significant digits.
        constexpr double kPrintedReactionTol = 1e-6;
        EXPECT_NEAR(reaction_sum(report, 1), -strip_pull, kPrintedReactionTol);
        EXPECT_NEAR(reaction_sum(report, 2), 0, kPrintedReactionTol);
    }
}

}  // namespace
