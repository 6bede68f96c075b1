// Replays files through a fuzz target without libFuzzer: the regression
// inputs of fuzz/regressions/ and the seed models, as a test of the normal
// and the sanitizer build. Arguments are files or directories (every file
// in a directory, in name order); a missing path or no input at all fails,
// so that a test cannot pass by replaying nothing.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    for (int k = 1; k < argc; ++k) {
        const fs::path path = argv[k];
        if (fs::is_directory(path)) {
            std::vector<fs::path> found;
            for (const auto& entry : fs::directory_iterator(path))
                if (entry.is_regular_file()) found.push_back(entry.path());
            std::sort(found.begin(), found.end());
            files.insert(files.end(), found.begin(), found.end());
        } else if (fs::is_regular_file(path)) {
            files.push_back(path);
        } else {
            std::fprintf(stderr, "no such file or directory: %s\n", argv[k]);
            return 1;
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "no input to replay\n");
        return 1;
    }
    LLVMFuzzerInitialize(&argc, &argv);
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::fprintf(stderr, "replaying %s\n", file.string().c_str());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::fprintf(stderr, "%zu inputs replayed without a finding\n", files.size());
    return 0;
}
