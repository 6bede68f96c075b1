// What a minimisation method reports after each iteration to an observer
// that its caller may give it, for example to show progress. The package
// itself neither prints nor reads a clock. With no_observer, the default,
// a method does no extra work at all.
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
    int increment = 0;     // load increment (Newton's method), 0 for the other methods
    double load = 1;       // load fraction reached (Newton's method), 1 for the other methods
};

struct no_observer {
    void operator()(const iteration_report&) const {}
};

template <class O>
concept iteration_observer = std::invocable<O&, const iteration_report&>;

// Whether O is a real observer, for `if constexpr`: the report, and the
// norm it needs, are formed only then.
template <class O>
inline constexpr bool observed = !std::is_same_v<std::remove_cvref_t<O>, no_observer>;

}  // namespace nlp
