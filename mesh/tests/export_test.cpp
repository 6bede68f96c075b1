// velmora-mesh export on real runs of velmora: the files it writes, the
// equilibrium of the reactions it carries over, and the refusal of a
// missing, truncated or foreign report. Also the command line of the strip
// generator, which the subcommands must leave as it was.
#include <gtest/gtest.h>

#include "input.hpp"
#include "mesh_test_support.hpp"
#include "report_reader.hpp"
#include "results.hpp"
#include "strip.hpp"

namespace {

using mesh_test::run_mesh;
using mesh_test::run_velmora;
using mesh_test::scratch_dir;

// A strip run in a scratch directory: the model from velmora-mesh, the
// report from velmora.
struct strip_run {
    scratch_dir dir;
    explicit strip_run(const std::vector<std::string>& strip_options) {
        std::vector<std::string> args = strip_options;
        args.insert(args.end(), {"-o", "input.txt"});
        EXPECT_EQ(run_mesh(dir.path(), args).status, 0);
        EXPECT_TRUE(mesh_test::converged(run_velmora(dir.path())));
    }
};

velmora::mesh::results results_of(const scratch_dir& dir) {
    velmora::model m;
    velmora::read_model(m, dir.read("input.txt"), "input.txt");
    return velmora::mesh::combine(m, velmora::mesh::read_report(dir.read("output.txt"), "output.txt"), "input.txt",
                                  "output.txt");
}

// The internal forces of every element sum to zero, so the support
// reactions balance the applied load: their sum is -F, up to the residue
// the minimiser leaves at each direction (the allowable residue at most,
// free or unreported).
TEST(export_run, writes_both_files_and_the_reactions_balance_the_load) {
    constexpr double total_load = 0.6;
    strip_run run({"--nx", "6", "--ny", "2", "--load-x", "0.6"});
    const auto r = run_mesh(run.dir.path(), {"export"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ASSERT_TRUE(run.dir.has("result.vtu"));
    ASSERT_TRUE(run.dir.has("result.svg"));
    EXPECT_NE(run.dir.read("result.vtu").find("NumberOfPoints=\"21\" NumberOfCells=\"24\""), std::string::npos);

    const velmora::mesh::results res = results_of(run.dir);
    const velmora::mesh::report rep = velmora::mesh::read_report(run.dir.read("output.txt"), "output.txt");
    const double residue_allowance = rep.allowable_residue * static_cast<double>(res.points.size());
    double sum_x = 0, sum_y = 0;
    for (const auto& f : res.reaction) {
        sum_x += f[0];
        sum_y += f[1];
    }
    EXPECT_NEAR(sum_x, -total_load, residue_allowance);
    EXPECT_NEAR(sum_y, 0.0, residue_allowance);
    // Only the held end (x = 0: nodes 1, 8, 15) carries x reactions.
    for (std::size_t k = 0; k < res.reaction.size(); ++k) {
        if (k % 7 != 0) {
            EXPECT_EQ(res.reaction[k][0], 0.0) << "node " << k + 1;
        }
    }
}

TEST(export_run, dir_and_file_options_place_the_results) {
    strip_run run({"--nx", "2", "--ny", "1", "--stretch", "0.5"});
    scratch_dir elsewhere;
    const auto r = run_mesh(elsewhere.path(), {"export", "--dir", run.dir.path().string(), "--vtu", "grid.vtu",
                                               "--svg", "picture.svg", "--scale", "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(elsewhere.has("grid.vtu"));
    EXPECT_TRUE(elsewhere.has("picture.svg"));
    EXPECT_FALSE(run.dir.has("result.vtu"));
    EXPECT_NE(elsewhere.read("picture.svg").find("displacements &#215; 2"), std::string::npos);
}

// A failed export writes nothing and says why, with exit status 1.
void expect_refused(const scratch_dir& dir, const std::string& reason) {
    const auto r = run_mesh(dir.path(), {"export"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    EXPECT_FALSE(dir.has("result.vtu"));
    EXPECT_FALSE(dir.has("result.svg"));
}

TEST(export_run, a_missing_or_truncated_report_is_refused) {
    strip_run run({"--nx", "3", "--ny", "1", "--load-x", "0.2"});
    const std::string report = run.dir.read("output.txt");

    mesh_test::fs::remove(run.dir / "output.txt");
    expect_refused(run.dir, "run velmora first");

    run.dir.write("output.txt", report.substr(0, report.size() / 2));
    expect_refused(run.dir, "truncated");

    run.dir.write("output.txt", report);
    mesh_test::fs::remove(run.dir / "input.txt");
    expect_refused(run.dir, "input.txt");
}

TEST(export_run, a_report_of_another_model_is_refused) {
    strip_run longer({"--nx", "4", "--ny", "1", "--load-x", "0.2"});
    strip_run shorter({"--nx", "3", "--ny", "1", "--load-x", "0.2"});
    longer.dir.write("input.txt", shorter.dir.read("input.txt"));
    expect_refused(longer.dir, "belongs to another model");

    // Same mesh, other stretch: only the prescribed displacements differ.
    strip_run half({"--nx", "3", "--ny", "1", "--stretch", "0.5"});
    strip_run third({"--nx", "3", "--ny", "1", "--stretch", "0.3"});
    half.dir.write("input.txt", third.dir.read("input.txt"));
    expect_refused(half.dir, "prescribes 0.3");
}

TEST(export_command_line, malformed_commands_exit_with_status_2) {
    scratch_dir dir;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"export", "extra"}, {"export", "--scale", "big"}, {"export", "--bogus"}, {"export", "--dir"}}) {
        const auto r = run_mesh(dir.path(), args);
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_NE(r.err.find("velmora-mesh export --help"), std::string::npos) << r.err;
    }
    const auto help = run_mesh(dir.path(), {"export", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("result.vtu"), std::string::npos);
}

// Without a subcommand velmora-mesh still writes the strip, byte for byte
// as the generator library does, and its help names the subcommands.
TEST(strip_command_line, is_unchanged_by_the_subcommands) {
    scratch_dir dir;
    const auto r = run_mesh(dir.path(), {"--nx", "3", "--ny", "2", "--stretch", "0.5", "--law", "mr"});
    ASSERT_EQ(r.status, 0) << r.err;
    velmora::mesh::strip s = velmora::mesh::unit_cells(3, 2);
    s.stretch = 0.5;
    s.law = velmora::mesh::material_law::mooney_rivlin;
    std::string expected;
    velmora::mesh::write(s, expected);
    EXPECT_EQ(r.out, expected);

    const auto help = run_mesh(dir.path(), {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("velmora-mesh import MESH"), std::string::npos);
    EXPECT_NE(help.out.find("velmora-mesh export"), std::string::npos);
    EXPECT_EQ(run_mesh(dir.path(), {"--nx", "0"}).status, 2);
}

#if !VELMORA_MESH_WITH_GMSH
TEST(import_command_line, says_it_was_built_without_gmsh) {
    scratch_dir dir;
    dir.write("plate.msh", "");
    const auto r = run_mesh(dir.path(), {"import", "plate.msh"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("built without the gmsh SDK"), std::string::npos) << r.err;
}
#endif

}  // namespace
