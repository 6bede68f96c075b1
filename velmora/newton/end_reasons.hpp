// Why a Newton run did not end "Optimal", in sentences a user can act on:
// material constants without a stable minimum, supports that leave the body
// free to move, a residue stalled at rounding level, iterations run out,
// loads that could not be followed, controls that disable the line search.
#pragma once

#include <string>
#include <vector>

#include "model/model.hpp"
#include "newton/newton_method.hpp"

namespace velmora {

// One sentence per cause found, most fundamental first; none after an
// "Optimal" run. s is the run's summary on the model m it left.
std::vector<std::string> reasons_not_optimal(const model& m, const newton_summary& s);

}  // namespace velmora
