// Whole runs of the program that check the report against physics and the
// run sequence around the writers: a homogeneous plane-strain stretch whose
// stresses, displacements and support reactions have a closed form; the
// files left by a run that fails; and the warning for a mesh that the
// minimiser left folded.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "program_run.hpp"

namespace {

std::vector<std::string> lines_of(const std::string& text) {
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

std::string number_text(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

// ---------------------------------------------------------------------------
// Reading "output.txt"

// The report split into its tables; each row keeps its text.
struct report {
    std::vector<std::string> displacement_rows;
    std::vector<std::string> stress_rows;
    std::string max_min;
    std::vector<std::string> reaction_rows;
};

// Rows of the table whose header is `header`: from two lines below it up to
// the first empty line, rule line or the end.
std::vector<std::string> table_rows(const std::vector<std::string>& lines, const std::string& header,
                                    std::size_t* after = nullptr) {
    const auto at = std::find(lines.begin(), lines.end(), header);
    std::vector<std::string> rows;
    if (at == lines.end() || lines.end() - at < 2) {
        ADD_FAILURE() << "no table headed \"" << header << '"';
        return rows;
    }
    auto row = at + 2;
    while (row != lines.end() && !row->empty() && (*row)[0] != '-') rows.push_back(*row++);
    if (after != nullptr) *after = static_cast<std::size_t>(row - lines.begin());
    return rows;
}

report read_report(const std::string& text) {
    const std::vector<std::string> lines = lines_of(text);
    report r;
    r.displacement_rows = table_rows(lines, " Node             Displ X             Displ Y             Displ Z");
    std::size_t end = 0;
    r.stress_rows = table_rows(lines, " Elem            Sigma1            Sigma2            Sigma3", &end);
    if (end + 1 < lines.size()) r.max_min = lines[end + 1];
    r.reaction_rows = table_rows(lines, " Node           Force X           Force Y           Force Z");
    return r;
}

// The number in columns [begin, begin + width) of a row; NaN for a field
// that is blank or lies beyond the end of the row.
double field(const std::string& row, std::size_t begin, std::size_t width) {
    if (begin >= row.size()) return std::nan("");
    const std::string text = row.substr(begin, width);
    if (text.find_first_not_of(' ') == std::string::npos) return std::nan("");
    return std::stod(text);
}

// Direction j (1..3) of a row whose first column has width 5: displacement
// rows have 20-character fields, stress and reaction rows 18.
double displacement_field(const std::string& row, int j) { return field(row, 5 + 20 * (j - 1), 20); }
double stress_field(const std::string& row, int j) { return field(row, 5 + 18 * (j - 1), 18); }
int first_column(const std::string& row) { return std::stoi(row.substr(0, 5)); }

// ---------------------------------------------------------------------------
// Closed-form plane-strain stretch.
//
// With principal stretches l1, l2 in the plane and 1 across it, I1 = sum
// li^2, I2 = sum of li^2 lj^2 over pairs, J = l1 l2, the laws are
//   neo-Hookean    W = mu/2 I1 J^(-2/3) + bulk/2 (J^2 - 2J)
//   Mooney-Rivlin  W = c10 I1 J^(-2/3) + c01 I2 J^(-4/3) + bulk/2 (J^2 - 2J)
// and the principal Cauchy stresses sigma_i = (li / J) dW/dli are
//   neo-Hookean    mu J^(-5/3) (li^2 - I1/3) + bulk (J - 1)
//   Mooney-Rivlin  2/J [c10 J^(-2/3) (li^2 - I1/3)
//                       + c01 J^(-4/3) (li^2 (I1 - li^2) - 2 I2/3)] + bulk (J - 1)

struct law {
    bool mooney;
    double a, b, bulk;  // mu, -, bulk or c10, c01, bulk
    std::string input_line(double thickness) const {
        return number_text(thickness) +
               (mooney ? " 2 " + number_text(a) + " " + number_text(b) : " 1 " + number_text(a)) + " " +
               number_text(bulk);
    }
};

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

// The lateral stretch l2 at which the lateral stress vanishes for a given
// l1, by bisection (the lateral stress grows with l2).
double free_lateral_stretch(const law& w, double l1) {
    double low = 0.2, high = 3.0;
    const auto lateral = [&](double l2) {
        const double l[3] = {l1, l2, 1.0};
        return principal_cauchy(w, l, 1);
    };
    EXPECT_LT(lateral(low), 0);
    EXPECT_GT(lateral(high), 0);
    for (int k = 0; k < 200 && low < high; ++k) {
        const double mid = 0.5 * (low + high);
        if (mid <= low || mid >= high) break;
        (lateral(mid) < 0 ? low : high) = mid;
    }
    return 0.5 * (low + high);
}

// ---------------------------------------------------------------------------
// Homogeneous stretch of a triangulated square.
//
// A square of side n h in the x-y plane, cut into n x n cells and each cell
// into two triangles, the diagonal alternating from cell to cell; the
// triangles of every second cell are listed clockwise. The left edge is held
// in x, its lower corner also in y; the right edge is moved by delta in x;
// the upper and lower edges are free; every node is held in z. The exact
// solution is homogeneous: x stretched by l1 = 1 + delta / (n h), y by the
// free lateral stretch l2, and every triangle represents it exactly.

struct stretch_case {
    const char* name;
    law material;
    double l1;
};

constexpr int cells = 3;
constexpr double cell = 0.5;
constexpr double thickness = 0.25;

int node_number(int i, int j) { return j * (cells + 1) + i + 1; }

std::string square_input(const stretch_case& c) {
    const double side = cells * cell;
    std::string t = "square under a prescribed stretch\n: control\n0.9 20 1e-10 0 5000 7\n: material\n";
    t += c.material.input_line(thickness) + "\n";
    t += ": nodes\n" + std::to_string((cells + 1) * (cells + 1)) + "\nnode x y z\n";
    for (int j = 0; j <= cells; ++j)
        for (int i = 0; i <= cells; ++i)
            t += std::to_string(node_number(i, j)) + " " + number_text(i * cell) + " " + number_text(j * cell) +
                 " 0\n";
    t += ": elements\n" + std::to_string(2 * cells * cells) + "\nelement nodes\n";
    int e = 0;
    for (int j = 0; j < cells; ++j) {
        for (int i = 0; i < cells; ++i) {
            const int a = node_number(i, j), b = node_number(i + 1, j), cc = node_number(i + 1, j + 1),
                      d = node_number(i, j + 1);
            const bool odd = (i + j) % 2 == 1;
            const int tri[2][3] = {{a, b, cc}, {a, cc, d}};
            const int other[2][3] = {{a, d, b}, {b, d, cc}};  // other diagonal, clockwise
            for (int k = 0; k < 2; ++k) {
                const int* n = odd ? other[k] : tri[k];
                t += std::to_string(++e) + " " + std::to_string(n[0]) + " " + std::to_string(n[1]) + " " +
                     std::to_string(n[2]) + "\n";
            }
        }
    }
    std::vector<std::string> supports;
    const double delta = (c.l1 - 1) * side;
    for (int j = 0; j <= cells; ++j) {
        supports.push_back(std::to_string(node_number(0, j)) + " 1 0");
        supports.push_back(std::to_string(node_number(cells, j)) + " 1 " + number_text(delta));
    }
    supports.push_back(std::to_string(node_number(0, 0)) + " 2 0");
    for (int k = 1; k <= (cells + 1) * (cells + 1); ++k) supports.push_back(std::to_string(k) + " 3 0");
    t += ": supports\n" + std::to_string(supports.size()) + "\nnode dir value\n";
    for (const std::string& s : supports) t += s + "\n";
    t += ": loads\n0\n";
    return t;
}

class plane_strain_stretch : public testing::TestWithParam<stretch_case> {};

// Stresses are printed with 7 significant digits (5e-7 relative) and the
// minimiser stops at a residue 1e-10 of the start residue.
constexpr double kPrintedResultTol = 1e-6;

TEST_P(plane_strain_stretch, report_matches_the_closed_form) {
    const stretch_case& c = GetParam();
    const law& w = c.material;
    const double l1 = c.l1;
    const double l2 = free_lateral_stretch(w, l1);
    const double l[3] = {l1, l2, 1.0};
    const double sx = principal_cauchy(w, l, 0);
    const double s3 = principal_cauchy(w, l, 2);
    ASSERT_LT(std::fabs(principal_cauchy(w, l, 1)), 1e-12 * std::fabs(sx));

    test::model_run run(square_input(c));
    ASSERT_EQ(run.result.status, 0) << run.result.err;
    EXPECT_TRUE(std::regex_match(run.result.out, std::regex("\nMinor = +[0-9]+     Optimal\n"))) << run.result.out;
    EXPECT_EQ(run.result.err, "");  // no element turned over, clockwise ones included
    const report r = read_report(run.dir.read("output.txt"));

    // Displacements: u = (l1 - 1) x, (l2 - 1) y, 0.
    const double u_scale = std::max(std::fabs(l1 - 1), std::fabs(l2 - 1)) * cells * cell;
    ASSERT_EQ(r.displacement_rows.size(), static_cast<std::size_t>((cells + 1) * (cells + 1)));
    for (int j = 0; j <= cells; ++j) {
        for (int i = 0; i <= cells; ++i) {
            const std::string& row = r.displacement_rows[static_cast<std::size_t>(node_number(i, j) - 1)];
            SCOPED_TRACE(row);
            EXPECT_EQ(first_column(row), node_number(i, j));
            EXPECT_NEAR(displacement_field(row, 1), (l1 - 1) * i * cell, kPrintedResultTol * u_scale);
            EXPECT_NEAR(displacement_field(row, 2), (l2 - 1) * j * cell, kPrintedResultTol * u_scale);
            EXPECT_EQ(displacement_field(row, 3), 0.0);
        }
    }

    // Stresses: (sx, 0) in the plane, larger first; s3 across.
    const double larger = std::max(sx, 0.0), smaller = std::min(sx, 0.0);
    const double s_scale = std::fabs(sx);
    ASSERT_EQ(r.stress_rows.size(), static_cast<std::size_t>(2 * cells * cells));
    for (const std::string& row : r.stress_rows) {
        SCOPED_TRACE(row);
        EXPECT_EQ(row.size(), 59u);
        EXPECT_NEAR(stress_field(row, 1), larger, kPrintedResultTol * s_scale);
        EXPECT_NEAR(stress_field(row, 2), smaller, kPrintedResultTol * s_scale);
        EXPECT_NEAR(stress_field(row, 3), s3, kPrintedResultTol * std::fabs(s3));
    }
    ASSERT_EQ(r.max_min.substr(0, 10), "Max/Min   ");
    EXPECT_NEAR(field(r.max_min, 10, 13), larger, kPrintedResultTol * s_scale);
    EXPECT_NEAR(field(r.max_min, 28, 13), smaller, kPrintedResultTol * s_scale);

    // Reactions in x: the end force sx l2 (n h) t shared among the edge
    // nodes, half a cell to a corner and a whole cell to a middle node
    // (which receives the forces of several triangles); negative on the
    // held edge, positive on the moved one. The lateral reaction of the
    // pinned corner is 0 in the exact solution: it may appear only as
    // residue-sized noise. Nothing else is reported.
    ASSERT_EQ(r.reaction_rows.size(), static_cast<std::size_t>(2 * (cells + 1)));
    std::size_t k = 0;
    for (int j = 0; j <= cells; ++j) {
        for (int i : {0, cells}) {
            const std::string& row = r.reaction_rows[k++];
            SCOPED_TRACE(row);
            EXPECT_EQ(first_column(row), node_number(i, j));
            const double share = (j == 0 || j == cells) ? 0.5 : 1.0;
            const double expected = (i == 0 ? -1 : 1) * sx * l2 * cell * thickness * share;
            EXPECT_NEAR(stress_field(row, 1), expected, kPrintedResultTol * std::fabs(expected));
            if (node_number(i, j) == node_number(0, 0) && row.size() > 23u) {
                EXPECT_EQ(row.size(), 41u);
                EXPECT_LT(std::fabs(stress_field(row, 2)), kPrintedResultTol * std::fabs(expected));
            } else {
                EXPECT_EQ(row.size(), 23u);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    report, plane_strain_stretch,
    testing::Values(stretch_case{"neo_hookean_tension", {false, 0.05, 0, 0.5}, 1.15},
                    stretch_case{"neo_hookean_compression", {false, 0.05, 0, 0.5}, 0.9},
                    stretch_case{"mooney_rivlin_tension", {true, 0.04, 0.01, 5.0}, 1.15}),
    [](const testing::TestParamInfo<stretch_case>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Files left by failing runs

const std::string old_autocad = "old drawing\n";
const std::string old_output = "old report\n";

// Node 4 is free and touched by no element or load, so the first search
// direction is 0: the line search fails before any step.
const std::string zero_direction_input = R"(nothing to move
: control
0.9 20 0.001 0 500 7
: material
1.0 1 1 10
: nodes
4
node x y z
1 0 0 0
2 1 0 0
3 0 1 0
4 5 5 0
: elements
1
element nodes
1 1 2 3
: supports
9
node dir value
1 1 0
1 2 0
1 3 0
2 1 0
2 2 0
2 3 0
3 1 0
3 2 0
3 3 0
: loads
0
)";

TEST(failing_run, minimiser_failure_leaves_a_complete_deck_and_the_old_files) {
    test::scratch_dir dir;
    dir.write("input.txt", zero_direction_input);
    dir.write("autocad.scr", old_autocad);
    dir.write("output.txt", old_output);
    const test::run_result r = test::run_velmora(dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Line Search Failure\n");
    EXPECT_EQ(r.err, "\nraised NLP.HALT : nlp:126 instantiated at velmora:483\n");
    EXPECT_EQ(dir.read("autocad.scr"), old_autocad);
    EXPECT_EQ(dir.read("output.txt"), old_output);

    const std::vector<std::string> deck = lines_of(dir.read("ansys.txt"));
    ASSERT_GE(deck.size(), 3u);
    EXPECT_EQ(deck.front(), "");
    EXPECT_EQ(deck.back(), "FINISH");
    EXPECT_EQ(dir.read("ansys.txt").back(), '\n');
    EXPECT_NE(std::find(deck.begin(), deck.end(), "N,     4,  5.000000E+00,  5.000000E+00"), deck.end());
    EXPECT_NE(std::find(deck.begin(), deck.end(), "EN,     1,     1,     2,     3,     3"), deck.end());
    // The start residue is 0, and so is the allowable residue.
    EXPECT_NE(std::find(deck.begin(), deck.end(), "CNVTOL, F, 1.0,  0.000000E+00, 0"), deck.end());
}

// Material kind 3 with a positive reference residue: the set-up needs no
// energy, so the run gets as far as the deck, which stops after the
// data-table heading.
TEST(failing_run, model_without_material_stops_the_deck_at_the_table_heading) {
    const std::string input =
        "no material\n: control\n0.9 20 0.001 1.0 500 7\n: material\n1.0 3 1 10\n: nodes\n3\nnode x y z\n"
        "1 0 0 0\n2 1 0 0\n3 0 1 0\n: elements\n1\nelement nodes\n1 1 2 3\n: supports\n1\nnode dir value\n"
        "1 1 0\n: loads\n0\n";
    test::model_run run(input);
    EXPECT_EQ(run.result.status, 1);
    EXPECT_EQ(run.result.out, "");
    EXPECT_EQ(run.result.err.rfind("\nraised ", 0), 0u) << run.result.err;
    EXPECT_EQ(run.dir.read("ansys.txt"),
              "\n! ENTER THE MODEL CREATION PREPROCESSOR\n/PREP7\n\n! DEFINE NODES\n"
              "N,     1,  0.000000E+00,  0.000000E+00\n"
              "N,     2,  1.000000E+00,  0.000000E+00\n"
              "N,     3,  0.000000E+00,  1.000000E+00\n"
              "\n! ACTIVATE DATA TABLE\n");
    EXPECT_FALSE(run.dir.has("autocad.scr"));
    EXPECT_FALSE(run.dir.has("output.txt"));
}

// ---------------------------------------------------------------------------
// Turned-over elements
//
// A block of 5 x 5 unit cells, bonded at its bottom (every bottom node held
// in x and y), its top pressed down by 17 % (top nodes prescribed in y,
// free in x), z held everywhere. With moduli of order 1 the minimiser's
// first step (the start residue taken as a length) is larger than a cell
// and the block ends folded; scaled by 0.01 it ends unfolded. (At 15 % this
// mesh does not fold; 16 to 18 % fold with moduli of order 1 and not with
// moduli scaled by 0.01.)

constexpr int block_cells = 5;
constexpr double press = 0.17;

struct block {
    std::string input;
    std::vector<double> x, y;              // initial coordinates, index node - 1
    std::vector<std::array<int, 3>> tris;  // node numbers
};

block pressed_block(double mu, double bulk) {
    block b;
    const int n = block_cells;
    const auto id = [n](int i, int j) { return j * (n + 1) + i + 1; };
    std::string t = "pressed block\n: control\n0.9 20 0.001 0 1000 7\n: material\n1.0 1 " + number_text(mu) + " " +
                    number_text(bulk) + "\n: nodes\n" + std::to_string((n + 1) * (n + 1)) + "\nnode x y z\n";
    for (int j = 0; j <= n; ++j) {
        for (int i = 0; i <= n; ++i) {
            t += std::to_string(id(i, j)) + " " + std::to_string(i) + " " + std::to_string(j) + " 0\n";
            b.x.push_back(i);
            b.y.push_back(j);
        }
    }
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            b.tris.push_back({id(i, j), id(i + 1, j), id(i + 1, j + 1)});
            b.tris.push_back({id(i, j), id(i + 1, j + 1), id(i, j + 1)});
        }
    }
    t += ": elements\n" + std::to_string(b.tris.size()) + "\nelement nodes\n";
    for (std::size_t e = 0; e < b.tris.size(); ++e)
        t += std::to_string(e + 1) + " " + std::to_string(b.tris[e][0]) + " " + std::to_string(b.tris[e][1]) + " " +
             std::to_string(b.tris[e][2]) + "\n";
    std::vector<std::string> supports;
    for (int j = 0; j <= n; ++j) {
        for (int i = 0; i <= n; ++i) {
            if (j == 0) {
                supports.push_back(std::to_string(id(i, j)) + " 1 0");
                supports.push_back(std::to_string(id(i, j)) + " 2 0");
            } else if (j == n) {
                supports.push_back(std::to_string(id(i, j)) + " 2 " + number_text(-press * n));
            }
            supports.push_back(std::to_string(id(i, j)) + " 3 0");
        }
    }
    t += ": supports\n" + std::to_string(supports.size()) + "\nnode dir value\n";
    for (const std::string& s : supports) t += s + "\n";
    t += ": loads\n0\n";
    b.input = t;
    return b;
}

// Elements whose signed area changed sign, from the printed displacements:
// the count and the first of them.
std::pair<int, int> folded_elements(const block& b, const report& r) {
    std::vector<double> cx(b.x.size()), cy(b.y.size());
    for (const std::string& row : r.displacement_rows) {
        const std::size_t k = static_cast<std::size_t>(first_column(row) - 1);
        cx[k] = b.x[k] + displacement_field(row, 1);
        cy[k] = b.y[k] + displacement_field(row, 2);
    }
    const auto signed_area = [](const std::vector<double>& x, const std::vector<double>& y,
                                const std::array<int, 3>& t) {
        const std::size_t p = static_cast<std::size_t>(t[0] - 1), q = static_cast<std::size_t>(t[1] - 1),
                          s = static_cast<std::size_t>(t[2] - 1);
        return (x[q] - x[p]) * (y[s] - y[p]) - (y[q] - y[p]) * (x[s] - x[p]);
    };
    int count = 0, first = 0;
    for (std::size_t e = 0; e < b.tris.size(); ++e) {
        if (signed_area(b.x, b.y, b.tris[e]) * signed_area(cx, cy, b.tris[e]) < 0) {
            if (count++ == 0) first = static_cast<int>(e + 1);
        }
    }
    return {count, first};
}

TEST(turned_over_warning, folded_block_is_reported_after_the_verdict) {
    const block b = pressed_block(1.0, 10.0);
    test::model_run run(b.input);
    EXPECT_EQ(run.result.status, 0);
    EXPECT_TRUE(std::regex_match(run.result.out, std::regex("\nMinor = +[0-9]+     (NOT )?Optimal\n")))
        << run.result.out;
    ASSERT_TRUE(run.dir.has("autocad.scr"));
    ASSERT_TRUE(run.dir.has("output.txt"));

    const std::vector<std::string> err = lines_of(run.result.err);
    ASSERT_EQ(err.size(), 2u) << run.result.err;
    EXPECT_EQ(run.result.err.back(), '\n');
    std::smatch m;
    ASSERT_TRUE(std::regex_match(
        err[0], m,
        std::regex("warning: ([0-9]+) elements are turned over against their initial orientation "
                   "\\(first: element ([0-9]+)\\)")))
        << err[0];
    EXPECT_FALSE(err[1].empty());

    const auto [count, first] = folded_elements(b, read_report(run.dir.read("output.txt")));
    ASSERT_GT(count, 1);
    EXPECT_EQ(std::stoi(m[1].str()), count);
    EXPECT_EQ(std::stoi(m[2].str()), first);
}

TEST(turned_over_warning, block_with_moduli_scaled_down_does_not_fold) {
    const block b = pressed_block(0.01, 0.1);
    test::model_run run(b.input);
    EXPECT_EQ(run.result.status, 0);
    EXPECT_TRUE(std::regex_match(run.result.out, std::regex("\nMinor = +[0-9]+     Optimal\n"))) << run.result.out;
    EXPECT_EQ(run.result.err, "");
    EXPECT_EQ(folded_elements(b, read_report(run.dir.read("output.txt"))).first, 0);
}

}  // namespace
