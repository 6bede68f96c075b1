// The three writers on a 10^5-element strip at a deformed state, each
// writing its real file in a scratch directory: bytes written per second,
// the exact rounding of every real included.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>

#include "bench_models.hpp"
#include "model/steps.hpp"

namespace {

constexpr long long writer_elements = 100'000;
constexpr int iterations_shown = 20;  // the report's iteration count

// The model at a deformed state, as the writers after the minimiser see it.
velmora::model& solved_model() {
    static const std::unique_ptr<velmora::model> m = [] {
        auto made = bench::new_started_model(writer_elements, velmora::mesh::material_law::neo_hookean);
        made->displacement = bench::small_displacements(*made);
        made->iterations = iterations_shown;
        return made;
    }();
    return *m;
}

void report_bytes(benchmark::State& state, const char* file) {
    const auto bytes = static_cast<long long>(std::filesystem::file_size(file));
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}

void write_ansys(benchmark::State& state) {
    const velmora::model& m = solved_model();
    for (auto _ : state) velmora::ansys(m);
    report_bytes(state, "ansys.txt");
}

void write_autocad(benchmark::State& state) {
    const velmora::model& m = solved_model();
    for (auto _ : state) velmora::autocad(m);
    report_bytes(state, "autocad.scr");
}

// The report turns the applied forces into residuals; each round starts
// from the applied forces again, outside the timing.
void write_output(benchmark::State& state) {
    velmora::model& m = solved_model();
    velmora::fmat2 applied(m.node_count, 3);
    std::copy(m.force.data(), m.force.data() + m.force.size(), applied.data());
    for (auto _ : state) {
        velmora::output(m);
        state.PauseTiming();
        std::copy(applied.data(), applied.data() + applied.size(), m.force.data());
        state.ResumeTiming();
    }
    report_bytes(state, "output.txt");
}

BENCHMARK(write_ansys)->Unit(benchmark::kMillisecond);
BENCHMARK(write_autocad)->Unit(benchmark::kMillisecond);
BENCHMARK(write_output)->Unit(benchmark::kMillisecond);

}  // namespace
