// Two more methods with the contract of lbfgs: memory-less BFGS, whose
// direction comes from the latest correction pair alone, and full BFGS with
// a dense inverse-Hessian approximation stored as a packed lower triangle.
#pragma once

#include <cmath>
#include <limits>
#include <new>

#include "linesearch.hpp"

namespace nlp {

// Packed position of element (i, j), i >= j, of a symmetric n x n matrix
// stored by diagonals: the main diagonal at 1..n, then the first
// sub-diagonal, and so on; (n, 1) is last, at n (n + 1) / 2. The product
// (i - j)(2n - i + j + 1) is always even. Computed in 64 bits: n (n + 1) / 2
// leaves the range of a 32-bit integer from n = 65536 on.
inline long long pos(long long n, long long i, long long j) { return j + (i - j) * (2 * n - i + j + 1) / 2; }

namespace detail {

// The skeleton shared by mbfgs and bfgs: a steepest-descent first step,
// then direction(s, y, g, d) computes each further direction from the pair
// of the iteration just finished; observe receives a report after every
// line search.
template <objective_function F, class Direction, iteration_observer O>
result quasi_newton(const F& objective, int n, int max_iterations, int search_limit, double allowable_residue,
                    double eta, fmat1& x, fmat1& g, fmat1& d, Direction direction, O& observe) {
    fmat1 s(n), y(n);
    double f = objective(n, x, g);
    int k = 1;
    for (int i = 0; i < n; ++i) d.data()[i] = -g.data()[i];
    for (;;) {
        copy(n, x.data(), s.data());
        copy(n, g.data(), y.data());
        const line_point accepted = linesearch_point(objective, n, search_limit, eta, f, x, g, d, s);
        f = accepted.value;
        if constexpr (observed<O>) observe(report(k, f, n, g, allowable_residue, accepted.step));
        form_pair(n, x, g, s, y);
        if (!(k < max_iterations && norm(n, g) > allowable_residue)) break;
        direction(s, y, g, d);
        // A direction that is not finite means the pair carries no more
        // curvature: stop with the last line search's point.
        if (!all_finite(n, d.data())) break;
        k = k + 1;
    }
    return {k, f, converged(n, g, allowable_residue)};
}

}  // namespace detail

// Memory-less BFGS: d = -H g, H one BFGS update of (sy/yy) I with the
// latest pair:
//   d_i = (gy/yy - 2 gs/sy) s_i + (gs/yy) y_i - (sy/yy) g_i.
template <objective_function F, iteration_observer O = no_observer>
result mbfgs(const F& objective, int n, int max_iterations, int search_limit, double allowable_residue, double eta,
             fmat1& x, fmat1& g, O observe = {}) {
    fmat1 d(n);
    return detail::quasi_newton(
        objective, n, max_iterations, search_limit, allowable_residue, eta, x, g, d,
        [n](const fmat1& s, const fmat1& y, const fmat1& gv, fmat1& dv) {
            const double* sp = s.data();
            const double* yp = y.data();
            const double* gp = gv.data();
            double sy = 0, yy = 0, gs = 0, gy = 0;
            for (int i = 0; i < n; ++i) {
                sy = sy + sp[i] * yp[i];
                yy = yy + yp[i] * yp[i];
                gs = gs + gp[i] * sp[i];
                gy = gy + gp[i] * yp[i];
            }
            double* dp = dv.data();
            for (int i = 0; i < n; ++i) dp[i] = (gy / yy - 2 * gs / sy) * sp[i] + (gs / yy) * yp[i] - (sy / yy) * gp[i];
        },
        observe);
}

// Full BFGS with the self-scaling update
//   H <- c (H - w w^T / yHy + v v^T) + s s^T / sy,  w = H y, c = sy / yHy,
//   v = (r / sy) s - w / r,  r = sqrt(yHy),
// starting from the identity.
template <objective_function F, iteration_observer O = no_observer>
result bfgs(const F& objective, int n, int max_iterations, int search_limit, double allowable_residue, double eta,
            fmat1& x, fmat1& g, O observe = {}) {
    const long long order = n > 0 ? n : 0;
    const long long packed = order * (order + 1) / 2;
    // The packed matrix is one array with 32-bit bounds: from n = 65536 on
    // its n (n + 1) / 2 elements cannot be held, so it is a storage failure.
    if (packed > std::numeric_limits<int>::max()) throw std::bad_alloc();
    terms::array1<double> H(1, static_cast<int>(packed));
    for (int i = 1; i <= n; ++i) H.data()[pos(n, i, i) - 1] = 1;
    fmat1 d(n), w(n);
    const auto at = [&H, n](int i, int j) -> double& {
        return i >= j ? H.data()[pos(n, i, j) - 1] : H.data()[pos(n, j, i) - 1];
    };
    return detail::quasi_newton(
        objective, n, max_iterations, search_limit, allowable_residue, eta, x, g, d,
        [n, &w, &at](const fmat1& s, const fmat1& y, const fmat1& gv, fmat1& dv) {
            const double* sp = s.data();
            const double* yp = y.data();
            double* wp = w.data();
            double* v = dv.data();  // holds v during the update, then the direction
            for (int i = 1; i <= n; ++i) {
                double sum = 0;
                for (int j = 1; j <= n; ++j) sum = sum + at(i, j) * yp[j - 1];
                wp[i - 1] = sum;
            }
            double sy = 0, yHy = 0;
            for (int i = 0; i < n; ++i) {
                sy = sy + sp[i] * yp[i];
                yHy = yHy + yp[i] * wp[i];
            }
            const double r = std::sqrt(yHy);
            for (int i = 0; i < n; ++i) v[i] = (r / sy) * sp[i] - wp[i] / r;
            const double c = sy / yHy;
            for (int i = 1; i <= n; ++i)
                for (int j = 1; j <= i; ++j)
                    at(i, j) = c * (at(i, j) - (wp[i - 1] / yHy) * wp[j - 1] + v[i - 1] * v[j - 1]) +
                               (sp[i - 1] / sy) * sp[j - 1];
            const double* gp = gv.data();
            for (int i = 1; i <= n; ++i) {
                double sum = 0;
                for (int j = 1; j <= n; ++j) sum = sum + at(i, j) * gp[j - 1];
                v[i - 1] = -sum;
            }
        },
        observe);
}

}  // namespace nlp
