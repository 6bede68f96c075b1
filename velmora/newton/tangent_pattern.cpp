// The tangent's pattern in a fill-reducing order of nodes, and its product
// with a vector. See tangent_pattern.hpp.
//
// The order: the graph of the nodes that have a free direction, an edge
// between two that share an element, is ordered by METIS's nested
// dissection; CHOLMOD finds the elimination tree of that order and its
// postorder, which keeps every subtree together so that the factor's
// supernodes are long. A node's directions then follow one another.
#include "newton/tangent_pattern.hpp"

#include <cholmod.h>
#include <metis.h>

#include <chrono>
#include <limits>
#include <mutex>
#include <new>
#include <string>

#include "newton/cholmod_view.hpp"

namespace velmora {

namespace {

using index = tangent_pattern::index;

// Adjacency lists in compressed form: the neighbours of vertex v are
// target[start[v] .. start[v + 1] - 1].
struct adjacency {
    std::vector<idx_t> start, target;
};

// The graph of the vertices (nodes with a free direction, vertex[i - 1] for
// node i, -1 for the others): each element joins its vertices in pairs;
// lists sorted, without repeats or loops.
adjacency node_graph(const model& m, const std::vector<std::int32_t>& vertex, idx_t vertices) {
    adjacency g;
    g.start.assign(static_cast<std::size_t>(vertices) + 1, 0);
    const auto each_pair = [&](auto&& take) {
        for (int e = 1; e <= m.element_count(); ++e) {
            const int* node = m.elements.data()[e - 1].node.component;
            for (const auto& pair : detail::corner_pair) {
                const std::int32_t a = vertex[static_cast<std::size_t>(node[pair[0]] - 1)];
                const std::int32_t b = vertex[static_cast<std::size_t>(node[pair[1]] - 1)];
                if (a >= 0 && b >= 0 && a != b) take(a, b), take(b, a);
            }
        }
    };
    each_pair([&](std::int32_t a, std::int32_t) { ++g.start[static_cast<std::size_t>(a) + 1]; });
    for (std::size_t v = 0; v < static_cast<std::size_t>(vertices); ++v) g.start[v + 1] += g.start[v];
    if (g.start.back() == std::numeric_limits<idx_t>::max()) throw std::bad_alloc();
    g.target.resize(static_cast<std::size_t>(g.start.back()));
    std::vector<idx_t> next(g.start.begin(), g.start.end() - 1);
    each_pair([&](std::int32_t a, std::int32_t b) { g.target[static_cast<std::size_t>(next[std::size_t(a)]++)] = b; });
    // Sort and drop repeats in place, then close the gaps.
    idx_t kept = 0;
    for (std::size_t v = 0; v < static_cast<std::size_t>(vertices); ++v) {
        idx_t* first = g.target.data() + g.start[v];
        idx_t* last = g.target.data() + g.start[v + 1];
        std::sort(first, last);
        last = std::unique(first, last);
        g.start[v] = kept;
        for (idx_t* t = first; t != last; ++t) g.target[static_cast<std::size_t>(kept++)] = *t;
    }
    g.start[static_cast<std::size_t>(vertices)] = kept;
    g.target.resize(static_cast<std::size_t>(kept));
    return g;
}

// METIS's nested dissection of the graph: order[k] is the k-th vertex.
std::vector<idx_t> dissection(adjacency& g, idx_t vertices) {
    std::vector<idx_t> order(static_cast<std::size_t>(vertices)), inverse(static_cast<std::size_t>(vertices));
    if (g.target.empty()) {
        for (idx_t v = 0; v < vertices; ++v) order[static_cast<std::size_t>(v)] = v;
        return order;
    }
    idx_t options[METIS_NOPTIONS];
    METIS_SetDefaultOptions(options);
    idx_t count = vertices;
    // METIS draws from a random generator of its own whose state is shared
    // by the process, seeded at each call: one call at a time, so that two
    // runs in two threads order their nodes as they would one after the
    // other.
    static std::mutex one_at_a_time;
    const std::lock_guard<std::mutex> hold(one_at_a_time);
    const int status =
        METIS_NodeND(&count, g.start.data(), g.target.data(), nullptr, options, order.data(), inverse.data());
    if (status == METIS_ERROR_MEMORY) throw std::bad_alloc();
    if (status != METIS_OK)
        throw failure(solver_error,
                      "METIS_NodeND found no ordering of the tangent (status " + std::to_string(status) + ")");
    return order;
}

// The postorder of the elimination tree of the graph taken in the given
// order (CHOLMOD's): the order in which a supernodal factorisation finds
// its supernodes whole.
std::vector<idx_t> postordered(const adjacency& g, const std::vector<idx_t>& order) {
    const std::size_t count = order.size();
    std::vector<idx_t> rank(count);
    for (std::size_t k = 0; k < count; ++k) rank[static_cast<std::size_t>(order[k])] = static_cast<idx_t>(k);
    // The upper triangle of the ordered graph: column k holds the ranks
    // below k of vertex order[k]'s neighbours.
    std::vector<SuiteSparse_long> start(count + 1, 0), rows;
    rows.reserve(g.target.size() / 2);
    for (std::size_t k = 0; k < count; ++k) {
        const idx_t v = order[k];
        for (idx_t s = g.start[std::size_t(v)]; s < g.start[std::size_t(v) + 1]; ++s)
            if (rank[std::size_t(g.target[std::size_t(s)])] < static_cast<idx_t>(k))
                rows.push_back(rank[std::size_t(g.target[std::size_t(s)])]);
        std::sort(rows.begin() + start[k], rows.end());
        start[k + 1] = static_cast<SuiteSparse_long>(rows.size());
    }
    cholmod_common c;
    cholmod_l_start(&c);
    c.print = 0;
    c.error_handler = nullptr;
    cholmod_sparse a = symmetric_columns(count, rows.size(), start.data(), rows.data(), nullptr, 1);
    std::vector<SuiteSparse_long> parent(count), post(count);
    const bool done = cholmod_l_etree(&a, parent.data(), &c) &&
                      cholmod_l_postorder(parent.data(), count, nullptr, post.data(), &c) == SuiteSparse_long(count);
    const int status = c.status;
    cholmod_l_finish(&c);
    if (status == CHOLMOD_OUT_OF_MEMORY) throw std::bad_alloc();
    if (!done) throw failure(solver_error, "CHOLMOD found no elimination tree of the tangent's order");
    std::vector<idx_t> result(count);
    for (std::size_t k = 0; k < count; ++k) result[k] = order[static_cast<std::size_t>(post[k])];
    return result;
}

}  // namespace

tangent_pattern::tangent_pattern(const model& m, node_order order) : n(m.dof_count) {
    bring_up_dense_kernels();
    const std::size_t nodes = static_cast<std::size_t>(m.node_count);
    node_free.assign(nodes, 0);
    node_directions.assign(nodes, 0);
    node_first.assign(nodes, -1);
    std::vector<std::int32_t> vertex(nodes, -1);
    std::vector<int> node_of;  // the node of each vertex
    for (std::size_t i = 0; i < nodes; ++i) {
        for (int d = 1; d <= 3; ++d)
            if (m.dof_number(static_cast<int>(i) + 1, d) <= m.dof_count) {
                node_free[i] = static_cast<std::uint8_t>(node_free[i] | 1 << (d - 1));
                ++node_directions[i];
            }
        if (node_directions[i] > 0) {
            vertex[i] = static_cast<std::int32_t>(node_of.size());
            node_of.push_back(static_cast<int>(i) + 1);
        }
    }
    const idx_t vertices = static_cast<idx_t>(node_of.size());
    adjacency g = node_graph(m, vertex, vertices);
    std::vector<idx_t> sequence;
    if (order == node_order::metis) {
        const auto started = std::chrono::steady_clock::now();
        sequence = postordered(g, dissection(g, vertices));
        release_kept_blocks();
        order_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    } else {
        sequence.resize(static_cast<std::size_t>(vertices));
        for (idx_t v = 0; v < vertices; ++v) sequence[std::size_t(v)] = v;
    }

    // Matrix indices, node by node; the rank of each vertex in the order.
    at.assign(static_cast<std::size_t>(n), 0);
    std::vector<idx_t> rank(static_cast<std::size_t>(vertices));
    std::int32_t next = 0;
    for (std::size_t k = 0; k < sequence.size(); ++k) {
        const idx_t v = sequence[k];
        rank[std::size_t(v)] = static_cast<idx_t>(k);
        const int node = node_of[std::size_t(v)];
        node_first[std::size_t(node - 1)] = next;
        for (int d = 1; d <= 3; ++d) {
            const int number = m.dof_number(node, d);
            if (number <= m.dof_count) at[static_cast<std::size_t>(number - 1)] = next++;
        }
    }

    // The later neighbours of each vertex, by rank, replace its list; the
    // rows below a node's own block are their directions in that order.
    std::vector<idx_t> below(g.start.size(), 0);  // free directions of the later neighbours of vertex v
    for (std::size_t v = 0; v < static_cast<std::size_t>(vertices); ++v) {
        idx_t* first = g.target.data() + g.start[v];
        idx_t* last = g.target.data() + g.start[v + 1];
        last = std::remove_if(first, last, [&](idx_t w) { return rank[std::size_t(w)] < rank[v]; });
        std::sort(first, last, [&](idx_t a, idx_t b) { return rank[std::size_t(a)] < rank[std::size_t(b)]; });
        std::fill(last, g.target.data() + g.start[v + 1], -1);
        for (idx_t* t = first; t != last; ++t)
            below[v] += node_directions[static_cast<std::size_t>(node_of[std::size_t(*t)] - 1)];
    }

    // Columns: those of a node's direction l hold its directions l.. and the
    // rows below.
    column_start.assign(static_cast<std::size_t>(n) + 1, 0);
    for (const idx_t v : sequence) {
        const std::size_t i = static_cast<std::size_t>(node_of[std::size_t(v)] - 1);
        for (int l = 0; l < node_directions[i]; ++l) {
            const std::size_t j = static_cast<std::size_t>(node_first[i]) + static_cast<std::size_t>(l);
            column_start[j + 1] = column_start[j] + (node_directions[i] - l) + below[std::size_t(v)];
        }
    }
    row.resize(static_cast<std::size_t>(nonzeros()));
    for (const idx_t v : sequence) {
        const std::size_t i = static_cast<std::size_t>(node_of[std::size_t(v)] - 1);
        for (int l = 0; l < node_directions[i]; ++l) {
            index* out =
                row.data() + column_start[static_cast<std::size_t>(node_first[i]) + static_cast<std::size_t>(l)];
            for (int own = l; own < node_directions[i]; ++own) *out++ = node_first[i] + own;
            for (idx_t s = g.start[std::size_t(v)]; s < g.start[std::size_t(v) + 1] && g.target[std::size_t(s)] >= 0;
                 ++s) {
                const std::size_t w = static_cast<std::size_t>(node_of[std::size_t(g.target[std::size_t(s)])] - 1);
                for (int own = 0; own < node_directions[w]; ++own) *out++ = node_first[w] + own;
            }
        }
    }

    // Each element's pairs of corners: where the later node's block starts
    // below the earlier node's own block.
    block_offset.assign(static_cast<std::size_t>(m.element_count()) * 3, -1);
    for (int e = 1; e <= m.element_count(); ++e) {
        const int* node = m.elements.data()[e - 1].node.component;
        for (int q = 0; q < 3; ++q) {
            std::int32_t a = vertex[static_cast<std::size_t>(node[detail::corner_pair[q][0]] - 1)];
            std::int32_t b = vertex[static_cast<std::size_t>(node[detail::corner_pair[q][1]] - 1)];
            if (a < 0 || b < 0) continue;
            if (rank[std::size_t(a)] > rank[std::size_t(b)]) std::swap(a, b);
            std::int32_t offset = 0;
            for (idx_t s = g.start[std::size_t(a)]; g.target[std::size_t(s)] != b; ++s)
                offset += node_directions[static_cast<std::size_t>(node_of[std::size_t(g.target[std::size_t(s)])] - 1)];
            block_offset[3 * static_cast<std::size_t>(e - 1) + static_cast<std::size_t>(q)] = offset;
        }
    }
}

// Column j contributes K(i, j) x(j) to y(i) and, off the diagonal,
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
