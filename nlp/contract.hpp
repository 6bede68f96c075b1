// What the optimiser package and its caller agree on, whatever the method:
// the objective concept, the failure HALT and the result record.
#pragma once

#include <cmath>
#include <concepts>
#include <cstdio>

#include "failure.hpp"
#include "terms.hpp"

namespace nlp {

using terms::fmat1;

// An objective fills g(1..n) with the gradient at x(1..n) and returns the
// value there.
template <class F>
concept objective_function = requires(const F& f, int n, const fmat1& x, fmat1& g) {
    { f(n, x, g) } -> std::convertible_to<double>;
};

inline constexpr const char* halt_name = "NLP.HALT";
inline constexpr const char* halt_message = "nlp:126 instantiated at velmora:483";

// The line search found no descent direction: a console line, then HALT.
[[noreturn]] inline void halt() {
    std::fputs("Line Search Failure\n", stdout);
    std::fflush(stdout);
    throw terms::failure(halt_name, halt_message);
}

// A line search may start only along a descent direction: its initial
// slope g . d must be a finite negative number (a NaN fails too);
// otherwise HALT.
inline void require_descent(double slope) {
    if (!(slope < 0) || !std::isfinite(slope)) halt();
}

// What a minimisation method returns.
struct result {
    int iterations;  // line searches made
    double energy;   // objective value at the final point
    bool optimal;    // the final gradient passed the stopping test
};

}  // namespace nlp
