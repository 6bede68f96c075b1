// The model record that every step of a run shares, with its element and
// material records. The run owns one model; each step takes it by
// reference, reads what earlier steps filled and fills its own fields.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/failures.hpp"
#include "terms.hpp"

namespace velmora {

using terms::fixed1;
using terms::fmat1;
using terms::fmat2;
using terms::imat2;

enum class material_law { neo_hookean, mooney_rivlin };

// The one material of the model. Its kind is fixed at creation and decides
// which parameters it holds: bulk and mu (neo-Hookean), or bulk, c10 and c01
// (Mooney-Rivlin). Asking for a parameter of the other kind is a failure.
class mat_rec {
public:
    static mat_rec neo_hookean(double mu, double bulk) { return mat_rec(material_law::neo_hookean, bulk, mu, 0.0); }
    static mat_rec mooney_rivlin(double c10, double c01, double bulk) {
        return mat_rec(material_law::mooney_rivlin, bulk, c10, c01);
    }

    material_law kind() const { return kind_; }
    material_law law() const { return law_; }
    double bulk() const { return bulk_; }
    double mu() const { return parameter(material_law::neo_hookean, first_, "mu"); }
    double c10() const { return parameter(material_law::mooney_rivlin, first_, "c10"); }
    double c01() const { return parameter(material_law::mooney_rivlin, second_, "c01"); }

private:
    mat_rec(material_law kind, double bulk, double first, double second)
        : kind_(kind), law_(kind), bulk_(bulk), first_(first), second_(second) {}

    double parameter(material_law holder, double value, const char* name) const {
        if (kind_ != holder)
            throw failure(material_error, std::string("a ") +
                                              (kind_ == material_law::neo_hookean ? "neo-Hookean" : "Mooney-Rivlin") +
                                              " material has no parameter " + name);
        return value;
    }

    material_law kind_;
    material_law law_;
    double bulk_;
    double first_;   // mu (neo-Hookean) or c10 (Mooney-Rivlin)
    double second_;  // c01 (Mooney-Rivlin)
};

// One triangle: its corner nodes and, after set-up, its initial geometry.
struct element_rec {
    double twice_area = 0.0;  // |a x b|, twice the initial area
    double aa = 0.0;          // a . a
    double ab = 0.0;          // a . b
    double bb = 0.0;          // b . b
    fixed1<int, 3> node{};    // node numbers of corners 1, 2, 3
    fixed1<double, 3> a{};    // initial edge P3 - P2
    fixed1<double, 3> b{};    // initial edge P1 - P3
};

using element_array = terms::array1<element_rec>;

struct model {
    // Solver controls (section 1 of "input.txt").
    double eta = 0.0;                // slope factor of the line search's acceptance test
    int search_limit = 0;            // most interpolated trials in one line search
    double tolerance = 0.0;          // relative tolerance of the residue test, > 0
    double reference_residue = 0.0;  // reference force of the residue test; <= 0: start residue
    int max_iterations = 0;          // iteration limit of the minimiser
    int memory = 0;                  // correction pairs kept by the minimiser

    // Body and material (section 2).
    double thickness = 0.0;
    std::optional<mat_rec> material;  // absent for a material kind other than 1 and 2
    int material_input_kind = 0;      // the kind as the input gave it, for the failure message

    // Mesh (sections 3 and 4).
    int node_count = 0;
    fmat1 x, y, z;           // initial coordinates, 1..node_count
    element_array elements;  // 1..element count

    // Supports and loads (sections 5 and 6), numbering of the degrees of freedom.
    imat2 dof_number;  // node x direction: 0/1 flags after input, numbers after set-up
    fmat2 prescribed;  // node x direction: prescribed displacement, 0 where none
    fmat2 force;       // node x direction: applied force; residual force after the report

    // Set-up and solution.
    int dof_count = 0;    // free degrees of freedom
    fmat1 displacement;   // 1..dof_count, the minimiser's variable
    fmat1 gradient;       // 1..dof_count, out-of-balance force at each free direction
    double energy = 0.0;  // total potential energy
    double allowable_residue = 0.0;
    int iterations = 0;

    int element_count() const { return static_cast<int>(elements.size()); }

    // The material, or MATERIAL_ERROR when the input gave an unknown kind.
    const mat_rec& the_material() const {
        if (!material)
            throw failure(material_error, "the model has no material: input.txt gave material kind " +
                                              std::to_string(material_input_kind) +
                                              ", expected 1 (neo-Hookean) or 2 (Mooney-Rivlin)");
        return *material;
    }

    // True when direction d of node i carries a prescribed displacement
    // (after set-up: its number lies above the free ones).
    bool is_prescribed(int i, int d) const { return dof_number(i, d) > dof_count; }
};

}  // namespace velmora
