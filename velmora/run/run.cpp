// The run sequence: one model, filled and used by each step in turn.
#include "run/run.hpp"

#include <cstdio>
#include <optional>

#include "mechanics/mechanics.hpp"
#include "model/steps.hpp"
#include "run/methods.hpp"
#include "run/progress.hpp"
#ifdef VELMORA_HAVE_NEWTON
#include "newton/dense_kernels.hpp"
#endif

namespace velmora {

namespace {

constexpr int verdict_width = 5;  // width of the iteration count on the console

void print_verdict(int iterations, bool optimal) {
    std::printf("\nMinor = %*d%s\n", verdict_width, iterations, optimal ? "     Optimal" : "     NOT Optimal");
    // A verdict that never reached its reader is a failure, not a success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        throw failure(use_error, "cannot write the verdict to standard output");
}

// Elements that the minimiser left turned over: a triangle and its mirror
// image have the same energy, so nothing in the minimisation prevents it.
void warn_turned_over(const model& m) {
    const turned_over folded = count_turned_over(m, m.displacement);
    if (folded.count == 0) return;
    std::fprintf(stderr,
                 "warning: %s\n"
                 "warning: the first step of the minimiser moves the nodes by the start residue taken as a "
                 "length; when that is large against the element size, elements fold. Scaling the moduli and "
                 "the forces down by one factor (for example 0.01) gives the same equilibrium with a gentle "
                 "first step.\n",
                 turned_over_warning(folded).c_str());
}

}  // namespace

std::string turned_over_warning(const turned_over& folded) {
    const bool one = folded.count == 1;
    return std::to_string(folded.count) + (one ? " element is" : " elements are") + " turned over against " +
           (one ? "its" : "their") + " initial orientation (first: element " + std::to_string(folded.first) + ")";
}

void stop_idle_threads() {
#ifdef VELMORA_HAVE_NEWTON
    stop_blas_workers();
#endif
}

void run(const run_settings& settings) {
    const method* minimiser = find_method(settings.method);
    if (minimiser == nullptr) throw failure(program_error, "no method named " + settings.method);
    if (minimiser->minimise == nullptr)
        throw failure(method_error, "this velmora was built without --method " + settings.method + ": it needs " +
                                        std::string(minimiser->missing));

    model m;
    input(m);
    for (const int node : settings.follow)
        if (node > m.node_count)
            throw failure(range_error, "--follow: node " + std::to_string(node) + " outside 1.." +
                                           std::to_string(m.node_count) + ", the nodes of \"input.txt\"");
    start(m);
    ansys(m);

    std::optional<progress> watch;
    minimise_hooks hooks;
    if (settings.progress) {
        watch.emplace(stderr, settings.progress_in_place);
        hooks.iteration = [&watch](const nlp::iteration_report& r) { watch->update(r); };
        hooks.evaluated = [&watch](long long count) { watch->evaluated(count); };
    }
    const nlp::result result = minimiser->minimise(m, settings, hooks);
    if (watch) watch->finish(result.iterations);
    m.iterations = result.iterations;
    m.energy = result.energy;
    print_verdict(m.iterations, result.optimal);
    warn_turned_over(m);

    autocad(m);
    output(m);
}

}  // namespace velmora
