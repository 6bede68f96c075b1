// Whole runs of the strip example that end other than converged (which the
// reference runs show): stopped by the iteration limit or by a gradient that
// no longer changes at machine precision ("NOT Optimal", the run completes),
// failed for want of a descent direction at the start ("Line Search
// Failure", the run aborts after the ANSYS deck), or with a verdict that
// cannot be written.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <regex>
#include <string>

#include "program_run.hpp"

namespace {

// The strip, pulled by 0.5 in x at node 3, with other control values.
std::string strip_with(const std::string& control) {
    return test::with(&test::strip::control, ": control\n" + control + "\n");
}

// The limit counts line searches; at least one is made.
TEST(Verdict, IterationLimitPrintsNotOptimalAndStillWritesTheResults) {
    for (const auto& [limit, count] : {std::pair{"2", 2}, {"0", 1}}) {
        const test::model_run run(strip_with(std::string("0.9  20  0.001  0  ") + limit + "  7"));
        EXPECT_EQ(run.result.out, "\nMinor =     " + std::to_string(count) + "     NOT Optimal\n");
        EXPECT_EQ(run.result.status, 0);
        EXPECT_EQ(run.result.err, "");
        EXPECT_TRUE(run.dir.has("output.txt"));
    }
}

// A residue 1e-15 of the start residue is below what double precision
// reaches: the gradient stops changing first, and the run ends NOT Optimal
// before the iteration limit, in equilibrium: the reactions balance the
// pull to the seven printed digits.
TEST(Verdict, UnreachableResidueEndsNotOptimalInEquilibrium) {
    const test::model_run run(strip_with("0.9  20  1e-15  0  500  7"));
    EXPECT_EQ(run.result.status, 0);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(run.result.out, m, std::regex("\nMinor = +([0-9]+)     NOT Optimal\n")));
    EXPECT_LT(std::stoi(m[1].str()), 500);
    double pull = 0;
    for (const std::string& row : test::table_rows(run.dir.read("output.txt"), test::reaction_table))
        if (!std::isnan(test::field(row, 1, 18))) pull += test::field(row, 1, 18);
    EXPECT_NEAR(pull, -0.5, 1e-6);
}

// Unloaded, the start is already the equilibrium; with every direction held
// there is nothing to minimise, even with a force on a held node. The deck
// is complete, files of later steps are left as an earlier run left them.
TEST(Verdict, NoDescentDirectionAtTheStartIsALineSearchFailure) {
    test::strip unloaded, held;
    unloaded.loads = ": loads\n0\n";
    held.supports = ": supports\n12\nn\n";
    for (int k = 0; k < 12; ++k) held.supports += std::to_string(k / 3 + 1) + " " + std::to_string(k % 3 + 1) + " 0\n";
    for (const test::strip& input : {unloaded, held}) {
        const test::scratch_dir dir;
        dir.write("input.txt", input.text());
        dir.write("autocad.scr", "earlier drawing\n");
        const test::run_result r = test::run_velmora(dir.path());
        EXPECT_EQ(r.out, "Line Search Failure\n");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "\nraised NLP.HALT : nlp:126 instantiated at velmora:483\n");
        EXPECT_TRUE(dir.read("ansys.txt").ends_with("\nFINISH\n")) << "ansys.txt is not complete";
        EXPECT_EQ(dir.read("autocad.scr"), "earlier drawing\n");
        EXPECT_FALSE(dir.has("output.txt"));
    }
}

// A verdict that cannot be written is a failure, not a run that ends with
// status 0 as if the user had seen it.
TEST(Verdict, UnwritableStandardOutputIsAFailure) {
    test::scratch_dir dir;
    dir.write("input.txt", test::strip().text());
    const std::string command = "cd '" + dir.path().string() + "' && '" VELMORA_BINARY "' > /dev/full 2> .stderr";
    EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 1);
    EXPECT_EQ(dir.read(".stderr"), "\nraised USE_ERROR : cannot write the verdict to standard output\n");
    EXPECT_TRUE(dir.has("ansys.txt"));
    EXPECT_FALSE(dir.has("autocad.scr") || dir.has("output.txt"));
}

}  // namespace
