// Runs the built velmora, with or without arguments, in a scratch directory
// and collects what it left: standard output, standard error, exit status
// and the output files.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "test_models.hpp"

namespace test {

struct run_result {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// An argument as the shell reads it back: in single quotes.
inline std::string shell_word(const std::string& word) {
    std::string quoted(1, '\'');
    for (char c : word) {
        if (c == '\'')
            quoted.append("'\\''");
        else
            quoted.push_back(c);
    }
    quoted.push_back('\'');
    return quoted;
}

// Runs the program with dir as its working directory and the given
// arguments, after the shell commands of setup if any (a resource limit, an
// exported variable) in the same shell.
inline run_result run_velmora(const fs::path& dir, const std::vector<std::string>& arguments = {},
                              const std::string& setup = {}) {
    std::string command =
        (setup.empty() ? "" : setup + " && ") + "cd " + shell_word(dir.string()) + " && '" VELMORA_BINARY "'";
    for (const std::string& a : arguments) command.append(1, ' ').append(shell_word(a));
    command.append(" > .stdout 2> .stderr");
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
    explicit model_run(const std::string& input, const std::vector<std::string>& arguments = {}) {
        dir.write("input.txt", input);
        result = run_velmora(dir.path(), arguments);
    }
};

// The test name of a run on the model folder of that name, in the CamelCase
// of the other test names: strip_example becomes StripExample.
inline std::string folder_test_name(const std::string& folder) {
    std::string name;
    bool word_start = true;
    for (const char c : folder) {
        if (c == '_') {
            word_start = true;
            continue;
        }
        name += word_start && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        word_start = false;
    }
    return name;
}

}  // namespace test
