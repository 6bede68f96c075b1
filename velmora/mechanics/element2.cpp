// The constant-strain triangle in plane strain, for both material laws: one
// element at a time, for the report and the tests. The objective sweeps the
// elements with the same arithmetic (element_kernel.hpp).
#include "mechanics/element_gather.hpp"
#include "mechanics/mechanics.hpp"

namespace velmora {

element_result element2(const model& m, int e, const fmat1& v, nodal_force& f) {
    const kernel::results<double> r =
        with_element(m, e, v,
                     []<material_law Law>(const kernel::geometry<double>& geo, const corners& u,
                                          const kernel::constants<double>& c) {
                         return kernel::evaluate<double, Law>(geo, u.u[0], u.u[1], u.u[2], c);
                     });
    const double row1[3] = {r.row1.x, r.row1.y, r.row1.z};
    const double row2[3] = {r.row2.x, r.row2.y, r.row2.z};
    for (int d = 0; d < 3; ++d) {
        f.component[0].component[d] = row1[d];
        f.component[1].component[d] = row2[d];
        f.component[2].component[d] = -(row1[d] + row2[d]);
    }
    return {r.strain_energy, r.i1, r.trace_c2, r.i3, r.dw_di1, r.dw_dtrace_c2, r.dw_di3};
}

}  // namespace velmora
