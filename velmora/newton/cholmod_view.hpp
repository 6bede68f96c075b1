// A CHOLMOD header over a symmetric matrix that lives in arrays of our own,
// for the three places that hand one to CHOLMOD.
#pragma once

#include <cholmod.h>

#include <cstddef>

namespace velmora {

// The n x n symmetric matrix whose triangle (stype 1: the upper one, -1:
// the lower one) is held in compressed columns with 64-bit indices, sorted
// and packed: column j's rows at row[start[j] .. start[j + 1] - 1], its
// values at the same places of x, or the pattern alone where x is null.
inline cholmod_sparse symmetric_columns(std::size_t n, std::size_t entries, SuiteSparse_long* start,
                                        SuiteSparse_long* row, double* x, int stype) {
    cholmod_sparse a{};
    a.nrow = a.ncol = n;
    a.nzmax = entries;
    a.p = start;
    a.i = row;
    a.x = x;
    a.stype = stype;
    a.itype = CHOLMOD_LONG;
    a.xtype = x != nullptr ? CHOLMOD_REAL : CHOLMOD_PATTERN;
    a.dtype = CHOLMOD_DOUBLE;
    a.sorted = a.packed = 1;
    return a;
}

}  // namespace velmora
