// From a generator's mesh to the model file: node and element numbering,
// the supports and loads the naming convention produces (worked out by
// hand below), and the written file read back by velmora's own reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "input.hpp"
#include "mesh_model.hpp"

namespace {

using velmora::mesh::build_model;
using velmora::mesh::imported_model;
using velmora::mesh::import_options;
using velmora::mesh::mesh_error;
using velmora::mesh::model_text;
using velmora::mesh::source_group;
using velmora::mesh::source_mesh;

// Two cells of a 4 x 1 plate, split at x = 1, with node tags out of order
// and one node (tag 99) that no triangle uses:
//
//   5 (0,1) --- 20 (1,1) ------------ 9 (4,1)
//    |  4   /  |   6       _____/     |
//    |   /   3 |  ____/         5     |
//   7 (0,0) --- 3 (1,0) ------------ 12 (4,0)
//
// Body nodes in ascending tag order: 3 5 7 9 12 20 -> numbers 1 to 6.
source_mesh plate() {
    source_mesh m;
    m.node_tags = {7, 3, 12, 5, 20, 9, 99};
    m.coordinates = {{0, 0, 0}, {1, 0, 0}, {4, 0, 0}, {0, 1, 0}, {1, 1, 0}, {4, 1, 0}, {9, 9, 0}};
    m.triangle_tags = {6, 3, 5, 4};
    m.triangles = {{3, 9, 20}, {7, 3, 20}, {3, 12, 9}, {7, 20, 5}};
    return m;
}

source_group curve(int tag, const std::string& name, const std::vector<std::array<std::size_t, 2>>& segments) {
    source_group g{1, tag, name, {}, segments};
    for (const auto& s : segments) g.nodes.insert(g.nodes.end(), s.begin(), s.end());
    return g;
}

source_group point(int tag, const std::string& name, std::vector<std::size_t> nodes) {
    return source_group{0, tag, name, std::move(nodes), {}};
}

std::string refusal(const source_mesh& m, const import_options& o = {}) {
    try {
        build_model(m, o);
    } catch (const mesh_error& e) {
        return e.what();
    }
    return "(accepted)";
}

// Value of the record for node and direction, or NaN when there is none.
double record(const std::vector<imported_model::record>& rs, int node, int direction) {
    for (const auto& r : rs)
        if (r.node == node && r.direction == direction) return r.value;
    return std::nan("");
}

TEST(mesh_model, nodes_and_triangles_are_numbered_in_ascending_tag_order) {
    const imported_model m = build_model(plate(), {});
    ASSERT_EQ(m.nodes.size(), 6u);  // tag 99 belongs to no triangle
    const std::vector<std::size_t> tags = {3, 5, 7, 9, 12, 20};
    const std::vector<std::array<double, 3>> at = {{1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {4, 1, 0}, {4, 0, 0}, {1, 1, 0}};
    for (std::size_t k = 0; k < tags.size(); ++k) {
        EXPECT_EQ(m.nodes[k].tag, tags[k]) << "node " << k + 1;
        EXPECT_EQ(m.nodes[k].at, at[k]) << "node " << k + 1;
    }
    // Element tags 3 4 5 6, corners in the source order, renumbered.
    ASSERT_EQ(m.elements.size(), 4u);
    const std::vector<std::array<int, 3>> corners = {{3, 1, 6}, {3, 6, 2}, {1, 5, 4}, {1, 4, 6}};
    for (std::size_t e = 0; e < corners.size(); ++e) {
        EXPECT_EQ(m.elements[e].tag, e + 3) << "element " << e + 1;
        EXPECT_EQ(m.elements[e].node, corners[e]) << "element " << e + 1;
    }
}

// A curve load spreads its total like a uniform line load: segment 7-3 is
// 1 long and segment 3-12 is 3 long, so 8 splits into 2 and 6, each half to
// either end: tag 7 gets 1, tag 3 gets 1 + 3 = 4, tag 12 gets 3.
TEST(mesh_model, a_curve_load_is_spread_in_proportion_to_segment_length) {
    source_mesh s = plate();
    s.groups = {curve(1, "load x 8", {{7, 3}, {3, 12}})};
    const imported_model m = build_model(s, {});
    ASSERT_EQ(m.loads.size(), 3u);
    EXPECT_DOUBLE_EQ(record(m.loads, 3, 1), 1.0);  // tag 7
    EXPECT_DOUBLE_EQ(record(m.loads, 1, 1), 4.0);  // tag 3
    EXPECT_DOUBLE_EQ(record(m.loads, 5, 1), 3.0);  // tag 12
}

TEST(mesh_model, a_point_load_is_split_equally_and_loads_of_groups_add_up) {
    source_mesh s = plate();
    s.groups = {point(1, "load x 6", {9, 12}),          // 3 on each
                curve(2, "load y 2", {{7, 3}}),         // 1 on tag 7 and 1 on tag 3
                point(3, "load y 5 x -0.5", {3})};      // tag 3 again
    const imported_model m = build_model(s, {});
    EXPECT_DOUBLE_EQ(record(m.loads, 4, 1), 3.0);   // tag 9
    EXPECT_DOUBLE_EQ(record(m.loads, 5, 1), 3.0);   // tag 12
    EXPECT_DOUBLE_EQ(record(m.loads, 3, 2), 1.0);   // tag 7
    EXPECT_DOUBLE_EQ(record(m.loads, 1, 2), 6.0);   // tag 3: 1 + 5
    EXPECT_DOUBLE_EQ(record(m.loads, 1, 1), -0.5);  // tag 3
    EXPECT_EQ(m.loads.size(), 5u);
}

// fix and move prescribe each node of the group; a plane mesh is held in z
// at every node; records come sorted by node, then direction.
TEST(mesh_model, supports_come_from_groups_and_a_plane_mesh_is_held_in_z) {
    source_mesh s = plate();
    s.groups = {curve(2, "fix x y", {{7, 5}}), point(4, "move x 0.25", {12})};
    const imported_model m = build_model(s, {});
    const std::vector<std::array<double, 3>> expected = {
        {1, 3, 0},                                 // tag 3
        {2, 1, 0}, {2, 2, 0}, {2, 3, 0},           // tag 5
        {3, 1, 0}, {3, 2, 0}, {3, 3, 0},           // tag 7
        {4, 3, 0},                                 // tag 9
        {5, 1, 0.25}, {5, 3, 0},                   // tag 12
        {6, 3, 0}};                                // tag 20
    ASSERT_EQ(m.supports.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(m.supports[i].node, static_cast<int>(expected[i][0])) << "record " << i;
        EXPECT_EQ(m.supports[i].direction, static_cast<int>(expected[i][1])) << "record " << i;
        EXPECT_EQ(m.supports[i].value, expected[i][2]) << "record " << i;
    }
}

TEST(mesh_model, the_z_hold_yields_to_groups_and_can_be_turned_off) {
    source_mesh s = plate();
    s.groups = {point(1, "move z 0.1", {20})};
    const imported_model held = build_model(s, {});
    EXPECT_EQ(held.supports.size(), 6u);
    EXPECT_EQ(record(held.supports, 6, 3), 0.1);  // tag 20: the group's value, not the hold
    EXPECT_EQ(record(held.supports, 1, 3), 0.0);

    import_options free;
    free.hold_z = false;
    const imported_model loose = build_model(s, free);
    ASSERT_EQ(loose.supports.size(), 1u);
    EXPECT_EQ(loose.supports[0].node, 6);

    // Out of plane: no automatic hold, and a note says so.
    source_mesh bent = plate();
    bent.coordinates[4][2] = 0.5;  // tag 20
    const imported_model spatial = build_model(bent, {});
    EXPECT_TRUE(spatial.supports.empty());
    EXPECT_TRUE(std::any_of(spatial.notes.begin(), spatial.notes.end(),
                            [](const std::string& n) { return n.find("plane z = constant") != std::string::npos; }));
}

TEST(mesh_model, the_same_value_from_two_groups_is_one_record_and_different_values_are_refused) {
    source_mesh s = plate();
    s.groups = {curve(2, "fix x", {{7, 5}}), point(5, "move x 0", {7})};
    import_options free;
    free.hold_z = false;
    EXPECT_EQ(build_model(s, free).supports.size(), 2u);

    s.groups = {curve(2, "fix x", {{7, 5}}), point(5, "move x 0.25", {7})};
    const std::string why = refusal(s);
    EXPECT_NE(why.find("conflicting supports"), std::string::npos) << why;
    EXPECT_NE(why.find("fix x"), std::string::npos) << why;
    EXPECT_NE(why.find("move x 0.25"), std::string::npos) << why;
    EXPECT_NE(why.find("source node 7"), std::string::npos) << why;
}

TEST(mesh_model, meshes_velmora_cannot_take_are_refused) {
    source_mesh none = plate();
    none.triangles.clear();
    none.triangle_tags.clear();
    EXPECT_NE(refusal(none).find("no triangles"), std::string::npos);

    source_mesh unknown = plate();
    unknown.groups = {curve(3, "clamp", {{7, 5}})};
    const std::string why = refusal(unknown);
    EXPECT_NE(why.find("unknown group name"), std::string::npos) << why;
    EXPECT_NE(why.find("physical curve 3 \"clamp\""), std::string::npos) << why;

    source_mesh outside = plate();
    outside.groups = {point(1, "fix x", {99})};
    EXPECT_NE(refusal(outside).find("belongs to no triangle"), std::string::npos);

    source_mesh bare = plate();
    bare.groups = {source_group{1, 4, "load x 1", {7, 5}, {}}};
    EXPECT_NE(refusal(bare).find("no line elements"), std::string::npos);

    source_mesh dangling = plate();
    dangling.triangles[0][0] = 1234;  // a corner the mesh has no coordinates for
    EXPECT_NE(refusal(dangling).find("source node 1234"), std::string::npos);
}

// The written file, read by velmora's reader, holds exactly the model.
TEST(mesh_model, the_written_file_reads_back_as_the_same_model) {
    source_mesh s = plate();
    s.groups = {curve(1, "load x 8", {{7, 3}, {3, 12}}), curve(2, "fix x y", {{7, 5}})};
    import_options o;
    o.law = velmora::mesh::material_law::mooney_rivlin;
    o.c10 = 0.3;
    o.c01 = 0.05;
    o.bulk = 7.5;
    o.thickness = 0.2;
    o.max_iterations = 1234;
    o.tolerance = 1e-5;
    o.source = "plate.msh";
    const imported_model m = build_model(s, o);
    const std::string text = model_text(m, o);

    velmora::model read;
    velmora::read_model(read, text, "input.txt");
    EXPECT_EQ(read.eta, 0.9);
    EXPECT_EQ(read.search_limit, 20);
    EXPECT_EQ(read.tolerance, 1e-5);
    EXPECT_EQ(read.max_iterations, 1234);
    EXPECT_EQ(read.memory, 7);
    EXPECT_EQ(read.thickness, 0.2);
    ASSERT_TRUE(read.material.has_value());
    EXPECT_EQ(read.material->law(), velmora::material_law::mooney_rivlin);
    EXPECT_EQ(read.material->c10(), 0.3);
    EXPECT_EQ(read.material->c01(), 0.05);
    EXPECT_EQ(read.material->bulk(), 7.5);

    ASSERT_EQ(read.node_count, 6);
    EXPECT_EQ(read.x(1), 1.0);  // tag 3
    EXPECT_EQ(read.y(2), 1.0);  // tag 5
    EXPECT_EQ(read.x(4), 4.0);  // tag 9
    ASSERT_EQ(read.element_count(), 4);
    EXPECT_EQ(read.elements(2).node(1), 3);
    EXPECT_EQ(read.elements(2).node(2), 6);
    EXPECT_EQ(read.elements(2).node(3), 2);

    for (int k = 1; k <= 6; ++k)
        for (int j = 1; j <= 3; ++j) {
            const bool held = j == 3 || ((k == 2 || k == 3) && j < 3);
            EXPECT_EQ(read.dof_number(k, j), held ? 1 : 0) << "node " << k << " direction " << j;
            EXPECT_EQ(read.prescribed(k, j), 0.0);
        }
    EXPECT_EQ(read.force(3, 1), 1.0);
    EXPECT_EQ(read.force(1, 1), 4.0);
    EXPECT_EQ(read.force(5, 1), 3.0);
    double total = 0;
    for (int k = 1; k <= 6; ++k) total += read.force(k, 1) + read.force(k, 2) + read.force(k, 3);
    EXPECT_EQ(total, 8.0);
}

}  // namespace
