// Arc-length continuation: the equilibrium path of a loaded problem,
// followed through limit points. The loads are lambda times their full
// values and lambda is an unknown beside x. Each increment starts from the
// last equilibrium (x_a, lambda_a) and ends at an equilibrium
// g(x, lambda) = 0 at the distance ds from it, |x - x_a| = ds: Crisfield's
// cylindrical constraint, in the Euclidean norm over the free directions.
//
// Predictor: ds along the tangent of the path at x_a. The tangent is
// t = dx/dlambda = -K^-1 dg/dlambda, taken along sigma t / |t|, where sigma
// is the sign of t . (x_a - the equilibrium before it) (+1 at the start):
// the path goes on forward, never back where it came from. Past a limit
// point K has a negative eigenvalue and t turns round; sigma turns with it,
// so that x goes on while lambda falls. The slope of the path there is
// dlambda/ds = sigma / |t|.
//
// Corrector: Newton iterations on g = 0 and the constraint together. Each
// factorises the exact tangent K at x, definite or not, and solves with the
// one factor K dg = -g and K dr = -dg/dlambda; the step is dg + dl dr in x
// and dl in lambda, dl the root of |x - x_a + dg + dl dr|^2 = ds^2 whose
// increment keeps closest to the direction of the increment so far (where
// no root is real, the dl that comes closest to the cylinder). A step that
// turns the problem's state inadmissible (objective +infinity) is halved.
//
// The arc adapts: after each increment ds is multiplied by
// sqrt(arc_target_iterations / iterations), at most doubled or halved, and
// at most the linear response at the start to the whole loads; an increment
// that fails is tried again from the last equilibrium with half the arc.
//
// A maximum of lambda lies between two equilibria whose slopes are rising
// then falling. The far one is held back, and increments from the near one
// aim at the zero of the slope interpolated linearly between them, each
// new equilibrium replacing the end of the bracket on its side, until the
// rise to the top from the nearer end, by the parabola of those slopes, is
// within peak_tolerance of the near end's load factor. The far end is then the next
// equilibrium of the path, and the higher of the two the limit point.
//
// Where the tangent reaches lambda = 1 within the next arc, the state it
// predicts there is corrected at that fixed load; where an increment ends
// beyond lambda = 1, the state at lambda = 1 interpolated along it is. The
// path ends at that equilibrium.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "load_steps.hpp"

namespace nlp {

// A loaded problem that can factorise its exact tangent where that is not
// positive definite:
//   factorise_exact(n, x): factorises the tangent K at x under the current
//     load as it is, definite or indefinite; false where it could not (a
//     zero pivot). solve then solves with that factor.
template <class P>
concept continued_problem = loaded_problem<P> && requires(P& p, int n, const fmat1& x) {
    { p.factorise_exact(n, x) } -> std::convertible_to<bool>;
};

struct arc_settings {
    newton_settings newton;  // max_iterations over the whole path and allowable_residue (no line search)
    // 0: adaptive arcs, the first the linear response at the start to
    // first_arc_load of the loads; N > 0: arcs of the response to 1/N,
    // halved only when one fails.
    int increments = 0;
    double peak_tolerance = 1e-3;  // a maximum of lambda is pinned to this fraction of it
};

// A maximum of the load factor that the path passed.
struct limit_point {
    int increment = 0;  // the equilibrium that pins it, the closest before it
    double load = 0;    // its load factor: within peak_tolerance below the maximum
};

struct arc_result {
    result total;        // Newton iterations in all, the energy, optimal at lambda = 1
    double load = 0;     // lambda of the final state: 1 unless the path ended before
    int increments = 0;  // increments that reached equilibrium
    std::vector<limit_point> limits;
    double largest_load = 0;  // the largest lambda of an equilibrium reached
    int largest_at = 0;       // and its increment (0: the start)
    bool budget_spent = false;
};

// An increment whose corrector has not converged in this many iterations
// is given up: from a tangent predictor Newton needs a handful.
inline constexpr int arc_iterations = 12;
// The first adaptive arc: the linear response at the start to this
// fraction of the loads. After each increment the arc is multiplied by
// sqrt(arc_target_iterations / its iterations), by arc_growth at most and
// 1 / arc_growth at least.
inline constexpr double first_arc_load = 0.5;
inline constexpr double arc_target_iterations = 5;
inline constexpr double arc_growth = 2;
// A corrector step at most this fraction of the state (or of the arc) that
// does not lower the residue has reached the rounding floor: the increment
// has its equilibrium as closely as rounding allows, as in follow_loads.
inline constexpr double stalled_correction = 1e-13;
// An inadmissible step is halved at most this many times.
inline constexpr int inadmissible_cuts = 8;

namespace detail {

// An equilibrium of the path with its forward unit tangent.
struct path_point {
    fmat1 x, e;                  // state; dx/ds along the path
    double load = 0, slope = 0;  // lambda; dlambda/ds
    double energy = 0;
    int iterations = 0;  // Newton iterations of the increment that reached it
    explicit path_point(int n) : x(n), e(n) {}
};

struct arc_work {
    fmat1 r, dg, dr, x0;
    explicit arc_work(int n) : r(n), dg(n), dr(n), x0(n) {}
};

inline double distance(int n, const double* u, const double* v) {
    double sum = 0;
    for (int i = 0; i < n; ++i) sum = sum + (u[i] - v[i]) * (u[i] - v[i]);
    return std::sqrt(sum);
}

// The forward unit tangent and slope at p, from a factor of the exact
// tangent at p.x under p.load; before is the equilibrium p came from, or
// nullptr at the start. False where K cannot be factorised.
template <continued_problem P>
bool tangent_at(P& problem, int n, path_point& p, const double* before, arc_work& w) {
    problem.load(p.load);
    if (!problem.factorise_exact(n, p.x)) return false;
    problem.load_derivative(n, p.x, w.r);
    problem.solve(n, w.r, p.e);
    double* e = p.e.data();
    double forward = 0;
    for (int i = 0; i < n; ++i) {
        e[i] = -e[i];
        if (before != nullptr) forward = forward + e[i] * (p.x.data()[i] - before[i]);
    }
    const double length = std::sqrt(dot(n, e, e));
    if (!(length > 0) || !std::isfinite(length)) return false;
    const double sigma = forward < 0 ? -1 : 1;
    for (int i = 0; i < n; ++i) e[i] = sigma * e[i] / length;
    p.slope = sigma / length;
    return true;
}

// The dl that puts d + dg + dl dr on the cylinder of radius ds, d the
// increment so far: of the two roots the one whose increment is closer in
// direction to d; where neither is real, the one nearest the cylinder.
inline double constrained_step(int n, const double* d, const double* dg, const double* dr, double ds) {
    double a = 0, b = 0, c = 0, along = 0;
    for (int i = 0; i < n; ++i) {
        const double v = d[i] + dg[i];
        a = a + dr[i] * dr[i];
        b = b + 2 * dr[i] * v;
        c = c + v * v;
        along = along + d[i] * dr[i];
    }
    c = c - ds * ds;
    if (!(a > 0)) return 0;
    const double discriminant = b * b - 4 * a * c;
    if (!(discriminant >= 0)) return -b / (2 * a);
    const double q = -(b + std::copysign(std::sqrt(discriminant), b)) / 2;
    const double first = q / a, second = q != 0 ? c / q : first;
    return first * along >= second * along ? first : second;
}

struct corrected {
    bool reached = false;
    int iterations = 0;
    double energy = 0;
};

// Newton iterations from x at lambda towards g = 0 with |x - x_a| = ds, or
// at fixed lambda where ds is 0, within budget iterations. On return x,
// lambda and g hold the last point accepted, and the problem's loads are
// at its lambda. Each iteration is reported to seen(iteration, residue,
// lambda, energy, step).
template <continued_problem P, class Seen>
corrected correct(P& problem, int n, const arc_settings& s, const fmat1& x_a, double ds, fmat1& x, double& lambda,
                  fmat1& g, int budget, arc_work& w, Seen&& seen) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    problem.load(lambda);
    corrected out{false, 0, problem(n, x, g)};
    if (!(out.energy < inf)) return out;
    double residue = norm(n, g), smallest = residue;
    int hopeless = 0;
    while (true) {
        if (converged(n, g, s.newton.allowable_residue)) {
            out.reached = true;
            break;
        }
        if (out.iterations >= budget || !problem.factorise_exact(n, x)) break;
        problem.solve(n, g, w.dg);
        double* dg = w.dg.data();
        double* dr = w.dr.data();
        for (int i = 0; i < n; ++i) dg[i] = -dg[i];
        double dl = 0;
        if (ds > 0) {
            problem.load_derivative(n, x, w.r);
            problem.solve(n, w.r, w.dr);
            for (int i = 0; i < n; ++i) {
                dr[i] = -dr[i];
                w.x0.data()[i] = x.data()[i] - x_a.data()[i];  // the increment so far
            }
            dl = constrained_step(n, w.x0.data(), dg, dr, ds);
        }
        copy(n, x.data(), w.x0.data());
        double t = 1, value = inf;
        for (int cut = 0; cut <= inadmissible_cuts && !(value < inf); ++cut, t = t / 2) {
            for (int i = 0; i < n; ++i) x.data()[i] = w.x0.data()[i] + t * (dg[i] + dl * dr[i]);
            problem.load(lambda + t * dl);
            value = problem(n, x, g);
        }
        if (!(value < inf)) {
            // Back to the last point: no step from it is admissible.
            copy(n, w.x0.data(), x.data());
            problem.load(lambda);
            problem(n, x, g);
            break;
        }
        t = 2 * t;  // the step taken
        lambda = lambda + t * dl;
        out.iterations = out.iterations + 1;
        out.energy = value;
        const double new_residue = norm(n, g);
        seen(out.iterations, new_residue, lambda, value, t);
        double moved = 0, size = ds;
        for (int i = 0; i < n; ++i) {
            moved = std::max(moved, std::fabs(x.data()[i] - w.x0.data()[i]));
            size = std::max(size, std::fabs(x.data()[i]));
        }
        if (moved <= stalled_correction * size && !(new_residue < residue) && all_finite(n, g.data())) {
            out.reached = true;
            break;
        }
        hopeless = new_residue < hopeless_cut * smallest ? 0 : hopeless + 1;
        if (hopeless >= hopeless_iterations) break;
        smallest = std::min(smallest, new_residue);
        residue = new_residue;
    }
    return out;
}

// The arc from a to the zero of the slope interpolated linearly between a
// (rising) and b (falling), at least 1 % and at most 99 % of the chord
// between them; and the rise to the top of the parabola of those slopes
// from the nearer of a and b.
inline double peak_arc(int n, const path_point& a, const path_point& b) {
    const double h = distance(n, a.x.data(), b.x.data());
    return std::clamp(h * a.slope / (a.slope - b.slope), 0.01 * h, 0.99 * h);
}
inline double rise_to_peak(int n, const path_point& a, const path_point& b) {
    const double h = distance(n, a.x.data(), b.x.data());
    return std::min(a.slope * a.slope, b.slope * b.slope) * h / (2 * (a.slope - b.slope));
}

}  // namespace detail

// Follows the path from x (the equilibrium at lambda = 0, usually 0) until
// lambda = 1, or until max_iterations Newton iterations are spent or the
// arc falls below smallest_increment of the first. On return x and g hold
// the final state, the equilibrium at lambda = 1 when total.optimal, else
// the last equilibrium reached (its lambda in load), and the problem's
// loads are at its lambda. Each Newton iteration is reported to observe,
// numbered over the whole run, with its increment and lambda; each
// equilibrium reached to reached, while x and g hold it and the problem's
// loads are at its lambda.
template <continued_problem P, class Observer = no_observer, class Reached = no_observer>
arc_result follow_path(P& problem, int n, const arc_settings& s, fmat1& x, fmat1& g, Observer&& observe = Observer{},
                       Reached&& reached = Reached{}) {
    detail::path_point a(n), b(n), c(n);
    detail::arc_work w(n);
    arc_result out;
    int total = 0;
    detail::copy(n, x.data(), a.x.data());
    problem.load(0);
    a.energy = problem(n, a.x, g);
    const bool started = detail::tangent_at(problem, n, a, nullptr, w);
    const double longest = started ? 1 / a.slope : 0;  // |t|: the linear response to the whole loads
    double ds = (s.increments > 0 ? 1.0 / s.increments : first_arc_load) * longest;
    const double shortest = smallest_increment * ds;
    bool bracketing = false, landed = false;
    int landing_tried_at = -1;  // the increment whose tangent was last tried for the landing

    // The equilibrium p joins the path: x and g hold it for the report.
    const auto accept = [&](detail::path_point& p) {
        std::swap(a, p);
        out.increments = out.increments + 1;
        if (a.load > out.largest_load) out.largest_load = a.load, out.largest_at = out.increments;
        if constexpr (observed<Reached>) {
            detail::copy(n, a.x.data(), x.data());
            problem.load(a.load);
            problem(n, x, g);
            reached(equilibrium_report{out.increments, a.load, a.iterations, a.energy, norm(n, g)});
        }
    };
    // The far end of the bracket joins the path after the near end; the
    // higher of the two is the limit point.
    const auto pass_peak = [&] {
        const limit_point near{out.increments, a.load};
        accept(b);
        out.limits.push_back(a.load > near.load ? limit_point{out.increments, a.load} : near);
        bracketing = false;
    };
    const auto seen = [&](int iteration, double residue, double lambda, double energy, double step) {
        if constexpr (observed<Observer>) {
            iteration_report r;
            r.iteration = total + iteration;
            r.energy = energy;
            r.residue = residue;
            r.allowable = s.newton.allowable_residue;
            r.step = step;
            r.increment = out.increments + 1;
            r.load = lambda;
            observe(r);
        }
    };

    // Corrects c.x at lambda = 1; where it reaches equilibrium, the path ends
    // there, after `before` iterations of the increment.
    const auto land = [&](int before) {
        c.load = 1;
        const int left = std::min(arc_iterations, s.newton.max_iterations - total);
        const detail::corrected at_one = detail::correct(problem, n, s, a.x, 0, c.x, c.load, g, left, w, seen);
        total = total + at_one.iterations;
        if (!at_one.reached) return false;
        c.iterations = before + at_one.iterations;
        c.energy = at_one.energy;
        accept(c);
        landed = true;
        return true;
    };

    while (started && total < s.newton.max_iterations) {
        const double arc = bracketing ? detail::peak_arc(n, a, b) : ds;
        if (!bracketing && a.slope > 0 && a.load + arc * a.slope >= 1 && landing_tried_at != out.increments) {
            // The tangent reaches lambda = 1 within the arc: from the point
            // where it does, a correction at that load, once.
            landing_tried_at = out.increments;
            const double to_one = (1 - a.load) / a.slope;
            for (int i = 0; i < n; ++i) c.x.data()[i] = a.x.data()[i] + to_one * a.e.data()[i];
            if (land(0)) break;
            if (total >= s.newton.max_iterations) break;
        }
        for (int i = 0; i < n; ++i) c.x.data()[i] = a.x.data()[i] + arc * a.e.data()[i];
        c.load = a.load + arc * a.slope;
        const int budget = std::min(arc_iterations, s.newton.max_iterations - total);
        const detail::corrected end = detail::correct(problem, n, s, a.x, arc, c.x, c.load, g, budget, w, seen);
        total = total + end.iterations;
        c.iterations = end.iterations;
        c.energy = end.energy;
        if (!end.reached || !detail::tangent_at(problem, n, c, a.x.data(), w)) {
            if (bracketing) {
                // The peak cannot be pinned closer: the far end goes on.
                pass_peak();
                continue;
            }
            ds = arc / 2;
            if (ds < shortest) break;
            continue;
        }
        if (a.load < 1 && c.load >= 1) {
            // Land on lambda = 1, from the point of the increment's chord there.
            const double f = (1 - a.load) / (c.load - a.load);
            for (int i = 0; i < n; ++i) c.x.data()[i] = a.x.data()[i] + f * (c.x.data()[i] - a.x.data()[i]);
            if (land(end.iterations)) break;
            bracketing = false;
            ds = arc / 2;
            if (ds < shortest) break;
            continue;
        }
        if (!bracketing && a.slope > 0 && c.slope < 0) {
            std::swap(b, c);  // past a maximum: b holds the far end of the bracket
            bracketing = true;
        } else if (bracketing && c.slope < 0) {
            std::swap(b, c);
        } else {
            accept(c);
            if (!bracketing && s.increments == 0) {
                const double grow = std::sqrt(arc_target_iterations / std::max(1, end.iterations));
                ds = std::min(arc * std::clamp(grow, 1 / arc_growth, arc_growth), longest);
            }
        }
        if (bracketing && detail::rise_to_peak(n, a, b) <= s.peak_tolerance * std::fabs(a.load)) {
            pass_peak();
        }
    }

    detail::copy(n, a.x.data(), x.data());
    problem.load(a.load);
    const double f = problem(n, x, g);
    out.total = {total, f, landed && detail::converged(n, g, s.newton.allowable_residue)};
    out.load = a.load;
    out.budget_spent = total >= s.newton.max_iterations;
    return out;
}

}  // namespace nlp
