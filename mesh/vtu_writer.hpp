// The results as a VTK XML unstructured grid (".vtu", ASCII) for ParaView
// and other VTK viewers: the initial mesh as triangles (VTK cell type 5),
// point data "displacement" and "reaction" (3 components each) and cell data
// "sigma1", "sigma2", "sigma3". Every number is written in the shortest
// form that reads back to the same double.
#pragma once

#include <string>

#include "results.hpp"

namespace velmora::mesh {

std::string vtu_text(const results& r);

}  // namespace velmora::mesh
