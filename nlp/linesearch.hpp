// Line search along x0 + t d: the full step t = 1 first, doubling while the
// objective keeps falling with a negative slope, then safeguarded cubic
// interpolation inside the bracket until a trial is no higher than both
// ends and its slope is at most eta times the initial slope's magnitude, or
// until search_limit interpolated trials are spent.
#pragma once

#include <cmath>

#include "contract.hpp"
#include "observer.hpp"
#include "vectors.hpp"

namespace nlp {

// One sample of the objective along the line.
struct line_point {
    double step;
    double value;
    double slope;
};

// Constants of the search.
inline constexpr double expansion_factor = 2;  // step doubling while the objective falls
inline constexpr double midpoint = 0.5;        // fallback trial: the middle of the bracket

// The minimiser of the cubic matching values f1, f2 and slopes g1, g2 at
// t1 <= t2, kept inside [t1, t2].
inline double cubic(double t1, double t2, double f1, double f2, double g1, double g2) {
    if (g1 == 0) return t1;
    if (g2 == 0) return t2;
    const double z = g1 + g2 + 3 * (f1 - f2) / (t2 - t1);
    // w^2 = |g1 g2|, formed without overflow.
    const double w = std::sqrt(std::fabs(g1)) * std::sqrt(std::fabs(g2));
    const double az = std::fabs(z);
    // gamma = sqrt(z^2 - g1 g2), scaled by the larger of |z| and w.
    double gamma;
    if ((g1 < 0 && g2 > 0) || (g1 > 0 && g2 < 0)) {
        if (az >= w)
            gamma = az * std::sqrt(1 + (w / az) * (w / az));
        else
            gamma = w * std::sqrt(1 + (az / w) * (az / w));
    } else {
        // Slopes of the same sign (or a NaN): no minimiser when |z| < w.
        if (az < w) return (t1 + t2) * midpoint;
        gamma = az * std::sqrt(1 - (w / az) * (w / az));
    }
    // Two forms of the same numerator, each free of cancellation on its side.
    const double num = z > 0 ? g2 - g1 * g2 / (z + gamma) : g2 + gamma - z;
    const double den = g2 - g1 + 2 * gamma;
    const double tc = t2 - (t2 - t1) * num / den;
    // A NaN tc fails the test and lands on the midpoint.
    if (t1 <= tc && tc <= t2) return tc;
    return (t1 + t2) * midpoint;
}

namespace detail {

// x = x0 + t d, evaluated; returns the sample with its slope g . d.
template <objective_function F>
line_point sample(const F& objective, int n, double t, const fmat1& x0, const fmat1& d, fmat1& x, fmat1& g) {
    const double* x0p = x0.data();
    const double* dp = d.data();
    double* xp = x.data();
    for (int i = 0; i < n; ++i) xp[i] = x0p[i] + t * dp[i];
    const double value = objective(n, x, g);
    return {t, value, dot(n, g.data(), dp)};
}

// The report of iteration k, which ended at value f with gradient g after
// the given step.
inline iteration_report report(int k, double f, int n, const fmat1& g, double allowable_residue, double step) {
    iteration_report r;
    r.iteration = k;
    r.energy = f;
    r.residue = norm(n, g);
    r.allowable = allowable_residue;
    r.step = step;
    return r;
}

}  // namespace detail

// As linesearch below, with x0 a copy of x made by the caller, who keeps
// one anyway to form the correction pair: a minimiser's loop then neither
// allocates nor copies for the search. x0 is not changed. Returns the
// accepted sample: its step, the objective value and the slope there.
template <objective_function F>
line_point linesearch_point(const F& objective, int n, int search_limit, double eta, double f0, fmat1& x, fmat1& g,
                            const fmat1& d, const fmat1& x0) {
    const double g0 = detail::dot(n, g.data(), d.data());
    require_descent(g0);
    const double c = -(g0 * eta);

    // The full step: x0 + 1 d is x0 + d.
    line_point lo{0, f0, g0};
    line_point hi = detail::sample(objective, n, 1, x0, d, x, g);

    while (hi.slope < 0 && hi.value < lo.value) {
        lo = hi;
        hi = detail::sample(objective, n, expansion_factor * hi.step, x0, d, x, g);
    }

    for (int k = 1;; ++k) {
        const double t = cubic(lo.step, hi.step, lo.value, hi.value, lo.slope, hi.slope);
        const line_point trial = detail::sample(objective, n, t, x0, d, x, g);
        if (k >= search_limit || (trial.value <= lo.value && trial.value <= hi.value && std::fabs(trial.slope) <= c))
            return trial;
        if (trial.slope < 0)
            lo = trial;
        else
            hi = trial;
    }
}

// The objective value of linesearch_point's accepted sample.
template <objective_function F>
double linesearch(const F& objective, int n, int search_limit, double eta, double f0, fmat1& x, fmat1& g,
                  const fmat1& d, const fmat1& x0) {
    return linesearch_point(objective, n, search_limit, eta, f0, x, g, d, x0).value;
}

// Moves x along d from f0 = objective(x) and returns the objective value at
// the accepted point; x and g then hold that point and its gradient. A
// direction whose initial slope g . d is not a finite negative number
// prints "Line Search Failure" and raises HALT.
template <objective_function F>
double linesearch(const F& objective, int n, int search_limit, double eta, double f0, fmat1& x, fmat1& g,
                  const fmat1& d) {
    fmat1 x0(n);
    detail::copy(n, x.data(), x0.data());
    return linesearch(objective, n, search_limit, eta, f0, x, g, d, x0);
}

}  // namespace nlp
