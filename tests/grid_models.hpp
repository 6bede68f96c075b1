// Models in memory, read and set up as a run does it: strips for the Newton
// path, the sparse tangent and its factorisation, and the element matrix of
// the Laplacian, whose assembled form on a strip of unit square cells is
// known by hand: the 5-point stencil.
//
// The strip cuts each cell from its lower left to its upper right corner.
// With linear shape functions on these right triangles the Laplacian
// couples a node with 4 on the diagonal, -1 to its horizontal and vertical
// neighbours and 0 across the cell diagonal: the stencil reproduces every
// linear function exactly.
#pragma once

#include <string>

#include "model/model.hpp"
#include "model/steps.hpp"
#include "read/input.hpp"
#include "strip_models.hpp"

namespace test {

// The model of an "input.txt" text or of a strip, read and set up as a run
// does it.
inline velmora::model model_of(const std::string& text) {
    velmora::model m;
    velmora::read_model(m, text, "input.txt");
    velmora::start(m);
    return m;
}
inline velmora::model model_of(const mesh::strip& s) { return model_of(text_of(s)); }

// A strip of nx by ny unit cells held in x and y all round its boundary and
// in z everywhere: the end x = nx "stretched" by 0, the rest by extra
// supports. A given reference residue keeps set-up from evaluating it.
inline mesh::strip boundary_held(int nx, int ny) {
    mesh::strip s = mesh::unit_cells(nx, ny);
    s.stretch = 0;
    s.reference_residue = 1;
    for (int j = 0; j <= ny; ++j) {
        if (j > 0) s.extra_supports.push_back({mesh::node_at(s, 0, j), 2, 0});  // node 1 is held in y
        s.extra_supports.push_back({mesh::node_at(s, nx, j), 2, 0});
    }
    for (int i = 1; i < nx; ++i)
        for (const int j : {0, ny})
            for (const int d : {1, 2}) s.extra_supports.push_back({mesh::node_at(s, i, j), d, 0});
    return s;
}

// Whether grid point (i, j) lies on the boundary of the strip.
inline bool on_boundary(const mesh::strip& s, int i, int j) { return i == 0 || j == 0 || i == s.nx || j == s.ny; }

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
