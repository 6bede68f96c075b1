// "output.txt", the report: a summary box, the nodal displacements, the
// principal stresses of every element and the support reactions.
#include <cmath>

#include "mechanics/mechanics.hpp"
#include "mechanics/stresses.hpp"
#include "model/steps.hpp"
#include "write/text_file.hpp"

namespace velmora {

namespace {

constexpr int wide_rule = 65;             // summary box and displacement table
constexpr int narrow_rule = 59;           // stress and reaction tables
constexpr int number_width = 5;           // node and element numbers
constexpr int count_width = 15;           // the iteration count in the box
constexpr int gap = 5;                    // blanks between columns
constexpr int skipped_column = gap + 13;  // blanks for a reaction not reported
constexpr int fore = 2, exp_width = 3;
constexpr int box_aft = 8, displacement_aft = 8, stress_aft = 6;
constexpr double initial_maximum = -1.0E20;  // running maximum of sigma1
constexpr double initial_minimum = 1.0E20;   // running minimum of sigma2

void rule(text_file& f, int width) {
    f.put_repeat('-', width);
    f.new_line();
}

void line(text_file& f, std::string_view text) {
    f.put(text);
    f.new_line();
}

}  // namespace

void output(model& m, const std::string& directory) {
    text_file f("output.txt", directory);

    rule(f, wide_rule);
    f.put("| Minor Iterations                            | ");
    f.put_integer(m.iterations, count_width);
    line(f, " |");
    f.put("| Total Potential Energy                      | ");
    f.put_real(m.energy, fore, box_aft, exp_width);
    line(f, " |");
    f.put("| Allowable Maximum Residue                   | ");
    f.put_real(m.allowable_residue, fore, box_aft, exp_width);
    line(f, " |");
    rule(f, wide_rule);
    f.new_line();
    f.new_line();

    rule(f, wide_rule);
    line(f, " Node             Displ X             Displ Y             Displ Z");
    rule(f, wide_rule);
    for (int n = 1; n <= m.node_count; ++n) {
        f.put_integer(n, number_width);
        for (int j = 1; j <= 3; ++j) {
            const int k = m.dof_number(n, j);
            f.put_repeat(' ', gap);
            f.put_real(k > m.dof_count ? m.prescribed(n, j) : m.displacement(k), fore, displacement_aft, exp_width);
        }
        f.new_line();
    }
    f.new_line();
    f.new_line();

    // The residual starts as the negated applied forces and gathers every
    // element's internal nodal forces; it lives in force from here on.
    fmat2& residual = m.force;
    for (int n = 1; n <= m.node_count; ++n)
        for (int j = 1; j <= 3; ++j) residual(n, j) = -m.force(n, j);

    rule(f, narrow_rule);
    line(f, " Elem            Sigma1            Sigma2            Sigma3");
    rule(f, narrow_rule);
    double largest = initial_maximum;
    double smallest = initial_minimum;
    nodal_force forces;
    for (int e = 1; e <= m.element_count(); ++e) {
        const element_result r = element2(m, e, m.displacement, forces);
        const principal_stresses s = stresses(r);
        if (s.sigma1 > largest) largest = s.sigma1;
        if (s.sigma2 < smallest) smallest = s.sigma2;
        f.put_integer(e, number_width);
        for (double sigma : {s.sigma1, s.sigma2, s.sigma3}) {
            f.put_repeat(' ', gap);
            f.put_real(sigma, fore, stress_aft, exp_width);
        }
        f.new_line();
        add_nodal_forces(m, e, forces, residual);
    }
    rule(f, narrow_rule);
    f.put("Max/Min   ");
    f.put_real(largest, fore, stress_aft, exp_width);
    f.put_repeat(' ', gap);
    f.put_real(smallest, fore, stress_aft, exp_width);
    f.new_line();
    f.new_line();
    f.new_line();

    // Reactions: prescribed directions whose residual exceeds the allowable
    // residue; a row ends after its last reported direction.
    rule(f, narrow_rule);
    line(f, " Node           Force X           Force Y           Force Z");
    rule(f, narrow_rule);
    for (int n = 1; n <= m.node_count; ++n) {
        bool reported[3];
        int last = 0;
        for (int j = 1; j <= 3; ++j) {
            reported[j - 1] = m.is_prescribed(n, j) && std::fabs(residual(n, j)) > m.allowable_residue;
            if (reported[j - 1]) last = j;
        }
        if (last == 0) continue;
        f.put_integer(n, number_width);
        for (int j = 1; j <= last; ++j) {
            if (reported[j - 1]) {
                f.put_repeat(' ', gap);
                f.put_real(residual(n, j), fore, stress_aft, exp_width);
            } else {
                f.put_repeat(' ', skipped_column);
            }
        }
        f.new_line();
    }
    f.close();
}

}  // namespace velmora
