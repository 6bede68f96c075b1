// velmora-mesh export: the report reader on reports laid out by hand, the
// join with the model, the picture, and real runs of velmora whose files
// outside readers accept; also the command lines without gmsh.
#include <gtest/gtest.h>

#include <cmath>

#include "mesh_test_support.hpp"
#include "read/input.hpp"
#include "svg_writer.hpp"

namespace {

using namespace velmora::mesh;
using mesh_test::run;
using mesh_test::scratch_dir;
using vectors = std::vector<std::array<double, 3>>;

const std::string wide_rule(65, '-'), narrow_rule(59, '-');
const std::string gap(5, ' ');       // before every value
const std::string skipped(18, ' ');  // a direction a reaction row does not report

const std::string reaction_head =
    "\n\n" + narrow_rule + "\n Node           Force X           Force Y           Force Z\n" + narrow_rule + "\n";

// Three nodes and one triangle; node 1 held in x, y, z, node 2 in y and z,
// node 3 in z. Reactions: node 1 in x and z, node 2 in y.
const std::string three_nodes =
    wide_rule +
    "\n| Minor Iterations                            |              18 |\n"
    "| Total Potential Energy                      | -2.35785427E+01 |\n"
    "| Allowable Maximum Residue                   |  5.00000000E-04 |\n" +
    wide_rule + "\n\n\n" + wide_rule + "\n Node             Displ X             Displ Y             Displ Z\n" +
    wide_rule +
    "\n"
    "    1      0.00000000E+00      0.00000000E+00      0.00000000E+00\n"
    "    2      3.36193859E-01      0.00000000E+00      0.00000000E+00\n"
    "    3      1.00000000E-01     -3.15838250E-01      0.00000000E+00\n\n\n" +
    narrow_rule + "\n Elem            Sigma1            Sigma2            Sigma3\n" + narrow_rule +
    "\n"
    "    1      1.146094E+00     -5.570222E-02      4.341478E-01\n" +
    narrow_rule + "\nMax/Min    1.146094E+00     -5.570222E-02\n" + reaction_head + "    1" + gap + "-4.749374E-02" +
    skipped + gap + " 2.000000E-03\n    2" + skipped + gap + "-4.524868E-01\n";

const std::string three_node_model =
    "title\n: control\n0.9 20 0.001 0 500 7\n: material\n1 1 1 50\n: nodes\n3\nnode x y z\n1 0 0 0\n2 1 0 0\n"
    "3 0 1 0\n: elements\n1\nelement\n1 1 2 3\n: supports\n6\nnode dir value\n1 1 0\n1 2 0\n1 3 0\n2 2 0\n2 3 0\n"
    "3 3 0\n: loads\n1\nnode dir value\n3 1 0.05\n";

std::string replaced(std::string s, const std::string& from, const std::string& to) {
    EXPECT_NE(s.find(from), std::string::npos) << from;
    return s.find(from) == std::string::npos ? s : s.replace(s.find(from), from.size(), to);
}

// What reading the report (and joining it with input when given) refuses.
std::string refusal(const std::string& text, const std::string& input = "") {
    return mesh_test::refusal([&] {
        const report r = read_report(text, "output.txt");
        if (!input.empty()) combine(mesh_test::model_of(input), r, "input.txt", "output.txt");
    });
}

TEST(ReportReader, ReadsEveryTableAndJoinsItWithItsModel) {
    const report rep = read_report(three_nodes, "output.txt");
    EXPECT_EQ(std::tuple(rep.iterations, rep.energy, rep.allowable_residue, rep.largest_sigma1, rep.smallest_sigma2),
              std::tuple(18, -23.5785427, 5e-4, 1.146094, -0.05570222));
    const results r = combine(mesh_test::model_of(three_node_model), rep, "input.txt", "output.txt");
    EXPECT_EQ(r.points, (vectors{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}));
    EXPECT_EQ(r.triangles, (std::vector<std::array<int, 3>>{{0, 1, 2}}));  // counted from 0
    EXPECT_EQ(r.displacement, (vectors{{0, 0, 0}, {0.336193859, 0, 0}, {0.1, -0.31583825, 0}}));
    EXPECT_EQ(r.sigma, (vectors{{1.146094, -0.05570222, 0.4341478}}));
    // Columns of 18 tell the directions apart; one not reported is 0.
    EXPECT_EQ(r.reaction, (vectors{{-0.04749374, 0, 0.002}, {0, -0.4524868, 0}, {0, 0, 0}}));
}

// Numbers that need more characters widen their line; a value that is not
// a number is a word right-aligned in 13 characters; Windows line ends read
// alike.
TEST(ReportReader, WidenedLinesWordsAndCarriageReturns) {
    std::string text = three_nodes;
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"             18", "        1234567"},
             {"-2.35785427E+01", " 1.00000000E+100"},
             {"    3      1.00000000E-01", "123456      1.00000000E+100"},
             {"    1      1.146094E+00     -5.570222E-02", "123456               NaN               Inf"},
             {"-4.524868E-01", " 1.000000E+100" + gap + "         -Inf"}})
        text = replaced(text, from, to);
    const report r = read_report(text, "output.txt");
    EXPECT_EQ(std::tuple(r.iterations, r.energy, r.displacements[2].number, r.displacements[2].value[0]),
              std::tuple(1234567, 1e100, 123456, 1e100));
    EXPECT_TRUE(std::isnan(r.stresses[0].value[0]) && r.stresses[0].value[1] == HUGE_VAL && !r.reactions[1].force[0]);
    EXPECT_EQ(std::tuple(*r.reactions[1].force[1], *r.reactions[1].force[2]), std::tuple(1e100, -HUGE_VAL));
    std::string windows;
    for (char c : three_nodes) windows += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(refusal(windows, three_node_model), "(accepted)");
}

// Every cut before the reaction table has begun shows, at a line end or
// inside a line; within the reaction table only a cut inside a line shows.
TEST(ReportReader, EveryTruncationBeforeTheReactionTableIsRefused) {
    const std::size_t complete = three_nodes.find(reaction_head) + reaction_head.size();
    for (std::size_t length = 0; length < complete; ++length)
        EXPECT_NE(refusal(three_nodes.substr(0, length)).find("truncated"), std::string::npos) << length;
    EXPECT_NE(refusal(three_nodes.substr(0, three_nodes.size() - 3)).find("truncated"), std::string::npos);
}

TEST(ReportReader, AReportNotLaidOutAsVelmoraWritesItOrOfAnotherModelIsRefused) {
    const std::string moved = replaced(three_node_model, "6\nnode dir value\n", "7\nnode dir value\n3 1 0.2\n");
    const std::string cases[][3] = {
        {replaced(three_nodes, " Elem            Sigma1", " Elem           Sigma1 "), "", "header of the stress table"},
        {replaced(three_nodes, "      4.341478E-01\n", "\n"), "", "fewer than three values"},
        {replaced(three_nodes, "    2" + skipped, "    2 " + skipped), "", "columns of 18"},
        {replaced(three_nodes, "3.36193859E-01", "3.36193859E-0x"), "", "output.txt:12: expected a displacement"},
        {three_nodes, replaced(replaced(three_node_model, "3\nnode x", "4\nnode x"), "3 0 1 0\n", "3 0 1 0\n4 1 1 0\n"),
         "input.txt has 4: the report belongs to another model"},
        {three_nodes, replaced(three_node_model, "1\nelement\n1 1 2 3\n", "2\nelement\n1 1 2 3\n2 2 3 1\n"),
         "another model"},
        // Node 2 is not held in x; node 3 is moved by 0.2 in x, the report shows 0.1.
        {replaced(three_nodes, "    2" + skipped, "    2"), three_node_model, "does not prescribe"},
        {three_nodes, moved, "prescribes 0.2"},
        {replaced(three_nodes, "  1.146094E+00", "           NaN"), three_node_model, "not a finite"},
        {three_nodes, replaced(three_node_model, "1 1 2 3\n", "1 1 2 9\n"), "outside 1..3"}};
    for (const auto& [text, input, why] : cases) EXPECT_NE(refusal(text, input).find(why), std::string::npos) << why;
    // 0.1 matches to the report's 8 digits.
    EXPECT_EQ(refusal(three_nodes, replaced(moved, "3 1 0.2", "3 1 0.1000000001")), "(accepted)");
}

// Lightness grows along the colour bar, so the picture reads in grey as
// well; values beyond its ends take the end colours.
TEST(SvgWriter, TheColourBarGrowsLighterAndClamps) {
    EXPECT_TRUE(colour(-3) == colour(0) && colour(std::nan("")) == colour(0) && colour(7) == colour(1));
    const auto grey = [](double t) { return 0.299 * colour(t)[0] + 0.587 * colour(t)[1] + 0.114 * colour(t)[2]; };
    for (int i = 1; i <= 100; ++i) EXPECT_GT(grey(i / 100.0), grey((i - 1) / 100.0)) << i;
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::string picture(double sigma1_a, double sigma1_b) {
    return svg_text({{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}},
                     {{0, 1, 2}, {0, 2, 3}},
                     {{0, 0, 0}, {0.1, 0, 0}, {0.1, 0.05, 0}, {0, 0.05, 0}},
                     vectors(4),
                     {{sigma1_a, 0, 0}, {sigma1_b, 0, 0}}},
                    1.0);
}

// The bar is viridis: dark violet #440154 at the smallest sigma1, yellow
// #fde725 at the largest, blue-green #21918c in the middle. The first
// element, with the largest sigma1, is drawn first.
TEST(SvgWriter, TheLargestAndSmallestSigma1TakeTheEndsOfTheBarAndAUniformOneItsMiddle) {
    const std::string svg = picture(2.5, -1);
    EXPECT_EQ(count(svg, "<polygon "), 2u);
    EXPECT_EQ(count(svg, "#fde725\"/>\n<polygon ") + count(svg, "#440154\"/>\n</g>"), 2u) << svg;
    EXPECT_TRUE(svg.find(">2.5<") != std::string::npos && svg.find(">-1<") != std::string::npos);  // bar labels
    EXPECT_EQ(count(svg, " M"), 3u);  // 4 outline edges: "M" then " M" thrice
    const std::string uniform = picture(0.75, 0.75);
    EXPECT_EQ(count(uniform, "fill=\"#21918c\"/>"), 2u);
}

// A strip from the generator, run by velmora in a scratch directory.
struct strip_run {
    scratch_dir dir;
    explicit strip_run(std::vector<std::string> options) {
        options.insert(options.end(), {"-o", "input.txt"});
        EXPECT_EQ(run(dir.path(), options).status, 0);
        EXPECT_TRUE(mesh_test::converged(dir.path()));
    }
};

TEST(ExportRun, WritesFilesOutsideReadersAcceptWithReactionsThatBalanceTheLoad) {
    strip_run strip({"--nx", "6", "--ny", "2", "--load-x", "0.6", "--load-y", "0.01"});
    const auto r = run(strip.dir.path(), {"export"});
    // 7 x 3 nodes, two triangles in each of the 6 x 2 cells.
    ASSERT_EQ(std::pair(r.status, r.err),
              std::pair(0, std::string("velmora-mesh export: wrote \"result.vtu\" and \"result.svg\": "
                                       "21 nodes, 24 elements\n")));
    EXPECT_NE(strip.dir.read("result.vtu").find("NumberOfPoints=\"21\" NumberOfCells=\"24\""), std::string::npos);
    mesh_test::check_export(strip.dir.path());
}

// A failed export says why in one line, exits with status 1 and writes
// nothing.
TEST(ExportRun, AMissingOrTruncatedReportIsRefusedAndOptionsPlaceTheResults) {
    strip_run strip({"--nx", "3", "--ny", "1", "--stretch", "0.5"});
    const std::string input = strip.dir.read("input.txt"), report = strip.dir.read("output.txt");
    const std::string cases[][3] = {{input, "", "run velmora first"},  // "": no such file
                                    {input, report.substr(0, report.size() / 2), "truncated"},
                                    {"", report, "input.txt"}};
    for (const auto& [model, output, reason] : cases) {
        for (const auto& [name, text] : {std::pair{"input.txt", model}, std::pair{"output.txt", output}})
            text.empty() ? void(std::filesystem::remove(strip.dir / name)) : strip.dir.write(name, text);
        const auto r = run(strip.dir.path(), {"export"});
        EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
        EXPECT_EQ(std::pair(r.status, r.err.find('\n')), std::pair(1, r.err.size() - 1)) << "one line: " << r.err;
        EXPECT_FALSE(strip.dir.has("result.vtu") || strip.dir.has("result.svg"));
    }
    strip.dir.write("input.txt", input), strip.dir.write("output.txt", report);
    scratch_dir other;
    ASSERT_EQ(run(other.path(), {"export", "--dir", strip.dir.path().string(), "--vtu", "grid.vtu", "--svg",
                                 "picture.svg", "--scale", "2"})
                  .status,
              0);
    EXPECT_TRUE(other.has("grid.vtu") && !strip.dir.has("result.vtu"));
    EXPECT_TRUE(other.has("picture.svg") && !strip.dir.has("result.svg"));
    EXPECT_NE(other.read("picture.svg").find("displacements &#215; 2"), std::string::npos);
}

// The run's directory is given by -C or --dir; several combine, an
// absolute one starting afresh. The results go there, and the line on
// standard error names them by the directory as given.
TEST(ExportRun, TheRunsDirectoryComesFromDashCOrDir) {
    strip_run strip({"--nx", "3", "--ny", "1", "--stretch", "0.5"});
    scratch_dir top;
    std::filesystem::create_directories(top / "runs" / "strip");
    for (const char* name : {"input.txt", "output.txt"})
        std::filesystem::copy_file(strip.dir / name, top / "runs" / "strip" / name);
    const std::string absolute = (top / "runs" / "strip").string();
    const struct {
        std::vector<std::string> arguments;
        std::string written_in;  // the directory the message names
    } cases[] = {{{"export", "-C", "runs/strip"}, "runs/strip/"},
                 {{"export", "--dir", "runs", "-C", "strip"}, "runs/strip/"},
                 {{"export", "-C", "elsewhere", "--dir=" + absolute}, absolute + "/"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        const auto r = run(top.path(), c.arguments);
        EXPECT_EQ(std::pair(r.status, r.err),
                  std::pair(0, "velmora-mesh export: wrote \"" + c.written_in + "result.vtu\" and \"" + c.written_in +
                                   "result.svg\": 8 nodes, 6 elements\n"));
        for (const char* name : {"runs/strip/result.vtu", "runs/strip/result.svg"}) {
            EXPECT_TRUE(top.has(name)) << name;
            std::filesystem::remove(top / name);
        }
        EXPECT_FALSE(top.has("result.vtu") || top.has("result.svg"));
    }
}

TEST(CommandLine, MalformedCommandsExitWithStatus2) {
    scratch_dir dir;
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"export", "extra"},
                                               {"export", "--scale", "big"},
                                               {"export", "--bogus"},
                                               {"export", "--dir"},
                                               {"export", "-C"},
                                               {"export", "-C", ""},
                                               {"export", "--dir="},
                                               {"import"},
                                               {"import", "a.geo", "b.geo"},
                                               {"import", "a.geo", "--law", "steel"},
                                               {"--nx", "0"},
                                               {"import", "a.geo", "--mu", "1", "--law", "mr"},
                                               {"import", "a.geo", "--size-factor", "0"},
                                               {"--version=1"}}) {
        const auto r = run(dir.path(), args);
        EXPECT_TRUE(r.status == 2 && r.err.find("--help") != std::string::npos) << args.back() << ": " << r.err;
    }
}

// Both programs carry the project version; velmora-mesh names itself.
TEST(CommandLine, VersionNamesTheProgramAndTheProjectVersion) {
    scratch_dir dir;
    const auto mesh = run(dir.path(), {"--version"});
    EXPECT_EQ(std::tuple(mesh.status, mesh.out, mesh.err), std::tuple(0, "velmora-mesh " VELMORA_VERSION "\n", ""));
    EXPECT_EQ(run(dir.path(), {"--version"}, VELMORA_BINARY).out, "velmora " VELMORA_VERSION "\n");
    EXPECT_FALSE(dir.has("input.txt"));
    EXPECT_NE(run(dir.path(), {"--help"}).out.find("--version"), std::string::npos);
}

// The strip generator ends, as import and export do, with one line on
// standard error: an NX x NY strip has (NX + 1)(NY + 1) nodes and 2 NX NY
// triangles. A file that cannot be written gets no such line.
TEST(CommandLine, TheStripGeneratorSaysWhatItWrote) {
    scratch_dir dir;
    const auto to_output = run(dir.path(), {"--nx", "4", "--ny", "1", "--load-x", "0.1"});
    EXPECT_EQ(std::pair(to_output.status, to_output.err),
              std::pair(0, std::string("velmora-mesh: wrote the model to standard output: 10 nodes, 8 elements\n")));
    EXPECT_EQ(mesh_test::model_of(to_output.out).node_count, 10);
    const auto to_file = run(dir.path(), {"--nx", "3", "--ny", "5", "--stretch", "0.3", "-o", "input.txt"});
    EXPECT_EQ(std::tuple(to_file.status, to_file.out, to_file.err),
              std::tuple(0, "", "velmora-mesh: wrote \"input.txt\": 24 nodes, 30 elements\n"));
    EXPECT_EQ(mesh_test::model_of(dir.read("input.txt")).element_count(), 30);
    const auto refused = run(dir.path(), {"--nx", "3", "--stretch", "0.3", "-o", "missing/input.txt"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err.rfind("velmora-mesh: cannot write \"missing/input.txt\": ", 0), 0u) << refused.err;
    EXPECT_EQ(refused.err.find("wrote"), std::string::npos) << refused.err;
}

// Without a subcommand velmora-mesh writes the strip: 4 x 3 nodes, 12
// triangles, its far end (node 4 at x = 3) moved by the stretch.
TEST(CommandLine, TheStripGeneratorIsUnchangedByTheSubcommands) {
    scratch_dir dir;
    const velmora::model m =
        mesh_test::model_of(run(dir.path(), {"--nx", "3", "--ny", "2", "--stretch", "0.5", "--law", "mr"}).out);
    EXPECT_EQ(std::tuple(m.node_count, m.element_count(), m.material->law(), m.dof_number(4, 1), m.prescribed(4, 1)),
              std::tuple(12, 12, velmora::material_law::mooney_rivlin, 1, 0.5));
}

}  // namespace
