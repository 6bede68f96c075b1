// The positive semi-definite projection by LAPACK's symmetric eigensolver.
//
// With k = sum_i lambda_i v_i v_i^T (orthonormal v_i),
//   V max(Lambda, 0) V^T = k - sum over lambda_i < 0 of lambda_i v_i v_i^T,
// which is computed in that second form: an element tangent has few
// negative eigenvalues, and the entries of k not touched by them keep their
// bits.
#include "newton/psd_projection.hpp"

#include <cmath>
#include <cstddef>
#include <string>

#include "model/failures.hpp"

// LAPACK: eigenvalues (ascending) and eigenvectors (the columns of a) of a
// symmetric matrix. The trailing arguments are the lengths of the two
// character arguments, as Fortran compilers pass them.
extern "C" void dsyev_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* w,
                       double* work, const int* lwork, int* info, std::size_t jobz_length, std::size_t uplo_length);

namespace velmora {

namespace {

constexpr int order = element_directions;
// Room for the blocked reduction to tridiagonal form (LAPACK's optimum is
// (block size + 2) n, block size 32 or 64), so no workspace query is needed.
constexpr int work_size = 66 * order;

}  // namespace

void project_psd(double k[element_entries]) {
    for (int i = 0; i < order * order; ++i)
        if (!std::isfinite(k[i])) return;
    // k is symmetric, so its row-major storage is also its column-major one.
    double a[order * order], lambda[order], work[work_size];
    for (int i = 0; i < order * order; ++i) a[i] = k[i];
    const int n = order, lwork = work_size;
    int info = 0;
    dsyev_("V", "U", &n, a, &n, lambda, work, &lwork, &info, 1, 1);
    if (info != 0)
        throw failure(lapack_error,
                      "dsyev found no eigen decomposition of an element tangent, info " + std::to_string(info));
    // Column j of a, a[order j + i], is the eigenvector of lambda[j].
    for (int j = 0; j < order && lambda[j] < 0.0; ++j) {
        const double* v = a + std::ptrdiff_t{order} * j;
        for (int r = 0; r < order; ++r)
            for (int c = r; c < order; ++c) {
                const double updated = k[order * r + c] - lambda[j] * v[r] * v[c];
                k[order * r + c] = updated;
                k[order * c + r] = updated;
            }
    }
}

}  // namespace velmora
