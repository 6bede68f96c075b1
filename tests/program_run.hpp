// Runs the built velmora in a scratch directory and collects what it left:
// standard output, standard error, exit status and the output files.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

namespace test {

namespace fs = std::filesystem;

inline std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// A fresh directory under the system's temporary directory, removed at the end.
class scratch_dir {
public:
    scratch_dir() {
        std::string pattern = (fs::temp_directory_path() / "velmora-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    ~scratch_dir() {
        std::error_code ignored;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path_, ignored);
    }
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;

    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    bool has(const std::string& name) const { return fs::exists(path_ / name); }
    std::string read(const std::string& name) const { return read_file(path_ / name); }
    void write(const std::string& name, const std::string& text) const { write_file(path_ / name, text); }

private:
    fs::path path_;
};

struct run_result {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs the program with dir as its working directory.
inline run_result run_velmora(const fs::path& dir) {
    const std::string command = "cd '" + dir.string() + "' && '" VELMORA_BINARY "' > .stdout 2> .stderr";
    const int raw = std::system(command.c_str());
    run_result r;
    if (raw != -1 && WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
    r.out = read_file(dir / ".stdout");
    r.err = read_file(dir / ".stderr");
    fs::remove(dir / ".stdout");
    fs::remove(dir / ".stderr");
    return r;
}

// Runs the program on the given "input.txt" text in a fresh directory.
struct model_run {
    scratch_dir dir;
    run_result result;
    explicit model_run(const std::string& input) {
        dir.write("input.txt", input);
        result = run_velmora(dir.path());
    }
};

}  // namespace test
