// velmora --method newton as a user runs it: the files and verdict of a
// converged run, identical from run to run, the same failures as the
// default method, the increments option, and out of memory in the sparse
// factorisation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "program_run.hpp"
#include "strip_models.hpp"

namespace {

using test::strip;
using test::with;

const std::vector<std::string> newton = {"--method", "newton"};
const char* const output_files[] = {"ansys.txt", "autocad.scr", "output.txt"};
// The method's line in the help.
const char* const newton_entry = "                             newton  Newton, sparse Cholesky, load increments";

#ifdef VELMORA_HAVE_NEWTON

// The strip example under Newton's method: a complete run whose verdict
// counts Newton iterations, the same deck as the default run (it is written
// before the minimisation), and byte-identical files on a second run.
TEST(NewtonRun, WritesTheFilesAndRepeatsThemByteForByte) {
    const std::string input = strip().text();
    test::model_run first(input, newton), second(input, newton), by_default(input);
    ASSERT_EQ(first.result.status, 0) << first.result.err;
    EXPECT_EQ(first.result.out.rfind("\nMinor = ", 0), 0u) << first.result.out;
    EXPECT_NE(first.result.out.find("     Optimal\n"), std::string::npos) << first.result.out;
    EXPECT_EQ(first.result.err, "");
    EXPECT_EQ(first.dir.read("ansys.txt"), by_default.dir.read("ansys.txt"));
    EXPECT_EQ(first.result.out, second.result.out);
    for (const char* name : output_files) EXPECT_EQ(first.dir.read(name), second.dir.read(name)) << name;
}

// The files do not depend on the machine's cores or the threads the
// environment asks of OpenBLAS and OpenMP: a strip large enough for a
// supernodal factor (its dense blocks through BLAS), run on one core with
// one thread asked for and on every core with four, gives the same bytes.
TEST(NewtonRun, SameFilesWhateverTheCoresAndThreads) {
    test::mesh::strip s = test::mesh::unit_cells(60, 30);
    s.length = 10, s.height = 5, s.bulk = 10;
    s.stretch = 2;
    s.tolerance = 1e-10;
    const std::string input = test::text_of(s);
    test::scratch_dir one, many;
    one.write("input.txt", input);
    many.write("input.txt", input);
    const test::run_result a = test::run_velmora(
        one.path(), newton, "export OPENBLAS_NUM_THREADS=1 OMP_NUM_THREADS=1 && taskset -cp 0 $$ > /dev/null");
    const test::run_result b =
        test::run_velmora(many.path(), newton, "export OPENBLAS_NUM_THREADS=4 OMP_NUM_THREADS=4 GOTO_NUM_THREADS=4");
    ASSERT_EQ(a.status, 0) << a.err;
    EXPECT_NE(a.out.find("     Optimal\n"), std::string::npos) << a.out;
    EXPECT_EQ(a.out, b.out);
    for (const char* name : output_files) EXPECT_EQ(one.read(name), many.read(name)) << name;
}

// Failures before and at the minimiser are those of the default method,
// byte for byte: a material of an unknown kind, an element without area,
// every direction prescribed, and a model without loads (no descent
// direction at the start).
TEST(NewtonRun, FailsAsTheDefaultMethodDoes) {
    const std::string inputs[] = {
        with(&strip::material, ": material\n1.0  3  0.4  0.1  50.0\n"),
        with(&strip::nodes, ": nodes\n4\nnode  x  y  z\n1 0 0 0\n2 1 0 0\n3 2 0 0\n4 0 1 0\n"),
        with(&strip::supports,
             ": supports\n12\nnode dir value\n1 1 0\n1 2 0\n1 3 0\n2 1 0\n2 2 0\n2 3 0\n"
             "3 1 0\n3 2 0\n3 3 0\n4 1 0\n4 2 0\n4 3 0\n"),
        with(&strip::loads, ": loads\n0\n"),
    };
    for (const std::string& input : inputs) {
        test::model_run by_newton(input, newton), by_default(input);
        SCOPED_TRACE(by_default.result.err);
        EXPECT_EQ(by_default.result.status, 1);
        EXPECT_EQ(by_newton.result.status, by_default.result.status);
        EXPECT_EQ(by_newton.result.out, by_default.result.out);
        EXPECT_EQ(by_newton.result.err, by_default.result.err);
        for (const char* name : output_files) {
            ASSERT_EQ(by_newton.dir.has(name), by_default.dir.has(name)) << name;
            if (by_newton.dir.has(name)) {
                EXPECT_EQ(by_newton.dir.read(name), by_default.dir.read(name)) << name;
            }
        }
    }
}

// With --increments 4 the strip, converged tightly, reaches the same report
// (rounded to the report's digits) as with adaptive increments.
TEST(NewtonRun, IncrementsOptionGivesTheSameReport) {
    const std::string input = with(&strip::control, ": control\n0.9  20  1e-10  0  500  7\n");
    test::model_run adaptive(input, newton);
    std::vector<std::string> four = newton;
    four.insert(four.end(), {"--increments", "4"});
    test::model_run stepped(input, four);
    ASSERT_EQ(stepped.result.status, 0) << stepped.result.err;
    // Displacements and stresses agree to 1e-7 of the largest of their kind
    // (equilibria at 1e-10 of the start residue; a stress that is zero
    // comes out as rounding of either sign).
    const struct {
        const char* table;
        int width;
    } tables[] = {{test::displacement_table, 20}, {test::stress_table, 18}};
    for (const auto& t : tables) {
        const auto a = test::table_rows(adaptive.dir.read("output.txt"), t.table);
        const auto b = test::table_rows(stepped.dir.read("output.txt"), t.table);
        ASSERT_EQ(a.size(), b.size());
        ASSERT_FALSE(a.empty());
        double largest = 0;
        for (const std::string& row : a)
            for (int j = 1; j <= 3; ++j) largest = std::max(largest, std::fabs(test::field(row, j, t.width)));
        for (std::size_t k = 0; k < a.size(); ++k)
            for (int j = 1; j <= 3; ++j)
                EXPECT_NEAR(test::field(b[k], j, t.width), test::field(a[k], j, t.width), 1e-7 * largest) << b[k];
    }
}

// When max_iterations runs out before the full load, the run is complete:
// "NOT Optimal", the three files, and on standard error the load fraction
// reached; the report holds that state (here the state at rest).
TEST(NewtonRun, IterationsRunningOutBeforeTheFullLoadIsReported) {
    const std::string input = with(&strip::control, ": control\n0.9  20  1e-10  0  3  7\n");
    test::model_run r(input, {"--method", "newton", "--increments", "4"});
    ASSERT_EQ(r.result.status, 0) << r.result.err;
    EXPECT_EQ(r.result.out, "\nMinor =     3     NOT Optimal\n");
    EXPECT_EQ(r.result.err.rfind("warning: the loads were followed to 0 of their values (0 load increments", 0), 0u)
        << r.result.err;
    for (const char* name : output_files) EXPECT_TRUE(r.dir.has(name)) << name;
    for (const std::string& row : test::table_rows(r.dir.read("output.txt"), test::displacement_table))
        for (int j = 1; j <= 3; ++j) EXPECT_EQ(test::field(row, j, 20), 0) << row;
}

// Out of memory in the factorisation: with the address space capped, a
// strip whose factor does not fit ends with STORAGE_ERROR after a complete
// "ansys.txt", and nothing else is written. Under AddressSanitizer, which
// reserves terabytes of address space at start, the cap cannot be set.
TEST(NewtonRun, OutOfMemoryInTheFactorisationIsAStorageFailure) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address space of AddressSanitizer cannot be capped";
#else
    test::mesh::strip s = test::mesh::unit_cells(400, 200);
    s.length = 10, s.height = 5, s.bulk = 10;
    s.tolerance = 1e-6, s.max_iterations = 50;
    s.stretch = 0.5;
    const std::string input = test::text_of(s);
    test::scratch_dir dir;
    dir.write("input.txt", input);
    const test::run_result r =
        test::run_velmora(dir.path(), newton, "ulimit -v 300000 && export OPENBLAS_NUM_THREADS=1");
    ASSERT_NE(r.status, -1) << "the program did not exit";
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err, "\nraised STORAGE_ERROR : out of memory\n");
    test::scratch_dir whole;
    whole.write("input.txt", input);
    ASSERT_EQ(test::run_velmora(whole.path(), newton).status, 0);
    EXPECT_EQ(dir.read("ansys.txt"), whole.read("ansys.txt"));
    EXPECT_FALSE(dir.has("autocad.scr"));
    EXPECT_FALSE(dir.has("output.txt"));
#endif
}

// The help offers the method, without a word about what it needs.
TEST(NewtonRun, HelpOffersIt) {
    const test::scratch_dir dir;
    const std::string help = test::run_velmora(dir.path(), {"--help"}).out;
    EXPECT_NE(help.find(newton_entry), std::string::npos) << help;
    EXPECT_EQ(help.find("not in this build"), std::string::npos) << help;
}

#else

// A build without CHOLMOD or LAPACK names the method but refuses it with a
// report of what to install, before "input.txt" is read; its help says
// under the method's entry that this build lacks it, and what it needs.
TEST(NewtonRun, ABuildWithoutItSaysWhatToInstall) {
    test::model_run r(strip().text(), newton);
    EXPECT_EQ(r.result.status, 1);
    EXPECT_EQ(r.result.err.rfind("\nraised METHOD_ERROR : this velmora was built without --method newton", 0), 0u)
        << r.result.err;
    EXPECT_NE(r.result.err.find("libsuitesparse-dev"), std::string::npos);
    for (const char* name : output_files) EXPECT_FALSE(r.dir.has(name)) << name;

    const test::scratch_dir dir;
    const test::run_result help = test::run_velmora(dir.path(), {"--help"});
    EXPECT_EQ(help.status, 0);
    const std::string under_entry =
        std::string(newton_entry) + "\n                                     not in this build: it needs CHOLMOD";
    EXPECT_NE(help.out.find(under_entry), std::string::npos) << help.out;
    const std::size_t after = help.out.find("each with the controls");
    ASSERT_NE(after, std::string::npos);
    EXPECT_NE(help.out.substr(0, after).find("libsuitesparse-dev"), std::string::npos) << help.out;
    for (const std::string& line : test::lines_of(help.out)) EXPECT_LE(line.size(), 80u) << line;
}

#endif

}  // namespace
