// Tests of the mechanics: the triangle element, the total potential energy
// and its gradient, and the set-up (geometry, numbering, allowable residue).
// Expected values come from hand calculation, from the closed form of a
// homogeneous stretch (test_models.hpp), from rigid motions and mirror
// images (which leave the metric unchanged) and from central differences of
// the energy.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "input.hpp"
#include "mechanics.hpp"
#include "steps.hpp"
#include "test_models.hpp"

namespace {

using test::law;
using test::number_text;
using velmora::element_result;
using velmora::fmat1;
using velmora::model;
using velmora::nodal_force;
using vec = std::array<double, 3>;

// Values of order 1 carried through a dozen operations.
constexpr double kRoundoffTol = 1e-13;
// Forces of a stress-free state: terms of the size of the moduli that cancel.
constexpr double kZeroForceTol = 1e-12;
// Central differences with step 1e-6 on energies of order 1-10: truncation
// (~1e-11) and rounding (~1e-9) stay well below the tolerance.
constexpr double kStep = 1e-6;
constexpr double kCentralDifferenceTol = 1e-6;

const law neo_hookean{1, 1.5, 0.0, 3.0};
const law mooney_rivlin{2, 1.5, 0.7, 3.0};
const law both_laws[] = {neo_hookean, mooney_rivlin};

struct value_rec {
    int node, direction;
    double value;
};

// A model as the input file gives it. A positive reference residue keeps
// set-up from evaluating the start point.
struct model_text {
    double tolerance = 0.001, reference_residue = 1.0, thickness = 1.0;
    law material = neo_hookean;
    std::vector<vec> nodes;
    std::vector<std::array<int, 3>> elements;
    std::vector<value_rec> supports, loads;

    std::string text() const {
        std::string t = "test model\n: control\n0.9 20 " + number_text(tolerance) + " " +
                        number_text(reference_residue) + " 100 5\n: material\n" + material.input_line(thickness) +
                        "\n: nodes\n" + std::to_string(nodes.size()) + "\nnode x y z\n";
        for (std::size_t i = 0; i < nodes.size(); ++i)
            t += std::to_string(i + 1) + " " + number_text(nodes[i][0]) + " " + number_text(nodes[i][1]) + " " +
                 number_text(nodes[i][2]) + "\n";
        t += ": elements\n" + std::to_string(elements.size()) + "\nelement nodes\n";
        for (std::size_t e = 0; e < elements.size(); ++e)
            t += std::to_string(e + 1) + " " + std::to_string(elements[e][0]) + " " + std::to_string(elements[e][1]) +
                 " " + std::to_string(elements[e][2]) + "\n";
        for (const std::vector<value_rec>* list : {&supports, &loads}) {
            t += (list == &supports ? ": supports\n" : ": loads\n") + std::to_string(list->size()) +
                 "\nnode direction value\n";
            for (const value_rec& r : *list)
                t += std::to_string(r.node) + " " + std::to_string(r.direction) + " " + number_text(r.value) + "\n";
        }
        return t;
    }
};

model set_up(const model_text& t) {
    model m;
    velmora::read_model(m, t.text(), "input.txt");
    velmora::start(m);
    return m;
}

// The free displacements that move node i by u[i - 1].
fmat1 free_vector(const model& m, const std::vector<vec>& u) {
    fmat1 v(m.dof_count);
    v.fill(0.0);
    for (int i = 1; i <= m.node_count; ++i)
        for (int d = 1; d <= 3; ++d)
            if (!m.is_prescribed(i, d)) v(m.dof_number(i, d)) = u[static_cast<std::size_t>(i - 1)][d - 1];
    return v;
}

double call_objective(const model& m, const fmat1& x, fmat1& g) { return velmora::objective{&m}(m.dof_count, x, g); }

// Vector algebra of the tests, independent of the program's.
vec operator+(const vec& a, const vec& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
vec operator-(const vec& a, const vec& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
vec operator*(double s, const vec& a) { return {s * a[0], s * a[1], s * a[2]}; }
double dot(const vec& a, const vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double length(const vec& a) { return std::sqrt(dot(a, a)); }
double triangle_area(const vec& p1, const vec& p2, const vec& p3) {
    const vec a = p2 - p1, b = p3 - p1;
    return 0.5 * length({a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]});
}

using mat = std::array<vec, 3>;  // rows
vec turn(const mat& r, const vec& a) { return {dot(r[0], a), dot(r[1], a), dot(r[2], a)}; }

// Rotation by angle about axis (Rodrigues).
mat rotation(vec axis, double angle) {
    const vec n = (1.0 / length(axis)) * axis;
    const double c = std::cos(angle), s = std::sin(angle), k = 1 - c, x = n[0], y = n[1], z = n[2];
    return {vec{c + x * x * k, x * y * k - z * s, x * z * k + y * s},
            vec{y * x * k + z * s, c + y * y * k, y * z * k - x * s},
            vec{z * x * k - y * s, z * y * k + x * s, c + z * z * k}};
}

// A point of a plane tilted against every coordinate axis.
vec in_tilted_plane(double s, double t) { return vec{0.3, -0.7, 1.1} + turn(rotation({1, -2, 0.5}, 0.9), {s, t, 0}); }

model_text one_triangle(const law& l, const vec& p1, const vec& p2, const vec& p3, double thickness = 1.0) {
    model_text t;
    t.material = l;
    t.thickness = thickness;
    t.nodes = {p1, p2, p3};
    t.elements = {{1, 2, 3}};
    return t;
}

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

double largest_force(const nodal_force& f) {
    double largest = 0;
    for (int k = 1; k <= 3; ++k)
        for (int d = 1; d <= 3; ++d) largest = std::max(largest, std::fabs(f(k)(d)));
    return largest;
}

// ===========================================================================
// The element

// At rest C = 1, so i1 = trace_c2 = 3 and i3 = 1; the derivatives by hand:
// neo-Hookean mu/2, 0, -mu/2; Mooney-Rivlin c10 + 3 c01, -c01/2, -(c10 + 2 c01);
// the energy (3 mu - bulk)/2 or 3 c10 + 3 c01 - bulk/2 times the area.
TEST(element_at_rest, worked_values_of_both_laws) {
    const struct {
        law l;
        vec p2, p3;  // p1 at the origin
        double energy, dw_di1, dw_dtrace_c2, dw_di3;
    } cases[] = {
        {neo_hookean, {1, 0, 0}, {0, 1, 0}, 0.375, 0.75, 0.0, -0.75},
        {mooney_rivlin, {1, 0, 0}, {0, 1, 0}, 2.55, 3.6, -0.35, -2.9},
        {law{1, 0.9, 0, 40.0}, {2, 0, 0}, {0.5, 1.5, 0}, (1.35 - 20.0) * 1.5, 0.45, 0.0, -0.45},
        {law{2, 0.4, 0.1, 50.0}, {2, 0, 0}, {0.5, 1.5, 0}, (1.5 - 25.0) * 1.5, 0.7, -0.05, -0.6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.energy);
        const model m = set_up(one_triangle(c.l, {0, 0, 0}, c.p2, c.p3));
        nodal_force f;
        const element_result r = velmora::element2(m, 1, m.displacement, f);
        EXPECT_NEAR(r.strain_energy, c.energy, kRoundoffTol);
        EXPECT_NEAR(r.i1, 3.0, kRoundoffTol);
        EXPECT_NEAR(r.trace_c2, 3.0, kRoundoffTol);
        EXPECT_NEAR(r.i3, 1.0, kRoundoffTol);
        EXPECT_NEAR(r.dw_di1, c.dw_di1, kRoundoffTol);
        EXPECT_NEAR(r.dw_dtrace_c2, c.dw_dtrace_c2, kRoundoffTol);
        EXPECT_NEAR(r.dw_di3, c.dw_di3, kRoundoffTol);
        EXPECT_LE(largest_force(f), kZeroForceTol);
    }
}

// A triangle in a tilted plane moved rigidly, or with node 1 mirrored across
// the opposite edge: the metric is unchanged, so the state is the rest state.
TEST(element_at_rest, rigid_motions_and_mirror_image_leave_it_unstrained) {
    const vec p1 = in_tilted_plane(0.1, 0.2), p2 = in_tilted_plane(1.3, -0.1), p3 = in_tilted_plane(0.4, 0.9);
    const double thickness = 0.8;
    const vec edge = (1.0 / length(p3 - p2)) * (p3 - p2);
    const vec foot = p2 + dot(p1 - p2, edge) * edge;
    std::vector<std::vector<vec>> states{{foot + (foot - p1) - p1, {0, 0, 0}, {0, 0, 0}}};
    for (const mat& r : {rotation({1, 2, 3}, 0.7), rotation({-1, 0.5, 0.2}, 2.9), rotation({0, 1, 0}, 3.14159)}) {
        std::vector<vec> u;
        for (const vec& p : {p1, p2, p3}) u.push_back(turn(r, p) + vec{0.3, -1.2, 2.5} - p);
        states.push_back(u);
    }
    for (const law& l : both_laws) {
        SCOPED_TRACE(l.kind);
        const model m = set_up(one_triangle(l, p1, p2, p3, thickness));
        for (const std::vector<vec>& u : states) {
            nodal_force f;
            const element_result e = velmora::element2(m, 1, free_vector(m, u), f);
            EXPECT_NEAR(e.i1, 3.0, kRoundoffTol);
            EXPECT_NEAR(e.trace_c2, 3.0, kRoundoffTol);
            EXPECT_NEAR(e.i3, 1.0, kRoundoffTol);
            EXPECT_NEAR(e.strain_energy, l.density(1, 1) * triangle_area(p1, p2, p3) * thickness, kRoundoffTol);
            EXPECT_LE(largest_force(f), kZeroForceTol);
        }
    }
}

// The right triangle stretched by 1.5 along x and 0.8 along y:
// C = diag(2.25, 0.64, 1), and the energy is the closed-form density times
// the volume.
TEST(element_deformed, known_stretch_gives_the_closed_form_energy) {
    for (const law& l : both_laws) {
        SCOPED_TRACE(l.kind);
        const model m = set_up(one_triangle(l, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, 0.6));
        nodal_force f;
        const element_result r =
            velmora::element2(m, 1, free_vector(m, {{0, 0, 0}, {0.5, 0, 0}, {0, -0.2, 0}}), f);
        EXPECT_NEAR(r.i1, 2.25 + 0.64 + 1, kRoundoffTol);
        EXPECT_NEAR(r.trace_c2, 2.25 * 2.25 + 0.64 * 0.64 + 1, kRoundoffTol);
        EXPECT_NEAR(r.i3, 2.25 * 0.64, kRoundoffTol);
        EXPECT_NEAR(r.strain_energy, l.density(1.5, 0.8) * 0.5 * 0.6, kRoundoffTol);
    }
}

// Random deformed states of a triangle in a tilted plane: every nodal force
// is the central difference of the element energy, and row 3 is minus the
// sum of rows 1 and 2.
TEST(element_deformed, nodal_forces_are_the_energy_gradient) {
    std::mt19937 random(20240611);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const vec p[3] = {in_tilted_plane(0.0, 0.0), in_tilted_plane(1.2, 0.3), in_tilted_plane(0.2, 0.9)};
    const double area = triangle_area(p[0], p[1], p[2]);
    for (const law& l : both_laws) {
        SCOPED_TRACE(l.kind);
        const model m = set_up(one_triangle(l, p[0], p[1], p[2], 0.6));
        for (int states = 0; states < 10;) {
            // A random affine map near the identity plus a random motion of each node.
            mat g;
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j) g[i][j] = (i == j ? 1.0 : 0.0) + 0.3 * unit(random);
            std::vector<vec> u;
            for (const vec& q : p) u.push_back(turn(g, q) - q + 0.1 * vec{unit(random), unit(random), unit(random)});
            if (triangle_area(p[0] + u[0], p[1] + u[1], p[2] + u[2]) < 0.3 * area) continue;  // not near collapse
            ++states;
            fmat1 v = free_vector(m, u);
            nodal_force f, scratch;
            velmora::element2(m, 1, v, f);
            const auto energy = [&](const fmat1& w) { return velmora::element2(m, 1, w, scratch).strain_energy; };
            for (int k = 1; k <= 3; ++k)
                for (int d = 1; d <= 3; ++d)
                    EXPECT_NEAR(f(k)(d), central_difference(v, m.dof_number(k, d), energy), kCentralDifferenceTol)
                        << "state " << states << " node " << k << " direction " << d;
            for (int d = 1; d <= 3; ++d) EXPECT_EQ(f(3)(d), -(f(1)(d) + f(2)(d)));
        }
    }
}

// ===========================================================================
// The objective

// Four triangles around a centre node in a tilted plane, with non-zero
// prescribed displacements, and forces at free and at prescribed directions.
model_text fan(const law& l) {
    model_text t;
    t.material = l;
    t.thickness = 0.7;
    t.nodes = {in_tilted_plane(0.5, 0.5), in_tilted_plane(0, 0), in_tilted_plane(1, 0), in_tilted_plane(1, 1.1),
               in_tilted_plane(-0.1, 1)};
    t.elements = {{1, 2, 3}, {1, 3, 4}, {4, 1, 5}, {1, 5, 2}};
    t.supports = {{2, 1, 0.02}, {2, 2, -0.01}, {2, 3, 0.03}, {3, 3, 0.05}};
    t.loads = {{3, 1, 0.2}, {3, 2, -0.1}, {4, 3, 0.3}, {5, 2, -0.4}, {2, 1, 7.0}};
    return t;
}

TEST(objective, gradient_is_the_energy_gradient) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (const law& l : both_laws) {
        SCOPED_TRACE(l.kind);
        const model m = set_up(fan(l));
        ASSERT_EQ(m.dof_count, 11);
        for (int state = 0; state < 3; ++state) {
            fmat1 x(m.dof_count), g(m.dof_count), scratch(m.dof_count);
            for (int k = 1; k <= m.dof_count; ++k) x(k) = 0.1 * unit(random);
            call_objective(m, x, g);
            const auto energy = [&](const fmat1& w) { return call_objective(m, w, scratch); };
            for (int k = 1; k <= m.dof_count; ++k)
                EXPECT_NEAR(g(k), central_difference(x, k, energy), kCentralDifferenceTol) << "dof " << k;
        }
    }
}

// An element with every node prescribed adds its rest energy 0.375 and no
// gradient; node 4, in no element, feels only its loads; forces at
// prescribed directions do no work; g is written at 1..n only.
TEST(objective, loads_do_work_only_at_free_directions) {
    model_text t = one_triangle(neo_hookean, {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    t.nodes.push_back({5, 5, 5});
    for (int i = 1; i <= 3; ++i)
        for (int d = 1; d <= 3; ++d) t.supports.push_back({i, d, 0.0});
    t.loads = {{4, 1, 0.3}, {4, 2, -0.2}, {4, 3, 0.1}, {1, 1, 50.0}, {2, 2, -7.0}};
    const model m = set_up(t);
    ASSERT_EQ(m.dof_count, 3);
    fmat1 x(3), g(7);
    g.fill(-123.0);
    x(1) = 0.4;
    x(2) = -1.5;
    x(3) = 2.0;
    EXPECT_NEAR(call_objective(m, x, g), 0.375 - (0.3 * 0.4 + -0.2 * -1.5 + 0.1 * 2.0), kRoundoffTol);
    EXPECT_EQ(g(1), -0.3);
    EXPECT_EQ(g(2), 0.2);
    EXPECT_EQ(g(3), -0.1);
    for (int k = 4; k <= 7; ++k) EXPECT_EQ(g(k), -123.0) << "written beyond n at " << k;
}

// ===========================================================================
// A homogeneous plane-strain stretch of a meshed square

// The closed form's hand derivative against a central difference of W:
// sigma_i = (li / J) dW/dli, across the plane too.
TEST(homogeneous_stretch, closed_form_stress_is_the_derivative_of_the_density) {
    for (const law& l : both_laws)
        for (double l1 : {0.8, 1.0, 1.3})
            for (double l2 : {0.7, 1.1}) {
                const double J = l1 * l2;
                const double d1 = (l.density(l1 + kStep, l2) - l.density(l1 - kStep, l2)) / (2 * kStep);
                const double d2 = (l.density(l1, l2 + kStep) - l.density(l1, l2 - kStep)) / (2 * kStep);
                const double d3 = (l.density(l1, l2, 1 + kStep) - l.density(l1, l2, 1 - kStep)) / (2 * kStep);
                EXPECT_NEAR(l.cauchy(l1, l2, 0), l1 / J * d1, kCentralDifferenceTol);
                EXPECT_NEAR(l.cauchy(l1, l2, 1), l2 / J * d2, kCentralDifferenceTol);
                EXPECT_NEAR(l.cauchy(l1, l2, 2), 1 / J * d3, kCentralDifferenceTol);
            }
}

constexpr int kCells = 3;  // squares per side of the unit square
constexpr double kCell = 1.0 / kCells;
constexpr double kPlateThickness = 0.7;
int grid_node(int i, int j) { return j * (kCells + 1) + i + 1; }

// The edge x = 0 held in x, the corner (0, 0) in y, z held everywhere; the
// edge x = 1 moved by stretch - 1 or, when pulled, free in x and loaded by
// the nodal shares of the nominal stress `traction`. Diagonals and corner
// order alternate from cell to cell.
model_text plate(const law& l, double stretch, bool pulled, double traction) {
    model_text t;
    t.material = l;
    t.thickness = kPlateThickness;
    for (int j = 0; j <= kCells; ++j)
        for (int i = 0; i <= kCells; ++i) t.nodes.push_back({i * kCell, j * kCell, 0.0});
    for (int j = 0; j < kCells; ++j)
        for (int i = 0; i < kCells; ++i) {
            const int a = grid_node(i, j), b = grid_node(i + 1, j), c = grid_node(i + 1, j + 1), d = grid_node(i, j + 1);
            if ((i + j) % 2 == 0) {
                t.elements.push_back({a, b, c});
                t.elements.push_back({a, d, c});
            } else {
                t.elements.push_back({b, c, d});
                t.elements.push_back({d, a, b});
            }
        }
    for (int j = 0; j <= kCells; ++j)
        for (int i = 0; i <= kCells; ++i) {
            const int n = grid_node(i, j);
            t.supports.push_back({n, 3, 0.0});
            if (i == 0) t.supports.push_back({n, 1, 0.0});
            if (i != kCells) continue;
            const double share = (j == 0 || j == kCells ? 0.5 : 1.0) * kCell * kPlateThickness;
            if (pulled)
                t.loads.push_back({n, 1, traction * share});
            else
                t.supports.push_back({n, 1, stretch - 1});
        }
    t.supports.push_back({grid_node(0, 0), 2, 0.0});
    return t;
}

// The largest out-of-balance force of the homogeneous field x = l1 X, y = l2 Y.
double residue_at(const model& m, const model_text& t, double l1, double l2) {
    std::vector<vec> u;
    for (const vec& p : t.nodes) u.push_back({(l1 - 1) * p[0], (l2 - 1) * p[1], 0.0});
    fmat1 g(m.dof_count);
    call_objective(m, free_vector(m, u), g);
    double most = 0;
    for (int k = 1; k <= m.dof_count; ++k) most = std::max(most, std::fabs(g(k)));
    return most;
}

// At the exact solution the forces (sums of six terms of order 1) cancel to
// some hundred ulps; a stretch or load off by 1e-3 or 5 % leaves forces of
// order modulus x 1e-3 x cell.
constexpr double kEquilibriumTol = 1e-12;
constexpr double kOffEquilibrium = 1e-5;

// The exact solution is homogeneous, with the lateral stretch that frees
// the lateral edges; pulled by loads, the end load must be the nominal
// stress dW/dl1 = sigma1 J / l1, which checks the size of the axial stress.
TEST(homogeneous_stretch, exact_solution_is_in_equilibrium) {
    for (const law& l : both_laws) {
        SCOPED_TRACE(l.kind);
        const double l1 = 1.25, l2 = l.lateral_stretch(l1);
        const model_text moved = plate(l, l1, false, 0.0);
        const model m = set_up(moved);
        EXPECT_LE(residue_at(m, moved, l1, l2), kEquilibriumTol);
        EXPECT_GT(residue_at(m, moved, l1, l2 + 1e-3), kOffEquilibrium);

        const double c1 = 0.85, c2 = l.lateral_stretch(c1), nominal = l.cauchy(c1, c2, 0) * c2;
        const model_text pulled = plate(l, c1, true, nominal);
        EXPECT_LE(residue_at(set_up(pulled), pulled, c1, c2), kEquilibriumTol);
        const model_text heavier = plate(l, c1, true, 1.05 * nominal);
        EXPECT_GT(residue_at(set_up(heavier), heavier, c1, c2), kOffEquilibrium);
    }
}

// ===========================================================================
// Set-up

// a = P3 - P2, b = P1 - P3, their products and |a x b|, worked by hand;
// reversing the corner order keeps the area positive.
TEST(set_up, element_geometry_worked_examples) {
    const struct {
        vec p1, p2, p3, a, b;
        double aa, ab, bb, twice_area;
    } cases[] = {
        {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 1, 0}, {0, -1, 0}, 2, -1, 1, 1},
        {{1, 1, 1}, {1, 4, 5}, {4, 1, 1}, {3, -3, -4}, {-3, 0, 0}, 34, -9, 9, 15},  // a x b = (0, 12, -9)
        {{4, 1, 1}, {1, 4, 5}, {1, 1, 1}, {0, -3, -4}, {3, 0, 0}, 25, 0, 9, 15},
    };
    for (const auto& c : cases) {
        const model m = set_up(one_triangle(neo_hookean, c.p1, c.p2, c.p3));
        const velmora::element_rec& e = m.elements(1);
        for (int j = 1; j <= 3; ++j) {
            EXPECT_EQ(e.a(j), c.a[j - 1]) << j;
            EXPECT_EQ(e.b(j), c.b[j - 1]) << j;
        }
        EXPECT_EQ(e.aa, c.aa);
        EXPECT_EQ(e.ab, c.ab);
        EXPECT_EQ(e.bb, c.bb);
        EXPECT_EQ(e.twice_area, c.twice_area);
    }
}

// Free directions numbered node by node, prescribed ones after them in the
// same order; a direction prescribed twice is numbered once.
TEST(set_up, prescribed_directions_are_numbered_after_the_free_ones) {
    const struct {
        int nodes;
        std::vector<value_rec> supports;
        int dof_count;
        std::vector<int> numbers;  // node by node, direction by direction
    } cases[] = {
        {2, {{1, 2, 0.0}}, 5, {1, 6, 2, 3, 4, 5}},
        {3, {{3, 1, 0.0}, {1, 3, 0.1}, {3, 1, 0.2}, {2, 2, 0.0}}, 6, {1, 2, 7, 3, 8, 4, 9, 5, 6}},
        {2, {}, 6, {1, 2, 3, 4, 5, 6}},
    };
    for (const auto& c : cases) {
        model_text t;
        for (int i = 0; i < c.nodes; ++i) t.nodes.push_back({double(i), 0, 0});
        t.supports = c.supports;
        const model m = set_up(t);
        EXPECT_EQ(m.dof_count, c.dof_count);
        ASSERT_EQ(m.displacement.size(), static_cast<std::size_t>(c.dof_count));
        ASSERT_EQ(m.gradient.size(), static_cast<std::size_t>(c.dof_count));
        for (int k = 1; k <= c.dof_count; ++k) EXPECT_EQ(m.displacement(k), 0.0);
        for (int i = 1; i <= c.nodes; ++i)
            for (int d = 1; d <= 3; ++d)
                EXPECT_EQ(m.dof_number(i, d), c.numbers[static_cast<std::size_t>(3 * (i - 1) + d - 1)]) << i << d;
    }
}

// The right triangle held statically determinate (node 1 fully, node 2 in y
// and z, node 3 in z) and loaded by 0.25 on node 2 along x and (0.5, -2) on
// node 3: at rest the element forces vanish, so the start residue is minus
// the loads, largest magnitude 2.
TEST(set_up, allowable_residue_from_the_reference_or_the_start_residue) {
    const struct {
        double reference, tolerance, allowable;
    } cases[] = {{2.0, 0.001, 0.002}, {0.0, 0.01, 0.02}, {-5.0, 0.01, 0.02}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reference);
        model_text t = one_triangle(neo_hookean, {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
        t.reference_residue = c.reference;
        t.tolerance = c.tolerance;
        t.supports = {{1, 1, 0.0}, {1, 2, 0.0}, {1, 3, 0.0}, {2, 2, 0.0}, {2, 3, 0.0}, {3, 3, 0.0}};
        t.loads = {{2, 1, 0.25}, {3, 1, 0.5}, {3, 2, -2.0}};
        const model m = set_up(t);
        ASSERT_EQ(m.dof_count, 3);
        EXPECT_NEAR(m.allowable_residue, c.allowable, kRoundoffTol);
        const bool evaluated = c.reference <= 0;  // otherwise the start point is left alone
        EXPECT_NEAR(m.energy, evaluated ? 0.375 : 0.0, kRoundoffTol);
        const double start_gradient[] = {-0.25, -0.5, 2.0};
        for (int k = 1; k <= 3; ++k) {
            EXPECT_NEAR(m.gradient(k), evaluated ? start_gradient[k - 1] : 0.0, kZeroForceTol);
            EXPECT_EQ(m.displacement(k), 0.0);
        }
    }
}

}  // namespace
