// Tests of the optimiser package: the cubic step, the line search and its
// failure, the three methods, the ring of correction pairs and the packed
// storage, on small objectives with known minima. Search directions are
// compared with the BFGS formula written out densely here.
#include "nlp.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using terms::fmat1;
using vec = std::vector<double>;
using matrix = std::vector<vec>;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// Closed forms in double precision against the package's scaled formulas.
constexpr double kClosedFormTol = 1e-14;
// A cubic fitted to a quadratic reproduces it up to the roundings of the fit.
constexpr double kQuadraticStepTol = 1e-12;
// Stopped at residue r, a minimiser is within r / (least curvature) of the minimum.
constexpr double kMinimumTol = 1e-6;
// A direction read back as (x + d) - x loses the last bits of x.
constexpr double kDirectionTol = 1e-9;

fmat1 make(const vec& v) {
    fmat1 a(static_cast<int>(v.size()));
    for (std::size_t i = 0; i < v.size(); ++i) a(static_cast<int>(i) + 1) = v[i];
    return a;
}

vec values(const fmat1& a) {
    vec v;
    for (int i = a.first(); i <= a.last(); ++i) v.push_back(a(i));
    return v;
}

double dot(const vec& a, const vec& b) {
    double s = 0;
    for (std::size_t i = 0; i < a.size(); ++i) s += a[i] * b[i];
    return s;
}

vec minus(const vec& a, const vec& b) {
    vec r(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) r[i] = a[i] - b[i];
    return r;
}

void expect_same_vector(const vec& actual, const vec& expected, double relative) {
    ASSERT_EQ(actual.size(), expected.size());
    double scale = 0;
    for (double e : expected) scale = std::max(scale, std::fabs(e));
    for (std::size_t i = 0; i < actual.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], relative * scale) << "component " << i + 1;
}

// ---------------------------------------------------------------------------
// Objectives; each counts its evaluations and logs the points asked for.

struct evaluation_log {
    mutable int evaluations = 0;
    mutable std::vector<vec> points;
    void record(const fmat1& x) const {
        ++evaluations;
        points.push_back(values(x));
    }
};

// sum (x_i - c)^2 over however many variables there are, none included.
struct squares : evaluation_log {
    double c = 0.3;
    double operator()(int n, const fmat1& x, fmat1& g) const {
        record(x);
        double f = 0;
        for (int i = 1; i <= n; ++i) {
            g(i) = 2 * (x(i) - c);
            f += (x(i) - c) * (x(i) - c);
        }
        return f;
    }
};

// 1/2 x'Ax - b'x, A symmetric positive definite, b = A x*.
struct convex_quadratic : evaluation_log {
    matrix A{{4, 1, 0, 0}, {1, 3, 1, 0}, {0, 1, 2, 0.5}, {0, 0, 0.5, 1}};
    vec minimum{1, -2, 3, 0.5}, b{2, -2, 4.25, 2};  // b = A x*
    double operator()(int, const fmat1& x, fmat1& g) const {
        record(x);
        const vec p = values(x);
        double f = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            g(static_cast<int>(i) + 1) = dot(A[i], p) - b[i];
            f += 0.5 * p[i] * dot(A[i], p) - b[i] * p[i];
        }
        return f;
    }
};

// 100 (y - x^2)^2 + (1 - x)^2, minimum 0 at (1, 1).
struct rosenbrock : evaluation_log {
    double operator()(int, const fmat1& x, fmat1& g) const {
        record(x);
        const double a = x(1), b = x(2);
        g(1) = -400 * a * (b - a * a) - 2 * (1 - a);
        g(2) = 200 * (b - a * a);
        return 100 * (b - a * a) * (b - a * a) + (1 - a) * (1 - a);
    }
};

// sum i (x_i - 1)^2 + (x . x)^2 / 4: convex, not quadratic, so that every
// correction pair carries different curvature.
struct quartic_bowl : evaluation_log {
    double operator()(int n, const fmat1& x, fmat1& g) const {
        record(x);
        double xx = 0;
        for (int i = 1; i <= n; ++i) xx += x(i) * x(i);
        double f = xx * xx / 4;
        for (int i = 1; i <= n; ++i) {
            g(i) = 2 * i * (x(i) - 1) + xx * x(i);
            f += i * (x(i) - 1) * (x(i) - 1);
        }
        return f;
    }
};

// -x below 0.75, then a steep parabola: the slope is -1 over the whole
// first stretch, so a step ending there leaves the gradient unchanged.
struct flat_then_wall : evaluation_log {
    double operator()(int, const fmat1& x, fmat1& g) const {
        record(x);
        const double v = x(1);
        g(1) = v < 0.75 ? -1 : 20 * (v - 0.75);
        return v < 0.75 ? -v : 10 * (v - 0.75) * (v - 0.75) - 0.75;
    }
};

// (x1 - 0.3)^2 whose gradient component for x2 is NaN off x1 = 0.
struct nan_away_from_start : evaluation_log {
    double operator()(int, const fmat1& x, fmat1& g) const {
        record(x);
        g(1) = 2 * (x(1) - 0.3);
        g(2) = x(1) == 0 ? 0 : nan;
        return (x(1) - 0.3) * (x(1) - 0.3);
    }
};

// ===========================================================================
// cubic

TEST(NlpCubic, WorkedMinimisersAndFallbacks) {
    const struct {
        double t1, t2, f1, f2, g1, g2, expected, tolerance;
    } cases[] = {
        // p = -4t^3 + 6t^2 - t: slopes of one sign, minimum at 1/2 - sqrt(96)/24 = 0.0917...
        {0, 1, 0, 1, -1, -1, 0.5 - std::sqrt(96.0) / 24, kClosedFormTol},
        // z = -0.5, |z| < sqrt(g1 g2) = 1: no minimiser, the midpoint.
        {0, 1, 0, -0.5, -1, -1, 0.5, 0},
        // p = t^3/2 - t^2/2 - t on [0, 2]: p' = 0 at (1 + sqrt 7) / 3 = 1.215...
        {0, 2, 0, 0, -1, 3, (1 + std::sqrt(7.0)) / 3, kClosedFormTol},
        // (t - 0.7)^2 sampled at 0.5 and 1.25: the fit is the parabola.
        {0.5, 1.25, 0.04, 0.3025, -0.4, 1.1, 0.7, kQuadraticStepTol},
        {0, 1, 0, 0, -1, 0, 1, 0},         // zero slope at an end: that end
        {0.25, 1, 0, 0, 0, 3, 0.25, 0},
        {0, 1, 0, 1, -1, nan, 0.5, 0},     // a slope that is not finite: the midpoint
        {2, 4, 0, 1, -1, inf, 3, 0},
        {0.5, 0.5, 1, 1, -1, 1, 0.5, 0},   // coinciding ends: 0/0 falls to the midpoint
    };
    for (const auto& c : cases)
        EXPECT_NEAR(nlp::cubic(c.t1, c.t2, c.f1, c.f2, c.g1, c.g2), c.expected, c.tolerance)
            << c.t1 << " " << c.t2 << " " << c.f1 << " " << c.f2 << " " << c.g1 << " " << c.g2;
}

// ===========================================================================
// linesearch

// (x - centre)^2 from x0 along d, worked by hand:
//   centre 0.3: t = 1 overshoots (slope 1.4), the cubic lands on 0.3;
//   centre 5: slopes -8, -6, -2 at t = 1, 2, 4 keep doubling, t = 8 brackets;
//   centre 1: slope exactly 0 at t = 1, which is evaluated again and accepted;
//   x0 0.5, d 0.25: trials at 0.5 + 0.25 t for t = 1, 2, ..., 32;
//   eta < 0 rejects every trial: max(search_limit, 1) interpolations;
//   eta 0 accepts only a zero slope.
TEST(NlpLineSearch, TrialsAndEvaluationCountsOnQuadratics) {
    const struct {
        double centre, x0, d;
        int search_limit;
        double eta;
        vec trials;  // the first trial points, exactly
        int evaluations;
        double minimum;  // the accepted point, or NaN when the budget ended the search
    } cases[] = {
        {0.3, 0, 1, 5, 0.9, {1}, 2, 0.3},          {5, 0, 1, 5, 0.9, {1, 2, 4, 8}, 5, 5},
        {1, 0, 1, 5, 0.9, {1, 1}, 2, 1},           {5, 0.5, 0.25, 5, 0.9, {0.75, 1, 1.5, 2.5, 4.5, 8.5}, 7, 5},
        {1, 0, 1, 5, 0, {1, 1}, 2, 1},             {5, 0, 1, 1, -1, {1, 2, 4, 8}, 5, nan},
        {5, 0, 1, 0, -1, {1, 2, 4, 8}, 5, nan},    {5, 0, 1, -3, -1, {1, 2, 4, 8}, 5, nan},
        {5, 0, 1, 2, -1, {1, 2, 4, 8}, 6, nan},    {5, 0, 1, 6, -1, {1, 2, 4, 8}, 10, nan},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "centre " << c.centre << " limit " << c.search_limit << " eta " << c.eta);
        squares f;
        f.c = c.centre;
        fmat1 x = make({c.x0}), g(1);
        const double f0 = f(1, x, g);
        f.evaluations = 0;
        f.points.clear();
        const double value = nlp::linesearch(f, 1, c.search_limit, c.eta, f0, x, g, make({c.d}));
        EXPECT_EQ(f.evaluations, c.evaluations);
        for (std::size_t k = 0; k < c.trials.size() && k < f.points.size(); ++k)
            EXPECT_EQ(f.points[k][0], c.trials[k]) << "trial " << k + 1;
        if (!std::isnan(c.minimum)) {
            EXPECT_NEAR(x(1), c.minimum, kQuadraticStepTol);
        }
        // What is returned is the last trial, its value and gradient.
        const double last = f.points.back()[0];
        EXPECT_EQ(x(1), last);
        EXPECT_EQ(value, (last - c.centre) * (last - c.centre));
        EXPECT_EQ(g(1), 2 * (last - c.centre));
    }
}

// Runs f, expecting the console line and HALT.
template <class F>
void expect_halt(F f) {
    std::string name, message;
    testing::internal::CaptureStdout();
    try {
        f();
    } catch (const terms::failure& e) {
        name = e.name();
        message = e.message();
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Line Search Failure\n");
    EXPECT_EQ(name, "NLP.HALT");
    EXPECT_EQ(message, "nlp:126 instantiated at velmora:483");
}

// A slope g . d that is not a finite negative number: zero or uphill
// direction, zero gradient, NaN, -inf (an infinite threshold), no variables.
// Nothing is evaluated and x stays. lbfgs passes the failure on when its
// first direction -g is 0.
TEST(NlpLineSearchFailure, NoDescentDirectionHaltsBeforeAnyEvaluation) {
    const struct {
        vec x, g, d;
    } cases[] = {{{0.7}, {0.8}, {0}},  {{0.7}, {0.8}, {0.5}}, {{0.3}, {0}, {-1}},
                 {{0.7}, {nan}, {-1}}, {{0.7}, {inf}, {-1}},  {{}, {}, {}}};
    for (const auto& c : cases) {
        const squares f;
        fmat1 x = make(c.x), g = make(c.g);
        expect_halt([&] { nlp::linesearch(f, static_cast<int>(c.x.size()), 5, 0.9, 1.0, x, g, make(c.d)); });
        EXPECT_EQ(f.evaluations, 0);
        EXPECT_EQ(values(x), c.x);
    }
    for (const vec& start : {vec{0.3, 0.3}, vec{}}) {
        const squares f;
        fmat1 x = make(start), g(static_cast<int>(start.size()));
        expect_halt([&] { nlp::lbfgs(f, 5, static_cast<int>(start.size()), 10, 5, 1e-9, 0.9, x, g); });
        EXPECT_EQ(f.evaluations, 1);
    }
}

// ===========================================================================
// The methods

// d = 0.6; t = 1 gives x = 0.6, the cubic t = 0.5, x = 0.3, where the
// gradient passes. A start already within the residue still searches once.
TEST(NlpLbfgs, OneVariableWorkedExample) {
    squares f;
    fmat1 x = make({0}), g(1);
    const nlp::result r = nlp::lbfgs(f, 5, 1, 10, 5, 1e-9, 0.9, x, g);
    EXPECT_EQ(r.iterations, 1);
    EXPECT_TRUE(r.optimal);
    EXPECT_NEAR(x(1), 0.3, kQuadraticStepTol);
    EXPECT_NEAR(r.energy, 0, kQuadraticStepTol * kQuadraticStepTol);
    ASSERT_EQ(f.evaluations, 3);  // start point, t = 1, t = 0.5
    EXPECT_EQ(f.points[1][0], 0.6);

    squares near;
    fmat1 y = make({0.3 + 1e-9}), h(1);
    const nlp::result s = nlp::lbfgs(near, 5, 1, 10, 5, 1e-6, 0.9, y, h);
    EXPECT_EQ(s.iterations, 1);
    EXPECT_GE(near.evaluations, 3);
    EXPECT_TRUE(s.optimal);
}

enum class method { lbfgs, mbfgs, bfgs };
const method all_methods[] = {method::lbfgs, method::mbfgs, method::bfgs};

std::string method_name(method m) {
    return m == method::lbfgs ? "lbfgs" : m == method::mbfgs ? "mbfgs" : "bfgs";
}

struct settings {
    int memory = 5, max_iterations = 500, search_limit = 20;
    double allowable_residue = 1e-9, eta = 0.9;
};

// One run of a method from a start point.
template <class F>
struct run {
    F f;
    fmat1 x, g;
    nlp::result r{};
    run(method m, const settings& s, const vec& start) : x(make(start)), g(static_cast<int>(start.size())) {
        const int n = static_cast<int>(start.size());
        if (m == method::lbfgs)
            r = nlp::lbfgs(f, s.memory, n, s.max_iterations, s.search_limit, s.allowable_residue, s.eta, x, g);
        else if (m == method::mbfgs)
            r = nlp::mbfgs(f, n, s.max_iterations, s.search_limit, s.allowable_residue, s.eta, x, g);
        else
            r = nlp::bfgs(f, n, s.max_iterations, s.search_limit, s.allowable_residue, s.eta, x, g);
    }
};

class NlpMethod : public testing::TestWithParam<method> {};

TEST_P(NlpMethod, MinimisesAQuadraticAndTheRosenbrockFunction) {
    // The cubic is exact on a quadratic, so the searches are exact and the
    // directions conjugate: n = 4 steps, one more for rounding.
    const run<convex_quadratic> q(GetParam(), settings{}, {0, 0, 0, 0});
    EXPECT_TRUE(q.r.optimal);
    EXPECT_LE(q.r.iterations, 5);
    expect_same_vector(values(q.x), q.f.minimum, kMinimumTol);
    EXPECT_NEAR(q.r.energy, -0.5 * dot(q.f.b, q.f.minimum), kMinimumTol);

    settings s;
    s.allowable_residue = 1e-8;
    const run<rosenbrock> r(GetParam(), s, {-1.2, 1});
    EXPECT_TRUE(r.r.optimal);
    EXPECT_LT(r.r.iterations, s.max_iterations);
    expect_same_vector(values(r.x), {1, 1}, kMinimumTol);
    // The energy and gradient returned are those of the final point.
    rosenbrock check;
    fmat1 g(2);
    EXPECT_EQ(check(2, r.x, g), r.r.energy);
    EXPECT_EQ(values(g), values(r.g));
}

// At least one line search, at most max_iterations; a limit of one or less
// makes one steepest-descent step, along -g at the start.
TEST_P(NlpMethod, IterationLimitEndsNotOptimal) {
    const vec start{-1.2, 1}, descent{215.6, 88};  // -g at the start
    for (const auto& [limit, residue, iterations] :
         {std::tuple{1, 1e-9, 1}, {0, 1e-9, 1}, {-2, 1e-9, 1}, {3, 1e-9, 3}, {7, -1.0, 7}}) {
        SCOPED_TRACE(limit);
        settings s;
        s.max_iterations = limit;
        s.allowable_residue = residue;
        const run<rosenbrock> r(GetParam(), s, start);
        EXPECT_EQ(r.r.iterations, iterations);
        EXPECT_FALSE(r.r.optimal);
        if (iterations > 1) continue;
        const vec step = minus(values(r.x), start);
        EXPECT_GT(step[0], 0);
        EXPECT_NEAR(step[0] * descent[1], step[1] * descent[0], kDirectionTol * descent[0] * std::fabs(step[0]));
    }
}

// The NaN slope at t = 1 sends the cubic to t = 0.5, x1 = 0.3 exactly: the
// norm there is 0, but a gradient holding a NaN is never optimal.
TEST_P(NlpMethod, NaNInTheFinalGradientIsNeverOptimal) {
    settings s;
    s.search_limit = 1;
    const run<nan_away_from_start> r(GetParam(), s, {0, 0});
    EXPECT_EQ(r.x(1), 0.3);
    EXPECT_EQ(nlp::norm(2, r.g), 0.0);
    EXPECT_EQ(r.r.iterations, 1);
    EXPECT_FALSE(r.r.optimal);
}

// t = 1 lands on the wall; the one interpolated trial on the flat stretch,
// where the gradient is -1 again: y = 0 and the next direction is not
// finite. The method stops with that point instead of searching along NaN.
TEST_P(NlpMethod, UnchangedGradientStopsBeforeTheNextLineSearch) {
    settings s;
    s.search_limit = 1;
    const run<flat_then_wall> r(GetParam(), s, {0});
    ASSERT_LT(r.x(1), 0.75);
    EXPECT_GT(r.x(1), 0);
    EXPECT_EQ(r.f.evaluations, 3);  // start, t = 1, the trial: nothing after
    EXPECT_EQ(r.r.iterations, 1);
    EXPECT_EQ(r.r.energy, -r.x(1));
    EXPECT_FALSE(r.r.optimal);
}

INSTANTIATE_TEST_SUITE_P(Methods, NlpMethod, testing::ValuesIn(all_methods),
                         [](const testing::TestParamInfo<method>& info) { return method_name(info.param); });

// ===========================================================================
// Search directions against the dense BFGS formula

// H <- (I - rho s y') H (I - rho y s') + rho s s', rho = 1 / s'y, expanded
// for a symmetric H with w = H y: H - rho (s w' + w s') + (rho + rho^2 y'w) s s'.
matrix bfgs_update(matrix H, const vec& s, const vec& y) {
    const double rho = 1 / dot(s, y);
    vec w;
    for (const vec& row : H) w.push_back(dot(row, y));
    const double c = rho + rho * rho * dot(y, w);
    for (std::size_t i = 0; i < s.size(); ++i)
        for (std::size_t j = 0; j < s.size(); ++j) H[i][j] += -rho * (s[i] * w[j] + w[i] * s[j]) + c * s[i] * s[j];
    return H;
}

// -H g, H the BFGS updates by the pairs, oldest first, of (s'y / y'y) I
// with the newest pair's s and y.
vec dense_direction(const std::vector<vec>& s, const std::vector<vec>& y, const vec& g) {
    const std::size_t n = g.size();
    matrix H(n, vec(n, 0.0));
    for (std::size_t i = 0; i < n; ++i) H[i][i] = dot(s.back(), y.back()) / dot(y.back(), y.back());
    for (std::size_t k = 0; k < s.size(); ++k) H = bfgs_update(H, s[k], y[k]);
    vec d(n);
    for (std::size_t i = 0; i < n; ++i) d[i] = -dot(H[i], g);
    return d;
}

double relative_gap(const vec& a, const vec& b) {
    double gap = 0, scale = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        gap = std::max(gap, std::fabs(a[i] - b[i]));
        scale = std::max(scale, std::fabs(b[i]));
    }
    return gap / scale;
}

// Points and gradients after each of the first k line searches of a run on
// the quartic bowl from 0 (a run limited to k iterations is the start of any
// longer run), and the direction of iteration k + 1, read from the first
// trial of its search, the full step x_k + d.
struct history {
    std::vector<vec> x, g;
    std::vector<int> evaluations;

    history(method m, int memory, int iterations) {
        const vec start{0, 0, 0, 0};
        quartic_bowl f;
        fmat1 x0 = make(start), g0(4);
        f(4, x0, g0);
        x.push_back(start);
        g.push_back(values(g0));
        evaluations.push_back(1);
        for (int k = 1; k <= iterations; ++k) {
            const run<quartic_bowl> r(m, limited(memory, k), start);
            x.push_back(values(r.x));
            g.push_back(values(r.g));
            evaluations.push_back(r.f.evaluations);
        }
    }
    static settings limited(int memory, int iterations) { return {memory, iterations, 20, -1.0, 0.9}; }
    vec direction_after(method m, int memory, int k) const {
        const run<quartic_bowl> r(m, limited(memory, k + 1), x[0]);
        return minus(r.f.points.at(static_cast<std::size_t>(evaluations[static_cast<std::size_t>(k)])),
                     x[static_cast<std::size_t>(k)]);
    }
    // The pairs of iterations first..last.
    void pairs(int first, int last, std::vector<vec>& s, std::vector<vec>& y) const {
        s.clear();
        y.clear();
        for (auto k = static_cast<std::size_t>(first); k <= static_cast<std::size_t>(last); ++k) {
            s.push_back(minus(x[k], x[k - 1]));
            y.push_back(minus(g[k], g[k - 1]));
        }
    }
};

// The first iteration is the same steepest-descent search for every method,
// so the second direction is one BFGS update of (s'y / y'y) I for all.
// After 5 iterations lbfgs holds the pairs of iterations 5 (memory 0 or 1),
// 3..5 (memory 3) or 1..5 (memory 5 and more), and the test can tell those
// sets apart.
TEST(NlpDirection, EachMethodUsesThePairsItHolds) {
    std::vector<vec> s, y;
    const history first(method::lbfgs, 5, 1);
    first.pairs(1, 1, s, y);
    const vec second = dense_direction(s, y, first.g[1]);
    for (method m : all_methods) expect_same_vector(first.direction_after(m, 5, 1), second, kDirectionTol);
    for (int memory : {0, 1}) expect_same_vector(first.direction_after(method::lbfgs, memory, 1), second, kDirectionTol);

    for (const auto& [memory, oldest] : {std::pair{0, 5}, {1, 5}, {3, 3}, {5, 1}, {9, 1}}) {
        SCOPED_TRACE("memory " + std::to_string(memory));
        const history h(method::lbfgs, memory, 5);
        h.pairs(oldest, 5, s, y);
        const vec expected = dense_direction(s, y, h.g[5]);
        expect_same_vector(h.direction_after(method::lbfgs, memory, 5), expected, kDirectionTol);
        for (int other : {1, 3, 5}) {
            if (other == oldest) continue;
            h.pairs(other, 5, s, y);
            EXPECT_GT(relative_gap(dense_direction(s, y, h.g[5]), expected), 1000 * kDirectionTol) << other;
        }
    }
}

// ===========================================================================
// The ring of correction pairs

// Pair k: s = (k, 1, 0), y = (2k, k, 1), so s . y = 2k^2 + k.
fmat1 pair_s(int k) { return make({double(k), 1, 0}); }
fmat1 pair_y(int k) { return make({2.0 * k, double(k), 1}); }

// Pair numbers from first to last along next; every prev link reverses a
// next link, the ring closes, and each node's s . y is its pair's.
std::vector<int> ring_order(const nlp::ring& r, std::set<const nlp::list_rec*>* nodes = nullptr) {
    std::vector<int> order;
    const nlp::list_rec* node = r.first();
    for (int guard = 0; guard < 100; ++guard) {
        order.push_back(static_cast<int>(node->s(1)));
        if (nodes != nullptr) nodes->insert(node);
        EXPECT_EQ(node->next->prev, node);
        EXPECT_EQ(node->sy, 2.0 * node->s(1) * node->s(1) + node->s(1));
        if (node == r.last()) break;
        node = node->next;
    }
    EXPECT_EQ(r.last()->next, r.first());
    return order;
}

// Memory 3 over five iterations: create, insert, insert, rotate, rotate.
// Rotation reuses the oldest node for the newest pair, hands the dropped
// pair back and allocates nothing; the direction uses pairs 3, 4, 5.
TEST(NlpRing, KeepsTheNewestPairsInOrder) {
    nlp::ring r(3, pair_s(1), pair_y(1));
    EXPECT_EQ(r.first()->next, r.first());
    EXPECT_EQ(ring_order(r), std::vector<int>{1});
    r.insert(3, pair_s(2), pair_y(2));
    r.insert(3, pair_s(3), pair_y(3));
    std::set<const nlp::list_rec*> nodes, after;
    EXPECT_EQ(ring_order(r, &nodes), (std::vector<int>{1, 2, 3}));
    const nlp::list_rec* oldest = r.first();
    fmat1 s4 = pair_s(4), y4 = pair_y(4);
    r.rotate(s4, y4);
    EXPECT_EQ(r.last(), oldest);
    EXPECT_EQ(s4(1), 1.0);
    EXPECT_EQ(y4(1), 2.0);
    fmat1 s5 = pair_s(5), y5 = pair_y(5);
    r.rotate(s5, y5);
    EXPECT_EQ(ring_order(r, &after), (std::vector<int>{3, 4, 5}));
    EXPECT_EQ(after, nodes);

    const fmat1 g = make({0.3, -1.1, 2.0});
    fmat1 d(3);
    EXPECT_TRUE(r.direction(g, d));
    std::vector<vec> s, y;
    for (int k = 3; k <= 5; ++k) {
        s.push_back(values(pair_s(k)));
        y.push_back(values(pair_y(k)));
    }
    expect_same_vector(values(d), dense_direction(s, y, values(g)), kDirectionTol);
    EXPECT_EQ(ring_order(r), (std::vector<int>{3, 4, 5}));

    // Memory one: every rotation overwrites the one node.
    nlp::ring one(3, pair_s(1), pair_y(1));
    for (int k = 2; k <= 4; ++k) one.rotate(s4 = pair_s(k), y4 = pair_y(k));
    EXPECT_EQ(ring_order(one), std::vector<int>{4});
    EXPECT_EQ(one.first(), one.last());
}

// ===========================================================================
// bfgs storage and pos

// n = 70000 needs 2450035000 packed elements, beyond an array with 32-bit
// bounds: refused before any evaluation instead of writing past it.
TEST(NlpBfgs, MatrixBeyondThirtyTwoBitBoundsIsAStorageFailure) {
    constexpr int n = 70000;
    squares f;
    fmat1 x(n), g(n);
    x.fill(0);
    EXPECT_THROW(nlp::bfgs(f, n, 10, 5, 1e-9, 0.9, x, g), std::bad_alloc);
    EXPECT_EQ(f.evaluations, 0);
}

// By diagonals: the main diagonal 1..n, then the first sub-diagonal, ...,
// (n, 1) last; every position once, in 64 bits.
TEST(NlpPos, PackedByDiagonals) {
    const long long three[][3] = {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {2, 1, 4}, {3, 2, 5}, {3, 1, 6}};
    for (const auto& c : three) EXPECT_EQ(nlp::pos(3, c[0], c[1]), c[2]) << c[0] << "," << c[1];
    for (long long n : {1LL, 2LL, 5LL, 17LL}) {
        std::set<long long> seen;
        for (long long i = 1; i <= n; ++i)
            for (long long j = 1; j <= i; ++j) seen.insert(nlp::pos(n, i, j));
        EXPECT_EQ(static_cast<long long>(seen.size()), n * (n + 1) / 2) << n;
        EXPECT_EQ(*seen.begin(), 1);
        EXPECT_EQ(nlp::pos(n, n, 1), n * (n + 1) / 2);
    }
    EXPECT_EQ(nlp::pos(100000, 100000, 1), 5000050000LL);
}

TEST(NlpNorm, LargestMagnitudeWithNaNPassedOver) {
    EXPECT_EQ(nlp::norm(3, make({3, -7, 2})), 7.0);
    EXPECT_EQ(nlp::norm(0, fmat1(0)), 0.0);
    EXPECT_EQ(nlp::norm(-1, fmat1(0)), 0.0);
    EXPECT_EQ(nlp::norm(3, make({nan, -2, 1})), 2.0);
    EXPECT_EQ(nlp::norm(2, make({1, -inf})), inf);
}

}  // namespace
