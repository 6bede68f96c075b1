// The results of a finished run, per node and per element, ready to be
// written for a viewer: the model of "input.txt" joined with its report
// "output.txt".
#pragma once

#include <array>
#include <string>
#include <vector>

#include "mesh_error.hpp"
#include "model/model.hpp"
#include "report_reader.hpp"

namespace velmora::mesh {

struct results {
    std::vector<std::array<double, 3>> points;        // initial coordinates of node k at k - 1
    std::vector<std::array<int, 3>> triangles;        // corner nodes, counted from 0
    std::vector<std::array<double, 3>> displacement;  // per node
    std::vector<std::array<double, 3>> reaction;      // per node; 0 where the report gives none
    std::vector<std::array<double, 3>> sigma;         // sigma1, sigma2, sigma3 per element
    int iterations = 0;
    double energy = 0;
};

// Joins a model (as read from "input.txt", before set-up) and its report.
// Throws mesh_error when the report does not belong to the model: other
// node or element counts or numbering, a reaction in a direction the model
// does not prescribe, a prescribed displacement the report shows with
// another value; or when the results are not finite numbers.
results combine(const velmora::model& m, const report& r, const std::string& input_name,
                const std::string& report_name);

}  // namespace velmora::mesh
