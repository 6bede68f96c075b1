// The vector operations of the optimiser package: the maximum-magnitude
// norm, the stopping test and the loops over x, g and the correction pairs
// that every method shares.
#pragma once

#include <cmath>

#include "terms.hpp"

namespace nlp {

using terms::fmat1;

// The largest absolute value among v(1..n); 0 when n <= 0. Only a strictly
// larger magnitude replaces the maximum, so a NaN never does.
inline double norm(int n, const fmat1& v) {
    double largest = 0;
    const double* p = v.data();
    for (int i = 0; i < n; ++i)
        if (std::fabs(p[i]) > largest) largest = std::fabs(p[i]);
    return largest;
}

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
