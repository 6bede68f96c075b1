// One search direction of the limited-memory BFGS method (the two-loop
// recursion) with a full ring of 7 correction pairs, at 10^6 unknowns.
#include <benchmark/benchmark.h>

#include <cmath>

#include "lbfgs.hpp"

namespace {

constexpr int pairs = 7;  // memory of the strip example, the ring full

// A correction pair with s . y > 0, as a convex objective gives; returns s . y.
double fill_pair(int n, int which, terms::fmat1& s, terms::fmat1& y) {
    double sy = 0;
    for (int i = 0; i < n; ++i) {
        const double si = 1e-3 * std::sin(0.1 * i + which);
        s.data()[i] = si;
        y.data()[i] = si * (1.5 + 0.5 * std::cos(0.07 * i + which));
        sy = sy + y.data()[i] * si;
    }
    return sy;
}

void lbfgs_direction(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    terms::fmat1 s(n), y(n), g(n), d(n);
    nlp::ring ring(n, s, y, fill_pair(n, 0, s, y));
    for (int k = 1; k < pairs; ++k) {
        const double sy = fill_pair(n, k, s, y);
        ring.insert(n, s, y, sy);
    }
    for (int i = 0; i < n; ++i) g.data()[i] = std::cos(0.3 * i);
    for (auto _ : state) {
        ring.direction(g, d);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
    state.counters["per_component"] = benchmark::Counter(
        static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(lbfgs_direction)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace
