// Progress of the minimisation on standard error, for runs long enough to
// wonder about: at most five updates a second, however many iterations, and
// at the end one line with the iterations, the objective evaluations and
// the time. On a terminal the update is one line rewritten in place; in a
// file, one line per update.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "observer.hpp"

namespace velmora {

// Seconds from some fixed point on; steady_seconds is the run's clock, a
// test gives its own.
using clock_function = std::function<double()>;
double steady_seconds();

inline constexpr double progress_interval = 0.2;  // least time between two updates, in seconds

// One update, short enough for a terminal line: the load increment and
// the load when the method has them, iteration, energy, largest residue
// against the allowable one ("residue 2.8E-02 > 3.3E-05"), the step when
// the method gives it, and the time since the start.
std::string progress_line(const nlp::iteration_report& r, double elapsed);

// The last line: iterations, objective evaluations and time.
std::string summary_line(int iterations, long long evaluations, double elapsed);

class progress {
public:
    // Writes to `to`; in_place: one line rewritten after a carriage return.
    // The clock starts now.
    progress(std::FILE* to, bool in_place, clock_function clock = steady_seconds);

    // One evaluation of the objective, for the summary.
    void evaluated(long long count = 1) { evaluations_ += count; }
    long long evaluations() const { return evaluations_; }

    // Shows the report when progress_interval has passed since the last
    // update shown (or since the start).
    void update(const nlp::iteration_report& r);

    // Writes the summary line, ending the line of updates.
    void finish(int iterations);

private:
    void show(const std::string& line);

    std::FILE* to_;
    bool in_place_;
    clock_function clock_;
    double start_;
    double last_shown_;
    long long evaluations_ = 0;
    std::size_t shown_length_ = 0;  // length of the line on a terminal, to blank what a shorter one leaves
};

}  // namespace velmora
