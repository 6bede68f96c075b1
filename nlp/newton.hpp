// Newton's method with a line search on the objective: each direction
// solves K d = -g with a factorised positive definite tangent K at the
// current point, and the package's linesearch (full step first, doubling,
// cubic interpolation) moves along it. A point where the objective is
// +infinity (a point the problem does not admit) is never accepted.
#pragma once

#include <algorithm>
#include <cmath>
#include <concepts>
#include <limits>
#include <type_traits>

#include "factor_updates.hpp"
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
    hopeless,   // the steps stayed damped while the residue did not fall (see newton_settings::give_up_after)
};

struct newton_outcome {
    int iterations = 0;  // Newton iterations (line searches) made
    double energy = 0;   // objective at the final point
    newton_end end = newton_end::limit;
};

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
    // Steps on a kept factor correct it by the BFGS pairs of at most this
    // many steps since it was made (factor_updates.hpp); 0: the plain chord
    // method.
    int kept_pairs = 0;
    // The iterations end as hopeless when this many in a row have each
    // taken a damped step (the line search cut the Newton step below
    // damped_step) without bringing the largest residue below
    // hopeless_cut times the smallest it had before; 0: never.
    int give_up_after = 0;
};

inline constexpr double damped_step = 0.25;
inline constexpr double hopeless_cut = 0.5;

// Work vectors of Newton's method, kept by a caller that runs it many
// times (one set per load increment) so that no iteration allocates.
struct newton_work {
    fmat1 d, x0, g0;
    factor_updates updates;  // of the last factor, where it is kept
    // The problem's last factor is of a nearby point and may serve the
    // first iteration (with reuse_ratio > 0).
    bool factor_ready = false;
    explicit newton_work(int n) : d(n), x0(n), g0(n) {}
};

// The objective is a sum over many terms, exact to about sqrt(count) units
// in the last place of its largest terms. A step is accepted when it
// lowers the objective, or keeps it within accepted_rise_tol (relative)
// and lowers the largest residue.
inline constexpr double accepted_rise_tol = 1e-12;
// A full step that cuts the largest residue to full_step_residue_cut or
// less is in the region of quadratic convergence; there a relative rise of
// the objective up to full_step_rise_tol is the rounding of a sum of up to
// 10^8 terms, and the step is taken without a search.
inline constexpr double full_step_residue_cut = 0.1;
inline constexpr double full_step_rise_tol = 1e-9;

namespace detail {

// One step along d from x, where the objective is f and the largest
// residue is residue. The full step first: where it cuts the residue to
// full_step_residue_cut and leaves the objective as it was to within
// full_step_rise_tol, it is taken as it is, since close to the solution
// the fall of the objective is below the rounding of its sum and cannot
// guide a search, while the residue shows the quadratic convergence.
// Otherwise the line search decides, from x0 with the gradient there.
// x0 and g0 keep the point before the step.
struct newton_trial {
    line_point point;
    bool full_step;
};

template <newton_problem P>
newton_trial newton_step(P& problem, int n, const newton_settings& s, double f, double residue, fmat1& x, fmat1& g,
                         newton_work& w) {
    copy(n, x.data(), w.x0.data());
    copy(n, g.data(), w.g0.data());
    const double* dp = w.d.data();
    for (int i = 0; i < n; ++i) x.data()[i] = w.x0.data()[i] + dp[i];
    const double value = problem(n, x, g);
    if (value - f <= full_step_rise_tol * std::fabs(f) && norm(n, g) <= full_step_residue_cut * residue)
        return {{1, value, dot(n, g.data(), dp)}, true};
    copy(n, w.g0.data(), g.data());
    return {linesearch_point(problem, n, s.search_limit, s.eta, f, x, g, w.d, w.x0), false};
}

// d = -K^-1 g with the last factor, corrected by the pairs of the steps
// taken on it where there are any. A positive definite K (and update) gives
// g . d = -g K^-1 g < 0; at rounding level it may not, and the search would
// halt: false then.
template <newton_problem P>
bool newton_direction(P& problem, int n, const fmat1& g, fmat1& d, factor_updates& updates) {
    if (updates.count() > 0) {
        updates.direction(g, d, [&](const fmat1& r, fmat1& out) { problem.solve(n, r, out); });
    } else {
        problem.solve(n, g, d);
        double* dp = d.data();
        for (int i = 0; i < n; ++i) dp[i] = -dp[i];
    }
    const double slope = dot(n, g.data(), d.data());
    return slope < 0 && std::isfinite(slope);
}

}  // namespace detail

// Newton iterations from x, where the objective is f and the gradient g.
// Stops when norm(g) is not above allowable_residue, after max_iterations
// iterations, or when an iteration cannot proceed (see newton_end); x, g
// and the returned energy are then the last accepted point. The point a
// step ends at is accepted when it is admissible and lowers the objective,
// or keeps it to rounding and lowers the largest residue (a full step
// taken as such is accepted); otherwise it is undone. An iteration on a
// kept factor that fails is tried again on a fresh one. Each accepted
// iteration is reported to the observer, numbered from 1.
template <newton_problem P, class Observer = no_observer>
newton_outcome newton(P& problem, int n, const newton_settings& s, double f, fmat1& x, fmat1& g, newton_work& w,
                      Observer&& observe = Observer{}) {
    newton_outcome out{0, f, newton_end::limit};
    double residue = norm(n, g), smallest = residue;
    int damped_in_a_row = 0;
    bool reuse_next = w.factor_ready && s.reuse_ratio > 0;
    w.updates.set_capacity(n, s.reuse_ratio > 0 ? s.kept_pairs : 0);
    if (!reuse_next) w.updates.clear();
    while (true) {
        if (detail::converged(n, g, s.allowable_residue)) {
            out.end = newton_end::converged;
            break;
        }
        if (out.iterations >= s.max_iterations) break;
        const bool on_kept_factor = reuse_next;
        reuse_next = false;
        if (!on_kept_factor) {
            w.updates.clear();
            if (!problem.factorise(n, x)) {
                out.end = newton_end::no_factor;
                break;
            }
        }
        if (!detail::newton_direction(problem, n, g, w.d, w.updates)) {
            if (on_kept_factor) continue;
            out.end = newton_end::stalled;
            break;
        }
        const detail::newton_trial t = detail::newton_step(problem, n, s, out.energy, residue, x, g, w);
        const double value = t.point.value;
        const double new_residue = norm(n, g);
        const bool admitted = value < std::numeric_limits<double>::infinity();
        const double slack = accepted_rise_tol * std::fabs(out.energy);
        if (!admitted ||
            !(t.full_step || value < out.energy || (value - out.energy <= slack && new_residue < residue))) {
            // Back to the point before the step: its value and gradient.
            detail::copy(n, w.x0.data(), x.data());
            detail::copy(n, w.g0.data(), g.data());
            if (on_kept_factor) continue;
            out.end = admitted ? newton_end::stalled : newton_end::blocked;
            break;
        }
        reuse_next = s.reuse_ratio > 0 && new_residue <= s.reuse_ratio * residue;
        w.updates.record(w.x0, w.g0, x, g);
        out.iterations = out.iterations + 1;
        out.energy = value;
        residue = new_residue;
        const bool hopeless_step = t.point.step < damped_step && !(new_residue < hopeless_cut * smallest);
        damped_in_a_row = hopeless_step ? damped_in_a_row + 1 : 0;
        smallest = std::min(smallest, new_residue);
        if constexpr (observed<Observer>) {
            iteration_report r;
            r.iteration = out.iterations;
            r.energy = value;
            r.residue = residue;
            r.allowable = s.allowable_residue;
            r.step = t.point.step;
            observe(r);
        }
        if (s.give_up_after > 0 && damped_in_a_row >= s.give_up_after &&
            !detail::converged(n, g, s.allowable_residue)) {
            out.end = newton_end::hopeless;
            break;
        }
    }
    return out;
}

}  // namespace nlp
