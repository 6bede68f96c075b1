// Tests of the optimiser package on small objectives with known minima: the
// cubic step, the line search and its failure, the three methods and their
// second search direction against the BFGS update written out here, the
// reports to an observer, and the packed storage of full BFGS.
#include "nlp.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <new>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

namespace {

using terms::fmat1;
using vec = std::vector<double>;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double kClosedFormTol = 1e-14;     // closed forms against the package's scaled formulas
constexpr double kQuadraticStepTol = 1e-12;  // a cubic fitted to a quadratic, up to the roundings of the fit
constexpr double kMinimumTol = 1e-6;         // stopped at residue r: within r / (least curvature)
constexpr double kDirectionTol = 1e-9;       // a direction read back as (x + d) - x loses the last bits of x

fmat1 make(const vec& v) {
    fmat1 a(static_cast<int>(v.size()));
    std::copy(v.begin(), v.end(), a.data());
    return a;
}

vec values(const fmat1& a) { return vec(a.data(), a.data() + a.size()); }

double dot(const vec& a, const vec& b) { return std::inner_product(a.begin(), a.end(), b.begin(), 0.0); }

vec minus(vec a, const vec& b) {
    for (std::size_t i = 0; i < a.size(); ++i) a[i] -= b[i];
    return a;
}

void expect_near(const vec& actual, const vec& expected, double tolerance) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) EXPECT_NEAR(actual[i], expected[i], tolerance) << i + 1;
}

// The objectives log the points they are asked for.
struct logged {
    mutable std::vector<vec> points;
};

// sum (x_i - c)^2.
struct squares : logged {
    double c = 0.3;
    double operator()(int n, const fmat1& x, fmat1& g) const {
        points.push_back(values(x));
        double f = 0;
        for (int i = 1; i <= n; ++i) f += (x(i) - c) * (x(i) - c), g(i) = 2 * (x(i) - c);
        return f;
    }
};

// 1/2 x'Ax - b'x, A symmetric positive definite, b = A x*, plus a quartic
// (x . x)^2 / 4 times `quartic`, which makes the searches inexact.
struct convex_quadratic : logged {
    std::vector<vec> A{{4, 1, 0, 0}, {1, 3, 1, 0}, {0, 1, 2, 0.5}, {0, 0, 0.5, 1}};
    vec minimum{1, -2, 3, 0.5}, b{2, -2, 4.25, 2};
    double quartic = 0;
    double operator()(int, const fmat1& x, fmat1& g) const {
        const vec p = values(x);
        points.push_back(p);
        double f = quartic * dot(p, p) * dot(p, p) / 4;
        for (int i = 0; i < 4; ++i)
            f += 0.5 * p[i] * dot(A[i], p) - b[i] * p[i], g(i + 1) = dot(A[i], p) - b[i] + quartic * dot(p, p) * p[i];
        return f;
    }
};
struct bowl : convex_quadratic {
    bowl() { quartic = 1; }
};

// -x below 0.75, then a steep parabola: a step ending on the flat stretch
// leaves the gradient -1 unchanged.
struct flat_then_wall : logged {
    double operator()(int, const fmat1& x, fmat1& g) const {
        const double v = x(1);
        points.push_back({v});
        g(1) = v < 0.75 ? -1 : 20 * (v - 0.75);
        return v < 0.75 ? -v : 10 * (v - 0.75) * (v - 0.75) - 0.75;
    }
};

// (x1 - 0.3)^2 whose gradient component for x2 is NaN off x1 = 0.
struct nan_away_from_start : logged {
    double operator()(int, const fmat1& x, fmat1& g) const {
        points.push_back(values(x));
        g(1) = 2 * (x(1) - 0.3);
        g(2) = x(1) == 0 ? 0 : nan;
        return (x(1) - 0.3) * (x(1) - 0.3);
    }
};

TEST(NlpCubic, WorkedMinimisersAndFallbacks) {
    const struct {
        double t1, t2, f1, f2, g1, g2, expected, tolerance;
    } cases[] = {
        // p = -4t^3 + 6t^2 - t: slopes of one sign, minimum at 1/2 - sqrt(96)/24.
        {0, 1, 0, 1, -1, -1, 0.5 - std::sqrt(96.0) / 24, kClosedFormTol},
        // z = -0.5, |z| < sqrt(g1 g2) = 1: no minimiser, the midpoint.
        {0, 1, 0, -0.5, -1, -1, 0.5, 0},
        // p = t^3/2 - t^2/2 - t on [0, 2]: p' = 0 at (1 + sqrt 7) / 3.
        {0, 2, 0, 0, -1, 3, (1 + std::sqrt(7.0)) / 3, kClosedFormTol},
        // (t - 0.7)^2 sampled at 0.5 and 1.25: the fit is the parabola.
        {0.5, 1.25, 0.04, 0.3025, -0.4, 1.1, 0.7, kQuadraticStepTol},
        {0, 1, 0, 0, -1, 0, 1, 0},  // zero slope at an end: that end
        {0.25, 1, 0, 0, 0, 3, 0.25, 0},
        {0, 1, 0, 1, -1, nan, 0.5, 0},    // a slope that is not finite: the midpoint
        {0.5, 0.5, 1, 1, -1, 1, 0.5, 0},  // coinciding ends: 0/0 falls to the midpoint
    };
    for (const auto& c : cases)
        EXPECT_NEAR(nlp::cubic(c.t1, c.t2, c.f1, c.f2, c.g1, c.g2), c.expected, c.tolerance) << "case " << &c - cases;
}

// (x - centre)^2 from x0 along d, worked by hand:
//   centre 0.3: t = 1 overshoots (slope 1.4), the cubic lands on 0.3;
//   centre 5: slopes -8, -6, -2 at t = 1, 2, 4 keep doubling, t = 8 brackets;
//   centre 1, eta 0: slope exactly 0 at t = 1, evaluated again and accepted;
//   x0 0.5, d 0.25: trials at 0.5 + 0.25 t for t = 1, 2, ..., 32;
//   eta < 0 rejects every trial: max(search_limit, 1) interpolations.
TEST(NlpLineSearch, TrialsAndEvaluationCountsOnQuadratics) {
    // The first trial points, exactly; the accepted point, or NaN when the budget ends the search.
    const struct {
        double centre, x0, d, limit, eta;
        vec trials;
        std::size_t evaluations;
        double minimum;
    } cases[] = {
        {0.3, 0, 1, 5, 0.9, {1}, 2, 0.3},       {5, 0, 1, 5, 0.9, {1, 2, 4, 8}, 5, 5},
        {1, 0, 1, 5, 0, {1, 1}, 2, 1},          {5, 0.5, 0.25, 5, 0.9, {0.75, 1, 1.5, 2.5, 4.5, 8.5}, 7, 5},
        {5, 0, 1, 0, -1, {1, 2, 4, 8}, 5, nan}, {5, 0, 1, 2, -1, {1, 2, 4, 8}, 6, nan},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "centre " << c.centre << " limit " << c.limit << " eta " << c.eta);
        squares f;
        f.c = c.centre;
        fmat1 x = make({c.x0}), g(1);
        const double f0 = f(1, x, g);
        f.points.clear();
        nlp::linesearch(f, 1, int(c.limit), c.eta, f0, x, g, make({c.d}));
        ASSERT_EQ(f.points.size(), c.evaluations);
        for (std::size_t k = 0; k < c.trials.size(); ++k) EXPECT_EQ(f.points[k][0], c.trials[k]) << k + 1;
        EXPECT_EQ(x(1), f.points.back()[0]);  // the last trial is where the search ends
        if (!std::isnan(c.minimum)) {
            EXPECT_NEAR(x(1), c.minimum, kQuadraticStepTol);
        }
    }
}

constexpr const char* kHalted = "Line Search Failure\nNLP.HALT";

// What f prints, then the name of the failure it raises.
template <class F>
std::string halt_of(F f) {
    testing::internal::CaptureStdout();
    try {
        f();
    } catch (const terms::failure& e) {
        return testing::internal::GetCapturedStdout() + e.name();
    }
    return testing::internal::GetCapturedStdout();
}

// A slope g . d that is not a finite negative number (zero, uphill, NaN,
// -inf, no variables): nothing is evaluated and x stays. lbfgs passes the
// failure on when its first direction -g is 0.
TEST(NlpLineSearchFailure, NoDescentDirectionHaltsBeforeAnyEvaluation) {
    const struct {
        vec x, g, d;
    } cases[] = {{{0.7}, {0.8}, {0}}, {{0.7}, {0.8}, {0.5}}, {{0.7}, {nan}, {-1}}, {{0.7}, {inf}, {-1}}, {{}, {}, {}}};
    for (const auto& c : cases) {
        const squares f;
        fmat1 x = make(c.x), g = make(c.g);
        EXPECT_EQ(halt_of([&] { nlp::linesearch(f, int(c.x.size()), 5, 0.9, 1.0, x, g, make(c.d)); }), kHalted);
        EXPECT_TRUE(f.points.empty());
        EXPECT_EQ(values(x), c.x);
    }
    const squares f;
    fmat1 x = make({0.3, 0.3}), g(2);
    EXPECT_EQ(halt_of([&] { nlp::lbfgs(f, 5, 2, 10, 5, 1e-9, 0.9, x, g); }), kHalted);
    EXPECT_EQ(f.points.size(), 1u);
}

enum class method { lbfgs, mbfgs, bfgs };
const method all_methods[] = {method::lbfgs, method::mbfgs, method::bfgs};

// One run of a method from a start point, with memory 5 and eta 0.9.
template <class F>
struct run {
    F f;
    fmat1 x, g;
    nlp::result r{};
    run(method m, const vec& start, int limit = 500, int search = 20, double residue = 1e-9)
        : x(make(start)), g(static_cast<int>(start.size())) {
        const int n = static_cast<int>(start.size());
        r = m == method::lbfgs   ? nlp::lbfgs(f, 5, n, limit, search, residue, 0.9, x, g)
            : m == method::mbfgs ? nlp::mbfgs(f, n, limit, search, residue, 0.9, x, g)
                                 : nlp::bfgs(f, n, limit, search, residue, 0.9, x, g);
    }
};

class NlpMethod : public testing::TestWithParam<method> {};

// The cubic is exact on a quadratic, so the searches are exact and the
// directions conjugate: n = 4 steps, one more for rounding. The energy and
// gradient returned are those of the final point.
TEST_P(NlpMethod, MinimisesAQuadraticInNSteps) {
    const run<convex_quadratic> q(GetParam(), {0, 0, 0, 0});
    EXPECT_TRUE(q.r.optimal);
    EXPECT_LE(q.r.iterations, 5);
    expect_near(values(q.x), q.f.minimum, kMinimumTol);
    fmat1 g(4);
    EXPECT_EQ(q.f(4, q.x, g), q.r.energy);
    EXPECT_EQ(values(g), values(q.g));
}

// At least one line search, even from a start that passes the residue, and
// at most max_iterations; one search goes along -g = b from 0.
TEST_P(NlpMethod, IterationLimitAndResidueEndTheRun) {
    for (const auto& [limit, residue, iterations, optimal] :
         {std::tuple{0, 1e-9, 1, false}, {3, 1e-9, 3, false}, {500, 1e9, 1, true}}) {
        SCOPED_TRACE(limit);
        const run<convex_quadratic> r(GetParam(), {0, 0, 0, 0}, limit, 20, residue);
        EXPECT_EQ(r.r.iterations, iterations);
        EXPECT_EQ(r.r.optimal, optimal);
        const double t = r.x(1) / 2;  // downhill, or the search would have halted
        if (iterations == 1) expect_near(values(r.x), {2 * t, -2 * t, 4.25 * t, 2 * t}, kDirectionTol);
    }
}

// NaN: the NaN slope at t = 1 sends the cubic to t = 0.5, x1 = 0.3 exactly,
// where the norm is 0, but a gradient holding a NaN is never optimal.
// Unchanged gradient: t = 1 lands on the wall, the one interpolated trial on
// the flat stretch, so y = 0 and the next direction is not finite; the
// method stops with that point instead of searching along NaN.
TEST_P(NlpMethod, NaNOrUnchangedGradientEndsNotOptimal) {
    const run<nan_away_from_start> r(GetParam(), {0, 0}, 500, 1);
    EXPECT_EQ(r.x(1), 0.3);
    EXPECT_EQ(nlp::norm(2, r.g), 0.0);
    EXPECT_FALSE(r.r.optimal);

    const run<flat_then_wall> w(GetParam(), {0}, 500, 1);
    EXPECT_TRUE(w.x(1) > 0 && w.x(1) < 0.75) << w.x(1);
    EXPECT_EQ(w.f.points.size(), 3u);  // start, t = 1, the trial: nothing after
    EXPECT_FALSE(w.r.optimal);
}

INSTANTIATE_TEST_SUITE_P(Methods, NlpMethod, testing::ValuesIn(all_methods), [](const auto& info) {
    return info.param == method::lbfgs ? "Lbfgs" : info.param == method::mbfgs ? "Mbfgs" : "Bfgs";
});

// On the bowl, where the first search is not exact (g1 . s is not 0): the
// first iteration is the same steepest-descent search for every method, so
// the second direction is -H g with H one BFGS update of gamma I, gamma =
// s'y / y'y: with rho = 1 / s'y and w = gamma y,
//   H = gamma I - rho (s w' + w s') + (rho + rho^2 y'w) s s'.
// It is read from the first trial of the second search, (x1 + d) - x1.
TEST(NlpDirection, SecondDirectionIsOneBfgsUpdate) {
    for (method m : all_methods) {
        SCOPED_TRACE(int(m));
        const run<bowl> one(m, {0, 0, 0, 0}, 1), two(m, {0, 0, 0, 0}, 2);
        const vec s = values(one.x), g = values(one.g), y = minus(g, {-2, 2, -4.25, -2});  // g0 = -b
        const double rho = 1 / dot(s, y), gamma = dot(s, y) / dot(y, y), sg = dot(s, g), yg = dot(y, g);
        const double c = rho + rho * rho * gamma * dot(y, y);
        vec d(4);
        for (std::size_t i = 0; i < 4; ++i)
            d[i] = -(gamma * g[i] - rho * (s[i] * gamma * yg + gamma * y[i] * sg) + c * s[i] * sg);
        expect_near(minus(two.f.points.at(one.f.points.size()), s), d, kDirectionTol);
    }
}

// A method run with an observer that keeps every report.
template <class F>
std::vector<nlp::iteration_report> observed_run(method m, const vec& start, int limit, fmat1& x, nlp::result& r) {
    std::vector<nlp::iteration_report> reports;
    const auto keep = [&reports](const nlp::iteration_report& report) { reports.push_back(report); };
    const F f;
    const int n = static_cast<int>(start.size());
    x = make(start);
    fmat1 g(n);
    r = m == method::lbfgs   ? nlp::lbfgs(f, 5, n, limit, 20, 1e-9, 0.9, x, g, keep)
        : m == method::mbfgs ? nlp::mbfgs(f, n, limit, 20, 1e-9, 0.9, x, g, keep)
                             : nlp::bfgs(f, n, limit, 20, 1e-9, 0.9, x, g, keep);
    return reports;
}

// Report k must describe the point where a run limited to k iterations
// stops: its energy and the norm of its gradient. Watching changes nothing:
// the observed run ends at the same point, bit for bit.
TEST(NlpObserver, EachReportIsTheRunStoppedAtThatIteration) {
    for (method m : all_methods) {
        SCOPED_TRACE(int(m));
        fmat1 x;
        nlp::result r{};
        const std::vector<nlp::iteration_report> reports = observed_run<bowl>(m, {0, 0, 0, 0}, 500, x, r);
        const run<bowl> unwatched(m, {0, 0, 0, 0});
        EXPECT_EQ(values(x), values(unwatched.x));
        ASSERT_EQ(reports.size(), static_cast<std::size_t>(r.iterations));
        ASSERT_GE(reports.size(), 3u);
        for (std::size_t k = 1; k <= reports.size(); ++k) {
            const nlp::iteration_report& report = reports[k - 1];
            const run<bowl> stopped(m, {0, 0, 0, 0}, static_cast<int>(k));
            EXPECT_EQ(report.iteration, static_cast<int>(k));
            EXPECT_EQ(report.energy, stopped.r.energy) << k;
            EXPECT_EQ(report.residue, nlp::norm(4, stopped.g)) << k;
            EXPECT_EQ(report.allowable, 1e-9);
            EXPECT_GT(report.step, 0.0);
            EXPECT_EQ(report.increment, 0);
            EXPECT_EQ(report.load, 1.0);
        }
        EXPECT_LE(reports.back().residue, 1e-9);
    }
}

// From 0 the first search goes along d = b, and on a quadratic the cubic
// is exact: the accepted step minimises 1/2 t^2 b'Ab - t b'b, t = b'b / b'Ab.
TEST(NlpObserver, FirstStepIsTheExactMinimiserAlongTheGradient) {
    const convex_quadratic q;
    vec Ab(4);
    for (std::size_t i = 0; i < 4; ++i) Ab[i] = dot(q.A[i], q.b);
    const double exact = dot(q.b, q.b) / dot(q.b, Ab);
    for (method m : all_methods) {
        fmat1 x;
        nlp::result r{};
        const std::vector<nlp::iteration_report> reports = observed_run<convex_quadratic>(m, {0, 0, 0, 0}, 1, x, r);
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_NEAR(reports[0].step, exact, kQuadraticStepTol) << int(m);
    }
}

// n = 70000 needs 2450035000 packed elements, beyond an array with 32-bit
// bounds: refused before any evaluation instead of writing past it.
TEST(NlpBfgs, MatrixBeyondThirtyTwoBitBoundsIsAStorageFailure) {
    constexpr int n = 70000;
    squares f;
    fmat1 x(n), g(n);
    EXPECT_THROW(nlp::bfgs(f, n, 10, 5, 1e-9, 0.9, x, g), std::bad_alloc);
    EXPECT_TRUE(f.points.empty());
}

// By diagonals: the main diagonal 1..n, then the first sub-diagonal, ...,
// (n, 1) last, at n (n + 1) / 2, in 64 bits.
TEST(NlpPos, PackedByDiagonals) {
    const long long cases[][4] = {{3, 1, 1, 1}, {3, 3, 3, 3},  {3, 2, 1, 4},  {3, 3, 2, 5},
                                  {3, 3, 1, 6}, {5, 4, 2, 11}, {5, 5, 1, 15}, {100000, 100000, 1, 5000050000LL}};
    for (const auto& c : cases) EXPECT_EQ(nlp::pos(c[0], c[1], c[2]), c[3]) << c[0] << ": " << c[1] << "," << c[2];
}

}  // namespace
