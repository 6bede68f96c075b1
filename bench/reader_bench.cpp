// The reader of "input.txt" on the text of generated strips, in memory (no
// file system): bytes of model text per second.
#include <benchmark/benchmark.h>

#include "bench_models.hpp"
#include "input.hpp"

namespace {

void read_model(benchmark::State& state) {
    const std::string& text = bench::model_text(state.range(0), velmora::mesh::material_law::neo_hookean);
    for (auto _ : state) {
        velmora::model m;
        velmora::read_model(m, text, "input.txt");
        benchmark::DoNotOptimize(m.elements.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(text.size()));
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
}

BENCHMARK(read_model)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace
