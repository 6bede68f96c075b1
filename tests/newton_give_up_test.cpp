// Tests of how Newton's method and its load increments give up: an
// increment whose damped steps do not cut the residue is abandoned after a
// few iterations, instead of running to the iteration budget.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "load_steps.hpp"

namespace {

using terms::fmat1;

struct residues {
    std::vector<nlp::iteration_report> seen;
    void operator()(const nlp::iteration_report& r) { seen.push_back(r); }
};

// The bowl f = |x|^2 / 2 - lambda (x1 + x2), whose minimum is x = lambda
// (1, 1) and whose tangent is the identity. It solves exactly, except where
// the load has grown by more than 0.3 since the load set before it: there
// it adds s = 20 times the solution turned by a right angle, so that the
// direction is a descent (g . d = -|g|^2) that runs almost across the
// gradient. The line search along it stops near t = 1 / (1 + s^2), about
// 1/400, where the residue has fallen by about 1/800 of itself: damped
// steps that do not cut the residue.
struct skewed_bowl {
    static constexpr double turn = 20;
    double lambda = 1, before = 0, now = 0;
    double operator()(int, const fmat1& x, fmat1& g) const {
        g(1) = x(1) - lambda;
        g(2) = x(2) - lambda;
        return (x(1) * x(1) + x(2) * x(2)) / 2 - lambda * (x(1) + x(2));
    }
    bool factorise(int, const fmat1&) { return true; }
    void solve(int, const fmat1& r, fmat1& d) const {
        const double t = now - before <= 0.3 ? 0.0 : turn;
        d(1) = r(1) - t * r(2);
        d(2) = r(2) + t * r(1);
    }
    void load(double l) {
        before = now;
        now = l;
        lambda = l;
    }
    // A predictor that sees nothing coming: each increment starts at the
    // last equilibrium.
    void load_derivative(int, const fmat1&, fmat1& r) const { r.fill(0); }
};

// From (1, 1) at lambda 0 with the skewed directions: three damped steps
// that leave the residue above a half end the iterations as hopeless;
// without the rule the same iterations run to the budget.
TEST(NewtonMethod, GivesUpWhenDampedStepsDoNotCutTheResidue) {
    for (const int give_up : {3, 0}) {
        skewed_bowl p;
        p.load(0);
        p.load(1);
        p.lambda = 0;
        fmat1 x(2), g(2);
        x.fill(1);
        nlp::newton_work w(2);
        residues log;
        nlp::newton_settings s{8, 20, 1e-12, 0.9};
        s.give_up_after = give_up;
        const nlp::newton_outcome out = nlp::newton(p, 2, s, p(2, x, g), x, g, w, log);
        for (const nlp::iteration_report& seen : log.seen) {
            EXPECT_LT(seen.step, nlp::damped_step);
            EXPECT_GT(seen.residue, 0.5);
        }
        if (give_up == 3) {
            EXPECT_EQ(out.end, nlp::newton_end::hopeless);
            EXPECT_EQ(out.iterations, 3);
        } else {
            EXPECT_EQ(out.end, nlp::newton_end::limit);
            EXPECT_EQ(out.iterations, 8);
        }
    }
}

// Adaptive increments on the bowl, worked by hand as for the jumpy chain
// (a load raised by more than 0.3 is hopeless): 1 and 0.5 are given up,
// 0.25 reached, 0.5 given up, 0.25 reached, and so on to four increments of
// 1/4. Each increment given up spends three or four iterations, not the
// 25 an increment may take.
TEST(LoadSteps, HopelessIncrementsAreGivenUpAfterAFewIterations) {
    skewed_bowl p;
    fmat1 x(2), g(2);
    x.fill(0);
    residues log;
    const nlp::load_result r = nlp::follow_loads(p, 2, {{200, 20, 1e-12, 0.9}, 0}, x, g, log);
    EXPECT_TRUE(r.total.optimal);
    EXPECT_EQ(r.increments, 4);
    EXPECT_NEAR(x(1), 1, 1e-12);
    EXPECT_NEAR(x(2), 1, 1e-12);
    // Iterations by the load they aimed at, in runs: an attempt ends where
    // the load changes.
    std::vector<std::pair<double, int>> attempts;
    for (const nlp::iteration_report& seen : log.seen) {
        if (attempts.empty() || attempts.back().first != seen.load) attempts.push_back({seen.load, 0});
        ++attempts.back().second;
    }
    int given_up = 0;
    for (std::size_t k = 0; k + 1 < attempts.size(); ++k)
        if (attempts[k + 1].first <= attempts[k].first) {  // the next attempt aims lower: this one was given up
            ++given_up;
            EXPECT_GE(attempts[k].second, nlp::hopeless_iterations) << attempts[k].first;
            EXPECT_LE(attempts[k].second, nlp::hopeless_iterations + 1) << attempts[k].first;
        }
    EXPECT_GE(given_up, 2);
}

}  // namespace
