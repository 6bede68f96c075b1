// Scratch directories and runs of the built programs for the tests of
// velmora-mesh.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "test_models.hpp"

namespace mesh_test {

namespace fs = std::filesystem;

// Files and scratch directories as the program's own tests have them.
using test::read_file;
using test::scratch_dir;

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
