// The rows of the load path. See load_path.hpp.
#include "newton/load_path.hpp"

#include "mechanics/mechanics.hpp"

namespace velmora {

void load_path::record(const model& m, const nlp::equilibrium_report& r) {
    load_path_row row{r.increment, r.load, r.iterations, r.energy, r.residue, {}, {}};
    fmat2 residual(m.node_count, 3);
    nodal_residuals(m, m.displacement, residual);
    bool moving = false;
    for (int n = 1; n <= m.node_count; ++n)
        for (int d = 1; d <= 3; ++d) moving = moving || (m.is_prescribed(n, d) && m.prescribed(n, d) != 0);
    for (int n = 1; n <= m.node_count; ++n)
        for (int d = 1; d <= 3; ++d)
            if (m.is_prescribed(n, d) && (!moving || m.prescribed(n, d) != 0))
                row.reaction[static_cast<std::size_t>(d - 1)] += residual(n, d);
    for (const int n : follow)
        for (int d = 1; d <= 3; ++d) {
            const int k = m.dof_number(n, d);
            row.followed.push_back(k > m.dof_count ? m.prescribed(n, d) : m.displacement(k));
        }
    rows.push_back(std::move(row));
}

}  // namespace velmora
