// Whole runs of the strip example that end in each way the minimisation
// can end: converged ("Optimal"), stopped by the iteration limit or by a
// gradient that no longer changes at machine precision ("NOT Optimal", the
// run completes), or failed for want of a descent direction at the start
// ("Line Search Failure", the run aborts after the ANSYS deck).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "program_run.hpp"

namespace {

using test::strip;

// The strip pulled by 0.5 in x at node 3, with other control values.
std::string strip_with(const std::string& control, const char* loads = nullptr) {
    strip s;
    s.control = ": control\n" + control + "\n";
    if (loads != nullptr) s.loads = loads;
    return s.text();
}

constexpr double kPull = 0.5;

// The iteration count of a verdict "\nMinor = " count (width 5) tail, or -1
// when the text is not exactly such a line.
int verdict_count(const std::string& out, const std::string& tail) {
    std::smatch m;
    if (!std::regex_match(out, m, std::regex("\nMinor = ( *[0-9]+)" + tail + "\n")) || m[1].length() != 5) return -1;
    return std::stoi(m[1].str());
}

// The report's iteration count, its displacements and its reaction sum in
// direction j.
int report_iterations(const std::string& report) {
    const std::size_t at = report.find("| Minor Iterations");
    return at == std::string::npos ? -1 : std::stoi(report.substr(at + 48, 15));
}

std::vector<double> displacements(const std::string& report) {
    std::vector<double> u;
    for (const std::string& row : test::table_rows(report, test::displacement_table))
        for (int j = 1; j <= 3; ++j) u.push_back(test::field(row, j, 20));
    return u;
}

double reaction_sum(const std::string& report, int j) {
    double sum = 0;
    for (const std::string& row : test::table_rows(report, test::reaction_table))
        if (!std::isnan(test::field(row, j, 18))) sum += test::field(row, j, 18);
    return sum;
}

// "Optimal" means equilibrium: the reactions balance the pull up to the
// residue allowed at the two free x directions (0.001 times the start
// residue 0.5 each) and the rounding of the printed reactions.
TEST(Verdict, ConvergedRunPrintsOptimalAndBalancesThePull) {
    const test::model_run run(strip().text());
    ASSERT_EQ(run.result.status, 0) << run.result.err;
    EXPECT_EQ(run.result.err, "");
    const int count = verdict_count(run.result.out, "     Optimal");
    ASSERT_GT(count, 0) << '"' << run.result.out << '"';
    EXPECT_LT(count, 500);
    ASSERT_TRUE(run.dir.has("ansys.txt") && run.dir.has("autocad.scr") && run.dir.has("output.txt"));
    const std::string report = run.dir.read("output.txt");
    EXPECT_EQ(report_iterations(report), count);
    constexpr double kOptimalBalanceTol = 2 * 0.001 * 0.5 + 1e-6;
    EXPECT_NEAR(reaction_sum(report, 1), -kPull, kOptimalBalanceTol);
    EXPECT_NEAR(reaction_sum(report, 2), 0, kOptimalBalanceTol);
}

// A verdict that cannot be written is a failure, not a run that ends with
// status 0 as if the user had seen it.
TEST(Verdict, UnwritableStandardOutputIsAFailure) {
    test::scratch_dir dir;
    dir.write("input.txt", strip().text());
    const std::string command = "cd '" + dir.path().string() + "' && '" VELMORA_BINARY "' > /dev/full 2> .stderr";
    const int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    EXPECT_EQ(dir.read(".stderr"), "\nraised USE_ERROR : cannot write the verdict to standard output\n");
    EXPECT_TRUE(dir.has("ansys.txt"));
    EXPECT_FALSE(dir.has("autocad.scr"));
    EXPECT_FALSE(dir.has("output.txt"));
}

// The limit counts line searches; at least one is made.
TEST(Verdict, IterationLimitPrintsNotOptimalAndStillWritesTheResults) {
    for (const auto& [limit, count] : {std::pair{"2", 2}, {"1", 1}, {"0", 1}}) {
        const test::model_run run(strip_with(std::string("0.9  20  0.001  0  ") + limit + "  7"));
        EXPECT_EQ(run.result.out, "\nMinor =     " + std::to_string(count) + "     NOT Optimal\n");
        EXPECT_EQ(run.result.status, 0);
        EXPECT_EQ(run.result.err, "");
        EXPECT_EQ(report_iterations(run.dir.read("output.txt")), count);
    }
}

// Unloaded with zero supports the start is already the equilibrium, whether
// or not set-up evaluates it; with every direction held there is nothing to
// minimise, even with a force on a held node. The deck is complete, files
// of later steps are left as an earlier run left them.
TEST(Verdict, NoDescentDirectionAtTheStartIsALineSearchFailure) {
    strip held;
    held.supports = ": supports\n12\nn\n";
    for (int node = 1; node <= 4; ++node)
        for (int dir = 1; dir <= 3; ++dir) held.supports += std::to_string(node) + " " + std::to_string(dir) + " 0\n";
    for (const std::string& input : {strip_with("0.9  20  0.001  0  500  7", ": loads\n0\n"),
                                     strip_with("0.9  20  0.001  2.0  500  7", ": loads\n0\n"), held.text()}) {
        const test::scratch_dir dir;
        dir.write("input.txt", input);
        dir.write("autocad.scr", "earlier drawing\n");
        const test::run_result r = test::run_velmora(dir.path());
        EXPECT_EQ(r.out, "Line Search Failure\n");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "\nraised NLP.HALT : nlp:126 instantiated at velmora:483\n");
        const std::string deck = dir.read("ansys.txt");
        EXPECT_TRUE(deck.size() > 8 && deck.substr(deck.size() - 8) == "\nFINISH\n") << "ansys.txt is not complete";
        EXPECT_EQ(dir.read("autocad.scr"), "earlier drawing\n");
        EXPECT_FALSE(dir.has("output.txt"));
    }
}

// A residue below what double precision reaches (1e-15 of the start
// residue, or an absolute 1e-20): the gradient stops changing first, and
// the run ends NOT Optimal with the equilibrium that a reachable 1e-8 run
// finds, as far as the report's eight decimals show.
TEST(Verdict, UnreachableResidueEndsNotOptimalWithTheConvergedSolution) {
    const test::model_run converged(strip_with("0.9  20  1e-8  0  500  7"));
    ASSERT_GT(verdict_count(converged.result.out, "     Optimal"), 0) << converged.result.out;
    const std::vector<double> expected = displacements(converged.dir.read("output.txt"));
    ASSERT_EQ(expected.size(), 12u);
    constexpr double kConvergedDisplacementTol = 1e-6;
    constexpr double kPrintedReactionTol = 1e-6;  // seven significant digits
    for (const char* control : {"0.9  20  1e-15  0  500  7", "0.9  20  1e-20  1.0  500  7"}) {
        SCOPED_TRACE(control);
        const test::model_run run(strip_with(control));
        EXPECT_EQ(run.result.status, 0) << run.result.err;
        EXPECT_EQ(run.result.err, "");
        const int count = verdict_count(run.result.out, "     NOT Optimal");
        EXPECT_GT(count, 0) << '"' << run.result.out << '"';
        EXPECT_LT(count, 500);  // not the iteration limit
        const std::string report = run.dir.read("output.txt");
        EXPECT_EQ(report_iterations(report), count);
        const std::vector<double> u = displacements(report);
        ASSERT_EQ(u.size(), expected.size());
        for (std::size_t i = 0; i < u.size(); ++i) EXPECT_NEAR(u[i], expected[i], kConvergedDisplacementTol) << i;
        EXPECT_NEAR(reaction_sum(report, 1), -kPull, kPrintedReactionTol);
        EXPECT_NEAR(reaction_sum(report, 2), 0, kPrintedReactionTol);
    }
}

}  // namespace
