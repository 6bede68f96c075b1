// The element tangent of the Newton path: a sweep over every element of
// generated strips (corners gathered as the assembly gathers them, one 9 x 9
// tangent per element), and the positive semi-definite projection of one
// tangent. The figure to watch is the time per element.
#include <benchmark/benchmark.h>

#include "bench_models.hpp"
#include "mechanics/element_gather.hpp"
#include "mechanics/tangent_kernel.hpp"

namespace {

using velmora::mesh::material_law;

template <velmora::material_law Law>
void sweep(benchmark::State& state, material_law law) {
    const long long elements = state.range(0);
    const velmora::model& m = bench::started_model(elements, law);
    const velmora::fmat1 x = bench::small_displacements(m);
    const velmora::corner_gather c(m, x);
    const velmora::kernel::constants<double>& constants = Law == velmora::material_law::neo_hookean ? c.neo : c.mr;
    velmora::corners u;
    double k[81];
    for (auto _ : state) {
        for (int e = 1; e <= m.element_count(); ++e) {
            const velmora::element_rec& el = m.elements(e);
            c.gather(el, u);
            velmora::kernel::tangent<Law>(velmora::geometry_of(el), u.u[0], u.u[1], u.u[2], constants, k);
            benchmark::DoNotOptimize(k);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * elements);
    // Seconds per element tangent (shown with an SI prefix: "n" is ns).
    state.counters["per_element"] = benchmark::Counter(
        static_cast<double>(elements), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void tangent_sweep(benchmark::State& state, material_law law) {
    if (law == material_law::neo_hookean)
        sweep<velmora::material_law::neo_hookean>(state, law);
    else
        sweep<velmora::material_law::mooney_rivlin>(state, law);
}

BENCHMARK_CAPTURE(tangent_sweep, neo, material_law::neo_hookean)
    ->Arg(10'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(tangent_sweep, mr, material_law::mooney_rivlin)
    ->Arg(10'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
