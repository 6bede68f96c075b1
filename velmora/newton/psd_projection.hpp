// The nearest positive semi-definite matrix to an element tangent, for the
// Newton path where the exact tangent does not factorise.
#pragma once

#include "mechanics/mechanics.hpp"

namespace velmora {

// Replaces the symmetric 9 x 9 matrix k (row-major, both triangles held)
// by V max(Lambda, 0) V^T, where k = V Lambda V^T: its nearest positive
// semi-definite matrix in the Frobenius norm. The eigenpairs with
// positive eigenvalues are kept, the others dropped; a matrix without a
// negative eigenvalue is left as it is, and so is one with an entry that is
// not finite. The result is exactly symmetric. Allocation-free.
void project_psd(double k[element_entries]);

}  // namespace velmora
