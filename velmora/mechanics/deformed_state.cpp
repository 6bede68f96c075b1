// The deformed state at a point of the minimisation: where each node is,
// which elements are turned over against their initial orientation, and
// the forces out of balance at each node.
#include "mechanics/element_gather.hpp"
#include "mechanics/mechanics.hpp"

namespace velmora {

// The deformed position of node n: initial coordinate plus displacement,
// the free one from the solution, the prescribed one from the model.
void vertex(const model& m, int n, double p[3]) {
    const double initial[3] = {m.x(n), m.y(n), m.z(n)};
    for (int j = 1; j <= 3; ++j) {
        const int k = m.dof_number(n, j);
        const double u = k > m.dof_count ? m.prescribed(n, j) : m.displacement(k);
        p[j - 1] = initial[j - 1] + u;
    }
}

turned_over count_turned_over(const model& m, const fmat1& v) {
    turned_over result;
    const corner_gather c(m, v);
    corners u;
    for (int e = 1; e <= m.element_count(); ++e) {
        const element_rec& el = m.elements(e);
        c.gather(el, u);
        const kernel::geometry<double> g = geometry_of(el);
        const kernel::edges<double> current = kernel::current_edges(g, u.u[0], u.u[1], u.u[2]);
        if (kernel::dot(kernel::cross(current.p, current.q), kernel::cross(g.A, g.B)) < 0) {
            if (result.count == 0) result.first = e;
            ++result.count;
        }
    }
    return result;
}

void add_nodal_forces(const model& m, int e, const nodal_force& f, fmat2& r) {
    const element_rec& el = m.elements(e);
    for (int k = 1; k <= 3; ++k)
        for (int j = 1; j <= 3; ++j) r(el.node(k), j) = f(k)(j) + r(el.node(k), j);
}

void nodal_residuals(const model& m, const fmat1& v, fmat2& r) {
    for (int n = 1; n <= m.node_count; ++n)
        for (int j = 1; j <= 3; ++j) r(n, j) = -m.force(n, j);
    nodal_force forces;
    for (int e = 1; e <= m.element_count(); ++e) {
        element2(m, e, v, forces);
        add_nodal_forces(m, e, forces, r);
    }
}

}  // namespace velmora
