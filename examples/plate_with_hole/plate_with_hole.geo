// A plate with a central circular hole, pulled at its right edge: the
// classic stress concentration. velmora-mesh import reads this file,
// meshes it with gmsh and names the supports and loads from the physical
// groups below.
//
// Plate 20 x 10 (x from -10 to 10, y from -5 to 5), hole radius 2 at the
// centre, pulled by a total force of 3 on its right edge (a mean traction
// of 0.3). The material comes from the importer's options (see README.md).

width = 20;
height = 10;
radius = 2;
size_far = 1.0;   // element size at the edges
size_hole = 0.3;  // element size around the hole

// Outer boundary; the midpoints of the left and right edges are points of
// their own, so that a support can hold the left one.
Point(1) = {-width/2, -height/2, 0, size_far};
Point(2) = { width/2, -height/2, 0, size_far};
Point(3) = { width/2,  0,        0, size_far};
Point(4) = { width/2,  height/2, 0, size_far};
Point(5) = {-width/2,  height/2, 0, size_far};
Point(6) = {-width/2,  0,        0, size_far};

Line(1) = {1, 2};  // bottom
Line(2) = {2, 3};  // right, lower half
Line(3) = {3, 4};  // right, upper half
Line(4) = {4, 5};  // top
Line(5) = {5, 6};  // left, upper half
Line(6) = {6, 1};  // left, lower half

// The hole: four quarter circles about the centre.
Point(7) = {0, 0, 0, size_hole};
Point(8) = { radius, 0, 0, size_hole};
Point(9) = {0,  radius, 0, size_hole};
Point(10) = {-radius, 0, 0, size_hole};
Point(11) = {0, -radius, 0, size_hole};
Circle(7) = {8, 7, 9};
Circle(8) = {9, 7, 10};
Circle(9) = {10, 7, 11};
Circle(10) = {11, 7, 8};

Curve Loop(1) = {1, 2, 3, 4, 5, 6};
Curve Loop(2) = {7, 8, 9, 10};
Plane Surface(1) = {1, 2};

// The body, and the supports and loads by velmora-mesh's naming convention.
Physical Surface("plate") = {1};
Physical Curve("fix x") = {5, 6};       // the left edge slides along y only
Physical Point("fix y") = {6};          // its midpoint is held in y too
Physical Curve("load x 3") = {2, 3};    // a total force of 3 on the right edge
