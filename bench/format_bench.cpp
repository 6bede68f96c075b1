// The number formats of the output files: reals with exact rounding half
// away from zero, and right-aligned integers. Figures are numbers per
// second (items_per_second).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "write/format.hpp"

namespace {

constexpr int sample_count = 4096;

// The (fore, aft, exp) triples the writers use: displacements and the
// summary (2, 8, 3), stresses, reactions and the deck (2, 6, 3), drawing
// coordinates (1, 6, 3).
struct layout {
    int fore, aft, exp;
};
constexpr layout layouts[] = {{2, 8, 3}, {2, 6, 3}, {1, 6, 3}};

// A fixed pseudo-random sequence (64-bit linear congruential), so that
// every run formats the same numbers.
class sequence {
public:
    double uniform() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state_ >> 11) * 0x1p-53;
    }

private:
    std::uint64_t state_ = 12345;
};

enum class mix { files, reals, whole };

// files: what the writers meet on a strip: a quarter exact zeros (every z),
// a sixth whole coordinates 0..1000 of a unit-cell mesh, the rest reals of
// either sign with magnitudes spread evenly over 1e-6 .. 1e3.
// reals: only the last kind. whole: only whole coordinates.
std::vector<double> samples(mix kind) {
    sequence r;
    std::vector<double> v(sample_count);
    for (double& x : v) {
        const double pick = kind == mix::files ? r.uniform() : kind == mix::reals ? 1.0 : 0.3;
        if (pick < 0.25) {
            x = 0;
        } else if (pick < 0.25 + 1.0 / 6) {
            x = std::floor(r.uniform() * 1001);
        } else {
            const double magnitude = std::pow(10.0, -6 + 9 * r.uniform());
            x = r.uniform() < 0.5 ? -magnitude : magnitude;
        }
    }
    return v;
}

void format_real(benchmark::State& state, mix kind) {
    const std::vector<double> values = samples(kind);
    std::vector<char> buffer(static_cast<std::size_t>(sample_count) * (16 + velmora::max_number_chars));
    for (auto _ : state) {
        char* p = buffer.data();
        int which = 0;
        for (double v : values) {
            const layout& l = layouts[which];
            which = which == 2 ? 0 : which + 1;
            p = velmora::format_real(p, v, l.fore, l.aft, l.exp);
        }
        benchmark::DoNotOptimize(p);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * sample_count);
}
BENCHMARK_CAPTURE(format_real, file_mix, mix::files);
BENCHMARK_CAPTURE(format_real, reals, mix::reals);
BENCHMARK_CAPTURE(format_real, whole_numbers, mix::whole);

// Node and element numbers in width 5 and the drawing's unpadded ones.
void format_integer(benchmark::State& state) {
    sequence r;
    std::vector<long long> values(sample_count);
    for (long long& n : values) n = static_cast<long long>(r.uniform() * 1'000'000) + 1;
    std::vector<char> buffer(static_cast<std::size_t>(sample_count) * 24);
    for (auto _ : state) {
        char* p = buffer.data();
        for (long long n : values) p = velmora::format_integer(p, n, 5);
        benchmark::DoNotOptimize(p);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * sample_count);
}
BENCHMARK(format_integer);

}  // namespace
