// Whole runs that the set-up refuses: a triangle without area, an element
// corner that names no node, and a model without a material when the start
// point is evaluated. Each ends with exit status 1, the failure report on
// standard error (a line end, "raised ", the name, " : ", a message that
// names the culprit, a line end), nothing on standard output, and no output
// file, because the set-up runs before any writer.
#include <gtest/gtest.h>

#include <string>

#include "program_run.hpp"

namespace {

const char* const output_files[] = {"ansys.txt", "autocad.scr", "output.txt"};

// A unit square of four nodes in two triangles, plane strain in xy, loaded
// at node 3; `material` is the material line and `elements` the element
// records after the title line.
std::string square(const std::string& reference_residue, const std::string& material, const std::string& nodes,
                   const std::string& elements) {
    return "square\n"
           ": control\n"
           "0.9  20  0.001  " +
           reference_residue +
           "  500  7\n"
           ": material\n" +
           material +
           "\n"
           ": nodes\n" +
           nodes +
           ": elements\n"
           "2\n"
           "element  first  second  third\n" +
           elements +
           ": supports\n"
           "7\n"
           "node  dir  value\n"
           "1 1 0.0\n"
           "1 2 0.0\n"
           "4 1 0.0\n"
           "1 3 0.0\n"
           "2 3 0.0\n"
           "3 3 0.0\n"
           "4 3 0.0\n"
           ": loads\n"
           "1\n"
           "node  dir  value\n"
           "3 1 0.5\n";
}

const std::string four_nodes =
    "4\n"
    "node  x  y  z\n"
    "1 0 0 0\n"
    "2 1 0 0\n"
    "3 1 1 0\n"
    "4 0 1 0\n";

const std::string neo_hookean = "1.0  1  0.6  50.0";
const std::string mooney_rivlin = "1.0  2  0.4  0.1  50.0";

// Checks the shape of a refused run and returns the failure's message.
std::string refused(const test::model_run& run, const std::string& name) {
    EXPECT_EQ(run.result.status, 1);
    EXPECT_EQ(run.result.out, "");
    const std::string head = "\nraised " + name + " : ";
    EXPECT_EQ(run.result.err.substr(0, head.size()), head) << run.result.err;
    EXPECT_TRUE(!run.result.err.empty() && run.result.err.back() == '\n') << run.result.err;
    EXPECT_EQ(run.result.err.find('\n', head.size()), run.result.err.size() - 1) << "one report line";
    for (const char* file : output_files) EXPECT_FALSE(run.dir.has(file)) << file;
    return run.result.err.size() > head.size() ? run.result.err.substr(head.size()) : "";
}

// Node 3 placed on the line through nodes 1 and 2 flattens element 1
// (corners 1, 2, 3) while element 2 (1, 3, 4) keeps its area; whether or
// not the start point is evaluated, the model is refused before "ansys.txt".
TEST(setup_refusal, collinear_corners_give_geometry_error_naming_the_element) {
    const std::string nodes =
        "4\n"
        "node  x  y  z\n"
        "1 0 0 0\n"
        "2 1 0 0\n"
        "3 2 0 0\n"
        "4 0 1 0\n";
    for (const char* reference : {"0", "1.0"})
        for (const std::string& material : {neo_hookean, mooney_rivlin}) {
            SCOPED_TRACE(std::string("reference residue ") + reference + ", material " + material);
            test::model_run run(square(reference, material, nodes, "1 1 2 3\n2 1 3 4\n"));
            const std::string message = refused(run, "GEOMETRY_ERROR");
            EXPECT_NE(message.find("element 1 "), std::string::npos) << message;
            EXPECT_NE(message.find("zero area"), std::string::npos) << message;
        }
}

// Element 2 uses node 3 twice: its corners coincide.
TEST(setup_refusal, coinciding_corners_give_geometry_error_naming_the_element) {
    test::model_run run(square("0", neo_hookean, four_nodes, "1 1 2 3\n2 1 3 3\n"));
    const std::string message = refused(run, "GEOMETRY_ERROR");
    EXPECT_NE(message.find("element 2 "), std::string::npos) << message;
}

// A corner node number of 0, of node_count + 1, or negative; the records
// may come in any order, the message names the element by its number.
TEST(setup_refusal, corner_outside_the_nodes_gives_range_error_naming_the_element) {
    struct bad_case {
        const char* elements;
        const char* culprit;
    };
    for (const bad_case& c : {bad_case{"1 1 2 3\n2 1 5 4\n", "element 2"}, bad_case{"1 1 2 3\n2 0 3 4\n", "element 2"},
                              bad_case{"2 1 3 4\n1 1 2 -3\n", "element 1"}}) {
        SCOPED_TRACE(c.elements);
        test::model_run run(square("0", neo_hookean, four_nodes, c.elements));
        const std::string message = refused(run, "RANGE_ERROR");
        EXPECT_NE(message.find(c.culprit), std::string::npos) << message;
    }
}

// Material kind 3 is no material; with reference residue 0 the set-up
// evaluates the start point, which needs the material, so the run stops
// there, before "ansys.txt", and says which kind it was given.
TEST(setup_refusal, unknown_material_kind_fails_at_the_start_point) {
    for (const char* reference : {"0", "-1.0"}) {
        SCOPED_TRACE(reference);
        test::model_run run(square(reference, "1.0  3  0.4  50.0", four_nodes, "1 1 2 3\n2 1 3 4\n"));
        const std::string message = refused(run, "MATERIAL_ERROR");
        EXPECT_NE(message.find("kind 3"), std::string::npos) << message;
    }
}

}  // namespace
