// Newton's method on the model. See newton_method.hpp.
#include "newton/newton_method.hpp"

#include "mechanics/mechanics.hpp"

namespace velmora {

namespace {

// Where one factorisation costs more than this many solves with its factor,
// a factor is kept for the next iteration while the step it gave halved the
// largest residue at least: large meshes, whose fill grows faster than the
// mesh.
constexpr double costly_factorisation = 50;
constexpr double kept_factor_ratio = 0.5;
// A solve with a Cholesky factor L takes about 4 flops per entry of L: a
// multiply and an add in each of the two triangular solves.
constexpr double solve_flops_per_factor_entry = 4;
// Pairs of the steps on a kept factor that correct it by BFGS (each pair
// two vectors of the free directions): on the strip of 10^6 elements they
// save a factorisation (bench/README.md).
constexpr int kept_pairs = 4;

// The reuse ratio of the chord method for this factor, 0 where
// factorising every iteration is cheap enough.
double chord_threshold(const sparse_cholesky& factor) {
    const sparse_cholesky::figures f = factor.statistics();
    const double solve_flops = solve_flops_per_factor_entry * f.factor_nonzeros;
    return f.flops > costly_factorisation * solve_flops ? kept_factor_ratio : 0;
}

// The slope -g . g of the steepest descent at the start, summed as the
// default method's first line search sums it: a direction that is not a
// finite descent is the same failure.
void require_descent_at_start(model& m) {
    const int n = m.dof_count;
    fmat1 g(n);
    objective{&m}(n, m.displacement, g);
    double slope = 0;
    for (int i = 1; i <= n; ++i) slope = slope + -g(i) * g(i);
    nlp::require_descent(slope);
}

// The summary of a run that ended with r (a load_result or an arc_result):
// its totals, how far it followed the loads, and the problem's figures.
template <class Result>
newton_summary summary_of(const Result& r, const model& m, const equilibrium_problem& problem) {
    newton_summary summary;
    summary.iterations = r.total.iterations;
    summary.energy = r.total.energy;
    summary.optimal = r.total.optimal;
    summary.load = r.load;
    summary.increments = r.increments;
    summary.budget_spent = r.budget_spent;
    summary.residue = nlp::norm(m.dof_count, m.gradient);
    summary.singular_direction = problem.singular_direction_at_start();
    summary.tangents = problem.counts();
    summary.evaluations = problem.evaluations();
    summary.costs = problem.costs();
    return summary;
}

// Runs follow(iteration, reached) with observers of the iterations and of
// the equilibria reached, each the method's no_observer where there is no
// observe or no path, so that the methods then do no work for it.
template <class Follow>
auto with_observers(const model& m, const newton_observer& observe, load_path* path, const Follow& follow) {
    const auto iteration = [&observe](const nlp::iteration_report& report) { observe(report); };
    const auto record = [&m, path](const nlp::equilibrium_report& reached) { path->record(m, reached); };
    if (observe) return path != nullptr ? follow(iteration, record) : follow(iteration, nlp::no_observer{});
    return path != nullptr ? follow(nlp::no_observer{}, record) : follow(nlp::no_observer{}, nlp::no_observer{});
}

}  // namespace

newton_summary newton_equilibrium(model& m, int increments, const newton_observer& observe, load_path* path) {
    const int n = m.dof_count;
    require_descent_at_start(m);
    equilibrium_problem problem(m);
    nlp::load_settings s{
        {m.max_iterations, m.search_limit, m.allowable_residue, m.eta, chord_threshold(problem.factor())}, increments};
    s.newton.kept_pairs = kept_pairs;
    const nlp::load_result r = with_observers(m, observe, path, [&](auto&& iteration, auto&& reached) {
        return nlp::follow_loads(problem, n, s, m.displacement, m.gradient, iteration, reached);
    });
    newton_summary summary = summary_of(r, m, problem);
    summary.last = r.last;
    return summary;
}

newton_summary arc_length_equilibrium(model& m, int increments, const newton_observer& observe, load_path* path) {
    const int n = m.dof_count;
    require_descent_at_start(m);
    equilibrium_problem problem(m);
    nlp::arc_settings s;
    s.newton = {m.max_iterations, m.search_limit, m.allowable_residue, m.eta};
    s.increments = increments;
    const nlp::arc_result r = with_observers(m, observe, path, [&](auto&& iteration, auto&& reached) {
        return nlp::follow_path(problem, n, s, m.displacement, m.gradient, iteration, reached);
    });
    if (path != nullptr) path->limits = r.limits;
    newton_summary summary = summary_of(r, m, problem);
    summary.arc_length = true;
    summary.limits = r.limits;
    summary.largest_load = r.largest_load;
    summary.largest_at = r.largest_at;
    return summary;
}

}  // namespace velmora
