// Reads a mesh with the gmsh SDK: a mesh file of any version gmsh reads
// (.msh), or a geometry script (.geo) that gmsh meshes in two dimensions on
// the fly when the file brings no mesh of its own.
//
// The body is the one physical surface of the file, or every surface when
// the file names none. Its elements must be 3-node triangles. Physical
// points and curves become source groups; physical volumes, a second
// physical surface, quadrilaterals, higher-order or volume elements are
// refused with a mesh_error.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mesh_error.hpp"
#include "mesh_model.hpp"

namespace velmora::mesh {

struct gmsh_options {
    std::optional<double> size_factor;  // multiplies gmsh's element sizes when it meshes the file
};

// Reads the file. Remarks of gmsh (warnings) are appended to notes.
source_mesh read_gmsh(const std::string& file, const gmsh_options& options, std::vector<std::string>& notes);

}  // namespace velmora::mesh
