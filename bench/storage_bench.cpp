// What storage costs before a step can use it: an array of 64 MB created
// (its components set to zero, as every array of the model and the
// minimiser is) and released, against the same array set to zero again.
// An array this large is mapped afresh by the C library at each creation,
// so fresh_storage pays the first touch of every page, as a run does for
// all of its storage; on a virtual machine that can cost more than the
// step's own work.
#include <benchmark/benchmark.h>

#include "terms.hpp"

namespace {

constexpr long long megabyte = 1 << 20;
constexpr long long page = 4096;

void report(benchmark::State& state, long long bytes) {
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["per_page"] = benchmark::Counter(
        static_cast<double>(bytes / page), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void fresh_storage(benchmark::State& state) {
    const long long bytes = state.range(0) * megabyte;
    for (auto _ : state) {
        terms::fmat1 v(static_cast<int>(bytes / 8));
        benchmark::DoNotOptimize(v.data());
        benchmark::ClobberMemory();
    }
    report(state, bytes);
}

void touched_storage(benchmark::State& state) {
    const long long bytes = state.range(0) * megabyte;
    terms::fmat1 v(static_cast<int>(bytes / 8));
    for (auto _ : state) {
        v.fill(0.0);
        benchmark::DoNotOptimize(v.data());
        benchmark::ClobberMemory();
    }
    report(state, bytes);
}

BENCHMARK(fresh_storage)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(touched_storage)->Arg(64)->Unit(benchmark::kMillisecond);

}  // namespace
