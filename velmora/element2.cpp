// The constant-strain triangle in plane strain, for both material laws: one
// element at a time, for the report and the tests. The objective sweeps the
// elements with the same arithmetic (element_kernel.hpp).
#include "element_sweep.hpp"
#include "mechanics.hpp"

namespace velmora {

element_result element2(const model& m, int e, const fmat1& v, nodal_force& f) {
    const element_rec& el = m.elements(e);
    const mat_rec& mat = m.the_material();
    const sweep::context c(m, v);
    sweep::corner_values u;
    c.gather(el, u);
    const kernel::geometry<double> geo = sweep::geometry_of(el);
    const kernel::results<double> r =
        mat.law() == material_law::neo_hookean
            ? kernel::evaluate<double, material_law::neo_hookean>(geo, u.u[0], u.u[1], u.u[2], c.neo)
            : kernel::evaluate<double, material_law::mooney_rivlin>(geo, u.u[0], u.u[1], u.u[2], c.mr);
    const double row1[3] = {r.row1.x, r.row1.y, r.row1.z};
    const double row2[3] = {r.row2.x, r.row2.y, r.row2.z};
    for (int d = 0; d < 3; ++d) {
        f.component[0].component[d] = row1[d];
        f.component[1].component[d] = row2[d];
        f.component[2].component[d] = -(row1[d] + row2[d]);
    }
    return {r.strain_energy, r.i1, r.trace_c2, r.i3, r.dw_di1, r.dw_dtrace_c2, r.dw_di3};
}

turned_over count_turned_over(const model& m, const fmat1& v) {
    turned_over result;
    const sweep::context c(m, v);
    sweep::corner_values u;
    for (int e = 1; e <= m.element_count(); ++e) {
        const element_rec& el = m.elements(e);
        c.gather(el, u);
        const kernel::geometry<double> g = sweep::geometry_of(el);
        const kernel::vec3<double> p{g.A.x + u.u[2].x - u.u[1].x, g.A.y + u.u[2].y - u.u[1].y,
                                     g.A.z + u.u[2].z - u.u[1].z};
        const kernel::vec3<double> q{g.B.x + u.u[0].x - u.u[2].x, g.B.y + u.u[0].y - u.u[2].y,
                                     g.B.z + u.u[0].z - u.u[2].z};
        if (kernel::dot(kernel::cross(p, q), kernel::cross(g.A, g.B)) < 0) {
            if (result.count == 0) result.first = e;
            ++result.count;
        }
    }
    return result;
}

}  // namespace velmora
