// Tests of the optimiser package: the cubic step, the line search with its
// failure, the limited-memory BFGS method with its ring of correction
// pairs, and the memory-less and full BFGS methods. The objectives are small
// functions with known minima; directions are checked against the BFGS
// inverse-Hessian formula written out densely here, not against the
// two-loop recursion or the packed update of the package.
#include "nlp.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <set>
#include <string>
#include <vector>

namespace {

using terms::fmat1;
using vec = std::vector<double>;
using matrix = std::vector<vec>;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// Closed forms evaluated in double precision against the package's scaled
// formulas: a few roundings of numbers near 1.
constexpr double kClosedFormTol = 1e-14;
// A cubic fitted to a quadratic reproduces it, so its minimiser is exact up
// to the roundings of the fit (values and slopes of order 1 to 100).
constexpr double kQuadraticStepTol = 1e-12;
// A minimiser stopped by a gradient test at residue r is within r / (least
// curvature) of the minimum; the bounds below leave a wide margin over that.
constexpr double kMinimumTol = 1e-6;
// A direction recovered as (x + d) - x loses the last bits of x; the dense
// reference formula rounds differently from the package's recursion.
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

// ---------------------------------------------------------------------------
// Objectives. Each counts its evaluations and may log the points it was
// asked for, so that tests can see every trial of a search.

struct evaluation_log {
    mutable int evaluations = 0;
    mutable std::vector<vec> points;
    void record(const fmat1& x, int n) const {
        ++evaluations;
        vec p;
        for (int i = 1; i <= n; ++i) p.push_back(x(i));
        points.push_back(p);
    }
};

// (x - c)^2 in one variable.
struct shifted_square : evaluation_log {
    double c;
    explicit shifted_square(double centre) : c(centre) {}
    double operator()(int n, const fmat1& x, fmat1& g) const {
        record(x, n);
        const double r = x(1) - c;
        g(1) = 2 * r;
        return r * r;
    }
};

// 1/2 x'Ax - b'x with a symmetric positive definite A; the minimum is the
// solution of A x = b, chosen below as x* and b formed as A x*.
struct convex_quadratic : evaluation_log {
    matrix A{{4, 1, 0, 0}, {1, 3, 1, 0}, {0, 1, 2, 0.5}, {0, 0, 0.5, 1}};  // diagonally dominant
    vec minimum{1, -2, 3, 0.5};
    vec b;
    convex_quadratic() {
        for (const vec& row : A) b.push_back(dot(row, minimum));
    }
    double operator()(int n, const fmat1& x, fmat1& g) const {
        record(x, n);
        const vec p = values(x);
        double f = 0;
        for (int i = 0; i < n; ++i) {
            const double Ax = dot(A[static_cast<std::size_t>(i)], p);
            g(i + 1) = Ax - b[static_cast<std::size_t>(i)];
            f += 0.5 * p[static_cast<std::size_t>(i)] * Ax - b[static_cast<std::size_t>(i)] * p[static_cast<std::size_t>(i)];
        }
        return f;
    }
};

// 100 (y - x^2)^2 + (1 - x)^2: a curved valley with its minimum 0 at (1, 1).
struct rosenbrock : evaluation_log {
    double operator()(int n, const fmat1& x, fmat1& g) const {
        record(x, n);
        const double a = x(1), b = x(2);
        g(1) = -400 * a * (b - a * a) - 2 * (1 - a);
        g(2) = 200 * (b - a * a);
        return 100 * (b - a * a) * (b - a * a) + (1 - a) * (1 - a);
    }
};

// sum i (x_i - 1)^2 + (x . x)^2 / 4: strictly convex and not quadratic, so
// that every correction pair carries different curvature.
struct quartic_bowl : evaluation_log {
    double operator()(int n, const fmat1& x, fmat1& g) const {
        record(x, n);
        double xx = 0;
        for (int i = 1; i <= n; ++i) xx += x(i) * x(i);
        double f = xx * xx / 4;
        for (int i = 1; i <= n; ++i) {
            f += i * (x(i) - 1) * (x(i) - 1);
            g(i) = 2 * i * (x(i) - 1) + xx * x(i);
        }
        return f;
    }
};

// -x for x < 0.75, then a steep parabola: the gradient is -1 over the whole
// first stretch, so a step that ends there leaves the gradient unchanged.
struct flat_then_wall : evaluation_log {
    double operator()(int n, const fmat1& x, fmat1& g) const {
        record(x, n);
        const double v = x(1);
        if (v < 0.75) {
            g(1) = -1;
            return -v;
        }
        g(1) = 20 * (v - 0.75);
        return 10 * (v - 0.75) * (v - 0.75) - 0.75;
    }
};

// The start point of each method's runs below.
const vec rosenbrock_start{-1.2, 1};
const vec quartic_start{0, 0, 0, 0};

// ---------------------------------------------------------------------------
// Dense reference for the BFGS directions: H built as an explicit matrix.

matrix scaled_identity(std::size_t n, double gamma) {
    matrix H(n, vec(n, 0.0));
    for (std::size_t i = 0; i < n; ++i) H[i][i] = gamma;
    return H;
}

// H <- (I - rho s y') H (I - rho y s') + rho s s', rho = 1 / s'y.
matrix bfgs_update(const matrix& H, const vec& s, const vec& y) {
    const std::size_t n = s.size();
    const double rho = 1 / dot(s, y);
    matrix V(n, vec(n));
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j) V[i][j] = (i == j ? 1.0 : 0.0) - rho * y[i] * s[j];
    matrix HV(n, vec(n, 0.0)), R(n, vec(n, 0.0));
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j)
            for (std::size_t k = 0; k < n; ++k) HV[i][j] += H[i][k] * V[k][j];
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j) {
            for (std::size_t k = 0; k < n; ++k) R[i][j] += V[k][i] * HV[k][j];
            R[i][j] += rho * s[i] * s[j];
        }
    return R;
}

// -H g, with H the BFGS updates by the pairs, oldest first, of the scaled
// identity (s'y / y'y) I of the newest pair: the limited-memory direction.
vec reference_direction(const std::vector<vec>& s, const std::vector<vec>& y, const vec& g) {
    const vec& sn = s.back();
    const vec& yn = y.back();
    matrix H = scaled_identity(g.size(), dot(sn, yn) / dot(yn, yn));
    for (std::size_t k = 0; k < s.size(); ++k) H = bfgs_update(H, s[k], y[k]);
    vec d(g.size());
    for (std::size_t i = 0; i < g.size(); ++i) d[i] = -dot(H[i], g);
    return d;
}

void expect_same_vector(const vec& actual, const vec& expected, double relative) {
    ASSERT_EQ(actual.size(), expected.size());
    double scale = 0;
    for (double e : expected) scale = std::max(scale, std::fabs(e));
    for (std::size_t i = 0; i < actual.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], relative * scale) << "component " << i + 1;
}

// Largest relative difference between two vectors: how well a test can
// tell two candidate directions apart.
double relative_gap(const vec& a, const vec& b) {
    double gap = 0, scale = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        gap = std::max(gap, std::fabs(a[i] - b[i]));
        scale = std::max(scale, std::fabs(b[i]));
    }
    return gap / scale;
}

// ---------------------------------------------------------------------------
// The method under test as one callable, so that the three methods share
// their tests.

enum class method { lbfgs, mbfgs, bfgs };

std::string method_name(const testing::TestParamInfo<method>& info) {
    switch (info.param) {
        case method::lbfgs: return "lbfgs";
        case method::mbfgs: return "mbfgs";
        case method::bfgs: return "bfgs";
    }
    return "unknown";
}

struct settings {
    int memory = 5;
    int max_iterations = 500;
    int search_limit = 20;
    double allowable_residue = 1e-9;
    double eta = 0.9;
};

template <class F>
nlp::result minimise(method m, const F& f, const settings& s, fmat1& x, fmat1& g) {
    const int n = x.last();
    switch (m) {
        case method::lbfgs:
            return nlp::lbfgs(f, s.memory, n, s.max_iterations, s.search_limit, s.allowable_residue, s.eta, x, g);
        case method::mbfgs:
            return nlp::mbfgs(f, n, s.max_iterations, s.search_limit, s.allowable_residue, s.eta, x, g);
        case method::bfgs:
            return nlp::bfgs(f, n, s.max_iterations, s.search_limit, s.allowable_residue, s.eta, x, g);
    }
    return {};
}

// One run from a start point: the result, the final point and gradient and
// the objective's log.
template <class F>
struct run {
    F f;
    fmat1 x, g;
    nlp::result r{};
    run(method m, const settings& s, const vec& start) : x(make(start)), g(static_cast<int>(start.size())) {
        r = minimise(m, f, s, x, g);
    }
};

// ===========================================================================
// cubic

TEST(NlpCubic, SameSignSlopesWithoutMinimiserGiveTheMidpoint) {
    // z = -1 - 1 + 3 (0 + 0.5) = -0.5 and |z| < sqrt(|g1 g2|) = 1.
    EXPECT_EQ(nlp::cubic(0, 1, 0, -0.5, -1, -1), 0.5);
}

TEST(NlpCubic, SameSignSlopesWithAMinimiser) {
    // The cubic with p(0) = 0, p'(0) = -1, p(1) = 1, p'(1) = -1 is
    // -4t^3 + 6t^2 - t; p' = 0 at t = 1/2 -+ sqrt(96)/24, the minimum at the
    // smaller root, which is 1 - (sqrt(24) + 4) / (2 sqrt(24)).
    const double expected = 0.5 - std::sqrt(96.0) / 24;
    EXPECT_NEAR(nlp::cubic(0, 1, 0, 1, -1, -1), expected, kClosedFormTol);
    EXPECT_NEAR(expected, 0.0917517095, 1e-10);
}

TEST(NlpCubic, ZeroSlopeAtAnEndReturnsThatEnd) {
    EXPECT_EQ(nlp::cubic(0, 1, 0, 0, -1, 0), 1.0);
    EXPECT_EQ(nlp::cubic(0.25, 1, 0, 0, 0, 3), 0.25);
}

TEST(NlpCubic, OppositeSlopesOnAWiderBracket) {
    // p(0) = 0, p'(0) = -1, p(2) = 0, p'(2) = 3 fit p = t^3/2 - t^2/2 - t,
    // whose minimum is at p' = 3t^2/2 - t - 1 = 0: t = (1 + sqrt(7)) / 3.
    const double expected = (1 + std::sqrt(7.0)) / 3;
    EXPECT_NEAR(nlp::cubic(0, 2, 0, 0, -1, 3), expected, kClosedFormTol);
    EXPECT_NEAR(expected, 1.2152504370, 1e-10);
}

TEST(NlpCubic, ReproducesTheMinimumOfAQuadraticInsideTheBracket) {
    // (t - 0.7)^2 sampled at 0.5 and 1.25: the fitted cubic is the parabola.
    const auto f = [](double t) { return (t - 0.7) * (t - 0.7); };
    const auto s = [](double t) { return 2 * (t - 0.7); };
    EXPECT_NEAR(nlp::cubic(0.5, 1.25, f(0.5), f(1.25), s(0.5), s(1.25)), 0.7, kQuadraticStepTol);
}

TEST(NlpCubic, NonFiniteSlopeFallsBackToTheMidpoint) {
    EXPECT_EQ(nlp::cubic(0, 1, 0, 1, -1, nan), 0.5);
    EXPECT_EQ(nlp::cubic(2, 4, 0, 1, -1, inf), 3.0);
}

TEST(NlpCubic, BracketWithCoincidingEndsGivesThatPoint) {
    // The divided difference is 0 / 0; the NaN falls through to the midpoint.
    EXPECT_EQ(nlp::cubic(0.5, 0.5, 1, 1, -1, 1), 0.5);
}

// ===========================================================================
// linesearch

struct search_outcome {
    double value;
    double x;
    double g;
};

template <class F>
search_outcome search(const F& f, double x0, double d, int search_limit, double eta) {
    fmat1 x = make({x0}), g(1), dir = make({d});
    const double f0 = f(1, x, g);
    f.evaluations = 0;
    f.points.clear();
    const double value = nlp::linesearch(f, 1, search_limit, eta, f0, x, g, dir);
    return {value, x(1), g(1)};
}

vec trial_points(const evaluation_log& f) {
    vec t;
    for (const vec& p : f.points) t.push_back(p[0]);
    return t;
}

TEST(NlpLineSearch, FullStepPastTheMinimumThenOneInterpolation) {
    // (x - 0.3)^2 from 0 along d = 1: t = 1 gives 0.49 with slope 1.4, so no
    // doubling; the cubic lands on 0.3 and is accepted.
    const shifted_square f(0.3);
    const search_outcome r = search(f, 0, 1, 5, 0.9);
    EXPECT_EQ(f.evaluations, 2);
    ASSERT_EQ(trial_points(f).size(), 2u);
    EXPECT_EQ(trial_points(f)[0], 1.0);
    EXPECT_NEAR(r.x, 0.3, kQuadraticStepTol);
    EXPECT_NEAR(r.value, 0, kQuadraticStepTol * kQuadraticStepTol);
    EXPECT_NEAR(r.g, 0, 2 * kQuadraticStepTol);
}

TEST(NlpLineSearch, DoublesWhileTheObjectiveFallsThenInterpolates) {
    // (x - 5)^2 from 0: slopes -8, -6, -2 at t = 1, 2, 4 keep doubling; at
    // t = 8 the slope is +6. The bracket [4, 8] gives t = 5.
    const shifted_square f(5);
    const search_outcome r = search(f, 0, 1, 5, 0.9);
    EXPECT_EQ(f.evaluations, 5);
    const vec t = trial_points(f);
    ASSERT_EQ(t.size(), 5u);
    EXPECT_EQ(t[0], 1.0);
    EXPECT_EQ(t[1], 2.0);
    EXPECT_EQ(t[2], 4.0);
    EXPECT_EQ(t[3], 8.0);
    EXPECT_NEAR(t[4], 5.0, kQuadraticStepTol);
    EXPECT_NEAR(r.x, 5.0, kQuadraticStepTol);
    EXPECT_NEAR(r.value, 0, kQuadraticStepTol);
}

TEST(NlpLineSearch, ZeroSlopeAtTheFullStepEvaluatesItAgain) {
    // (x - 1)^2 from 0: t = 1 has slope exactly 0, so no doubling, and the
    // cubic returns that end, which is evaluated a second time and accepted.
    const shifted_square f(1);
    const search_outcome r = search(f, 0, 1, 5, 0.9);
    EXPECT_EQ(f.evaluations, 2);
    const vec t = trial_points(f);
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0], 1.0);
    EXPECT_EQ(t[1], 1.0);
    EXPECT_EQ(r.x, 1.0);
    EXPECT_EQ(r.value, 0.0);
    EXPECT_EQ(r.g, 0.0);
}

TEST(NlpLineSearch, TrialPointsAreStartPlusStepTimesDirection) {
    // From x0 = 0.5 along d = 0.25 toward 5 (t* = 18): trials at
    // 0.5 + t 0.25 for t = 1, 2, 4, ..., 32, then the interpolated one.
    const shifted_square f(5);
    const search_outcome r = search(f, 0.5, 0.25, 5, 0.9);
    const vec t = trial_points(f);
    ASSERT_EQ(t.size(), 7u);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(t[static_cast<std::size_t>(k)], 0.5 + (1 << k) * 0.25) << "doubling " << k;
    EXPECT_NEAR(r.x, 5.0, kQuadraticStepTol);
}

TEST(NlpLineSearch, SearchLimitOneOrLessGivesExactlyOneInterpolatedTrial) {
    // A negative eta rejects every trial, so only the budget ends the search.
    // (x - 5)^2 from 0 makes four expansion evaluations (t = 1, 2, 4, 8).
    for (int limit : {1, 0, -3}) {
        const shifted_square f(5);
        const search_outcome r = search(f, 0, 1, limit, -1);
        EXPECT_EQ(f.evaluations, 5) << "search_limit " << limit;
        // The returned value, point and gradient are those of the last trial.
        const double last = f.points.back()[0];
        EXPECT_EQ(r.x, last);
        EXPECT_EQ(r.value, (last - 5) * (last - 5));
        EXPECT_EQ(r.g, 2 * (last - 5));
    }
}

TEST(NlpLineSearch, RejectedTrialsRunToTheBudget) {
    for (int limit : {2, 3, 6}) {
        const shifted_square f(5);
        search(f, 0, 1, limit, -1);
        EXPECT_EQ(f.evaluations, 4 + limit) << "search_limit " << limit;
    }
}

TEST(NlpLineSearch, EtaZeroAcceptsOnlyAZeroSlope) {
    // (x - 1)^2 from 0: the repeated trial at t = 1 has slope exactly 0 and
    // passes even the strictest test, |0| <= 0.
    const shifted_square f(1);
    search(f, 0, 1, 5, 0);
    EXPECT_EQ(f.evaluations, 2);
}

TEST(NlpLineSearch, SlopeThresholdIsEtaTimesTheInitialSlope) {
    // On the flat stretch of flat_then_wall the slope is -1 = g0, so the
    // first interpolated trial (below 0.75) passes exactly when eta >= 1.
    {
        const flat_then_wall f;
        const search_outcome r = search(f, 0, 1, 5, 1.0);
        EXPECT_EQ(f.evaluations, 2);  // t = 1, then the accepted trial
        EXPECT_LT(r.x, 0.75);
        EXPECT_EQ(r.g, -1.0);
    }
    {
        const flat_then_wall f;
        const search_outcome r = search(f, 0, 1, 5, 0.99);
        EXPECT_GT(f.evaluations, 2);  // the same trial is rejected
        EXPECT_LE(std::fabs(r.g), 0.99);
    }
}

// A direction that does not descend: the console line, HALT, no evaluation.
void expect_halt(const vec& start, const vec& gradient, const vec& direction) {
    const shifted_square f(0.3);
    fmat1 x = make(start), g = make(gradient), d = make(direction);
    std::string name, message;
    testing::internal::CaptureStdout();
    try {
        nlp::linesearch(f, static_cast<int>(start.size()), 5, 0.9, 1.0, x, g, d);
    } catch (const terms::failure& e) {
        name = e.name();
        message = e.message();
    }
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Line Search Failure\n");
    EXPECT_EQ(name, "NLP.HALT");
    EXPECT_EQ(message, "nlp:126 instantiated at velmora:483");
    EXPECT_EQ(f.evaluations, 0);
    EXPECT_EQ(values(x), start);
}

TEST(NlpLineSearchFailure, ZeroDirectionHalts) { expect_halt({0.7}, {0.8}, {0}); }

TEST(NlpLineSearchFailure, UphillDirectionHalts) { expect_halt({0.7}, {0.8}, {0.5}); }

TEST(NlpLineSearchFailure, ZeroGradientHalts) { expect_halt({0.3}, {0}, {-1}); }

TEST(NlpLineSearchFailure, NaNSlopeHalts) { expect_halt({0.7}, {nan}, {-1}); }

TEST(NlpLineSearchFailure, InfiniteSlopeHalts) {
    // -inf is negative but not a usable slope: the acceptance threshold
    // would be infinite.
    expect_halt({0.7}, {inf}, {-1});
}

TEST(NlpLineSearchFailure, ZeroLengthVectorsHalt) { expect_halt({}, {}, {}); }

// ===========================================================================
// lbfgs: the worked example and the stopping rules

TEST(NlpLbfgs, OneVariableExampleConvergesInOneIteration) {
    // d = 0.6; t = 1 gives x = 0.6 (slope 0.36), the cubic gives t = 0.5,
    // x = 0.3, where the gradient passes the test.
    shifted_square f(0.3);
    fmat1 x = make({0}), g(1);
    const nlp::result r = nlp::lbfgs(f, 5, 1, 10, 5, 1e-9, 0.9, x, g);
    EXPECT_EQ(r.iterations, 1);
    EXPECT_NEAR(r.energy, 0, kQuadraticStepTol * kQuadraticStepTol);
    EXPECT_TRUE(r.optimal);
    EXPECT_NEAR(x(1), 0.3, kQuadraticStepTol);
    EXPECT_EQ(f.evaluations, 3);  // start point, t = 1, t = 0.5
    ASSERT_EQ(f.points.size(), 3u);
    EXPECT_EQ(f.points[1][0], 0.6);
}

TEST(NlpLbfgs, StartAlreadyWithinTheResidueStillMakesOneIteration) {
    shifted_square f(0.3);
    fmat1 x = make({0.3 + 1e-9}), g(1);
    const nlp::result r = nlp::lbfgs(f, 5, 1, 10, 5, 1e-6, 0.9, x, g);
    EXPECT_EQ(r.iterations, 1);
    EXPECT_GE(f.evaluations, 3);
    EXPECT_TRUE(r.optimal);
}

// sum (x_i - 0.3)^2 over however many variables there are, none included.
struct centred_squares : evaluation_log {
    double operator()(int n, const fmat1& x, fmat1& g) const {
        record(x, n);
        double f = 0;
        for (int i = 1; i <= n; ++i) {
            g(i) = 2 * (x(i) - 0.3);
            f += (x(i) - 0.3) * (x(i) - 0.3);
        }
        return f;
    }
};

TEST(NlpLbfgs, ZeroStartGradientIsALineSearchFailure) {
    // The first direction is -g = 0 (at the minimum, or with no variables
    // at all): HALT after the one start evaluation, passed through unchanged.
    for (const vec& start : {vec{0.3, 0.3}, vec{}}) {
        const int n = static_cast<int>(start.size());
        centred_squares f;
        fmat1 x = make(start), g(n);
        std::string name;
        testing::internal::CaptureStdout();
        try {
            nlp::lbfgs(f, 5, n, 10, 5, 1e-9, 0.9, x, g);
        } catch (const terms::failure& e) {
            name = e.name();
        }
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Line Search Failure\n") << "n = " << n;
        EXPECT_EQ(name, "NLP.HALT") << "n = " << n;
        EXPECT_EQ(f.evaluations, 1) << "n = " << n;
    }
}

class NlpMethod : public testing::TestWithParam<method> {};

TEST_P(NlpMethod, MinimisesAConvexQuadratic) {
    const run<convex_quadratic> q(GetParam(), settings{}, {0, 0, 0, 0});
    EXPECT_TRUE(q.r.optimal);
    expect_same_vector(values(q.x), q.f.minimum, kMinimumTol);
    // The cubic step is exact on a quadratic, so each search is an exact
    // line minimisation and BFGS-type methods then take conjugate
    // directions: n = 4 steps in exact arithmetic, one more for rounding.
    EXPECT_LE(q.r.iterations, 5);
    // energy is the value at the final point: 1/2 x'Ax - b'x = -1/2 b'x* there.
    EXPECT_NEAR(q.r.energy, -0.5 * dot(q.f.b, q.f.minimum), kMinimumTol);
    for (int i = 1; i <= 4; ++i) EXPECT_LE(std::fabs(q.g(i)), 1e-9);
}

TEST_P(NlpMethod, MinimisesTheRosenbrockFunction) {
    settings s;
    s.allowable_residue = 1e-8;
    const run<rosenbrock> r(GetParam(), s, rosenbrock_start);
    EXPECT_TRUE(r.r.optimal);
    EXPECT_LT(r.r.iterations, s.max_iterations);
    expect_same_vector(values(r.x), {1, 1}, kMinimumTol);
    EXPECT_NEAR(r.r.energy, 0, kMinimumTol * kMinimumTol);
    // The result's energy and gradient are those of the final point.
    rosenbrock check;
    fmat1 g(2);
    EXPECT_EQ(check(2, r.x, g), r.r.energy);
    EXPECT_EQ(values(g), values(r.g));
}

TEST_P(NlpMethod, MaxIterationsOneOrLessMakesExactlyOneSteepestDescentStep) {
    for (int limit : {1, 0, -2}) {
        settings s;
        s.max_iterations = limit;
        const run<convex_quadratic> q(GetParam(), s, {0, 0, 0, 0});
        EXPECT_EQ(q.r.iterations, 1) << "max_iterations " << limit;
        EXPECT_FALSE(q.r.optimal);  // one steepest-descent step does not solve it
        // The one search went along -g(0) = b: the point is a multiple of b.
        const vec x = values(q.x);
        const double t = x[0] / q.f.b[0];
        EXPECT_GT(t, 0);
        for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(x[i], t * q.f.b[i], 1e-12);
    }
}

TEST_P(NlpMethod, NegativeResidueRunsToTheIterationLimit) {
    settings s;
    s.allowable_residue = -1;
    s.max_iterations = 7;
    const run<rosenbrock> r(GetParam(), s, rosenbrock_start);
    EXPECT_EQ(r.r.iterations, 7);
    EXPECT_FALSE(r.r.optimal);
}

TEST_P(NlpMethod, IterationLimitBeforeConvergenceIsNotOptimal) {
    settings s;
    s.max_iterations = 3;
    const run<rosenbrock> r(GetParam(), s, rosenbrock_start);
    EXPECT_EQ(r.r.iterations, 3);
    EXPECT_FALSE(r.r.optimal);
}

// (x - 0.3)^2 in x1 whose gradient component for x2 is NaN everywhere but on
// x1 = 0: the start is clean, the point accepted afterwards is not.
struct nan_away_from_start : evaluation_log {
    double operator()(int n, const fmat1& x, fmat1& g) const {
        record(x, n);
        g(1) = 2 * (x(1) - 0.3);
        g(2) = x(1) == 0 ? 0 : nan;
        return (x(1) - 0.3) * (x(1) - 0.3);
    }
};

TEST_P(NlpMethod, NaNInTheFinalGradientIsNeverOptimal) {
    // The NaN slope at t = 1 makes the cubic fall back to t = 0.5, x1 = 0.3
    // exactly: the largest finite gradient magnitude there is 0, below the
    // residue, but the gradient holds a NaN.
    settings s;
    s.search_limit = 1;
    const run<nan_away_from_start> r(GetParam(), s, {0, 0});
    EXPECT_EQ(r.x(1), 0.3);
    EXPECT_EQ(nlp::norm(2, r.g), 0.0);
    EXPECT_TRUE(std::isnan(r.g(2)));
    EXPECT_EQ(r.r.iterations, 1);
    EXPECT_FALSE(r.r.optimal);
}

TEST_P(NlpMethod, UnchangedGradientStopsBeforeTheNextLineSearch) {
    // From 0: t = 1 lands on the wall (slope 5); the one interpolated trial
    // lands on the flat stretch, where the gradient is -1 again, so y = 0 and
    // the next direction divides by zero. The method must stop there, with
    // the point of its one line search, instead of searching along NaN.
    settings s;
    s.search_limit = 1;
    const run<flat_then_wall> r(GetParam(), s, {0});
    ASSERT_LT(r.x(1), 0.75);  // the trial did land on the flat stretch
    EXPECT_GT(r.x(1), 0);
    EXPECT_EQ(r.g(1), -1.0);
    EXPECT_EQ(r.f.evaluations, 3);  // start, t = 1, the trial: nothing after
    EXPECT_EQ(r.r.iterations, 1);
    EXPECT_EQ(r.r.energy, -r.x(1));
    EXPECT_FALSE(r.r.optimal);
}

INSTANTIATE_TEST_SUITE_P(Methods, NlpMethod, testing::Values(method::lbfgs, method::mbfgs, method::bfgs),
                         method_name);

// ===========================================================================
// The search directions against the dense BFGS formula

// The point after each of the first k line searches, the gradient there and
// the objective's evaluation count, from runs limited to k iterations (a
// run limited to k iterations is the first part of any longer run).
struct history {
    std::vector<vec> x, g;
    std::vector<int> evaluations;
};

template <class F>
history record_history(method m, int memory, const vec& start, int iterations) {
    history h;
    settings s;
    s.memory = memory;
    s.allowable_residue = -1;
    // The start point's gradient is the first evaluation of every run.
    F f0;
    fmat1 x0 = make(start), g0(static_cast<int>(start.size()));
    f0(static_cast<int>(start.size()), x0, g0);
    h.x.push_back(start);
    h.g.push_back(values(g0));
    h.evaluations.push_back(1);
    for (int k = 1; k <= iterations; ++k) {
        s.max_iterations = k;
        const run<F> r(m, s, start);
        EXPECT_EQ(r.r.iterations, k);
        h.x.push_back(values(r.x));
        h.g.push_back(values(r.g));
        h.evaluations.push_back(r.f.evaluations);
    }
    return h;
}

// The direction of iteration k + 1 (k >= 1), read from the first trial of its
// line search, which is the full step x_k + d.
template <class F>
vec direction_after(method m, int memory, const vec& start, const history& h, int k) {
    settings s;
    s.memory = memory;
    s.allowable_residue = -1;
    s.max_iterations = k + 1;
    const run<F> r(m, s, start);
    const vec& full_step = r.f.points.at(static_cast<std::size_t>(h.evaluations.at(static_cast<std::size_t>(k))));
    return minus(full_step, h.x[static_cast<std::size_t>(k)]);
}

// The pairs of iterations first..last (1-based) of a history.
void pairs_of(const history& h, int first, int last, std::vector<vec>& s, std::vector<vec>& y) {
    s.clear();
    y.clear();
    for (int k = first; k <= last; ++k) {
        const auto i = static_cast<std::size_t>(k);
        s.push_back(minus(h.x[i], h.x[i - 1]));
        y.push_back(minus(h.g[i], h.g[i - 1]));
    }
}

TEST(NlpDirection, AllThreeMethodsTakeTheSameSecondDirection) {
    // The first iteration is the same steepest-descent search for all three,
    // so they share the first pair; the second direction is then one BFGS
    // update of (s'y / y'y) I applied to -g.
    std::vector<vec> s, y;
    const history h = record_history<quartic_bowl>(method::lbfgs, 5, quartic_start, 1);
    pairs_of(h, 1, 1, s, y);
    const vec expected = reference_direction(s, y, h.g[1]);
    for (method m : {method::lbfgs, method::mbfgs, method::bfgs}) {
        const history hm = record_history<quartic_bowl>(m, 5, quartic_start, 1);
        EXPECT_EQ(hm.x[1], h.x[1]);
        const vec d = direction_after<quartic_bowl>(m, 5, quartic_start, hm, 1);
        SCOPED_TRACE(method_name(testing::TestParamInfo<method>(m, 0)));
        expect_same_vector(d, expected, kDirectionTol);
    }
    // lbfgs with memory 0 and 1 holds the same single pair.
    for (int memory : {0, 1})
        expect_same_vector(direction_after<quartic_bowl>(method::lbfgs, memory, quartic_start, h, 1), expected,
                           kDirectionTol);
}

TEST(NlpDirection, LbfgsUsesTheMostRecentPairsOfItsMemory) {
    // After 5 iterations the ring holds the pairs of iterations 5 (memory
    // 0 or 1), 3..5 (memory 3) or 1..5 (memory 5 and more); the sixth
    // direction is the dense BFGS direction of exactly those pairs.
    constexpr int iterations = 5;
    struct expectation {
        int memory;
        int oldest_pair;
    };
    std::vector<vec> directions;
    for (const expectation e : {expectation{0, 5}, expectation{1, 5}, expectation{3, 3}, expectation{5, 1},
                                expectation{9, 1}}) {
        SCOPED_TRACE("memory " + std::to_string(e.memory));
        const history h = record_history<quartic_bowl>(method::lbfgs, e.memory, quartic_start, iterations);
        std::vector<vec> s, y;
        pairs_of(h, e.oldest_pair, iterations, s, y);
        for (const vec& sk : s) ASSERT_GT(std::sqrt(dot(sk, sk)), 1e-6);  // pairs not yet at rounding level
        const vec expected = reference_direction(s, y, h.g[iterations]);
        const vec d = direction_after<quartic_bowl>(method::lbfgs, e.memory, quartic_start, h, iterations);
        expect_same_vector(d, expected, kDirectionTol);

        // The test can tell the candidate pair sets apart.
        for (int other : {1, 3, 5}) {
            if (other == e.oldest_pair) continue;
            pairs_of(h, other, iterations, s, y);
            EXPECT_GT(relative_gap(reference_direction(s, y, h.g[iterations]), expected), 1000 * kDirectionTol)
                << "pairs from " << other;
        }
    }
}

// -H g for the full method: each update is the BFGS update of c H with
// c = s'y / y'Hy. (The package writes it as c (H - w w'/y'Hy + v v') +
// s s'/s'y; the two agree because BFGS is DFP plus y'Hy u u',
// u = s/s'y - Hy/y'Hy, and v = sqrt(y'Hy) u.)
vec self_scaling_direction(const std::vector<vec>& s, const std::vector<vec>& y, const vec& g) {
    const std::size_t n = g.size();
    matrix H = scaled_identity(n, 1);
    for (std::size_t k = 0; k < s.size(); ++k) {
        double yHy = 0;
        for (std::size_t i = 0; i < n; ++i) yHy += y[k][i] * dot(H[i], y[k]);
        const double c = dot(s[k], y[k]) / yHy;
        for (vec& row : H)
            for (double& h : row) h *= c;
        H = bfgs_update(H, s[k], y[k]);
    }
    vec d(n);
    for (std::size_t i = 0; i < n; ++i) d[i] = -dot(H[i], g);
    return d;
}

TEST(NlpDirection, BfgsKeepsEveryPairWithItsScaling) {
    // The fourth direction of the full method comes from all three pairs,
    // each update rescaled; the packed matrix must be read symmetrically.
    constexpr int iterations = 3;
    const history h = record_history<quartic_bowl>(method::bfgs, 0, quartic_start, iterations);
    std::vector<vec> s, y;
    pairs_of(h, 1, iterations, s, y);
    const vec expected = self_scaling_direction(s, y, h.g[iterations]);
    const vec d = direction_after<quartic_bowl>(method::bfgs, 0, quartic_start, h, iterations);
    expect_same_vector(d, expected, kDirectionTol);
    // Distinct from the limited-memory direction of the same pairs.
    EXPECT_GT(relative_gap(reference_direction(s, y, h.g[iterations]), expected), 1000 * kDirectionTol);
}

// ===========================================================================
// The ring of correction pairs

// Pair number k: s = (k, 1, 0), y = (2k, k, 1), so s . y = 2k^2 + k.
fmat1 pair_s(int k) { return make({double(k), 1, 0}); }
fmat1 pair_y(int k) { return make({2.0 * k, double(k), 1}); }

// The pair numbers from first to last following next, checking that every
// prev link is the reverse of a next link and that the ring closes.
std::vector<int> ring_order(const nlp::ring& r) {
    std::vector<int> order;
    const nlp::list_rec* node = r.first();
    for (int guard = 0; guard < 100; ++guard) {
        order.push_back(static_cast<int>(node->s(1)));
        EXPECT_EQ(node->next->prev, node);
        EXPECT_EQ(node->sy, 2.0 * node->s(1) * node->s(1) + node->s(1));
        if (node == r.last()) break;
        node = node->next;
    }
    EXPECT_EQ(r.last()->next, r.first());
    EXPECT_EQ(r.first()->prev, r.last());
    return order;
}

std::set<const nlp::list_rec*> ring_nodes(const nlp::ring& r) {
    std::set<const nlp::list_rec*> nodes;
    const nlp::list_rec* node = r.first();
    do {
        nodes.insert(node);
        node = node->next;
    } while (node != r.first());
    return nodes;
}

TEST(NlpRing, CreateMakesOneSelfLinkedPair) {
    const nlp::ring r(3, pair_s(1), pair_y(1));
    EXPECT_EQ(r.first(), r.last());
    EXPECT_EQ(r.first()->next, r.first());
    EXPECT_EQ(r.first()->prev, r.first());
    EXPECT_EQ(ring_order(r), std::vector<int>{1});
    EXPECT_EQ(r.first()->sy, 3.0);
}

TEST(NlpRing, MemoryThreeAfterFiveIterationsHoldsPairsThreeToFive) {
    // create after iteration 1, insert after 2 and 3, rotate after 4 and 5.
    nlp::ring r(3, pair_s(1), pair_y(1));
    r.insert(3, pair_s(2), pair_y(2));
    r.insert(3, pair_s(3), pair_y(3));
    EXPECT_EQ(ring_order(r), (std::vector<int>{1, 2, 3}));
    const auto nodes = ring_nodes(r);
    const nlp::list_rec* oldest = r.first();

    fmat1 s4 = pair_s(4), y4 = pair_y(4);
    r.rotate(s4, y4);
    EXPECT_EQ(r.last(), oldest);  // the oldest node now holds the newest pair
    EXPECT_EQ(ring_order(r), (std::vector<int>{2, 3, 4}));
    // The dropped pair comes back in the vectors handed in.
    EXPECT_EQ(s4(1), 1.0);
    EXPECT_EQ(y4(1), 2.0);
    fmat1 s5 = pair_s(5), y5 = pair_y(5);
    r.rotate(s5, y5);
    EXPECT_EQ(ring_order(r), (std::vector<int>{3, 4, 5}));
    EXPECT_EQ(ring_nodes(r), nodes);  // no node allocated or freed
}

TEST(NlpRing, MemoryOneOrZeroKeepsOnlyTheNewestPairInOneNode) {
    nlp::ring r(3, pair_s(1), pair_y(1));
    const nlp::list_rec* only = r.first();
    for (int k = 2; k <= 5; ++k) {
        fmat1 s = pair_s(k), y = pair_y(k);
        r.rotate(s, y);
    }
    EXPECT_EQ(r.first(), only);
    EXPECT_EQ(r.last(), only);
    EXPECT_EQ(ring_order(r), std::vector<int>{5});
}

TEST(NlpRing, DirectionIsTheDenseBfgsDirectionOfThePairsHeld) {
    // After two rotations of a ring of three the direction must use pairs
    // 3, 4, 5 (oldest first) and the scaling of pair 5.
    nlp::ring r(3, pair_s(1), pair_y(1));
    r.insert(3, pair_s(2), pair_y(2));
    r.insert(3, pair_s(3), pair_y(3));
    for (int k = 4; k <= 5; ++k) {
        fmat1 s = pair_s(k), y = pair_y(k);
        r.rotate(s, y);
    }
    const fmat1 g = make({0.3, -1.1, 2.0});
    fmat1 d(3);
    r.direction(g, d);
    std::vector<vec> s, y;
    for (int k = 3; k <= 5; ++k) {
        s.push_back(values(pair_s(k)));
        y.push_back(values(pair_y(k)));
    }
    expect_same_vector(values(d), reference_direction(s, y, values(g)), kDirectionTol);
    // The ring is not changed by computing a direction.
    EXPECT_EQ(ring_order(r), (std::vector<int>{3, 4, 5}));
}

TEST(NlpBfgs, MatrixBeyondThirtyTwoBitBoundsIsAStorageFailure) {
    // n = 70000 needs 2450035000 packed elements, more than one array with
    // 32-bit bounds holds: refused before anything is evaluated, instead of
    // writing past a truncated array.
    constexpr int n = 70000;
    centred_squares f;
    fmat1 x(n), g(n);
    x.fill(0);
    EXPECT_THROW(nlp::bfgs(f, n, 10, 5, 1e-9, 0.9, x, g), std::bad_alloc);
    EXPECT_EQ(f.evaluations, 0);
}

// ===========================================================================
// pos: packed storage of the lower triangle by diagonals

TEST(NlpPos, ThreeByThreeDiagonalsInOrder) {
    EXPECT_EQ(nlp::pos(3, 1, 1), 1);
    EXPECT_EQ(nlp::pos(3, 2, 2), 2);
    EXPECT_EQ(nlp::pos(3, 3, 3), 3);
    EXPECT_EQ(nlp::pos(3, 2, 1), 4);
    EXPECT_EQ(nlp::pos(3, 3, 2), 5);
    EXPECT_EQ(nlp::pos(3, 3, 1), 6);
}

TEST(NlpPos, EveryPositionOnceAndTheCornerLast) {
    for (long long n : {1LL, 2LL, 5LL, 17LL}) {
        std::set<long long> seen;
        for (long long i = 1; i <= n; ++i)
            for (long long j = 1; j <= i; ++j) seen.insert(nlp::pos(n, i, j));
        EXPECT_EQ(static_cast<long long>(seen.size()), n * (n + 1) / 2) << "n = " << n;
        EXPECT_EQ(*seen.begin(), 1);
        EXPECT_EQ(*seen.rbegin(), n * (n + 1) / 2);
        EXPECT_EQ(nlp::pos(n, n, 1), n * (n + 1) / 2);
    }
    // Beyond the 32-bit range of n (n + 1) / 2.
    EXPECT_EQ(nlp::pos(100000, 100000, 1), 5000050000LL);
}

// ===========================================================================
// norm

TEST(NlpNorm, LargestMagnitudeAndNaNPassedOver) {
    EXPECT_EQ(nlp::norm(3, make({3, -7, 2})), 7.0);
    EXPECT_EQ(nlp::norm(0, fmat1(0)), 0.0);
    EXPECT_EQ(nlp::norm(-1, fmat1(0)), 0.0);
    EXPECT_EQ(nlp::norm(3, make({nan, -2, 1})), 2.0);
    EXPECT_EQ(nlp::norm(2, make({1, -inf})), inf);
}

}  // namespace
