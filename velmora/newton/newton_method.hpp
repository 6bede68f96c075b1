// Newton's method on the model: load increments over the equilibrium
// problem (equilibrium_problem.hpp), from the start point that start() set.
#pragma once

#include <functional>

#include "load_steps.hpp"
#include "model/model.hpp"
#include "newton/equilibrium_problem.hpp"
#include "newton/load_path.hpp"

namespace velmora {

using newton_observer = std::function<void(const nlp::iteration_report&)>;

// What a Newton run did.
struct newton_summary {
    int iterations = 0;    // Newton iterations over all increments
    double energy = 0;     // total potential energy of the final state
    bool optimal = false;  // the residue test holds at the full load
    double load = 0;       // load fraction of the final state: 1 unless the run stopped early
    int increments = 0;    // load increments that reached equilibrium
    nlp::newton_end last = nlp::newton_end::converged;  // how the last increment tried ended
    bool budget_spent = false;                          // the iterations reached max_iterations
    double residue = 0;                                 // largest out-of-balance force of the final state
    int singular_direction = 0;  // free direction where the tangent at the start was singular, or 0
    tangent_counts tangents;     // how the tangents were factorised
    long long evaluations = 0;   // of the objective
    newton_costs costs;          // where the time went
};

// Leaves the final state in displacement and gradient, and the model's
// forces and prescribed displacements at the load fraction reached. As the
// default method, it raises the line-search failure when the start point
// offers no descent direction (no free direction, or nothing out of
// balance). With a path, records its row at each equilibrium reached.
newton_summary newton_equilibrium(model& m, int increments, const newton_observer& observe = {},
                                  load_path* path = nullptr);

}  // namespace velmora
