// Newton's method on whole models, in process: closed-form homogeneous
// stretches, agreement with the default method where that converges
// unfolded, models on which the default method folds, and supports moved
// farther than an element layer.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "grid_text.hpp"
#include "mechanics/mechanics.hpp"
#include "model/steps.hpp"
#include "newton/newton_method.hpp"
#include "nlp.hpp"
#include "read/input.hpp"

namespace {

using velmora::model;

constexpr double kExactStretchTol = 1e-10;  // converged far below it; the closed form is exact to rounding
constexpr double kAgreementTol = 1e-6;      // both methods converged to 1e-10 of their start residue
// r_next <= C r^2 once close: C is about |K^-1| |dK/du| / 2, of order 10 to
// 100 for these moduli (measured 30 to 90), far below what a linear rate gives.
constexpr double kQuadraticConstant = 100;

void set_up(model& m, const std::string& text) {
    velmora::read_model(m, text, "input.txt");
    velmora::start(m);
}

// The displacement of direction d of node i: free from the vector, else prescribed.
double displacement(const model& m, int i, int d) {
    const int k = m.dof_number(i, d);
    return k <= m.dof_count ? m.displacement(k) : m.prescribed(i, d);
}

struct residues {
    std::vector<double> seen;
    void operator()(const nlp::iteration_report& r) { seen.push_back(r.residue); }
};

// A strip of 4 x 2 cells stretched homogeneously to l1 = 1.2, by a moved
// end or by the traction that the closed form gives for that stretch: the
// constant-strain triangles reproduce it exactly, ux = (l1 - 1) x and
// uy = (l2 - 1) y with the lateral stretch l2 that frees the sides. Newton
// gets there in at most 6 iterations, the residue squaring once close.
TEST(NewtonPath, HomogeneousStretchIsExactInFewIterations) {
    const double l1 = 1.2;
    for (const test::law& w : {test::law{1, 1.0, 0.0, 10.0}, test::law{2, 0.4, 0.1, 50.0}})
        for (const bool by_force : {false, true}) {
            SCOPED_TRACE(testing::Message() << "law " << w.kind << (by_force ? " by force" : " by displacement"));
            test::grid_text g;
            g.material = w.input_line(1.0);
            g.hold_left_end();
            const double l2 = w.lateral_stretch(l1);
            // The nominal traction: the Cauchy stress times the current height per unit initial height.
            if (by_force)
                g.load_right_end(1, w.cauchy(l1, l2, 0) * l2 * g.height);
            else
                g.move_right_end((l1 - 1) * g.length);
            model m;
            set_up(m, g.text());
            residues log;
            const velmora::newton_summary s = velmora::newton_equilibrium(m, 0, std::ref(log));
            EXPECT_TRUE(s.optimal);
            EXPECT_LE(s.iterations, 6);
            for (int i = 1; i <= g.node_count(); ++i) {
                EXPECT_NEAR(displacement(m, i, 1), (l1 - 1) * g.x_of(i), kExactStretchTol) << "node " << i;
                EXPECT_NEAR(displacement(m, i, 2), (l2 - 1) * g.y_of(i), kExactStretchTol) << "node " << i;
            }
            // Above the rounding floor of the residue (about 1e-14 here).
            for (std::size_t k = 1; k < log.seen.size(); ++k)
                if (log.seen[k - 1] < 1e-3 && log.seen[k - 1] > 1e-6) {
                    EXPECT_LE(log.seen[k], kQuadraticConstant * log.seen[k - 1] * log.seen[k - 1]);
                }
        }
}

// Where the default method converges without folding (a strip stretched 5
// %, a short cantilever under an end load), both methods find the same
// equilibrium: the default one to the tolerance it reaches before its
// residue stalls, Newton's to 1e-10.
TEST(NewtonPath, AgreesWithTheDefaultMethodWhereItConverges) {
    test::grid_text stretched;
    stretched.hold_left_end();
    stretched.move_right_end(0.05 * stretched.length);
    test::grid_text cantilever;
    cantilever.nx = 10, cantilever.ny = 2, cantilever.length = 5, cantilever.height = 1;
    cantilever.hold_left_end();
    cantilever.load_right_end(2, -0.02);
    for (test::grid_text* g : {&stretched, &cantilever}) {
        model by_lbfgs, by_newton;
        g->control = "0.9 20 1e-8 0 100000 7";
        set_up(by_lbfgs, g->text());
        g->control = "0.9 20 1e-10 0 100 7";
        set_up(by_newton, g->text());
        const nlp::package<velmora::objective> qn{velmora::objective{&by_lbfgs}};
        const nlp::result r =
            qn.lbfgs(by_lbfgs.memory, by_lbfgs.dof_count, by_lbfgs.max_iterations, by_lbfgs.search_limit,
                     by_lbfgs.allowable_residue, by_lbfgs.eta, by_lbfgs.displacement, by_lbfgs.gradient);
        ASSERT_TRUE(r.optimal);
        const velmora::newton_summary s = velmora::newton_equilibrium(by_newton, 0);
        ASSERT_TRUE(s.optimal);
        const double scale = nlp::norm(by_lbfgs.dof_count, by_lbfgs.displacement);
        for (int k = 1; k <= by_lbfgs.dof_count; ++k)
            EXPECT_NEAR(by_newton.displacement(k), by_lbfgs.displacement(k), kAgreementTol * scale) << k;
        EXPECT_NEAR(s.energy, r.energy, 1e-9 * std::fabs(r.energy));
    }
}

// A node that no element uses, free in every direction and unloaded, makes
// every tangent singular: the identity added to it lets the factorisation
// through, the node stays where it is, and the rest converges as without it.
TEST(NewtonPath, ADirectionNoElementStiffensIsShifted) {
    test::grid_text g;
    g.hold_left_end();
    g.move_right_end(0.05 * g.length);
    const std::string plain = g.text();
    std::string text = plain;
    // One more node after the last, at (9, 9, 0), in the node section.
    const std::string count = ": nodes\n" + std::to_string(g.node_count()) + "\n";
    const std::string last = std::to_string(g.node_count()) + " 4 2 0\n";
    text.replace(text.find(count), count.size(), ": nodes\n" + std::to_string(g.node_count() + 1) + "\n");
    text.insert(text.find(last) + last.size(), std::to_string(g.node_count() + 1) + " 9 9 0\n");
    model with_node, without;
    set_up(with_node, text);
    set_up(without, plain);
    const velmora::newton_summary a = velmora::newton_equilibrium(with_node, 0);
    const velmora::newton_summary b = velmora::newton_equilibrium(without, 0);
    ASSERT_TRUE(a.optimal);
    ASSERT_TRUE(b.optimal);
    EXPECT_GT(a.tangents.shifted, 0);
    for (int d = 1; d <= 3; ++d) EXPECT_EQ(displacement(with_node, g.node_count() + 1, d), 0);
    for (int i = 1; i <= g.node_count(); ++i)
        for (int d = 1; d <= 2; ++d)
            EXPECT_NEAR(displacement(with_node, i, d), displacement(without, i, d), kExactStretchTol) << i;
}

// A block of 2 x 1 bonded to rigid plates top and bottom (every z held):
// the top plate pressed down by `press` of the height, in ny layers.
test::grid_text bonded_block(int ny, double press) {
    test::grid_text b;
    b.nx = 2 * ny, b.ny = ny, b.length = 2, b.height = 1;
    b.material = "1 2 0.4 0.1 50";
    b.control = "0.9 20 1e-8 0 20000 7";
    for (int i = 0; i <= b.nx; ++i) {
        for (const int d : {1, 2}) b.supports.push_back({b.node(i, 0), d, 0});
        b.supports.push_back({b.node(i, b.ny), 1, 0});
        b.supports.push_back({b.node(i, b.ny), 2, -press * b.height});
    }
    for (int n = 1; n <= b.node_count(); ++n) b.supports.push_back({n, 3, 0});
    return b;
}

nlp::result default_method(model& m) {
    const nlp::package<velmora::objective> qn{velmora::objective{&m}};
    return qn.lbfgs(m.memory, m.dof_count, m.max_iterations, m.search_limit, m.allowable_residue, m.eta, m.displacement,
                    m.gradient);
}

int turned_over(const model& m) { return velmora::count_turned_over(m, m.displacement).count; }

// Models whose start state is unfolded but on which the default method ends
// "Optimal" with elements turned over (a triangle and its mirror image have
// the same energy): the bonded block pressed by 17 % in 5 layers and by 15
// % in 6, and a neo-Hookean plate stretched by 30 %. Newton's method ends
// Optimal with no element turned over, at a lower energy than the folded
// state.
TEST(NewtonPath, NoFoldWhereTheDefaultMethodFolds) {
    test::grid_text plate;
    plate.nx = 12, plate.ny = 12, plate.length = 1, plate.height = 1;
    plate.control = "0.9 20 1e-8 0 20000 7";
    plate.hold_left_end();
    plate.move_right_end(0.3 * plate.length);
    for (const test::grid_text& g : {bonded_block(5, 0.17), bonded_block(6, 0.15), plate}) {
        SCOPED_TRACE(testing::Message() << g.nx << " x " << g.ny << " cells");
        model by_lbfgs, by_newton;
        set_up(by_lbfgs, g.text());
        set_up(by_newton, g.text());
        ASSERT_EQ(velmora::count_turned_over(by_lbfgs, by_lbfgs.displacement).count, 0);
        const nlp::result folded = default_method(by_lbfgs);
        ASSERT_TRUE(folded.optimal);
        ASSERT_GT(turned_over(by_lbfgs), 0);
        const velmora::newton_summary s = velmora::newton_equilibrium(by_newton, 0);
        EXPECT_TRUE(s.optimal);
        EXPECT_EQ(turned_over(by_newton), 0);
        EXPECT_LT(s.energy, folded.energy);
    }
}

// Pressed by 15 % in 10 layers, the top layer is turned over already in
// the start state, where the plate has moved and the nodes under it have
// not. The predictor from the tangent at rest carries the nodes along;
// fixed increments reach the same equilibrium, which turns nothing over.
TEST(NewtonPath, SupportMovedFartherThanAnElementLayer) {
    const test::grid_text g = bonded_block(10, 0.15);
    model whole, stepped;
    set_up(whole, g.text());
    set_up(stepped, g.text());
    ASSERT_GT(velmora::count_turned_over(whole, whole.displacement).count, 0);
    const velmora::newton_summary a = velmora::newton_equilibrium(whole, 0);
    const velmora::newton_summary b = velmora::newton_equilibrium(stepped, 4);
    ASSERT_TRUE(a.optimal);
    ASSERT_TRUE(b.optimal);
    EXPECT_EQ(b.increments, 4);
    EXPECT_EQ(turned_over(whole), 0);
    EXPECT_EQ(turned_over(stepped), 0);
    const double scale = nlp::norm(whole.dof_count, whole.displacement);
    for (int k = 1; k <= whole.dof_count; ++k)
        EXPECT_NEAR(stepped.displacement(k), whole.displacement(k), kAgreementTol * scale) << k;
}

}  // namespace
