// The total potential energy over the free degrees of freedom:
//   Pi = sum over elements of strain_energy - sum over free directions of force * x
// and its gradient, the out-of-balance force at each free direction.
//
// This is the inner loop of the program. The elements are evaluated two at
// a time, one per lane of a vector (element_kernel.hpp), and their energies
// and forces are then added in element order, so the sums are the same as
// element by element.
#include "mechanics/element_gather.hpp"
#include "mechanics/mechanics.hpp"

namespace velmora {

namespace {

using kernel::pair;

kernel::vec3<pair> lanes(const kernel::vec3<double>& a, const kernel::vec3<double>& b) {
    return {pair{a.x, b.x}, pair{a.y, b.y}, pair{a.z, b.z}};
}

kernel::geometry<pair> lanes(const kernel::geometry<double>& a, const kernel::geometry<double>& b) {
    return {lanes(a.A, b.A), lanes(a.B, b.B), pair{a.aa, b.aa}, pair{a.ab, b.ab}, pair{a.bb, b.bb}, pair{a.D, b.D}};
}

kernel::constants<pair> lanes(const kernel::constants<double>& c) {
    return {pair{c.first, c.first}, pair{c.second, c.second}, pair{c.bulk, c.bulk}, pair{c.thickness, c.thickness}};
}

// Adds one element's nodal forces into g: rows 1 and 2 as computed, row 3
// their negated sum, for the free directions among its corners.
[[gnu::always_inline]] inline void scatter(const corners& c, const double row1[3], const double row2[3], int n,
                                           double* g) {
    double rows[3][3];
    for (int d = 0; d < 3; ++d) {
        rows[0][d] = row1[d];
        rows[1][d] = row2[d];
        rows[2][d] = -(row1[d] + row2[d]);
    }
    for (int j = 0; j < 3; ++j)
        for (int d = 0; d < 3; ++d) {
            const int k = c.number[3 * j + d];
            if (k <= n) g[k - 1] = g[k - 1] + rows[j][d];
        }
}

template <material_law Law>
double element_sweep(const model& md, int n, const fmat1& x, double* g, const kernel::constants<double>& c,
                     double total) {
    const corner_gather ctx(md, x);
    const kernel::constants<pair> c2 = lanes(c);
    const element_rec* el = md.elements.data();
    const int elements = md.element_count();
    corners u0, u1;
    int e = 0;
    for (; e + 1 < elements; e += 2) {
        ctx.gather(el[e], u0);
        ctx.gather(el[e + 1], u1);
        const kernel::results<pair> r =
            kernel::evaluate<pair, Law>(lanes(geometry_of(el[e]), geometry_of(el[e + 1])), lanes(u0.u[0], u1.u[0]),
                                        lanes(u0.u[1], u1.u[1]), lanes(u0.u[2], u1.u[2]), c2);
        total = total + r.strain_energy[0];
        const double a1[3] = {r.row1.x[0], r.row1.y[0], r.row1.z[0]};
        const double a2[3] = {r.row2.x[0], r.row2.y[0], r.row2.z[0]};
        scatter(u0, a1, a2, n, g);
        total = total + r.strain_energy[1];
        const double b1[3] = {r.row1.x[1], r.row1.y[1], r.row1.z[1]};
        const double b2[3] = {r.row2.x[1], r.row2.y[1], r.row2.z[1]};
        scatter(u1, b1, b2, n, g);
    }
    if (e < elements) {
        ctx.gather(el[e], u0);
        const kernel::results<double> r =
            kernel::evaluate<double, Law>(geometry_of(el[e]), u0.u[0], u0.u[1], u0.u[2], c);
        total = total + r.strain_energy;
        const double a1[3] = {r.row1.x, r.row1.y, r.row1.z};
        const double a2[3] = {r.row2.x, r.row2.y, r.row2.z};
        scatter(u0, a1, a2, n, g);
    }
    return total;
}

}  // namespace

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

    if (md.element_count() == 0) return total;
    const mat_rec& mat = md.the_material();
    const corner_gather ctx(md, x);
    if (mat.law() == material_law::neo_hookean)
        return element_sweep<material_law::neo_hookean>(md, n, x, gv, ctx.neo, total);
    return element_sweep<material_law::mooney_rivlin>(md, n, x, gv, ctx.mr, total);
}

}  // namespace velmora
