// Newton's method on the model: load increments or arc-length continuation
// over the equilibrium problem (equilibrium_problem.hpp), from the start
// point that start() set.
#pragma once

#include <functional>
#include <vector>

#include "arc_length.hpp"
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
    // Arc-length continuation only: each maximum of the load factor that
    // the path passed, and the largest load factor of an equilibrium
    // reached with its increment.
    bool arc_length = false;
    std::vector<nlp::limit_point> limits;
    double largest_load = 0;
    int largest_at = 0;
};

// Leaves the final state in displacement and gradient, and the model's
// forces and prescribed displacements at the load fraction reached. As the
// default method, it raises the line-search failure when the start point
// offers no descent direction (no free direction, or nothing out of
// balance). With a path, records its row at each equilibrium reached.
newton_summary newton_equilibrium(model& m, int increments, const newton_observer& observe = {},
                                  load_path* path = nullptr);

// The same by arc-length continuation (nlp/arc_length.hpp): one load factor
// scales the forces and the prescribed displacements together, and the
// path it follows passes limit points, until the factor is 1 or the
// iterations run out; the maxima of the factor are pinned to 0.1 %.
// increments > 0: every arc that of the linear response to 1/increments of
// the loads. A path gets the limit points too.
newton_summary arc_length_equilibrium(model& m, int increments, const newton_observer& observe = {},
                                      load_path* path = nullptr);

}  // namespace velmora
