// Tests of the mechanics: the triangle element, the total potential energy
// and its gradient, and the set-up (numbering, allowable residue). Expected
// values come from hand calculation, from the closed form of a homogeneous
// stretch (test_models.hpp), from rigid motions and mirror images (which
// leave the metric unchanged) and from central differences of the energy.
#include "mechanics/mechanics.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "model/steps.hpp"
#include "read/input.hpp"
#include "test_models.hpp"

namespace {

using namespace test::element_tests;
using velmora::fmat1;
using velmora::model;

constexpr double kRoundoffTol = 1e-13;   // values of order 1 carried through a dozen operations
constexpr double kZeroForceTol = 1e-12;  // forces of a stress-free state: terms of the size of the moduli that cancel
// Central differences with step 1e-6 on energies of order 1-10: truncation
// (~1e-11) and rounding (~1e-9) stay well below the tolerance.
constexpr double kStep = 1e-6, kCentralDifferenceTol = 1e-6;

using value_rec = std::tuple<int, int, double>;  // node, direction, value

// A model as the input file gives it, read and set up. A positive reference
// residue keeps set-up from evaluating the start point.
struct model_text {
    law material = neo_hookean;
    double thickness = 1.0, reference_residue = 1.0, tolerance = 0.001;
    std::vector<vec> nodes;
    std::vector<std::array<int, 3>> elements;
    std::vector<value_rec> supports, loads;

    model set_up() const {
        std::string t = "test model\n: control\n0.9 20 " + number_text(tolerance) + " " +
                        number_text(reference_residue) + " 100 5\n: material\n" + material.input_line(thickness) +
                        "\n: nodes\n" + std::to_string(nodes.size()) + "\nn\n";
        for (std::size_t i = 0; i < nodes.size(); ++i)
            t += std::to_string(i + 1) + " " + number_text(nodes[i][0]) + " " + number_text(nodes[i][1]) + " " +
                 number_text(nodes[i][2]) + "\n";
        t += ": elements\n" + std::to_string(elements.size()) + "\ne\n";
        for (std::size_t e = 0; e < elements.size(); ++e)
            t += std::to_string(e + 1) + " " + std::to_string(elements[e][0]) + " " + std::to_string(elements[e][1]) +
                 " " + std::to_string(elements[e][2]) + "\n";
        for (const auto& [title, list] : {std::pair{": supports\n", &supports}, {": loads\n", &loads}}) {
            t += title + std::to_string(list->size()) + "\nn\n";
            for (const auto& [node, direction, value] : *list)
                t += std::to_string(node) + " " + std::to_string(direction) + " " + number_text(value) + "\n";
        }
        model m;
        velmora::read_model(m, t, "input.txt");
        velmora::start(m);
        return m;
    }
};

// The free displacements that move node i by u[i - 1].
fmat1 free_vector(const model& m, const std::vector<vec>& u) {
    fmat1 v(m.dof_count);
    for (int i = 1; i <= m.node_count; ++i)
        for (int d = 1; d <= 3; ++d)
            if (!m.is_prescribed(i, d)) v(m.dof_number(i, d)) = u[std::size_t(i - 1)][std::size_t(d - 1)];
    return v;
}

double call_objective(const model& m, const fmat1& x, fmat1& g) { return velmora::objective{&m}(m.dof_count, x, g); }

// The central difference of energy(v) in component k of v.
template <class F>
double central_difference(fmat1& v, int k, F energy) {
    const double kept = v(k);
    v(k) = kept + kStep;
    const double up = energy(v);
    v(k) = kept - kStep;
    const double down = energy(v);
    v(k) = kept;
    return (up - down) / (2 * kStep);
}

// A right triangle with legs 2 e1 and 1.5 e2, thickness 0.8, its legs moved
// to 2 l1 a and 1.5 l2 b at another corner: the stretch diag(l1, l2) and a
// rigid motion, or a mirror image when a x b turns against e1 x e2. Then
// C = diag(l1^2, l2^2, 1), whatever a and b, and the energy is the
// closed-form density times the volume 1.5 x 0.8. At rest the
// derivatives by i1, trace_c2 and i3, by hand at i1 = trace_c2 = 3, i3 = 1,
// are mu/2, 0, -mu/2 (neo-Hookean) and c10 + 3 c01, -c01/2, -(c10 + 2 c01)
// (Mooney-Rivlin), and the forces vanish.
TEST(Element, HomogeneousStretchAfterARigidMotionOrMirrorImage) {
    const double at_rest[2][3] = {{0.75, 0, -0.75}, {3.6, -0.35, -2.9}};
    const struct {
        double l1, l2;
        vec a, b;
    } states[] = {{1, 1, e1, e2},     {1, 1, f1, f2},     {1, 1, f2, f1},
                  {1.5, 0.8, e1, e2}, {0.7, 1.2, f1, f2}, {1.3, 0.9, f2, f1}};
    for (const law& l : both_laws) {
        model_text t;
        t.material = l;
        t.thickness = 0.8;
        t.nodes = {corner, corner + 2 * e1, corner + 1.5 * e2};
        t.elements = {{1, 2, 3}};
        const model m = t.set_up();
        for (const auto& s : states) {
            SCOPED_TRACE(testing::Message() << "kind " << l.kind << ", stretch " << s.l1 << " " << s.l2);
            const vec moved{-1.2, 0.4, 2.5};
            const fmat1 v = free_vector(m, {moved - corner, moved + 2 * s.l1 * s.a - (corner + 2 * e1),
                                            moved + 1.5 * s.l2 * s.b - (corner + 1.5 * e2)});
            velmora::nodal_force f;
            const velmora::element_result r = velmora::element2(m, 1, v, f);
            const double c1 = s.l1 * s.l1, c2 = s.l2 * s.l2;
            EXPECT_NEAR(r.i1, c1 + c2 + 1, kRoundoffTol);
            EXPECT_NEAR(r.trace_c2, c1 * c1 + c2 * c2 + 1, kRoundoffTol);
            EXPECT_NEAR(r.i3, c1 * c2, kRoundoffTol);
            EXPECT_NEAR(r.strain_energy, l.density(s.l1, s.l2) * 1.5 * 0.8, kRoundoffTol);
            for (int d = 1; d <= 3; ++d)  // the forces on a free element balance
                EXPECT_NEAR(f(1)(d) + f(2)(d) + f(3)(d), 0, kZeroForceTol) << d;
            if (s.l1 != 1 || s.l2 != 1) continue;
            EXPECT_NEAR(r.dw_di1, at_rest[l.kind - 1][0], kRoundoffTol);
            EXPECT_NEAR(r.dw_dtrace_c2, at_rest[l.kind - 1][1], kRoundoffTol);
            EXPECT_NEAR(r.dw_di3, at_rest[l.kind - 1][2], kRoundoffTol);
            for (int k = 1; k <= 3; ++k)
                for (int d = 1; d <= 3; ++d) EXPECT_NEAR(f(k)(d), 0, kZeroForceTol) << k << d;
        }
    }
}

// Four triangles around a centre node in the tilted plane and a fifth on
// one side (an odd count, so one element is swept alone), with non-zero
// prescribed displacements, and forces at free and at prescribed directions:
// the gradient is the central difference of the energy.
TEST(Objective, GradientIsTheEnergyGradient) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (const law& l : both_laws) {
        model_text t;
        t.material = l;
        t.thickness = 0.7;
        for (const auto& [s, r] : {std::pair{0.5, 0.5}, {0, 0}, {1, 0}, {1, 1.1}, {-0.1, 1}, {1.6, 0.4}})
            t.nodes.push_back(corner + s * e1 + r * e2);
        t.elements = {{1, 2, 3}, {1, 3, 4}, {4, 1, 5}, {1, 5, 2}, {3, 6, 4}};
        t.supports = {{2, 1, 0.02}, {2, 2, -0.01}, {2, 3, 0.03}, {3, 3, 0.05}};
        t.loads = {{3, 1, 0.2}, {3, 2, -0.1}, {4, 3, 0.3}, {5, 2, -0.4}, {2, 1, 7.0}};
        const model m = t.set_up();
        ASSERT_EQ(m.dof_count, 14);
        for (int state = 0; state < 3; ++state) {
            fmat1 x(m.dof_count), g(m.dof_count), scratch(m.dof_count);
            for (int k = 1; k <= m.dof_count; ++k) x(k) = 0.1 * unit(random);
            call_objective(m, x, g);
            const auto energy = [&](const fmat1& w) { return call_objective(m, w, scratch); };
            for (int k = 1; k <= m.dof_count; ++k)
                EXPECT_NEAR(g(k), central_difference(x, k, energy), kCentralDifferenceTol) << l.kind << " dof " << k;
        }
    }
}

// The unit right triangle with every node held adds its rest energy
// (3 mu / 2 - bulk / 2) / 2 = 0.375 and no gradient; node 4, in no element,
// feels only its loads; forces at prescribed directions do no work; g is
// written at 1..n only.
TEST(Objective, LoadsDoWorkOnlyAtFreeDirections) {
    model_text t;
    t.nodes = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}};
    t.elements = {{1, 2, 3}};
    for (int i = 1; i <= 3; ++i)
        for (int d = 1; d <= 3; ++d) t.supports.push_back({i, d, 0.0});
    t.loads = {{4, 1, 0.3}, {4, 2, -0.2}, {4, 3, 0.1}, {1, 1, 50.0}, {2, 2, -7.0}};
    const model m = t.set_up();
    ASSERT_EQ(m.dof_count, 3);
    fmat1 g(4);
    g.fill(-123.0);
    EXPECT_NEAR(call_objective(m, free_vector(m, {{}, {}, {}, {0.4, -1.5, 2.0}}), g),
                0.375 - (0.3 * 0.4 + -0.2 * -1.5 + 0.1 * 2.0), kRoundoffTol);
    for (int k = 1; k <= 4; ++k) EXPECT_EQ(g(k), (std::array{-0.3, 0.2, -0.1, -123.0})[k - 1]) << k;
}

// Free directions numbered node by node, prescribed ones after them in the
// same order; a direction prescribed twice is numbered once.
TEST(ProblemSetUp, PrescribedDirectionsAreNumberedAfterTheFreeOnes) {
    model_text t;
    t.nodes = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
    t.supports = {{3, 1, 0.0}, {1, 3, 0.1}, {3, 1, 0.2}, {2, 2, 0.0}};
    const model m = t.set_up();
    EXPECT_EQ(m.dof_count, 6);
    const int numbers[] = {1, 2, 7, 3, 8, 4, 9, 5, 6};
    for (int i = 1; i <= 3; ++i)
        for (int d = 1; d <= 3; ++d) EXPECT_EQ(m.dof_number(i, d), numbers[3 * (i - 1) + d - 1]) << i << d;
}

// The unit right triangle held statically determinate (node 1 fully, node 2
// in y and z, node 3 in z) and loaded by 0.25 on node 2 along x and
// (0.5, -2) on node 3: at rest the element forces vanish, so the start
// residue is minus the loads, largest magnitude 2, and the energy 0.375.
// A positive reference residue replaces it, and the start is not evaluated.
TEST(ProblemSetUp, AllowableResidueFromTheReferenceOrTheStartResidue) {
    for (const auto& [reference, allowable] : {std::pair{0.5, 0.005}, {0.0, 0.02}, {-5.0, 0.02}}) {
        SCOPED_TRACE(reference);
        model_text t;
        t.reference_residue = reference;
        t.tolerance = 0.01;
        t.nodes = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
        t.elements = {{1, 2, 3}};
        t.supports = {{1, 1, 0.0}, {1, 2, 0.0}, {1, 3, 0.0}, {2, 2, 0.0}, {2, 3, 0.0}, {3, 3, 0.0}};
        t.loads = {{2, 1, 0.25}, {3, 1, 0.5}, {3, 2, -2.0}};
        const model m = t.set_up();
        EXPECT_NEAR(m.allowable_residue, allowable, kRoundoffTol);
        const bool evaluated = reference <= 0;  // otherwise the start point is left alone
        EXPECT_NEAR(m.energy, evaluated ? 0.375 : 0.0, kRoundoffTol);
        for (int k = 1; k <= 3; ++k) {
            EXPECT_NEAR(m.gradient(k), evaluated ? (std::array{-0.25, -0.5, 2.0})[k - 1] : 0.0, kZeroForceTol);
            EXPECT_EQ(m.displacement(k), 0.0);
        }
    }
}

}  // namespace
