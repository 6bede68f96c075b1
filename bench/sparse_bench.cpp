// The sparse tangent and its CHOLMOD factorisation on the free-free pattern
// of the strip "velmora-mesh --nx 1000 --ny 500 --length 10 --height 5
// --stretch 2" (10^6 elements, 1 001 999 free degrees of freedom), with the
// values of a linear-elastic plane-strain stiffness: per element the
// constant-strain triangle's B' D B A t in x and y, nothing in z (every z is
// held). Symmetric positive definite, as a tangent near the start state is.
//
// Figures: the pattern (with its METIS order of nodes) and one assembly;
// the symbolic analysis (with the entries and flops of the factor and
// CHOLMOD's peak allocation); one numeric factorisation and one solve; and
// whether two factorisations and solves give the same bits. Peak memory of the process (max RSS) is a counter; run one
// benchmark per process to read it for that benchmark alone.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "model/steps.hpp"
#include "newton/sparse_cholesky.hpp"
#include "read/input.hpp"
#include "strip.hpp"

namespace {

using velmora::sparse_cholesky;
using velmora::tangent_pattern;

constexpr double young = 1.0, poisson = 0.3;  // of the synthetic stiffness

struct problem {
    velmora::model m;
    tangent_pattern pattern;
    std::vector<double> values;
    std::vector<double> b;
};

// The 9 x 9 stiffness of element e: k(3a + d, 3b + c) for corners a, b and
// in-plane directions d, c; with shape-function gradients (b_a, c_a) / 2A,
// B = [b 0; 0 c; c b] / 2A per corner and D of plane strain.
void elastic_cst(const velmora::model& m, int e, double* k) {
    const velmora::element_rec& el = m.elements.data()[e - 1];
    double x[3], y[3];
    for (int a = 0; a < 3; ++a) {
        x[a] = m.x.data()[el.node.component[a] - 1];
        y[a] = m.y.data()[el.node.component[a] - 1];
    }
    double bx[3], cy[3];
    for (int a = 0; a < 3; ++a) {
        bx[a] = y[(a + 1) % 3] - y[(a + 2) % 3];
        cy[a] = x[(a + 2) % 3] - x[(a + 1) % 3];
    }
    const double area = 0.5 * (cy[2] * bx[1] - cy[1] * bx[2]);
    const double lambda = young * poisson / ((1 + poisson) * (1 - 2 * poisson)), mu = young / (2 * (1 + poisson));
    const double s = m.thickness / (4 * area);  // t A / (2A)^2
    std::memset(k, 0, 81 * sizeof(double));
    for (int a = 0; a < 3; ++a)
        for (int c = 0; c < 3; ++c) {
            double* xx = k + (3 * a) * 9 + 3 * c;
            double* yy = k + (3 * a + 1) * 9 + 3 * c;
            xx[0] = s * ((lambda + 2 * mu) * bx[a] * bx[c] + mu * cy[a] * cy[c]);
            xx[1] = s * (lambda * bx[a] * cy[c] + mu * cy[a] * bx[c]);
            yy[0] = s * (lambda * cy[a] * bx[c] + mu * bx[a] * cy[c]);
            yy[1] = s * ((lambda + 2 * mu) * cy[a] * cy[c] + mu * bx[a] * bx[c]);
        }
}

const problem& strip_problem() {
    static const std::unique_ptr<problem> p = [] {
        auto q = std::make_unique<problem>();
        velmora::mesh::strip s = velmora::mesh::unit_cells(1000, 500);
        s.length = 10;
        s.height = 5;
        s.stretch = 2;
        s.reference_residue = 1.0;  // the set-up evaluates nothing
        std::string text;
        velmora::mesh::write(s, text);
        velmora::read_model(q->m, text, "input.txt");
        velmora::start(q->m);
        q->pattern = tangent_pattern(q->m);
        q->values.resize(std::size_t(q->pattern.nonzeros()));
        velmora::assemble(
            q->pattern, q->m, [&m = q->m](int e, double* k) { elastic_cst(m, e, k); }, q->values.data());
        q->b.resize(std::size_t(q->pattern.n));
        for (std::size_t i = 0; i < q->b.size(); ++i) q->b[i] = 1.0 + 0.5 * double(i % 7);
        return q;
    }();
    return *p;
}

double peak_rss_bytes() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_maxrss) * 1024.0;
}

void report(benchmark::State& state, const problem& p, const sparse_cholesky::figures& f) {
    state.counters["factor_nonzeros"] = f.factor_nonzeros;
    state.counters["gflop"] = f.flops * 1e-9;
    state.counters["cholmod_peak_MB"] = double(f.peak_bytes) / 1e6;
    state.counters["supernodal"] = f.supernodal;
    state.counters["max_rss_MB"] = peak_rss_bytes() / 1e6;
    state.counters["rss_per_element"] = peak_rss_bytes() / p.m.element_count();
}

void tangent_pattern_of_strip(benchmark::State& state) {
    const problem& p = strip_problem();
    for (auto _ : state) {
        tangent_pattern t(p.m);
        benchmark::DoNotOptimize(t.row.data());
    }
    state.counters["n"] = double(p.pattern.n);
    state.counters["nonzeros"] = double(p.pattern.nonzeros());
    const auto& t = p.pattern;
    const std::size_t per_node = t.node_first.size() * 4 + t.node_free.size() + t.node_directions.size();
    state.counters["pattern_MB"] =
        double(t.column_start.size() * 8 + t.row.size() * 8 + t.at.size() * 4 + per_node + t.block_offset.size() * 4) /
        1e6;
}
BENCHMARK(tangent_pattern_of_strip)->Unit(benchmark::kMillisecond)->Iterations(2);

void tangent_assembly_of_strip(benchmark::State& state) {
    const problem& p = strip_problem();
    std::vector<double> values(p.values.size());
    for (auto _ : state) {
        velmora::assemble(
            p.pattern, p.m, [&p](int e, double* k) { elastic_cst(p.m, e, k); }, values.data());
        benchmark::ClobberMemory();
    }
    if (values != p.values) state.SkipWithError("assembly differs from the first one");
}
BENCHMARK(tangent_assembly_of_strip)->Unit(benchmark::kMillisecond)->Iterations(5);

void symbolic_analysis(benchmark::State& state) {
    const problem& p = strip_problem();
    sparse_cholesky::figures f{};
    for (auto _ : state) {
        sparse_cholesky chol(p.pattern);
        f = chol.statistics();
    }
    report(state, p, f);
}
BENCHMARK(symbolic_analysis)->Unit(benchmark::kMillisecond)->Iterations(2);

void numeric_factorisation(benchmark::State& state) {
    const problem& p = strip_problem();
    sparse_cholesky chol(p.pattern);
    for (auto _ : state)
        if (!chol.factorise(p.values.data())) state.SkipWithError("not positive definite");
    report(state, p, chol.statistics());
}
BENCHMARK(numeric_factorisation)->Unit(benchmark::kMillisecond)->Iterations(3);

void solve(benchmark::State& state) {
    const problem& p = strip_problem();
    sparse_cholesky chol(p.pattern);
    if (!chol.factorise(p.values.data())) state.SkipWithError("not positive definite");
    std::vector<double> x(p.b.size()), r(p.b.size());
    for (auto _ : state) {
        chol.solve(p.b.data(), x.data());
        benchmark::ClobberMemory();
    }
    // Relative residue |K x - b| / |b|, largest component.
    velmora::multiply(p.pattern, p.values.data(), x.data(), r.data());
    double worst = 0, scale = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        worst = std::max(worst, std::abs(r[i] - p.b[i]));
        scale = std::max(scale, std::abs(p.b[i]));
    }
    state.counters["residue"] = worst / scale;
    report(state, p, chol.statistics());
}
BENCHMARK(solve)->Unit(benchmark::kMillisecond)->Iterations(10);

// Factorisations and solves repeated on one analysis, and on a new one,
// must give the same bits. The label is a digest of the solution, to compare between
// processes.
void repeated_solution(benchmark::State& state) {
    const problem& p = strip_problem();
    std::vector<double> first(p.b.size()), x(p.b.size());
    {
        sparse_cholesky chol(p.pattern);
        if (!chol.factorise(p.values.data())) state.SkipWithError("not positive definite");
        chol.solve(p.b.data(), first.data());
    }
    int differing = 0;
    for (auto _ : state) {
        sparse_cholesky chol(p.pattern);
        for (int k = 0; k < 2; ++k) {
            chol.factorise(p.values.data());
            chol.solve(p.b.data(), x.data());
            differing += std::memcmp(x.data(), first.data(), x.size() * sizeof(double)) != 0;
        }
    }
    if (differing != 0) state.SkipWithError("solutions differ between repetitions");
    std::uint64_t digest = 1469598103934665603u;  // FNV-1a over the bytes
    const auto* bytes = reinterpret_cast<const unsigned char*>(first.data());
    for (std::size_t i = 0; i < first.size() * sizeof(double); ++i) digest = (digest ^ bytes[i]) * 1099511628211u;
    state.SetLabel("digest " + std::to_string(digest));
}
BENCHMARK(repeated_solution)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
