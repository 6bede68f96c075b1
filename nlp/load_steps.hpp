// Load increments for Newton's method: the loads are applied as a fraction
// lambda of their values, each increment starting from the equilibrium of
// the one before, moved on by the tangent's predictor. By default the
// increment adapts: the whole load first; an increment that fails is halved
// and tried again from the last equilibrium; one that converges quickly
// lets the next one double.
#pragma once

#include <algorithm>
#include <limits>

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
    newton_settings newton;  // its max_iterations bounds the Newton iterations over all increments
    int increments = 0;      // 0: adaptive; N > 0: increments of 1/N, halved only when one fails
};

struct load_result {
    result total;        // Newton iterations in all, the energy, optimal at the full load
    double load = 0;     // load fraction of the final state: 1 unless the run stopped early
    int increments = 0;  // increments that reached equilibrium
    // How the last increment tried ended: where the loads were not followed
    // to the end, why the increments failed; at the full load, converged or
    // stalled at rounding level.
    newton_end last = newton_end::converged;
    bool budget_spent = false;  // the Newton iterations reached max_iterations
};

// An increment that has not converged after this many Newton iterations is
// given up and halved: from a good start Newton needs a handful.
inline constexpr int increment_iterations = 25;
// An increment is given up and halved as soon as this many Newton
// iterations in a row have taken damped steps without halving the residue
// (newton_settings::give_up_after): a load too large to follow from where
// the increment started.
inline constexpr int hopeless_iterations = 3;
// An increment that converged within this many iterations lets the next
// one double (adaptive increments only).
inline constexpr int quick_increment = 6;
// The smallest increment tried, 2^-20 of the load: below it the loads
// cannot be followed and the run ends with the last equilibrium.
inline constexpr double smallest_increment = 1.0 / (1 << 20);
// A target within this fraction of an increment of the full load is the
// full load: sums of 1/N need not add up to exactly 1.
inline constexpr double full_load_slack = 1e-9;

namespace detail {

// What the increments carry from one to the next: the last equilibrium
// and its load fraction, whether the problem holds a factor of the tangent
// there, and the work vectors of the predictor and of Newton's method.
struct load_state {
    fmat1 x_done, r, dx;
    newton_work work;
    double done = 0;
    bool factor_at_done = false;
    explicit load_state(int n) : x_done(n), r(n), dx(n), work(n) {}
};

// Moves x from the last equilibrium towards the one at target and returns
// the objective there (+infinity for an inadmissible point), with the
// problem's loads at target. The predictor is the linear response to the
// load added, dx = -(target - done) K^-1 dg/dlambda with the factor at the
// last equilibrium, taken along a line search whose full step is dx (large
// rotations make it overshoot). Where the added load makes the last
// equilibrium itself inadmissible (a support moved farther than the
// problem admits in one step), the predicted point is taken as it is.
template <loaded_problem P>
double predict(P& problem, int n, const load_settings& s, load_state& st, double target, fmat1& x, fmat1& g) {
    problem.load(st.done);
    bool predicted = false;
    if (st.factor_at_done) {
        problem.load_derivative(n, st.x_done, st.r);
        problem.solve(n, st.r, st.dx);
        const double dl = target - st.done;
        for (int i = 0; i < n; ++i) st.dx.data()[i] = -dl * st.dx.data()[i];
        predicted = all_finite(n, st.dx.data());
    }
    problem.load(target);
    copy(n, st.x_done.data(), x.data());
    const double f = problem(n, x, g);
    if (!predicted) return f;
    if (f < std::numeric_limits<double>::infinity()) {
        const double slope = dot(n, g.data(), st.dx.data());
        if (!(slope < 0 && std::isfinite(slope))) return f;
        // The predicted point itself where it passes the line search's test
        // (no higher, a slope at most eta times the first in magnitude):
        // doubling past it would leave the linear response's good guess.
        // The gradient at the last equilibrium is kept in r, which the
        // predictor no longer needs, for the search from there.
        copy(n, g.data(), st.r.data());
        for (int i = 0; i < n; ++i) x.data()[i] = st.x_done.data()[i] + st.dx.data()[i];
        const double whole = problem(n, x, g);
        if (whole < f && std::fabs(dot(n, g.data(), st.dx.data())) <= s.newton.eta * std::fabs(slope)) return whole;
        copy(n, st.x_done.data(), x.data());
        copy(n, st.r.data(), g.data());
        const double along = linesearch(problem, n, s.newton.search_limit, s.newton.eta, f, x, g, st.dx, st.x_done);
        if (along < f) return along;
        copy(n, st.x_done.data(), x.data());
        return problem(n, x, g);
    }
    for (int i = 0; i < n; ++i) x.data()[i] = st.x_done.data()[i] + st.dx.data()[i];
    return problem(n, x, g);
}

}  // namespace detail

// Follows the loads from x (the equilibrium at lambda = 0, usually 0) to
// lambda = 1. On return x and g hold the final state, the equilibrium at
// lambda = 1 when total.optimal, else the last equilibrium reached (its
// fraction in load), and the problem's loads are at that fraction. Each
// Newton iteration is reported to observe, numbered over the whole run,
// with its increment and the load fraction it aims at; each equilibrium
// reached to reached, while x and g hold it and the problem's loads are at
// its fraction.
template <loaded_problem P, class Observer = no_observer, class Reached = no_observer>
load_result follow_loads(P& problem, int n, const load_settings& s, fmat1& x, fmat1& g, Observer&& observe = Observer{},
                         Reached&& reached = Reached{}) {
    detail::load_state st(n);
    detail::copy(n, x.data(), st.x_done.data());
    const double largest_step = s.increments > 0 ? 1.0 / s.increments : 1.0;
    double step = largest_step;
    int total = 0, accepted = 0;
    newton_end last = newton_end::converged;

    // The predictor needs a factor of the tangent at the last equilibrium.
    problem.load(0);
    st.factor_at_done = problem.factorise(n, st.x_done);

    while (st.done < 1 && total < s.newton.max_iterations) {
        double target = st.done + step;
        if (1 - target <= full_load_slack * step) target = 1;
        newton_outcome out{0, detail::predict(problem, n, s, st, target, x, g), newton_end::blocked};
        if (out.energy < std::numeric_limits<double>::infinity()) {
            newton_settings settings = s.newton;
            settings.max_iterations = std::min(increment_iterations, s.newton.max_iterations - total);
            settings.give_up_after = hopeless_iterations;
            st.work.factor_ready = st.factor_at_done;
            const auto seen = [&](const iteration_report& r) {
                iteration_report in_run = r;
                in_run.iteration = total + r.iteration;
                in_run.increment = accepted + 1;
                in_run.load = target;
                observe(in_run);
            };
            if constexpr (observed<Observer>)
                out = newton(problem, n, settings, out.energy, x, g, st.work, seen);
            else
                out = newton(problem, n, settings, out.energy, x, g, st.work);
            total = total + out.iterations;
        }
        last = out.end;
        // An increment that stalls has reached its equilibrium as closely
        // as rounding allows: it is taken, and the verdict at the full load
        // tells whether the residue test holds.
        if (out.end == newton_end::converged || out.end == newton_end::stalled) {
            detail::copy(n, x.data(), st.x_done.data());
            st.done = target;
            accepted = accepted + 1;
            if constexpr (observed<Reached>)
                reached(equilibrium_report{accepted, target, out.iterations, out.energy, norm(n, g)});
            if (s.increments == 0 && out.iterations <= quick_increment) step = std::min(2 * step, largest_step);
            continue;
        }
        // The increment failed: half of it, from the last equilibrium, with
        // the tangent there for the predictor.
        step = step / 2;
        if (step < smallest_increment) break;
        problem.load(st.done);
        st.factor_at_done = problem.factorise(n, st.x_done);
        st.work.updates.clear();
    }

    if (st.done < 1) {
        // The run stopped early: the last equilibrium under its own loads.
        detail::copy(n, st.x_done.data(), x.data());
        problem.load(st.done);
    }
    const double f = problem(n, x, g);
    return {{total, f, st.done == 1 && detail::converged(n, g, s.newton.allowable_residue)},
            st.done,
            accepted,
            last,
            total >= s.newton.max_iterations};
}

}  // namespace nlp
