// Whole runs of velmora with options: the help and the version, the
// refusal of a malformed command line (before anything is read or
// written), -C DIR, the choice of the minimiser, and the progress display.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "program_run.hpp"
#include "strip_models.hpp"

namespace {

using test::fs::path;

const char* const output_files[] = {"ansys.txt", "autocad.scr", "output.txt"};
const char* const earlier = "from an earlier run\n";

path reference(const std::string& name) { return path(VELMORA_TEST_DATA) / "reference" / name; }

// Every output file in dir is the reviewed one of the reference run.
void expect_reference_files(const path& dir, const std::string& name) {
    for (const char* file : output_files)
        EXPECT_EQ(test::read_file(dir / file), test::read_file(reference(name) / "expected" / file)) << file;
}

TEST(CommandLine, HelpNamesEveryOptionAndTouchesNoFile) {
    for (const char* option : {"--help", "-h"}) {
        test::scratch_dir dir;
        dir.write("input.txt", test::strip().text());
        const test::run_result r = test::run_velmora(dir.path(), {option});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(r.out.starts_with("Usage: velmora [OPTION]...\n")) << r.out;
        for (const char* text :
             {"-C DIR", "--directory", "--method NAME", "(default lbfgs)", "lbfgs", "mbfgs", "bfgs", "--progress",
              "--no-progress", "default: shown when standard error", "--version", "-h, --help", "input.txt",
              "ansys.txt", "autocad.scr", "output.txt", "Exit status: 0", "; 1 when", "2 for a malformed command line"})
            EXPECT_NE(r.out.find(text), std::string::npos) << text;
        for (const std::string& line : test::lines_of(r.out)) EXPECT_LE(line.size(), 80u) << line;
        for (const char* file : output_files) EXPECT_FALSE(dir.has(file)) << file;
    }
}

TEST(CommandLine, VersionIsTheProjectVersion) {
    const test::scratch_dir dir;
    const test::run_result r = test::run_velmora(dir.path(), {"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "velmora " VELMORA_VERSION "\n");
    EXPECT_TRUE(std::regex_match(VELMORA_VERSION, std::regex("[0-9]+\\.[0-9]+\\.[0-9]+")));
    EXPECT_EQ(r.err, "");
}

// Refused with status 2 and the same two lines as velmora-mesh, before
// "input.txt" is read: the files of an earlier run stay as they were.
TEST(CommandLine, MalformedCommandLineIsRefusedBeforeAnythingIsRead) {
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"--frobnicate"}, "unknown option \"--frobnicate\""},
        {{"-x"}, "unknown option \"-x\""},
        {{"--help", "--frobnicate"}, "unknown option \"--frobnicate\""},
        {{"--method"}, "--method needs a value"},
        {{"--method", "newtons"}, "--method: expected lbfgs, mbfgs, bfgs or newton, found \"newtons\""},
        {{"--method=LBFGS"}, "--method: expected lbfgs, mbfgs, bfgs or newton, found \"LBFGS\""},
        {{"-C"}, "-C needs a value"},
        {{"--directory="}, "--directory needs a directory name"},
        {{"--progress=yes"}, "--progress takes no value"},
        {{"--version=2"}, "--version takes no value"},
        {{"input.txt"}, "unexpected argument \"input.txt\" (velmora reads \"input.txt\"; -C DIR runs in DIR)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        test::scratch_dir dir;
        dir.write("input.txt", test::strip().text());
        for (const char* file : output_files) dir.write(file, earlier);
        const test::run_result r = test::run_velmora(dir.path(), c.arguments);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "velmora: " + c.message + "\nTry 'velmora --help' for the options.\n");
        for (const char* file : output_files) EXPECT_EQ(dir.read(file), earlier) << file;
    }
}

// The run reads DIR/input.txt and writes there, whether DIR is relative
// to the working directory or absolute; several -C options combine as for
// git: a relative one goes on from the one before, an absolute one starts
// afresh. The working directory gets nothing.
TEST(CommandLine, DirectoryOptionRunsInThatDirectory) {
    const std::string input = test::read_file(reference("strip_example") / "input.txt");
    const std::string expected_out = test::read_file(reference("strip_example") / "expected" / "stdout.txt");
    const test::scratch_dir dir;
    const path model = dir / "a model";
    test::fs::create_directories(model / "inner");
    for (const path& p : {model, model / "inner"}) std::ofstream(p / "input.txt", std::ios::binary) << input;
    const struct {
        std::vector<std::string> arguments;
        path where;
    } cases[] = {
        {{"-C", "a model"}, model},
        {{"-C", model.string()}, model},
        {{"--directory=" + model.string()}, model},
        {{"-C", "a model", "-C", "inner"}, model / "inner"},
        {{"-C", "a model", "--directory", "inner", "-C", model.string()}, model},
    };
    for (const auto& c : cases) {
        std::string arguments;
        for (const std::string& a : c.arguments) arguments += " " + a;
        SCOPED_TRACE(arguments);
        for (const char* file : output_files) test::fs::remove(c.where / file);
        const test::run_result r = test::run_velmora(dir.path(), c.arguments);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, expected_out);
        EXPECT_EQ(r.err, "");
        expect_reference_files(c.where, "strip_example");
        for (const char* file : output_files) EXPECT_FALSE(dir.has(file)) << file;
    }
}

TEST(CommandLine, DirectoryThatCannotBeEnteredIsANameError) {
    test::scratch_dir dir;
    dir.write("input.txt", test::strip().text());
    dir.write("plain file", "");
    for (const auto& [name, why] :
         {std::pair{"missing", "No such file or directory"}, {"plain file", "Not a directory"}}) {
        const test::run_result r = test::run_velmora(dir.path(), {"-C", name});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err,
                  std::string("\nraised NAME_ERROR : cannot change to directory \"") + name + "\": " + why + "\n");
        for (const char* file : output_files) EXPECT_FALSE(dir.has(file)) << file;
    }
}

// "--method lbfgs" is the run without options, byte for byte: standard
// output, standard error, exit status and files.
TEST(Methods, LbfgsByNameIsTheRunWithoutOptions) {
    for (const char* name : {"strip_example", "neo_plate_forces", "mr_plate_displ", "kind3_refpos"}) {
        SCOPED_TRACE(name);
        const std::string input = test::read_file(reference(name) / "input.txt");
        const test::model_run plain(input);
        for (const std::vector<std::string>& arguments :
             {std::vector<std::string>{"--method", "lbfgs"}, {"--method=lbfgs", "--no-progress"}}) {
            const test::model_run run(input, arguments);
            EXPECT_EQ(run.result.out, plain.result.out);
            EXPECT_EQ(run.result.err, plain.result.err);
            EXPECT_EQ(run.result.status, plain.result.status);
            for (const char* file : output_files) {
                ASSERT_EQ(run.dir.has(file), plain.dir.has(file)) << file;
                if (run.dir.has(file)) {
                    EXPECT_EQ(run.dir.read(file), plain.dir.read(file)) << file;
                }
            }
        }
    }
}

// The homogeneous plane-strain stretch of report_test.cpp (3 x 3 cells of
// side 0.5, the right edge moved by (l1 - 1) 1.5): memory-less and full
// BFGS reach the displacements of the closed form, ((l1 - 1) x, (l2 - 1) y, 0).
TEST(Methods, MbfgsAndBfgsSolveTheHomogeneousStretch) {
    const test::law w{1, 0.05, 0, 0.5};
    const double l1 = 1.15, l2 = w.lateral_stretch(l1), tol = 1e-6 * 0.15 * 1.5;
    std::string supports = test::held(1, 2, 0);
    for (int k = 1; k <= 16; ++k)
        supports += test::held(k, 3, 0) + (k % 4 == 1   ? test::held(k, 1, 0)
                                           : k % 4 == 0 ? test::held(k, 1, (l1 - 1) * 1.5)
                                                        : "");
    std::vector<std::array<int, 3>> tris;
    const std::string input =
        test::alternating_grid(3, 0.5, "0.9 20 1e-10 0 5000 7", w.input_line(0.25), supports, tris);
    for (const char* method : {"mbfgs", "bfgs"}) {
        SCOPED_TRACE(method);
        test::model_run run(input, {"--method", method});
        ASSERT_EQ(run.result.status, 0) << run.result.err;
        EXPECT_TRUE(std::regex_match(run.result.out, std::regex("\nMinor = +[0-9]+     Optimal\n"))) << run.result.out;
        EXPECT_EQ(run.result.err, "");
        const std::vector<std::string> rows = test::table_rows(run.dir.read("output.txt"), test::displacement_table);
        ASSERT_EQ(rows.size(), 16u);
        for (std::size_t k = 0; k < 16; ++k) {
            const std::size_t column = k % 4, row = k / 4;  // node k + 1 at (column, row) / 2
            const double x = double(column) * 0.5, y = double(row) * 0.5;
            EXPECT_NEAR(test::field(rows[k], 1, 20), (l1 - 1) * x, tol) << rows[k];
            EXPECT_NEAR(test::field(rows[k], 2, 20), (l2 - 1) * y, tol) << rows[k];
            EXPECT_EQ(test::field(rows[k], 3, 20), 0.0) << rows[k];
        }
    }
}

// A strip of 181 x 181 cells, its end x = 0 held in x (node 1 also in y)
// and every node in z, has 2 x 182^2 - 183 = 66065 free degrees of
// freedom: more than the packed matrix of bfgs can hold. The run stops
// where the minimiser starts, after the deck, and says what to use instead.
TEST(Methods, BfgsRefusesMoreThan65535DegreesOfFreedom) {
    test::mesh::strip s = test::mesh::unit_cells(181, 181);
    s.load_x = 1;
    s.reference_residue = 1, s.max_iterations = 10;
    test::model_run run(test::text_of(s), {"--method", "bfgs"});
    EXPECT_EQ(run.result.status, 1);
    EXPECT_EQ(run.result.out, "");
    EXPECT_EQ(run.result.err,
              "\nraised STORAGE_ERROR : bfgs holds a dense matrix of n (n + 1) / 2 reals and takes "
              "at most 65535 degrees of freedom; this model has 66065: use --method lbfgs\n");
    EXPECT_TRUE(run.dir.read("ansys.txt").ends_with("\nFINISH\n"));
    EXPECT_FALSE(run.dir.has("autocad.scr") || run.dir.has("output.txt"));
}

// --increments takes a whole number of at least 1: anything else is a
// malformed command line, refused before "input.txt" is read.
TEST(Methods, IncrementsOtherThanAWholeNumberOfAtLeastOneAreRefused) {
    for (const auto& [value, message] : {std::pair{"0", "expected a whole number of at least 1"},
                                         {"-2", "expected a whole number of at least 1"},
                                         {"two", "expected a whole number, found \"two\""}}) {
        SCOPED_TRACE(value);
        test::scratch_dir dir;
        dir.write("input.txt", test::strip().text());
        for (const char* file : output_files) dir.write(file, earlier);
        const test::run_result r = test::run_velmora(dir.path(), {"--method", "newton", "--increments", value});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err,
                  std::string("velmora: --increments: ") + message + "\nTry 'velmora --help' for the options.\n");
        for (const char* file : output_files) EXPECT_EQ(dir.read(file), earlier) << file;
    }
}

// The summary "N iterations, E objective evaluations, T s" after any
// updates: N as in the verdict, E at least one per line search and one at
// the start. Standard output and the files are those of the run without
// options; the last of --progress and --no-progress counts.
TEST(Progress, OnRequestOnStandardErrorAlone) {
    const std::regex summary(
        "(iteration [^\n]+\n)*([0-9]+) iterations, ([0-9]+) objective evaluations, "
        "[0-9]+\\.[0-9][0-9] s\n");
    const std::string input = test::read_file(reference("strip_example") / "input.txt");
    const std::string expected_out = test::read_file(reference("strip_example") / "expected" / "stdout.txt");
    for (const auto& [arguments, shown] : {std::pair{std::vector<std::string>{"--progress"}, true},
                                           {{"--no-progress", "--progress"}, true},
                                           {{"--progress", "--no-progress"}, false}}) {
        SCOPED_TRACE(arguments.front());
        test::model_run run(input, arguments);
        EXPECT_EQ(run.result.status, 0);
        EXPECT_EQ(run.result.out, expected_out);
        expect_reference_files(run.dir.path(), "strip_example");
        if (!shown) {
            EXPECT_EQ(run.result.err, "");
            continue;
        }
        std::smatch m;
        ASSERT_TRUE(std::regex_match(run.result.err, m, summary)) << run.result.err;
        EXPECT_EQ(m[2].str(), "18");
        EXPECT_GE(std::stoi(m[3].str()), 19);
    }
}

// On a terminal (a pseudo-terminal made by script(1)) progress is on by
// default, as one line rewritten in place; --no-progress turns it off.
TEST(Progress, OnByDefaultOnATerminal) {
    if (std::system("command -v script > /dev/null 2>&1") != 0) GTEST_SKIP() << "script(1) is not installed";
    for (const bool off : {false, true}) {
        test::scratch_dir dir;
        dir.write("input.txt", test::strip().text());
        const std::string command = std::string("'" VELMORA_BINARY "'") + (off ? " --no-progress" : "");
        const std::string line = "cd " + test::shell_word(dir.path().string()) + " && script -qec " +
                                 test::shell_word(command) + " /dev/null > .tty < /dev/null";
        ASSERT_EQ(std::system(line.c_str()), 0);
        const std::string screen = dir.read(".tty");
        EXPECT_NE(screen.find("Minor =    18     Optimal"), std::string::npos) << screen;
        EXPECT_EQ(screen.find("\r18 iterations, ") != std::string::npos, !off) << screen;
        EXPECT_EQ(screen.find("objective evaluations") != std::string::npos, !off) << screen;
    }
}

}  // namespace
