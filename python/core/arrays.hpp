// A model as the arrays the Python package holds it in, and the model
// record of the solver built from them or read into them. Points and
// directions are counted from 0 here, nodes and elements from 1 in the
// model record.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "model/model.hpp"

namespace velmora::python {

// The control values of "input.txt", in its order.
struct controls {
    double eta = 0;
    int search_limit = 0;
    double tolerance = 0;
    double reference_residue = 0;
    int max_iterations = 0;
    int memory = 0;
};

// The material line: kind 1 (mu, bulk), kind 2 (c10, c01, bulk) or, from a
// file, any other kind, which leaves the model without a material.
struct material_line {
    double thickness = 0;
    int kind = 0;
    std::array<double, 3> constants{};
};

// Views of the arrays, each row by row: points and the three per-point
// arrays n x 3, triangles m x 3 of 0-based point indices.
struct model_view {
    std::span<const double> points;
    std::span<const std::int64_t> triangles;
    std::span<const std::uint8_t> fixed;  // 1 where the direction is prescribed
    std::span<const double> prescribed;   // prescribed displacement, 0 elsewhere
    std::span<const double> forces;
    material_line material;
    controls control;
};

// The same, owned: what the reader gives.
struct model_arrays {
    std::vector<double> points;
    std::vector<std::int64_t> triangles;
    std::vector<std::uint8_t> fixed;
    std::vector<double> prescribed;
    std::vector<double> forces;
    material_line material;
    controls control;
};

// The model record of the arrays, as the reader fills it from a file that
// holds the same values: a tolerance not above 0 becomes 0.001. Refuses
// (std::invalid_argument) arrays whose lengths do not agree, more points
// than the reader takes, or a corner beyond the 32-bit node numbers.
model model_of(const model_view& v);

// Sets the control values of m as the reader sets them.
void set_controls(model& m, const controls& c);

// The arrays of a model record as the reader leaves it.
model_arrays arrays_of(const model& m);

}  // namespace velmora::python
