// velmora-mesh plot: round axes worked out by hand, histories read and
// refused, and pictures read back: every tick label where the axis's scale
// puts its value, the curve through every row of the history, the SVG
// well formed (and rendered by rsvg-convert where it is installed); last,
// the picture of a real run of velmora through a limit point.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include "arch.hpp"
#include "history_plot.hpp"
#include "mesh_test_support.hpp"

namespace {

using namespace velmora::mesh;
using mesh_test::run;
using mesh_test::scratch_dir;

TEST(HistoryPlot, RoundAxesAndTheirLabels) {
    const struct {
        double least, most, low, high, step;
    } cases[] = {
        {0, 0.752, 0, 0.8, 0.2},           // 0.752 / 5 = 0.15: 2 x 0.1
        {-0.857, -0.0175, -1, 0, 0.2},     // 0.84 / 5 = 0.168: 2 x 0.1
        {1234, 98765, 0, 100000, 20000},   // 97531 / 5 = 19506: 2 x 10^4
        {0.5, 0.7, 0.5, 0.7, 0.05},        // 0.2 / 5 = 0.04: 5 x 0.01
        {3, 3, 1, 5, 1},                   // no length: [1.5, 4.5], 0.6: 10 x 0.1
        {-2e-6, 7e-6, -2e-6, 8e-6, 2e-6},  // 9e-6 / 5 = 1.8e-6: 2 x 10^-6
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.least << " .. " << c.most);
        const axis a = nice_axis(c.least, c.most);
        EXPECT_NEAR(a.step, c.step, 1e-12 * c.step);
        EXPECT_NEAR(a.low, c.low, 1e-9 * c.step);
        EXPECT_NEAR(a.high, c.high, 1e-9 * c.step);
    }
    const axis tenths{0, 0.8, 0.2};
    EXPECT_EQ(tick_label(3 * 0.2, tenths), "0.6");  // 0.6000000000000001
    EXPECT_EQ(tick_label(-0.0, tenths), "0.0");
    EXPECT_EQ(tick_label(-1, tenths), "-1.0");
    EXPECT_EQ(tick_label(40000, axis{0, 100000, 20000}), "40000");
    EXPECT_EQ(tick_label(0.15, axis{0.1, 0.2, 0.05}), "0.15");
    EXPECT_EQ(tick_label(4e-9, axis{0, 1e-8, 2e-9}), "4e-09");
}

TEST(HistoryPlot, ReadsHistoriesAndRefusesMalformedOnes) {
    const history_table t = read_history("increment,load,u3_y\r\n1,0.5,-1e-3\r\n2,1,-2.5e-3\r\n", "h.csv");
    EXPECT_EQ(t.columns, (std::vector<std::string>{"increment", "load", "u3_y"}));
    EXPECT_EQ(t.rows, (std::vector<std::vector<double>>{{1, 0.5, -1e-3}, {2, 1, -2.5e-3}}));
    EXPECT_EQ(t.column("u3_y"), 2);
    EXPECT_EQ(t.column("u3_x"), -1);
    const auto refusal = [](const std::string& text) {
        return mesh_test::refusal([&] { read_history(text, "h.csv"); });
    };
    EXPECT_EQ(refusal(""), "h.csv: empty, not a history (a header line, then a row per equilibrium)");
    EXPECT_EQ(refusal("a,,b\n"), "h.csv line 1: a column without a name in the header");
    EXPECT_EQ(refusal("a,b\n1,2\n3\n"), "h.csv line 3: 1 fields under a header of 2");
    EXPECT_EQ(refusal("a,b\n1,x\n"), "h.csv line 2: \"x\" is not a finite number");
    EXPECT_EQ(refusal("a,b\n1,nan\n"), "h.csv line 2: \"nan\" is not a finite number");
}

// Across by default: of the first node followed (7), the displacement that
// varies the most, though node 2's varies more; without nodes, increment.
TEST(HistoryPlot, DefaultColumnAcross) {
    const history_table t = read_history(
        "increment,load,u7_x,u7_y,u7_z,u2_x,u2_y,u2_z\n1,0.5,0.1,-0.2,0,9,0,0\n2,1,0.3,-0.9,0,-9,0,0\n", "h.csv");
    EXPECT_EQ(default_across(t), "u7_y");
    EXPECT_EQ(default_across(read_history("increment,load\n1,1\n", "h.csv")), "increment");
}

// The tick labels of one axis group as (position, value), in order.
std::vector<std::pair<double, double>> ticks(const std::string& svg, const std::string& group, bool across) {
    const std::size_t from = svg.find("<g id=\"" + group + "\"");
    const std::string block = svg.substr(from, svg.find("</g>", from) - from);
    std::vector<std::pair<double, double>> found;
    const std::regex label(R"re(<text x="([-0-9.]+)" y="([-0-9.]+)">([^<]+)</text>)re");
    for (auto m = std::sregex_iterator(block.begin(), block.end(), label); m != std::sregex_iterator(); ++m)
        found.push_back({std::stod((*m)[across ? 1 : 2].str()), std::stod((*m)[3].str())});
    return found;
}

// The tags of svg open and close in order, and it has one root.
void expect_well_formed(const std::string& svg) {
    std::vector<std::string> open;
    int roots = 0;
    const std::regex tag(R"(<(/?)([a-zA-Z]+)[^>]*?(/?)>)");
    for (auto m = std::sregex_iterator(svg.begin(), svg.end(), tag); m != std::sregex_iterator(); ++m) {
        const std::string name = (*m)[2].str();
        if ((*m)[1].length() > 0) {
            ASSERT_FALSE(open.empty()) << name;
            EXPECT_EQ(open.back(), name);
            open.pop_back();
        } else if ((*m)[3].length() == 0) {
            roots += open.empty() ? 1 : 0;
            open.push_back(name);
        }
    }
    EXPECT_TRUE(open.empty());
    EXPECT_EQ(roots, 1);
}

// Each axis's labels lie where one linear scale puts their values, round
// steps apart, covering the data; through those scales the curve's points
// and dots are the rows of the history, in order, to the picture's
// hundredths of a pixel.
void expect_curve_through_rows(const std::string& svg, const history_table& t, int x, int y) {
    expect_well_formed(svg);
    for (const bool across : {true, false}) {
        SCOPED_TRACE(across ? "across" : "up");
        const auto marks = ticks(svg, across ? "x-ticks" : "y-ticks", across);
        ASSERT_GE(marks.size(), 3u);
        const auto [p0, v0] = marks.front();
        const auto [p1, v1] = marks.back();
        const double per_pixel = (v1 - v0) / (p1 - p0), step = marks[1].second - marks[0].second;
        const double mantissa = step / std::pow(10.0, std::floor(std::log10(step)));
        EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 || std::fabs(mantissa - 5) < 1e-9)
            << step;
        for (const auto& [p, v] : marks) EXPECT_NEAR(v0 + (p - p0) * per_pixel, v, 0.006 * std::fabs(per_pixel));
        const std::size_t c = std::size_t(across ? x : y);
        for (const auto& row : t.rows) {
            EXPECT_LE(v0, row[c]);
            EXPECT_GE(v1, row[c]);
        }
        std::smatch curve;
        ASSERT_TRUE(std::regex_search(svg, curve, std::regex(R"re(<polyline id="curve"[^>]* points="([^"]*)")re")));
        const std::string points = curve[1].str();
        std::vector<double> along;
        const std::regex point(R"(([-0-9.]+),([-0-9.]+))");
        for (auto m = std::sregex_iterator(points.begin(), points.end(), point); m != std::sregex_iterator(); ++m)
            along.push_back(std::stod((*m)[across ? 1 : 2].str()));
        ASSERT_EQ(along.size(), t.rows.size());
        for (std::size_t k = 0; k < along.size(); ++k)
            EXPECT_NEAR(v0 + (along[k] - p0) * per_pixel, t.rows[k][c], 0.006 * std::fabs(per_pixel)) << k;
    }
    std::ptrdiff_t dots = 0;
    for (std::size_t at = svg.find("<circle"); at != std::string::npos; at = svg.find("<circle", at + 1)) ++dots;
    EXPECT_EQ(dots, std::ptrdiff_t(t.rows.size()));
}

// A history by hand: a load that rises, falls below zero and rises again
// against a displacement going down, as past a limit point.
TEST(HistoryPlot, CurvePassesThroughTheRows) {
    const history_table t = read_history(
        "increment,load,u4_x,u4_y,u4_z\n1,0.3,0,-0.05,0\n2,0.62,0,-0.12,0\n3,0.74,0,-0.23,0\n4,0.4,0,-0.39,0\n"
        "5,-0.08,0,-0.55,0\n6,0.31,0,-0.72,0\n7,1,0,-0.86,0\n",
        "h.csv");
    const std::string svg = history_svg(t, 3, 1, "h.csv");
    expect_curve_through_rows(svg, t, 3, 1);
    EXPECT_NE(svg.find(">u4_y</text>"), std::string::npos);
    EXPECT_NE(svg.find(">load</text>"), std::string::npos);
    EXPECT_NE(svg.find("<title>load against u4_y</title>"), std::string::npos);
}

// velmora traces the arch through its limit point with a history; plot
// without options draws load against the crown's vertical displacement
// into history.svg, through every row, and rsvg-convert renders it without
// complaint; then the command lines that fail.
TEST(PlotCommand, PicturesARunAndRefusesWhatItCannotDraw) {
#ifndef VELMORA_HAVE_NEWTON
    GTEST_SKIP() << "velmora was built without --method newton";
#endif
    arch a;
    a.force = 0.03;
    std::string text;
    write(a, text);
    const scratch_dir dir;
    dir.write("input.txt", text);
    const std::string crown = std::to_string(velmora::mesh::crown(a));
    const auto solved =
        run(dir.path(), {"--method", "newton", "--path", "arclength", "--history", "history.csv", "--follow", crown},
            VELMORA_BINARY);
    ASSERT_EQ(solved.status, 0) << solved.err;
    const auto drawn = run(dir.path(), {"plot"});
    ASSERT_EQ(drawn.status, 0) << drawn.err;
    EXPECT_EQ(drawn.err, "velmora-mesh plot: wrote \"history.svg\": load against u" + crown + "_y\n");
    const history_table t = read_history(dir.read("history.csv"), "history.csv");
    expect_curve_through_rows(dir.read("history.svg"), t, t.column("u" + crown + "_y"), t.column("load"));
    if (!std::string(VELMORA_RSVG).empty()) {
        const auto rendered = run(dir.path(), {"history.svg", "-o", "history.png"}, VELMORA_RSVG);
        EXPECT_EQ(rendered.status, 0);
        EXPECT_EQ(rendered.err, "");
        EXPECT_TRUE(dir.has("history.png"));
    }
    const auto chosen = run(dir.path(), {"plot", "history.csv", "--x", "increment", "--y", "energy", "-o", "e.svg"});
    ASSERT_EQ(chosen.status, 0) << chosen.err;
    expect_curve_through_rows(dir.read("e.svg"), t, 0, 3);

    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string message;
    } failing[] = {
        {{"plot", "--colour", "red"}, 2, "velmora-mesh plot: unknown option \"--colour\"\n"},
        {{"plot", "history.csv", "other.csv"}, 2, "velmora-mesh plot: unexpected argument \"other.csv\""},
        {{"plot", "none.csv"}, 1, "velmora-mesh plot: cannot read none.csv: "},
        {{"plot", "--x", "u1_q"}, 1, "velmora-mesh plot: history.csv has no column \"u1_q\" (its columns: increment,"},
        {{"plot", "-o", "no/such/dir.svg"}, 1, "velmora-mesh plot: cannot write \"no/such/dir.svg\": "},
    };
    for (const auto& f : failing) {
        const auto r = run(dir.path(), f.arguments);
        EXPECT_EQ(r.status, f.status) << f.message;
        EXPECT_EQ(r.err.rfind(f.message, 0), 0u) << r.err;
    }
}

}  // namespace
