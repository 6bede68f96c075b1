// The load history of a Newton run (--history, --follow) and arc-length
// continuation (--path arclength) as a user runs them: the CSV of the
// shallow arch pressed through its limit point, checked row by row against
// the balance of forces and the report, the rows of equal increments, and
// the command lines refused.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "program_run.hpp"
#include "strip_models.hpp"

namespace {

#ifdef VELMORA_HAVE_NEWTON

const char* const output_files[] = {"ansys.txt", "autocad.scr", "output.txt"};

// The history's header and its rows of numbers, each read back with strtod.
struct history {
    std::string header;
    std::vector<std::vector<double>> rows;
    explicit history(const std::string& text) {
        std::istringstream in(text);
        std::getline(in, header);
        for (std::string line; std::getline(in, line);) {
            std::vector<double> row;
            std::istringstream fields(line);
            for (std::string field; std::getline(fields, field, ',');)
                row.push_back(std::strtod(field.c_str(), nullptr));
            rows.push_back(row);
        }
    }
};

const std::string named_columns = "increment,load,iterations,energy,residue,reaction_x,reaction_y,reaction_z";

// The arch of velmora-mesh arch pressed by 0.03 at its crown, beyond its
// limit load of about 0.0226.
test::mesh::arch pressed_arch() {
    test::mesh::arch a;
    a.force = 0.03;
    return a;
}

// The allowable residue of the report.
double allowable_residue(const std::string& report) {
    const std::string label = "| Allowable Maximum Residue";
    const std::size_t at = report.find(label);
    if (at == std::string::npos) return -1;
    return std::strtod(report.c_str() + report.find('|', at + 1) + 1, nullptr);
}

// The arch traced through its limit point, the crown and node 1 followed:
// a row per increment, numbered from 1, each an equilibrium (its residue
// within the report's allowable one) whose supports balance the force
// lambda P at the crown (no support moves: the reaction is the resultant at
// all of them). The last row is the full load and the state of the report;
// the limit point the run reports is a row, the largest load before the
// path went down.
TEST(NewtonHistory, ArcLengthHistoryOfTheArch) {
    const test::mesh::arch a = pressed_arch();
    const std::string crown = std::to_string(test::mesh::crown(a));
    const test::model_run r(test::text_of(a), {"--method", "newton", "--path", "arclength", "--history", "history.csv",
                                               "--follow", crown + ",1"});
    ASSERT_EQ(r.result.status, 0) << r.result.err;
    EXPECT_NE(r.result.out.find("     Optimal\n"), std::string::npos) << r.result.out;
    const history h(r.dir.read("history.csv"));
    EXPECT_EQ(h.header, named_columns + ",u" + crown + "_x,u" + crown + "_y,u" + crown + "_z,u1_x,u1_y,u1_z");
    ASSERT_GT(h.rows.size(), 5u);
    const double allowable = allowable_residue(r.dir.read("output.txt"));
    ASSERT_GT(allowable, 0);
    for (std::size_t k = 0; k < h.rows.size(); ++k) {
        const std::vector<double>& row = h.rows[k];
        ASSERT_EQ(row.size(), 14u);
        EXPECT_EQ(row[0], double(k + 1));
        EXPECT_LE(row[4], allowable) << k;
        EXPECT_NEAR(row[6], row[1] * *a.force, 1e-9 * *a.force) << k;
        EXPECT_NEAR(row[5], 0, 1e-9 * *a.force) << k;
    }
    EXPECT_EQ(h.rows.back()[1], 1);
    // The crown's row in the report's displacement table.
    const auto table = test::table_rows(r.dir.read("output.txt"), test::displacement_table);
    ASSERT_GE(table.size(), std::size_t(test::mesh::crown(a)));
    const double reported = test::field(table[std::size_t(test::mesh::crown(a) - 1)], 2, 20);
    EXPECT_NEAR(h.rows.back()[9], reported, 1e-8 * std::fabs(reported));
    std::smatch found;
    ASSERT_TRUE(std::regex_search(
        r.result.err, found,
        std::regex("warning: the path passed a limit point at increment ([0-9]+), where the structure carried "
                   "([0-9.]+) of the loads; beyond it the structure snapped through to the full loads\n")))
        << r.result.err;
    const std::size_t limit = std::size_t(std::atoi(found[1].str().c_str()));
    ASSERT_GE(limit, 1u);
    ASSERT_LT(limit, h.rows.size());
    EXPECT_NEAR(std::strtod(found[2].str().c_str(), nullptr), h.rows[limit - 1][1], 5e-4);
    for (std::size_t k = 0; k < limit; ++k) EXPECT_LE(h.rows[k][1], h.rows[limit - 1][1]) << k;
    EXPECT_LT(h.rows[limit][1], h.rows[limit - 1][1]);
}

// Four equal increments of a stretch: rows at exactly 1/4, 1/2, 3/4 and 1
// (the numbers read back to the same doubles), the reaction at the moved
// end growing with them; and the same run without --history writes the
// same files.
TEST(NewtonHistory, RowsOfEqualIncrements) {
    test::mesh::strip s = test::mesh::unit_cells(4, 2);
    s.bulk = 10, s.stretch = 0.8, s.tolerance = 1e-10;
    const std::string input = test::text_of(s);
    const std::vector<std::string> newton = {"--method", "newton", "--increments", "4"};
    std::vector<std::string> with_history = newton;
    with_history.insert(with_history.end(), {"--history", "h.csv", "--follow", "15"});
    const test::model_run r(input, with_history), plain(input, newton);
    ASSERT_EQ(r.result.status, 0) << r.result.err;
    const history h(r.dir.read("h.csv"));
    EXPECT_EQ(h.header, named_columns + ",u15_x,u15_y,u15_z");
    ASSERT_EQ(h.rows.size(), 4u);
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(h.rows[k][1], 0.25 * double(k + 1));
        EXPECT_EQ(h.rows[k][8], 0.8 * h.rows[k][1]) << "node 15 lies on the moved end";
        if (k > 0) {
            EXPECT_GT(h.rows[k][5], h.rows[k - 1][5]);
        }
    }
    EXPECT_EQ(r.result.out, plain.result.out);
    for (const char* name : output_files) EXPECT_EQ(r.dir.read(name), plain.dir.read(name)) << name;
    const test::model_run increments(input, {"--method", "newton", "--increments", "4", "--path", "increments"});
    for (const char* name : output_files) EXPECT_EQ(increments.dir.read(name), plain.dir.read(name)) << name;
}

// Malformed lists, the options without --method newton and --follow
// without --history are refused before anything is read: status 2 and no
// file; a node beyond the model is a failure once "input.txt" is read,
// before anything is written.
TEST(NewtonHistory, CommandLinesRefused) {
    test::mesh::strip s = test::mesh::unit_cells(4, 2);
    s.stretch = 0.4;
    const std::string input = test::text_of(s);
    const struct {
        std::vector<std::string> arguments;
        const char* message;
    } refused[] = {
        {{"--method", "newton", "--history", "h.csv", "--follow", "0"}, "--follow: node numbers start at 1"},
        {{"--method", "newton", "--history", "h.csv", "--follow", "1,,2"}, "--follow: expected a whole number"},
        {{"--method", "newton", "--history", "h.csv", "--follow", "3,x"}, "--follow: expected a whole number"},
        {{"--method", "newton", "--history", "h.csv", "--follow", "3,3"}, "--follow: node 3 given twice"},
        {{"--method", "newton", "--follow", "3"}, "--follow: the followed displacements go into the history"},
        {{"--history", "h.csv"}, "--path, --history and --follow are options of --method newton"},
        {{"--method", "lbfgs", "--path", "arclength"}, "--path, --history and --follow are options of --method"},
        {{"--method", "newton", "--path", "riks"}, "--path: expected increments or arclength, found \"riks\""},
        {{"--method", "newton", "--history="}, "--history needs a file name"},
    };
    for (const auto& c : refused) {
        const test::model_run r(input, c.arguments);
        EXPECT_EQ(r.result.status, 2) << c.message;
        EXPECT_EQ(r.result.err.rfind(std::string("velmora: ") + c.message, 0), 0u) << r.result.err;
        for (const char* name : {"ansys.txt", "h.csv"}) EXPECT_FALSE(r.dir.has(name)) << c.message;
    }
    const test::model_run beyond(input, {"--method", "newton", "--history", "h.csv", "--follow", "2,16"});
    EXPECT_EQ(beyond.result.status, 1);
    EXPECT_EQ(beyond.result.err,
              "\nraised RANGE_ERROR : --follow: node 16 outside 1..15, the nodes of \"input.txt\"\n");
    for (const char* name : {"ansys.txt", "h.csv"}) EXPECT_FALSE(beyond.dir.has(name)) << name;
}

#endif

}  // namespace
