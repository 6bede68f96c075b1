// Import through the gmsh SDK: a .geo script meshed on the fly and a .msh
// file with its own mesh, checked against numbering, supports and loads
// worked out by hand; the example of the README run to convergence; and
// the refusal of meshes velmora cannot represent.
#include "gmsh_import.hpp"

#include <gtest/gtest.h>

#include "mesh_model.hpp"
#include "mesh_test_support.hpp"
#include "read/input.hpp"

namespace {

using namespace velmora::mesh;
using mesh_test::run;
using mesh_test::scratch_dir;

// A 2 x 1 rectangle with a structured mesh of 3 x 2 nodes (4 triangles).
std::string rectangle(const std::string& groups, const std::string& extra = "") {
    return "Point(1) = {0, 0, 0, 1};\nPoint(2) = {2, 0, 0, 1};\nPoint(3) = {2, 1, 0, 1};\nPoint(4) = {0, 1, 0, 1};\n"
           "Line(1) = {1, 2};\nLine(2) = {2, 3};\nLine(3) = {3, 4};\nLine(4) = {4, 1};\n"
           "Curve Loop(1) = {1, 2, 3, 4};\nPlane Surface(1) = {1};\n"
           "Transfinite Curve{1, 3} = 3;\nTransfinite Curve{2, 4} = 2;\nTransfinite Surface{1};\n" +
           extra + groups;
}

// Held on the left edge, pulled on the right edge, pushed down at the top
// right corner.
const std::string rectangle_groups =
    "Physical Surface(\"body\") = {1};\nPhysical Curve(\"fix x y\") = {4};\n"
    "Physical Curve(\"load x 0.6\") = {2};\nPhysical Point(\"load y -0.1\") = {3};\n";

// The model of a file written to a scratch directory (an absolute name is
// not written, and stays as it is).
velmora::model import_file(const std::string& name, const std::string& contents) {
    scratch_dir dir;
    dir.write(name, contents);
    std::vector<std::string> notes;
    return mesh_test::model_of(model_text(build_model(read_gmsh((dir / name).string(), {}, notes), {}), {}));
}

TEST(GmshImport, AGeoScriptIsMeshedAndItsGroupsBecomeSupportsAndLoads) {
    const velmora::model m = import_file("rectangle.geo", rectangle(rectangle_groups));
    ASSERT_EQ(std::pair(m.node_count, m.element_count()), std::pair(6, 4));
    for (int k = 1; k <= 6; ++k) {  // the left edge held in x and y, every node in z
        const bool left = m.x(k) == 0, right = m.x(k) == 2, corner = right && m.y(k) == 1;
        for (int j = 1; j <= 3; ++j) EXPECT_EQ(m.dof_number(k, j), j == 3 || left ? 1 : 0) << k << j;
        // 0.6 over the right edge (one segment), half to each end; the
        // corner point takes the whole -0.1.
        EXPECT_EQ(std::pair(m.force(k, 1), m.force(k, 2)), std::pair(right ? 0.3 : 0.0, corner ? -0.1 : 0.0)) << k;
    }
}

// A mesh of its own: node tags out of order, one node (99) that no triangle
// uses, element tags out of order. Ascending tags 3 5 7 20 give numbers
// 1 to 4; element 3 (7 3 20) comes first, then element 4 (7 20 5).
const std::string square_msh = R"($MeshFormat
2.2 0 8
$EndMeshFormat
$Nodes
5
7 0 0 0
3 1 0 0
5 0 1 0
20 1 1 0
99 9 9 0
$EndNodes
$Elements
2
4 2 2 0 1 7 20 5
3 2 2 0 1 7 3 20
$EndElements
)";

// The import command: a mesh of its own is not meshed again, which a note
// says when asked for a size factor; a refusal is one message with exit
// status 1 and no file.
TEST(ImportCommandLine, AMshFileBringsItsMeshNumberedInAscendingTagOrder) {
    scratch_dir dir;
    dir.write("square.msh", square_msh);
    const auto r = run(dir.path(), {"import", "square.msh", "--size-factor", "2"});
    EXPECT_NE(r.err.find("note: --size-factor has no effect"), std::string::npos) << r.err;
    EXPECT_TRUE(r.err.ends_with("\nvelmora-mesh import: wrote the model to standard output: 4 nodes, 2 elements\n"))
        << r.err;
    const velmora::model m = mesh_test::model_of(r.out);
    ASSERT_EQ(std::pair(m.node_count, m.element_count()), std::pair(4, 2));
    EXPECT_EQ(std::tuple(m.x(1), m.y(2), m.x(3), m.y(3), m.x(4), m.y(4)), std::tuple(1.0, 1.0, 0.0, 0.0, 1.0, 1.0));
    EXPECT_NE(r.out.find("\n1 3 1 4  (3)\n2 3 4 2  (4)\n"), std::string::npos) << r.out;  // each with its tag

    dir.write("clamp.geo", rectangle("Physical Curve(\"clamp\") = {4};\n"));
    const auto refused = run(dir.path(), {"import", "clamp.geo", "-o", "input.txt"});
    EXPECT_EQ(std::pair(refused.status, refused.err.rfind("velmora-mesh import: unknown group name", 0)),
              std::pair(1, 0ul))
        << refused.err;
    EXPECT_FALSE(dir.has("input.txt"));
    EXPECT_EQ(refused.err.find("wrote"), std::string::npos) << refused.err;
}

// The example of the README by its three commands: it converges, the
// reactions of the held left edge balance the pull of 3 on the right edge,
// and outside readers accept the exported files.
TEST(GmshImport, TheExamplePlateConvergesAndItsResultsExport) {
    scratch_dir dir;
    dir.write("plate.geo", test::read_file(SOURCE_DIR "/examples/plate_with_hole/plate_with_hole.geo"));
    const auto imported = run(dir.path(), {"import", "plate.geo", "--bulk", "5", "-o", "input.txt"});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(imported.out, "");
    // The counts that velmora's reader finds in the file.
    const velmora::model m = mesh_test::model_of(dir.read("input.txt"));
    EXPECT_EQ(imported.err, "velmora-mesh import: wrote \"input.txt\": " + std::to_string(m.node_count) + " nodes, " +
                                std::to_string(m.element_count()) + " elements\n");
    ASSERT_TRUE(mesh_test::converged(dir.path()));
    ASSERT_EQ(run(dir.path(), {"export"}).status, 0);
    const auto coarse = run(dir.path(), {"import", "plate.geo", "--size-factor", "2"});  // elements twice as large
    EXPECT_LT(2 * mesh_test::model_of(coarse.out).node_count, m.node_count);
    mesh_test::check_export(dir.path());
}

TEST(GmshImport, MeshesVelmoraCannotRepresentAreRefused) {
    const std::string cases[][3] = {
        {"line.geo", "Point(1) = {0, 0, 0, 0.5};\nPoint(2) = {1, 0, 0, 0.5};\nLine(1) = {1, 2};\n", "has no triangles"},
        {"clamp.geo", rectangle("Physical Curve(\"clamp\") = {4};\n"), "name: physical curve 1 \"clamp\""},
        {"body.geo", rectangle("Physical Surface(\"fix x\") = {1};\n"), "a physical surface is the body"},
        {"quads.geo", rectangle(rectangle_groups, "Recombine Surface{1};\n"), "2 quadrilaterals"},
        {"order2.geo", rectangle(rectangle_groups, "Mesh.ElementOrder = 2;\n"), "kind \"Triangle 6\""},
        {"two.geo", rectangle("Physical Surface(\"steel\") = {1};\nPhysical Surface(\"rubber\") = {1};\n"),
         "2 physical surfaces (\"steel\", \"rubber\")"},
        {"broken.geo", "Point(1) = {0, 0;\n", "gmsh cannot read"},
        {"/nonexistent/plate.msh", "", "cannot open /nonexistent/plate.msh"}};
    for (const auto& [name, contents, reason] : cases) {
        // Structured bindings are named in init-captures: clang 14 captures none.
        const std::string why =
            mesh_test::refusal([&name = name, &contents = contents] { import_file(name, contents); });
        EXPECT_NE(why.find(reason), std::string::npos) << name << ": " << why;
    }
}

}  // namespace
