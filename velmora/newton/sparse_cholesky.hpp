// The sparse Cholesky factorisation K = L L' of the assembled tangent, by
// CHOLMOD (SuiteSparse). One object per run: the fill-reducing ordering and
// the symbolic analysis are done once, in the constructor, from the
// pattern; each factorise computes the numeric factor of new values on that
// analysis, and solve uses the last factor.
//
// CHOLMOD reports its errors here and prints nothing: out of memory is
// thrown as std::bad_alloc, any other error as a SOLVER_ERROR failure.
#pragma once

#include <cstddef>
#include <memory>

#include "newton/tangent_pattern.hpp"

namespace velmora {

// The fill-reducing ordering of the analysis: approximate minimum degree,
// METIS nested dissection, or CHOLMOD's own choice (AMD, then METIS when
// AMD's factor is dense). METIS is the default: on large plane meshes its
// analysis costs more than AMD's, but its factor is smaller and each
// factorisation faster, so it is ahead after a few factorisations (figures
// in bench/README.md, "The sparse tangent and its CHOLMOD
// factorisation").
enum class fill_ordering { amd, metis, cholmod_choice };

// The numeric factorisation: by columns, by dense supernodes (BLAS), or as
// CHOLMOD chooses from the flop count per factor entry.
enum class factor_form { automatic, simplicial, supernodal };

class sparse_cholesky {
public:
    // What the analysis found, and the peak of CHOLMOD's own allocations.
    struct figures {
        double factor_nonzeros;  // entries of L
        double flops;            // of one numeric factorisation
        std::size_t peak_bytes;  // CHOLMOD's peak allocation so far (METIS's own not counted)
        bool supernodal;
        fill_ordering ordering;  // the ordering chosen (AMD or METIS for cholmod_choice)
    };

    // Orders and analyses the pattern, which must outlive the object.
    explicit sparse_cholesky(const tangent_pattern& pattern, fill_ordering ordering = fill_ordering::metis,
                             factor_form form = factor_form::automatic);
    ~sparse_cholesky();
    sparse_cholesky(const sparse_cholesky&) = delete;
    sparse_cholesky& operator=(const sparse_cholesky&) = delete;

    // Factorises the matrix of the pattern with these values (nonzeros of
    // them). False when it is not positive definite: the caller may change
    // the values and call again.
    bool factorise(const double* values);

    // Solves K x = b with the last successful factorisation; b and x of
    // length n, and they may be the same array.
    void solve(const double* b, double* x);

    figures statistics() const;

private:
    struct state;
    std::unique_ptr<state> s_;
};

}  // namespace velmora
