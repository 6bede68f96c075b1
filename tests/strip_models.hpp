// Strip and arch models as velmora-mesh writes them (mesh/arch.hpp for the
// arch). Strips (mesh/strip.hpp): nx by ny cells
// over [0, length] x [0, height], nodes numbered row by row from the corner
// (0, 0), two triangles a cell, the end x = 0 held in x (its lower corner
// also in y), every node held in z, the end x = length stretched or loaded,
// and any extra support records.
#pragma once

#include <stdexcept>
#include <string>

#include "arch.hpp"
#include "strip.hpp"

namespace test {

namespace mesh = velmora::mesh;

// The "input.txt" text of a strip; a strip that velmora-mesh would refuse
// throws, failing the test that made it.
inline std::string text_of(const mesh::strip& s) {
    if (const std::string why = mesh::problem(s); !why.empty()) throw std::invalid_argument(why);
    std::string text;
    mesh::write(s, text);
    return text;
}

// The "input.txt" text of an arch, as velmora-mesh arch writes it.
inline std::string text_of(const mesh::arch& a) {
    if (const std::string why = mesh::problem(a); !why.empty()) throw std::invalid_argument(why);
    std::string text;
    mesh::write(a, text);
    return text;
}

}  // namespace test
