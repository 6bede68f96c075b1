// What a solve leaves: the model record at its final state, which the
// writers need, and what a result shows of it, as arrays row by row.
#pragma once

#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "mechanics/mechanics.hpp"
#include "model/model.hpp"
#include "newton/load_path.hpp"
#include "nlp.hpp"

namespace velmora::python {

struct solution {
    model m;  // after the minimiser: forces and prescribed displacements at the load fraction reached
    // The forces and prescribed displacements of the model as given, kept
    // where the loads were not followed to the end: "ansys.txt" shows them.
    std::optional<fmat2> full_force, full_prescribed;
    nlp::result result{0, 0.0, false};
    double load = 1;  // load fraction of the final state
    long long evaluations = 0;
    load_path path;
    std::vector<std::string> warnings;
    turned_over folded;
    double residue = 0;  // largest out-of-balance force at a free direction

    // n x 3: the displacement of each point, as the report gives it.
    std::vector<double> displacement;

    // Fills the displacements, the turned-over elements and the residue
    // from m.
    void find_results();

    // n x 3, the support reactions (0 in free directions), and elements x 3,
    // Sigma1, Sigma2 and Sigma3: one pass over the elements, made when
    // first asked for. Thread-safe; the arrays stay where they are.
    const std::vector<double>& reactions();
    const std::vector<double>& stresses();

    // Writes "ansys.txt", "autocad.scr" and "output.txt" into directory as
    // a run of the command line writes them; m is left as it was.
    // Thread-safe.
    void write(const std::string& directory);

private:
    void find_element_results();

    std::mutex writing_;  // output() borrows m.force
    std::mutex finding_;
    bool element_results_found_ = false;
    std::vector<double> reactions_, stresses_;
};

// The solution that a run would have left with these final displacements
// (n x 3, as a result gives them), iterations, energy and load fraction:
// the model as given, set up, at that state. For a result whose solution
// was not kept (one that came through pickle).
void restore(solution& s, std::span<const double> displacement, const nlp::result& result, double load);

}  // namespace velmora::python
