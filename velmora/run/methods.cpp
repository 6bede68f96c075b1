// The table of minimisers. Each entry runs a method of the package on the
// model's objective; where the caller watches, the objective counts its
// evaluations and the method reports each iteration.
#include "run/methods.hpp"

#include <string>
#include <string_view>

#include "mechanics/mechanics.hpp"
#include "run/run.hpp"

#ifdef VELMORA_HAVE_NEWTON
#include <cstdio>

#include "newton/end_reasons.hpp"
#include "newton/load_path.hpp"
#include "newton/newton_method.hpp"
#include "write/text_file.hpp"
#endif

namespace velmora {

namespace {

// The objective, counting its evaluations for the caller.
struct counted_objective {
    objective f;
    const minimise_hooks* hooks;
    double operator()(int n, const fmat1& x, fmat1& g) const {
        if (hooks->evaluated) hooks->evaluated(1);
        return f(n, x, g);
    }
};

// Runs Method (a call operator taking the package, the model and the
// observer) with the plain objective and no observer where nothing is
// watched, or with the counted objective and the caller's observer.
template <class Method>
nlp::result minimise(model& m, const run_settings&, const minimise_hooks& hooks) {
    if (!hooks.iteration && !hooks.evaluated) {
        const nlp::package<objective> qn{objective{&m}};
        return Method{}(qn, m, nlp::no_observer{});
    }
    const nlp::package<counted_objective> qn{counted_objective{objective{&m}, &hooks}};
    return Method{}(qn, m, [&hooks](const nlp::iteration_report& r) {
        if (hooks.iteration) hooks.iteration(r);
    });
}

struct lbfgs_method {
    template <class Package, class Observer>
    nlp::result operator()(const Package& qn, model& m, Observer observe) const {
        return qn.lbfgs(m.memory, m.dof_count, m.max_iterations, m.search_limit, m.allowable_residue, m.eta,
                        m.displacement, m.gradient, observe);
    }
};

struct mbfgs_method {
    template <class Package, class Observer>
    nlp::result operator()(const Package& qn, model& m, Observer observe) const {
        return qn.mbfgs(m.dof_count, m.max_iterations, m.search_limit, m.allowable_residue, m.eta, m.displacement,
                        m.gradient, observe);
    }
};

struct bfgs_method {
    template <class Package, class Observer>
    nlp::result operator()(const Package& qn, model& m, Observer observe) const {
        if (m.dof_count > bfgs_largest_dof_count)
            throw failure(storage_error, "bfgs holds a dense matrix of n (n + 1) / 2 reals and takes at most " +
                                             std::to_string(bfgs_largest_dof_count) +
                                             " degrees of freedom; this model has " + std::to_string(m.dof_count) +
                                             ": use --method lbfgs");
        return qn.bfgs(m.dof_count, m.max_iterations, m.search_limit, m.allowable_residue, m.eta, m.displacement,
                       m.gradient, observe);
    }
};

// Whether text holds the decimal digits of a positive number: the help
// line of bfgs names its limit, which must be bfgs_largest_dof_count.
constexpr bool names_number(std::string_view text, int number) {
    char digits[10] = {};
    int count = 0;
    for (int rest = number; rest > 0; rest /= 10) ++count;
    for (int k = count - 1, rest = number; k >= 0; --k, rest /= 10) digits[k] = static_cast<char>('0' + rest % 10);
    return text.find(std::string_view(digits, static_cast<std::size_t>(count))) != std::string_view::npos;
}

constexpr std::string_view bfgs_description = "full BFGS, up to 65535 degrees of freedom";
static_assert(names_number(bfgs_description, bfgs_largest_dof_count));

#ifdef VELMORA_HAVE_NEWTON
// Newton's method with the command line's increments and progress. A run
// that does not end "Optimal" says on standard error why: which fraction of
// the loads was reached, and each cause found.
nlp::result minimise_by_newton(model& m, const run_settings& settings, const minimise_hooks& hooks) {
    load_path history;
    history.follow = settings.follow;
    load_path* path = hooks.path != nullptr ? hooks.path : settings.history.empty() ? nullptr : &history;
    const newton_summary s = settings.arc_length ? arc_length_equilibrium(m, settings.increments, hooks.iteration, path)
                                                 : newton_equilibrium(m, settings.increments, hooks.iteration, path);
    if (hooks.evaluated) hooks.evaluated(s.evaluations);
    const auto warn = [&hooks](const std::string& text) {
        if (hooks.warning)
            hooks.warning(text);
        else
            std::fprintf(stderr, "warning: %s\n", text.c_str());
    };
    if (!settings.history.empty()) {
        text_file file(settings.history);
        file.put(path->csv());
    }
    if (s.load < 1) {
        char reached[160];
        std::snprintf(reached, sizeof reached,
                      s.arc_length ? "the path was followed to a load factor of %.6g (%d increment%s"
                                   : "the loads were followed to %.6g of their values (%d load increment%s",
                      s.load, s.increments, s.increments == 1 ? "" : "s");
        warn(std::string(reached) +
             " reached equilibrium); the files show that state, its forces and prescribed displacements scaled to it");
    } else if (!s.limits.empty()) {
        char passed[160];
        std::snprintf(passed, sizeof passed,
                      "the path passed a limit point at increment %d, where the structure carried %.4g of the loads; "
                      "beyond it the structure snapped through to the full loads",
                      s.limits.front().increment, s.limits.front().load);
        warn(passed);
    }
    for (const std::string& reason : reasons_not_optimal(m, s)) warn(reason);
    return {s.iterations, s.energy, s.optimal};
}
#endif

const method table[] = {
    {"lbfgs", "limited-memory BFGS, `memory` pairs kept", minimise<lbfgs_method>},
    {"mbfgs", "memory-less BFGS, from the latest pair", minimise<mbfgs_method>},
    {"bfgs", bfgs_description, minimise<bfgs_method>},
#ifdef VELMORA_HAVE_NEWTON
    {"newton", "Newton, sparse Cholesky, load increments", minimise_by_newton},
#else
    {"newton", "Newton, sparse Cholesky, load increments", nullptr,
     "CHOLMOD, METIS and LAPACK (Debian: apt-get install libsuitesparse-dev libmetis-dev libopenblas-dev "
     "liblapack-dev), then build "
     "again"},
#endif
};

}  // namespace

std::span<const method> methods() { return table; }

const method* find_method(std::string_view name) {
    for (const method& candidate : table)
        if (candidate.name == name) return &candidate;
    return nullptr;
}

}  // namespace velmora
