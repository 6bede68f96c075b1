// Principal Cauchy stresses of an element from its invariants and the
// derivatives of its strain-energy density, for the report. Inline, since
// the report evaluates it once per element in its inner loop.
#pragma once

#include <cmath>

#include "mechanics/mechanics.hpp"

namespace velmora {

namespace detail {

// The in-plane root of smaller magnitude, q / big, where big = p +- sqrt(d)
// is the root of larger magnitude. In exact arithmetic |q / big| <= |big|.
// For an element almost free of in-plane stress (an undeformed one) p, d
// and q are rounding noise, and q / big is noise divided by noise: with
// Mooney-Rivlin constants 0.4, 0.1 and bulk 50 an undeformed triangle gave
// -4. Such a quotient is capped at |big|, keeping its sign; big = 0 (no
// in-plane stress at all) gives 0 instead of 0/0. A NaN passes through.
inline double smaller_root(double q, double big) {
    if (big == 0) return 0.0;
    const double root = q / big;
    if (std::fabs(root) > std::fabs(big)) return std::copysign(std::fabs(big), root);
    return root;
}

}  // namespace detail

// sigma3 = 2 (W3 I3 + 2 W2 + W1) / J across the plane, T the trace of the
// Cauchy stress, p the mean and d the squared radius of Mohr's circle in the
// plane, q the product of the two in-plane principal stresses (q = p^2 - d).
inline principal_stresses stresses(const element_result& r) {
    const double I1 = r.i1, K = r.trace_c2, I3 = r.i3;
    const double W1 = r.dw_di1, W2 = r.dw_dtrace_c2, W3 = r.dw_di3;
    const double J = std::sqrt(I3);
    const double sigma3 = 2 * (W3 * I3 + 2 * W2 + W1) / J;
    const double T = 2 * (2 * W2 * K + I1 * W1 + 3 * W3 * I3) / J;
    const double p = (T - sigma3) * 0.5;
    const double M = 2 * K - I1 * I1;
    const double N = I1 * I1 - K;
    double d = (W1 * W1 / I3) * M + (6 * I3 + M * I1) * (4 * W1 * W2 / I3) - 2 * W1 * W3 * I1 +
               (M * I1 + 8 * I3) * (4 * (W2 * W2) / I3) * I1 - 4 * W2 * W3 * K - 3 * (W3 * W3) * I3 +
               0.5 * sigma3 * (T - 1.5 * sigma3);
    const double q = 16 * W2 * W3 * K + (N * N - 8 * I1 * I3) * (4 * (W2 * W2) / I3) + 8 * W1 * W3 * I1 +
                     (I1 * N - 6 * I3) * (4 * W1 * W2 / I3) + (2 * (W1 * W1) / I3) * N + 12 * (W3 * W3) * I3 +
                     sigma3 * (sigma3 - T);
    // d >= 0 in exact arithmetic; rounding can push it below 0 when the two
    // in-plane stresses are almost equal.
    if (d < 0) d = 0;
    double sigma1, sigma2;
    if (p >= 0) {
        sigma1 = p + std::sqrt(d);
        sigma2 = detail::smaller_root(q, sigma1);
    } else {
        sigma2 = p - std::sqrt(d);
        sigma1 = detail::smaller_root(q, sigma2);
    }
    return {sigma1, sigma2, sigma3};
}

}  // namespace velmora
