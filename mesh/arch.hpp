// A shallow circular arch of triangles, written as the text of an
// "input.txt" model file: the model on which a load path passes a limit
// point (snap-through). Used by velmora-mesh, the benchmarks and the tests.
//
// Geometry: the mid-surface is an arc of span `span` and rise `rise` over
// the x axis, symmetric about x = 0, in the plane z = 0; the section is
// `depth` deep, in `layers` layers of cells through it and `cells` cells
// along the arc (both even). The node in column i (0..cells, from the left
// end) of layer j (0..layers, from the inside) is j (cells + 1) + i + 1.
// Each cell is cut along the diagonal that points away from the crown, so
// that the mesh is its own mirror image about x = 0.
//
// Supports: the mid-depth node of each end is pinned (held in x and y);
// every node is held in z. The top node of the crown carries a downward
// force, or is moved down by a prescribed displacement instead.
#pragma once

#include <optional>
#include <string>

#include "strip.hpp"

namespace velmora::mesh {

struct arch {
    // Geometry and mesh.
    double span = 10, rise = 0.4, depth = 0.2;
    int cells = 40, layers = 2;

    // Material.
    material_law law = material_law::neo_hookean;
    double mu = 100;
    double c10 = 40, c01 = 10;
    double bulk = 200;
    double thickness = 1;

    // The crown: a downward force, or a downward displacement.
    std::optional<double> force;
    std::optional<double> drop;

    // Solver controls (section 1 of the file).
    double eta = 0.9;
    int search_limit = 20;
    double tolerance = 1e-10;
    double reference_residue = 0;
    int max_iterations = 500;
    int memory = 7;
};

// The number of the node in column i (0..cells) of layer j (0..layers).
long long node_at(const arch& a, int i, int j);
// The top node of the crown, which the force or the drop acts on.
long long crown(const arch& a);
long long node_count(const arch& a);
long long element_count(const arch& a);

// Why the arch cannot be written as a readable model, or an empty string
// when it can.
std::string problem(const arch& a);

// Appends the text of the model file to out; the arch must have passed
// problem(). Reals in the shortest form that reads back the same.
void write(const arch& a, std::string& out);

}  // namespace velmora::mesh
