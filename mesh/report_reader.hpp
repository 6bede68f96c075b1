// Reads the report "output.txt" of a finished velmora run: the summary box,
// the displacement table, the stress table with its Max/Min line and the
// reaction table. Only the layout is checked here; whether the report
// belongs to a given model is checked by combine() (results.hpp).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mesh_error.hpp"

namespace velmora::mesh {

struct report {
    int iterations = 0;
    double energy = 0;
    double allowable_residue = 0;

    struct row {
        int number;  // node or element number as printed
        std::array<double, 3> value;
    };
    std::vector<row> displacements;  // one row per node, in the order printed
    std::vector<row> stresses;       // sigma1, sigma2, sigma3 per element
    double largest_sigma1 = 0;       // the Max/Min line
    double smallest_sigma2 = 0;

    struct reaction_row {
        int node;
        std::array<std::optional<double>, 3> force;  // empty where the row reports nothing
    };
    std::vector<reaction_row> reactions;
};

// Parses the text of a report; file_name locates failures. Throws
// mesh_error for a report that is truncated or not laid out as velmora
// writes it. Numbers may be "NaN", "Inf" or "-Inf".
report read_report(std::string_view text, const std::string& file_name);

}  // namespace velmora::mesh
