// The results as a picture (SVG 1.1, for any browser): the outline of the
// initial mesh, dashed, over the deformed mesh with each element filled in
// the colour of its sigma1, and a colour bar of sigma1. The picture shows
// the coordinate plane the initial mesh spreads most in (the x-y plane for
// a mesh in a plane z = constant), x to the right and y up.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "results.hpp"

namespace velmora::mesh {

// scale multiplies the displacements of the deformed mesh (1: true size).
std::string svg_text(const results& r, double scale);

// Edges that belong to exactly one triangle: the outline of the mesh, each
// as its two node indices, the smaller first, sorted.
std::vector<std::array<int, 2>> boundary_edges(const std::vector<std::array<int, 3>>& triangles);

// The colour of the colour bar at t in [0, 1] (0 the smallest sigma1, 1 the
// largest) as red, green, blue in 0..255; t outside is clamped.
std::array<int, 3> colour(double t);

}  // namespace velmora::mesh
