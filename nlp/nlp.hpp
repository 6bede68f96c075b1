// The optimiser package: generic over the objective function, which it
// knows only as "fills g with the gradient at x and returns the value".
// package<F> binds one objective to the methods that minimise it. Each
// method takes an optional observer of its iterations (observer.hpp).
#pragma once

#include <utility>

#include "bfgs.hpp"
#include "contract.hpp"
#include "lbfgs.hpp"
#include "linesearch.hpp"
#include "observer.hpp"
#include "vectors.hpp"

namespace nlp {

template <objective_function F>
class package {
public:
    explicit package(F objective) : objective_(std::move(objective)) {}

    double linesearch(int n, int search_limit, double eta, double f0, fmat1& x, fmat1& g, const fmat1& d) const {
        return nlp::linesearch(objective_, n, search_limit, eta, f0, x, g, d);
    }
    template <iteration_observer O = no_observer>
    result lbfgs(int memory, int n, int max_iterations, int search_limit, double allowable_residue, double eta,
                 fmat1& x, fmat1& g, O observe = {}) const {
        return nlp::lbfgs(objective_, memory, n, max_iterations, search_limit, allowable_residue, eta, x, g,
                          std::move(observe));
    }
    template <iteration_observer O = no_observer>
    result mbfgs(int n, int max_iterations, int search_limit, double allowable_residue, double eta, fmat1& x, fmat1& g,
                 O observe = {}) const {
        return nlp::mbfgs(objective_, n, max_iterations, search_limit, allowable_residue, eta, x, g,
                          std::move(observe));
    }
    template <iteration_observer O = no_observer>
    result bfgs(int n, int max_iterations, int search_limit, double allowable_residue, double eta, fmat1& x, fmat1& g,
                O observe = {}) const {
        return nlp::bfgs(objective_, n, max_iterations, search_limit, allowable_residue, eta, x, g, std::move(observe));
    }

private:
    F objective_;
};

}  // namespace nlp
