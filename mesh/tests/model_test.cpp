// The model built from a mesh: numbering, supports and loads from the
// names of groups (worked out by hand), the refusals, and the written file
// read back by velmora's own reader.
#include <gtest/gtest.h>

#include <functional>

#include "group_name.hpp"
#include "mesh_model.hpp"
#include "mesh_test_support.hpp"

namespace {

using namespace velmora::mesh;
using entry = std::tuple<int, int, double>;  // node, direction, value

using mesh_test::refusal;

TEST(GroupName, NamesWithoutAMeaningAreRefusedWithTheReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"clamp x", "unknown group name: physical curve 7 \"clamp x\""},
        {"", "has no name"},
        {"fix", "at least one direction"},
        {"fix w", "expected a direction"},
        {"fix x x", "given twice"},
        {"fix x 0", "expected a direction"},
        {"move x 0.25 y", "needs a value"},
        {"load y abc", "finite number"},
        {"load y inf", "finite number"},
        {"load y 1.5.2", "finite number"}};
    for (const auto& [name, reason] : cases) {
        const std::string why = refusal([name = name] { parse_group_name(name, "physical curve 7"); });
        EXPECT_NE(why.find(reason), std::string::npos) << name << ": " << why;
    }
    EXPECT_FALSE(names_condition("fixture"));  // a surface so named is the body, not a support
}

// Two cells of a 4 x 1 plate, split at x = 1, with node tags out of order
// and one node (tag 99) that no triangle uses:
//
//   5 (0,1) --- 20 (1,1) ------------ 9 (4,1)
//    |  4   /  |   6       _____/     |
//    |   /   3 |  ____/         5     |
//   7 (0,0) --- 3 (1,0) ------------ 12 (4,0)
//
// Body nodes in ascending tag order: 3 5 7 9 12 20 -> numbers 1 to 6.
source_mesh plate(std::vector<source_group> groups = {}) {
    return {{7, 3, 12, 5, 20, 9, 99},
            {{0, 0, 0}, {1, 0, 0}, {4, 0, 0}, {0, 1, 0}, {1, 1, 0}, {4, 1, 0}, {9, 9, 0}},
            {6, 3, 5, 4},
            {{3, 9, 20}, {7, 3, 20}, {3, 12, 9}, {7, 20, 5}},
            std::move(groups)};
}

source_group curve(const std::string& name, const std::vector<std::array<std::size_t, 2>>& segments) {
    source_group g{1, 3, name, {}, segments};
    for (const auto& s : segments) g.nodes.insert(g.nodes.end(), s.begin(), s.end());
    return g;
}

source_group point(int tag, const std::string& name, std::vector<std::size_t> nodes) {
    return {0, tag, name, std::move(nodes), {}};
}

std::vector<entry> entries(const std::vector<imported_model::record>& rs) {
    std::vector<entry> out;
    for (const auto& r : rs) out.emplace_back(r.node, r.direction, r.value);
    return out;
}

// A curve load spreads like a uniform line load: 8 over segments 7-3
// (length 1) and 3-12 (length 3) is 2 and 6, half to either end: tag 7
// gets 1, tag 3 gets 1 + 3, tag 12 gets 3. A point load is split equally;
// forces of several groups at a node add up (tag 3: 4 - 0.5 in x). Case,
// tabs and extra blanks in a name do not matter.
TEST(MeshModel, CurveLoadsFollowSegmentLengthsAndPointLoadsSplitEqually) {
    const imported_model m = build_model(
        plate({curve("load x 8", {{7, 3}, {3, 12}}), point(1, " Load\tY  6 ", {9, 12}), point(2, "LOAD x -5e-1", {3})}),
        {});
    EXPECT_EQ(entries(m.loads), (std::vector<entry>{{1, 1, 3.5}, {3, 1, 1}, {4, 2, 3}, {5, 1, 3}, {5, 2, 3}}));
}

// Every node of a fix or move group is prescribed; a plane mesh is held in
// z at every node unless a group says otherwise; the same value from two
// groups is one record.
TEST(MeshModel, SupportsComeFromGroupsAndAPlaneMeshIsHeldInZ) {
    const source_mesh s =
        plate({curve("fix x y", {{7, 5}}), point(4, "Move x 0.25 z +0.1", {20}), point(5, "move x 0", {7})});
    EXPECT_EQ(entries(build_model(s, {}).supports), (std::vector<entry>{{1, 3, 0},
                                                                        {2, 1, 0},
                                                                        {2, 2, 0},
                                                                        {2, 3, 0},
                                                                        {3, 1, 0},
                                                                        {3, 2, 0},
                                                                        {3, 3, 0},
                                                                        {4, 3, 0},
                                                                        {5, 3, 0},
                                                                        {6, 1, 0.25},
                                                                        {6, 3, 0.1}}));
    EXPECT_EQ(entries(build_model(s, {.hold_z = false, .source = ""}).supports),
              (std::vector<entry>{{2, 1, 0}, {2, 2, 0}, {3, 1, 0}, {3, 2, 0}, {6, 1, 0.25}, {6, 3, 0.1}}));
    source_mesh bent = plate();
    bent.coordinates[4][2] = 0.5;  // tag 20 out of the plane: no hold, and a note says so
    const imported_model spatial = build_model(bent, {});
    EXPECT_TRUE(spatial.supports.empty() && spatial.notes.at(0).find("plane z = constant") != std::string::npos);
}

TEST(MeshModel, MeshesAndGroupsVelmoraCannotTakeAreRefused) {
    const std::pair<std::function<void(source_mesh&)>, const char*> cases[] = {
        {[](source_mesh& m) {
             m.triangles.clear();
             m.triangle_tags.clear();
         },
         "no triangles"},
        {[](source_mesh& m) { m.triangles[0][0] = 1234; }, "source node 1234, which the mesh does not hold"},
        {[](source_mesh& m) {
             m.groups = {curve("clamp", {{7, 5}})};
         },
         "physical curve 3 \"clamp\""},
        {[](source_mesh& m) { m.groups = {point(1, "fix x", {99})}; }, "belongs to no triangle"},
        {[](source_mesh& m) {
             m.groups = {{1, 4, "load x 1", {7, 5}, {}}};
         },
         "no line elements"},
        {[](source_mesh& m) {
             m.groups = {curve("fix x", {{7, 5}}), point(5, "move x 0.25", {7})};
         },
         "conflicting supports at node 3 (source node 7 at (0, 0, 0)) in x"}};
    for (const auto& [change, reason] : cases) {
        source_mesh m = plate();
        change(m);
        const std::string why = refusal([&] { build_model(m, {}); });
        EXPECT_NE(why.find(reason), std::string::npos) << why;
    }
}

TEST(MeshModel, TheWrittenFileReadsBackAsTheSameModel) {
    const import_options o{.law = material_law::mooney_rivlin,
                           .c10 = 0.3,
                           .c01 = 0.05,
                           .bulk = 7.5,
                           .thickness = 0.2,
                           .tolerance = 1e-5,
                           .max_iterations = 1234,
                           .source = "plate.msh"};
    const imported_model m = build_model(
        plate({curve("load x 8", {{7, 3}, {3, 12}}), curve("fix x y", {{7, 5}}), point(4, "move x 0.25", {12})}), o);
    const velmora::model read = mesh_test::model_of(model_text(m, o));
    EXPECT_EQ(std::tuple(read.tolerance, read.max_iterations, read.thickness), std::tuple(1e-5, 1234, 0.2));
    ASSERT_TRUE(read.material && read.material->law() == velmora::material_law::mooney_rivlin);
    EXPECT_EQ(std::tuple(read.material->c10(), read.material->c01(), read.material->bulk()),
              std::tuple(0.3, 0.05, 7.5));
    // Node tags 3 5 7 9 12 20 and element tags 3 4 5 6 in ascending order;
    // tag 99 belongs to no triangle; corners in the source order, renumbered.
    ASSERT_EQ(std::pair(read.node_count, read.element_count()), std::pair(6, 4));
    const double x[] = {1, 0, 0, 4, 4, 1}, y[] = {0, 1, 0, 1, 0, 1};
    for (int k = 1; k <= 6; ++k) EXPECT_EQ(std::pair(read.x(k), read.y(k)), std::pair(x[k - 1], y[k - 1])) << k;
    const std::array<int, 3> corners[] = {{3, 1, 6}, {3, 6, 2}, {1, 5, 4}, {1, 4, 6}};
    for (int e = 1; e <= 4; ++e)
        for (int c = 1; c <= 3; ++c) EXPECT_EQ(read.elements(e).node(c), corners[e - 1][c - 1]) << e << c;
    const double force_x[] = {4, 0, 1, 0, 3, 0};
    for (int k = 1; k <= 6; ++k)
        for (int j = 1; j <= 3; ++j) {
            const bool moved = k == 5 && j == 1, held = moved || j == 3 || ((k == 2 || k == 3) && j < 3);
            EXPECT_EQ(std::tuple(read.dof_number(k, j), read.prescribed(k, j), read.force(k, j)),
                      std::tuple(held ? 1 : 0, moved ? 0.25 : 0.0, j == 1 ? force_x[k - 1] : 0.0))
                << "node " << k << " direction " << j;
        }
}

}  // namespace
