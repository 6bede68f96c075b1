// velmora-mesh arch: the arch read back by velmora's reader and checked
// against its geometry worked out by hand, its mirror symmetry, supports
// and crown; the arches refused; the command line.
#include "arch.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "mesh_test_support.hpp"

namespace {

using namespace velmora::mesh;
using mesh_test::run;
using mesh_test::scratch_dir;

velmora::model read(const arch& a) {
    std::string text;
    write(a, text);
    return mesh_test::model_of(text);
}

// Span 10, rise 0.4: the arc's radius is (5^2 + 0.4^2) / (2 0.4) = 31.45,
// its centre at (0, 0.4 - 31.45). With depth 0.2 in 2 layers every node of
// layer j lies at 31.35 + 0.1 j from it; the mid-depth nodes of the ends
// are (-5, 0) and (5, 0), that of the crown (0, 0.4). Node (i, j) is the
// mirror image of node (4 - i, j); so is the set of elements, each
// counter-clockwise.
TEST(ArchModel, GeometryByHand) {
    arch a;
    a.cells = 4, a.layers = 2, a.force = 0.03;
    const velmora::model m = read(a);
    ASSERT_EQ(m.node_count, 15);
    ASSERT_EQ(m.element_count(), 16);
    const auto node = [&](int i, int j) { return int(node_at(a, i, j)); };
    for (int j = 0; j <= 2; ++j)
        for (int i = 0; i <= 4; ++i) {
            const int k = node(i, j), mirror = node(4 - i, j);
            EXPECT_NEAR(std::hypot(m.x(k), m.y(k) - (0.4 - 31.45)), 31.35 + 0.1 * j, 1e-12) << k;
            EXPECT_NEAR(m.x(k), -m.x(mirror), 1e-12) << k;
            EXPECT_NEAR(m.y(k), m.y(mirror), 1e-12) << k;
            EXPECT_EQ(m.z(k), 0);
        }
    EXPECT_NEAR(m.x(node(0, 1)), -5, 1e-12);
    EXPECT_NEAR(m.y(node(0, 1)), 0, 1e-12);
    EXPECT_NEAR(m.x(node(4, 1)), 5, 1e-12);
    EXPECT_NEAR(m.x(node(2, 1)), 0, 1e-12);
    EXPECT_NEAR(m.y(node(2, 1)), 0.4, 1e-12);
    std::set<std::set<int>> elements, mirrored;
    for (int e = 1; e <= 16; ++e) {
        const int p = m.elements(e).node(1), q = m.elements(e).node(2), r = m.elements(e).node(3);
        const double area = (m.x(q) - m.x(p)) * (m.y(r) - m.y(p)) - (m.x(r) - m.x(p)) * (m.y(q) - m.y(p));
        EXPECT_GT(area, 0) << e;
        elements.insert({p, q, r});
        std::set<int> image;
        for (const int k : {p, q, r}) image.insert(node(4 - (k - 1) % 5, (k - 1) / 5));
        mirrored.insert(image);
    }
    EXPECT_EQ(elements, mirrored);
    EXPECT_EQ(crown(a), node(2, 2));
}

// The ends' mid-depth nodes pinned, every node held in z; the crown
// pressed by the force, or moved down by the drop with no load.
TEST(ArchModel, SupportsAndCrown) {
    arch a;
    a.cells = 4, a.layers = 2, a.force = 0.03;
    for (const bool dropped : {false, true}) {
        if (dropped) a.force.reset(), a.drop = 0.25;
        const velmora::model m = read(a);
        int held = 0;
        for (int k = 1; k <= 15; ++k)
            for (int d = 1; d <= 3; ++d) {
                const bool pinned = (k == int(node_at(a, 0, 1)) || k == int(node_at(a, 4, 1))) && d < 3;
                const bool moved = dropped && k == int(crown(a)) && d == 2;
                const bool expected = d == 3 || pinned || moved;
                EXPECT_EQ(m.dof_number(k, d) != 0, expected) << k << " " << d;  // flags before set-up
                held += expected ? 1 : 0;
                if (moved) {
                    EXPECT_EQ(m.prescribed(k, d), -0.25);
                }
                EXPECT_EQ(m.force(k, d), !dropped && k == int(crown(a)) && d == 2 ? -0.03 : 0) << k << " " << d;
            }
        EXPECT_EQ(held, dropped ? 20 : 19);
    }
}

TEST(ArchModel, RefusalsAndTheCommandLine) {
    const auto why = [](auto change) {
        arch a;
        a.force = 1;
        change(a);
        return problem(a);
    };
    EXPECT_NE(why([](arch& a) { a.cells = 41; }).find("an even number of cells"), std::string::npos);
    EXPECT_NE(why([](arch& a) { a.layers = 0; }).find("an even number of cells"), std::string::npos);
    EXPECT_NE(why([](arch& a) { a.rise = 5; }).find("less than half the span"), std::string::npos);
    EXPECT_NE(why([](arch& a) { a.drop = 1; }).find("a force or a drop"), std::string::npos);
    EXPECT_NE(why([](arch& a) { a.force.reset(); }).find("a force or a drop"), std::string::npos);
    EXPECT_EQ(why([](arch&) {}), "");

    const scratch_dir dir;
    const auto refused = run(dir.path(), {"arch", "--cells", "3", "--force", "1"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err.rfind("velmora-mesh arch: the arch needs an even number of cells", 0), 0u) << refused.err;
    const auto written = run(dir.path(), {"arch", "--force", "0.03", "-o", "input.txt"});
    ASSERT_EQ(written.status, 0) << written.err;
    EXPECT_EQ(written.err, "velmora-mesh arch: wrote \"input.txt\": 123 nodes, 160 elements, the crown node 103\n");
    arch a;
    a.force = 0.03;
    std::string text;
    write(a, text);
    EXPECT_EQ(dir.read("input.txt"), text);
    // The example is this arch.
    EXPECT_EQ(test::read_file(SOURCE_DIR "/examples/shallow_arch/input.txt"), text);
}

}  // namespace
