// Newton's method on the model: load increments over the equilibrium
// problem (equilibrium_problem.hpp), from the start point that start() set.
#pragma once

#include <functional>

#include "load_steps.hpp"
#include "model/model.hpp"
#include "newton/equilibrium_problem.hpp"

namespace velmora {

using newton_observer = std::function<void(const nlp::iteration_report&)>;

struct newton_summary {
    nlp::load_result result;  // iterations in all, energy, optimal; the load fraction reached
    tangent_counts tangents;  // how the tangents were factorised
    long long evaluations;    // of the objective
};

// Leaves the final state in displacement and gradient, and the model's
// forces and prescribed displacements at the load fraction reached. As the
// default method, it raises the line-search failure when the start point
// offers no descent direction (no free direction, or nothing out of
// balance).
newton_summary newton_equilibrium(model& m, int increments, const newton_observer& observe = {});

}  // namespace velmora
