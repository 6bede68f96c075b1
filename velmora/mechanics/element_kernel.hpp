// The arithmetic of the triangle element, written once for a number type T
// that is either double or a vector of doubles (one element per lane).
// Every lane performs exactly the operations of the scalar code in the same
// order, so a vector sweep gives the same bits as element-by-element
// evaluation: additions, multiplications, divisions and square roots are
// correctly rounded per lane, and the build never contracts a*b+c.
//
// Every formula is evaluated in the order it is written, left to right: a
// dot product sums x, y, z in that order, v^2 is v*v, and no division is
// replaced by a multiplication with a stored reciprocal.
#pragma once

#include <cmath>

#include "model/model.hpp"

namespace velmora::kernel {

// Two doubles processed side by side (SSE2 on x86-64, NEON on AArch64).
typedef double pair __attribute__((vector_size(16)));

inline double square_root(double v) { return std::sqrt(v); }
inline pair square_root(pair v) { return pair{std::sqrt(v[0]), std::sqrt(v[1])}; }

inline constexpr double third = 1.0 / 3.0;  // the double nearest 1/3: s = i3^third = J^(2/3)
// pow(1, y) is exactly 1, and i3 is exactly 1 wherever the mesh is still
// undeformed: at the start point, and, while the minimiser's changes spread
// from the loads, in most of a large mesh. The library call is skipped there.
inline double cube_root_of_square(double i3) { return i3 == 1.0 ? 1.0 : std::pow(i3, third); }
inline pair cube_root_of_square(pair i3) { return pair{cube_root_of_square(i3[0]), cube_root_of_square(i3[1])}; }

template <class T>
struct vec3 {
    T x, y, z;
};

template <class T>
T dot(const vec3<T>& u, const vec3<T>& v) {
    return u.x * v.x + u.y * v.y + u.z * v.z;
}

template <class T>
vec3<T> cross(const vec3<T>& u, const vec3<T>& v) {
    return {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
}

// Material constants, one law at a time.
template <class T>
struct constants {
    T first;   // mu (neo-Hookean) or c10 (Mooney-Rivlin)
    T second;  // c01 (Mooney-Rivlin)
    T bulk;
    T thickness;
};

// Geometry of an element: initial edges A = P3 - P2, B = P1 - P3, their dot
// products and D = |A x B|.
template <class T>
struct geometry {
    vec3<T> A, B;
    T aa, ab, bb, D;
};

// What the element gives: energy, invariants, derivatives and the nodal
// forces of corners 1 and 2 (corner 3 carries minus their sum).
template <class T>
struct results {
    T strain_energy, i1, trace_c2, i3, dw_di1, dw_dtrace_c2, dw_di3;
    vec3<T> row1, row2;
};

// The current edges p = A + u3 - u2 and q = B + u1 - u3 of an element
// whose corners moved by u1, u2, u3.
template <class T>
struct edges {
    vec3<T> p, q;
};

template <class T>
[[gnu::always_inline]] inline edges<T> current_edges(const geometry<T>& el, const vec3<T>& u1, const vec3<T>& u2,
                                                     const vec3<T>& u3) {
    const vec3<T>& A = el.A;
    const vec3<T>& B = el.B;
    return {{A.x + u3.x - u2.x, A.y + u3.y - u2.y, A.z + u3.z - u2.z},
            {B.x + u1.x - u3.x, B.y + u1.y - u3.y, B.z + u1.z - u3.z}};
}

template <class T, material_law Law>
[[gnu::always_inline]] inline results<T> evaluate(const geometry<T>& el, const vec3<T>& u1, const vec3<T>& u2,
                                                  const vec3<T>& u3, const constants<T>& c) {
    const T D = el.D;
    const T t = c.thickness;

    const edges<T> current = current_edges(el, u1, u2, u3);
    const vec3<T>& p = current.p;
    const vec3<T>& q = current.q;

    // Current normal N = p x q, L = |N| (twice the current area), n = N / L.
    const vec3<T> N = cross(p, q);
    const T L = square_root(N.x * N.x + N.y * N.y + N.z * N.z);
    const vec3<T> n{N.x / L, N.y / L, N.z / L};

    // Dual edges, carrying the inverse of the initial metric.
    const T aa = el.aa, ab = el.ab, bb = el.bb;
    const vec3<T> g1{aa * q.x - ab * p.x, aa * q.y - ab * p.y, aa * q.z - ab * p.z};
    const vec3<T> g2{ab * q.x - bb * p.x, ab * q.y - bb * p.y, ab * q.z - bb * p.z};

    // Invariants of C = F^T F, the thickness stretch being 1:
    //   i1 = (g1.q - g2.p) / D^2 + 1
    //   trace_c2 = [(p^2 g2^2 - 2 (p.q)(g1.g2) + q^2 g1^2) / D^2
    //               + 2 ((g1.n)(q.n) - (g2.n)(p.n))] / D^2 + 1
    T J = L / D;
    const T i3 = J * J;
    const T DD = D * D;
    const T i1 = (dot(g1, q) - dot(g2, p)) / DD + 1.0;
    const T pp = dot(p, p), qq = dot(q, q), pq = dot(p, q);
    const T g1g1 = dot(g1, g1), g2g2 = dot(g2, g2), g1g2 = dot(g1, g2);
    const T g1n = dot(g1, n), g2n = dot(g2, n);
    const T trace_c2 =
        ((pp * g2g2 - 2.0 * pq * g1g2 + qq * g1g1) / DD + 2.0 * (g1n * dot(q, n) - g2n * dot(p, n))) / DD + 1.0;

    // Strain-energy density and its derivatives, with s = i3^(1/3) = J^(2/3)
    // and J recomputed from i3.
    const T s = cube_root_of_square(i3);
    J = square_root(i3);
    const T bulk = c.bulk;
    T W, dw_di1, dw_dtrace_c2, dw_di3;
    if constexpr (Law == material_law::neo_hookean) {
        // W = mu/2 i1/s + bulk/2 (i3 - 2J)
        const T mu = c.first;
        W = 0.5 * mu * i1 / s + 0.5 * bulk * (i3 - 2.0 * J);
        dw_di1 = 0.5 * mu / s;
        dw_dtrace_c2 = T{};
        dw_di3 = 0.5 * (bulk * (1.0 - 1.0 / J) - mu * i1 / (3.0 * s * i3));
    } else {
        // W = (c10 i1 + c01/2 (i1^2 - trace_c2)/s)/s + bulk/2 (i3 - 2J)
        const T c10 = c.first;
        const T c01 = c.second;
        W = (c10 * i1 + 0.5 * c01 * (i1 * i1 - trace_c2) / s) / s + 0.5 * bulk * (i3 - 2.0 * J);
        dw_di1 = (c10 + c01 * i1 / s) / s;
        dw_dtrace_c2 = -0.5 * c01 / (s * s);
        dw_di3 = 0.5 * bulk * (1.0 - 1.0 / J) - (c01 * (i1 * i1 - trace_c2) / s + c10 * i1) / (3.0 * s * i3);
    }

    // Energy: W times the initial area D/2 times the thickness.
    const T strain_energy = W * D * t * 0.5;

    // Nodal forces, the chain rule through i1, trace_c2 and i3:
    // d i1/d u1 = 2 g1/D^2, d i3/d u1 = 2 J (n x p)/D; g2 and n x q for corner 2.
    const T c1 = dw_di1 / D;
    const T c2 = 2.0 * dw_dtrace_c2 / D;
    const T c3 = dw_di3 * J;
    const vec3<T> np = cross(n, p);
    const vec3<T> nq = cross(n, q);
    const auto row = [&](const T& gd, const T& gn, const T& nd, const T& a, const T& qd, const T& b, const T& pd,
                         const T& cross_d) {
        return t * (c1 * gd + c2 * (gn * nd + (a * qd - b * pd) / DD) + c3 * cross_d);
    };
    results<T> r{strain_energy, i1, trace_c2, i3, dw_di1, dw_dtrace_c2, dw_di3, {}, {}};
    r.row1 = {row(g1.x, g1n, n.x, g1g1, q.x, g1g2, p.x, np.x), row(g1.y, g1n, n.y, g1g1, q.y, g1g2, p.y, np.y),
              row(g1.z, g1n, n.z, g1g1, q.z, g1g2, p.z, np.z)};
    r.row2 = {row(g2.x, g2n, n.x, g1g2, q.x, g2g2, p.x, nq.x), row(g2.y, g2n, n.y, g1g2, q.y, g2g2, p.y, nq.y),
              row(g2.z, g2n, n.z, g1g2, q.z, g2g2, p.z, nq.z)};
    return r;
}

}  // namespace velmora::kernel
