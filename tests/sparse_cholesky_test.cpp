// Tests of the CHOLMOD wrapper on the Laplacian of a strip of unit cells
// (grid_models.hpp):
// a solution known in closed form, matrices that are not positive
// definite, and running out of memory.
#include "newton/sparse_cholesky.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "grid_models.hpp"

namespace {

using velmora::factor_form;
using velmora::fill_ordering;
using velmora::sparse_cholesky;
using velmora::tangent_pattern;

// The Laplacian of a strip with its boundary held, assembled.
struct laplace_problem {
    test::mesh::strip s;
    velmora::model m;
    tangent_pattern p;
    std::vector<double> values;

    laplace_problem(int nx, int ny) : s(test::boundary_held(nx, ny)), m(test::model_of(s)), p(m) {
        values.resize(std::size_t(p.nonzeros()));
        velmora::assemble(
            p, [this](int e, double* k) { test::laplacian(m, e, k); }, values.data());
    }

    // The stencil reproduces linear functions: with u = 1 + i + 2 j (x) and
    // 3 - i + j / 2 (y) held on the boundary, the interior solution is u
    // itself, and the right-hand side at a free node is the sum of u over
    // its horizontal and vertical neighbours on the boundary.
    static double u(int i, int j, int d) { return d == 1 ? 1.0 + i + 2.0 * j : 3.0 - i + 0.5 * j; }

    void linear_solution(std::vector<double>& b, std::vector<double>& solution) const {
        b.assign(std::size_t(p.n), 0.0);
        solution.assign(std::size_t(p.n), 0.0);
        for (int node = 1; node <= m.node_count; ++node)
            for (int d = 1; d <= 2; ++d) {
                if (m.is_prescribed(node, d)) continue;
                const int i = static_cast<int>(m.x(node)), j = static_cast<int>(m.y(node));
                const std::size_t k = std::size_t(m.dof_number(node, d) - 1);
                solution[k] = u(i, j, d);
                const int step[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
                for (const auto& st : step)
                    if (test::on_boundary(s, i + st[0], j + st[1])) b[k] += u(i + st[0], j + st[1], d);
            }
    }
};

// Solutions of order 100 through a matrix of condition about 10^3.
constexpr double kSolveTol = 1e-10;

// Every ordering and both forms of the factor give the closed-form
// solution; the same object solves twice, in place the second time.
TEST(SparseCholesky, SolvesTheLaplacianExactlyLinear) {
    const laplace_problem lp(40, 30);
    std::vector<double> b, solution;
    lp.linear_solution(b, solution);
    for (fill_ordering ordering : {fill_ordering::amd, fill_ordering::metis, fill_ordering::cholmod_choice})
        for (factor_form form : {factor_form::automatic, factor_form::simplicial, factor_form::supernodal}) {
            SCOPED_TRACE(testing::Message() << "ordering " << int(ordering) << ", form " << int(form));
            sparse_cholesky chol(lp.p, ordering, form);
            ASSERT_TRUE(chol.factorise(lp.values.data()));
            std::vector<double> x(b.size());
            chol.solve(b.data(), x.data());
            for (std::size_t k = 0; k < x.size(); ++k) ASSERT_NEAR(x[k], solution[k], kSolveTol) << k;
            x = b;
            chol.solve(x.data(), x.data());
            for (std::size_t k = 0; k < x.size(); ++k) ASSERT_NEAR(x[k], solution[k], kSolveTol) << k;
        }
}

// The figures of a factor give the form asked for (automatic: whichever
// CHOLMOD took) and the ordering asked for (CHOLMOD's choice: whichever it
// took), and count no fewer nonzeros than the matrix has.
TEST(SparseCholesky, FiguresGiveTheFormAndTheOrderingAskedFor) {
    const laplace_problem lp(40, 30);
    for (fill_ordering ordering : {fill_ordering::amd, fill_ordering::metis, fill_ordering::cholmod_choice})
        for (factor_form form : {factor_form::automatic, factor_form::simplicial, factor_form::supernodal}) {
            SCOPED_TRACE(testing::Message() << "ordering " << int(ordering) << ", form " << int(form));
            sparse_cholesky chol(lp.p, ordering, form);
            ASSERT_TRUE(chol.factorise(lp.values.data()));
            const sparse_cholesky::figures f = chol.statistics();
            if (form != factor_form::automatic) {
                EXPECT_EQ(f.supernodal, form == factor_form::supernodal);
            }
            EXPECT_GE(f.factor_nonzeros, double(lp.p.nonzeros()));
            if (ordering != fill_ordering::cholmod_choice) {
                EXPECT_EQ(f.ordering, ordering);
            }
        }
}

// The stencil's eigenvalues lie in (0, 8): K - 4 I is indefinite and -K
// negative definite. Each is reported by false, without a throw or any
// output, and the object then factorises K and solves with it.
TEST(SparseCholesky, NotPositiveDefiniteIsReportedAndRecovered) {
    const laplace_problem lp(12, 9);
    std::vector<double> b, solution;
    lp.linear_solution(b, solution);
    std::vector<double> shifted = lp.values, negated = lp.values;
    for (std::int64_t j = 0; j < lp.p.n; ++j) {
        const std::size_t diagonal = std::size_t(lp.p.column_start[std::size_t(j) + 1] - 1);  // last row of a column
        shifted[diagonal] -= 4.0;
    }
    for (double& v : negated) v = -v;
    for (factor_form form : {factor_form::simplicial, factor_form::supernodal}) {
        SCOPED_TRACE(testing::Message() << "form " << int(form));
        sparse_cholesky chol(lp.p, fill_ordering::amd, form);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const bool indefinite = chol.factorise(shifted.data());
        const bool negative = chol.factorise(negated.data());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_FALSE(indefinite);
        EXPECT_FALSE(negative);
        std::vector<double> x(b.size());
        EXPECT_THROW(chol.solve(b.data(), x.data()), terms::failure);
        ASSERT_TRUE(chol.factorise(lp.values.data()));
        chol.solve(b.data(), x.data());
        for (std::size_t k = 0; k < x.size(); ++k) ASSERT_NEAR(x[k], solution[k], kSolveTol) << k;
    }
}

// Pages of the process's address space now, from /proc/self/statm.
std::size_t address_space_bytes() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    unsigned long pages = 0;
    if (f == nullptr || std::fscanf(f, "%lu", &pages) != 1) std::abort();
    std::fclose(f);
    return pages * std::size_t(sysconf(_SC_PAGESIZE));
}

// Caps the address space at what the process holds and some megabytes
// more, after bringing up the dense kernels by a first small solver when
// asked; then analyses and factorises. Exits with 10 on std::bad_alloc in
// the analysis and 11 in the factorisation, otherwise 2 to 4.
[[noreturn]] void factorise_under_cap(const laplace_problem& lp, fill_ordering ordering, factor_form form,
                                      bool kernels_first, int megabytes) {
    if (kernels_first) {
        const laplace_problem small(3, 3);
        sparse_cholesky first(small.p, ordering, form);
    }
    const std::size_t cap = address_space_bytes() + (std::size_t(megabytes) << 20);
    const rlimit limit{cap, cap};
    if (setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(4);
    int stage = 0;
    try {
        sparse_cholesky chol(lp.p, ordering, form);
        stage = 1;
        chol.factorise(lp.values.data());
        std::_Exit(3);
    } catch (const std::bad_alloc&) {
        std::_Exit(10 + stage);
    } catch (...) {
        std::_Exit(2);
    }
}

// With the address space capped a little above what the process holds,
// the 300 x 300 grid (an ordering's workspace of some 30 MB, a factor of
// 100 MB or more) runs out of memory in the analysis or the factorisation: std::bad_alloc,
// and nothing printed. So too when the cap leaves no room for the dense
// kernels' buffers and threads, which are therefore brought up before any
// analysis. AddressSanitizer reserves terabytes of address space at start,
// so the cap cannot apply there.
TEST(SparseCholeskyDeathTest, OutOfMemoryIsBadAlloc) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "address-space cap not applicable under AddressSanitizer";
#endif
    // Each case in a fresh process, which has not brought up the kernels.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const laplace_problem lp(300, 300);
    const struct {
        fill_ordering ordering;
        factor_form form;
        bool kernels_first;
        int megabytes, status;
    } cases[] = {{fill_ordering::metis, factor_form::supernodal, false, 8, 10},
                 {fill_ordering::metis, factor_form::supernodal, true, 8, 10},
                 {fill_ordering::metis, factor_form::supernodal, true, 96, 11},
                 {fill_ordering::amd, factor_form::supernodal, true, 8, 10},
                 {fill_ordering::amd, factor_form::supernodal, true, 96, 11},
                 {fill_ordering::amd, factor_form::simplicial, true, 96, 11}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "ordering " << int(c.ordering) << ", form " << int(c.form)
                                        << ", kernels first " << c.kernels_first << ", " << c.megabytes << " MB");
        EXPECT_EXIT(factorise_under_cap(lp, c.ordering, c.form, c.kernels_first, c.megabytes),
                    testing::ExitedWithCode(c.status), "^$");
    }
}

}  // namespace
