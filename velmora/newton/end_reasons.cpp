// Why a Newton run did not end "Optimal". See end_reasons.hpp.
#include "newton/end_reasons.hpp"

#include <cmath>
#include <cstdio>

namespace velmora {

namespace {

// A real as the messages write it: six significant digits, as %g does.
std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// A positive real rounded up to one significant digit: the smallest
// setting that holds.
std::string rounded_up(double v) {
    if (!(v > 0) || !std::isfinite(v)) return number(v);
    const double unit = std::pow(10.0, std::floor(std::log10(v)));
    char text[32];
    std::snprintf(text, sizeof text, "%.0E", std::ceil(v / unit * (1 - 1e-12)) * unit);
    return text;
}

// A residue as the progress line writes it.
std::string residue(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1E", v);
    return text;
}

// The constants that leave the energy without a stable minimum: a shear
// modulus that is not positive, a bulk modulus or thickness that is not
// positive. (Mooney-Rivlin: its initial shear modulus is 2 (c10 + c01),
// and a negative c01 or c10 loses convexity at large strains.)
std::string material_fault(const model& m) {
    if (!m.material) return {};
    const mat_rec& mat = *m.material;
    std::string fault;
    const auto note = [&fault](const std::string& what) { fault += (fault.empty() ? "" : ", ") + what; };
    if (mat.law() == material_law::neo_hookean) {
        if (!(mat.mu() > 0)) note("mu = " + number(mat.mu()) + " is not positive");
    } else {
        if (!(mat.c10() + mat.c01() > 0))
            note("c10 + c01 = " + number(mat.c10() + mat.c01()) + " is not positive");
        else if (!(mat.c10() >= 0 && mat.c01() >= 0))
            note("c10 = " + number(mat.c10()) + " and c01 = " + number(mat.c01()) + " are not both positive");
    }
    if (!(mat.bulk() > 0)) note("bulk = " + number(mat.bulk()) + " is not positive");
    if (!(m.thickness > 0)) note("thickness = " + number(m.thickness) + " is not positive");
    return fault;
}

// "node 12 in direction y" for free direction k.
std::string direction_name(const model& m, int k) {
    for (int i = 1; i <= m.node_count; ++i)
        for (int d = 1; d <= 3; ++d)
            if (m.dof_number(i, d) == k) return "node " + std::to_string(i) + " in direction " + "xyz"[d - 1];
    return "free direction " + std::to_string(k);
}

// Why an arc-length path ended before the full loads: a limit point below
// them that the path did not come back from, or else the iterations or the
// arc that ran out.
std::string path_end(const model& m, const newton_summary& s) {
    const std::string budget = "max_iterations (" + std::to_string(m.max_iterations) + ")";
    std::string why;
    if (!s.limits.empty() && s.largest_load < 1) {
        char carried[32];
        std::snprintf(carried, sizeof carried, "%.4g", s.largest_load);
        why = std::string("the structure carries at most ") + carried + " of the loads: a limit point at increment " +
              std::to_string(s.largest_at) + ", and the path did not come back to the full loads ";
        return why + (s.budget_spent ? "within " + budget + "; raise it in \"input.txt\" to follow it further"
                                     : "where it could be followed");
    }
    if (s.budget_spent) return budget + " ran out before the path reached the full loads; raise it in \"input.txt\"";
    return "the path could not be followed beyond the last equilibrium, even with an arc of a millionth of the "
           "first: no equilibrium near it, or every state tried turned elements over";
}

}  // namespace

std::vector<std::string> reasons_not_optimal(const model& m, const newton_summary& s) {
    std::vector<std::string> reasons;
    if (s.optimal) return reasons;

    // Causes in the model, most fundamental first.
    const std::string fault = material_fault(m);
    if (!fault.empty())
        reasons.push_back("the material constants make the energy non-convex (" + fault +
                          "): it has no stable minimum for Newton's method to find; check the material line of "
                          "\"input.txt\"");
    else if (s.singular_direction > 0)
        reasons.push_back("the tangent stiffness at the start is singular: nothing holds " +
                          direction_name(m, s.singular_direction) +
                          " (the supports leave the body free to move, or a flat mesh free out of its plane, where "
                          "it has no stiffness at rest); support the body against every rigid motion");
    if (m.search_limit < 1)
        reasons.push_back("search_limit is " + std::to_string(m.search_limit) +
                          " in \"input.txt\": each line search takes its first interpolated trial without a check; "
                          "give it 20 or so");
    // How the run ended follows from such a cause where one was found.
    if (!reasons.empty()) return reasons;

    if (s.load == 1) {
        // An increment is taken only where it converged or stalled at
        // rounding level, and converged at the full load is optimal.
        reasons.push_back("the residue stalled at " + residue(s.residue) + " against the allowable " +
                          residue(m.allowable_residue) +
                          ": rounding in the sums of the energy and the forces allows no smaller one; a tolerance "
                          "of at least " +
                          rounded_up(m.tolerance * s.residue / m.allowable_residue) + " in \"input.txt\" is met");
    } else if (s.arc_length) {
        reasons.push_back(path_end(m, s));
    } else if (s.budget_spent) {
        reasons.push_back("max_iterations (" + std::to_string(m.max_iterations) +
                          ") ran out before the full loads; raise it in \"input.txt\", or where the loads near a "
                          "limit point of the structure, --path arclength follows the path through it and reports "
                          "the limit load");
    } else if (s.last == nlp::newton_end::blocked) {
        reasons.push_back(
            "every state tried beyond the last equilibrium turned elements over, even for an increment "
            "of a millionth of the loads");
    } else {
        reasons.push_back(
            "Newton's method found no equilibrium beyond the last one, even for an increment of a "
            "millionth of the loads: the structure may carry no more load there (a limit point); "
            "--path arclength follows the path through a limit point and reports the limit load");
    }
    return reasons;
}

}  // namespace velmora
