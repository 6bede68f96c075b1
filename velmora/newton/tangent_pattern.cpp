// The pattern of the tangent over the free degrees of freedom, and its
// product with a vector. See tangent_pattern.hpp.
//
// Column j of the upper triangle holds row i <= j when some element has
// both directions among its corners, and always the diagonal. The columns are found through the
// elements at each free direction: a column visits those elements and
// marks their free directions i <= j, once each; a first pass counts,
// a second fills and sorts the few rows of each column. The element lists
// and the marks are freed before the pattern is returned.
#include "newton/tangent_pattern.hpp"

#include <limits>
#include <new>

namespace velmora {

namespace {

using index = tangent_pattern::index;

// The 0-based free directions of element e's nine directions, -1 where a
// direction is prescribed.
void free_directions(const model& m, int e, int d[element_directions]) {
    const element_rec& el = m.elements.data()[e - 1];
    const int* number = m.dof_number.data();
    for (int k = 0; k < 3; ++k) {
        const std::size_t base = static_cast<std::size_t>(el.node.component[k] - 1) * 3;
        for (int c = 0; c < 3; ++c) {
            const int k_number = number[base + static_cast<std::size_t>(c)];
            d[3 * k + c] = k_number <= m.dof_count ? k_number - 1 : -1;
        }
    }
}

// For each free direction, the elements (0-based) that have it, in
// ascending order: compressed rows, start of size n + 1.
struct element_lists {
    std::vector<index> start;
    std::vector<int> element;
};

element_lists elements_at_directions(const model& m, index n) {
    element_lists l;
    l.start.assign(static_cast<std::size_t>(n) + 1, 0);
    const int elements = m.element_count();
    int d[element_directions];
    for (int e = 1; e <= elements; ++e) {
        free_directions(m, e, d);
        for (int j : d)
            if (j >= 0) ++l.start[static_cast<std::size_t>(j) + 1];
    }
    for (std::size_t j = 0; j < static_cast<std::size_t>(n); ++j) l.start[j + 1] += l.start[j];
    l.element.resize(static_cast<std::size_t>(l.start.back()));
    std::vector<index> next(l.start.begin(), l.start.end() - 1);
    for (int e = 1; e <= elements; ++e) {
        free_directions(m, e, d);
        for (int j : d)
            if (j >= 0) l.element[static_cast<std::size_t>(next[static_cast<std::size_t>(j)]++)] = e - 1;
    }
    return l;
}

}  // namespace

tangent_pattern::tangent_pattern(const model& m) : n(m.dof_count) {
    const std::size_t columns = static_cast<std::size_t>(n);
    const int elements = m.element_count();
    column_start.assign(columns + 1, 0);
    {
        const element_lists at = elements_at_directions(m, n);
        // mark[i] == j: row i already taken in column j.
        std::vector<int> mark(columns, -1);
        int d[element_directions];
        // Calls take(i) once for each distinct row i <= j of column j. The
        // diagonal is always there, even for a direction of a node that no
        // element has.
        const auto rows_of = [&](std::size_t j, auto&& take) {
            mark[j] = static_cast<int>(j);
            take(static_cast<int>(j));
            for (index s = at.start[j]; s < at.start[j + 1]; ++s) {
                free_directions(m, at.element[static_cast<std::size_t>(s)] + 1, d);
                for (int i : d)
                    if (i >= 0 && static_cast<std::size_t>(i) <= j &&
                        mark[static_cast<std::size_t>(i)] != static_cast<int>(j)) {
                        mark[static_cast<std::size_t>(i)] = static_cast<int>(j);
                        take(i);
                    }
            }
        };
        for (std::size_t j = 0; j < columns; ++j) {
            index count = 0;
            rows_of(j, [&](int) { ++count; });
            column_start[j + 1] = column_start[j] + count;
        }
        if (nonzeros() > std::numeric_limits<position_type>::max()) throw std::bad_alloc();
        row.resize(static_cast<std::size_t>(nonzeros()));
        mark.assign(columns, -1);
        for (std::size_t j = 0; j < columns; ++j) {
            index* next = row.data() + column_start[j];
            rows_of(j, [&](int i) { *next++ = i; });
            std::sort(row.data() + column_start[j], next);
        }
    }

    // Each pair of an element's free directions is entry (min, max) of
    // the upper triangle, found by bisection in its column.
    position.resize(static_cast<std::size_t>(elements) * element_pair_count);
    int d[element_directions];
    for (int e = 1; e <= elements; ++e) {
        free_directions(m, e, d);
        position_type* out = position.data() + static_cast<std::size_t>(e - 1) * element_pair_count;
        for (int t = 0; t < element_pair_count; ++t) {
            const int i = d[element_pairs.pair[t].a], j = d[element_pairs.pair[t].b];
            if (i < 0 || j < 0) {
                out[t] = outside;
                continue;
            }
            const index r = std::min(i, j), c = std::max(i, j);
            const index* rows = row.data();
            const index* found = std::lower_bound(rows + column_start[static_cast<std::size_t>(c)],
                                                  rows + column_start[static_cast<std::size_t>(c) + 1], r);
            out[t] = static_cast<position_type>(found - rows);
        }
    }
}

// Column j contributes K(i, j) x(j) to y(i) and, below the diagonal,
// K(j, i) x(i) = K(i, j) x(i) to y(j).
void multiply(const tangent_pattern& p, const double* values, const double* x, double* y) {
    const std::size_t n = static_cast<std::size_t>(p.n);
    std::fill(y, y + n, 0.0);
    for (std::size_t j = 0; j < n; ++j)
        for (index s = p.column_start[j]; s < p.column_start[j + 1]; ++s) {
            const std::size_t i = static_cast<std::size_t>(p.row[static_cast<std::size_t>(s)]);
            const double v = values[s];
            y[i] = y[i] + v * x[j];
            if (i != j) y[j] = y[j] + v * x[i];
        }
}

}  // namespace velmora
