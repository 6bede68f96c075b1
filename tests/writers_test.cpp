// Tests of the stress recovery and of what the byte-for-byte reference runs
// (e2e_test.cpp) do not show of the writers: reaction-row rules, widened
// fields, words for values that are not finite, files larger than the
// writer's buffer. Each writer runs in-process on a model read from text and
// set up as a run sets it up, with displacements put in by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "mechanics/mechanics.hpp"
#include "mechanics/stresses.hpp"
#include "model/steps.hpp"
#include "read/input.hpp"
#include "test_models.hpp"
#include "write/text_file.hpp"

namespace {

using test::number_text;

// A scratch directory that is the working directory while the object lives.
struct in_scratch_dir : test::scratch_dir {
    test::fs::path previous = test::fs::current_path();
    in_scratch_dir() { test::fs::current_path(path()); }
    ~in_scratch_dir() { test::fs::current_path(previous); }
};

velmora::model set_up(const std::string& text) {
    velmora::model m;
    velmora::read_model(m, text, "input.txt");
    velmora::start(m);
    return m;
}

// One free triangle with corners X, displaced by u.
velmora::principal_stresses stresses_of(const test::law& w, const double (&X)[3][3], const double (&u)[3][3]) {
    std::string t = "t\n: control\n0.9 20 0.5 1 500 7\n: material\n" + w.input_line(1.0) + "\n: nodes\n3\nn\n";
    for (int k = 0; k < 3; ++k)
        t += std::to_string(k + 1) + ' ' + number_text(X[k][0]) + ' ' + number_text(X[k][1]) + ' ' +
             number_text(X[k][2]) + '\n';
    velmora::model m = set_up(t + ": elements\n1\ne\n1 1 2 3\n: supports\n0\n: loads\n0\n");
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 3; ++j) m.displacement(m.dof_number(k + 1, j + 1)) = u[k][j];
    velmora::nodal_force f;
    return velmora::stresses(velmora::element2(m, 1, m.displacement, f));
}

// A right triangle with legs 2 along the orthonormal directions e1, e2 of a
// tilted plane, deformed by diag(l1, l2) in that frame, turned in the plane
// and moved: the principal stresses are those of the plane-strain stretch.
// Undeformed states must give stresses of rounding size, never 0/0 or noise
// divided by noise; with equal in-plane stresses the radius of Mohr's circle
// keeps only half the digits (sqrt(eps) of terms of order 1).
TEST(StressRecovery, HomogeneousStretchGivesTheClosedFormPrincipalStresses) {
    const double e1[3] = {0.6, 0, 0.8}, e2[3] = {0, 1, 0}, shift[3] = {0.25, -1.5, 2};
    const double X[3][3] = {{0.5, -1.25, 2.0}, {1.7, -1.25, 3.6}, {0.5, 0.75, 2.0}};
    const double states[][3] = {{1.3, 0.9, 0},  {0.9, 1.3, 0.3}, {0.7, 0.75, 0}, {1.2, 1.25, -0.4},
                                {1.05, 1.0, 0}, {1, 1, 0},       {1, 1, 0.3}};
    for (const test::law& w : {test::law{1, 1.0, 0.0, 10.0}, test::law{2, 0.4, 0.1, 50.0}})
        for (const auto& [l1, l2, angle] : states) {
            const double c = std::cos(angle), s = std::sin(angle);
            double u[3][3];
            for (int j = 0; j < 3; ++j) {
                u[0][j] = shift[j];
                u[1][j] = X[0][j] + shift[j] + 2 * l1 * (c * e1[j] + s * e2[j]) - X[1][j];
                u[2][j] = X[0][j] + shift[j] + 2 * l2 * (c * e2[j] - s * e1[j]) - X[2][j];
            }
            SCOPED_TRACE(testing::Message() << "kind " << w.kind << ", state " << l1 << ' ' << l2 << ' ' << angle);
            const velmora::principal_stresses got = stresses_of(w, X, u);
            const double a = w.cauchy(l1, l2, 0), b = w.cauchy(l1, l2, 1), tol = 1e-9 * w.bulk;
            EXPECT_NEAR(got.sigma1, std::max(a, b), tol);
            EXPECT_NEAR(got.sigma2, std::min(a, b), tol);
            EXPECT_NEAR(got.sigma3, w.cauchy(l1, l2, 2), tol);
        }
}

// States where every intermediate is exact in binary: sigma = (2/J) (W1 B +
// 2 W2 B^2 + W3 I3 1), with J = 1 and B = diag(2, 0.5, 1) (I1 = 3.5,
// tr C^2 = 5.25) or B = 1. The root of larger magnitude is taken on the side
// of the mean's sign, the other from the product q; every stress comes out
// exact, 0 and a mean of exactly 0 included.
TEST(StressRecovery, SignOfTheMeanStressChoosesTheAccurateRoot) {
    const struct {
        double i1, trace_c2, w1, w2, w3;
        std::array<double, 3> sigma;
    } cases[] = {
        {3.5, 5.25, 1, 0, -2, {0, -3, -2}},           // 2 (b - 2): mean < 0
        {3.5, 5.25, 1, 0.25, -4, {0, -6.75, -5}},     // 2 (b + b^2/2 - 4)
        {3.5, 5.25, 1, 0, -0.5, {3, 0, 1}},           // 2 (b - 0.5): mean > 0
        {3.5, 5.25, 1, 0, -1.25, {1.5, -1.5, -0.5}},  // mean exactly 0
        {3, 3, 0.5, 0, -0.5, {0, 0, 0}},              // undeformed neo-Hookean, mu 1
    };
    for (const auto& c : cases) {
        const auto s = velmora::stresses({0.0, c.i1, c.trace_c2, 1.0, c.w1, c.w2, c.w3});
        EXPECT_EQ((std::array{s.sigma1, s.sigma2, s.sigma3}), c.sigma) << c.w3;
    }
}

// No elements: the residual of a node is its negated applied force, so the
// reaction rows can be steered exactly. Allowable residue 1 * 0.5:
//   node 1: prescribed 0, 0.25, -1.5; forces 2, -3, 0.75: three reactions
//   node 2: prescribed in y only; forces 100, -4, 100
//   node 3: prescribed in x and z; forces 1.25 and 0.5 (equal to the residue)
//   node 4: nothing prescribed; forces 10 in every direction
//   node 5: prescribed in x and z; forces 0.5 (equal) and -8
//   node 6: prescribed in y only; force 0.5 (equal)
// Numbers longer than their field widen the line (six-digit node numbers,
// three-digit exponents). A value that is not finite is its word,
// right-aligned to the field in the report, alone in the script, where a
// blank would be an Enter. Both files are larger than the writer's buffer.
TEST(Writers, ModelWithoutElements) {
    std::string text = "no elements\n: control\n0.9 20 0.5 1.0 500 7\n: material\n1.0 1 0.4 50\n: nodes\n100000\nn\n";
    for (int k = 1; k <= 100000; ++k) text += std::to_string(k) + " " + std::to_string(k - 1) + " 0 0\n";
    velmora::model m = set_up(
        text +
        ": elements\n0\ne\n: supports\n11\nn\n1 1 0.0\n1 2 0.25\n1 3 -1.5\n2 2 0\n3 1 0\n3 3 0\n5 1 0\n"
        "5 3 0\n6 2 0\n100000 1 0.5\n100000 2 1e100\n: loads\n15\nn\n1 1 2\n1 2 -3\n1 3 0.75\n2 1 100\n"
        "2 2 -4\n2 3 100\n3 1 1.25\n3 3 0.5\n4 1 10\n4 2 10\n4 3 10\n5 1 0.5\n5 3 -8\n6 2 0.5\n100000 1 -1e200\n");
    m.displacement(m.dof_number(99999, 1)) = std::nan("");
    m.displacement(m.dof_number(99999, 3)) = -HUGE_VAL;
    m.displacement(m.dof_number(100000, 3)) = HUGE_VAL;
    in_scratch_dir dir;
    velmora::output(m);
    velmora::autocad(m);
    const std::string report = dir.read("output.txt");
    EXPECT_NE(report.find("\nMax/Min   -1.000000E+20      1.000000E+20\n"), std::string::npos);
    EXPECT_EQ(test::table_rows(report, test::reaction_table),
              (std::vector<std::string>{"    1     -2.000000E+00      3.000000E+00     -7.500000E-01",
                                        "    2                        4.000000E+00", "    3     -1.250000E+00",
                                        "    5                                          8.000000E+00",
                                        "100000      1.000000E+200"}));
    const std::vector<std::string> rows = test::table_rows(report, test::displacement_table);
    ASSERT_EQ(rows.size(), 100000u);
    EXPECT_EQ(rows[99998], "99999                 NaN      0.00000000E+00                -Inf");
    EXPECT_EQ(rows[99999], "100000      5.00000000E-01      1.00000000E+100                 Inf");
    EXPECT_NE(dir.read("autocad.scr").find("\nNaN,0.000000E+00,-Inf\n9.999950E+04,1.000000E+100,Inf\n\n\nlayer off"),
              std::string::npos);
}

// A file that fills up while its writer is still running (here /dev/full
// behind the file's name) fails when the buffer is handed over, not only at
// the close.
TEST(Writers, FullDeviceFailsBeforeTheClose) {
    in_scratch_dir dir;
    test::fs::create_symlink("/dev/full", dir.path() / "full.txt");
    velmora::text_file f("full.txt");
    const std::string line(1000, 'x');
    try {
        for (int k = 0; k < 2000; ++k) f.put(line);
        ADD_FAILURE() << "2 MB written to a full device";
    } catch (const terms::failure& e) {
        EXPECT_EQ(e.name(), std::string("USE_ERROR"));
        EXPECT_NE(std::string(e.what()).find("cannot write \"full.txt\""), std::string::npos) << e.what();
    }
}

// Given a directory, each writer puts the same bytes there as into the
// working directory, which it leaves alone; a directory that does not exist
// is a USE_ERROR that names it.
TEST(Writers, WriteIntoTheDirectoryGiven) {
    velmora::model m = set_up(test::strip().text());
    m.displacement.fill(0.125);
    velmora::model n = set_up(test::strip().text());
    n.displacement.fill(0.125);
    in_scratch_dir here;
    const test::scratch_dir there;
    velmora::ansys(m);
    velmora::autocad(m);
    velmora::output(m);
    velmora::ansys(n, there.path().string());
    velmora::autocad(n, there.path().string());
    velmora::output(n, there.path().string());
    for (const char* name : {"ansys.txt", "autocad.scr", "output.txt"}) {
        EXPECT_EQ(there.read(name), here.read(name)) << name;
        EXPECT_FALSE(there.read(name).empty()) << name;
    }
    const std::string missing = (there.path() / "missing").string();
    try {
        velmora::ansys(n, missing);
        ADD_FAILURE() << "wrote into a directory that does not exist";
    } catch (const terms::failure& e) {
        EXPECT_EQ(e.name(), std::string("USE_ERROR"));
        EXPECT_EQ(std::string(e.what()),
                  "cannot create \"ansys.txt\" in \"" + missing + "\": No such file or directory");
    }
}

}  // namespace
