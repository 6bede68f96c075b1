// The sparse Cholesky factorisation K = L L' of the assembled tangent, by
// CHOLMOD (SuiteSparse). One object per run: the symbolic analysis is done
// once, in the constructor, from the pattern, whose order is already
// fill-reducing and postordered, so that CHOLMOD keeps it; each factorise
// computes the numeric factor of new values on that analysis, reading them
// in place, and solve uses the last factor.
//
// CHOLMOD reports its errors here and prints nothing: out of memory is
// thrown as std::bad_alloc, any other error as a SOLVER_ERROR failure.
#pragma once

#include <cstddef>
#include <memory>

#include "newton/tangent_pattern.hpp"

namespace velmora {

// The numeric factorisation: by columns, by dense supernodes (BLAS), or as
// CHOLMOD chooses from the flop count per factor entry.
enum class factor_form { automatic, simplicial, supernodal };

// K = L L', for a positive definite K; or K = L D L' with a unit L and
// pivots D of either sign, without pivoting (CHOLMOD's simplicial LDL'),
// for a tangent that may be indefinite. The LDL' form fails only at a zero
// pivot; by Sylvester's law of inertia its negative pivots count the
// negative eigenvalues of K.
enum class factor_kind { cholesky, ldl };

class sparse_cholesky {
public:
    // What the analysis found, and the peak of CHOLMOD's own allocations.
    struct figures {
        double factor_nonzeros;  // entries of L
        double factor_stored;    // entries the factor's storage holds (supernodes store rectangles)
        double flops;            // of one numeric factorisation
        std::size_t peak_bytes;  // CHOLMOD's peak allocation so far
        bool supernodal;
    };

    // Analyses the pattern, in its own order, which must outlive the object.
    // An LDL' factor is always simplicial: form is then passed over.
    explicit sparse_cholesky(const tangent_pattern& pattern, factor_form form = factor_form::automatic,
                             factor_kind kind = factor_kind::cholesky);
    ~sparse_cholesky();
    sparse_cholesky(const sparse_cholesky&) = delete;
    sparse_cholesky& operator=(const sparse_cholesky&) = delete;

    // Factorises the matrix of the pattern with these values (nonzeros of
    // them). False when it is not positive definite (LDL': when a pivot is
    // zero): the caller may change the values and call again.
    bool factorise(const double* values);

    // The negative pivots of the last successful LDL' factorisation: 0 for
    // an L L' factor.
    long negative_pivots() const;

    // Solves K x = b with the last successful factorisation, b and x in the
    // pattern's order, of length n; they may be the same array.
    void solve(const double* b, double* x);

    figures statistics() const;

    // The weakest pivot of the last factorisation, by column in the
    // pattern's order: where it failed, the column at which it stopped
    // (fraction 0); where it succeeded, the column whose pivot L(j, j)^2 is
    // the smallest fraction of the matrix's diagonal entry K(j, j) (values
    // as given to it), and that fraction. A fraction at rounding level
    // means the matrix is singular to rounding there.
    struct pivot {
        tangent_pattern::index column;
        double fraction;
    };
    pivot weakest_pivot(const double* values) const;

private:
    struct state;
    std::unique_ptr<state> s_;
};

}  // namespace velmora
