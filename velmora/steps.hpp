// The steps of a run, in the order main calls them. Each takes the model
// record that main owns.
#pragma once

#include <string>

#include "model.hpp"

namespace velmora {

// Reads "input.txt" from the working directory into the model.
void input(model& m);

// Element geometry, degree-of-freedom numbering, start point, allowable residue.
void start(model& m);

// Writes "ansys.txt", the model as an ANSYS input deck.
void ansys(const model& m);

// Writes "autocad.scr", the initial and the deformed mesh.
void autocad(const model& m);

// The deformed position of node n: initial coordinates plus displacements.
void vertex(const model& m, int n, double p[3]);

// Writes "output.txt", the report; leaves the residual forces in force.
void output(model& m);

// What the command line can change about a run; the defaults are the run
// without options.
struct run_settings {
    std::string method = "lbfgs";    // the minimiser, by its name in methods()
    bool progress = false;           // progress of the minimisation on standard error
    bool progress_in_place = false;  // as one line rewritten in place (on a terminal)
    int increments = 0;              // Newton's method: equal load increments; 0: adaptive
};

// The whole run: input, set-up, deck, minimisation, verdict, drawing, report.
// Returns normally after a complete run; any failure propagates.
void run(const run_settings& settings);

}  // namespace velmora
