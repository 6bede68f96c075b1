// Scratch directories and runs of the built programs for the tests of
// velmora-mesh.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace mesh_test {

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
        std::string pattern = (fs::temp_directory_path() / "velmora-mesh-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    ~scratch_dir() {
        std::error_code ignored;
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

// Appends s to out in single quotes for the shell.
inline void append_quoted(std::string& out, const std::string& s) {
    out += '\'';
    for (char c : s) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    out += '\'';
}

// Runs program with the arguments in dir.
inline run_result run(const fs::path& dir, const std::string& program, const std::vector<std::string>& args = {}) {
    std::string command = "cd ";
    append_quoted(command, dir.string());
    command += " && ";
    append_quoted(command, program);
    for (const std::string& a : args) {
        command += ' ';
        append_quoted(command, a);
    }
    command += " > .stdout 2> .stderr";
    const int raw = std::system(command.c_str());
    run_result r;
    if (raw != -1 && WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
    r.out = read_file(dir / ".stdout");
    r.err = read_file(dir / ".stderr");
    fs::remove(dir / ".stdout");
    fs::remove(dir / ".stderr");
    return r;
}

inline run_result run_velmora(const fs::path& dir) { return run(dir, VELMORA_BINARY); }

inline run_result run_mesh(const fs::path& dir, const std::vector<std::string>& args) {
    return run(dir, VELMORA_MESH_BINARY, args);
}

// True when the verdict says the run met its residue test.
inline bool converged(const run_result& r) {
    return r.status == 0 && r.out.find("Optimal") != std::string::npos &&
           r.out.find("NOT Optimal") == std::string::npos;
}

}  // namespace mesh_test
