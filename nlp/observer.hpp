// What a minimisation method reports after each iteration to an observer
// that its caller may give it, for example to show progress, and what a
// method that follows loads reports at each equilibrium it reaches, for
// example to record the load path. The package itself neither prints nor
// reads a clock. With no_observer, the default, a method does no extra work
// at all.
#pragma once

#include <concepts>
#include <type_traits>

namespace nlp {

struct iteration_report {
    int iteration = 0;     // iterations (line searches) made so far
    double energy = 0;     // objective value at the current point
    double residue = 0;    // norm(n, g) at the current point
    double allowable = 0;  // allowable_residue of the stopping test
    double step = 0;       // accepted line-search step, 0 when the method does not track it
    int increment = 0;     // load increment (methods that follow loads), 0 for the others
    double load = 1;       // load fraction aimed at (methods that follow loads), 1 for the others
};

// An equilibrium on the way to the full loads: the end of an increment.
struct equilibrium_report {
    int increment = 0;   // 1, 2, ... in the order they were reached
    double load = 0;     // its load fraction
    int iterations = 0;  // Newton iterations the increment took
    double energy = 0;   // objective value there
    double residue = 0;  // norm(n, g) there
};

struct no_observer {
    template <class Report>
    void operator()(const Report&) const {}
};

template <class O>
concept iteration_observer = std::invocable<O&, const iteration_report&>;

// Whether O is a real observer, for `if constexpr`: the report, and the
// norm it needs, are formed only then.
template <class O>
inline constexpr bool observed = !std::is_same_v<std::remove_cvref_t<O>, no_observer>;

}  // namespace nlp
