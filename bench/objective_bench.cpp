// One evaluation of the objective (total potential energy and gradient) on
// generated strips of 10^4, 10^5 and 10^6 elements. The figure to watch is
// the time per element, which should not grow with the mesh: the element
// sweep streams through memory.
#include <benchmark/benchmark.h>

#include "bench_models.hpp"
#include "mechanics/mechanics.hpp"

namespace {

using velmora::mesh::material_law;

void objective_evaluation(benchmark::State& state, material_law law) {
    const long long elements = state.range(0);
    const velmora::model& m = bench::started_model(elements, law);
    const velmora::fmat1 x = bench::small_displacements(m);
    velmora::fmat1 g(m.dof_count);
    const velmora::objective energy{&m};
    for (auto _ : state) {
        double value = energy(m.dof_count, x, g);
        benchmark::DoNotOptimize(value);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * elements);
    // Seconds per element and evaluation (shown with an SI prefix: "n" is ns).
    state.counters["per_element"] = benchmark::Counter(
        static_cast<double>(elements), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK_CAPTURE(objective_evaluation, neo, material_law::neo_hookean)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(objective_evaluation, mr, material_law::mooney_rivlin)
    ->Arg(10'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
