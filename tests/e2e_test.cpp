// Whole runs on the reference models: console output, exit status and
// every output file must match the reviewed expected files byte for byte,
// and no file may appear that the expected run did not write.
#include <gtest/gtest.h>

#include "program_run.hpp"

namespace {

using test::fs::path;

class ReferenceRun : public testing::TestWithParam<const char*> {};

TEST_P(ReferenceRun, ReproducesEveryByte) {
    const path folder = path(VELMORA_TEST_DATA) / "reference" / GetParam();
    const path expected = folder / "expected";
    test::model_run run(test::read_file(folder / "input.txt"));
    EXPECT_EQ(run.result.out, test::read_file(expected / "stdout.txt"));
    EXPECT_EQ(std::to_string(run.result.status) + "\n", test::read_file(expected / "exit_code.txt"));
    for (const char* name : {"ansys.txt", "autocad.scr", "output.txt"}) {
        ASSERT_EQ(run.dir.has(name), test::fs::exists(expected / name)) << name;
        if (run.dir.has(name)) {
            EXPECT_EQ(run.dir.read(name), test::read_file(expected / name)) << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Reference, ReferenceRun,
                         testing::Values("strip_example", "neo_plate_forces", "tilted_membrane_forces", "format_ties",
                                         "mr_plate_displ", "kind3_refpos"),
                         [](const auto& info) { return test::folder_test_name(info.param); });

}  // namespace
