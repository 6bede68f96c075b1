// Grids of unit square cells for the sparse tangent and its factorisation,
// and the element matrix of the Laplacian, whose assembled form on such a
// grid is known by hand: the 5-point stencil.
//
// Node (i, j), i = 0..nx, j = 0..ny, at (i, j, 0) is number j (nx + 1) + i + 1;
// cell (i, j) gives the triangles (lower left, lower right, upper right) and
// (lower left, upper right, upper left). With linear shape functions on
// these right triangles the Laplacian couples a node with 4 on the diagonal,
// -1 to its horizontal and vertical neighbours and 0 across the cell
// diagonal: the stencil reproduces every linear function exactly.
#pragma once

#include <functional>
#include <string>

#include "model/model.hpp"
#include "model/steps.hpp"
#include "read/input.hpp"

namespace test {

struct grid {
    int nx, ny;
    // Whether direction d (1..3) of node (i, j) is prescribed.
    std::function<bool(int i, int j, int d)> held;

    int node(int i, int j) const { return j * (nx + 1) + i + 1; }
    int column(int node) const { return (node - 1) % (nx + 1); }
    int row(int node) const { return (node - 1) / (nx + 1); }
    bool on_boundary(int i, int j) const { return i == 0 || j == 0 || i == nx || j == ny; }

    // The model, read and set up (a given reference residue keeps set-up
    // from evaluating it).
    velmora::model set_up() const {
        std::string t = "grid\n: control\n0.9 20 0.001 1 100 5\n: material\n1 1 1 10\n: nodes\n" +
                        std::to_string((nx + 1) * (ny + 1)) + "\nn x y z\n";
        for (int j = 0; j <= ny; ++j)
            for (int i = 0; i <= nx; ++i)
                t += std::to_string(node(i, j)) + " " + std::to_string(i) + " " + std::to_string(j) + " 0\n";
        t += ": elements\n" + std::to_string(2 * nx * ny) + "\ne\n";
        int e = 0;
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i) {
                const int ll = node(i, j), lr = node(i + 1, j), ur = node(i + 1, j + 1), ul = node(i, j + 1);
                t += std::to_string(++e) + " " + std::to_string(ll) + " " + std::to_string(lr) + " " +
                     std::to_string(ur) + "\n";
                t += std::to_string(++e) + " " + std::to_string(ll) + " " + std::to_string(ur) + " " +
                     std::to_string(ul) + "\n";
            }
        std::string supports;
        int count = 0;
        for (int j = 0; j <= ny; ++j)
            for (int i = 0; i <= nx; ++i)
                for (int d = 1; d <= 3; ++d)
                    if (held(i, j, d)) {
                        supports += std::to_string(node(i, j)) + " " + std::to_string(d) + " 0\n";
                        ++count;
                    }
        t += ": supports\n" + std::to_string(count) + "\nn d v\n" + supports + ": loads\n0\n";
        velmora::model m;
        velmora::read_model(m, t, "input.txt");
        velmora::start(m);
        return m;
    }
};

// Every z held and both in-plane directions of the boundary nodes.
inline grid boundary_held(int nx, int ny) {
    grid g{nx, ny, {}};
    g.held = [g](int i, int j, int d) { return d == 3 || g.on_boundary(i, j); };
    return g;
}

// The 9 x 9 Laplacian of element e, the same for each direction and without
// coupling between directions: k(3a + d, 3b + d) = (b_a b_b + c_a c_b) / (4 A)
// with b_a = y_next - y_after, c_a = x_after - x_next over the corners
// a, next, after in turn, and A the area.
inline void laplacian(const velmora::model& m, int e, double k[81]) {
    const velmora::element_rec& el = m.elements(e);
    double x[3], y[3];
    for (int a = 0; a < 3; ++a) {
        x[a] = m.x(el.node.component[a]);
        y[a] = m.y(el.node.component[a]);
    }
    double b[3], c[3];
    for (int a = 0; a < 3; ++a) {
        const int next = (a + 1) % 3, after = (a + 2) % 3;
        b[a] = y[next] - y[after];
        c[a] = x[after] - x[next];
    }
    const double area = 0.5 * (c[2] * b[1] - c[1] * b[2]);
    for (int r = 0; r < 81; ++r) k[r] = 0;
    for (int a = 0; a < 3; ++a)
        for (int bb = 0; bb < 3; ++bb)
            for (int d = 0; d < 3; ++d) k[(3 * a + d) * 9 + 3 * bb + d] = (b[a] * b[bb] + c[a] * c[bb]) / (4 * area);
}

}  // namespace test
