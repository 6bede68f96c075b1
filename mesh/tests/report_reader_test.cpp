// The report reader on reports laid out by hand after the report's column
// rules, and the join of a report with its model: a truncated report or
// one of another model is refused.
#include <gtest/gtest.h>

#include <cmath>

#include "input.hpp"
#include "report_reader.hpp"
#include "results.hpp"

namespace {

using velmora::mesh::mesh_error;
using velmora::mesh::read_report;
using velmora::mesh::report;

const std::string wide_rule(65, '-');
const std::string narrow_rule(59, '-');
const std::string gap(5, ' ');        // before every value
const std::string skipped(18, ' ');   // a direction a reaction row does not report

std::string head(const std::string& iterations, const std::string& energy, const std::string& residue) {
    return wide_rule + "\n" +
           "| Minor Iterations                            | " + iterations + " |\n" +
           "| Total Potential Energy                      | " + energy + " |\n" +
           "| Allowable Maximum Residue                   | " + residue + " |\n" +
           wide_rule + "\n\n\n" +
           wide_rule + "\n" +
           " Node             Displ X             Displ Y             Displ Z\n" +
           wide_rule + "\n";
}

const std::string stress_head = "\n\n" + narrow_rule + "\n" +
                                " Elem            Sigma1            Sigma2            Sigma3\n" + narrow_rule + "\n";
const std::string reaction_head = "\n\n" + narrow_rule + "\n" +
                                  " Node           Force X           Force Y           Force Z\n" + narrow_rule + "\n";

// Three nodes and one triangle; node 1 held in x, y, z, node 2 in y and z,
// node 3 in z, node 2 moved by 0 in y. Reactions: node 1 in x and z, node 2
// in y.
const std::string three_nodes =
    head("             18", "-2.35785427E+01", " 5.00000000E-04") +
    "    1      0.00000000E+00      0.00000000E+00      0.00000000E+00\n"
    "    2      3.36193859E-01      0.00000000E+00      0.00000000E+00\n"
    "    3      1.00000000E-01     -3.15838250E-01      0.00000000E+00\n" +
    stress_head +
    "    1      1.146094E+00     -5.570222E-02      4.341478E-01\n" + narrow_rule + "\n" +
    "Max/Min    1.146094E+00     -5.570222E-02\n" + reaction_head +
    "    1" + gap + "-4.749374E-02" + skipped + gap + " 2.000000E-03\n" +
    "    2" + skipped + gap + "-4.524868E-01\n";

const char* const three_node_model =
    "title\n: control\n0.9 20 0.001 0 500 7\n: material\n1 1 1 50\n"
    ": nodes\n3\nnode x y z\n1 0 0 0\n2 1 0 0\n3 0 1 0\n"
    ": elements\n1\nelement\n1 1 2 3\n"
    ": supports\n6\nnode dir value\n1 1 0\n1 2 0\n1 3 0\n2 2 0\n2 3 0\n3 3 0\n"
    ": loads\n1\nnode dir value\n3 1 0.05\n";

velmora::model model_of(const std::string& text) {
    velmora::model m;
    velmora::read_model(m, text, "input.txt");
    return m;
}

std::string refusal(const std::string& text) {
    try {
        read_report(text, "output.txt");
    } catch (const mesh_error& e) {
        return e.what();
    }
    return "(accepted)";
}

std::string join_refusal(const std::string& input, const std::string& text) {
    try {
        velmora::mesh::combine(model_of(input), read_report(text, "output.txt"), "input.txt", "output.txt");
    } catch (const mesh_error& e) {
        return e.what();
    }
    return "(accepted)";
}

std::string replaced(std::string s, const std::string& from, const std::string& to) {
    const std::size_t at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) s.replace(at, from.size(), to);
    return s;
}

TEST(report_reader, reads_the_summary_and_every_table) {
    const report r = read_report(three_nodes, "output.txt");
    EXPECT_EQ(r.iterations, 18);
    EXPECT_EQ(r.energy, -23.5785427);
    EXPECT_EQ(r.allowable_residue, 5e-4);
    ASSERT_EQ(r.displacements.size(), 3u);
    EXPECT_EQ(r.displacements[1].number, 2);
    EXPECT_EQ(r.displacements[1].value[0], 0.336193859);
    EXPECT_EQ(r.displacements[2].value[1], -0.31583825);
    ASSERT_EQ(r.stresses.size(), 1u);
    EXPECT_EQ(r.stresses[0].value[0], 1.146094);
    EXPECT_EQ(r.stresses[0].value[1], -0.05570222);
    EXPECT_EQ(r.stresses[0].value[2], 0.4341478);
    EXPECT_EQ(r.largest_sigma1, 1.146094);
    EXPECT_EQ(r.smallest_sigma2, -0.05570222);

    // A direction left blank is not reported; columns are told apart by
    // their 18-character width.
    ASSERT_EQ(r.reactions.size(), 2u);
    EXPECT_EQ(r.reactions[0].node, 1);
    EXPECT_EQ(r.reactions[0].force[0], -0.04749374);
    EXPECT_FALSE(r.reactions[0].force[1].has_value());
    EXPECT_EQ(r.reactions[0].force[2], 0.002);
    EXPECT_EQ(r.reactions[1].node, 2);
    EXPECT_FALSE(r.reactions[1].force[0].has_value());
    EXPECT_EQ(r.reactions[1].force[1], -0.4524868);
    EXPECT_FALSE(r.reactions[1].force[2].has_value());
}

// Numbers that need more characters widen their line; a value that is not
// a number is written as a word right-aligned in 13 characters; Windows
// line ends read alike.
TEST(report_reader, widened_lines_words_and_carriage_returns) {
    const std::string text =
        head("        1234567", " 1.00000000E+100", " 1.00000000E-03") +
        "123456      1.00000000E+100     -2.50000000E-03      0.00000000E+00\n" + stress_head +
        "123456               NaN               Inf     -1.000000E+00\n" + narrow_rule + "\n" +
        "Max/Min   -1.000000E+20      1.000000E+20\n" + reaction_head +
        "123456" + skipped + gap + " 1.000000E+100" + gap + "         -Inf\n";
    const report r = read_report(text, "output.txt");
    EXPECT_EQ(r.iterations, 1234567);
    EXPECT_EQ(r.energy, 1e100);
    EXPECT_EQ(r.displacements[0].number, 123456);
    EXPECT_EQ(r.displacements[0].value[0], 1e100);
    EXPECT_TRUE(std::isnan(r.stresses[0].value[0]));
    EXPECT_EQ(r.stresses[0].value[1], HUGE_VAL);
    ASSERT_EQ(r.reactions.size(), 1u);
    EXPECT_FALSE(r.reactions[0].force[0].has_value());
    EXPECT_EQ(r.reactions[0].force[1], 1e100);
    EXPECT_EQ(r.reactions[0].force[2], -HUGE_VAL);

    std::string windows;
    for (char c : three_nodes) windows += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(read_report(windows, "output.txt").reactions[1].force[1], -0.4524868);
}

// Every cut of the report before its reaction table has begun is refused
// as truncated, whether it falls at a line end or inside a line.
TEST(report_reader, every_truncation_before_the_reaction_table_is_refused) {
    const std::size_t complete = three_nodes.find(reaction_head) + reaction_head.size();
    for (std::size_t length = 0; length < complete; ++length) {
        const std::string why = refusal(three_nodes.substr(0, length));
        EXPECT_NE(why.find("truncated"), std::string::npos) << "cut at " << length << ": " << why;
    }
    // Within the reaction table only a cut inside a line shows.
    EXPECT_NE(refusal(three_nodes.substr(0, three_nodes.size() - 3)).find("truncated"), std::string::npos);
    EXPECT_EQ(refusal(three_nodes), "(accepted)");
}

TEST(report_reader, a_report_not_laid_out_as_velmora_writes_it_is_refused) {
    EXPECT_NE(refusal(replaced(three_nodes, " Elem            Sigma1", " Elem           Sigma1 "))
                  .find("header of the stress table"),
              std::string::npos);
    EXPECT_NE(refusal(replaced(three_nodes, "      4.341478E-01\n", "\n")).find("fewer than three values"),
              std::string::npos);
    EXPECT_NE(refusal(replaced(three_nodes, "    2" + skipped, "    2 " + skipped)).find("columns of 18"),
              std::string::npos);
    EXPECT_NE(refusal(replaced(three_nodes, "3.36193859E-01", "3.36193859E-0x")).find("expected a displacement"),
              std::string::npos);
    EXPECT_NE(refusal("garbage\n").find("output.txt:1:"), std::string::npos);  // says where
}

TEST(report_reader, joined_with_its_model_gives_reactions_per_node_and_zero_elsewhere) {
    const velmora::mesh::results r =
        velmora::mesh::combine(model_of(three_node_model), read_report(three_nodes, "output.txt"), "input.txt",
                               "output.txt");
    ASSERT_EQ(r.points.size(), 3u);
    EXPECT_EQ(r.points[2], (std::array<double, 3>{0, 1, 0}));
    ASSERT_EQ(r.triangles.size(), 1u);
    EXPECT_EQ(r.triangles[0], (std::array<int, 3>{0, 1, 2}));  // counted from 0
    EXPECT_EQ(r.displacement[2], (std::array<double, 3>{0.1, -0.31583825, 0}));
    EXPECT_EQ(r.reaction[0], (std::array<double, 3>{-0.04749374, 0, 0.002}));
    EXPECT_EQ(r.reaction[1], (std::array<double, 3>{0, -0.4524868, 0}));
    EXPECT_EQ(r.reaction[2], (std::array<double, 3>{0, 0, 0}));
    EXPECT_EQ(r.sigma[0], (std::array<double, 3>{1.146094, -0.05570222, 0.4341478}));
    EXPECT_EQ(r.iterations, 18);
}

TEST(report_reader, a_report_of_another_model_is_refused) {
    const std::string four_nodes = replaced(replaced(three_node_model, ": nodes\n3\n", ": nodes\n4\n"),
                                            "3 0 1 0\n", "3 0 1 0\n4 1 1 0\n");
    EXPECT_NE(join_refusal(four_nodes, three_nodes).find("another model"), std::string::npos);

    const std::string two_elements =
        replaced(three_node_model, "1\nelement\n1 1 2 3\n", "2\nelement\n1 1 2 3\n2 2 3 1\n");
    EXPECT_NE(join_refusal(two_elements, three_nodes).find("another model"), std::string::npos);

    // Node 2 is not held in x: a reaction there belongs to another model.
    const std::string free_x = replaced(three_nodes, "    2" + skipped + gap + "-4.524868E-01",
                                        "    2" + gap + "-4.524868E-01");
    EXPECT_NE(join_refusal(three_node_model, free_x).find("does not prescribe"), std::string::npos);

    // The model moves node 3 by 0.2 in x; the report shows 0.1.
    const std::string moved = replaced(replaced(three_node_model, ": supports\n6\n", ": supports\n7\n"),
                                       "3 3 0\n", "3 3 0\n3 1 0.2\n");
    EXPECT_NE(join_refusal(moved, three_nodes).find("prescribes 0.2"), std::string::npos);
    // ... while 0.1 matches to the report's 8 digits.
    const std::string matching = replaced(replaced(three_node_model, ": supports\n6\n", ": supports\n7\n"),
                                          "3 3 0\n", "3 3 0\n3 1 0.1000000001\n");
    EXPECT_EQ(join_refusal(matching, three_nodes), "(accepted)");
}

TEST(report_reader, results_that_are_not_numbers_and_elements_outside_the_mesh_are_refused) {
    const std::string nan_stress = replaced(three_nodes, "     1.146094E+00     -5.570222E-02      4.341478E-01",
                                            "              NaN     -5.570222E-02      4.341478E-01");
    EXPECT_NE(join_refusal(three_node_model, nan_stress).find("not a finite number"), std::string::npos);
    const std::string bad_corner = replaced(three_node_model, "1 1 2 3\n", "1 1 2 9\n");
    EXPECT_NE(join_refusal(bad_corner, three_nodes).find("outside 1..3"), std::string::npos);
}

}  // namespace
