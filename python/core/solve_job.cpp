// A solve on a thread of its own. See solve_job.hpp.
#include "solve_job.hpp"

#include <cfenv>
#include <optional>

#include "model/steps.hpp"
#ifdef VELMORA_HAVE_NEWTON
#include "newton/dense_kernels.hpp"
#endif

namespace velmora::python {

namespace {

void minimise(solve_job& job) {
    solution& s = *job.out;
    model& m = s.m;
    start(m);
    // The deck, written before the minimiser in a run, needs the material.
    (void)m.the_material();

    minimise_hooks hooks;
    hooks.iteration = [&job](const nlp::iteration_report& r) {
        if (job.stop.load(std::memory_order_relaxed)) throw stopped{};
        if (!job.queue_reports) return;
        const std::lock_guard<std::mutex> hold(job.lock);
        job.reports.push_back(r);
        if (job.reports.size() == 1) job.changed.notify_all();
    };
    hooks.evaluated = [&job, &s](long long count) {
        s.evaluations += count;
        if (job.stop.load(std::memory_order_relaxed)) throw stopped{};
    };
    hooks.path = &s.path;
    hooks.warning = [&s](const std::string& text) { s.warnings.push_back(text); };

    const bool follows_loads = job.settings.method == "newton";
#ifdef VELMORA_HAVE_NEWTON
    // The program's bits need OpenBLAS on one thread; the process's other
    // users of it (NumPy) get their thread count back after the solve.
    std::optional<one_blas_thread> blas;
    if (follows_loads) blas.emplace();
#endif
    s.result = job.how->minimise(m, job.settings, hooks);
    m.iterations = s.result.iterations;
    m.energy = s.result.energy;
    s.load = !follows_loads ? 1.0 : s.path.rows.empty() ? 0.0 : s.path.rows.back().load;
    s.find_results();
    if (s.folded.count > 0) s.warnings.push_back(turned_over_warning(s.folded));
}

}  // namespace

void run_job(solve_job& job) {
    std::fenv_t caller;
    std::feholdexcept(&caller);
    std::fesetenv(FE_DFL_ENV);
    std::exception_ptr failure;
    try {
        minimise(job);
    } catch (...) {
        failure = std::current_exception();
    }
    std::fesetenv(&caller);
    const std::lock_guard<std::mutex> hold(job.lock);
    job.failure = failure;
    job.done = true;
    job.changed.notify_all();
}

}  // namespace velmora::python
