// Tests of the three result writers and of the stress recovery of the
// report. Each writer runs in-process on a small model read from text and
// set up as a run would set it up; the displacements, iteration count and
// energy are then put in by hand, the writer runs in a scratch directory,
// and its file is compared line by line with the layout worked out from the
// writer's rules. Stresses are compared with closed-form values of a
// homogeneous plane-strain stretch, derived here from the strain energy
// written in principal stretches.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "input.hpp"
#include "mechanics.hpp"
#include "steps.hpp"

namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// Scratch directory and files

// A fresh temporary directory that is the working directory while the
// object lives; the previous working directory is restored and the
// directory removed at the end, also when a test fails half-way.
class in_scratch_dir {
public:
    in_scratch_dir() : previous_(fs::current_path()) {
        std::string pattern = (fs::temp_directory_path() / "velmora-writers-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
        fs::current_path(path_);
    }
    ~in_scratch_dir() {
        std::error_code ignored;
        fs::current_path(previous_, ignored);
        fs::remove_all(path_, ignored);
    }
    in_scratch_dir(const in_scratch_dir&) = delete;
    in_scratch_dir& operator=(const in_scratch_dir&) = delete;

    bool has(const std::string& name) const { return fs::exists(path_ / name); }
    std::string read(const std::string& name) const {
        std::ifstream in(path_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    fs::path previous_;
    fs::path path_;
};

// The lines of a file; every line of a written file ends with a line feed,
// and nothing but printable ASCII stands between the line feeds.
std::vector<std::string> lines_of(const std::string& text) {
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n') << "the last line has no line end";
    for (char c : text)
        if (c != '\n') {
            EXPECT_TRUE(c >= 0x20 && c <= 0x7e) << "character " << int(c) << " is not printable";
        }
    std::vector<std::string> lines;
    std::string current;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) lines.push_back(current);
    return lines;
}

std::string blanks(int n) { return std::string(static_cast<std::size_t>(n), ' '); }
std::string rule(int n) { return std::string(static_cast<std::size_t>(n), '-'); }

// Compares two line lists one line at a time, so that a failure names the
// first line that differs.
void expect_lines(const std::vector<std::string>& actual, const std::vector<std::string>& expected) {
    const std::size_t n = std::min(actual.size(), expected.size());
    for (std::size_t k = 0; k < n; ++k) EXPECT_EQ(actual[k], expected[k]) << "line " << k + 1;
    EXPECT_EQ(actual.size(), expected.size()) << "number of lines";
}

// ---------------------------------------------------------------------------
// Models

velmora::model set_up(const std::string& text) {
    velmora::model m;
    velmora::read_model(m, text, "input.txt");
    velmora::start(m);
    return m;
}

// Sets the free displacement of node n in direction j.
void set_free(velmora::model& m, int n, int j, double value) {
    ASSERT_LE(m.dof_number(n, j), m.dof_count) << "node " << n << " direction " << j << " is prescribed";
    m.displacement(m.dof_number(n, j)) = value;
}

std::string number_text(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

// Principal stretches of a homogeneous plane-strain state: l1 and l2 in the
// plane, 1 across it.
struct stretch {
    double l1, l2;
};

// A right triangle with legs along two orthonormal in-plane directions e1
// and e2 of a tilted plane, corner 1 at origin + 0, corner 2 at origin +
// e1, corner 3 at origin + e2; its displacements give the deformation
// gradient diag(l1, l2, 1) in that frame.
struct tilted_frame {
    double origin[3];
    double e1[3];
    double e2[3];
};

constexpr tilted_frame tilted{{0.5, -1.25, 2.0},
                              {0.6, 0.0, 0.8},
                              {0.0, 1.0, 0.0}};

// One triangle, every direction of every node prescribed, moved by a
// homogeneous stretch s in the frame f (legs of length `leg`).
std::string stretched_triangle_text(const std::string& material, const tilted_frame& f, double leg,
                                    stretch s) {
    double X[3][3], u[3][3];
    for (int j = 0; j < 3; ++j) {
        X[0][j] = f.origin[j];
        X[1][j] = f.origin[j] + leg * f.e1[j];
        X[2][j] = f.origin[j] + leg * f.e2[j];
        u[0][j] = 0;
        u[1][j] = (s.l1 - 1) * leg * f.e1[j];
        u[2][j] = (s.l2 - 1) * leg * f.e2[j];
    }
    std::string t = "stretched triangle\n: control\n0.9 20 0.5 1 500 7\n: material\n" + material +
                    "\n: nodes\n3\nnode x y z\n";
    for (int k = 0; k < 3; ++k)
        t += std::to_string(k + 1) + " " + number_text(X[k][0]) + " " + number_text(X[k][1]) + " " +
             number_text(X[k][2]) + "\n";
    t += ": elements\n1\nelement nodes\n1 1 2 3\n: supports\n9\nnode dir value\n";
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 3; ++j)
            t += std::to_string(k + 1) + " " + std::to_string(j + 1) + " " + number_text(u[k][j]) + "\n";
    t += ": loads\n0\n";
    return t;
}

// ---------------------------------------------------------------------------
// Closed-form stresses of a homogeneous plane-strain stretch.
//
// With principal stretches l1, l2, l3 (l3 = 1 in plane strain), I1 = sum
// li^2, I2 = sum of li^2 lj^2 over pairs, J = l1 l2 l3, the two laws are
//   neo-Hookean    W = mu/2 I1 J^(-2/3) + bulk/2 (J^2 - 2J)
//   Mooney-Rivlin  W = c10 I1 J^(-2/3) + c01 I2 J^(-4/3) + bulk/2 (J^2 - 2J)
// and the principal Cauchy stresses are sigma_i = (li / J) dW/dli.

struct law {
    bool mooney;
    double a;  // mu (neo-Hookean) or c10
    double b;  // unused (neo-Hookean) or c01
    double bulk;
    std::string input_line() const {
        return mooney ? "1.0 2 " + number_text(a) + " " + number_text(b) + " " + number_text(bulk)
                      : "1.0 1 " + number_text(a) + " " + number_text(bulk);
    }
};

double energy_density(const law& w, double l1, double l2, double l3) {
    const double I1 = l1 * l1 + l2 * l2 + l3 * l3;
    const double I2 = l1 * l1 * l2 * l2 + l2 * l2 * l3 * l3 + l3 * l3 * l1 * l1;
    const double J = l1 * l2 * l3;
    const double volumetric = w.bulk / 2 * (J * J - 2 * J);
    if (!w.mooney) return w.a / 2 * I1 * std::pow(J, -2.0 / 3) + volumetric;
    return w.a * I1 * std::pow(J, -2.0 / 3) + w.b * I2 * std::pow(J, -4.0 / 3) + volumetric;
}

// sigma_i = (li / J) dW/dli, the derivative written out by hand.
double principal_cauchy(const law& w, const double l[3], int i) {
    const double I1 = l[0] * l[0] + l[1] * l[1] + l[2] * l[2];
    const double I2 = l[0] * l[0] * l[1] * l[1] + l[1] * l[1] * l[2] * l[2] + l[2] * l[2] * l[0] * l[0];
    const double J = l[0] * l[1] * l[2];
    const double li2 = l[i] * l[i];
    const double volumetric = w.bulk * (J - 1);
    if (!w.mooney) return w.a * std::pow(J, -5.0 / 3) * (li2 - I1 / 3) + volumetric;
    return 2 / J *
               (w.a * std::pow(J, -2.0 / 3) * (li2 - I1 / 3) +
                w.b * std::pow(J, -4.0 / 3) * (li2 * (I1 - li2) - 2 * I2 / 3)) +
           volumetric;
}

struct three_stresses {
    double in_plane_1, in_plane_2, across;
};

three_stresses closed_form(const law& w, stretch s) {
    const double l[3] = {s.l1, s.l2, 1.0};
    return {principal_cauchy(w, l, 0), principal_cauchy(w, l, 1), principal_cauchy(w, l, 2)};
}

const law neo{false, 1.0, 0.0, 10.0};
const law mooney{true, 0.4, 0.1, 50.0};

// ---------------------------------------------------------------------------
// Stress recovery

// The hand-written derivative must agree with a central difference of the
// energy, so that the closed form below is a trustworthy reference.
TEST(closed_form_stress, matches_a_central_difference_of_the_energy) {
    constexpr double step = 1e-6;
    constexpr double kCentralDifferenceTol = 1e-7;  // O(step^2) truncation plus rounding / step
    for (const law& w : {neo, mooney}) {
        for (stretch s : {stretch{1.3, 0.9}, stretch{0.7, 0.8}, stretch{1.1, 1.2}}) {
            const double l[3] = {s.l1, s.l2, 1.0};
            const double J = l[0] * l[1] * l[2];
            for (int i = 0; i < 3; ++i) {
                double up[3] = {l[0], l[1], l[2]}, down[3] = {l[0], l[1], l[2]};
                up[i] += step;
                down[i] -= step;
                const double dW = (energy_density(w, up[0], up[1], up[2]) -
                                   energy_density(w, down[0], down[1], down[2])) /
                                  (2 * step);
                EXPECT_NEAR(principal_cauchy(w, l, i), l[i] / J * dW, kCentralDifferenceTol * w.bulk)
                    << "direction " << i + 1;
            }
        }
    }
}

// The element's invariants and derivatives turned into principal stresses
// agree with the closed form for stretches, compressions and mixed states,
// for both laws, on a triangle that lies in a tilted plane.
TEST(stress_recovery, homogeneous_stretch_gives_the_closed_form_principal_stresses) {
    // The recovery forms sqrt(d) from sums of products of size stress^2:
    // rounding leaves an error of about 1e-13 of the stress scale.
    constexpr double kRecoveryTol = 1e-10;
    const stretch states[] = {{1.3, 0.9}, {0.9, 1.3}, {0.7, 0.75}, {0.8, 1.1}, {1.2, 1.25}, {1.05, 1.0}};
    for (const law& w : {neo, mooney}) {
        for (stretch s : states) {
            const velmora::model m = set_up(stretched_triangle_text(w.input_line(), tilted, 2.0, s));
            velmora::nodal_force f;
            const velmora::principal_stresses got = velmora::stresses(velmora::element2(m, 1, m.displacement, f));
            const three_stresses want = closed_form(w, s);
            const double scale = w.bulk;
            SCOPED_TRACE("stretch " + number_text(s.l1) + ", " + number_text(s.l2) +
                         (w.mooney ? ", Mooney-Rivlin" : ", neo-Hookean"));
            EXPECT_NEAR(got.sigma1, std::max(want.in_plane_1, want.in_plane_2), kRecoveryTol * scale);
            EXPECT_NEAR(got.sigma2, std::min(want.in_plane_1, want.in_plane_2), kRecoveryTol * scale);
            EXPECT_NEAR(got.sigma3, want.across, kRecoveryTol * scale);
        }
    }
}

// An element free of stress, undeformed or moved rigidly, has 0 in-plane
// stresses and a finite stress across its plane (0 too), never 0/0.
TEST(stress_recovery, unstressed_element_gives_zero_not_nan) {
    constexpr double kRoundingTol = 1e-12;  // relative to the moduli
    // Awkward coordinates, so that the invariants carry rounding.
    const std::string nodes =
        ": nodes\n3\nnode x y z\n1 0.1 0.2 0.3\n2 1.7 -0.35 0.9\n3 0.45 1.3 -0.6\n: elements\n1\nt\n1 1 2 3\n";
    // A rigid motion: rotation by 0.3 about the z axis and a translation.
    const double c = std::cos(0.3), s = std::sin(0.3);
    const double X[3][3] = {{0.1, 0.2, 0.3}, {1.7, -0.35, 0.9}, {0.45, 1.3, -0.6}};
    std::string rigid = ": supports\n9\nnode dir value\n";
    for (int k = 0; k < 3; ++k) {
        const double moved[3] = {c * X[k][0] - s * X[k][1] + 0.25, s * X[k][0] + c * X[k][1] - 1.5, X[k][2] + 2};
        for (int j = 0; j < 3; ++j)
            rigid += std::to_string(k + 1) + " " + std::to_string(j + 1) + " " + number_text(moved[j] - X[k][j]) +
                     "\n";
    }
    const std::string undeformed = ": supports\n0\n";
    for (const law& w : {neo, mooney}) {
        for (const std::string& supports : {undeformed, rigid}) {
            const velmora::model m = set_up("t\n: control\n0.9 20 0.5 1 500 7\n: material\n" + w.input_line() +
                                            "\n" + nodes + supports + ": loads\n0\n");
            velmora::nodal_force f;
            const velmora::principal_stresses got = velmora::stresses(velmora::element2(m, 1, m.displacement, f));
            SCOPED_TRACE(std::string(w.mooney ? "Mooney-Rivlin" : "neo-Hookean") +
                         (supports == rigid ? ", rigid motion" : ", undeformed"));
            ASSERT_TRUE(std::isfinite(got.sigma1));
            ASSERT_TRUE(std::isfinite(got.sigma2));
            ASSERT_TRUE(std::isfinite(got.sigma3));
            EXPECT_NEAR(got.sigma1, 0.0, kRoundingTol * w.bulk);
            EXPECT_NEAR(got.sigma2, 0.0, kRoundingTol * w.bulk);
            EXPECT_NEAR(got.sigma3, 0.0, kRoundingTol * w.bulk);
        }
    }
}

// States built by hand where every intermediate is exact in binary. The
// Cauchy stress is sigma = (2/J) (W1 B + 2 W2 B^2 + W3 I3 1) with B the
// left Cauchy-Green tensor; with J = 1 and B = diag(2, 0.5, 1) (I1 = 3.5,
// tr C^2 = 5.25) the principal stresses follow directly.
velmora::element_result hand_state(double i1, double trace_c2, double i3, double w1, double w2, double w3) {
    return {0.0, i1, trace_c2, i3, w1, w2, w3};
}

TEST(stress_recovery, sign_of_the_mean_stress_chooses_the_accurate_root) {
    // W1 = 1, W3 = -2: sigma = 2 (b - 2) = (0, -3) in the plane, -2 across.
    // The mean is negative; the larger stress is exactly 0, so it must come
    // from q / sigma2, not from the cancelling p + sqrt(d).
    {
        const auto s = velmora::stresses(hand_state(3.5, 5.25, 1, 1, 0, -2));
        EXPECT_EQ(s.sigma1, 0.0);
        EXPECT_EQ(s.sigma2, -3.0);
        EXPECT_EQ(s.sigma3, -2.0);
    }
    // The same with W2 = 0.25 and W3 = -4: sigma = 2 (b + b^2/2 - 4)
    // = (0, -6.75) in the plane, -5 across.
    {
        const auto s = velmora::stresses(hand_state(3.5, 5.25, 1, 1, 0.25, -4));
        EXPECT_EQ(s.sigma1, 0.0);
        EXPECT_EQ(s.sigma2, -6.75);
        EXPECT_EQ(s.sigma3, -5.0);
    }
    // W3 = -0.5: sigma = 2 (b - 0.5) = (3, 0), 1 across; the mean is positive.
    {
        const auto s = velmora::stresses(hand_state(3.5, 5.25, 1, 1, 0, -0.5));
        EXPECT_EQ(s.sigma1, 3.0);
        EXPECT_EQ(s.sigma2, 0.0);
        EXPECT_EQ(s.sigma3, 1.0);
    }
    // W3 = -1.25: sigma = 2 (b - 1.25) = (1.5, -1.5), a mean of exactly 0.
    {
        const auto s = velmora::stresses(hand_state(3.5, 5.25, 1, 1, 0, -1.25));
        EXPECT_EQ(s.sigma1, 1.5);
        EXPECT_EQ(s.sigma2, -1.5);
        EXPECT_EQ(s.sigma3, -0.5);
    }
    // B = 1, W1 = 0.5, W3 = -0.5 (the undeformed neo-Hookean state with mu
    // 1): mean 0 and radius 0, so both in-plane stresses are 0.
    {
        const auto s = velmora::stresses(hand_state(3, 3, 1, 0.5, 0, -0.5));
        EXPECT_EQ(s.sigma1, 0.0);
        EXPECT_EQ(s.sigma2, 0.0);
        EXPECT_EQ(s.sigma3, 0.0);
    }
}

// ---------------------------------------------------------------------------
// Report "output.txt"

const std::string box_iterations = "| Minor Iterations                            | ";
const std::string box_energy = "| Total Potential Energy                      | ";
const std::string box_residue = "| Allowable Maximum Residue                   | ";
const std::string displacement_header = " Node             Displ X             Displ Y             Displ Z";
const std::string stress_header = " Elem            Sigma1            Sigma2            Sigma3";
const std::string force_header = " Node           Force X           Force Y           Force Z";

TEST(report_layout, labels_have_their_widths) {
    EXPECT_EQ(box_iterations.size(), 48u);
    EXPECT_EQ(box_energy.size(), 48u);
    EXPECT_EQ(box_residue.size(), 48u);
    EXPECT_EQ(displacement_header.size(), 65u);
    EXPECT_EQ(stress_header.size(), 59u);
    EXPECT_EQ(force_header.size(), 59u);
}

// A model without elements: the residual of every node is its negated
// applied force, so the reaction rows can be steered exactly. The allowable
// residue is 1 * 0.5 = 0.5.
//   node 1: prescribed 0, 0.25, -1.5; forces 2, -3, 0.75: three reactions
//   node 2: prescribed in direction 2 only (0); forces 100, -4, 100
//   node 3: prescribed in 1 and 3; forces 1.25 and 0.5 (equal to the residue)
//   node 4: nothing prescribed; forces 10 in every direction
//   node 5: prescribed in 1 and 3; forces 0.5 (equal) and -8
//   node 6: prescribed in 2 only; force 0.5 (equal)
const char* const no_element_model = R"(model without elements
: control
0.9 20 0.5 1.0 500 7
: material
1.0 1 0.4 50
: nodes
6
node x y z
1 0 0 0
2 1 0 0
3 2 0 0
4 3 0 0
5 4 0 0
6 5 0 0
: elements
0
element nodes
: supports
9
node dir value
1 1 0.0
1 2 0.25
1 3 -1.5
2 2 0
3 1 0
3 3 0
5 1 0
5 3 0
6 2 0
: loads
14
node dir value
1 1 2
1 2 -3
1 3 0.75
2 1 100
2 2 -4
2 3 100
3 1 1.25
3 3 0.5
4 1 10
4 2 10
4 3 10
5 1 0.5
5 3 -8
6 2 0.5
)";

TEST(report_layout, model_without_elements_line_by_line) {
    velmora::model m = set_up(no_element_model);
    ASSERT_EQ(m.allowable_residue, 0.5);
    m.iterations = 37;
    m.energy = -1.25;
    set_free(m, 2, 1, 0.125);
    set_free(m, 2, 3, -2.0);
    set_free(m, 3, 2, 3.0);
    set_free(m, 4, 1, 0.001);
    set_free(m, 4, 2, 1000.0);
    set_free(m, 4, 3, -0.0625);
    set_free(m, 5, 2, 0.0);
    set_free(m, 6, 1, -7.5);
    set_free(m, 6, 3, 1e-10);

    in_scratch_dir dir;
    velmora::output(m);
    const std::vector<std::string> lines = lines_of(dir.read("output.txt"));
    const std::string gap = blanks(5);
    const std::string skipped = blanks(18);
    expect_lines(lines, {
                            rule(65),
                            box_iterations + "             37 |",
                            box_energy + "-1.25000000E+00 |",
                            box_residue + " 5.00000000E-01 |",
                            rule(65),
                            "",
                            "",
                            rule(65),
                            displacement_header,
                            rule(65),
                            "    1" + gap + " 0.00000000E+00" + gap + " 2.50000000E-01" + gap + "-1.50000000E+00",
                            "    2" + gap + " 1.25000000E-01" + gap + " 0.00000000E+00" + gap + "-2.00000000E+00",
                            "    3" + gap + " 0.00000000E+00" + gap + " 3.00000000E+00" + gap + " 0.00000000E+00",
                            "    4" + gap + " 1.00000000E-03" + gap + " 1.00000000E+03" + gap + "-6.25000000E-02",
                            "    5" + gap + " 0.00000000E+00" + gap + " 0.00000000E+00" + gap + " 0.00000000E+00",
                            "    6" + gap + "-7.50000000E+00" + gap + " 0.00000000E+00" + gap + " 1.00000000E-10",
                            "",
                            "",
                            rule(59),
                            stress_header,
                            rule(59),
                            rule(59),
                            "Max/Min   -1.000000E+20" + gap + " 1.000000E+20",
                            "",
                            "",
                            rule(59),
                            force_header,
                            rule(59),
                            "    1" + gap + "-2.000000E+00" + gap + " 3.000000E+00" + gap + "-7.500000E-01",
                            "    2" + skipped + gap + " 4.000000E+00",
                            "    3" + gap + "-1.250000E+00",
                            "    5" + skipped + skipped + gap + " 8.000000E+00",
                        });
    // Every line of the box and the displacement table is 65 characters,
    // every line of the other two tables 59 or less, without trailing blanks.
    for (std::size_t k = 0; k < lines.size(); ++k) {
        if (!lines[k].empty()) {
            EXPECT_NE(lines[k].back(), ' ') << "trailing blank on line " << k + 1;
        }
        if (k < 5 || (k >= 7 && k < 16)) {
            EXPECT_EQ(lines[k].size(), 65u) << "line " << k + 1;
        } else if (k >= 18) {
            EXPECT_LE(lines[k].size(), 59u) << "line " << k + 1;
        }
    }
    // The report leaves the residual in the force matrix.
    EXPECT_EQ(m.force(2, 2), 4.0);
    EXPECT_EQ(m.force(4, 1), -10.0);
}

// A value that is not finite is written as its word: right-aligned to the
// field's width in the report, alone in the script (where a blank would be
// an Enter).
TEST(report_layout, values_that_are_not_finite_are_written_as_words) {
    velmora::model m = set_up(no_element_model);
    set_free(m, 2, 1, std::nan(""));
    set_free(m, 2, 3, -HUGE_VAL);
    set_free(m, 4, 2, HUGE_VAL);

    in_scratch_dir dir;
    velmora::output(m);
    velmora::autocad(m);
    const std::vector<std::string> report = lines_of(dir.read("output.txt"));
    const std::string gap = blanks(5);
    ASSERT_GE(report.size(), 14u);
    EXPECT_EQ(report[11], "    2" + gap + blanks(12) + "NaN" + gap + " 0.00000000E+00" + gap + blanks(11) + "-Inf");
    EXPECT_EQ(report[13].substr(25, 20), gap + blanks(12) + "Inf");
    const std::vector<std::string> script = lines_of(dir.read("autocad.scr"));
    // Three command lines, six vertices, two empty lines, two command lines:
    // the deformed vertex of node k is line 13 + k.
    ASSERT_GE(script.size(), 19u);
    EXPECT_EQ(script[12], "pface");
    EXPECT_EQ(script[14], "NaN,0.000000E+00,-Inf");  // node 2 at (1, 0, 0)
    EXPECT_EQ(script[16], "3.000000E+00,Inf,0.000000E+00");
}

// Splits a table row into its number fields (after the first column).
std::vector<double> row_numbers(const std::string& row) {
    std::vector<double> values;
    std::size_t at = 5;
    while (at < row.size()) {
        const std::size_t begin = row.find_first_not_of(' ', at);
        if (begin == std::string::npos) break;
        std::size_t end = row.find(' ', begin);
        if (end == std::string::npos) end = row.size();
        values.push_back(std::stod(row.substr(begin, end - begin)));
        at = end;
    }
    return values;
}

// Three separate triangles with legs 1 in the x-y plane, every direction
// prescribed: element 1 stretched by (1.2, 1.05), element 2 compressed by
// (0.8, 0.9), element 3 by (1, 0.7). Thickness 0.5, neo-Hookean mu 1, bulk
// 10. The largest sigma1 is element 1's; the smallest sigma2 is element
// 3's, whose sigma1 lies above element 2's sigma2 (so the minimum must be
// taken over sigma2). The stress rows, the Max/Min line and the reactions
// follow from the closed-form stresses: for the triangle (0,0), (l1,0),
// (0,l2) under sigma = diag(s1, s2) the nodal forces are
// -(t/2)(s1 l2, s2 l1), (t/2)(s1 l2, 0) and (t/2)(0, s2 l1).
TEST(report_layout, stress_rows_max_min_and_reactions_of_stretched_triangles) {
    constexpr double kPrintedTol = 1e-6;  // six decimals, relative
    const stretch states[3] = {{1.2, 1.05}, {0.8, 0.9}, {1.0, 0.7}};
    const double t = 0.5;
    std::string text = "three triangles\n: control\n0.9 20 1e-6 1 500 7\n: material\n0.5 1 1 10\n";
    text += ": nodes\n9\nnode x y z\n";
    for (int e = 0; e < 3; ++e) {
        const int first = 3 * e + 1;
        const std::string x0 = std::to_string(5 * e), x1 = std::to_string(5 * e + 1);
        text += std::to_string(first) + " " + x0 + " 0 0\n" + std::to_string(first + 1) + " " + x1 + " 0 0\n" +
                std::to_string(first + 2) + " " + x0 + " 1 0\n";
    }
    text += ": elements\n3\nelement nodes\n1 1 2 3\n2 4 5 6\n3 7 8 9\n: supports\n27\nnode dir value\n";
    for (int e = 0; e < 3; ++e) {
        const double u[3][2] = {{0, 0}, {states[e].l1 - 1, 0}, {0, states[e].l2 - 1}};
        for (int k = 0; k < 3; ++k)
            for (int j = 0; j < 3; ++j)
                text += std::to_string(3 * e + k + 1) + " " + std::to_string(j + 1) + " " +
                        number_text(j < 2 ? u[k][j] : 0.0) + "\n";
    }
    text += ": loads\n0\n";
    velmora::model m = set_up(text);
    ASSERT_EQ(m.dof_count, 0);

    in_scratch_dir dir;
    velmora::output(m);
    const std::vector<std::string> lines = lines_of(dir.read("output.txt"));
    // Box (5 lines), 2 empty, 3 header lines, 9 displacement rows, 2 empty,
    // 3 header lines: the stress rows start at line 25 (index 24).
    const std::size_t stress_rows = 5 + 2 + 3 + 9 + 2 + 3;
    ASSERT_GE(lines.size(), stress_rows + 3 + 1 + 2 + 3 + 9);
    ASSERT_EQ(lines[stress_rows - 3], rule(59));
    ASSERT_EQ(lines[stress_rows - 2], stress_header);

    three_stresses c[3];
    double want[3][3];
    for (int e = 0; e < 3; ++e) {
        c[e] = closed_form(neo, states[e]);
        want[e][0] = std::max(c[e].in_plane_1, c[e].in_plane_2);
        want[e][1] = std::min(c[e].in_plane_1, c[e].in_plane_2);
        want[e][2] = c[e].across;
    }
    ASSERT_GT(want[2][0], want[1][1]);  // the premise of the Max/Min check
    ASSERT_LT(want[2][1], want[1][1]);
    for (int e = 0; e < 3; ++e) {
        const std::string& row = lines[stress_rows + static_cast<std::size_t>(e)];
        EXPECT_EQ(row.size(), 59u);
        EXPECT_EQ(row.substr(0, 5), "    " + std::to_string(e + 1));
        const std::vector<double> got = row_numbers(row);
        ASSERT_EQ(got.size(), 3u) << row;
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], want[e][i], kPrintedTol * std::fabs(want[e][i])) << row;
    }
    EXPECT_EQ(lines[stress_rows + 3], rule(59));
    // The Max/Min line repeats the fields of those rows exactly.
    EXPECT_EQ(lines[stress_rows + 4], "Max/Min   " + lines[stress_rows].substr(10, 13) + blanks(5) +
                                          lines[stress_rows + 2].substr(28, 13));

    // Reactions: z is exactly 0 for triangles in the x-y plane, and the
    // zero components are rounding far below the allowable residue 1e-6.
    const std::size_t reactions = stress_rows + 3 + 1 + 1 + 2 + 3;
    ASSERT_EQ(lines[reactions - 2], force_header);
    ASSERT_EQ(lines.size(), reactions + 9);
    for (int e = 0; e < 3; ++e) {
        const stretch& s = states[e];
        const double f1 = t / 2 * c[e].in_plane_1 * s.l2, f2 = t / 2 * c[e].in_plane_2 * s.l1;
        struct expected_row {
            bool x, y;
            double fx, fy;
        };
        const expected_row rows[3] = {{true, true, -f1, -f2}, {true, false, f1, 0}, {false, true, 0, f2}};
        for (int k = 0; k < 3; ++k) {
            const std::string& row = lines[reactions + static_cast<std::size_t>(3 * e + k)];
            const expected_row& r = rows[k];
            SCOPED_TRACE(row);
            EXPECT_EQ(row.substr(0, 5), "    " + std::to_string(3 * e + k + 1));
            EXPECT_EQ(row.size(), r.y ? 41u : 23u);
            if (!r.x) {
                EXPECT_EQ(row.substr(5, 18), blanks(18));
            }
            const std::vector<double> got = row_numbers(row);
            ASSERT_EQ(got.size(), (r.x ? 1u : 0u) + (r.y ? 1u : 0u));
            if (r.x) {
                EXPECT_NEAR(got[0], r.fx, kPrintedTol * std::fabs(r.fx));
            }
            if (r.y) {
                EXPECT_NEAR(got.back(), r.fy, kPrintedTol * std::fabs(r.fy));
            }
        }
    }
}

// Numbers that need more than their field widen the line: six-digit node
// and element numbers, and a three-digit exponent.
TEST(report_layout, long_numbers_widen_their_lines) {
    constexpr int count = 100000;
    std::string text = "wide\n: control\n0.9 20 0.5 1 500 7\n: material\n1.0 1 1 10\n: nodes\n";
    text += std::to_string(count) + "\nnode x y z\n1 0 0 0\n2 1 0 0\n3 0 1 0\n";
    for (int k = 4; k <= count; ++k) text += std::to_string(k) + " " + std::to_string(k) + " 0 0\n";
    text += ": elements\n" + std::to_string(count) + "\nelement nodes\n";
    for (int e = 1; e <= count; ++e) text += std::to_string(e) + " 1 2 3\n";
    text += ": supports\n1\nnode dir value\n" + std::to_string(count) + " 1 0\n";
    text += ": loads\n1\nnode dir value\n" + std::to_string(count) + " 1 -1e200\n";
    velmora::model m = set_up(text);
    set_free(m, count, 2, 1e100);

    in_scratch_dir dir;
    velmora::output(m);
    const std::vector<std::string> lines = lines_of(dir.read("output.txt"));
    const std::string gap = blanks(5);
    const std::size_t displacement_rows = 10;
    EXPECT_EQ(lines[displacement_rows + count - 2],
              "99999" + gap + " 0.00000000E+00" + gap + " 0.00000000E+00" + gap + " 0.00000000E+00");
    EXPECT_EQ(lines[displacement_rows + count - 1],
              "100000" + gap + " 0.00000000E+00" + gap + " 1.00000000E+100" + gap + " 0.00000000E+00");
    const std::size_t stress_rows = displacement_rows + count + 5;
    ASSERT_EQ(lines[stress_rows - 2], stress_header);
    const std::string& last_stress = lines[stress_rows + count - 1];
    EXPECT_EQ(last_stress.substr(0, 11), "100000" + gap);
    EXPECT_EQ(last_stress.size(), 60u);
    EXPECT_EQ(lines[stress_rows + count - 2].substr(0, 10), "99999" + gap);
    EXPECT_EQ(lines.back(), "100000" + gap + " 1.000000E+200");
    EXPECT_EQ(lines[lines.size() - 2], rule(59));
}

// ---------------------------------------------------------------------------
// AutoCAD script "autocad.scr"

// One triangle; node 1 is prescribed in every direction, nodes 2 and 3 are
// free and get displacements (0.125, -0.25, 0) and (-0.5, 0, 0.75).
const char* const one_triangle = R"(one triangle
: control
0.9 20 0.5 1 500 7
: material
1.0 1 0.4 50
: nodes
3
node x y z
1 2 -0.5 0
2 3 -0.5 0
3 2 0.5 1
: elements
1
element nodes
1 1 2 3
: supports
3
node dir value
1 1 0.5
1 2 0.25
1 3 -1
: loads
0
)";

TEST(autocad_script, one_triangle_line_by_line) {
    velmora::model m = set_up(one_triangle);
    ASSERT_EQ(m.dof_count, 6);
    set_free(m, 2, 1, 0.125);
    set_free(m, 2, 2, -0.25);
    set_free(m, 2, 3, 0.0);
    set_free(m, 3, 1, -0.5);
    set_free(m, 3, 2, 0.0);
    set_free(m, 3, 3, 0.75);

    in_scratch_dir dir;
    velmora::autocad(m);
    const std::string text = dir.read("autocad.scr");
    expect_lines(lines_of(text), {
                                     "osmode 0",
                                     "layer make Initial_2 ",
                                     "pface",
                                     "2.000000E+00,-5.000000E-01,0.000000E+00",
                                     "3.000000E+00,-5.000000E-01,0.000000E+00",
                                     "2.000000E+00,5.000000E-01,1.000000E+00",
                                     "",
                                     "1 2 3",
                                     "",
                                     "",
                                     "layer make Final_2 ",
                                     "pface",
                                     // node 1 at its initial position plus its prescribed displacement
                                     "2.500000E+00,-2.500000E-01,-1.000000E+00",
                                     "3.125000E+00,-7.500000E-01,0.000000E+00",
                                     "1.500000E+00,5.000000E-01,1.750000E+00",
                                     "",
                                     "1 2 3",
                                     "",
                                     "",
                                     "layer off Initial_2 ",
                                     "layer set 0 ",
                                     "zoom ext ext",
                                 });
    EXPECT_EQ(text.substr(text.size() - 13), "zoom ext ext\n");
}

TEST(autocad_script, model_without_elements) {
    velmora::model m = set_up(
        "points\n: control\n0.9 20 0.5 1 500 7\n: material\n1.0 1 0.4 50\n: nodes\n2\nnode x y z\n"
        "1 -1 0 0.5\n2 1e-5 -250 3\n: elements\n0\nelement nodes\n: supports\n1\nnode dir value\n"
        "2 2 -0.5\n: loads\n0\n");
    set_free(m, 1, 1, 0.25);
    set_free(m, 1, 2, 0.0);
    set_free(m, 1, 3, -0.5);
    set_free(m, 2, 1, 0.0);
    set_free(m, 2, 3, 0.0);

    in_scratch_dir dir;
    velmora::autocad(m);
    expect_lines(lines_of(dir.read("autocad.scr")), {
                                                        "osmode 0",
                                                        "layer make Initial_2 ",
                                                        "pface",
                                                        "-1.000000E+00,0.000000E+00,5.000000E-01",
                                                        "1.000000E-05,-2.500000E+02,3.000000E+00",
                                                        "",
                                                        "",
                                                        "layer make Final_2 ",
                                                        "pface",
                                                        "-7.500000E-01,0.000000E+00,0.000000E+00",
                                                        "1.000000E-05,-2.505000E+02,3.000000E+00",
                                                        "",
                                                        "",
                                                        "layer off Initial_2 ",
                                                        "layer set 0 ",
                                                        "zoom ext ext",
                                                    });
}

TEST(autocad_script, face_lines_write_node_numbers_without_blanks) {
    constexpr int count = 10000;
    std::string text = "faces\n: control\n0.9 20 0.5 1 500 7\n: material\n1.0 1 0.4 50\n: nodes\n";
    text += std::to_string(count) + "\nnode x y z\n";
    for (int k = 1; k < count; ++k) text += std::to_string(k) + " " + std::to_string(k) + " 0 0\n";
    text += std::to_string(count) + " 0 1 0\n";
    text += ": elements\n1\nelement nodes\n1 10000 5 17\n: supports\n0\n: loads\n0\n";
    velmora::model m = set_up(text);

    in_scratch_dir dir;
    velmora::autocad(m);
    const std::vector<std::string> lines = lines_of(dir.read("autocad.scr"));
    ASSERT_EQ(lines.size(), 3u + count + 4u + 2u + count + 4u + 3u);
    EXPECT_EQ(lines[3 + count + 1], "10000 5 17");
    EXPECT_EQ(lines[3 + count + 4 + 2 + count + 1], "10000 5 17");
    EXPECT_EQ(lines[3 + count - 1], "0.000000E+00,1.000000E+00,0.000000E+00");
}

// ---------------------------------------------------------------------------
// ANSYS deck "ansys.txt"

// Four nodes (node 3 off the x-y plane: z is not written), two elements.
// Supports: node 1 in x (0), y (-0.5) and z; node 2 in z only (no line);
// node 3 in x (12.5); node 4 in y (0). Loads: node 2 x 0 (no line) and
// y -3; node 3 x 1.5 and z 7 (no line); node 4 x -2. Allowable residue
// 0.002 * 0.5 = 0.001.
const std::string deck_model_head = R"(deck
: control
0.9 20 0.5 0.002 500 7
: material
)";
const std::string deck_model_mesh = R"(
: nodes
4
node x y z
1 0 0 0
2 2 0 0
3 2 1 0.5
4 -1 2.5 0
: elements
2
element nodes
1 1 2 3
2 1 3 4
: supports
6
node dir value
1 1 0.0
1 2 -0.5
1 3 0
2 3 0.25
4 2 0.0
3 1 12.5
)";
const std::string deck_loads = R"(: loads
5
node dir value
2 1 0.0
2 2 -3
3 1 1.5
3 3 7
4 1 -2
)";

const char* const expected_neo_deck = R"(
! ENTER THE MODEL CREATION PREPROCESSOR
/PREP7

! DEFINE NODES
N,     1,  0.000000E+00,  0.000000E+00
N,     2,  2.000000E+00,  0.000000E+00
N,     3,  2.000000E+00,  1.000000E+00
N,     4, -1.000000E+00,  2.500000E+00

! ACTIVATE DATA TABLE
TB, HYPER, 1, , , NEO
TBDATA, 1,  4.000000E-01
TBDATA, 2,  4.000000E-02

! DEFINE ELEMENT TYPE
! FULL INTEGRATION WITH B-BAR METHOD
! PLANE STRAIN
ET, 1, PLANE182, 0, , 2

! DEFINE ELEMENTS
EN,     1,     1,     2,     3,     3
EN,     2,     1,     3,     4,     4

FINISH

! ENTER THE SOLUTION PROCESSOR
/SOLU

! STATIC ANALYSIS
ANTYPE, STATIC, NEW

! DEFINE CONSTRAINTS
D,     1, UX,  0.000000E+00
D,     1, UY, -5.000000E-01
D,     3, UX,  1.250000E+01
D,     4, UY,  0.000000E+00

! DELETE FORCE LOADS ON NODES
FDELE, ALL, ALL

! SPECIFY FORCES
F,     2, FY, -3.000000E+00
F,     3, FX,  1.500000E+00
F,     4, FX, -2.000000E+00

! INCLUDE LARGE DEFORMATION EFFECTS
NLGEOM, ON

! SPECIFY NUMBER OF SUBSTEPS
NSUBST,    10

! SPECIFY MAXIMUM NUMBER OF EQUILIBRIUM ITERATIONS
NEQIT,    25

! SET CONVERGENCE VALUES
CNVTOL, F, 1.0,  1.000000E-03, 0

! SPECIFY NEWTON-RAPHSON OPTIONS
NROPT, FULL, , OFF

! SPECIFY TYPE OF EQUATION SOLVER
EQSLV, FRONT

FINISH
)";

std::vector<std::string> deck_of(const std::string& material, const std::string& loads) {
    const velmora::model m = set_up(deck_model_head + material + deck_model_mesh + loads);
    in_scratch_dir dir;
    velmora::ansys(m);
    return lines_of(dir.read("ansys.txt"));
}

// The lines between "! ACTIVATE DATA TABLE" and the next empty line.
std::vector<std::string> material_block(const std::vector<std::string>& deck) {
    auto begin = std::find(deck.begin(), deck.end(), "! ACTIVATE DATA TABLE");
    if (begin == deck.end()) return {};
    ++begin;
    return {begin, std::find(begin, deck.end(), "")};
}

TEST(ansys_deck, neo_hookean_model_line_by_line) {
    const velmora::model m = set_up(deck_model_head + "1.0 1 0.4 50" + deck_model_mesh + deck_loads);
    in_scratch_dir dir;
    velmora::ansys(m);
    const std::string text = dir.read("ansys.txt");
    expect_lines(lines_of(text), lines_of(expected_neo_deck));
    EXPECT_EQ(text.front(), '\n');
    EXPECT_EQ(text.substr(text.size() - 8), "\nFINISH\n");
}

TEST(ansys_deck, material_lines_of_both_laws) {
    EXPECT_EQ(material_block(deck_of("1.0 1 0.4 50", deck_loads)),
              (std::vector<std::string>{"TB, HYPER, 1, , , NEO", "TBDATA, 1,  4.000000E-01",
                                        "TBDATA, 2,  4.000000E-02"}));
    // Mooney-Rivlin c10 0.4, c01 -0.1, bulk 8: the third value is 2 / 8.
    EXPECT_EQ(material_block(deck_of("1.0 2 0.4 -0.1 8", deck_loads)),
              (std::vector<std::string>{"TB, HYPER, 1, , , MOONEY", "TBDATA, 1,  4.000000E-01",
                                        "TBDATA, 2, -1.000000E-01", "TBDATA, 3,  2.500000E-01"}));
}

// Without force lines the forces heading is followed by the empty line;
// the FDELE line stays. Forces only across the plane or equal to 0 write
// no line either.
TEST(ansys_deck, model_without_plane_loads_has_no_force_lines) {
    const std::string no_loads = ": loads\n0\n";
    const std::string only_z_and_zero = ": loads\n3\nnode dir value\n1 3 5\n2 1 0\n3 2 -0.0\n";
    for (const std::string& loads : {no_loads, only_z_and_zero}) {
        const std::vector<std::string> deck = deck_of("1.0 1 0.4 50", loads);
        const auto heading = std::find(deck.begin(), deck.end(), "! SPECIFY FORCES");
        ASSERT_NE(heading, deck.end());
        ASSERT_GE(deck.end() - heading, 3);
        EXPECT_EQ(heading[-2], "FDELE, ALL, ALL");
        EXPECT_EQ(heading[1], "");
        EXPECT_EQ(heading[2], "! INCLUDE LARGE DEFORMATION EFFECTS");
    }
}

// A model without a material (kind 3) whose set-up needs no energy: the
// deck stops after the data-table heading, its last line complete.
TEST(ansys_deck, model_without_material_stops_after_the_table_heading) {
    const velmora::model m = set_up(deck_model_head + "1.0 3 0.4 50" + deck_model_mesh + deck_loads);
    in_scratch_dir dir;
    EXPECT_THROW(velmora::ansys(m), terms::failure);
    const std::string text = dir.read("ansys.txt");
    const std::string expected = expected_neo_deck;
    const std::string heading = "! ACTIVATE DATA TABLE\n";
    EXPECT_EQ(text, expected.substr(0, expected.find(heading) + heading.size()));
}

}  // namespace
