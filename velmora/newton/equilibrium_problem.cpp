// The model's equilibrium for Newton's method. See equilibrium_problem.hpp.
#include "newton/equilibrium_problem.hpp"

#include <chrono>
#include <cmath>
#include <limits>

#include "mechanics/mechanics.hpp"
#include "newton/psd_projection.hpp"

namespace velmora {

namespace {

// The first multiple of the identity added to a projected tangent that is
// still singular (a mechanism, or a direction no element stiffens), as a
// fraction of its largest diagonal entry, and the factor by which it grows
// until the factorisation succeeds.
constexpr double first_shift = 1e-10;
constexpr double shift_growth = 100;
constexpr int shift_tries = 6;
// A pivot of the Cholesky factor whose square is no more than this
// fraction of its diagonal entry shows a matrix singular to rounding: the
// pivots of a stiffness matrix of any sensible mesh are far larger.
constexpr double singular_pivot = 1e-10;

using steady = std::chrono::steady_clock;

// Adds the seconds from its creation to its end to a total.
class timer {
public:
    explicit timer(double& total) : total_(total), start_(steady::now()) {}
    ~timer() { total_ += std::chrono::duration<double>(steady::now() - start_).count(); }
    timer(const timer&) = delete;
    timer& operator=(const timer&) = delete;

private:
    double& total_;
    steady::time_point start_;
};

template <class Make>
auto timed(double& total, Make&& make) {
    const timer t(total);
    return make();
}

void copy_matrix(const fmat2& from, fmat2& to) {
    for (std::size_t k = 0; k < from.size(); ++k) to.data()[k] = from.data()[k];
}

}  // namespace

equilibrium_problem::equilibrium_problem(model& m)
    : m_(&m),
      full_force_(m.node_count, 3),
      full_prescribed_(m.node_count, 3),
      pattern_(timed(costs_.pattern, [&m] { return tangent_pattern(m); })),
      values_(static_cast<std::size_t>(pattern_.nonzeros())),
      factor_(timed(costs_.analysis, [this] { return sparse_cholesky(pattern_); })),
      ordered_(static_cast<std::size_t>(pattern_.n)) {
    costs_.order = pattern_.order_seconds;
    copy_matrix(m.force, full_force_);
    copy_matrix(m.prescribed, full_prescribed_);
    for (int e = 1; e <= m.element_count(); ++e) {
        const element_rec& el = m.elements(e);
        bool moved = false;
        for (int k = 1; k <= 3; ++k)
            for (int d = 1; d <= 3; ++d)
                moved = moved || (m.is_prescribed(el.node(k), d) && m.prescribed(el.node(k), d) != 0);
        if (moved) moved_.push_back(e);
    }
}

double equilibrium_problem::operator()(int n, const fmat1& x, fmat1& g) const {
    const timer t(costs_.evaluation);
    ++costs_.evaluations;
    if (count_turned_over(*m_, x).count > 0) {
        g.fill(std::numeric_limits<double>::quiet_NaN());
        return std::numeric_limits<double>::infinity();
    }
    return objective{m_}(n, x, g);
}

void equilibrium_problem::assemble_tangent(const fmat1& x, bool projected) {
    const timer t(costs_.assembly);
    ++costs_.assemblies;
    const model& m = *m_;
    if (!projected) {
        assemble(
            pattern_, m, [&](int e, double* k) { element_tangent(m, e, x, k); }, values_.data());
        return;
    }
    assemble(
        pattern_, m,
        [&](int e, double* k) {
            element_tangent(m, e, x, k);
            // Only the free directions enter the matrix.
            int free[element_directions], count = 0;
            const element_rec& el = m.elements.data()[e - 1];
            for (int a = 0; a < element_directions; ++a)
                if (!m.is_prescribed(el.node.component[a / 3], a % 3 + 1)) free[count++] = a;
            project_psd(k, free, count);
        },
        values_.data());
}

bool equilibrium_problem::factorise_values() {
    const double before = costs_.factorisation;
    bool done = false;
    {
        const timer t(costs_.factorisation);
        done = factor_.factorise(values_.data());
    }
    if (++costs_.factorisations == 1) costs_.first_factorisation = costs_.factorisation - before;
    return done;
}

void equilibrium_problem::note_start() {
    if (counts_.exact + counts_.projected + counts_.shifted + counts_.indefinite + counts_.refused > 0) return;
    const sparse_cholesky::pivot weakest = factor_.weakest_pivot(values_.data());
    if (!(weakest.fraction > singular_pivot))
        for (std::size_t k = 0; k < pattern_.at.size(); ++k)
            if (pattern_.at[k] == weakest.column) singular_at_start_ = static_cast<int>(k) + 1;
}

bool equilibrium_problem::factorise_exact(int, const fmat1& x) {
    solve_indefinite_ = false;
    assemble_tangent(x, false);
    const bool definite = factorise_values();
    note_start();
    if (singular_at_start_ > 0) {
        ++counts_.refused;
        return false;
    }
    if (definite) {
        ++counts_.exact;
        return true;
    }
    if (!indefinite_)
        indefinite_ = timed(costs_.analysis, [this] {
            return std::make_unique<sparse_cholesky>(pattern_, factor_form::simplicial, factor_kind::ldl);
        });
    const timer t(costs_.factorisation);
    ++costs_.factorisations;
    if (!indefinite_->factorise(values_.data())) {
        ++counts_.refused;
        return false;
    }
    ++counts_.indefinite;
    solve_indefinite_ = true;
    return true;
}

bool equilibrium_problem::factorise(int, const fmat1& x) {
    solve_indefinite_ = false;
    assemble_tangent(x, false);
    const bool exact = factorise_values();
    note_start();
    if (exact) {
        ++counts_.exact;
        return true;
    }
    assemble_tangent(x, true);
    if (factorise_values()) {
        ++counts_.projected;
        return true;
    }
    // The pattern holds every diagonal entry, first in its column.
    const std::size_t columns = static_cast<std::size_t>(pattern_.n);
    const auto diagonal = [this](std::size_t j) -> double& {
        return values_[static_cast<std::size_t>(pattern_.column_start[j])];
    };
    double largest = 0;
    for (std::size_t j = 0; j < columns; ++j) largest = std::max(largest, std::fabs(diagonal(j)));
    double added = 0, shift = first_shift * (largest > 0 ? largest : 1);
    for (int t = 0; t < shift_tries; ++t, shift *= shift_growth) {
        for (std::size_t j = 0; j < columns; ++j) diagonal(j) += shift - added;
        added = shift;
        if (factorise_values()) {
            ++counts_.shifted;
            return true;
        }
    }
    ++counts_.refused;
    return false;
}

void equilibrium_problem::solve(int, const fmat1& r, fmat1& d) {
    const timer t(costs_.solve);
    ++costs_.solves;
    const std::size_t n = ordered_.size();
    const std::int32_t* at = pattern_.at.data();
    for (std::size_t k = 0; k < n; ++k) ordered_[static_cast<std::size_t>(at[k])] = r.data()[k];
    (solve_indefinite_ ? *indefinite_ : factor_).solve(ordered_.data(), ordered_.data());
    for (std::size_t k = 0; k < n; ++k) d.data()[k] = ordered_[static_cast<std::size_t>(at[k])];
}

void equilibrium_problem::load(double lambda) {
    model& m = *m_;
    for (std::size_t k = 0; k < full_force_.size(); ++k) {
        m.force.data()[k] = lambda * full_force_.data()[k];
        m.prescribed.data()[k] = lambda * full_prescribed_.data()[k];
    }
}

void equilibrium_problem::load_derivative(int n, const fmat1& x, fmat1& r) {
    const model& m = *m_;
    for (int i = 1; i <= m.node_count; ++i)
        for (int d = 1; d <= 3; ++d) {
            const int k = m.dof_number(i, d);
            if (k <= n) r(k) = -full_force_(i, d);
        }
    // Free row a of an element tangent, times the full prescribed
    // displacement of each prescribed column b.
    double k[element_entries];
    for (const int e : moved_) {
        element_tangent(m, e, x, k);
        const element_rec& el = m.elements(e);
        for (int a = 0; a < element_directions; ++a) {
            const int row = m.dof_number(el.node(a / 3 + 1), a % 3 + 1);
            if (row > n) continue;
            double sum = 0;
            for (int b = 0; b < element_directions; ++b) {
                const int node = el.node(b / 3 + 1), d = b % 3 + 1;
                if (m.is_prescribed(node, d)) sum = sum + k[element_directions * a + b] * full_prescribed_(node, d);
            }
            r(row) = r(row) + sum;
        }
    }
}

}  // namespace velmora
