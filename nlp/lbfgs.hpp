// Limited-memory BFGS: the search direction comes from the most recent
// correction pairs (s, y) by the two-loop recursion; the pairs live in a
// ring of at most max(memory, 1) nodes that, once full, is reused in place.
#pragma once

#include "linesearch.hpp"

namespace nlp {

// One correction pair of the ring.
struct list_rec {
    int n;
    double alpha = 0;  // written by the first loop of direction, read by the second
    double sy = 0;     // s . y, summed y_i s_i from 0 in index order
    fmat1 s;           // change of point over one iteration
    fmat1 y;           // change of gradient over the same iteration
    list_rec* prev = nullptr;  // next older pair (from the oldest: the newest)
    list_rec* next = nullptr;  // next newer pair (from the newest: the oldest)

    list_rec(int size, const fmat1& s_new, const fmat1& y_new) : n(size), s(size), y(size) { store(s_new, y_new); }

    void store(const fmat1& s_new, const fmat1& y_new) {
        detail::copy(n, s_new.data(), s.data());
        detail::copy(n, y_new.data(), y.data());
        sy = 0;
        const double* yp = y.data();
        const double* sp = s.data();
        for (int i = 0; i < n; ++i) sy = sy + yp[i] * sp[i];
    }
};

// The ring of pairs: first is the oldest, last the newest, last->next is
// first and first->prev is last.
class ring {
public:
    // create: a ring of one pair.
    ring(int n, const fmat1& s, const fmat1& y) {
        first_ = last_ = new list_rec(n, s, y);
        first_->prev = first_->next = first_;
    }
    ~ring() { destroy(); }
    ring(const ring&) = delete;
    ring& operator=(const ring&) = delete;

    // Links a new pair after the newest one.
    void insert(int n, const fmat1& s, const fmat1& y) {
        list_rec* node = new list_rec(n, s, y);
        node->next = first_;
        node->prev = last_;
        last_->next = node;
        first_->prev = node;
        last_ = node;
    }

    // Overwrites the oldest pair with the new one, which becomes the newest;
    // no node is allocated and no link changes.
    void rotate(const fmat1& s, const fmat1& y) {
        list_rec* node = last_->next;
        node->store(s, y);
        first_ = node->next;
        last_ = node;
    }

    // d = -H g by the two-loop recursion.
    void direction(const fmat1& g, fmat1& d) {
        const int n = last_->n;
        double* dp = d.data();
        detail::copy(n, g.data(), dp);
        // Newest to oldest: alpha = (d . s) / sy, d = d - alpha y.
        for (list_rec* node = last_;; node = node->prev) {
            node->alpha = detail::dot(n, dp, node->s.data()) / node->sy;
            const double* yp = node->y.data();
            for (int i = 0; i < n; ++i) dp[i] = dp[i] - node->alpha * yp[i];
            if (node == first_) break;
        }
        // Initial scaling from the newest pair: gamma = sy / (y . y).
        const double gamma = last_->sy / detail::dot(n, last_->y.data(), last_->y.data());
        for (int i = 0; i < n; ++i) dp[i] = gamma * dp[i];
        // Oldest to newest: beta = (d . y) / sy, d = d + (alpha - beta) s.
        for (list_rec* node = first_;; node = node->next) {
            const double beta = detail::dot(n, dp, node->y.data()) / node->sy;
            const double* sp = node->s.data();
            for (int i = 0; i < n; ++i) dp[i] = dp[i] + (node->alpha - beta) * sp[i];
            if (node == last_) break;
        }
        for (int i = 0; i < n; ++i) dp[i] = -dp[i];
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
template <objective_function F>
result lbfgs(const F& objective, int memory, int n, int max_iterations, int search_limit,
             double allowable_residue, double eta, fmat1& x, fmat1& g) {
    fmat1 d(n), s(n), y(n), x0(n);
    double f = objective(n, x, g);
    int k = 1;
    for (int i = 0; i < n; ++i) d.data()[i] = -g.data()[i];
    detail::copy(n, x.data(), s.data());
    detail::copy(n, g.data(), y.data());
    f = linesearch(objective, n, search_limit, eta, f, x, g, d, x0);
    detail::form_pair(n, x, g, s, y);
    ring pairs(n, s, y);

    while (k < max_iterations && norm(n, g) > allowable_residue) {
        pairs.direction(g, d);
        if (!detail::all_finite(n, d.data())) break;
        k = k + 1;
        detail::copy(n, x.data(), s.data());
        detail::copy(n, g.data(), y.data());
        f = linesearch(objective, n, search_limit, eta, f, x, g, d, x0);
        detail::form_pair(n, x, g, s, y);
        if (k <= memory)
            pairs.insert(n, s, y);
        else
            pairs.rotate(s, y);
    }
    return {k, f, detail::converged(n, g, allowable_residue)};
}

}  // namespace nlp
