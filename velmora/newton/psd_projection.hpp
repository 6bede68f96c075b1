// The nearest positive semi-definite matrix to an element tangent, for the
// Newton path where the exact tangent does not factorise.
#pragma once

#include "mechanics/mechanics.hpp"

namespace velmora {

// Replaces the principal part of the symmetric 9 x 9 matrix k (row-major,
// both triangles held) on the given directions (count of them, each 0..8)
// by V max(Lambda, 0) V^T, where that part is V Lambda V^T: its nearest
// positive semi-definite matrix in the Frobenius norm. The eigenpairs with
// positive eigenvalues are kept, the others dropped. A part that is
// positive semi-definite to rounding (its Cholesky factorisation with
// psd_slack times its largest diagonal entry added succeeds, far cheaper
// than the eigenvalues) is left as it is, and so is a matrix with an entry
// that is not finite. The rest of k is not touched. The result is exactly
// symmetric. Allocation-free.
inline constexpr double psd_slack = 1e-12;
void project_psd(double k[element_entries], const int* directions, int count);

// The same for the whole matrix.
void project_psd(double k[element_entries]);

}  // namespace velmora
