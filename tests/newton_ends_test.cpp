// Every Newton run that does not end "Optimal" says on standard error why,
// in words a user can act on: each cause built into a small model, run as
// a user runs it, and the message checked against what the model was made
// to hold; the files of the state reached are written all the same.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "program_run.hpp"
#include "strip_models.hpp"

namespace {

#ifdef VELMORA_HAVE_NEWTON

const std::vector<std::string> newton = {"--method", "newton"};

// A run that is complete but not optimal: status 0, the verdict "NOT
// Optimal" and the three files.
void expect_not_optimal(const test::model_run& r) {
    EXPECT_EQ(r.result.status, 0) << r.result.err;
    EXPECT_NE(r.result.out.find("     NOT Optimal\n"), std::string::npos) << r.result.out;
    for (const char* name : {"ansys.txt", "autocad.scr", "output.txt"}) EXPECT_TRUE(r.dir.has(name)) << name;
}

// A strip of 10 x 4 unit cells, stretched by 2 at its far end.
test::mesh::strip stretched_strip() {
    test::mesh::strip s = test::mesh::unit_cells(10, 4);
    s.bulk = 5;
    s.stretch = 2;
    s.tolerance = 1e-9;
    return s;
}

// A negative shear modulus leaves the energy without a stable minimum.
TEST(NewtonEnds, NonConvexMaterialIsNamed) {
    test::mesh::strip s = stretched_strip();
    s.mu = -1;
    const test::model_run r(test::text_of(s), newton);
    expect_not_optimal(r);
    EXPECT_NE(r.result.err.find("warning: the material constants make the energy non-convex (mu = -1 is not "
                                "positive)"),
              std::string::npos)
        << r.result.err;
}

// A tolerance far below what rounding allows: the residue stalls, and the
// message gives the value it stalled at and a tolerance that is met, which
// a second run with that tolerance confirms.
TEST(NewtonEnds, ResidueStalledAtRoundingGivesATolerance) {
    test::mesh::strip s = stretched_strip();
    s.tolerance = 1e-30;
    const test::model_run r(test::text_of(s), newton);
    expect_not_optimal(r);
    std::smatch found;
    const std::regex stalled(
        "warning: the residue stalled at [0-9.]+E[-+][0-9]+ against the allowable [0-9.]+E[-+][0-9]+: rounding in "
        "the sums of the energy and the forces allows no smaller one; a tolerance of at least ([0-9]E[-+][0-9]+) in "
        "\"input.txt\" is met\n");
    ASSERT_TRUE(std::regex_search(r.result.err, found, stalled)) << r.result.err;
    s.tolerance = std::strtod(found[1].str().c_str(), nullptr);
    EXPECT_GT(s.tolerance, 1e-30);
    const test::model_run again(test::text_of(s), newton);
    EXPECT_NE(again.result.out.find("     Optimal\n"), std::string::npos) << again.result.out << again.result.err;
}

// With search_limit 0 every line search takes its first trial unchecked: a
// cantilever under an end load that Newton's method otherwise solves ends
// NOT Optimal, and the control is named.
TEST(NewtonEnds, LineSearchWithoutTrialsIsNamed) {
    test::mesh::strip s = test::mesh::unit_cells(80, 8);
    s.length = 10, s.height = 1, s.mu = 1, s.bulk = 10, s.thickness = 0.5;
    s.load_y = -0.002;
    s.tolerance = 1e-9;
    s.search_limit = 0;
    const test::model_run r(test::text_of(s), newton);
    expect_not_optimal(r);
    EXPECT_NE(r.result.err.find("warning: search_limit is 0 in \"input.txt\""), std::string::npos) << r.result.err;
    s.search_limit = 20;
    const test::model_run fine(test::text_of(s), newton);
    EXPECT_NE(fine.result.out.find("     Optimal\n"), std::string::npos) << fine.result.err;
}

// A strip held at its near end in x alone, with no support in y at all and
// a force in y at its far end, is free to move in y as a rigid body and has
// no equilibrium: the message names a node in direction y, and nothing
// holds any node in y.
TEST(NewtonEnds, BodyFreeToMoveNamesANodeAndDirection) {
    test::mesh::strip s = stretched_strip();
    s.stretch.reset();
    s.load_y = 0.1;
    std::string text = test::text_of(s);
    // The strip's one support in y: node 1.
    const std::string held_y = "\n1 2 0\n";
    const std::size_t at = text.find(held_y);
    ASSERT_NE(at, std::string::npos) << text;
    text.replace(at, held_y.size(), "\n1 1 0\n");
    const test::model_run r(text, newton);
    expect_not_optimal(r);
    std::smatch found;
    const std::regex singular(
        "warning: the tangent stiffness at the start is singular: nothing holds node ([0-9]+) "
        "in direction ([xyz])");
    ASSERT_TRUE(std::regex_search(r.result.err, found, singular)) << r.result.err;
    EXPECT_EQ(found[2].str(), "y");
    // No support record of the model holds any node in direction 2 (y).
    const std::vector<std::string> lines = test::lines_of(text);
    std::size_t k = 0;
    while (k < lines.size() && lines[k].rfind(": supports", 0) != 0) ++k;
    const int records = std::atoi(lines.at(k + 1).c_str());
    for (int q = 0; q < records; ++q) {
        int node = 0, direction = 0;
        ASSERT_EQ(std::sscanf(lines.at(k + 3 + std::size_t(q)).c_str(), "%d %d", &node, &direction), 2);
        EXPECT_NE(direction, 2) << lines.at(k + 3 + std::size_t(q));
    }
}

// One triangle whose corner is prescribed to move through the opposite
// edge: past half the motion every state turns the element over, so the
// loads are followed to one half, and the message says why.
TEST(NewtonEnds, MotionThatTurnsAnElementOverStopsAtHalf) {
    const std::string input =
        "Corner 3 moved through the opposite edge\n: control\n0.9 20 1e-9 0 500 7\n: material\n1 1 1 5\n"
        ": nodes\n3\nnode x y z\n1 0 0 0\n2 1 0 0\n3 0 1 0\n: elements\n1\nelement corners\n1 1 2 3\n"
        ": supports\n8\nnode dir value\n1 1 0\n1 2 0\n1 3 0\n2 1 0\n2 2 0\n2 3 0\n3 3 0\n3 2 -2\n"
        ": loads\n1\nnode dir value\n3 1 0.001\n";
    const test::model_run r(input, newton);
    expect_not_optimal(r);
    std::smatch found;
    ASSERT_TRUE(std::regex_search(r.result.err, found, std::regex("followed to ([0-9.]+) of their values")))
        << r.result.err;
    const double reached = std::strtod(found[1].str().c_str(), nullptr);
    EXPECT_LT(reached, 0.5);
    EXPECT_GT(reached, 0.49);
    EXPECT_NE(r.result.err.find("warning: every state tried beyond the last equilibrium turned elements over"),
              std::string::npos)
        << r.result.err;
}

// max_iterations too small for the increments the stretch needs.
TEST(NewtonEnds, IterationsRunningOutAreNamed) {
    test::mesh::strip s = stretched_strip();
    s.max_iterations = 2;
    const test::model_run r(test::text_of(s), newton);
    expect_not_optimal(r);
    EXPECT_NE(r.result.err.find("warning: max_iterations (2) ran out before the full loads"), std::string::npos)
        << r.result.err;
}

// The shallow arch of velmora-mesh arch pressed at its crown by 0.03, above
// its limit load, with max_iterations 30: enough to pass the limit point,
// too few for the path to come back to the full force.
test::mesh::arch arch_short_of_iterations() {
    test::mesh::arch a;
    a.force = 0.03;
    a.max_iterations = 30;
    return a;
}

// By arc-length continuation the run ends at the last equilibrium on the
// way down and reports the limit load with its increment: the largest load
// of the history, at that row.
TEST(NewtonEnds, LimitLoadBelowTheLoadsIsReported) {
    const test::model_run r(test::text_of(arch_short_of_iterations()),
                            {"--method", "newton", "--path", "arclength", "--history", "h.csv"});
    expect_not_optimal(r);
    EXPECT_EQ(r.result.out, "\nMinor =    30     NOT Optimal\n");
    std::smatch found;
    ASSERT_TRUE(std::regex_search(
        r.result.err, found,
        std::regex("warning: the structure carries at most ([0-9.]+) of the loads: a limit point at increment "
                   "([0-9]+), and the path did not come back to the full loads within max_iterations \\(30\\); "
                   "raise it in \"input.txt\" to follow it further\n")))
        << r.result.err;
    EXPECT_EQ(r.result.err.rfind("warning: the path was followed to a load factor of ", 0), 0u) << r.result.err;
    const std::vector<std::string> rows = test::lines_of(r.dir.read("h.csv"));
    const std::size_t limit = std::size_t(std::atoi(found[2].str().c_str()));
    ASSERT_LT(limit, rows.size());
    double largest = -1, at = 0;
    for (std::size_t k = 1; k < rows.size(); ++k) {
        const double load = std::strtod(rows[k].c_str() + rows[k].find(',') + 1, nullptr);
        if (load > largest) largest = load, at = double(k);
    }
    EXPECT_EQ(at, double(limit));
    EXPECT_NEAR(std::strtod(found[1].str().c_str(), nullptr), largest, 5e-4);
    EXPECT_LT(largest, 1);
}

// By load increments of a fortieth the same iterations end short of the
// full loads, and the message suggests arc-length continuation.
TEST(NewtonEnds, LoadIncrementsShortOfTheLoadsSuggestArcLength) {
    const test::model_run r(test::text_of(arch_short_of_iterations()), {"--method", "newton", "--increments", "40"});
    expect_not_optimal(r);
    EXPECT_NE(r.result.err.find("warning: max_iterations (30) ran out before the full loads; raise it in "
                                "\"input.txt\", or where the loads near a limit point of the structure, --path "
                                "arclength follows the path through it and reports the limit load\n"),
              std::string::npos)
        << r.result.err;
}

#endif

}  // namespace
