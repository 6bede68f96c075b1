// The models the benchmarks run on: generated strips of unit square cells,
// nodes numbered row by row, every z held, the end x = 0 held in x and the
// other end pulled by x forces of 1% of the shear modulus per unit height;
// the reference residue is given (1), so the set-up evaluates nothing.
// Each model is built once per process, through the reader as a run does.
#pragma once

#include <memory>
#include <string>

#include "model/model.hpp"
#include "strip.hpp"

namespace bench {

// The strip of a given element count: 10^4 as 100 x 50 cells, 10^5 as
// 250 x 200, 10^6 as 1000 x 500; other counts 2 ny^2 cells with nx = ny.
velmora::mesh::strip strip_for(long long elements, velmora::mesh::material_law law);

// The text of its "input.txt", generated once.
const std::string& model_text(long long elements, velmora::mesh::material_law law);

// A new model read from that text and set up (geometry, numbering,
// allowable residue), as a run has it before the minimiser.
std::unique_ptr<velmora::model> new_started_model(long long elements, velmora::mesh::material_law law);

// The same, built once and shared.
const velmora::model& started_model(long long elements, velmora::mesh::material_law law);

// A displacement field of the size of the model's free degrees of freedom
// that deforms every element a little (about 0.1% of a cell), the same on
// every call.
velmora::fmat1 small_displacements(const velmora::model& m);

}  // namespace bench
