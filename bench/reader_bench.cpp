// The reader of "input.txt" on the text of generated strips: bytes of model
// text per second, from memory (read_model on the text) and from a file
// read a piece at a time, as a run reads "input.txt" (read_model_file; the
// file is in the system's cache after the first pass).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "bench_models.hpp"
#include "read/input.hpp"

namespace {

void report(benchmark::State& state, const std::string& text) {
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(text.size()));
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
}

void read_model(benchmark::State& state) {
    const std::string& text = bench::model_text(state.range(0), velmora::mesh::material_law::neo_hookean);
    for (auto _ : state) {
        velmora::model m;
        velmora::read_model(m, text, "input.txt");
        benchmark::DoNotOptimize(m.elements.data());
        benchmark::ClobberMemory();
    }
    report(state, text);
}

struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

void read_model_file(benchmark::State& state) {
    const std::string& text = bench::model_text(state.range(0), velmora::mesh::material_law::neo_hookean);
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("velmora-bench-" + std::to_string(state.range(0)) + ".txt");
    {
        const std::unique_ptr<std::FILE, file_closer> out(std::fopen(path.c_str(), "wb"));
        if (out == nullptr || std::fwrite(text.data(), 1, text.size(), out.get()) != text.size()) {
            state.SkipWithError("cannot write the model file");
            return;
        }
    }
    for (auto _ : state) {
        const std::unique_ptr<std::FILE, file_closer> in(std::fopen(path.c_str(), "rb"));
        velmora::model m;
        velmora::read_model(m, in.get(), text.size(), "input.txt", std::size_t{1} << 20);
        benchmark::DoNotOptimize(m.elements.data());
        benchmark::ClobberMemory();
    }
    std::filesystem::remove(path);
    report(state, text);
}

BENCHMARK(read_model)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(read_model_file)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace
