// Whole runs that the set-up refuses: a triangle without area (or with an
// area that overflows), an element corner that names no node, and a model
// without a material when the start point is evaluated. Each ends with exit
// status 1, a one-line report naming the culprit on standard error, nothing
// on standard output and no output file, because set-up runs before any
// writer.
#include <gtest/gtest.h>

#include <string>

#include "program_run.hpp"

namespace {

TEST(SetUpRefusal, EndsWithAReportThatNamesTheCulprit) {
    const struct {
        std::string material, nodes;
        const char *elements, *name, *culprit;
    } cases[] = {
        {"", "", "1 1 2 3\n2 1 3 3\n", "GEOMETRY_ERROR", "element 2 has zero area"},  // corners coincide
        {"", ": nodes\n4\nn\n1 0 0 0\n2 1 0 0\n3 2 0 0\n4 0 1 0\n", "1 1 2 3\n2 1 3 4\n", "GEOMETRY_ERROR",
         "element 1 has zero area"},  // collinear corners
        {"", ": nodes\n4\nn\n1 0 0 0\n2 1e200 0 0\n3 1e200 1e200 0\n4 0 1 0\n", "1 1 2 3\n2 1 3 4\n", "GEOMETRY_ERROR",
         "element 1 has no finite area"},
        {"", "", "1 1 2 3\n2 1 5 4\n", "RANGE_ERROR", "element 2"},
        {"", "", "2 1 3 4\n1 0 2 3\n", "RANGE_ERROR", "element 1"},
        // Kind 3 is no law: no material, found when set-up evaluates the start (reference residue 0).
        {": material\n1.0  3  0.4  50.0\n", "", "1 1 2 3\n2 1 3 4\n", "MATERIAL_ERROR", "kind 3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " " << c.culprit);
        test::strip s;
        if (!c.material.empty()) s.material = c.material;
        if (!c.nodes.empty()) s.nodes = c.nodes;
        s.elements = std::string(": elements\n2\ne\n") + c.elements;
        test::model_run run(s.text());
        EXPECT_EQ(run.result.status, 1);
        EXPECT_EQ(run.result.out, "");
        const std::string head = std::string("\nraised ") + c.name + " : ";
        const std::string& err = run.result.err;
        EXPECT_EQ(err.substr(0, head.size()), head) << err;
        EXPECT_EQ(err.find('\n', head.size()), err.size() - 1) << "one report line ending with a line end";
        EXPECT_NE(err.find(c.culprit, head.size()), std::string::npos) << err;
        for (const char* file : {"ansys.txt", "autocad.scr", "output.txt"}) EXPECT_FALSE(run.dir.has(file)) << file;
    }
}

}  // namespace
