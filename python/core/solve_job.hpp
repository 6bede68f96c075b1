// A solve as a job for a thread of its own: set up the model, minimise by
// the method of the table, find the results. The caller waits for it, takes
// the iteration reports it queues, and may ask it to stop, which it does at
// the next report or evaluation of the objective.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>

#include "observer.hpp"
#include "run/methods.hpp"
#include "run/run.hpp"
#include "solution.hpp"

namespace velmora::python {

// What a job throws from its hooks when it is asked to stop.
struct stopped {};

struct solve_job {
    // Given before the job runs.
    // Holds the model as given; the job leaves its final state there. Where
    // the loads were not followed to the end, the caller gives the solution
    // the forces and prescribed displacements as given.
    std::unique_ptr<solution> out;
    run_settings settings;
    const method* how = nullptr;
    bool queue_reports = false;  // keep each iteration report for the caller

    // Shared with the caller while the job runs.
    std::mutex lock;
    std::condition_variable changed;  // a report queued, or the job done
    std::deque<nlp::iteration_report> reports;
    bool done = false;
    std::exception_ptr failure;  // what the job raised, if anything
    std::atomic<bool> stop{false};
};

// Runs the job on the calling thread: start(), the material as the deck
// needs it, the method, the results. Sets done (and failure) at the end,
// under the lock, and tells the caller. Runs in the floating-point
// environment of a run (every exception masked, rounding to nearest),
// whatever the calling thread's.
void run_job(solve_job& job);

}  // namespace velmora::python
