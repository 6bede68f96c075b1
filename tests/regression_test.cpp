// Whole runs on generated strips of about 10^4 elements whose output files
// were recorded before the inner loops were optimised: the SHA-256 of each
// file must stay the same, so no optimisation changes a result byte
// unnoticed. The runs end at their iteration limit (NOT Optimal), so every
// line search contributes.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "program_run.hpp"

namespace {

using test::fs::path;

// The digest of a file as sha256sum prints it.
std::string sha256_of(const path& file) {
    std::FILE* pipe = popen(("sha256sum '" + file.string() + "'").c_str(), "r");
    if (pipe == nullptr) return "popen failed";
    char digest[65] = {};
    const std::size_t n = std::fread(digest, 1, 64, pipe);
    pclose(pipe);
    return std::string(digest, n);
}

class RecordedRun : public testing::TestWithParam<const char*> {};

TEST_P(RecordedRun, OutputFilesKeepTheirDigests) {
    const path folder = path(VELMORA_TEST_DATA) / "regression" / GetParam();
    test::model_run run(test::read_file(folder / "input.txt"));
    ASSERT_EQ(run.result.status, 0) << run.result.err;
    EXPECT_EQ(run.result.out, test::read_file(folder / "stdout.txt"));
    std::istringstream recorded(test::read_file(folder / "expected.sha256"));
    std::string digest, name;
    int files = 0;
    for (; recorded >> digest >> name; ++files) {
        ASSERT_TRUE(run.dir.has(name)) << name;
        EXPECT_EQ(sha256_of(run.dir / name), digest) << name;
    }
    EXPECT_EQ(files, 3);
}

INSTANTIATE_TEST_SUITE_P(Strips, RecordedRun, testing::Values("mr_load", "neo_odd"),
                         [](const auto& info) { return test::folder_test_name(info.param); });

}  // namespace
