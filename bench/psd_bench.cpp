// The positive semi-definite projection of one element tangent: a
// compressed element (indefinite: three eigenpairs dropped) and a stretched
// one (nothing to drop, the eigen decomposition alone).
#include <benchmark/benchmark.h>

#include <cstring>

#include "mechanics/tangent_kernel.hpp"
#include "newton/psd_projection.hpp"

namespace {

using velmora::kernel::vec3;

// A right triangle with legs 2 and 1.5 in the xy-plane, neo-Hookean mu 1,
// bulk 10, moved to legs 2 l1 and 1.5 l2 along x and y.
void projection(benchmark::State& state, double l1, double l2) {
    const velmora::kernel::geometry<double> g{{-2, 1.5, 0}, {0, -1.5, 0}, 6.25, -2.25, 2.25, 3};
    const velmora::kernel::constants<double> c{1.0, 0.0, 10.0, 1.0};
    double tangent[81], k[81];
    velmora::kernel::tangent<velmora::material_law::neo_hookean>(g, {0, 0, 0}, {2 * (l1 - 1), 0, 0},
                                                                 {0, 1.5 * (l2 - 1), 0}, c, tangent);
    for (auto _ : state) {
        std::memcpy(k, tangent, sizeof k);
        velmora::project_psd(k);
        benchmark::DoNotOptimize(k);
        benchmark::ClobberMemory();
    }
}

BENCHMARK_CAPTURE(projection, compressed, 0.7, 0.8);
BENCHMARK_CAPTURE(projection, stretched, 1.4, 1.1);

}  // namespace
