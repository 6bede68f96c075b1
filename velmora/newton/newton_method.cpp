// Newton's method on the model. See newton_method.hpp.
#include "newton/newton_method.hpp"

#include <cmath>

#include "mechanics/mechanics.hpp"

namespace velmora {

namespace {

// Where one factorisation costs more than this many solves with its factor
// (a solve takes about 4 flops per entry of the factor), a factor is kept
// for the next iteration while the step it gave halved the largest residue
// at least: large meshes, whose fill grows faster than the mesh.
constexpr double costly_factorisation = 50;
constexpr double kept_factor_ratio = 0.5;

double reuse_ratio(const sparse_cholesky& factor) {
    const sparse_cholesky::figures f = factor.statistics();
    return f.flops > costly_factorisation * 4 * f.factor_nonzeros ? kept_factor_ratio : 0;
}

}  // namespace

newton_summary newton_equilibrium(model& m, int increments, const newton_observer& observe) {
    const int n = m.dof_count;
    {
        // The slope of -g at the start, as the default method's first line
        // search takes it: a direction that is not a finite descent is the
        // same failure.
        fmat1 g(n);
        objective{&m}(n, m.displacement, g);
        const double slope = -nlp::detail::dot(n, g.data(), g.data());
        if (!(slope < 0) || !std::isfinite(slope)) nlp::halt();
    }
    equilibrium_problem problem(m);
    const nlp::load_settings s{
        m.max_iterations, m.search_limit, m.allowable_residue, m.eta, increments, reuse_ratio(problem.factor())};
    newton_summary summary{};
    if (observe)
        summary.result = nlp::load_steps(problem, n, s, m.displacement, m.gradient,
                                         [&observe](const nlp::iteration_report& r) { observe(r); });
    else
        summary.result = nlp::load_steps(problem, n, s, m.displacement, m.gradient);
    summary.tangents = problem.counts();
    summary.evaluations = problem.evaluations();
    return summary;
}

}  // namespace velmora
