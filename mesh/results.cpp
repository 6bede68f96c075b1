#include "results.hpp"

#include <cmath>

#include "mesh_error.hpp"
#include "numbers.hpp"

namespace velmora::mesh {

namespace {

// The report prints a displacement with 8 digits after the point of a
// mantissa in [1, 10): the printed value is within half a unit of the 8th
// decimal, 5e-9 relative. Twice that leaves room for the parse.
constexpr double printed_displacement_tolerance = 1e-8;

const char* const axis[] = {"x", "y", "z"};

}  // namespace

results combine(const velmora::model& m, const report& r, const std::string& input_name,
                const std::string& report_name) {
    const std::string other = ": the report belongs to another model (run velmora again on " + input_name + ")";
    const int nodes = m.node_count;
    const int elements = m.element_count();
    if (static_cast<long long>(r.displacements.size()) != nodes)
        throw mesh_error(report_name + " lists the displacements of " + std::to_string(r.displacements.size()) +
                         " nodes, " + input_name + " has " + std::to_string(nodes) + other);
    if (static_cast<long long>(r.stresses.size()) != elements)
        throw mesh_error(report_name + " lists the stresses of " + std::to_string(r.stresses.size()) + " elements, " +
                         input_name + " has " + std::to_string(elements) + other);

    results out;
    out.iterations = r.iterations;
    out.energy = r.energy;
    out.points.resize(static_cast<std::size_t>(nodes));
    out.displacement.resize(static_cast<std::size_t>(nodes));
    out.reaction.assign(static_cast<std::size_t>(nodes), {0.0, 0.0, 0.0});
    for (int n = 1; n <= nodes; ++n) {
        const report::row& row = r.displacements[static_cast<std::size_t>(n - 1)];
        if (row.number != n)
            fail(report_name, ": displacement row ", std::to_string(n), " is of node ", std::to_string(row.number),
                 other);
        out.points[static_cast<std::size_t>(n - 1)] = {m.x(n), m.y(n), m.z(n)};
        for (int j = 1; j <= 3; ++j) {
            const double u = row.value[static_cast<std::size_t>(j - 1)];
            if (!std::isfinite(u))
                fail(report_name, ": the displacement of node ", std::to_string(n), " in ", axis[j - 1],
                     " is not a finite number: the run gave no usable result");
            // After input, dof_number holds 1 for a prescribed direction.
            if (m.dof_number(n, j) != 0) {
                const double p = m.prescribed(n, j);
                if (std::fabs(u - p) > printed_displacement_tolerance * std::fabs(p))
                    fail(report_name, " shows node ", std::to_string(n), " moved by ", shortest(u), " in ", axis[j - 1],
                         ", ", input_name, " prescribes ", shortest(p), other);
            }
            out.displacement[static_cast<std::size_t>(n - 1)][static_cast<std::size_t>(j - 1)] = u;
        }
    }

    out.triangles.resize(static_cast<std::size_t>(elements));
    out.sigma.resize(static_cast<std::size_t>(elements));
    for (int e = 1; e <= elements; ++e) {
        const report::row& row = r.stresses[static_cast<std::size_t>(e - 1)];
        if (row.number != e)
            fail(report_name, ": stress row ", std::to_string(e), " is of element ", std::to_string(row.number), other);
        for (int k = 1; k <= 3; ++k) {
            const int node = m.elements(e).node(k);
            if (node < 1 || node > nodes)
                fail(input_name, ": element ", std::to_string(e), " has node ", std::to_string(node), " outside 1..",
                     std::to_string(nodes));
            out.triangles[static_cast<std::size_t>(e - 1)][static_cast<std::size_t>(k - 1)] = node - 1;
        }
        for (std::size_t j = 0; j < 3; ++j)
            if (!std::isfinite(row.value[j]))
                fail(report_name, ": sigma", std::to_string(j + 1), " of element ", std::to_string(e),
                     " is not a finite number: the run gave no usable result");
        out.sigma[static_cast<std::size_t>(e - 1)] = row.value;
    }

    int previous = 0;
    for (const report::reaction_row& row : r.reactions) {
        if (row.node <= previous || row.node > nodes)
            fail(report_name, ": a reaction of node ", std::to_string(row.node),
                 row.node > nodes ? " beyond the last node" : " out of order", other);
        previous = row.node;
        for (int j = 1; j <= 3; ++j) {
            const auto& f = row.force[static_cast<std::size_t>(j - 1)];
            if (!f) continue;
            if (m.dof_number(row.node, j) == 0)
                fail(report_name, " reports a reaction of node ", std::to_string(row.node), " in ", axis[j - 1],
                     ", a direction ", input_name, " does not prescribe", other);
            if (!std::isfinite(*f))
                fail(report_name, ": the reaction of node ", std::to_string(row.node),
                     " is not a finite number: the run gave no usable result");
            out.reaction[static_cast<std::size_t>(row.node - 1)][static_cast<std::size_t>(j - 1)] = *f;
        }
    }
    return out;
}

}  // namespace velmora::mesh
