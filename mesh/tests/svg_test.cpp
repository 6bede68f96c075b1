// The picture: the outline is the set of edges of exactly one triangle, the
// colour bar runs from its first colour at the smallest sigma1 to its last
// at the largest, and every element is drawn once.
#include <gtest/gtest.h>

#include <cmath>

#include "svg_writer.hpp"

namespace {

using velmora::mesh::boundary_edges;
using velmora::mesh::colour;
using velmora::mesh::results;
using edge = std::array<int, 2>;

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// 0 - 1 - 2      two cells, four triangles; the outline is the six
// | \ | \ |      edges around; the inner edges 0-4, 1-4 and 1-5
// 3 - 4 - 5      belong to two triangles each.
TEST(svg_outline, a_strip_of_two_cells_has_six_outer_edges) {
    const std::vector<std::array<int, 3>> t = {{0, 4, 3}, {0, 1, 4}, {1, 5, 4}, {1, 2, 5}};
    EXPECT_EQ(boundary_edges(t), (std::vector<edge>{{0, 1}, {0, 3}, {1, 2}, {2, 5}, {3, 4}, {4, 5}}));
}

// A square ring of eight triangles around a square hole: the outline is
// the four outer and the four inner sides.
//   0 ------- 1
//   | 4 --- 5 |
//   | |     | |
//   | 7 --- 6 |
//   3 ------- 2
TEST(svg_outline, a_ring_has_an_outer_and_an_inner_outline) {
    const std::vector<std::array<int, 3>> t = {{0, 1, 5}, {0, 5, 4}, {1, 2, 6}, {1, 6, 5},
                                               {2, 3, 7}, {2, 7, 6}, {3, 0, 4}, {3, 4, 7}};
    EXPECT_EQ(boundary_edges(t), (std::vector<edge>{{0, 1}, {0, 3}, {1, 2}, {2, 3}, {4, 5}, {4, 7}, {5, 6}, {6, 7}}));
    EXPECT_TRUE(boundary_edges({}).empty());
}

TEST(svg_colour, the_bar_runs_from_dark_violet_to_yellow_and_clamps) {
    EXPECT_EQ(colour(0), (std::array<int, 3>{68, 1, 84}));
    EXPECT_EQ(colour(1), (std::array<int, 3>{253, 231, 37}));
    EXPECT_EQ(colour(0.5), (std::array<int, 3>{33, 145, 140}));  // the middle anchor
    EXPECT_EQ(colour(-3), colour(0));
    EXPECT_EQ(colour(7), colour(1));
    EXPECT_EQ(colour(std::nan("")), colour(0));
    // Lightness grows along the bar, so the picture reads in grey as well.
    double previous = -1;
    for (int i = 0; i <= 100; ++i) {
        const auto c = colour(i / 100.0);
        const double grey = 0.299 * c[0] + 0.587 * c[1] + 0.114 * c[2];
        EXPECT_GT(grey, previous) << "t = " << i / 100.0;
        previous = grey;
    }
}

results two_triangles(double sigma_a, double sigma_b) {
    results r;
    r.points = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    r.displacement = {{0, 0, 0}, {0.1, 0, 0}, {0.1, 0.05, 0}, {0, 0.05, 0}};
    r.reaction = {{-1, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    r.triangles = {{0, 1, 2}, {0, 2, 3}};
    r.sigma = {{sigma_a, 0, 0}, {sigma_b, 0, 0}};
    return r;
}

TEST(svg_picture, the_largest_and_smallest_sigma1_get_the_ends_of_the_bar) {
    const std::string svg = velmora::mesh::svg_text(two_triangles(2.5, -1), 1.0);
    EXPECT_EQ(count(svg, "<polygon "), 2u);
    EXPECT_EQ(count(svg, "fill=\"#fde725\"/>"), 1u);  // sigma1 = 2.5, the largest
    EXPECT_EQ(count(svg, "fill=\"#440154\"/>"), 1u);  // sigma1 = -1, the smallest
    EXPECT_NE(svg.find(">2.5<"), std::string::npos);   // the bar's top label
    EXPECT_NE(svg.find(">-1<"), std::string::npos);    // and its bottom label
    EXPECT_EQ(count(svg, " M"), 3u);                    // 4 outline edges: "M" then " M" thrice
    EXPECT_EQ(svg.find("nan"), std::string::npos);
    EXPECT_EQ(svg.rfind("</svg>\n"), svg.size() - 7);
}

TEST(svg_picture, a_uniform_stress_takes_the_middle_colour) {
    const std::string svg = velmora::mesh::svg_text(two_triangles(0.75, 0.75), 1.0);
    EXPECT_EQ(count(svg, "fill=\"#21918c\"/>"), 2u);
    EXPECT_EQ(svg.find("nan"), std::string::npos);
    EXPECT_EQ(svg.find("inf"), std::string::npos);
}

}  // namespace
