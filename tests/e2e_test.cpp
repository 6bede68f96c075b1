// Whole runs on the reference models: console output, exit status and
// every output file must match the reviewed expected files byte for byte,
// and no file may appear that the expected run did not write.
#include <gtest/gtest.h>

#include "program_run.hpp"

namespace {

using test::fs::path;

const char* const output_files[] = {"ansys.txt", "autocad.scr", "output.txt"};

class reference_run : public testing::TestWithParam<const char*> {};

TEST_P(reference_run, reproduces_every_byte) {
    const path folder = path(VELMORA_TEST_DATA) / "reference" / GetParam();
    const path expected = folder / "expected";
    test::model_run run(test::read_file(folder / "input.txt"));

    EXPECT_EQ(run.result.out, test::read_file(expected / "stdout.txt"));
    EXPECT_EQ(std::to_string(run.result.status) + "\n", test::read_file(expected / "exit_code.txt"));
    for (const char* name : output_files) {
        if (test::fs::exists(expected / name)) {
            ASSERT_TRUE(run.dir.has(name)) << name;
            EXPECT_EQ(run.dir.read(name), test::read_file(expected / name)) << name;
        } else {
            EXPECT_FALSE(run.dir.has(name)) << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(reference, reference_run,
                         testing::Values("strip_example", "neo_plate_forces", "tilted_membrane_forces",
                                         "format_ties", "mr_plate_displ", "kind3_refpos"));

// Two runs of the same model give the same bytes.
TEST(determinism, two_runs_are_identical) {
    const std::string input = test::read_file(path(VELMORA_TEST_DATA) / "reference" / "strip_example" / "input.txt");
    test::model_run first(input);
    test::model_run second(input);
    EXPECT_EQ(first.result.out, second.result.out);
    for (const char* name : output_files) EXPECT_EQ(first.dir.read(name), second.dir.read(name)) << name;
}

}  // namespace
