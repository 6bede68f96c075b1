// The element tangent of one triangle of the model, for the assembly of the
// Newton path and for the tests (element_tangent.hpp has the mathematics).
#include "element_tangent.hpp"

#include "element_sweep.hpp"
#include "mechanics.hpp"

namespace velmora {

void element_tangent(const model& m, int e, const fmat1& v, double k[81]) {
    const element_rec& el = m.elements(e);
    const mat_rec& mat = m.the_material();
    const sweep::context c(m, v);
    sweep::corner_values u;
    c.gather(el, u);
    const kernel::geometry<double> geo = sweep::geometry_of(el);
    if (mat.law() == material_law::neo_hookean)
        kernel::tangent<material_law::neo_hookean>(geo, u.u[0], u.u[1], u.u[2], c.neo, k);
    else
        kernel::tangent<material_law::mooney_rivlin>(geo, u.u[0], u.u[1], u.u[2], c.mr, k);
}

}  // namespace velmora
