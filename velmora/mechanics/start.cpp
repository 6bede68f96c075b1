// Problem set-up: element geometry, degree-of-freedom numbering, the zero
// start point and the allowable residue of the stopping test.
#include <cmath>

#include "mechanics/mechanics.hpp"
#include "model/steps.hpp"
#include "nlp.hpp"

namespace velmora {

namespace {

// a = P3 - P2, b = P1 - P3, their dot products and |a x b|, twice the area.
void element_geometry(model& m, int e) {
    element_rec& el = m.elements(e);
    for (int k = 1; k <= 3; ++k) {
        const int node = el.node(k);
        if (node < 1 || node > m.node_count)
            throw failure(range_error, "element " + std::to_string(e) + ": node number " + std::to_string(node) +
                                           " of corner " + std::to_string(k) + " outside 1.." +
                                           std::to_string(m.node_count));
    }
    const int k1 = el.node(1), k2 = el.node(2), k3 = el.node(3);
    const double P1[3] = {m.x(k1), m.y(k1), m.z(k1)};
    const double P2[3] = {m.x(k2), m.y(k2), m.z(k2)};
    const double P3[3] = {m.x(k3), m.y(k3), m.z(k3)};
    for (int j = 0; j < 3; ++j) el.a.component[j] = P3[j] - P2[j];
    for (int j = 0; j < 3; ++j) el.b.component[j] = P1[j] - P3[j];
    const double* a = el.a.component;
    const double* b = el.b.component;
    double aa = 0, ab = 0, bb = 0;
    for (int j = 0; j < 3; ++j) aa = aa + a[j] * a[j];
    for (int j = 0; j < 3; ++j) ab = ab + b[j] * a[j];
    for (int j = 0; j < 3; ++j) bb = bb + b[j] * b[j];
    el.aa = aa;
    el.ab = ab;
    el.bb = bb;
    const double c[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    double cc = 0;
    for (int j = 0; j < 3; ++j) cc = cc + c[j] * c[j];
    el.twice_area = std::sqrt(cc);

    // A triangle without area would make every energy and force of the
    // model NaN; refuse it here, before any output is written.
    if (!(el.twice_area > 0) || !std::isfinite(el.twice_area)) {
        const std::string corners =
            "(nodes " + std::to_string(k1) + ", " + std::to_string(k2) + ", " + std::to_string(k3) + ")";
        if (std::isfinite(el.twice_area))
            throw failure(geometry_error, "element " + std::to_string(e) + " has zero area: its corners " + corners +
                                              " are collinear or coincide");
        // Coordinates so large that the area overflows, or not numbers.
        throw failure(geometry_error, "element " + std::to_string(e) + " has no finite area: the area of its corners " +
                                          corners + " is not a finite number");
    }
}

}  // namespace

void start(model& m) {
    for (int e = 1; e <= m.element_count(); ++e) element_geometry(m, e);

    // Free directions are numbered 1..dof_count node by node, prescribed
    // ones above them in the same order.
    int free_count = 0;
    for (int i = 1; i <= m.node_count; ++i)
        for (int d = 1; d <= 3; ++d)
            if (m.dof_number(i, d) == 0) ++free_count;
    m.dof_count = free_count;
    int free = 0, fixed = free_count;
    for (int i = 1; i <= m.node_count; ++i)
        for (int d = 1; d <= 3; ++d) m.dof_number(i, d) = m.dof_number(i, d) == 0 ? ++free : ++fixed;

    m.displacement = fmat1(m.dof_count);
    m.displacement.fill(0.0);
    m.gradient = fmat1(m.dof_count);
    m.gradient.fill(0.0);

    if (m.reference_residue > 0) {
        m.allowable_residue = m.reference_residue * m.tolerance;
    } else {
        m.energy = objective{&m}(m.dof_count, m.displacement, m.gradient);
        m.allowable_residue = nlp::norm(m.dof_count, m.gradient) * m.tolerance;
    }
}

}  // namespace velmora
