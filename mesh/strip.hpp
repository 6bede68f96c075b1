// A rectangular strip meshed with triangles, written as the text of an
// "input.txt" model file. Used by the velmora-mesh program, the benchmarks
// and the tests, so that they all build the same meshes.
//
// Geometry: nx by ny cells over [0, length] x [0, height] in the plane
// z = 0. Nodes are numbered row by row: the node in column i (0..nx) of row
// j (0..ny) is j * (nx + 1) + i + 1. Each cell gives two triangles, both
// counter-clockwise seen from +z: (lower left, lower right, upper right)
// and (lower left, upper right, upper left); cell (i, j) holds elements
// 2 (j nx + i) + 1 and + 2.
//
// Supports: every node of the end x = 0 is held in x, its lower corner
// (node 1) also in y against rigid motion, and every node in z. The end
// x = length is either moved by a prescribed x displacement or loaded by
// nodal forces in x and/or y whose sum is the given total, spread as a
// uniform traction would be (the two corner nodes carry half a share).
// Extra support records may follow, such as the ends held in y too
// (plates bonded to them); velmora-mesh adds none.
#pragma once

#include <charconv>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::mesh {

enum class material_law { neo_hookean, mooney_rivlin };

// "neo-Hookean" or "Mooney-Rivlin".
const char* law_name(material_law law);

// The control and material sections of a model file, for a strip or an
// imported model: Settings holds the material and the solver controls under
// the names of strip. Reals in the shortest form that reads back the same.
template <class Settings>
std::string settings_sections(const Settings& s) {
    const auto real = [](double v) {
        char buffer[32];
        return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, v).ptr);
    };
    std::string t = ": control: eta, search limit, tolerance, reference residue, maximum iterations, memory\n";
    t += real(s.eta) + " " + std::to_string(s.search_limit) + " " + real(s.tolerance) + " " +
         real(s.reference_residue) + " " + std::to_string(s.max_iterations) + " " + std::to_string(s.memory) + "\n";
    t += ": material: thickness, kind, constants\n";
    if (s.law == material_law::neo_hookean)
        t += real(s.thickness) + " 1 " + real(s.mu) + " " + real(s.bulk) + "\n";
    else
        t += real(s.thickness) + " 2 " + real(s.c10) + " " + real(s.c01) + " " + real(s.bulk) + "\n";
    return t;
}

// A support record beyond those of the ends: node, direction (1..3) and
// prescribed displacement.
struct support {
    long long node;
    int direction;
    double value;
};

struct strip {
    // Mesh.
    int nx = 10;
    int ny = 2;
    double length = 10;  // extent in x
    double height = 2;   // extent in y

    // Material.
    material_law law = material_law::neo_hookean;
    double mu = 1.0;   // neo-Hookean
    double c10 = 0.4;  // Mooney-Rivlin
    double c01 = 0.1;  // Mooney-Rivlin
    double bulk = 50.0;
    double thickness = 1.0;

    // The end x = length: a prescribed x displacement, or total forces.
    std::optional<double> stretch;
    std::optional<double> load_x;
    std::optional<double> load_y;

    // Solver controls (section 1 of the file).
    double eta = 0.9;
    int search_limit = 20;
    double tolerance = 0.001;
    double reference_residue = 0.0;
    int max_iterations = 500;
    int memory = 7;

    // Supports written after those of the ends.
    std::vector<support> extra_supports;
};

// A strip of nx by ny unit square cells with the default material and
// controls and no end condition yet.
strip unit_cells(int nx, int ny);

// The number of the node in column i (0..nx) of row j (0..ny).
long long node_at(const strip& s, int i, int j);

// Counts that the file will declare; as 64-bit numbers so that a strip too
// large for the reader's 32-bit integers can be recognised.
long long node_count(const strip& s);
long long element_count(const strip& s);

// Why the strip cannot be written as a readable model, or an empty string
// when it can.
std::string problem(const strip& s);

// Writes the text of the model file in blocks of about a megabyte, each
// handed to the sink in order. The strip must have passed problem(). Reals
// are written in the shortest form that reads back to the same double.
using sink = std::function<void(std::string_view)>;
void write(const strip& s, const sink& to);

// As above, appending the whole text to out.
void write(const strip& s, std::string& out);

}  // namespace velmora::mesh
