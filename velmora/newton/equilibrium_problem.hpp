// The equilibrium of the model as a problem for Newton's method: the total
// potential energy and its gradient (+infinity where an element is turned
// over against its initial orientation), the sparse tangent factorised by
// CHOLMOD, and the loads scaled by a load fraction.
#pragma once

#include <memory>
#include <vector>

#include "model/model.hpp"
#include "newton/dense_kernels.hpp"
#include "newton/sparse_cholesky.hpp"
#include "newton/tangent_pattern.hpp"

namespace velmora {

// How the tangents of a run were made positive definite.
struct tangent_counts {
    int exact = 0;       // the exact tangent factorised
    int projected = 0;   // each element tangent projected onto its positive semi-definite part
    int shifted = 0;     // the projected tangent plus a multiple of the identity
    int indefinite = 0;  // the exact tangent, not positive definite, as L D L' (arc-length continuation)
    int refused = 0;     // no factorisation
};

// Where a Newton run's time went: wall-clock seconds of each kind of work
// of the problem, and how often it was done.
struct newton_costs {
    double pattern = 0;   // the tangent's sparsity pattern with its order, once
    double order = 0;     // of which the order (METIS)
    double analysis = 0;  // ordering and symbolic factorisation, once
    int assemblies = 0;   // element tangents summed into the matrix
    double assembly = 0;
    int factorisations = 0;  // numeric factorisations tried
    double factorisation = 0;
    double first_factorisation = 0;  // of which the first (it touches the factor's storage first)
    int solves = 0;
    double solve = 0;
    long long evaluations = 0;  // of the energy and its gradient
    double evaluation = 0;
};

class equilibrium_problem {
public:
    // From a model after start; keeps the full forces and prescribed
    // displacements, which load() scales in the model.
    explicit equilibrium_problem(model& m);

    // The total potential energy at x and its gradient; +infinity, with a
    // NaN gradient, where an element is turned over, so that no line search
    // accepts such a state.
    double operator()(int n, const fmat1& x, fmat1& g) const;

    // Factorises the tangent at x: the exact one where it is positive
    // definite, else its element-wise positive semi-definite projection,
    // else that plus a growing multiple of the identity.
    bool factorise(int n, const fmat1& x);

    // Factorises the exact tangent at x as it is, for arc-length
    // continuation: by Cholesky where it is positive definite, else as
    // L D L' without pivoting (CHOLMOD's simplicial form), whose pivots of
    // either sign let the path pass limit points, where the tangent turns
    // indefinite. False at a zero pivot, and from the start where the
    // tangent there is singular (singular_direction_at_start).
    bool factorise_exact(int n, const fmat1& x);

    // d = K^-1 r with the last factor.
    void solve(int n, const fmat1& r, fmat1& d);

    // Forces and prescribed displacements become lambda times the input's.
    void load(double lambda);

    // r = dg/dlambda at x: minus the full force at each free direction, plus
    // the coupling of the tangent to the full prescribed displacements.
    void load_derivative(int n, const fmat1& x, fmat1& r);

    // The free direction (1..dof_count) where the exact tangent of the
    // first factorisation (at the start state) was singular to rounding or
    // not positive definite: a direction that nothing holds (the supports
    // leave the body free to move) or that the material does not stiffen;
    // 0 when it was positive definite.
    int singular_direction_at_start() const { return singular_at_start_; }

    const tangent_counts& counts() const { return counts_; }
    long long evaluations() const { return costs_.evaluations; }
    const newton_costs& costs() const { return costs_; }
    const sparse_cholesky& factor() const { return factor_; }

private:
    // The tangent at x, or with each element tangent projected, into values_.
    void assemble_tangent(const fmat1& x, bool projected);
    // A numeric factorisation of values_; false when not positive definite.
    bool factorise_values();
    // On the first factorisation (at the start state), where the exact
    // tangent in values_ was singular to rounding or not positive definite.
    void note_start();

    model* m_;
    mutable newton_costs costs_;
    fmat2 full_force_, full_prescribed_;
    std::vector<int> moved_;  // elements with a corner direction prescribed to move
    tangent_pattern pattern_;
    large_vector<double> values_;
    sparse_cholesky factor_;
    std::unique_ptr<sparse_cholesky> indefinite_;  // the L D L' factor, made when first needed
    bool solve_indefinite_ = false;                // the last factor is indefinite_
    large_vector<double> ordered_;                 // a right-hand side and solution in the pattern's order
    tangent_counts counts_;
    int singular_at_start_ = 0;
};

}  // namespace velmora
