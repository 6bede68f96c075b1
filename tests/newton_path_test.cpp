// Newton's method on whole models, in process: closed-form homogeneous
// stretches, agreement with the default method where that converges
// unfolded, models on which the default method folds, and supports moved
// farther than an element layer.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "grid_models.hpp"
#include "mechanics/mechanics.hpp"
#include "newton/newton_method.hpp"
#include "nlp.hpp"
#include "run/methods.hpp"
#include "run/run.hpp"
#include "test_models.hpp"

namespace {

using test::mesh::strip;
using velmora::model;

constexpr double kExactStretchTol = 1e-10;  // converged far below it; the closed form is exact to rounding
constexpr double kAgreementTol = 1e-6;      // both methods converged to 1e-10 of their start residue
// r_next <= C r^2 once close: C is about |K^-1| |dK/du| / 2, of order 10 to
// 100 for these moduli (measured 30 to 90), far below what a linear rate gives.
constexpr double kQuadraticConstant = 100;

// A strip of nx by ny cells over length x height of the neo-Hookean
// material mu = 1, bulk 10.
strip strip_of(int nx, int ny, double length, double height) {
    strip s = test::mesh::unit_cells(nx, ny);
    s.length = length, s.height = height, s.bulk = 10;
    return s;
}

// The material of a law of the closed forms, in a thickness of 1.
void set_material(strip& s, const test::law& w) {
    s.law = w.kind == 1 ? test::mesh::material_law::neo_hookean : test::mesh::material_law::mooney_rivlin;
    s.mu = s.c10 = w.a, s.c01 = w.b, s.bulk = w.bulk, s.thickness = 1;
}

// The deformed position of node n.
std::array<double, 3> position(const model& m, int n) {
    std::array<double, 3> p;
    velmora::vertex(m, n, p.data());
    return p;
}

// The default method, run as a run without options runs it.
nlp::result default_method(model& m) {
    const velmora::run_settings plain;
    return velmora::find_method(plain.method)->minimise(m, plain, {});
}

struct residues {
    std::vector<double> seen;
    void operator()(const nlp::iteration_report& r) { seen.push_back(r.residue); }
};

// A strip of 4 x 2 cells stretched homogeneously to l1 = 1.2, by a moved
// end or by the traction that the closed form gives for that stretch: the
// constant-strain triangles reproduce it exactly, node (x, y) moving to
// (l1 x, l2 y) with the lateral stretch l2 that frees the sides. Newton
// gets there in at most 6 iterations, the residue squaring once close.
TEST(NewtonPath, HomogeneousStretchIsExactInFewIterations) {
    const double l1 = 1.2;
    for (const test::law& w : {test::law{1, 1.0, 0.0, 10.0}, test::law{2, 0.4, 0.1, 50.0}})
        for (const bool by_force : {false, true}) {
            SCOPED_TRACE(testing::Message() << "law " << w.kind << (by_force ? " by force" : " by displacement"));
            strip g = test::mesh::unit_cells(4, 2);
            set_material(g, w);
            g.tolerance = 1e-12, g.max_iterations = 100;
            const double l2 = w.lateral_stretch(l1);
            // The nominal traction: the Cauchy stress times the current height per unit initial height.
            if (by_force)
                g.load_x = w.cauchy(l1, l2, 0) * l2 * g.height;
            else
                g.stretch = (l1 - 1) * g.length;
            model m = test::model_of(g);
            residues log;
            const velmora::newton_summary s = velmora::newton_equilibrium(m, 0, std::ref(log));
            EXPECT_TRUE(s.optimal);
            EXPECT_LE(s.iterations, 6);
            ASSERT_EQ(m.node_count, 15);
            for (int i = 1; i <= m.node_count; ++i) {
                EXPECT_NEAR(position(m, i)[0], l1 * m.x(i), kExactStretchTol) << "node " << i;
                EXPECT_NEAR(position(m, i)[1], l2 * m.y(i), kExactStretchTol) << "node " << i;
            }
            // Above the rounding floor of the residue (about 1e-14 here).
            for (std::size_t k = 1; k < log.seen.size(); ++k)
                if (log.seen[k - 1] < 1e-3 && log.seen[k - 1] > 1e-6) {
                    EXPECT_LE(log.seen[k], kQuadraticConstant * log.seen[k - 1] * log.seen[k - 1]);
                }
        }
}

// The load path of a strip stretched homogeneously to l1 = 1.2 in four
// equal increments: a row per increment at load fractions 1/4 .. 1, each
// an equilibrium, with the closed form's state at that stretch l = 1 + 0.2
// lambda: the moved end's reaction the nominal force sigma_1(l, l2) l2
// times the height (thickness 1), the far upper corner at ((l - 1) x,
// (l2 - 1) y).
TEST(NewtonPath, LoadPathFollowsTheClosedFormIncrementByIncrement) {
    const test::law w{1, 1.0, 0.0, 10.0};
    strip g = test::mesh::unit_cells(4, 2);
    set_material(g, w);
    g.tolerance = 1e-12, g.max_iterations = 100;
    g.stretch = 0.2 * g.length;
    model m = test::model_of(g);
    velmora::load_path path;
    const int corner = static_cast<int>(test::mesh::node_at(g, g.nx, g.ny));
    path.follow = {corner};
    const velmora::newton_summary s = velmora::newton_equilibrium(m, 4, {}, &path);
    EXPECT_TRUE(s.optimal);
    ASSERT_EQ(path.rows.size(), 4u);
    for (std::size_t k = 0; k < 4; ++k) {
        const velmora::load_path_row& row = path.rows[k];
        const double lambda = 0.25 * double(k + 1), l1 = 1 + 0.2 * lambda, l2 = w.lateral_stretch(l1);
        EXPECT_EQ(row.increment, int(k) + 1);
        EXPECT_EQ(row.load, lambda);
        EXPECT_LE(row.residue, m.allowable_residue);
        EXPECT_GE(row.iterations, 1);
        EXPECT_NEAR(row.reaction[0], w.cauchy(l1, l2, 0) * l2 * g.height, kExactStretchTol) << lambda;
        EXPECT_NEAR(row.reaction[1], 0, kExactStretchTol);
        EXPECT_EQ(row.reaction[2], 0);
        ASSERT_EQ(row.followed.size(), 3u);
        EXPECT_NEAR(row.followed[0], (l1 - 1) * m.x(corner), kExactStretchTol);
        EXPECT_NEAR(row.followed[1], (l2 - 1) * m.y(corner), kExactStretchTol);
        EXPECT_EQ(row.followed[2], 0);
    }
    EXPECT_EQ(path.rows.back().energy, s.energy);
}

// Where the default method converges without folding (a strip stretched 5
// %, a short cantilever under an end load), both methods find the same
// equilibrium: the default one to the tolerance it reaches before its
// residue stalls, Newton's to 1e-10.
TEST(NewtonPath, AgreesWithTheDefaultMethodWhereItConverges) {
    strip stretched = strip_of(4, 2, 4, 2);
    stretched.stretch = 0.05 * stretched.length;
    strip cantilever = strip_of(10, 2, 5, 1);
    cantilever.load_y = -0.02;
    for (strip* g : {&stretched, &cantilever}) {
        g->tolerance = 1e-8, g->max_iterations = 100000;
        model by_lbfgs = test::model_of(*g);
        g->tolerance = 1e-10, g->max_iterations = 100;
        model by_newton = test::model_of(*g);
        const nlp::result r = default_method(by_lbfgs);
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
    strip g = strip_of(4, 2, 4, 2);
    g.tolerance = 1e-12, g.max_iterations = 100;
    g.stretch = 0.05 * g.length;
    const std::string plain = test::text_of(g);
    std::string text = plain;
    // One more node after the last, at (9, 9, 0), in the node section.
    const std::string count = ": nodes\n15\n", last = "15 4 2 0\n";
    ASSERT_NE(text.find(count), std::string::npos);
    ASSERT_NE(text.find(last), std::string::npos);
    text.replace(text.find(count), count.size(), ": nodes\n16\n");
    text.insert(text.find(last) + last.size(), "16 9 9 0\n");
    model with_node = test::model_of(text), without = test::model_of(plain);
    const velmora::newton_summary a = velmora::newton_equilibrium(with_node, 0);
    const velmora::newton_summary b = velmora::newton_equilibrium(without, 0);
    ASSERT_TRUE(a.optimal);
    ASSERT_TRUE(b.optimal);
    EXPECT_GT(a.tangents.shifted, 0);
    EXPECT_EQ(position(with_node, 16), (std::array<double, 3>{9, 9, 0}));
    for (int i = 1; i <= 15; ++i)
        for (int d = 0; d < 2; ++d)
            EXPECT_NEAR(position(with_node, i)[d], position(without, i)[d], kExactStretchTol) << i;
}

// A block of 1 x 2 (Mooney-Rivlin c10 = 0.4, c01 = 0.1, bulk 50) bonded to
// rigid plates at its ends x = 0 and x = 1, which hold it in y too (every z
// held): the plate at x = 1 pressed towards the other by `press` of the
// length, in nx layers of 2 nx cells.
strip bonded_block(int nx, double press) {
    strip b = test::mesh::unit_cells(nx, 2 * nx);
    b.length = 1, b.height = 2;
    b.law = test::mesh::material_law::mooney_rivlin;
    b.tolerance = 1e-8, b.max_iterations = 20000;
    b.stretch = -press * b.length;
    for (int j = 0; j <= b.ny; ++j) {
        if (j > 0) b.extra_supports.push_back({test::mesh::node_at(b, 0, j), 2, 0});  // node 1 is held in y
        b.extra_supports.push_back({test::mesh::node_at(b, b.nx, j), 2, 0});
    }
    return b;
}

int turned_over(const model& m) { return velmora::count_turned_over(m, m.displacement).count; }

// Models whose start state is unfolded but on which the default method ends
// "Optimal" with elements turned over (a triangle and its mirror image have
// the same energy): the bonded block pressed by 17 % in 5 layers and by 15
// % in 6, and a neo-Hookean plate stretched by 30 %. Newton's method ends
// Optimal with no element turned over, at a lower energy than the folded
// state.
TEST(NewtonPath, NoFoldWhereTheDefaultMethodFolds) {
    strip plate = strip_of(12, 12, 1, 1);
    plate.tolerance = 1e-8, plate.max_iterations = 20000;
    plate.stretch = 0.3 * plate.length;
    for (const strip& g : {bonded_block(5, 0.17), bonded_block(6, 0.15), plate}) {
        SCOPED_TRACE(testing::Message() << g.nx << " x " << g.ny << " cells");
        model by_lbfgs = test::model_of(g), by_newton = test::model_of(g);
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

// Pressed by 15 % in 10 layers, the layer at the pressing plate is turned
// over already in the start state, where the plate has moved and the nodes
// next to it have not. The predictor from the tangent at rest carries the nodes along;
// fixed increments reach the same equilibrium, which turns nothing over.
TEST(NewtonPath, SupportMovedFartherThanAnElementLayer) {
    const strip g = bonded_block(10, 0.15);
    model whole = test::model_of(g), stepped = test::model_of(g);
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

// Given a receiver, the method hands it the sentences that the command line
// prints on standard error, and prints nothing: here the stretch needs three
// iterations and gets two, so no increment reached equilibrium.
TEST(NewtonPath, WarningsGoToTheReceiverGiven) {
    strip g = test::mesh::unit_cells(10, 4);
    g.bulk = 5, g.stretch = 2, g.tolerance = 1e-9, g.max_iterations = 2;
    model m = test::model_of(g);
    velmora::load_path path;
    std::vector<std::string> said;
    velmora::minimise_hooks hooks;
    hooks.path = &path;
    hooks.warning = [&said](const std::string& text) { said.push_back(text); };
    velmora::run_settings newton;
    newton.method = "newton";
    testing::internal::CaptureStderr();
    const nlp::result r = velmora::find_method("newton")->minimise(m, newton, hooks);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(r.optimal);
    EXPECT_TRUE(path.rows.empty());
    ASSERT_EQ(said.size(), 2u);
    EXPECT_EQ(said[0],
              "the loads were followed to 0 of their values (0 load increments reached equilibrium); the files show "
              "that state, its forces and prescribed displacements scaled to it");
    EXPECT_EQ(said[1].rfind("max_iterations (2) ran out before the full loads", 0), 0u) << said[1];
}

}  // namespace
