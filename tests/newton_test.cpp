// Tests of Newton's method and its load increments on a chain of nonlinear
// springs with a closed-form equilibrium: node 0 is moved to lambda U,
// node n carries the force lambda F, and spring j between nodes j - 1 and
// j has the energy
//   phi(e) = (1 + e)^2 / 2 - ln(1 + e),   +infinity for 1 + e <= 0,
// so phi'(e) = s - 1/s with s = 1 + e, and every spring of the equilibrium
// carries the force F: s = (F + sqrt(F^2 + 4)) / 2, x_i = lambda U + i e.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "load_steps.hpp"

namespace {

using terms::fmat1;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double kEquilibriumTol = 1e-10;  // converged to a residue of 1e-12 with a stiffness near 1

// The stretch 1 + e of every spring at equilibrium under an end force F.
double stretch_under(double F) { return (F + std::sqrt(F * F + 4)) / 2; }

struct spring_chain {
    int n;
    double U, F;                          // full prescribed displacement of node 0 and full end force
    double lambda = 1;                    // current load fraction
    std::vector<double> diagonal, lower;  // the factor of the tridiagonal tangent
    mutable int evaluations = 0;
    int factorisations = 0;

    spring_chain(int nodes, double u, double f) : n(nodes), U(u), F(f), diagonal(nodes), lower(nodes) {}

    double position(const fmat1& x, int i) const { return i == 0 ? lambda * U : x(i); }
    double strain(const fmat1& x, int j) const { return position(x, j) - position(x, j - 1); }

    double operator()(int, const fmat1& x, fmat1& g) const {
        ++evaluations;
        double energy = -lambda * F * x(n);
        for (int i = 1; i <= n; ++i) g(i) = 0;
        g(n) = -lambda * F;
        for (int j = 1; j <= n; ++j) {
            const double s = 1 + strain(x, j);
            if (!(s > 0)) {
                for (int i = 1; i <= n; ++i) g(i) = std::numeric_limits<double>::quiet_NaN();
                return inf;
            }
            energy += s * s / 2 - std::log(s);
            const double force = s - 1 / s;
            g(j) += force;
            if (j > 1) g(j - 1) -= force;
        }
        return energy;
    }

    // The tangent is tridiagonal with phi''(e) = 1 + 1/s^2 per spring:
    // Cholesky by the three-term recurrence.
    bool factorise(int, const fmat1& x) {
        ++factorisations;
        for (int i = 1; i <= n; ++i) {
            const double s = 1 + strain(x, i);
            const double k_left = 1 + 1 / (s * s);
            double k_right = 0;
            if (i < n) {
                const double t = 1 + strain(x, i + 1);
                k_right = 1 + 1 / (t * t);
            }
            double d = k_left + k_right;
            if (i > 1) d -= lower[i - 2] * lower[i - 2];
            if (!(d > 0)) return false;
            diagonal[i - 1] = std::sqrt(d);
            lower[i - 1] = i < n ? -k_right / diagonal[i - 1] : 0;
        }
        return true;
    }

    void solve(int, const fmat1& r, fmat1& d) const {
        std::vector<double> y(n);
        for (int i = 0; i < n; ++i) y[i] = (r.data()[i] - (i > 0 ? lower[i - 1] * y[i - 1] : 0)) / diagonal[i];
        for (int i = n - 1; i >= 0; --i)
            d.data()[i] = (y[i] - (i < n - 1 ? lower[i] * d.data()[i + 1] : 0)) / diagonal[i];
    }

    void load(double l) { lambda = l; }

    // dg/dlambda: node 1 feels node 0 move by U, node n the force F.
    void load_derivative(int, const fmat1& x, fmat1& r) const {
        for (int i = 1; i <= n; ++i) r(i) = 0;
        const double s = 1 + strain(x, 1);
        r(1) = -U * (1 + 1 / (s * s));
        r(n) += -F;
    }
};

void expect_equilibrium(const spring_chain& p, const fmat1& x, double lambda) {
    const double e = stretch_under(lambda * p.F) - 1;
    for (int i = 1; i <= p.n; ++i) EXPECT_NEAR(x(i), lambda * p.U + i * e, kEquilibriumTol) << "node " << i;
}

// A chain (spring_chain or a variant) of n springs from rest, x = 0, with
// Newton's method or the load increments to run on it.
template <class Chain = spring_chain>
struct from_rest {
    Chain chain;
    fmat1 x, g;

    from_rest(int n, double U, double F) : chain(n, U, F), x(n), g(n) { x.fill(0); }

    template <class Observer = nlp::no_observer>
    nlp::newton_outcome newton(const nlp::newton_settings& s, Observer&& observe = {}) {
        nlp::newton_work w(chain.n);
        const double f = chain(chain.n, x, g);
        return nlp::newton(chain, chain.n, s, f, x, g, w, std::forward<Observer>(observe));
    }

    template <class Observer = nlp::no_observer>
    nlp::load_result follow_loads(const nlp::load_settings& s, Observer&& observe = {}) {
        return nlp::follow_loads(chain, chain.n, s, x, g, std::forward<Observer>(observe));
    }
};

struct residues {
    std::vector<nlp::iteration_report> seen;
    void operator()(const nlp::iteration_report& r) { seen.push_back(r); }
};

// From rest under a large pull the residue falls quadratically once Newton
// is close: each residue below 1e-2 is at most a small constant times the
// square of the one before, and it takes at most six iterations.
TEST(NewtonMethod, ConvergesQuadraticallyOnAStiffeningChain) {
    from_rest<> c(8, 0, 3);
    residues log;
    const nlp::newton_outcome out = c.newton({50, 20, 1e-12, 0.9}, log);
    EXPECT_EQ(out.end, nlp::newton_end::converged);
    EXPECT_LE(out.iterations, 6);
    expect_equilibrium(c.chain, c.x, 1);
    ASSERT_EQ(log.seen.size(), static_cast<std::size_t>(out.iterations));
    for (std::size_t k = 1; k < log.seen.size(); ++k) {
        EXPECT_EQ(log.seen[k].iteration, static_cast<int>(k) + 1);
        if (log.seen[k - 1].residue < 1e-2 && log.seen[k - 1].residue > 1e-6) {
            EXPECT_LE(log.seen[k].residue, 10 * std::pow(log.seen[k - 1].residue, 2));
        }
    }
    // Near the solution the search accepts a step at the full one: the
    // cubic fitted after it lands there.
    EXPECT_NEAR(log.seen.back().step, 1, 1e-3);
}

// A hard push: the full Newton step from rest turns springs over (infinite
// energy), so the search must fall back inside the admissible region; every
// accepted point is admissible and the equilibrium is reached, the energy
// returned being the one there.
TEST(NewtonMethod, NeverAcceptsAnInadmissiblePoint) {
    from_rest<> c(4, 0, -6);
    residues log;
    const nlp::newton_outcome out = c.newton({50, 20, 1e-12, 0.9}, log);
    EXPECT_EQ(out.end, nlp::newton_end::converged);
    for (const auto& r : log.seen) EXPECT_LT(r.energy, inf);
    expect_equilibrium(c.chain, c.x, 1);
    EXPECT_EQ(out.energy, c.chain(4, c.x, c.g));
}

// With a residue that rounding cannot reach, the iterations stop as
// stalled, at the equilibrium, without raising the line-search failure.
TEST(NewtonMethod, StopsAtTheRoundingFloorWithoutFailing) {
    from_rest<> c(6, 0.5, 2);
    const nlp::newton_outcome out = c.newton({200, 20, 0, 0.9});
    EXPECT_EQ(out.end, nlp::newton_end::stalled);
    EXPECT_LT(out.iterations, 200);
    expect_equilibrium(c.chain, c.x, 1);
}

// A factorisation that fails ends the run at once, the point unchanged.
TEST(NewtonMethod, AFailedFactorisationEndsTheRun) {
    struct refusing : spring_chain {
        using spring_chain::spring_chain;
        bool factorise(int, const fmat1&) { return false; }
    };
    from_rest<refusing> c(3, 0, 1);
    const nlp::newton_outcome out = c.newton({10, 20, 1e-12, 0.9});
    EXPECT_EQ(out.end, nlp::newton_end::no_factor);
    EXPECT_EQ(out.iterations, 0);
    EXPECT_EQ(c.x(3), 0);
}

// The predictor from the tangent at rest is the linear solution: for a
// moved support it carries the chain with it, so the whole load converges
// in one increment although the support alone turns the first spring over.
TEST(LoadSteps, PredictorCarriesAMovedSupport) {
    from_rest<> c(5, 3, 0.5);
    const nlp::load_result r = c.follow_loads({{100, 20, 1e-12, 0.9}, 0});
    EXPECT_TRUE(r.total.optimal);
    EXPECT_EQ(r.load, 1);
    EXPECT_EQ(r.increments, 1);
    expect_equilibrium(c.chain, c.x, 1);
}

// A chain whose factorisation fails whenever the load has grown by more
// than 0.3 since the load set before it: a stand-in for an increment too
// large to follow.
struct jumpy : spring_chain {
    using spring_chain::spring_chain;
    double before = 0, now = 0;
    void load(double l) {
        before = now;
        now = l;
        lambda = l;
    }
    bool factorise(int k, const fmat1& x) { return now - before <= 0.3 && spring_chain::factorise(k, x); }
};

// Adaptive increments on the jumpy chain, worked by hand from step 1: 1
// fails, 0.5 fails, 0.25 reached (0.25); the step doubles to 0.5: fails,
// 0.25 reached (0.5); 0.5 fails, 0.25 reached (0.75); 0.5 is reached (1),
// where the step of 0.5 is cut to the 0.25 left: four increments, the k-th
// aiming at k / 4, and the failed ones report no iteration.
TEST(LoadSteps, FailedIncrementsAreHalved) {
    from_rest<jumpy> c(4, 1, 2);
    residues log;
    const nlp::load_result r = c.follow_loads({{200, 20, 1e-12, 0.9}, 0}, log);
    EXPECT_TRUE(r.total.optimal);
    EXPECT_EQ(r.increments, 4);
    expect_equilibrium(c.chain, c.x, 1);
    ASSERT_FALSE(log.seen.empty());
    EXPECT_EQ(log.seen.back().load, 1);
    EXPECT_EQ(log.seen.back().increment, 4);
    EXPECT_EQ(log.seen.back().iteration, r.total.iterations);
    for (const nlp::iteration_report& seen : log.seen) EXPECT_EQ(seen.load, 0.25 * seen.increment);
}

// Fixed increments of 1/4 never raise the load by more than 0.3: the jumpy
// chain reaches the same equilibrium in four increments without a failure.
TEST(LoadSteps, FixedIncrementsReachTheSameEquilibrium) {
    from_rest<jumpy> c(4, 1, 2);
    const nlp::load_result r = c.follow_loads({{200, 20, 1e-12, 0.9}, 4});
    EXPECT_TRUE(r.total.optimal);
    EXPECT_EQ(r.increments, 4);
    expect_equilibrium(c.chain, c.x, 1);
}

// A residue test that rounding cannot pass: every increment stalls at its
// equilibrium, the full load is reached, and it is not optimal.
TEST(LoadSteps, StalledIncrementsReachTheFullLoadNotOptimal) {
    from_rest<> c(4, 1, 2);
    const nlp::load_result r = c.follow_loads({{200, 20, 0, 0.9}, 2});
    EXPECT_FALSE(r.total.optimal);
    EXPECT_EQ(r.load, 1);
    EXPECT_EQ(r.increments, 2);
    expect_equilibrium(c.chain, c.x, 1);
}

// An iteration budget too small for the whole path returns the last
// equilibrium reached, the problem's loads at its load fraction.
TEST(LoadSteps, ExhaustedBudgetReturnsTheLastEquilibrium) {
    from_rest<> c(4, 1, 2);
    const nlp::load_result r = c.follow_loads({{5, 20, 1e-12, 0.9}, 4});
    EXPECT_FALSE(r.total.optimal);
    EXPECT_LE(r.total.iterations, 5);
    ASSERT_LT(r.load, 1);
    EXPECT_GT(r.load, 0);
    EXPECT_EQ(c.chain.lambda, r.load);
    expect_equilibrium(c.chain, c.x, r.load);
}

// One BFGS pair corrects the inverse of the kept matrix H0 (here a
// diagonal one) to H = (I - rho s y') H0 (I - rho y s') + rho s s',
// rho = 1 / (s . y): the two-loop direction -H g against that formula
// multiplied out by hand, in three dimensions.
TEST(FactorUpdates, OnePairIsTheBfgsUpdateOfTheKeptInverse) {
    const double h0[3] = {0.5, 2.0, 1.0};  // the kept factor's inverse, diagonal
    fmat1 x0(3), g0(3), x(3), g(3), d(3);
    const double s[3] = {1.0, -0.5, 2.0}, y[3] = {3.0, 1.0, 0.5}, gv[3] = {0.3, -1.2, 0.7};
    for (int i = 1; i <= 3; ++i) {
        x0(i) = 0.1 * i, g0(i) = -0.2 * i;
        x(i) = x0(i) + s[i - 1], g(i) = g0(i) + y[i - 1];
    }
    nlp::factor_updates u;
    u.set_capacity(3, 2);
    u.record(x0, g0, x, g);
    ASSERT_EQ(u.count(), 1);
    fmat1 gq(3);
    for (int i = 1; i <= 3; ++i) gq(i) = gv[i - 1];
    u.direction(gq, d, [&](const fmat1& r, fmat1& out) {
        for (int i = 1; i <= 3; ++i) out(i) = h0[i - 1] * r(i);
    });
    // H = V' H0 V + rho s s', V = I - rho y s'.
    const double rho = 1 / (s[0] * y[0] + s[1] * y[1] + s[2] * y[2]);
    double H[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double sum = 0;
            for (int k = 0; k < 3; ++k) {
                const double vki = (k == i ? 1.0 : 0.0) - rho * y[k] * s[i];
                const double vkj = (k == j ? 1.0 : 0.0) - rho * y[k] * s[j];
                sum += vki * h0[k] * vkj;
            }
            H[i][j] = sum + rho * s[i] * s[j];
        }
    for (int i = 0; i < 3; ++i) {
        const double expected = -(H[i][0] * gv[0] + H[i][1] * gv[1] + H[i][2] * gv[2]);
        EXPECT_NEAR(d(i + 1), expected, 1e-14) << i;
    }
}

// A pair of negative curvature (s . y <= 0) is left out: it would make the
// update indefinite. The direction is then the kept inverse's alone.
TEST(FactorUpdates, PairsOfNegativeCurvatureAreLeftOut) {
    fmat1 x0(2), g0(2), x(2), g(2), d(2), gq(2);
    x0.fill(0), g0.fill(0);
    x(1) = 1, x(2) = 0, g(1) = -1, g(2) = 0;  // s . y = -1
    nlp::factor_updates u;
    u.set_capacity(2, 4);
    u.record(x0, g0, x, g);
    EXPECT_EQ(u.count(), 0);
    gq(1) = 2, gq(2) = -4;
    u.direction(gq, d, [](const fmat1& r, fmat1& out) {
        out(1) = r(1) / 2;
        out(2) = r(2) / 4;
    });
    EXPECT_EQ(d(1), -1);
    EXPECT_EQ(d(2), 1);
}

// Kept factors with BFGS pairs on the stiffening chain: the equilibrium of
// the closed form, with no more factorisations than the plain chord
// method, which keeps each factor as long.
TEST(NewtonMethod, KeptFactorsWithPairsReachTheEquilibrium) {
    int factorisations[2] = {0, 0};
    for (const int pairs : {0, 4}) {
        from_rest<> c(8, 0, 3);
        nlp::newton_settings s{60, 20, 1e-12, 0.9, 0.5};
        s.kept_pairs = pairs;
        const nlp::newton_outcome out = c.newton(s);
        EXPECT_EQ(out.end, nlp::newton_end::converged) << pairs;
        expect_equilibrium(c.chain, c.x, 1);
        factorisations[pairs == 0 ? 0 : 1] = c.chain.factorisations;
    }
    EXPECT_LE(factorisations[1], factorisations[0]);
}

// The softening spring f(x) = log cosh x - lambda b x, b = 0.5: its
// tangent at rest is 1, so the linear response to the whole load is x =
// 0.5, where the slope tanh 0.5 - 0.5 = -0.038 is well within eta times the
// first one (-0.5). The predictor takes that point as it is (Newton's first
// factorisation is there), and Newton's method goes on to atanh 0.5.
TEST(LoadSteps, PredictorTakesTheLinearResponseWhereItPassesTheTest) {
    struct softening {
        double lambda = 0;
        std::vector<double> factorised_at;
        double k = 1;
        double operator()(int, const fmat1& x, fmat1& g) const {
            g(1) = std::tanh(x(1)) - lambda * 0.5;
            return std::log(std::cosh(x(1))) - lambda * 0.5 * x(1);
        }
        bool factorise(int, const fmat1& x) {
            factorised_at.push_back(x(1));
            k = 1 / (std::cosh(x(1)) * std::cosh(x(1)));
            return true;
        }
        void solve(int, const fmat1& r, fmat1& d) const { d(1) = r(1) / k; }
        void load(double l) { lambda = l; }
        void load_derivative(int, const fmat1&, fmat1& r) const { r(1) = -0.5; }
    } p;
    fmat1 x(1), g(1);
    x.fill(0);
    const nlp::load_result r = nlp::follow_loads(p, 1, {{50, 20, 1e-13, 0.9}, 0}, x, g);
    EXPECT_TRUE(r.total.optimal);
    ASSERT_GE(p.factorised_at.size(), 2u);
    EXPECT_EQ(p.factorised_at[0], 0);
    EXPECT_EQ(p.factorised_at[1], 0.5);
    EXPECT_NEAR(x(1), std::atanh(0.5), 1e-12);
}

}  // namespace
