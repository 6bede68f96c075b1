// The tangent stiffness over the free degrees of freedom as a sparse
// symmetric matrix: its upper triangle (row <= column) in compressed-column
// form, 0-based, row indices ascending within each column. Free direction k
// (1..dof_count) is row and column k - 1; prescribed directions are left out.
//
// The pattern depends only on the mesh and the supports, so it is computed
// once per run. It also records, for each element, where each of its
// entries goes in the value array; an assembly then zeroes the values and
// adds every element's entries at their recorded places, allocating and
// sorting nothing. Elements are added in their order 1..count, so the sums
// are the same from run to run.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mechanics/mechanics.hpp"
#include "model/model.hpp"

namespace velmora {

// The 45 pairs (a, b), a <= b, of an element's nine directions (3 corner +
// direction, corner-major), a-major: (0,0), (0,1) .. (0,8), (1,1) .. (8,8).
struct element_pair {
    int a, b;
};
inline constexpr int element_pair_count = element_directions * (element_directions + 1) / 2;

struct element_pair_table {
    element_pair pair[element_pair_count];
    constexpr element_pair_table() : pair{} {
        int t = 0;
        for (int a = 0; a < element_directions; ++a)
            for (int b = a; b < element_directions; ++b) pair[t++] = {a, b};
    }
};
inline constexpr element_pair_table element_pairs{};

struct tangent_pattern {
    // Column starts and row indices are 64-bit: CHOLMOD takes them as they
    // are, through its 64-bit interface, whose factor of a mesh of 10^7
    // elements already holds more than 2^31 entries. The per-element
    // positions only index the matrix itself, which stays below 2^31
    // entries for any mesh that fits in memory (a 10^6-element strip has
    // 7.5 * 10^6): 32 bits halve the largest array of the pattern.
    using index = std::int64_t;
    using position_type = std::int32_t;
    static constexpr position_type outside = -1;  // the entry touches a prescribed direction

    index n = 0;                          // free degrees of freedom: the matrix is n x n
    std::vector<index> column_start;      // n + 1: column j holds entries column_start[j] .. column_start[j+1] - 1
    std::vector<index> row;               // row of each entry, ascending within a column
    std::vector<position_type> position;  // element e, pair t: entry of element_pairs.pair[t] at 45 (e-1) + t

    tangent_pattern() = default;
    // From a model after start: its elements and the numbering of the
    // degrees of freedom. Throws std::bad_alloc when the matrix would have
    // 2^31 entries or more.
    explicit tangent_pattern(const model& m);

    index nonzeros() const { return column_start.empty() ? 0 : column_start.back(); }
    int element_count() const { return static_cast<int>(position.size() / element_pair_count); }
};

// The contribution of pair t of a 9 x 9 row-major element matrix k: the
// diagonal entry, or the mean of the two mirror entries, so that a matrix
// with rounding-level asymmetry still adds exactly its symmetric part.
inline double pair_value(const double* k, int t) {
    const element_pair p = element_pairs.pair[t];
    if (p.a == p.b) return k[p.a * element_directions + p.a];
    return 0.5 * (k[p.a * element_directions + p.b] + k[p.b * element_directions + p.a]);
}

// Assembles the matrix into values[0 .. nonzeros - 1]. element_matrix(e, k)
// fills k[81] with the 9 x 9 row-major matrix of element e (1-based), its
// rows and columns the directions of corners 1, 2, 3, corner-major.
template <class ElementMatrix>
void assemble(const tangent_pattern& p, ElementMatrix&& element_matrix, double* values) {
    std::fill(values, values + p.nonzeros(), 0.0);
    double k[element_entries];
    const tangent_pattern::position_type* at = p.position.data();
    const int elements = p.element_count();
    for (int e = 1; e <= elements; ++e, at += element_pair_count) {
        element_matrix(e, k);
        for (int t = 0; t < element_pair_count; ++t)
            if (at[t] != tangent_pattern::outside) values[at[t]] = values[at[t]] + pair_value(k, t);
    }
}

// y = K x for the symmetric matrix K of the pattern and values, x and y of
// length n and distinct.
void multiply(const tangent_pattern& p, const double* values, const double* x, double* y);

}  // namespace velmora
