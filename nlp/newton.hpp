// Newton's method with a line search on the objective: each direction
// solves K d = -g with a factorised positive definite tangent K at the
// current point, and the package's linesearch (full step first, doubling,
// cubic interpolation) moves along it. A point where the objective is
// +infinity (a state the problem does not admit) is never accepted.
#pragma once

#include <cmath>
#include <concepts>
#include <limits>
#include <type_traits>

#include "linesearch.hpp"
#include "observer.hpp"

namespace nlp {

// A problem for Newton's method: the objective (value and gradient), the
// factorisation of a positive definite tangent and solves with it.
//   factorise(n, x): factorises a positive definite matrix that is the
//     tangent at x where that is positive definite, a positive definite
//     modification of it elsewhere; false when none could be factorised.
//   solve(n, r, d): d = K^-1 r with the last factor.
template <class P>
concept newton_problem = objective_function<P> && requires(P& p, int n, const fmat1& x, const fmat1& r, fmat1& d) {
    { p.factorise(n, x) } -> std::convertible_to<bool>;
    p.solve(n, r, d);
};

// How a run of Newton iterations at one load ended.
enum class newton_end {
    converged,  // the gradient passed the stopping test
    limit,      // the iteration budget is spent
    stalled,    // no step lowered the objective or the residue: rounding level
    no_factor,  // the tangent could not be factorised
    blocked,    // every trial of the line search was an inadmissible point
};

struct newton_outcome {
    int iterations = 0;  // Newton iterations (line searches) made
    double energy = 0;   // objective at the final point
    newton_end end = newton_end::limit;
};

// Work vectors of Newton's method, kept by a caller that runs it many
// times (one set per load increment) so that no iteration allocates.
struct newton_work {
    fmat1 d, x0, g0;
    explicit newton_work(int n) : d(n), x0(n), g0(n) {}
};

// Relative rise of the objective that is taken as rounding: a sum over
// many elements is exact to about sqrt(count) units in the last place of
// its largest terms.
inline constexpr double rounding_slack = 1e-12;
// A full step that cuts the largest residue to this fraction or less is in
// the region of quadratic convergence; there a relative rise of the
// objective up to noise_slack is the rounding of a sum of up to 10^8 terms.
inline constexpr double quadratic_cut = 0.1;
inline constexpr double noise_slack = 1e-9;

namespace detail {

// The step t of x = x0 + t d, read from the largest component of d.
inline double step_taken(int n, const fmat1& x, const fmat1& x0, const fmat1& d) {
    int at = -1;
    double largest = 0;
    for (int i = 0; i < n; ++i)
        if (std::fabs(d.data()[i]) > largest) largest = std::fabs(d.data()[i]), at = i;
    return at < 0 ? 0 : (x.data()[at] - x0.data()[at]) / d.data()[at];
}

}  // namespace detail

// What Newton's method is given to do.
struct newton_settings {
    int max_iterations = 0;
    int search_limit = 0;
    double allowable_residue = 0;
    double eta = 0;
    // A factor is kept for the next iteration while the step it gave cut
    // the largest residue to at most this fraction (the chord method, for
    // problems whose factorisation costs many solves); 0: every iteration
    // factorises the tangent at its own point, and the convergence is
    // quadratic.
    double reuse_ratio = 0;
};

// Newton iterations from x, where the objective is f and the gradient g.
// Stops when norm(g) is not above allowable_residue, after max_iterations
// iterations, or when an iteration cannot proceed (see newton_end); x, g
// and the returned energy are then the last accepted point. The point a
// line search ends at is accepted when it lowers the objective, or when it
// keeps it to rounding and lowers the largest residue: close to the
// minimum the fall of the objective is below the rounding of its sum, but
// the residue still shows quadratic convergence. Otherwise it is undone.
// factor_ready: the problem's last factor may serve the first iteration
// (with reuse_ratio > 0). An iteration on a kept factor that fails is
// tried again on a fresh one. report.iteration counts on from its value
// on entry, and each accepted iteration is reported to the observer.
template <newton_problem P, class Observer = no_observer>
newton_outcome newton(P& problem, int n, const newton_settings& s, double f, fmat1& x, fmat1& g, newton_work& w,
                      bool factor_ready = false, iteration_report report = {}, Observer&& observe = Observer{}) {
    newton_outcome out{0, f, newton_end::limit};
    double residue = norm(n, g);
    bool keep = factor_ready && s.reuse_ratio > 0;
    while (true) {
        if (detail::converged(n, g, s.allowable_residue)) {
            out.end = newton_end::converged;
            break;
        }
        if (out.iterations >= s.max_iterations) break;
        const bool kept = keep;
        if (!kept && !problem.factorise(n, x)) {
            out.end = newton_end::no_factor;
            break;
        }
        problem.solve(n, g, w.d);
        double* dp = w.d.data();
        for (int i = 0; i < n; ++i) dp[i] = -dp[i];
        // A positive definite K gives g . d = -g K^-1 g < 0; at rounding
        // level it may not, and the search would halt: stop instead.
        const double slope = detail::dot(n, g.data(), dp);
        if (!(slope < 0) || !std::isfinite(slope)) {
            keep = false;
            if (kept) continue;
            out.end = newton_end::stalled;
            break;
        }
        detail::copy(n, x.data(), w.x0.data());
        detail::copy(n, g.data(), w.g0.data());
        // The full step first. Where it cuts the largest residue to a tenth
        // or less and leaves the objective as it was to within noise_slack,
        // it is taken as it is: close to the solution the fall of the
        // objective is below the rounding of its sum over the elements, so
        // its values cannot guide a search, but the residue shows the
        // quadratic convergence. Otherwise the line search decides.
        for (int i = 0; i < n; ++i) x.data()[i] = w.x0.data()[i] + dp[i];
        double value = problem(n, x, g);
        const bool full_step =
            value - out.energy <= noise_slack * std::fabs(out.energy) && norm(n, g) <= quadratic_cut * residue;
        if (!full_step) {
            // The search starts from x0, with the gradient there.
            detail::copy(n, w.g0.data(), g.data());
            value = linesearch(problem, n, s.search_limit, s.eta, out.energy, x, g, w.d, w.x0);
        }
        const double new_residue = norm(n, g);
        const bool admitted = value < std::numeric_limits<double>::infinity();
        const double slack = rounding_slack * std::fabs(out.energy);
        if (!admitted || !(full_step || value < out.energy || (value - out.energy <= slack && new_residue < residue))) {
            // Back to the point before the search: its value and gradient.
            detail::copy(n, w.x0.data(), x.data());
            detail::copy(n, w.g0.data(), g.data());
            keep = false;
            if (kept) continue;
            out.end = admitted ? newton_end::stalled : newton_end::blocked;
            break;
        }
        keep = s.reuse_ratio > 0 && new_residue <= s.reuse_ratio * residue;
        out.iterations = out.iterations + 1;
        out.energy = value;
        residue = new_residue;
        if constexpr (observed<Observer>) {
            report.iteration = report.iteration + 1;
            report.energy = value;
            report.residue = residue;
            report.allowable = s.allowable_residue;
            report.step = detail::step_taken(n, x, w.x0, w.d);
            observe(report);
        }
    }
    return out;
}

}  // namespace nlp
