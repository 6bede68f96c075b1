// Tests of the sparse tangent's pattern and assembly: matrices worked out by
// hand (shared-element counts on a square of two triangles) and the 5-point
// stencil of the Laplacian on a strip of unit cells (grid_models.hpp), with
// prescribed directions left out.
#include "newton/tangent_pattern.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <utility>
#include <vector>

#include "grid_models.hpp"

namespace {

using velmora::node_order;
using velmora::tangent_pattern;
using entry_map = std::map<std::pair<std::int64_t, std::int64_t>, double>;  // (row, column) -> value

// The entries of the matrix by the model's free directions (0-based), the
// upper triangle.
entry_map entries_of(const tangent_pattern& p, const std::vector<double>& values) {
    std::vector<std::int64_t> direction(std::size_t(p.n));
    for (std::size_t k = 0; k < p.at.size(); ++k) direction[std::size_t(p.at[k])] = std::int64_t(k);
    entry_map m;
    for (std::int64_t j = 0; j < p.n; ++j)
        for (std::int64_t s = p.column_start[std::size_t(j)]; s < p.column_start[std::size_t(j) + 1]; ++s) {
            const std::int64_t a = direction[std::size_t(p.row[std::size_t(s)])], b = direction[std::size_t(j)];
            m[{std::min(a, b), std::max(a, b)}] = values[std::size_t(s)];
        }
    return m;
}

// The strip of one unit cell: two triangles, (1 2 4) and (1 4 3), nodes
// 1..4 at (0,0), (1,0), (0,1), (1,1); every z held, node 1 held in x and y,
// node 3 in x (the load on the far end enters no pattern). Free: node 2 x,
// y (0, 1), node 3 y (2), node 4 x, y (3, 4), in the model's order. With
// every element entry 1, K(i, j) counts the elements that have both
// directions: nodes 1 and 4 share both elements, nodes 2 and 3 none (no
// entry), the other pairs one. The lower triangle by columns: each column
// holds its node's directions from its own on, then the later nodes its
// node shares an element with (node 2: node 4; node 3: node 4).
TEST(TangentPattern, SharedElementCountsOnTwoTriangles) {
    test::mesh::strip s = test::mesh::unit_cells(1, 1);
    s.load_x = 1;
    const velmora::model m = test::model_of(s);
    ASSERT_EQ(m.dof_count, 5);
    const tangent_pattern p(m, node_order::model);
    EXPECT_EQ(p.n, 5);
    EXPECT_EQ(p.at, (std::vector<std::int32_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(std::vector<std::int64_t>(p.column_start.begin(), p.column_start.end()),
              (std::vector<std::int64_t>{0, 4, 7, 10, 12, 13}));
    EXPECT_EQ(std::vector<std::int64_t>(p.row.begin(), p.row.end()),
              (std::vector<std::int64_t>{0, 1, 3, 4, 1, 3, 4, 2, 3, 4, 3, 4, 4}));

    std::vector<double> values(std::size_t(p.nonzeros()), -7.0);  // stale values: assembly starts from zero
    velmora::assemble(
        p, m,
        [](int, double* k) {
            for (int r = 0; r < 81; ++r) k[r] = 1.0;
        },
        values.data());
    EXPECT_EQ(values, (std::vector<double>{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2}));

    // Element 1 (1 2 4): only its corners 2 and 3 both have free
    // directions, node 4's block first below node 2's own; element 2
    // (1 4 3): its corners 2 and 3, node 4's block first below node 3's.
    EXPECT_EQ(p.block_offset, (std::vector<std::int32_t>{-1, -1, 0, -1, -1, 0}));
}

// The Laplacian of m assembled in the pattern p.
std::vector<double> laplacian_of(const velmora::model& m, const tangent_pattern& p) {
    std::vector<double> values(std::size_t(p.nonzeros()));
    velmora::assemble(
        p, m, [&m](int e, double* k) { test::laplacian(m, e, k); }, values.data());
    return values;
}

// The strip of 4 x 3 unit cells with its boundary held, and interior node 8
// at (2, 1) held in x too.
velmora::model held_grid() {
    test::mesh::strip g = test::boundary_held(4, 3);
    g.extra_supports.push_back({8, 1, 0});
    return test::model_of(g);
}

// The Laplacian on held_grid: the pattern holds exactly the pairs of
// directions of nodes that share an element (same node, horizontal,
// vertical or lower-left/upper-right neighbours), and the values are the
// stencil's.
TEST(TangentAssembly, LaplacianStencilOnAGrid) {
    const velmora::model m = held_grid();
    ASSERT_EQ(m.dof_count, 3 * 2 * 2 - 1);
    ASSERT_TRUE(m.is_prescribed(8, 1) && m.x(8) == 2 && m.y(8) == 1);
    const tangent_pattern p(m);

    entry_map expected;
    for (int a = 1; a <= m.node_count; ++a)
        for (int b = 1; b <= m.node_count; ++b) {
            const double di = m.x(b) - m.x(a), dj = m.y(b) - m.y(a);
            const bool same = di == 0 && dj == 0, side = std::abs(di) + std::abs(dj) == 1,
                       diagonal = di == dj && std::abs(di) == 1;
            if (!same && !side && !diagonal) continue;
            for (int da = 1; da <= 3; ++da)
                for (int db = 1; db <= 3; ++db) {
                    if (m.is_prescribed(a, da) || m.is_prescribed(b, db)) continue;
                    const int r = m.dof_number(a, da) - 1, c = m.dof_number(b, db) - 1;
                    if (r > c) continue;
                    expected[{r, c}] = da != db ? 0.0 : same ? 4.0 : side ? -1.0 : 0.0;
                }
        }

    const std::vector<double> values = laplacian_of(m, p);
    EXPECT_EQ(entries_of(p, values), expected);
    for (std::int64_t j = 0; j < p.n; ++j) {  // the diagonal first, then strictly ascending rows
        EXPECT_EQ(p.row[std::size_t(p.column_start[std::size_t(j)])], j);
        for (std::int64_t s = p.column_start[std::size_t(j)] + 1; s < p.column_start[std::size_t(j) + 1]; ++s)
            EXPECT_LT(p.row[std::size_t(s) - 1], p.row[std::size_t(s)]);
    }
}

// An element matrix given unsymmetric, its mirror entries summing to the
// Laplacian's, assembles to the same values as the Laplacian.
TEST(TangentAssembly, SkewPartOfTheElementMatrixIsLeftOut) {
    const velmora::model m = held_grid();
    const tangent_pattern p(m);
    const std::vector<double> values = laplacian_of(m, p);
    std::vector<double> skewed(values.size());
    velmora::assemble(
        p, m,
        [&m](int e, double* k) {
            test::laplacian(m, e, k);
            for (int a = 0; a < 9; ++a)
                for (int b = a + 1; b < 9; ++b) {
                    k[a * 9 + b] = k[a * 9 + b] + 0.25 * (a + 1);
                    k[b * 9 + a] = k[b * 9 + a] - 0.25 * (a + 1);
                }
        },
        skewed.data());
    EXPECT_EQ(skewed, values);
}

// y = K x with K the stencil: y at a free node is 4 u there less u at its
// free horizontal and vertical neighbours, direction by direction.
TEST(TangentAssembly, ProductIsTheStencil) {
    const test::mesh::strip s = test::boundary_held(5, 4);
    const velmora::model m = test::model_of(s);
    const tangent_pattern p(m);
    const std::vector<double> values = laplacian_of(m, p);

    // u = i^2 + 3 j in x and i j - 2 in y at node (i, j).
    const auto u = [](int i, int j, int d) { return d == 1 ? i * i + 3.0 * j : i * j - 2.0; };
    std::vector<double> x(std::size_t(p.n)), y(std::size_t(p.n)), expected(std::size_t(p.n));
    for (int node = 1; node <= m.node_count; ++node)
        for (int d = 1; d <= 2; ++d) {
            if (m.is_prescribed(node, d)) continue;
            const int i = static_cast<int>(m.x(node)), j = static_cast<int>(m.y(node));
            x[std::size_t(m.dof_number(node, d) - 1)] = u(i, j, d);
            double sum = 4 * u(i, j, d);
            const int step[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
            for (const auto& st : step)
                if (!test::on_boundary(s, i + st[0], j + st[1])) sum -= u(i + st[0], j + st[1], d);
            expected[std::size_t(m.dof_number(node, d) - 1)] = sum;
        }
    // In the pattern's order.
    std::vector<double> x_ordered(x.size()), y_ordered(x.size());
    for (std::size_t k = 0; k < x.size(); ++k) x_ordered[std::size_t(p.at[k])] = x[k];
    velmora::multiply(p, values.data(), x_ordered.data(), y_ordered.data());
    for (std::size_t k = 0; k < y.size(); ++k) y[k] = y_ordered[std::size_t(p.at[k])];
    for (std::size_t k = 0; k < y.size(); ++k) EXPECT_DOUBLE_EQ(y[k], expected[k]) << k;
}

}  // namespace
