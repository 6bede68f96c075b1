// Tests of the arc-length continuation on the two-bar truss that snaps
// through: bars of axial stiffness EA from the supports (-L, 0) and (L, 0)
// to the apex at (0, H), the apex free in x and y under a downward force
// lambda P. With the Green strain e = (l^2 - l0^2) / (2 l0^2) of a bar of
// length l (l0 = sqrt(L^2 + H^2) at rest) and the energy EA l0 e^2 / 2 per
// bar, the apex moved down by w (and not sideways) is in equilibrium where
//   lambda P = EA w (w - H) (w - 2 H) / l0^3,
// a cubic that rises to its maximum at w = H (1 - 1/sqrt(3)), where
//   lambda P = 2 EA H^3 / (3 sqrt(3) l0^3),
// falls to the flat truss w = H, and rises again past the mirror image of
// the start, w = 2 H. The sideways stiffness 2 EA (L^2 / l0^4 + e / l0^2)
// stays positive on the way when H < sqrt(2) L: no bifurcation.
#include "arc_length.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using terms::fmat1;

constexpr double EA = 1, L = 1, H = 0.5;
const double l0 = std::sqrt(L * L + H * H);
const double top_w = H * (1 - 1 / std::sqrt(3.0));
const double top_force = 2 * EA * H * H * H / (3 * std::sqrt(3.0) * l0 * l0 * l0);
constexpr double kPathTol = 1e-8;  // rows converged to a residue of 1e-13 on a tangent of order 1

// The force lambda P that holds the apex at w down, on the symmetric path.
double force_at(double w) { return EA * w * (w - H) * (w - 2 * H) / (l0 * l0 * l0); }

// x(1) = u sideways, x(2) = v up, of the apex.
struct truss {
    double P;  // full force, downward
    double lambda = 1;
    double d1 = 0, l21 = 0, d2 = 0;  // K = [1 0; l21 1] diag(d1, d2) [1 l21; 0 1]

    explicit truss(double force) : P(force) {}

    double strain(double u, double v, double side) const {
        const double dx = L + side * u, dy = H + v;
        return (dx * dx + dy * dy - l0 * l0) / (2 * l0 * l0);
    }

    double operator()(int, const fmat1& x, fmat1& g) const {
        const double u = x(1), v = x(2), e1 = strain(u, v, 1), e2 = strain(u, v, -1);
        const double c = EA * l0 / (l0 * l0);
        g(1) = c * (e1 * (L + u) - e2 * (L - u));
        g(2) = c * (e1 + e2) * (H + v) + lambda * P;
        return EA * l0 * (e1 * e1 + e2 * e2) / 2 + lambda * P * v;
    }

    // The exact 2 x 2 tangent as L D L'; definite says whether it must be
    // positive definite.
    bool factor(const fmat1& x, bool definite) {
        const double u = x(1), v = x(2), e = strain(u, v, 1) + strain(u, v, -1);
        const double c = EA * l0 / (l0 * l0 * l0 * l0), s = EA * l0 / (l0 * l0);
        const double kuu = c * ((L + u) * (L + u) + (L - u) * (L - u)) + s * e;
        const double kvv = c * 2 * (H + v) * (H + v) + s * e;
        const double kuv = c * 2 * u * (H + v);
        d1 = kuu;
        if (d1 == 0) return false;
        l21 = kuv / d1;
        d2 = kvv - l21 * kuv;
        if (d2 == 0) return false;
        return !definite || (d1 > 0 && d2 > 0);
    }
    bool factorise(int, const fmat1& x) { return factor(x, true); }
    bool factorise_exact(int, const fmat1& x) { return factor(x, false); }
    void solve(int, const fmat1& r, fmat1& d) const {
        const double y2 = r(2) - l21 * r(1);
        d(2) = y2 / d2;
        d(1) = r(1) / d1 - l21 * d(2);
    }
    void load(double l) { lambda = l; }
    void load_derivative(int, const fmat1&, fmat1& r) const {
        r(1) = 0;
        r(2) = P;
    }
};

struct row {
    int increment;
    double load, u, w, residue;
};

struct traced {
    truss t;
    fmat1 x{2}, g{2};
    std::vector<row> rows;
    nlp::arc_result result;

    traced(double P, const nlp::arc_settings& s) : t(P) {
        x.fill(0);
        result = nlp::follow_path(t, 2, s, x, g, nlp::no_observer{}, [this](const nlp::equilibrium_report& r) {
            EXPECT_EQ(t.lambda, r.load);
            rows.push_back({r.increment, r.load, x(1), -x(2), r.residue});
        });
    }
};

nlp::arc_settings settings(int max_iterations, double peak_tolerance = 1e-3) {
    nlp::arc_settings s{{max_iterations, 20, 1e-13, 0.9}, 0, peak_tolerance};
    return s;
}

// Each row is an equilibrium of the closed form, reached in order along
// the path: the apex goes down from row to row, never back.
void expect_on_the_path(const traced& p) {
    double w_before = 0;
    for (const row& r : p.rows) {
        SCOPED_TRACE(testing::Message() << "increment " << r.increment << ", w " << r.w);
        EXPECT_LE(r.residue, 1e-13);
        EXPECT_NEAR(r.u, 0, kPathTol);
        EXPECT_NEAR(r.load * p.t.P, force_at(r.w), kPathTol * p.t.P);
        EXPECT_GT(r.w, w_before);
        w_before = r.w;
    }
}

// A force 1.45 times the limit: the path climbs to the limit point, goes
// down through the flat truss and the negative loads beyond it, and comes
// back up to the full force past the mirror image of the start. With the
// peak pinned to 1e-10, the limit load is the closed form's to 1e-8.
TEST(ArcLength, TracesTheTrussThroughItsLimitPointToTheFullLoad) {
    const double P = 1.45 * top_force;
    const traced p(P, settings(400, 1e-10));
    EXPECT_TRUE(p.result.total.optimal);
    EXPECT_EQ(p.result.load, 1);
    ASSERT_FALSE(p.rows.empty());
    expect_on_the_path(p);
    EXPECT_EQ(p.rows.back().load, 1);
    EXPECT_GT(p.rows.back().w, 2 * H);
    EXPECT_NEAR(force_at(p.rows.back().w), P, 1e-12);
    EXPECT_NEAR(p.x(2), -p.rows.back().w, 0);
    // Loads below the flat truss were passed: the path went down and back.
    double lowest = 1;
    for (const row& r : p.rows) lowest = std::min(lowest, r.load);
    EXPECT_LT(lowest, 0);
    ASSERT_EQ(p.result.limits.size(), 1u);
    EXPECT_NEAR(p.result.limits[0].load * P, top_force, 1e-8 * top_force);
    EXPECT_NEAR(p.rows[std::size_t(p.result.limits[0].increment - 1)].w, top_w, 1e-4);
    EXPECT_EQ(p.result.largest_load, 1);
}

// With the default tolerance the history has a row within 0.1 % below the
// limit load, and that row is the limit point recorded.
TEST(ArcLength, PinsTheLimitPointToTheTolerance) {
    const double P = 1.45 * top_force, top = top_force / P;
    const traced p(P, settings(400));
    ASSERT_TRUE(p.result.total.optimal);
    ASSERT_EQ(p.result.limits.size(), 1u);
    const nlp::limit_point limit = p.result.limits[0];
    EXPECT_LE(limit.load, top);
    EXPECT_GE(limit.load, top * (1 - 1e-3));
    EXPECT_EQ(p.rows[std::size_t(limit.increment - 1)].load, limit.load);
}

// A budget that runs out on the way down: the last equilibrium reached is
// returned, on the path, with the problem's load at it; the largest load
// carried is the limit point.
TEST(ArcLength, BudgetEndsOnTheDescendingBranch) {
    const double P = 1.45 * top_force, top = top_force / P;
    const traced whole(P, settings(400));
    ASSERT_EQ(whole.result.limits.size(), 1u);
    const int past = whole.result.limits[0].increment + 1;
    for (int budget = 1; budget < whole.result.total.iterations; ++budget) {
        const traced p(P, settings(budget));
        if (p.result.increments < past) continue;
        EXPECT_FALSE(p.result.total.optimal);
        EXPECT_TRUE(p.result.budget_spent);
        EXPECT_LE(p.result.total.iterations, budget);
        EXPECT_LT(p.result.load, 1);
        EXPECT_EQ(p.t.lambda, p.result.load);
        EXPECT_NEAR(p.result.load * P, force_at(-p.x(2)), kPathTol * P);
        EXPECT_NEAR(p.result.largest_load, top, 1e-3 * top);
        ASSERT_EQ(p.result.limits.size(), 1u);
        EXPECT_EQ(p.result.largest_at, p.result.limits[0].increment);
        expect_on_the_path(p);
        return;
    }
    ADD_FAILURE() << "no budget ended past the limit point";
}

// States with the apex below w = 0.6 are inadmissible (objective
// +infinity), as states that turn elements over are: the path passes the
// limit point and stops short of that floor, at its last equilibrium, with
// no row beyond it and the iterations not spent.
TEST(ArcLength, StopsAtStatesItMayNotEnter) {
    struct floored : truss {
        using truss::truss;
        double operator()(int n, const fmat1& x, fmat1& g) const {
            if (-x(2) > 0.6) return std::numeric_limits<double>::infinity();
            return truss::operator()(n, x, g);
        }
    };
    const double P = 1.45 * top_force;
    floored t(P);
    fmat1 x(2), g(2);
    x.fill(0);
    std::vector<double> reached;
    const nlp::arc_result r = nlp::follow_path(t, 2, settings(400), x, g, nlp::no_observer{},
                                               [&](const nlp::equilibrium_report&) { reached.push_back(-x(2)); });
    EXPECT_FALSE(r.total.optimal);
    EXPECT_FALSE(r.budget_spent);
    EXPECT_EQ(r.limits.size(), 1u);
    ASSERT_FALSE(reached.empty());
    for (const double w : reached) EXPECT_LE(w, 0.6);
    EXPECT_GT(reached.back(), 0.5);
    EXPECT_EQ(-x(2), reached.back());
    EXPECT_NEAR(r.load * P, force_at(reached.back()), kPathTol * P);
}

// Below the limit load the path is monotone: arc-length continuation and
// load increments end at the same state, the closed form's first root.
TEST(ArcLength, EndsWhereLoadIncrementsEndOnAMonotonePath) {
    const double P = 0.6 * top_force;
    const traced p(P, settings(400));
    ASSERT_TRUE(p.result.total.optimal);
    EXPECT_TRUE(p.result.limits.empty());
    expect_on_the_path(p);
    truss by_loads(P);
    fmat1 x(2), g(2);
    x.fill(0);
    const nlp::load_result r = nlp::follow_loads(by_loads, 2, {{400, 20, 1e-13, 0.9}, 0}, x, g);
    ASSERT_TRUE(r.total.optimal);
    EXPECT_NEAR(p.x(1), x(1), 1e-12);
    EXPECT_NEAR(p.x(2), x(2), 1e-12);
    EXPECT_NEAR(force_at(-x(2)), P, 1e-13);
    EXPECT_LT(-x(2), top_w);
}

}  // namespace
