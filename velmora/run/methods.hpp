// The minimisers that the command line can choose ("--method NAME"): a
// table of names, each with the function that runs it on the model. A new
// method is one more entry of the table in methods.cpp.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "model/model.hpp"
#include "nlp.hpp"
#include "run/run.hpp"

namespace velmora {

struct load_path;

// What a caller may watch while a method minimises, besides its result.
// Every member is optional; with none the method runs exactly as it would
// without a table, with no observer at all.
struct minimise_hooks {
    std::function<void(const nlp::iteration_report&)> iteration;  // after each iteration
    std::function<void(long long)> evaluated;                     // evaluations of the objective, as they are made
    load_path* path = nullptr;  // the equilibria on the way, where the method follows the loads (newton)
    // Each warning of the method, a sentence without "warning: "; on
    // standard error, one line each, where there is no receiver.
    std::function<void(const std::string&)> warning;
};

// Minimises the total potential energy of m from its start point: leaves
// the final point in displacement and its gradient in gradient and
// returns the result record.
using minimise_function = nlp::result (*)(model& m, const run_settings& settings, const minimise_hooks& hooks);

struct method {
    std::string_view name;         // as given to --method
    std::string_view description;  // for --help, at most 43 characters
    minimise_function minimise;
    std::string_view missing = {};  // for a method this build lacks: what to install; minimise is then null
};

// Every method, the default (lbfgs) first.
std::span<const method> methods();

// The method of that name, or nullptr.
const method* find_method(std::string_view name);

// Largest number of degrees of freedom that bfgs takes: its packed matrix of
// n (n + 1) / 2 reals must fit in one array with 32-bit bounds.
inline constexpr int bfgs_largest_dof_count = 65535;

}  // namespace velmora
