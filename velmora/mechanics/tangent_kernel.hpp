// The tangent of the triangle element: the exact 9 x 9 Hessian of its strain
// energy with respect to the nodal displacements, ordered
// (u1x, u1y, u1z, u2x, ..., u3z), for Newton's method.
//
// The energy depends on the current edges p = A + u3 - u2, q = B + u1 - u3
// only through their metric m = (pp, pq, qq) = (p.p, p.q, q.q). With the
// initial metric G = [[aa, ab], [ab, bb]], det G = D^2, its inverse
// S = [[bb, -ab], [-ab, aa]] / D^2 and the current metric
// M = [[pp, pq], [pq, qq]], the in-plane part of C has the eigenvalues of S M:
//   i1       = tr(S M) + 1 = s11 pp + 2 s12 pq + s22 qq + 1
//   trace_c2 = tr(S M S M) + 1
//   i3       = det M / D^2 = |p x q|^2 / D^2
// (the element's trace_c2 adds terms in n that are zero whenever L > 0).
// First derivatives by m:
//   d i1       = (s11, 2 s12, s22)
//   d trace_c2 = (2 T11, 4 T12, 2 T22),  T = S M S
//   d i3       = (qq, -2 pq, pp) / D^2
// Second derivatives: none for i1; for trace_c2, 2 tr(S E_a S E_b) with E_a
// the metric's unit directions, the constant
//   2 [[s11^2, 2 s11 s12, s12^2], [2 s11 s12, 2 (s11 s22 + s12^2), 2 s12 s22],
//      [s12^2, 2 s12 s22, s22^2]];
// for i3, [[0, 0, 1], [0, -2, 0], [1, 0, 0]] / D^2.
// With W_a, W_ab the derivatives of W by (i1, trace_c2, i3) = (1, 2, 3):
//   w  = dW/dm   = sum_a W_a d I_a
//   Wm = d2W/dm2 = sum_ab W_ab d I_a d I_b^T + W_2 d2 trace_c2 + W_3 d2 i3.
// The metric in the edges, d pp = 2 p.dp, d pq = q.dp + p.dq, d qq = 2 q.dq,
// gives the 3 x 3 blocks of the Hessian in (p, q) (metric index 0, 1, 2):
//   H_pp = 4 Wm00 p p^T + 2 Wm01 (p q^T + q p^T) + Wm11 q q^T + 2 w0 I
//   H_pq = 2 Wm01 p p^T + 4 Wm02 p q^T + Wm11 q p^T + 2 Wm12 q q^T + w1 I
//   H_qq = Wm11 p p^T + 2 Wm12 (p q^T + q p^T) + 4 Wm22 q q^T + 2 w2 I
// and H_qp = H_pq^T. The nodes move the edges by d/du1 = d/dq,
// d/du2 = -d/dp, d/du3 = d/dp - d/dq, so
//   K11 = H_qq, K12 = -H_qp, K13 = H_qp - H_qq,
//   K22 = H_pp, K23 = H_pq - H_pp, K33 = H_pp + H_qq - (H_pq + H_qp),
// everything times the volume D t / 2.
//
// The laws' second derivatives, with s = i3^(1/3), J = i3^(1/2) and
// i2' = i1^2 - trace_c2 (W_12 = W_22 = 0 for both):
//   neo-Hookean    W_11 = 0, W_23 = 0, W_13 = -mu / (6 s i3),
//                  W_33 = 2 mu i1 / (9 s i3^2) + bulk / (4 J i3)
//   Mooney-Rivlin  W_11 = c01 / s^2, W_13 = -(c10 + 2 c01 i1 / s) / (3 s i3),
//                  W_23 = c01 / (3 s^2 i3),
//                  W_33 = (4 c10 i1 + 5 c01 i2' / s) / (9 s i3^2) + bulk / (4 J i3)
// and the first derivatives are the element's dw_di1, dw_dtrace_c2, dw_di3.
//
// Nothing here feeds the default run, so the order of operations is free.
#pragma once

#include "mechanics/element_kernel.hpp"
#include "mechanics/mechanics.hpp"

namespace velmora::kernel {

// W_a and W_ab by (i1, trace_c2, i3); W_12 = W_22 = 0 for both laws.
struct law_derivatives {
    double w1, w2, w3, w11, w13, w23, w33;
};

template <material_law Law>
inline law_derivatives derivatives(double i1, double trace_c2, double i3, const constants<double>& c) {
    const double s = cube_root_of_square(i3);
    const double J = square_root(i3);
    const double bulk = c.bulk;
    const double volumetric_1 = 0.5 * bulk * (1.0 - 1.0 / J);  // d/d i3 of bulk/2 (i3 - 2J)
    const double volumetric_2 = bulk / (4.0 * J * i3);         // its second derivative
    if constexpr (Law == material_law::neo_hookean) {
        const double mu = c.first;
        return {0.5 * mu / s,         0.0, volumetric_1 - mu * i1 / (6.0 * s * i3),           0.0,
                -mu / (6.0 * s * i3), 0.0, 2.0 * mu * i1 / (9.0 * s * i3 * i3) + volumetric_2};
    } else {
        const double c10 = c.first, c01 = c.second;
        const double i2 = i1 * i1 - trace_c2;  // twice the second invariant
        return {(c10 + c01 * i1 / s) / s,
                -0.5 * c01 / (s * s),
                volumetric_1 - (c01 * i2 / s + c10 * i1) / (3.0 * s * i3),
                c01 / (s * s),
                -(c10 + 2.0 * c01 * i1 / s) / (3.0 * s * i3),
                c01 / (3.0 * s * s * i3),
                (4.0 * c10 * i1 + 5.0 * c01 * i2 / s) / (9.0 * s * i3 * i3) + volumetric_2};
    }
}

// A 3 x 3 block a p p^T + b p q^T + c q p^T + d q q^T + e I, row-major.
struct edge_block {
    double a, b, c, d, e;

    void fill(const double p[3], const double q[3], double h[9]) const {
        for (int r = 0; r < 3; ++r)
            for (int s = 0; s < 3; ++s)
                h[3 * r + s] =
                    a * p[r] * p[s] + b * p[r] * q[s] + c * q[r] * p[s] + d * q[r] * q[s] + (r == s ? e : 0.0);
    }
};

template <material_law Law>
void tangent(const geometry<double>& el, const vec3<double>& u1, const vec3<double>& u2, const vec3<double>& u3,
             const constants<double>& c, double k[element_entries]) {
    const edges<double> current = current_edges(el, u1, u2, u3);
    const vec3<double>& pv = current.p;
    const vec3<double>& qv = current.q;
    const double DD = el.D * el.D;

    // Invariants from the metric; Y = S M, T = S M S.
    const double s11 = el.bb / DD, s12 = -el.ab / DD, s22 = el.aa / DD;
    const double pp = dot(pv, pv), pq = dot(pv, qv), qq = dot(qv, qv);
    const double y11 = s11 * pp + s12 * pq, y12 = s11 * pq + s12 * qq;
    const double y21 = s12 * pp + s22 * pq, y22 = s12 * pq + s22 * qq;
    const vec3<double> N = cross(pv, qv);
    const double i1 = y11 + y22 + 1.0;
    const double trace_c2 = y11 * y11 + 2.0 * y12 * y21 + y22 * y22 + 1.0;
    const double i3 = dot(N, N) / DD;
    const double t11 = y11 * s11 + y12 * s12, t12 = y11 * s12 + y12 * s22, t22 = y21 * s12 + y22 * s22;
    const law_derivatives W = derivatives<Law>(i1, trace_c2, i3, c);

    // dW/dm and d2W/dm2, times the volume.
    const double volume = 0.5 * el.D * c.thickness;
    const double d1[3] = {s11, 2.0 * s12, s22};
    const double d2[3] = {2.0 * t11, 4.0 * t12, 2.0 * t22};
    const double d3[3] = {qq / DD, -2.0 * pq / DD, pp / DD};
    const double h2[3][3] = {{2.0 * s11 * s11, 4.0 * s11 * s12, 2.0 * s12 * s12},
                             {4.0 * s11 * s12, 4.0 * (s11 * s22 + s12 * s12), 4.0 * s12 * s22},
                             {2.0 * s12 * s12, 4.0 * s12 * s22, 2.0 * s22 * s22}};
    const double h3[3][3] = {{0.0, 0.0, 1.0 / DD}, {0.0, -2.0 / DD, 0.0}, {1.0 / DD, 0.0, 0.0}};
    double w[3], wm[3][3];
    for (int a = 0; a < 3; ++a) {
        w[a] = volume * (W.w1 * d1[a] + W.w2 * d2[a] + W.w3 * d3[a]);
        for (int b = a; b < 3; ++b) {
            wm[a][b] = volume * (W.w11 * d1[a] * d1[b] + W.w13 * (d1[a] * d3[b] + d3[a] * d1[b]) +
                                 W.w23 * (d2[a] * d3[b] + d3[a] * d2[b]) + W.w33 * d3[a] * d3[b] + W.w2 * h2[a][b] +
                                 W.w3 * h3[a][b]);
            wm[b][a] = wm[a][b];
        }
    }

    // The Hessian in the edges, then in the nodes.
    const double p[3] = {pv.x, pv.y, pv.z}, q[3] = {qv.x, qv.y, qv.z};
    double hpp[9], hpq[9], hqq[9];
    edge_block{4.0 * wm[0][0], 2.0 * wm[0][1], 2.0 * wm[0][1], wm[1][1], 2.0 * w[0]}.fill(p, q, hpp);
    edge_block{2.0 * wm[0][1], 4.0 * wm[0][2], wm[1][1], 2.0 * wm[1][2], w[1]}.fill(p, q, hpq);
    edge_block{wm[1][1], 2.0 * wm[1][2], 2.0 * wm[1][2], 4.0 * wm[2][2], 2.0 * w[2]}.fill(p, q, hqq);
    // Block (i, j) at rows 3 i + r, columns 3 j + s; (j, i) is its transpose.
    const auto put = [k](int i, int j, int r, int s, double v) {
        k[element_directions * (3 * i + r) + 3 * j + s] = v;
        k[element_directions * (3 * j + s) + 3 * i + r] = v;
    };
    for (int r = 0; r < 3; ++r)
        for (int s = 0; s < 3; ++s) {
            const int rs = 3 * r + s, sr = 3 * s + r;
            put(0, 1, r, s, -hpq[sr]);
            put(0, 2, r, s, hpq[sr] - hqq[rs]);
            put(1, 2, r, s, hpq[rs] - hpp[rs]);
            if (s < r) continue;
            put(0, 0, r, s, hqq[rs]);
            put(1, 1, r, s, hpp[rs]);
            put(2, 2, r, s, hpp[rs] + hqq[rs] - (hpq[rs] + hpq[sr]));
        }
}

}  // namespace velmora::kernel
