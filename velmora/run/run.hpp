// The whole run of velmora: input, set-up, deck, minimisation, verdict,
// drawing, report, with what the command line can change about it.
#pragma once

#include <string>
#include <vector>

#include "mechanics/mechanics.hpp"

namespace velmora {

// What the command line can change about a run; the defaults are the run
// without options.
struct run_settings {
    std::string method = "lbfgs";    // the minimiser, by its name in methods()
    bool progress = false;           // progress of the minimisation on standard error
    bool progress_in_place = false;  // as one line rewritten in place (on a terminal)
    int increments = 0;              // Newton's method: equal load increments (or arcs); 0: adaptive
    bool arc_length = false;         // Newton's method: arc-length continuation instead of load increments
    std::string history;             // Newton's method: the file of the load history (CSV); empty: none
    std::vector<int> follow;         // nodes whose displacements the history gives
};

// The warning for elements that the minimiser left turned over (folded.count
// of them, at least one), a sentence without "warning: ".
std::string turned_over_warning(const turned_over& folded);

// Stops the worker threads that libraries start as they are loaded and the
// run does not use (OpenBLAS's: Newton's method calls it on one thread).
// For main, before anything else.
void stop_idle_threads();

// Returns normally after a complete run; any failure propagates.
void run(const run_settings& settings);

}  // namespace velmora
