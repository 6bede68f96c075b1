// The total potential energy over the free degrees of freedom:
//   Pi = sum over elements of strain_energy - sum over free directions of force * x
// and its gradient, the out-of-balance force at each free direction.
#include "mechanics.hpp"

namespace velmora {

double objective::operator()(int n, const fmat1& x, fmat1& g) const {
    const model& md = *m;
    double total = 0;

    // Applied loads: every free direction has exactly one (node, direction),
    // so this pass writes every entry of g.
    const int* dof = md.dof_number.data();
    const double* force = md.force.data();
    const double* xv = x.data();
    double* gv = g.data();
    const std::size_t directions = static_cast<std::size_t>(md.node_count > 0 ? md.node_count : 0) * 3;
    for (std::size_t at = 0; at < directions; ++at) {
        const int k = dof[at];
        if (k <= n) {
            total = total - xv[k - 1] * force[at];
            gv[k - 1] = -force[at];
        }
    }

    // Elements, in index order: energy into the total, nodal forces into g.
    element_result r;
    nodal_force f;
    const int elements = md.element_count();
    for (int e = 1; e <= elements; ++e) {
        r = element2(md, e, x, f);
        total = total + r.strain_energy;
        const element_rec& el = md.elements(e);
        for (int j = 0; j < 3; ++j) {
            const std::size_t base = static_cast<std::size_t>(el.node.component[j] - 1) * 3;
            for (int d = 0; d < 3; ++d) {
                const int k = dof[base + static_cast<std::size_t>(d)];
                if (k <= n) gv[k - 1] = gv[k - 1] + f.component[j].component[d];
            }
        }
    }
    return total;
}

}  // namespace velmora
