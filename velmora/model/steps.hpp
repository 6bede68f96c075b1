// The steps of a run, in the order run() calls them (run/run.hpp). Each
// takes the model record that the run owns.
#pragma once

#include "model/model.hpp"

namespace velmora {

// Reads "input.txt" from the working directory into the model (read/).
void input(model& m);

// Element geometry, degree-of-freedom numbering, start point, allowable
// residue (mechanics/).
void start(model& m);

// Writes "ansys.txt", the model as an ANSYS input deck (write/).
void ansys(const model& m);

// Writes "autocad.scr", the initial and the deformed mesh (write/).
void autocad(const model& m);

// Writes "output.txt", the report; leaves the residual forces in force
// (write/).
void output(model& m);

}  // namespace velmora
