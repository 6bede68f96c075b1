// The positive semi-definite projection by LAPACK's symmetric eigensolver.
//
// With k = sum_i lambda_i v_i v_i^T (orthonormal v_i),
//   V max(Lambda, 0) V^T = k - sum over lambda_i < 0 of lambda_i v_i v_i^T,
// which is computed in that second form: an element tangent has few
// negative eigenvalues, and the entries of k not touched by them keep their
// bits.
#include "newton/psd_projection.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>

#include "model/failures.hpp"

// LAPACK: eigenvalues (ascending) and eigenvectors (the columns of a) of a
// symmetric matrix. The trailing arguments are the lengths of the two
// character arguments, as Fortran compilers pass them.
extern "C" void dsyev_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* w,
                       double* work, const int* lwork, int* info, std::size_t jobz_length, std::size_t uplo_length);
// LAPACK: the Cholesky factorisation of a symmetric matrix; info > 0 when
// it is not positive definite.
extern "C" void dpotrf_(const char* uplo, const int* n, double* a, const int* lda, int* info, std::size_t uplo_length);

namespace velmora {

namespace {

constexpr int order = element_directions;
// Room for the blocked reduction to tridiagonal form (LAPACK's optimum is
// (block size + 2) n, block size 32 or 64), so no workspace query is needed.
constexpr int work_size = 66 * order;

}  // namespace

void project_psd(double k[element_entries], const int* directions, int count) {
    for (int i = 0; i < order * order; ++i)
        if (!std::isfinite(k[i])) return;
    const int n = count;
    const auto at = [&](int r, int c) -> double& { return k[order * directions[r] + directions[c]]; };

    // Positive semi-definite to rounding: the Cholesky factorisation of the
    // part with psd_slack times its largest diagonal entry added succeeds.
    double a[order * order], largest = 0;
    for (int r = 0; r < n; ++r) largest = std::max(largest, std::fabs(at(r, r)));
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) a[n * r + c] = at(r, c) + (r == c ? psd_slack * largest : 0.0);
    int info = 0;
    if (n > 0) dpotrf_("U", &n, a, &n, &info, 1);
    if (info == 0) return;

    // The part is symmetric, so its row-major storage is also its
    // column-major one.
    double lambda[order], work[work_size];
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) a[n * r + c] = at(r, c);
    const int lwork = work_size;
    dsyev_("V", "U", &n, a, &n, lambda, work, &lwork, &info, 1, 1);
    if (info != 0)
        throw failure(lapack_error,
                      "dsyev found no eigen decomposition of an element tangent, info " + std::to_string(info));
    // Column j of a, a[n j + i], is the eigenvector of lambda[j].
    for (int j = 0; j < n && lambda[j] < 0.0; ++j) {
        const double* v = a + std::ptrdiff_t{n} * j;
        for (int r = 0; r < n; ++r)
            for (int c = r; c < n; ++c) {
                const double updated = at(r, c) - lambda[j] * v[r] * v[c];
                at(r, c) = updated;
                at(c, r) = updated;
            }
    }
}

void project_psd(double k[element_entries]) {
    constexpr int all[order] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    project_psd(k, all, order);
}

}  // namespace velmora
