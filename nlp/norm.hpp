// Parts of the optimiser package that do not depend on the objective: the
// failure HALT, the maximum-magnitude norm and the result record.
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

// The largest absolute value among v(1..n); 0 when n <= 0. Only a strictly
// larger magnitude replaces the maximum, so a NaN never does.
inline double norm(int n, const fmat1& v) {
    double largest = 0;
    const double* p = v.data();
    for (int i = 0; i < n; ++i)
        if (std::fabs(p[i]) > largest) largest = std::fabs(p[i]);
    return largest;
}

// What a minimisation method returns.
struct result {
    int iterations;  // line searches made
    double energy;   // objective value at the final point
    bool optimal;    // the final gradient passed the stopping test
};

namespace detail {

inline double dot(int n, const double* u, const double* v) {
    double sum = 0;
    for (int i = 0; i < n; ++i) sum = sum + u[i] * v[i];
    return sum;
}

inline bool all_finite(int n, const double* v) {
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(v[i])) return false;
    return true;
}

inline bool any_nan(int n, const double* v) {
    for (int i = 0; i < n; ++i)
        if (std::isnan(v[i])) return true;
    return false;
}

// The stopping test. norm passes over NaN components, so a gradient that
// holds a NaN is never optimal.
inline bool converged(int n, const fmat1& g, double allowable_residue) {
    return norm(n, g) <= allowable_residue && !any_nan(n, g.data());
}

inline void copy(int n, const double* from, double* to) {
    for (int i = 0; i < n; ++i) to[i] = from[i];
}

// s = x - s and y = g - y: the saved point and gradient become the
// correction pair of the step just made. Returns s . y, summed y_i s_i from
// 0 in index order, formed in the same pass.
inline double form_pair(int n, const fmat1& x, const fmat1& g, fmat1& s, fmat1& y) {
    const double* xp = x.data();
    const double* gp = g.data();
    double* sp = s.data();
    double* yp = y.data();
    double sy = 0;
    for (int i = 0; i < n; ++i) {
        sp[i] = xp[i] - sp[i];
        yp[i] = gp[i] - yp[i];
        sy = sy + yp[i] * sp[i];
    }
    return sy;
}

}  // namespace detail

}  // namespace nlp
