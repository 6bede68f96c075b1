// The steps of a run, in the order run() calls them (run/run.hpp). Each
// takes the model record that the run owns.
#pragma once

#include <string>

#include "model/model.hpp"

namespace velmora {

// Reads "input.txt" from the working directory into the model (read/).
void input(model& m);

// Element geometry, degree-of-freedom numbering, start point, allowable
// residue (mechanics/).
void start(model& m);

// The writers (write/) create their files in directory, or in the working
// directory when it is empty, as a run does.

// Writes "ansys.txt", the model as an ANSYS input deck.
void ansys(const model& m, const std::string& directory = {});

// Writes "autocad.scr", the initial and the deformed mesh.
void autocad(const model& m, const std::string& directory = {});

// Writes "output.txt", the report; leaves the residual forces in force.
void output(model& m, const std::string& directory = {});

}  // namespace velmora
