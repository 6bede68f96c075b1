// The triangle element and the objective of the minimiser: the total
// potential energy of the model and its gradient over the free degrees of
// freedom.
#pragma once

#include "model/model.hpp"
#include "terms.hpp"

namespace velmora {

// An element's displacement directions: three corners of three directions,
// numbered 3 (corner - 1) + direction - 1; its matrices are 9 x 9.
inline constexpr int element_directions = 9;
inline constexpr int element_entries = element_directions * element_directions;

// What element2 finds for one triangle at one state.
struct element_result {
    double strain_energy;  // W * initial area * thickness
    double i1;             // tr C, the thickness direction included
    double trace_c2;       // tr(C C), the thickness direction included
    double i3;             // det C = J^2
    double dw_di1;         // dW/d i1
    double dw_dtrace_c2;   // dW/d trace_c2 (0 for the neo-Hookean law)
    double dw_di3;         // dW/d i3
};

// Row k: gradient of the strain energy with respect to the displacement of
// element node k; column d: direction.
using nodal_force = terms::fixed1<terms::fixed1<double, 3>, 3>;

// Evaluates element e at the free displacements v (v.data()[k-1] is
// degree of freedom k). The element's node numbers must have been checked
// by start.
element_result element2(const model& m, int e, const fmat1& v, nodal_force& f);

// The tangent of element e at the free displacements v: k[9 i + j] is the
// second derivative of its strain energy by nodal displacement components
// i and j, numbered 3 (corner - 1) + direction - 1, prescribed ones
// included. Exactly symmetric.
void element_tangent(const model& m, int e, const fmat1& v, double k[element_entries]);

// The total potential energy, bound to one model: fills g(1..n) with the
// gradient at x(1..n) and returns the energy.
struct objective {
    const model* m;
    double operator()(int n, const fmat1& x, fmat1& g) const;
};

// Principal Cauchy stresses of an element: sigma1 >= sigma2 in the plane
// of the triangle, sigma3 across it (stresses() in stresses.hpp).
struct principal_stresses {
    double sigma1, sigma2, sigma3;
};

// Number of elements whose current normal at the displacements v points
// against their initial normal, and the first of them (0 when none).
struct turned_over {
    int count = 0;
    int first = 0;
};
turned_over count_turned_over(const model& m, const fmat1& v);

// The deformed position of node n: initial coordinates plus displacements
// (the free ones from the model's solution).
void vertex(const model& m, int n, double p[3]);

// Adds element e's internal nodal forces f to the nodal residual r (node x
// direction), r(node, d) = f + r(node, d) for each corner.
void add_nodal_forces(const model& m, int e, const nodal_force& f, fmat2& r);

// The out-of-balance force at every node and direction at the free
// displacements v: the elements' internal forces less the applied forces,
// summed as the report sums them. At a prescribed direction it is the
// support's reaction.
void nodal_residuals(const model& m, const fmat1& v, fmat2& r);

}  // namespace velmora
