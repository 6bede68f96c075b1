// The load path of a Newton run: one row per equilibrium reached on the way
// to the full loads, for the history file of the command line and the
// results of the Python interface, which share this one record.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "arc_length.hpp"
#include "model/model.hpp"

namespace velmora {

struct load_path_row {
    int increment = 0;   // 1, 2, ... in the order reached
    double load = 0;     // load fraction: every force and prescribed displacement times it
    int iterations = 0;  // Newton iterations of the increment
    double energy = 0;   // total potential energy
    double residue = 0;  // largest out-of-balance force at a free direction
    // The resultant in x, y, z of the reactions at the supports that move
    // (a prescribed displacement other than 0): the force that drives them.
    // Where no support moves, at all supports: the negated resultant of the
    // forces applied.
    std::array<double, 3> reaction{};
    std::vector<double> followed;  // displacement x, y, z of each followed node, in turn
};

struct load_path {
    std::vector<int> follow;  // the nodes whose displacements the rows give
    std::vector<load_path_row> rows;
    // Arc-length continuation: each maximum of the load factor passed, by
    // the increment of its row (the row within 0.1 % below it).
    std::vector<nlp::limit_point> limits;

    // Appends the row of the equilibrium that m holds now (its displacement,
    // and forces and prescribed displacements at the fraction reached).
    void record(const model& m, const nlp::equilibrium_report& r);

    // The rows as CSV, a header line first: increment, load, iterations,
    // energy, residue, reaction_x, reaction_y, reaction_z, then u<node>_x,
    // u<node>_y, u<node>_z for each followed node; every real in the
    // shortest form that reads back to the same double.
    std::string csv() const;
};

}  // namespace velmora
