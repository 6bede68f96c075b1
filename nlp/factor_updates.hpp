// Quasi-Newton corrections of a kept factor: where Newton's method keeps a
// factor of the tangent K0 for several iterations (the chord method), the
// pairs of the steps taken since, s = x - x0 and y = g - g0, update its
// inverse by BFGS, H = BFGS(K0^-1; pairs), applied by the two-loop
// recursion of limited-memory BFGS with the factor's solve as the initial
// matrix:
//   newest to oldest: alpha_i = rho_i s_i . q, q = q - alpha_i y_i;
//   r = K0^-1 q;
//   oldest to newest: beta_i = rho_i y_i . r, r = r + (alpha_i - beta_i) s_i;
// with rho_i = 1 / (s_i . y_i) and q = g first, d = -r last. The steps on a
// kept factor then converge superlinearly instead of linearly, each for one
// solve and a few passes over the vectors.
#pragma once

#include <cmath>
#include <vector>

#include "vectors.hpp"

namespace nlp {

class factor_updates {
public:
    // Keeps at most capacity pairs; 0 keeps none (no storage is taken).
    void set_capacity(int n, int capacity) {
        if (capacity == capacity_ && n == n_) return;
        n_ = n;
        capacity_ = capacity;
        s_.clear();
        y_.clear();
        rho_.assign(static_cast<std::size_t>(capacity), 0.0);
        alpha_.assign(static_cast<std::size_t>(capacity), 0.0);
        count_ = newest_ = 0;
    }

    // Forgets every pair: the factor was renewed.
    void clear() { count_ = newest_ = 0; }

    int count() const { return count_; }

    // Records the pair of the step from x0, g0 to x, g where its curvature
    // s . y is positive (elsewhere the update would not stay positive
    // definite), replacing the oldest when full.
    void record(const fmat1& x0, const fmat1& g0, const fmat1& x, const fmat1& g) {
        if (capacity_ == 0) return;
        double sy = 0;
        for (int i = 0; i < n_; ++i) sy = sy + (x.data()[i] - x0.data()[i]) * (g.data()[i] - g0.data()[i]);
        if (!(sy > 0) || !std::isfinite(sy)) return;
        const int slot = count_ == 0 ? 0 : (newest_ + 1) % capacity_;
        if (static_cast<int>(s_.size()) <= slot) {
            s_.emplace_back(n_);
            y_.emplace_back(n_);
        }
        double* sp = s_[std::size_t(slot)].data();
        double* yp = y_[std::size_t(slot)].data();
        for (int i = 0; i < n_; ++i) {
            sp[i] = x.data()[i] - x0.data()[i];
            yp[i] = g.data()[i] - g0.data()[i];
        }
        rho_[std::size_t(slot)] = 1 / sy;
        newest_ = slot;
        if (count_ < capacity_) ++count_;
    }

    // d = -H g, with solve(r, d) the factor's d = K0^-1 r.
    template <class Solve>
    void direction(const fmat1& g, fmat1& d, Solve&& solve) {
        fmat1& q = work();
        detail::copy(n_, g.data(), q.data());
        for (int k = 0; k < count_; ++k) {
            const std::size_t i = index(k);
            alpha_[i] = rho_[i] * detail::dot(n_, s_[i].data(), q.data());
            const double* yp = y_[i].data();
            for (int j = 0; j < n_; ++j) q.data()[j] = q.data()[j] - alpha_[i] * yp[j];
        }
        solve(q, d);
        for (int k = count_ - 1; k >= 0; --k) {
            const std::size_t i = index(k);
            const double beta = rho_[i] * detail::dot(n_, y_[i].data(), d.data());
            const double* sp = s_[i].data();
            for (int j = 0; j < n_; ++j) d.data()[j] = d.data()[j] + (alpha_[i] - beta) * sp[j];
        }
        for (int j = 0; j < n_; ++j) d.data()[j] = -d.data()[j];
    }

private:
    // The slot of the k-th newest pair.
    std::size_t index(int k) const { return std::size_t((newest_ - k + capacity_) % capacity_); }
    fmat1& work() {
        if (q_.size() != std::size_t(n_)) q_ = fmat1(n_);
        return q_;
    }

    int n_ = 0, capacity_ = 0, count_ = 0, newest_ = 0;
    std::vector<fmat1> s_, y_;
    std::vector<double> rho_, alpha_;
    fmat1 q_;
};

}  // namespace nlp
