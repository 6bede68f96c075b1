// The element tangent of one triangle of the model, for the assembly of the
// Newton path and for the tests (tangent_kernel.hpp has the mathematics).
#include "mechanics/element_gather.hpp"
#include "mechanics/mechanics.hpp"
#include "mechanics/tangent_kernel.hpp"

namespace velmora {

void element_tangent(const model& m, int e, const fmat1& v, double k[element_entries]) {
    with_element(m, e, v,
                 [k]<material_law Law>(const kernel::geometry<double>& geo, const corners& u,
                                       const kernel::constants<double>& c) {
                     kernel::tangent<Law>(geo, u.u[0], u.u[1], u.u[2], c, k);
                 });
}

}  // namespace velmora
