// The tangent stiffness over the free degrees of freedom as a sparse
// symmetric matrix in a fill-reducing order: its lower triangle
// (row >= column) in compressed-column form, 0-based, the diagonal first in
// each column and the rows ascending after it. Prescribed directions are
// left out.
//
// The order is one of nodes: the free directions of a node are consecutive
// rows and columns (x before y before z), and the nodes come in the order of
// METIS's nested dissection of the graph of nodes that share an element,
// postordered along its elimination tree. A sparse Cholesky factorisation
// then needs neither to permute nor to transpose the matrix, and its
// supernodes hold whole nodes.
//
// Since the free directions of two nodes that share an element are all
// coupled, a column holds whole nodes: the column of a node's direction
// holds that node's directions from it on, then every free direction of the
// later nodes it shares an element with, a block each. An element therefore
// needs to record only where its three pairs of distinct corners find their
// blocks, and an assembly zeroes the values and adds every element's
// entries at their places, allocating and sorting nothing. Elements are
// added in their order 1..count, so the sums are the same from run to run.
//
// The pattern depends only on the mesh and the supports, so it is computed
// once per run.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mechanics/mechanics.hpp"
#include "model/model.hpp"
#include "newton/dense_kernels.hpp"

namespace velmora {

template <class T>
using large_vector = std::vector<T, large_allocator<T>>;

// The order of the nodes: METIS's (the default), or the model's node
// numbers (for tests that read the matrix).
enum class node_order { metis, model };

struct tangent_pattern {
    // Column starts and row indices are 64-bit: CHOLMOD takes them as they
    // are, through its 64-bit interface, whose factor of a mesh of 10^7
    // elements already holds more than 2^31 entries.
    using index = std::int64_t;

    index n = 0;                       // free degrees of freedom: the matrix is n x n
    large_vector<index> column_start;  // n + 1: column j holds entries column_start[j] .. column_start[j+1] - 1
    large_vector<index> row;           // row of each entry: the diagonal, then ascending
    std::vector<std::int32_t> at;      // matrix index of free direction k (1..dof_count) at k - 1

    // For the assembly, per node (1..node_count, at i - 1): the matrix index
    // of its first free direction, its number of free directions and, per
    // direction d (bit d - 1), whether it is free; per element (at 3 (e - 1)
    // + p for its corner pairs p = (1, 2), (1, 3), (2, 3)): where the block
    // of the later node starts among the rows that the earlier node's
    // columns hold below its own block, or -1 where a corner has no free
    // direction.
    std::vector<std::int32_t> node_first;
    std::vector<std::uint8_t> node_free, node_directions;
    std::vector<std::int32_t> block_offset;

    double order_seconds = 0;  // wall-clock time of the order (METIS and the postorder), for the cost report

    tangent_pattern() = default;
    // From a model after start: its elements and the numbering of the
    // degrees of freedom. Throws std::bad_alloc when the matrix or its order
    // cannot be held.
    explicit tangent_pattern(const model& m, node_order order = node_order::metis);

    index nonzeros() const { return column_start.empty() ? 0 : column_start.back(); }
    int element_count() const { return static_cast<int>(block_offset.size() / 3); }
};

namespace detail {

// The corner pairs of an element, in the order of tangent_pattern::block_offset.
inline constexpr int corner_pair[3][2] = {{0, 1}, {0, 2}, {1, 2}};

// Adds the entries of the 9 x 9 element matrix k (rows and columns the
// directions of corners 1, 2, 3, corner-major) that couple corner r's
// directions with corner c's, r's node later than c's or the same, at
// their places in the columns of c's node. The diagonal entries go as they
// are; an entry off the diagonal as the mean of the two mirror entries of
// k, so that a matrix with rounding-level asymmetry adds exactly its
// symmetric part.
inline void add_block(const tangent_pattern& p, const double* k, int r, int c, int rn, int cn, std::int32_t offset,
                      double* values) {
    const std::size_t rs = static_cast<std::size_t>(rn - 1), cs = static_cast<std::size_t>(cn - 1);
    const int c_count = p.node_directions[cs];
    const std::uint8_t r_free = p.node_free[rs], c_free = p.node_free[cs];
    int lc = 0;
    for (int dc = 0; dc < 3; ++dc) {
        if ((c_free >> dc & 1) == 0) continue;
        const tangent_pattern::index column =
            p.column_start[static_cast<std::size_t>(p.node_first[cs]) + static_cast<std::size_t>(lc)];
        const int kc = 3 * c + dc;
        int lr = 0;
        for (int dr = 0; dr < 3; ++dr) {
            if ((r_free >> dr & 1) == 0) continue;
            const int kr = 3 * r + dr;
            if (rn == cn) {
                if (lr >= lc)
                    values[column + lr - lc] +=
                        dr == dc ? k[kr * element_directions + kr]
                                 : 0.5 * (k[kr * element_directions + kc] + k[kc * element_directions + kr]);
            } else {
                values[column + (c_count - lc) + offset + lr] +=
                    0.5 * (k[kr * element_directions + kc] + k[kc * element_directions + kr]);
            }
            ++lr;
        }
        ++lc;
    }
}

}  // namespace detail

// Assembles the matrix into values[0 .. nonzeros - 1]. element_matrix(e, k)
// fills k[81] with the 9 x 9 row-major matrix of element e (1-based), its
// rows and columns the directions of corners 1, 2, 3, corner-major.
template <class ElementMatrix>
void assemble(const tangent_pattern& p, const model& m, ElementMatrix&& element_matrix, double* values) {
    std::fill(values, values + p.nonzeros(), 0.0);
    double k[element_entries];
    const int elements = p.element_count();
    for (int e = 1; e <= elements; ++e) {
        const int* node = m.elements.data()[e - 1].node.component;
        if (p.node_directions[static_cast<std::size_t>(node[0] - 1)] +
                p.node_directions[static_cast<std::size_t>(node[1] - 1)] +
                p.node_directions[static_cast<std::size_t>(node[2] - 1)] ==
            0)
            continue;
        element_matrix(e, k);
        for (int a = 0; a < 3; ++a)
            if (p.node_directions[static_cast<std::size_t>(node[a] - 1)] > 0)
                detail::add_block(p, k, a, a, node[a], node[a], 0, values);
        for (int q = 0; q < 3; ++q) {
            const std::int32_t offset =
                p.block_offset[3 * static_cast<std::size_t>(e - 1) + static_cast<std::size_t>(q)];
            if (offset < 0) continue;
            int a = detail::corner_pair[q][0], b = detail::corner_pair[q][1];
            if (p.node_first[static_cast<std::size_t>(node[a] - 1)] <
                p.node_first[static_cast<std::size_t>(node[b] - 1)])
                std::swap(a, b);
            detail::add_block(p, k, a, b, node[a], node[b], offset, values);
        }
    }
}

// y = K x for the symmetric matrix K of the pattern and values, x and y of
// length n and distinct, in the pattern's order.
void multiply(const tangent_pattern& p, const double* values, const double* x, double* y);

}  // namespace velmora
