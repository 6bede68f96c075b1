// The constant-strain triangle in plane strain, for both material laws.
//
// Every formula is evaluated in the order it is written, left to right, so
// that results are the same bit for bit on every machine: a dot product sums
// x, y, z in that order, v^2 is v*v, and no division is replaced by a
// multiplication with a stored reciprocal.
#include <cmath>

#include "mechanics.hpp"

namespace velmora {

namespace {

constexpr double third = 1.0 / 3.0;  // the double nearest 1/3: s = i3^third = J^(2/3)

struct vec3 {
    double x, y, z;
};

double dot(const vec3& u, const vec3& v) { return u.x * v.x + u.y * v.y + u.z * v.z; }

vec3 cross(const vec3& u, const vec3& v) {
    return {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
}

}  // namespace

element_result element2(const model& m, int e, const fmat1& v, nodal_force& f) {
    const element_rec& el = m.elements(e);
    const mat_rec& mat = m.the_material();
    const double t = m.thickness;
    const double D = el.twice_area;

    // 1. Nodal displacements: free directions from v, prescribed ones from
    //    the model.
    const int* dof = m.dof_number.data();
    const double* prescribed = m.prescribed.data();
    const double* free = v.data();
    vec3 u[3];
    for (int k = 0; k < 3; ++k) {
        const int node = el.node.component[k];
        double c[3];
        for (int d = 0; d < 3; ++d) {
            const std::size_t at = static_cast<std::size_t>(node - 1) * 3 + static_cast<std::size_t>(d);
            const int number = dof[at];
            c[d] = number > m.dof_count ? prescribed[at] : free[number - 1];
        }
        u[k] = {c[0], c[1], c[2]};
    }
    const vec3& u1 = u[0];
    const vec3& u2 = u[1];
    const vec3& u3 = u[2];
    const vec3 A{el.a.component[0], el.a.component[1], el.a.component[2]};
    const vec3 B{el.b.component[0], el.b.component[1], el.b.component[2]};

    // 2. Current edges p = A + u3 - u2, q = B + u1 - u3.
    const vec3 p{A.x + u3.x - u2.x, A.y + u3.y - u2.y, A.z + u3.z - u2.z};
    const vec3 q{B.x + u1.x - u3.x, B.y + u1.y - u3.y, B.z + u1.z - u3.z};

    // 3. Current normal N = p x q, L = |N| (twice the current area), n = N / L.
    const vec3 N = cross(p, q);
    const double L = std::sqrt(N.x * N.x + N.y * N.y + N.z * N.z);
    const vec3 n{N.x / L, N.y / L, N.z / L};

    // 4. Dual edges, carrying the inverse of the initial metric.
    const double aa = el.aa, ab = el.ab, bb = el.bb;
    const vec3 g1{aa * q.x - ab * p.x, aa * q.y - ab * p.y, aa * q.z - ab * p.z};
    const vec3 g2{ab * q.x - bb * p.x, ab * q.y - bb * p.y, ab * q.z - bb * p.z};

    // 5. Invariants of C = F^T F, the thickness stretch being 1.
    //    i1 = (g1.q - g2.p) / D^2 + 1
    //    trace_c2 = [(p^2 g2^2 - 2 (p.q)(g1.g2) + q^2 g1^2) / D^2
    //                + 2 ((g1.n)(q.n) - (g2.n)(p.n))] / D^2 + 1
    double J = L / D;
    const double i3 = J * J;
    const double DD = D * D;
    const double i1 = (dot(g1, q) - dot(g2, p)) / DD + 1;
    const double pp = dot(p, p), qq = dot(q, q), pq = dot(p, q);
    const double g1g1 = dot(g1, g1), g2g2 = dot(g2, g2), g1g2 = dot(g1, g2);
    const double g1n = dot(g1, n), g2n = dot(g2, n);
    const double trace_c2 =
        ((pp * g2g2 - 2 * pq * g1g2 + qq * g1g1) / DD + 2 * (g1n * dot(q, n) - g2n * dot(p, n))) / DD + 1;

    // 6. Strain-energy density and its derivatives, with s = i3^(1/3) = J^(2/3)
    //    and J recomputed from i3.
    const double s = std::pow(i3, third);
    J = std::sqrt(i3);
    const double bulk = mat.bulk();
    double W, dw_di1, dw_dtrace_c2, dw_di3;
    if (mat.law() == material_law::neo_hookean) {
        // W = mu/2 i1/s + bulk/2 (i3 - 2J)
        const double mu = mat.mu();
        W = 0.5 * mu * i1 / s + 0.5 * bulk * (i3 - 2 * J);
        dw_di1 = 0.5 * mu / s;
        dw_dtrace_c2 = 0;
        dw_di3 = 0.5 * (bulk * (1 - 1 / J) - mu * i1 / (3 * s * i3));
    } else {
        // W = (c10 i1 + c01/2 (i1^2 - trace_c2)/s)/s + bulk/2 (i3 - 2J)
        const double c10 = mat.c10();
        const double c01 = mat.c01();
        W = (c10 * i1 + 0.5 * c01 * (i1 * i1 - trace_c2) / s) / s + 0.5 * bulk * (i3 - 2 * J);
        dw_di1 = (c10 + c01 * i1 / s) / s;
        dw_dtrace_c2 = -0.5 * c01 / (s * s);
        dw_di3 = 0.5 * bulk * (1 - 1 / J) - (c01 * (i1 * i1 - trace_c2) / s + c10 * i1) / (3 * s * i3);
    }

    // 7. Energy: W times the initial area D/2 times the thickness.
    const double strain_energy = W * D * t * 0.5;

    // 8. Nodal forces, the chain rule through i1, trace_c2 and i3:
    //    d i1/d u1 = 2 g1/D^2, d i3/d u1 = 2 J (n x p)/D; g2 and n x q for node 2.
    const double c1 = dw_di1 / D;
    const double c2 = 2 * dw_dtrace_c2 / D;
    const double c3 = dw_di3 * J;
    const vec3 np = cross(n, p);
    const vec3 nq = cross(n, q);
    const double gn[3] = {n.x, n.y, n.z};
    const double G1[3] = {g1.x, g1.y, g1.z}, G2[3] = {g2.x, g2.y, g2.z};
    const double P[3] = {p.x, p.y, p.z}, Q[3] = {q.x, q.y, q.z};
    const double NP[3] = {np.x, np.y, np.z}, NQ[3] = {nq.x, nq.y, nq.z};
    for (int d = 0; d < 3; ++d) {
        const double row1 = t * (c1 * G1[d] + c2 * (g1n * gn[d] + (g1g1 * Q[d] - g1g2 * P[d]) / DD) + c3 * NP[d]);
        const double row2 = t * (c1 * G2[d] + c2 * (g2n * gn[d] + (g1g2 * Q[d] - g2g2 * P[d]) / DD) + c3 * NQ[d]);
        f.component[0].component[d] = row1;
        f.component[1].component[d] = row2;
        f.component[2].component[d] = -(row1 + row2);
    }

    return {strain_energy, i1, trace_c2, i3, dw_di1, dw_dtrace_c2, dw_di3};
}

turned_over count_turned_over(const model& m, const fmat1& v) {
    turned_over result;
    const int* dof = m.dof_number.data();
    const double* prescribed = m.prescribed.data();
    for (int e = 1; e <= m.element_count(); ++e) {
        const element_rec& el = m.elements(e);
        vec3 u[3];
        for (int k = 0; k < 3; ++k) {
            double c[3];
            for (int d = 0; d < 3; ++d) {
                const std::size_t at =
                    static_cast<std::size_t>(el.node.component[k] - 1) * 3 + static_cast<std::size_t>(d);
                const int number = dof[at];
                c[d] = number > m.dof_count ? prescribed[at] : v.data()[number - 1];
            }
            u[k] = {c[0], c[1], c[2]};
        }
        const vec3 A{el.a.component[0], el.a.component[1], el.a.component[2]};
        const vec3 B{el.b.component[0], el.b.component[1], el.b.component[2]};
        const vec3 p{A.x + u[2].x - u[1].x, A.y + u[2].y - u[1].y, A.z + u[2].z - u[1].z};
        const vec3 q{B.x + u[0].x - u[2].x, B.y + u[0].y - u[2].y, B.z + u[0].z - u[2].z};
        if (dot(cross(p, q), cross(A, B)) < 0) {
            if (result.count == 0) result.first = e;
            ++result.count;
        }
    }
    return result;
}

}  // namespace velmora
