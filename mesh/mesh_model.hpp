// From a mesh as a mesh generator gives it (tags chosen by the generator,
// physical groups named by the convention of group_name.hpp) to the model
// file "input.txt" of velmora.
//
// Numbering: the nodes of the triangles are numbered 1..n in ascending
// order of their source node tag, the triangles 1..m in ascending order of
// their source element tag; nodes that belong to no triangle are left out.
// Corners keep the order of the source triangle.
//
// Supports and loads come from the named groups of points and curves:
//   fix, move  every node of the group, in each named direction; two groups
//              that prescribe different values at one node and direction
//              are refused;
//   load       the total force F of a curve group is spread like a uniform
//              line load: each segment takes the share F * (its length) /
//              (length of the group) and gives half of it to each of its
//              two nodes; the force of a point group is split equally
//              among its nodes; forces of several groups at one node add.
// When every node lies in one plane z = constant and hold_z is on, every
// node is also held in z unless a group prescribes its z displacement.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "mesh_error.hpp"
#include "strip.hpp"

namespace velmora::mesh {

// A mesh as read from the generator.
struct source_group {
    int dim = 0;                                       // 0: points, 1: curves
    int tag = 0;                                       // the generator's tag of the group
    std::string name;                                  // by the naming convention
    std::vector<std::size_t> nodes;                    // node tags of the group
    std::vector<std::array<std::size_t, 2>> segments;  // 2-node line elements (curves only)
};

struct source_mesh {
    std::vector<std::size_t> node_tags;                 // every node the source holds
    std::vector<std::array<double, 3>> coordinates;     // of node_tags, same order
    std::vector<std::size_t> triangle_tags;             // the body's triangles
    std::vector<std::array<std::size_t, 3>> triangles;  // their corner node tags, same order
    std::vector<source_group> groups;                   // named points and curves
};

// Material, thickness and solver controls; the defaults are those of the
// strip generator, but for a higher iteration limit: a mesh from a
// generator has more nodes and more varied element sizes than a strip.
struct import_options {
    material_law law = material_law::neo_hookean;
    double mu = 1.0;
    double c10 = 0.4;
    double c01 = 0.1;
    double bulk = 50.0;
    double thickness = 1.0;

    double eta = 0.9;
    int search_limit = 20;
    double tolerance = 0.001;
    double reference_residue = 0.0;
    int max_iterations = 10000;
    int memory = 7;

    bool hold_z = true;  // hold every node in z when the mesh lies in a plane z = constant
    std::string source;  // file name, for the title line
};

// The model in velmora's numbering.
struct imported_model {
    struct node {
        std::size_t tag;  // source node tag
        std::array<double, 3> at;
    };
    struct element {
        std::size_t tag;  // source element tag
        std::array<int, 3> node;
    };
    struct record {
        int node;
        int direction;  // 1..3
        double value;
        std::string from;  // the group(s) that gave it
    };
    std::vector<node> nodes;         // node k is nodes[k - 1]
    std::vector<element> elements;   // element e is elements[e - 1]
    std::vector<record> supports;    // sorted by node, then direction
    std::vector<record> loads;       // sorted by node, then direction
    std::vector<std::string> notes;  // remarks for the user (not failures)
};

// Numbers the mesh and applies the groups. Throws mesh_error for a mesh
// that velmora cannot take (no triangles, an unknown group name, a group
// node outside the body, conflicting supports, a curve load without line
// elements, more nodes than the reader takes).
imported_model build_model(const source_mesh& mesh, const import_options& options);

// Why the options cannot be written as a model, or an empty string.
std::string options_problem(const import_options& options);

// The text of "input.txt".
std::string model_text(const imported_model& model, const import_options& options);

}  // namespace velmora::mesh
