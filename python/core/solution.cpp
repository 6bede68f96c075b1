// The solution of a solve. See solution.hpp.
#include "solution.hpp"

#include <stdexcept>
#include <utility>

#include "mechanics/stresses.hpp"
#include "model/steps.hpp"

namespace velmora::python {

namespace {

constexpr int directions = 3;

fmat2 copy_of(const fmat2& a) {
    fmat2 c(a.last1(), a.last2());
    for (std::size_t k = 0; k < a.size(); ++k) c.data()[k] = a.data()[k];
    return c;
}

// Swaps two arrays for the lifetime of the object.
class swapped {
public:
    swapped(fmat2& a, fmat2& b) : a_(a), b_(b) { std::swap(a_, b_); }
    ~swapped() { std::swap(a_, b_); }
    swapped(const swapped&) = delete;
    swapped& operator=(const swapped&) = delete;

private:
    fmat2& a_;
    fmat2& b_;
};

}  // namespace

void solution::find_results() {
    displacement.resize(directions * static_cast<std::size_t>(m.node_count));
    for (int i = 1; i <= m.node_count; ++i)
        for (int j = 1; j <= directions; ++j) {
            const int k = m.dof_number(i, j);
            displacement[directions * static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1)] =
                k > m.dof_count ? m.prescribed(i, j) : m.displacement(k);
        }
    folded = count_turned_over(m, m.displacement);
    residue = nlp::norm(m.dof_count, m.gradient);
}

void solution::find_element_results() {
    const std::lock_guard<std::mutex> hold(finding_);
    if (element_results_found_) return;
    const std::size_t elements = static_cast<std::size_t>(m.element_count());
    stresses_.resize(elements * directions);
    reactions_.resize(directions * static_cast<std::size_t>(m.node_count));
    // The report's sums: the negated forces, then each element's internal
    // forces in turn, so that the reactions are the report's to the bit.
    fmat2 residual(m.node_count, directions);
    for (std::size_t k = 0; k < residual.size(); ++k) residual.data()[k] = -m.force.data()[k];
    nodal_force forces;
    for (int e = 1; e <= m.element_count(); ++e) {
        const principal_stresses s = velmora::stresses(element2(m, e, m.displacement, forces));
        const std::size_t row = directions * static_cast<std::size_t>(e - 1);
        stresses_[row] = s.sigma1;
        stresses_[row + 1] = s.sigma2;
        stresses_[row + 2] = s.sigma3;
        add_nodal_forces(m, e, forces, residual);
    }
    for (int i = 1; i <= m.node_count; ++i)
        for (int j = 1; j <= directions; ++j)
            reactions_[directions * static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1)] =
                m.is_prescribed(i, j) ? residual(i, j) : 0.0;
    element_results_found_ = true;
}

const std::vector<double>& solution::reactions() {
    find_element_results();
    return reactions_;
}

const std::vector<double>& solution::stresses() {
    find_element_results();
    return stresses_;
}

void solution::write(const std::string& directory) {
    const std::lock_guard<std::mutex> hold(writing_);
    if (full_force) {
        const swapped force(m.force, *full_force);
        const swapped prescribed(m.prescribed, *full_prescribed);
        ansys(m, directory);
    } else {
        ansys(m, directory);
    }
    autocad(m, directory);
    // The report turns the forces into the residual: it gets a copy.
    fmat2 scratch = copy_of(m.force);
    const swapped borrowed(m.force, scratch);
    output(m, directory);
}

void restore(solution& s, std::span<const double> displacement, const nlp::result& result, double load) {
    model& m = s.m;
    start(m);
    if (displacement.size() != directions * static_cast<std::size_t>(m.node_count))
        throw std::invalid_argument("the displacements do not fit the model");
    for (int i = 1; i <= m.node_count; ++i)
        for (int j = 1; j <= directions; ++j) {
            const int k = m.dof_number(i, j);
            if (k <= m.dof_count)
                m.displacement(k) =
                    displacement[directions * static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1)];
        }
    if (load != 1) {
        // As Newton's method scales them: lambda times the value given.
        s.full_force = copy_of(m.force);
        s.full_prescribed = copy_of(m.prescribed);
        for (std::size_t k = 0; k < m.force.size(); ++k) {
            m.force.data()[k] = load * s.full_force->data()[k];
            m.prescribed.data()[k] = load * s.full_prescribed->data()[k];
        }
    }
    m.iterations = result.iterations;
    m.energy = result.energy;
    s.result = result;
    s.load = load;
}

}  // namespace velmora::python
