// Arrays to model record and back. See arrays.hpp.
#include "arrays.hpp"

#include <climits>
#include <stdexcept>

namespace velmora::python {

namespace {

constexpr int directions = 3;
constexpr double default_tolerance = 0.001;  // as the reader: for a tolerance not above 0
constexpr std::size_t most_points = INT_MAX / directions;

[[noreturn]] void refuse(const std::string& why) { throw std::invalid_argument(why); }

}  // namespace

void set_controls(model& m, const controls& c) {
    m.eta = c.eta;
    m.search_limit = c.search_limit;
    m.tolerance = c.tolerance > 0.0 ? c.tolerance : default_tolerance;
    m.reference_residue = c.reference_residue;
    m.max_iterations = c.max_iterations;
    m.memory = c.memory;
}

model model_of(const model_view& v) {
    const std::size_t n = v.points.size() / directions;
    const std::size_t elements = v.triangles.size() / directions;
    if (v.points.size() != n * directions || v.triangles.size() != elements * directions ||
        v.fixed.size() != v.points.size() || v.prescribed.size() != v.points.size() ||
        v.forces.size() != v.points.size())
        refuse("the arrays of the model do not agree in length");
    if (n > most_points)
        refuse("the model has " + std::to_string(n) + " points; velmora takes at most " + std::to_string(most_points));
    if (elements > static_cast<std::size_t>(INT_MAX)) refuse("the model has more triangles than velmora takes");

    model m;
    set_controls(m, v.control);

    const material_line& w = v.material;
    m.thickness = w.thickness;
    m.material_input_kind = w.kind;
    if (w.kind == 1) m.material = mat_rec::neo_hookean(w.constants[0], w.constants[1]);
    if (w.kind == 2) m.material = mat_rec::mooney_rivlin(w.constants[0], w.constants[1], w.constants[2]);

    const int count = static_cast<int>(n);
    m.node_count = count;
    m.x = fmat1(count);
    m.y = fmat1(count);
    m.z = fmat1(count);
    for (std::size_t i = 0; i < n; ++i) {
        m.x.data()[i] = v.points[directions * i];
        m.y.data()[i] = v.points[directions * i + 1];
        m.z.data()[i] = v.points[directions * i + 2];
    }
    m.elements = element_array(static_cast<int>(elements));
    for (std::size_t e = 0; e < elements; ++e)
        for (int k = 0; k < directions; ++k) {
            const std::int64_t corner = v.triangles[directions * e + static_cast<std::size_t>(k)];
            if (corner < INT_MIN || corner >= INT_MAX)
                refuse("triangle " + std::to_string(e) + ": corner " + std::to_string(corner) +
                       " is beyond the node numbers velmora takes");
            m.elements.data()[e].node.component[k] = static_cast<int>(corner + 1);
        }
    m.dof_number = imat2(count, directions);
    m.prescribed = fmat2(count, directions);
    m.force = fmat2(count, directions);
    for (std::size_t k = 0; k < v.points.size(); ++k) {
        m.dof_number.data()[k] = v.fixed[k] != 0 ? 1 : 0;
        m.prescribed.data()[k] = v.prescribed[k];
        m.force.data()[k] = v.forces[k];
    }
    return m;
}

model_arrays arrays_of(const model& m) {
    model_arrays a;
    const std::size_t n = static_cast<std::size_t>(m.node_count);
    a.points.resize(n * directions);
    for (std::size_t i = 0; i < n; ++i) {
        a.points[directions * i] = m.x.data()[i];
        a.points[directions * i + 1] = m.y.data()[i];
        a.points[directions * i + 2] = m.z.data()[i];
    }
    const std::size_t elements = static_cast<std::size_t>(m.element_count());
    a.triangles.resize(elements * directions);
    for (std::size_t e = 0; e < elements; ++e)
        for (int k = 0; k < directions; ++k) {
            const std::int64_t node = m.elements.data()[e].node.component[k];
            a.triangles[directions * e + static_cast<std::size_t>(k)] = node - 1;
        }
    a.fixed.resize(n * directions);
    a.prescribed.resize(n * directions);
    a.forces.resize(n * directions);
    for (std::size_t k = 0; k < n * directions; ++k) {
        a.fixed[k] = m.dof_number.data()[k] != 0 ? 1 : 0;
        a.prescribed[k] = m.prescribed.data()[k];
        a.forces[k] = m.force.data()[k];
    }
    a.material.thickness = m.thickness;
    a.material.kind = m.material_input_kind;
    if (m.material) {
        const mat_rec& w = *m.material;
        if (w.kind() == material_law::neo_hookean)
            a.material.constants = {w.mu(), w.bulk(), 0.0};
        else
            a.material.constants = {w.c10(), w.c01(), w.bulk()};
    }
    a.control = {m.eta, m.search_limit, m.tolerance, m.reference_residue, m.max_iterations, m.memory};
    return a;
}

}  // namespace velmora::python
