// Load increments for Newton's method: the loads are applied as a fraction
// lambda of their values, each increment starting from the equilibrium of
// the one before, moved on by the tangent's predictor. By default the
// increment adapts: the whole load first; an increment that fails is halved
// and tried again from the last equilibrium; one that converges quickly
// lets the next one double.
#pragma once

#include <algorithm>

#include "newton.hpp"

namespace nlp {

// A Newton problem whose loads can be scaled:
//   load(lambda): the loads become lambda times their full values;
//   load_derivative(n, x, r): r = dg/dlambda at x under the current load,
//     the change of the out-of-balance force per unit of load fraction.
template <class P>
concept loaded_problem = newton_problem<P> && requires(P& p, double lambda, int n, const fmat1& x, fmat1& r) {
    p.load(lambda);
    p.load_derivative(n, x, r);
};

struct load_settings {
    int max_iterations = 0;  // Newton iterations over all increments
    int search_limit = 0;
    double allowable_residue = 0;
    double eta = 0;
    int increments = 0;      // 0: adaptive; N > 0: increments of 1/N, halved only when one fails
    double reuse_ratio = 0;  // as newton_settings::reuse_ratio
};

struct load_result {
    result total;        // Newton iterations in all, the energy, optimal at the full load
    double load = 0;     // load fraction of the final state: 1 unless the run stopped early
    int increments = 0;  // increments that reached equilibrium
};

// An increment that has not converged after this many Newton iterations is
// given up and halved: from a good start Newton needs a handful.
inline constexpr int increment_iterations = 25;
// An increment that converged within this many iterations lets the next
// one double (adaptive increments only).
inline constexpr int quick_increment = 6;
// The smallest increment tried, 2^-20 of the load: below it the loads
// cannot be followed and the run ends with the last equilibrium.
inline constexpr double smallest_increment = 1.0 / (1 << 20);
// A target within this fraction of an increment of the full load is the
// full load: sums of 1/N need not add up to exactly 1.
inline constexpr double full_load_slack = 1e-9;

// Follows the loads from x (the equilibrium at lambda = 0, usually 0) to
// lambda = 1. On return x and g hold the final state, the equilibrium at
// lambda = 1 when total.optimal, else the last equilibrium reached (its
// fraction in load), and the problem's loads are at that fraction.
template <loaded_problem P, class Observer = no_observer>
load_result load_steps(P& problem, int n, const load_settings& s, fmat1& x, fmat1& g, Observer&& observe = Observer{}) {
    fmat1 x_done(n), r(n), dx(n);
    newton_work work(n);
    detail::copy(n, x.data(), x_done.data());
    const double largest_step = s.increments > 0 ? 1.0 / s.increments : 1.0;
    double done = 0, step = largest_step;
    int total = 0, accepted = 0;

    // The predictor needs a factor of the tangent at the last equilibrium.
    problem.load(0);
    bool factor_at_done = problem.factorise(n, x_done);

    while (done < 1 && total < s.max_iterations) {
        double target = done + step;
        if (1 - target <= full_load_slack * step) target = 1;

        // Predictor: dx = -(target - done) K^-1 dg/dlambda, K the tangent
        // at the last equilibrium: the linear response to the load added.
        problem.load(done);
        bool predicted = false;
        if (factor_at_done) {
            problem.load_derivative(n, x_done, r);
            problem.solve(n, r, dx);
            const double dl = target - done;
            for (int i = 0; i < n; ++i) dx.data()[i] = -dl * dx.data()[i];
            predicted = detail::all_finite(n, dx.data());
        }
        problem.load(target);
        detail::copy(n, x_done.data(), x.data());
        double f = problem(n, x, g);
        if (predicted && f < std::numeric_limits<double>::infinity()) {
            // Along the prediction by the line search, whose full step is
            // the linear response: large rotations make that overshoot.
            const double slope = detail::dot(n, g.data(), dx.data());
            if (slope < 0 && std::isfinite(slope)) {
                const double along = linesearch(problem, n, s.search_limit, s.eta, f, x, g, dx, x_done);
                if (along < f) {
                    f = along;
                } else {
                    detail::copy(n, x_done.data(), x.data());
                    f = problem(n, x, g);
                }
            }
        } else if (predicted) {
            // The added load turns elements over at the last equilibrium (a
            // support moved farther than an element): the prediction itself.
            for (int i = 0; i < n; ++i) x.data()[i] = x_done.data()[i] + dx.data()[i];
            f = problem(n, x, g);
        }

        bool converged = false;
        if (f < std::numeric_limits<double>::infinity()) {
            iteration_report report;
            report.iteration = total;
            report.increment = accepted + 1;
            report.load = target;
            const newton_settings settings{std::min(increment_iterations, s.max_iterations - total), s.search_limit,
                                           s.allowable_residue, s.eta, s.reuse_ratio};
            const newton_outcome out = newton(problem, n, settings, f, x, g, work, factor_at_done, report, observe);
            total = total + out.iterations;
            // An increment that stalls has reached its equilibrium as
            // closely as rounding allows: it is taken, and the verdict at
            // the full load tells whether the residue test holds.
            converged = out.end == newton_end::converged || out.end == newton_end::stalled;
            if (converged && s.increments == 0 && out.iterations <= quick_increment) {
                detail::copy(n, x.data(), x_done.data());
                done = target;
                accepted = accepted + 1;
                step = std::min(2 * step, largest_step);
                continue;
            }
        }
        if (converged) {
            detail::copy(n, x.data(), x_done.data());
            done = target;
            accepted = accepted + 1;
            continue;
        }
        // The increment failed: half of it, from the last equilibrium, with
        // the tangent there for the predictor.
        step = step / 2;
        if (step < smallest_increment) break;
        problem.load(done);
        factor_at_done = problem.factorise(n, x_done);
    }

    if (done < 1) {
        // The run stopped early: the last equilibrium under its own loads.
        detail::copy(n, x_done.data(), x.data());
        problem.load(done);
    }
    const double f = problem(n, x, g);
    return {{total, f, done == 1 && detail::converged(n, g, s.allowable_residue)}, done, accepted};
}

}  // namespace nlp
