// Limited-memory BFGS: the search direction comes from the most recent
// correction pairs (s, y) by the two-loop recursion; the pairs live in a
// ring of at most max(memory, 1) nodes that, once full, is reused in place.
#pragma once

#include <utility>

#include "linesearch.hpp"

namespace nlp {

// One correction pair of the ring.
struct list_rec {
    int n;
    double alpha = 0;          // written by the first loop of direction, read by the second
    double sy = 0;             // s . y, summed y_i s_i from 0 in index order
    fmat1 s;                   // change of point over one iteration
    fmat1 y;                   // change of gradient over the same iteration
    list_rec* prev = nullptr;  // next older pair (from the oldest: the newest)
    list_rec* next = nullptr;  // next newer pair (from the newest: the oldest)

    // A copy of the pair s_new, y_new, whose s . y is sy_new.
    list_rec(int size, const fmat1& s_new, const fmat1& y_new, double sy_new) : n(size), sy(sy_new), s(size), y(size) {
        detail::copy(n, s_new.data(), s.data());
        detail::copy(n, y_new.data(), y.data());
    }
};

// The ring of pairs: first is the oldest, last the newest, last->next is
// first and first->prev is last.
class ring {
public:
    // create: a ring of one pair, s . y = sy (as form_pair returns it).
    ring(int n, const fmat1& s, const fmat1& y, double sy) {
        first_ = last_ = new list_rec(n, s, y, sy);
        first_->prev = first_->next = first_;
    }
    ~ring() { destroy(); }
    ring(const ring&) = delete;
    ring& operator=(const ring&) = delete;

    // Links a new pair after the newest one.
    void insert(int n, const fmat1& s, const fmat1& y, double sy) {
        list_rec* node = new list_rec(n, s, y, sy);
        node->next = first_;
        node->prev = last_;
        last_->next = node;
        first_->prev = node;
        last_ = node;
    }

    // Overwrites the oldest pair with the new one, which becomes the newest;
    // no node is allocated and no link changes. The node takes over the
    // storage of s and y and hands its old vectors back in their place, so
    // nothing is copied; s and y then hold the pair that was dropped.
    void rotate(fmat1& s, fmat1& y, double sy) {
        list_rec* node = last_->next;
        std::swap(node->s, s);
        std::swap(node->y, y);
        node->sy = sy;
        first_ = node->next;
        last_ = node;
    }

    // d = -H g by the two-loop recursion:
    //   newest to oldest: alpha = (d . s) / sy, d = d - alpha y;
    //   d = gamma d with gamma = sy / (y . y) of the newest pair;
    //   oldest to newest: beta = (d . y) / sy, d = d + (alpha - beta) s;
    //   d = -d.
    // Each pass over the vectors also forms the dot product that the next
    // step needs, from the components it has just written; the values and
    // the order of every sum are those of the separate loops, with half the
    // memory traffic. Returns false when d holds a component that is not a
    // finite number.
    bool direction(const fmat1& g, fmat1& d) {
        const int n = last_->n;
        double* dp = d.data();
        const double* gp = g.data();

        // d = g, with the first alpha's dot product and y . y of the newest pair.
        double ds = 0, yy = 0;
        {
            const double* s = last_->s.data();
            const double* y = last_->y.data();
            for (int i = 0; i < n; ++i) {
                dp[i] = gp[i];
                ds = ds + dp[i] * s[i];
                yy = yy + y[i] * y[i];
            }
        }
        const double gamma_numerator = last_->sy;

        // First loop; after the oldest pair, the scaling and the first beta's
        // dot product.
        double dy = 0;
        for (list_rec* node = last_;; node = node->prev) {
            node->alpha = ds / node->sy;
            const double alpha = node->alpha;
            const double* y = node->y.data();
            if (node != first_) {
                const double* s_next = node->prev->s.data();
                ds = 0;
                for (int i = 0; i < n; ++i) {
                    dp[i] = dp[i] - alpha * y[i];
                    ds = ds + dp[i] * s_next[i];
                }
            } else {
                const double gamma = gamma_numerator / yy;
                for (int i = 0; i < n; ++i) {
                    dp[i] = dp[i] - alpha * y[i];
                    dp[i] = gamma * dp[i];
                    dy = dy + dp[i] * y[i];
                }
                break;
            }
        }

        // Second loop; after the newest pair, the sign.
        bool finite = true;
        for (list_rec* node = first_;; node = node->next) {
            const double beta = dy / node->sy;
            const double step = node->alpha - beta;
            const double* s = node->s.data();
            if (node != last_) {
                const double* y_next = node->next->y.data();
                dy = 0;
                for (int i = 0; i < n; ++i) {
                    dp[i] = dp[i] + step * s[i];
                    dy = dy + dp[i] * y_next[i];
                }
            } else {
                for (int i = 0; i < n; ++i) {
                    dp[i] = dp[i] + step * s[i];
                    dp[i] = -dp[i];
                    finite = finite && std::isfinite(dp[i]);
                }
                break;
            }
        }
        return finite;
    }

    // Releases every node, from last following next back to last.
    void destroy() {
        if (last_ == nullptr) return;
        list_rec* node = last_->next;
        while (node != last_) {
            list_rec* following = node->next;
            delete node;
            node = following;
        }
        delete last_;
        first_ = last_ = nullptr;
    }

    const list_rec* first() const { return first_; }
    const list_rec* last() const { return last_; }

private:
    list_rec* first_ = nullptr;
    list_rec* last_ = nullptr;
};

// Minimises the objective from x. Stops when the largest gradient
// magnitude is not above allowable_residue or after max_iterations line
// searches (at least one), or when a direction is no longer finite (a pair
// with s . y = 0 or y = 0: the gradient stopped changing at machine
// precision); x and g then hold the last line search's point and gradient.
// observe, when given, receives a report after every line search.
template <objective_function F, iteration_observer O = no_observer>
result lbfgs(const F& objective, int memory, int n, int max_iterations, int search_limit, double allowable_residue,
             double eta, fmat1& x, fmat1& g, O observe = {}) {
    fmat1 d(n), s(n), y(n);
    double f = objective(n, x, g);
    int k = 1;
    for (int i = 0; i < n; ++i) d.data()[i] = -g.data()[i];
    detail::copy(n, x.data(), s.data());
    detail::copy(n, g.data(), y.data());
    line_point accepted = linesearch_point(objective, n, search_limit, eta, f, x, g, d, s);
    f = accepted.value;
    if constexpr (observed<O>) observe(detail::report(k, f, n, g, allowable_residue, accepted.step));
    ring pairs(n, s, y, detail::form_pair(n, x, g, s, y));

    while (k < max_iterations && norm(n, g) > allowable_residue) {
        if (!pairs.direction(g, d)) break;
        k = k + 1;
        detail::copy(n, x.data(), s.data());
        detail::copy(n, g.data(), y.data());
        accepted = linesearch_point(objective, n, search_limit, eta, f, x, g, d, s);
        f = accepted.value;
        if constexpr (observed<O>) observe(detail::report(k, f, n, g, allowable_residue, accepted.step));
        const double sy = detail::form_pair(n, x, g, s, y);
        if (k <= memory)
            pairs.insert(n, s, y, sy);
        else
            pairs.rotate(s, y, sy);
    }
    return {k, f, detail::converged(n, g, allowable_residue)};
}

}  // namespace nlp
