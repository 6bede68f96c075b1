// The benchmarks' main: runs them in a scratch directory, where the writer
// benchmarks leave their files, and removes it afterwards.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "velmora-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("velmora_bench: cannot create a scratch directory");
        return 1;
    }
    const fs::path scratch = pattern;
    const fs::path home = fs::current_path();
    fs::current_path(scratch);

    benchmark::Initialize(&argc, argv);
    int status = 0;
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        status = 1;
    } else {
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    }

    fs::current_path(home);
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
    return status;
}
