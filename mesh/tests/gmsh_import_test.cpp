// Import through the gmsh SDK: a .geo script meshed on the fly and the same
// .msh mesh in two file versions, checked for counts, numbering and the
// supports and loads the naming convention gives (worked out by hand); a
// velmora run on an imported model; and the refusal of meshes velmora
// cannot represent.
#include <gtest/gtest.h>

#include <cmath>

#include "gmsh_import.hpp"
#include "input.hpp"
#include "mesh_model.hpp"
#include "mesh_test_support.hpp"
#include "report_reader.hpp"
#include "results.hpp"

namespace {

using mesh_test::scratch_dir;
using velmora::mesh::mesh_error;

// A 2 x 1 rectangle with a structured mesh of 3 x 2 nodes (4 triangles),
// held on its left edge, pulled on its right edge and pushed down at its
// top right corner.
std::string rectangle(const std::string& groups, const std::string& extra = "") {
    return "Point(1) = {0, 0, 0, 1};\n"
           "Point(2) = {2, 0, 0, 1};\n"
           "Point(3) = {2, 1, 0, 1};\n"
           "Point(4) = {0, 1, 0, 1};\n"
           "Line(1) = {1, 2};\nLine(2) = {2, 3};\nLine(3) = {3, 4};\nLine(4) = {4, 1};\n"
           "Curve Loop(1) = {1, 2, 3, 4};\n"
           "Plane Surface(1) = {1};\n"
           "Transfinite Curve{1, 3} = 3;\n"
           "Transfinite Curve{2, 4} = 2;\n"
           "Transfinite Surface{1};\n" +
           extra + groups;
}

const std::string rectangle_groups =
    "Physical Surface(\"body\") = {1};\n"
    "Physical Curve(\"fix x y\") = {4};\n"
    "Physical Curve(\"load x 0.6\") = {2};\n"
    "Physical Point(\"load y -0.1\") = {3};\n";

struct imported {
    velmora::model model;
    std::string text;
    std::vector<std::string> notes;
};

imported import_file(const scratch_dir& dir, const std::string& name, const std::string& contents,
                     velmora::mesh::import_options options = {}) {
    dir.write(name, contents);
    imported out;
    const std::string path = (dir / name).string();
    const velmora::mesh::source_mesh mesh = velmora::mesh::read_gmsh(path, {}, out.notes);
    options.source = name;
    const velmora::mesh::imported_model m = velmora::mesh::build_model(mesh, options);
    out.text = velmora::mesh::model_text(m, options);
    velmora::read_model(out.model, out.text, "input.txt");
    return out;
}

std::string refusal(const std::string& name, const std::string& contents) {
    scratch_dir dir;
    try {
        import_file(dir, name, contents);
    } catch (const mesh_error& e) {
        return e.what();
    }
    return "(accepted)";
}

// gmsh places the nodes of a transfinite line by its own arithmetic: within
// rounding of the exact fractions.
constexpr double placement_tolerance = 1e-9;

int node_at(const velmora::model& m, double x, double y) {
    for (int k = 1; k <= m.node_count; ++k)
        if (std::fabs(m.x(k) - x) < placement_tolerance && std::fabs(m.y(k) - y) < placement_tolerance) return k;
    return 0;
}

TEST(gmsh_import, a_geo_script_is_meshed_and_its_groups_become_supports_and_loads) {
    scratch_dir dir;
    const imported r = import_file(dir, "rectangle.geo", rectangle(rectangle_groups));
    const velmora::model& m = r.model;
    ASSERT_EQ(m.node_count, 6);
    ASSERT_EQ(m.element_count(), 4);

    const int lower_left = node_at(m, 0, 0), upper_left = node_at(m, 0, 1);
    const int lower_right = node_at(m, 2, 0), upper_right = node_at(m, 2, 1), middle = node_at(m, 1, 0);
    ASSERT_TRUE(lower_left && upper_left && lower_right && upper_right && middle);

    // The left edge in x and y, every node in z: 4 + 6 records.
    int supports = 0;
    for (int k = 1; k <= 6; ++k)
        for (int j = 1; j <= 3; ++j) {
            const bool held = j == 3 || ((k == lower_left || k == upper_left) && j < 3);
            EXPECT_EQ(m.dof_number(k, j), held ? 1 : 0) << "node " << k << " direction " << j;
            supports += m.dof_number(k, j);
        }
    EXPECT_EQ(supports, 10);
    // 0.6 over the right edge (one segment): half to each end; the corner
    // point takes the whole -0.1.
    EXPECT_DOUBLE_EQ(m.force(lower_right, 1), 0.3);
    EXPECT_DOUBLE_EQ(m.force(upper_right, 1), 0.3);
    EXPECT_DOUBLE_EQ(m.force(upper_right, 2), -0.1);
    EXPECT_EQ(m.force(middle, 1), 0.0);
    EXPECT_EQ(m.force(lower_left, 1), 0.0);
    EXPECT_NE(r.text.find("\n: loads: nodal forces, directions 1 2 3 = x y z\n3\n"), std::string::npos);
}

// The same mesh as a version 2.2 and a version 4.1 .msh file: node tags
// out of order, one node that no triangle uses, a curve load over
// segments of length 1 and 3, a support on a point.
//
//   5 (0,1) --- 20 (1,1) ------------ 9 (4,1)
//    |       /  |               ___/  |
//    |    /     |         ___/        |
//   7 (0,0) --- 3 (1,0) ------------ 12 (4,0)
const std::string msh2 = R"($MeshFormat
2.2 0 8
$EndMeshFormat
$PhysicalNames
3
0 3 "fix x y"
1 1 "load x 8"
2 2 "plate"
$EndPhysicalNames
$Nodes
7
7 0 0 0
3 1 0 0
12 4 0 0
5 0 1 0
20 1 1 0
9 4 1 0
99 9 9 0
$EndNodes
$Elements
7
7 15 2 3 1 7
1 1 2 1 1 7 3
2 1 2 1 1 3 12
3 2 2 2 1 7 3 20
4 2 2 2 1 7 20 5
5 2 2 2 1 3 12 9
6 2 2 2 1 3 9 20
$EndElements
)";

const std::string msh41 = R"($MeshFormat
4.1 0 8
$EndMeshFormat
$PhysicalNames
3
0 3 "fix x y"
1 1 "load x 8"
2 2 "plate"
$EndPhysicalNames
$Entities
1 1 1 0
1 0 0 0 1 3
1 0 0 0 4 0 0 1 1 0
1 0 0 0 4 1 0 1 2 0
$EndEntities
$Nodes
3 7 3 99
0 1 0 1
7
0 0 0
1 1 0 2
3
12
1 0 0
4 0 0
2 1 0 4
5
20
9
99
0 1 0
1 1 0
4 1 0
9 9 0
$EndNodes
$Elements
3 7 1 7
0 1 15 1
7 7
1 1 1 2
1 7 3
2 3 12
2 1 2 4
3 7 3 20
4 7 20 5
5 3 12 9
6 3 9 20
$EndElements
)";

std::string after_first_line(const std::string& s) { return s.substr(s.find('\n')); }

TEST(gmsh_import, msh_files_of_both_versions_give_the_same_model) {
    scratch_dir dir;
    const imported v2 = import_file(dir, "plate2.msh", msh2);
    const imported v4 = import_file(dir, "plate4.msh", msh41);
    EXPECT_EQ(after_first_line(v2.text), after_first_line(v4.text));

    const velmora::model& m = v2.model;
    // Ascending tags 3 5 7 9 12 20 give numbers 1 to 6; tag 99 is left out.
    ASSERT_EQ(m.node_count, 6);
    const double x[] = {1, 0, 0, 4, 4, 1}, y[] = {0, 1, 0, 1, 0, 1};
    for (int k = 1; k <= 6; ++k) {
        EXPECT_EQ(m.x(k), x[k - 1]) << "node " << k;
        EXPECT_EQ(m.y(k), y[k - 1]) << "node " << k;
    }
    // Elements in ascending tag order 3 4 5 6.
    ASSERT_EQ(m.element_count(), 4);
    EXPECT_EQ(m.elements(1).node(1), 3);
    EXPECT_EQ(m.elements(1).node(2), 1);
    EXPECT_EQ(m.elements(1).node(3), 6);
    EXPECT_EQ(m.elements(4).node(2), 4);
    // 8 over lengths 1 and 3: 1 at tag 7, 1 + 3 at tag 3, 3 at tag 12.
    EXPECT_EQ(m.force(3, 1), 1.0);
    EXPECT_EQ(m.force(1, 1), 4.0);
    EXPECT_EQ(m.force(5, 1), 3.0);
    // Tag 7 held in x and y.
    EXPECT_EQ(m.dof_number(3, 1), 1);
    EXPECT_EQ(m.dof_number(3, 2), 1);
    EXPECT_EQ(m.dof_number(1, 1), 0);
}

// The imported rectangle runs to convergence, and the reactions of the held
// edge balance the applied 0.6 in x and -0.1 in y.
TEST(gmsh_import, velmora_converges_on_an_imported_model) {
    scratch_dir dir;
    dir.write("rectangle.geo", rectangle(rectangle_groups));
    const auto imported = mesh_test::run_mesh(dir.path(), {"import", "rectangle.geo", "-o", "input.txt"});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(imported.out, "");
    const auto run = mesh_test::run_velmora(dir.path());
    ASSERT_TRUE(mesh_test::converged(run)) << run.out << run.err;

    velmora::model m;
    velmora::read_model(m, dir.read("input.txt"), "input.txt");
    const auto rep = velmora::mesh::read_report(dir.read("output.txt"), "output.txt");
    const auto res = velmora::mesh::combine(m, rep, "input.txt", "output.txt");
    const double allowance = rep.allowable_residue * m.node_count;  // residue left at each direction
    double sum_x = 0, sum_y = 0;
    for (const auto& f : res.reaction) {
        sum_x += f[0];
        sum_y += f[1];
    }
    EXPECT_NEAR(sum_x, -0.6, allowance);
    EXPECT_NEAR(sum_y, 0.1, allowance);
}

TEST(gmsh_import, a_mesh_without_triangles_is_refused) {
    const std::string why = refusal("line.geo",
                                    "Point(1) = {0, 0, 0, 0.5};\nPoint(2) = {1, 0, 0, 0.5};\nLine(1) = {1, 2};\n"
                                    "Physical Curve(\"fix x\") = {1};\n");
    EXPECT_NE(why.find("has no triangles"), std::string::npos) << why;
    const std::string lines_only = R"($MeshFormat
2.2 0 8
$EndMeshFormat
$Nodes
2
1 0 0 0
2 1 0 0
$EndNodes
$Elements
1
1 1 2 1 1 1 2
$EndElements
)";
    EXPECT_NE(refusal("lines.msh", lines_only).find("has no triangles"), std::string::npos);
}

TEST(gmsh_import, an_unknown_group_name_is_refused) {
    const std::string why = refusal("clamp.geo", rectangle("Physical Curve(\"clamp\") = {4};\n"));
    EXPECT_NE(why.find("unknown group name"), std::string::npos) << why;
    EXPECT_NE(why.find("\"clamp\""), std::string::npos) << why;
    const std::string body = refusal("body.geo", rectangle("Physical Surface(\"fix x\") = {1};\n"));
    EXPECT_NE(body.find("physical surface is the body"), std::string::npos) << body;
}

TEST(gmsh_import, quadrilaterals_higher_orders_and_several_materials_are_refused) {
    const std::string quads = refusal("quads.geo", rectangle(rectangle_groups, "Recombine Surface{1};\n"));
    EXPECT_NE(quads.find("2 quadrilaterals"), std::string::npos) << quads;
    const std::string order2 = refusal("order2.geo", rectangle(rectangle_groups, "Mesh.ElementOrder = 2;\n"));
    EXPECT_NE(order2.find("\"Triangle 6\""), std::string::npos) << order2;
    EXPECT_NE(order2.find("3-node triangles only"), std::string::npos) << order2;
    const std::string two_surfaces =
        rectangle("", "Point(5) = {4, 0, 0, 1};\nPoint(6) = {4, 1, 0, 1};\n"
                      "Line(5) = {2, 5};\nLine(6) = {5, 6};\nLine(7) = {6, 3};\n"
                      "Curve Loop(2) = {5, 6, 7, -2};\nPlane Surface(2) = {2};\n") +
        "Physical Surface(\"steel\") = {1};\nPhysical Surface(\"rubber\") = {2};\n";
    const std::string why = refusal("two.geo", two_surfaces);
    EXPECT_NE(why.find("2 physical surfaces"), std::string::npos) << why;
    EXPECT_NE(why.find("one material"), std::string::npos) << why;
}

TEST(gmsh_import, unreadable_files_are_refused_with_gmsh_s_reason) {
    EXPECT_NE(refusal("broken.geo", "Point(1) = {0, 0;\n").find("gmsh cannot read"), std::string::npos);
    std::vector<std::string> notes;
    try {
        velmora::mesh::read_gmsh("/nonexistent/plate.msh", {}, notes);
        ADD_FAILURE() << "accepted a missing file";
    } catch (const mesh_error& e) {
        EXPECT_NE(std::string(e.what()).find("cannot open /nonexistent/plate.msh"), std::string::npos) << e.what();
    }
}

// On the command line: a refusal is one message with exit status 1 and no
// file; a size factor reaches gmsh's mesher.
TEST(import_command_line, refusals_size_factor_and_malformed_commands) {
    scratch_dir dir;
    dir.write("clamp.geo", rectangle("Physical Curve(\"clamp\") = {4};\n"));
    const auto refused = mesh_test::run_mesh(dir.path(), {"import", "clamp.geo", "-o", "input.txt"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("velmora-mesh import: "), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("unknown group name"), std::string::npos) << refused.err;
    EXPECT_FALSE(dir.has("input.txt"));

    // A free mesh (no transfinite lines) of a 4 x 2 rectangle: halving the
    // element size gives more nodes.
    dir.write("free.geo", "Point(1) = {0, 0, 0, 1};\nPoint(2) = {4, 0, 0, 1};\nPoint(3) = {4, 2, 0, 1};\n"
                          "Point(4) = {0, 2, 0, 1};\nLine(1) = {1, 2};\nLine(2) = {2, 3};\nLine(3) = {3, 4};\n"
                          "Line(4) = {4, 1};\nCurve Loop(1) = {1, 2, 3, 4};\nPlane Surface(1) = {1};\n");
    const auto coarse = mesh_test::run_mesh(dir.path(), {"import", "free.geo"});
    const auto fine = mesh_test::run_mesh(dir.path(), {"import", "free.geo", "--size-factor", "0.5"});
    ASSERT_EQ(coarse.status, 0) << coarse.err;
    ASSERT_EQ(fine.status, 0) << fine.err;
    velmora::model a, b;
    velmora::read_model(a, coarse.out, "coarse");
    velmora::read_model(b, fine.out, "fine");
    EXPECT_GT(b.node_count, 2 * a.node_count);
    EXPECT_NE(coarse.err.find("no group holds the body"), std::string::npos) << coarse.err;  // a note, not a failure

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"import"}, {"import", "a.geo", "b.geo"}, {"import", "a.geo", "--law", "steel"},
             {"import", "a.geo", "--mu", "1", "--law", "mr"}, {"import", "a.geo", "--size-factor", "0"}}) {
        const auto r = mesh_test::run_mesh(dir.path(), args);
        EXPECT_EQ(r.status, 2) << args.back() << ": " << r.err;
    }
}

}  // namespace
