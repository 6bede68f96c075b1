// Tests of the stress recovery and of what the byte-for-byte reference runs
// (e2e_test.cpp) do not show of the three writers: reaction-row rules,
// models without elements, widened fields, words for values that are not
// finite, decks without plane loads or without a material. Each writer runs
// in-process on a model read from text and set up as a run sets it up, with
// displacements put in by hand. Stresses are compared with the closed form
// of a homogeneous plane-strain stretch (test_models.hpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "input.hpp"
#include "mechanics.hpp"
#include "steps.hpp"
#include "test_models.hpp"

namespace {

using test::law;
using test::lines_of;
using test::number_text;

// A scratch directory that is the working directory while the object lives.
class in_scratch_dir {
public:
    in_scratch_dir() : previous_(test::fs::current_path()) { test::fs::current_path(dir_.path()); }
    ~in_scratch_dir() {
        std::error_code ignored;
        test::fs::current_path(previous_, ignored);
    }
    in_scratch_dir(const in_scratch_dir&) = delete;
    in_scratch_dir& operator=(const in_scratch_dir&) = delete;
    std::string read(const std::string& name) const { return dir_.read(name); }

private:
    test::fs::path previous_;
    test::scratch_dir dir_;
};

velmora::model set_up(const std::string& text) {
    velmora::model m;
    velmora::read_model(m, text, "input.txt");
    velmora::start(m);
    return m;
}

void set_free(velmora::model& m, int n, int j, double value) {
    ASSERT_LE(m.dof_number(n, j), m.dof_count) << "node " << n << " direction " << j << " is prescribed";
    m.displacement(m.dof_number(n, j)) = value;
}

std::string blanks(int n) { return std::string(static_cast<std::size_t>(n), ' '); }

velmora::principal_stresses stresses_of(const velmora::model& m) {
    velmora::nodal_force f;
    return velmora::stresses(velmora::element2(m, 1, m.displacement, f));
}

const law neo{1, 1.0, 0.0, 10.0};
const law mooney{2, 0.4, 0.1, 50.0};

// ---------------------------------------------------------------------------
// Stress recovery

// One triangle with corners X, every direction prescribed to u.
std::string held_triangle(const law& w, const double (&X)[3][3], const double (&u)[3][3]) {
    std::string t = "t\n: control\n0.9 20 0.5 1 500 7\n: material\n" + w.input_line(1.0) + "\n: nodes\n3\nn\n";
    std::string supports = ": supports\n9\nn\n";
    for (int k = 0; k < 3; ++k) {
        t += std::to_string(k + 1);
        for (int j = 0; j < 3; ++j) {
            t += ' ';
            t += number_text(X[k][j]);
            supports += std::to_string(k + 1) + " " + std::to_string(j + 1) + " " + number_text(u[k][j]) + "\n";
        }
        t += '\n';
    }
    return t + ": elements\n1\ne\n1 1 2 3\n" + supports + ": loads\n0\n";
}

// The recovery forms sqrt(d) from sums of products of size stress^2:
// rounding leaves about 1e-13 of the stress scale.
constexpr double kRecoveryTol = 1e-10;

// A right triangle with legs 2 along the orthonormal directions (0.6, 0, 0.8)
// and (0, 1, 0) of a tilted plane, moved so that the deformation gradient
// is diag(l1, l2, 1) in that frame.
TEST(stress_recovery, homogeneous_stretch_gives_the_closed_form_principal_stresses) {
    const double states[][2] = {{1.3, 0.9}, {0.9, 1.3}, {0.7, 0.75}, {1.2, 1.25}, {1.05, 1.0}};
    const double X[3][3] = {{0.5, -1.25, 2.0}, {1.7, -1.25, 3.6}, {0.5, 0.75, 2.0}};
    for (const law& w : {neo, mooney})
        for (const auto& s : states) {
            SCOPED_TRACE(testing::Message() << "kind " << w.kind << " stretch " << s[0] << ", " << s[1]);
            const double u[3][3] = {{0, 0, 0}, {(s[0] - 1) * 1.2, 0, (s[0] - 1) * 1.6}, {0, (s[1] - 1) * 2, 0}};
            const velmora::principal_stresses got = stresses_of(set_up(held_triangle(w, X, u)));
            const double a = w.cauchy(s[0], s[1], 0), b = w.cauchy(s[0], s[1], 1);
            EXPECT_NEAR(got.sigma1, std::max(a, b), kRecoveryTol * w.bulk);
            EXPECT_NEAR(got.sigma2, std::min(a, b), kRecoveryTol * w.bulk);
            EXPECT_NEAR(got.sigma3, w.cauchy(s[0], s[1], 2), kRecoveryTol * w.bulk);
        }
}

// An element free of stress, undeformed or moved rigidly (awkward
// coordinates, so that the invariants carry rounding), has stresses of
// rounding size, never 0/0 or noise divided by noise.
TEST(stress_recovery, unstressed_element_gives_zero_not_nan) {
    // Relative to the moduli: with equal in-plane stresses the radius sqrt(d)
    // keeps half the digits, sqrt(eps) ~ 1.5e-8 of terms of order 1.
    constexpr double kRoundingTol = 1e-9;
    const double X[3][3] = {{0.1, 0.2, 0.3}, {1.7, -0.35, 0.9}, {0.45, 1.3, -0.6}};
    for (const law& w : {neo, mooney})
        for (double angle : {0.0, 0.3}) {
            const double c = std::cos(angle), s = std::sin(angle);
            double u[3][3];
            for (int k = 0; k < 3; ++k) {
                u[k][0] = c * X[k][0] - s * X[k][1] + 0.25 - X[k][0];
                u[k][1] = s * X[k][0] + c * X[k][1] - 1.5 - X[k][1];
                u[k][2] = 2;
                if (angle == 0) u[k][0] = u[k][1] = u[k][2] = 0;
            }
            const auto got = stresses_of(set_up(held_triangle(w, X, u)));
            SCOPED_TRACE(testing::Message() << "kind " << w.kind << " angle " << angle);
            EXPECT_NEAR(got.sigma1, 0.0, kRoundingTol * w.bulk);
            EXPECT_NEAR(got.sigma2, 0.0, kRoundingTol * w.bulk);
            EXPECT_NEAR(got.sigma3, 0.0, kRoundingTol * w.bulk);
        }
}

// States where every intermediate is exact in binary: sigma = (2/J) (W1 B +
// 2 W2 B^2 + W3 I3 1), with J = 1 and B = diag(2, 0.5, 1) (I1 = 3.5,
// tr C^2 = 5.25) or B = 1. A principal stress of exactly 0 must come from
// q / (the other root), not from a cancelling p +- sqrt(d).
TEST(stress_recovery, sign_of_the_mean_stress_chooses_the_accurate_root) {
    const struct {
        double i1, trace_c2, w1, w2, w3, sigma1, sigma2, sigma3;
    } cases[] = {
        {3.5, 5.25, 1, 0, -2, 0, -3, -2},             // 2 (b - 2): mean < 0
        {3.5, 5.25, 1, 0.25, -4, 0, -6.75, -5},       // 2 (b + b^2/2 - 4)
        {3.5, 5.25, 1, 0, -0.5, 3, 0, 1},             // 2 (b - 0.5): mean > 0
        {3.5, 5.25, 1, 0, -1.25, 1.5, -1.5, -0.5},    // mean exactly 0
        {3, 3, 0.5, 0, -0.5, 0, 0, 0},                // undeformed neo-Hookean, mu 1
    };
    for (const auto& c : cases) {
        const auto s = velmora::stresses({0.0, c.i1, c.trace_c2, 1.0, c.w1, c.w2, c.w3});
        EXPECT_EQ(s.sigma1, c.sigma1) << c.w3;
        EXPECT_EQ(s.sigma2, c.sigma2) << c.w3;
        EXPECT_EQ(s.sigma3, c.sigma3) << c.w3;
    }
}

// ---------------------------------------------------------------------------
// Report "output.txt"

// No elements: the residual of a node is its negated applied force, so the
// reaction rows can be steered exactly. Allowable residue 1 * 0.5:
//   node 1: prescribed 0, 0.25, -1.5; forces 2, -3, 0.75: three reactions
//   node 2: prescribed in y only; forces 100, -4, 100
//   node 3: prescribed in x and z; forces 1.25 and 0.5 (equal to the residue)
//   node 4: nothing prescribed; forces 10 in every direction
//   node 5: prescribed in x and z; forces 0.5 (equal) and -8
//   node 6: prescribed in y only; force 0.5 (equal)
const char* const no_element_model =
    "no elements\n: control\n0.9 20 0.5 1.0 500 7\n: material\n1.0 1 0.4 50\n"
    ": nodes\n6\nn\n1 0 0 0\n2 1 0 0\n3 2 0 0\n4 3 0 0\n5 4 0 0\n6 5 0 0\n: elements\n0\ne\n"
    ": supports\n9\nn\n1 1 0.0\n1 2 0.25\n1 3 -1.5\n2 2 0\n3 1 0\n3 3 0\n5 1 0\n5 3 0\n6 2 0\n"
    ": loads\n14\nn\n1 1 2\n1 2 -3\n1 3 0.75\n2 1 100\n2 2 -4\n2 3 100\n3 1 1.25\n3 3 0.5\n4 1 10\n"
    "4 2 10\n4 3 10\n5 1 0.5\n5 3 -8\n6 2 0.5\n";

TEST(report, reaction_rows_of_a_model_without_elements) {
    velmora::model m = set_up(no_element_model);
    ASSERT_EQ(m.allowable_residue, 0.5);
    in_scratch_dir dir;
    velmora::output(m);
    const std::string report = dir.read("output.txt");
    const std::string gap = blanks(5), skipped = blanks(18);
    EXPECT_TRUE(test::table_rows(report, test::stress_table).empty());
    EXPECT_NE(report.find("\nMax/Min   -1.000000E+20" + gap + " 1.000000E+20\n"), std::string::npos) << report;
    EXPECT_EQ(test::table_rows(report, test::reaction_table),
              (std::vector<std::string>{"    1" + gap + "-2.000000E+00" + gap + " 3.000000E+00" + gap + "-7.500000E-01",
                                        "    2" + skipped + gap + " 4.000000E+00", "    3" + gap + "-1.250000E+00",
                                        "    5" + skipped + skipped + gap + " 8.000000E+00"}));
    EXPECT_EQ(report.back(), '\n');
    // The report leaves the residual in the force matrix.
    EXPECT_EQ(m.force(2, 2), 4.0);
    EXPECT_EQ(m.force(4, 1), -10.0);
}

// Numbers that need more than their field widen the line: six-digit node
// and element numbers, a three-digit exponent.
TEST(report, long_numbers_widen_their_lines) {
    constexpr int count = 100000;
    std::string text = "wide\n: control\n0.9 20 0.5 1 500 7\n: material\n1.0 1 1 10\n: nodes\n" +
                       std::to_string(count) + "\nn\n1 0 0 0\n2 1 0 0\n3 0 1 0\n";
    for (int k = 4; k <= count; ++k) text += std::to_string(k) + " " + std::to_string(k) + " 0 0\n";
    text += ": elements\n" + std::to_string(count) + "\ne\n";
    for (int e = 1; e <= count; ++e) text += std::to_string(e) + " 1 2 3\n";
    text += ": supports\n1\nn\n" + std::to_string(count) + " 1 0\n: loads\n1\nn\n" + std::to_string(count) +
            " 1 -1e200\n";
    velmora::model m = set_up(text);
    set_free(m, count, 2, 1e100);
    in_scratch_dir dir;
    velmora::output(m);
    const std::string report = dir.read("output.txt");
    const std::string gap = blanks(5);
    const std::vector<std::string> displacements = test::table_rows(report, test::displacement_table);
    ASSERT_EQ(displacements.size(), std::size_t(count));
    EXPECT_EQ(displacements[count - 2], "99999" + gap + " 0.00000000E+00" + gap + " 0.00000000E+00" + gap +
                                            " 0.00000000E+00");
    EXPECT_EQ(displacements[count - 1], "100000" + gap + " 0.00000000E+00" + gap + " 1.00000000E+100" + gap +
                                            " 0.00000000E+00");
    const std::vector<std::string> stresses = test::table_rows(report, test::stress_table);
    ASSERT_EQ(stresses.size(), std::size_t(count));
    EXPECT_EQ(stresses[count - 1].substr(0, 11), "100000" + gap);
    EXPECT_EQ(stresses[count - 1].size(), 60u);
    EXPECT_EQ(lines_of(report).back(), "100000" + gap + " 1.000000E+200");
}

// A value that is not finite is written as its word: right-aligned to the
// field's width in the report, alone in the script, where a blank would be
// an Enter.
TEST(report, values_that_are_not_finite_are_written_as_words) {
    velmora::model m = set_up(no_element_model);
    set_free(m, 2, 1, std::nan(""));
    set_free(m, 2, 3, -HUGE_VAL);
    set_free(m, 4, 2, HUGE_VAL);
    in_scratch_dir dir;
    velmora::output(m);
    velmora::autocad(m);
    const std::vector<std::string> rows = test::table_rows(dir.read("output.txt"), test::displacement_table);
    ASSERT_EQ(rows.size(), 6u);
    const std::string gap = blanks(5);
    EXPECT_EQ(rows[1], "    2" + gap + blanks(12) + "NaN" + gap + " 0.00000000E+00" + gap + blanks(11) + "-Inf");
    EXPECT_EQ(rows[3].substr(25, 20), gap + blanks(12) + "Inf");
    const std::vector<std::string> script = lines_of(dir.read("autocad.scr"));
    ASSERT_GE(script.size(), 19u);
    EXPECT_EQ(script[14], "NaN,0.000000E+00,-Inf");  // node 2, initially at (1, 0, 0)
    EXPECT_EQ(script[16], "3.000000E+00,Inf,0.000000E+00");
}

// ---------------------------------------------------------------------------
// Script "autocad.scr" and deck "ansys.txt"

// Without elements the face lists are empty; a prescribed displacement
// moves its node in the final mesh.
TEST(autocad_script, model_without_elements) {
    velmora::model m = set_up(
        "points\n: control\n0.9 20 0.5 1 500 7\n: material\n1.0 1 0.4 50\n: nodes\n2\nn\n1 -1 0 0.5\n"
        "2 1e-5 -250 3\n: elements\n0\ne\n: supports\n1\nn\n2 2 -0.5\n: loads\n0\n");
    set_free(m, 1, 1, 0.25);
    set_free(m, 1, 3, -0.5);
    in_scratch_dir dir;
    velmora::autocad(m);
    EXPECT_EQ(dir.read("autocad.scr"),
              "osmode 0\nlayer make Initial_2 \npface\n-1.000000E+00,0.000000E+00,5.000000E-01\n"
              "1.000000E-05,-2.500000E+02,3.000000E+00\n\n\nlayer make Final_2 \npface\n"
              "-7.500000E-01,0.000000E+00,0.000000E+00\n1.000000E-05,-2.505000E+02,3.000000E+00\n\n\n"
              "layer off Initial_2 \nlayer set 0 \nzoom ext ext\n");
}

std::string deck_of(const std::string& material, const std::string& loads) {
    const velmora::model m = set_up("deck\n: control\n0.9 20 0.5 0.002 500 7\n: material\n" + material +
                                    "\n: nodes\n3\nn\n1 0 0 0\n2 2 0 0\n3 2 1 0.5\n: elements\n1\ne\n1 1 2 3\n"
                                    ": supports\n2\nn\n1 1 0\n1 2 0\n" + loads);
    in_scratch_dir dir;
    try {
        velmora::ansys(m);
    } catch (const terms::failure& f) {
        EXPECT_EQ(f.name(), "MATERIAL_ERROR");
    }
    return dir.read("ansys.txt");
}

// Forces across the plane or equal to 0 write no line: the forces heading
// is followed by the empty line; FDELE stays.
TEST(ansys_deck, no_force_lines_without_plane_loads) {
    for (const char* loads : {": loads\n0\n", ": loads\n3\nn\n1 3 5\n2 1 0\n3 2 -0.0\n"}) {
        const std::string deck = deck_of("1.0 1 0.4 50", loads);
        EXPECT_NE(deck.find("FDELE, ALL, ALL\n\n! SPECIFY FORCES\n\n! INCLUDE LARGE"), std::string::npos) << deck;
    }
}

// A model without a material (kind 3) whose set-up needs no energy: the
// deck stops after the data-table heading, its last line complete.
TEST(ansys_deck, model_without_material_stops_after_the_table_heading) {
    EXPECT_EQ(deck_of("1.0 3 0.4 50", ": loads\n0\n"),
              "\n! ENTER THE MODEL CREATION PREPROCESSOR\n/PREP7\n\n! DEFINE NODES\n"
              "N,     1,  0.000000E+00,  0.000000E+00\nN,     2,  2.000000E+00,  0.000000E+00\n"
              "N,     3,  2.000000E+00,  1.000000E+00\n\n! ACTIVATE DATA TABLE\n");
}

}  // namespace
