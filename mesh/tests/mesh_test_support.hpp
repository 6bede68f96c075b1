// Runs of the built programs in scratch directories, and checks of a
// finished run, for the tests of velmora-mesh.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "mesh_error.hpp"
#include "program_run.hpp"
#include "read/input.hpp"

namespace mesh_test {

namespace fs = std::filesystem;
using test::scratch_dir;

// Runs program (velmora-mesh by default) with args, which hold no quote, in
// dir; its output goes through files left in dir.
inline test::run_result run(const fs::path& dir, const std::vector<std::string>& args,
                            const std::string& program = VELMORA_MESH_BINARY) {
    std::string command = "cd '" + dir.string() + "' && '" + program + "'";
    for (const std::string& a : args) command += " '" + a + "'";
    const int raw = std::system((command + " > .stdout 2> .stderr").c_str());
    return {raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, test::read_file(dir / ".stdout"),
            test::read_file(dir / ".stderr")};
}

// The message of the mesh_error that f throws, or "(accepted)".
template <class F>
std::string refusal(F f) {
    try {
        f();
    } catch (const velmora::mesh::mesh_error& e) {
        return e.what();
    }
    return "(accepted)";
}

// velmora on dir/input.txt met its residue test.
inline bool converged(const fs::path& dir) {
    const test::run_result r = test::run_velmora(dir);
    return r.status == 0 && r.out.find("Optimal") != std::string::npos &&
           r.out.find("NOT Optimal") == std::string::npos;
}

// A model file as velmora reads it.
inline velmora::model model_of(const std::string& text) {
    velmora::model m;
    velmora::read_model(m, text, "input.txt");
    return m;
}

// The reactions of the finished run in dir balance its loads, and outside
// readers accept the exported files (check_export.py); skipped without
// Python or its VTK modules.
inline void check_export(const fs::path& dir) {
    if (std::string(VELMORA_PYTHON).empty()) GTEST_SKIP() << "no python3";
    const auto r = run(dir, {SOURCE_DIR "/mesh/tests/check_export.py", dir.string(), VELMORA_RSVG}, VELMORA_PYTHON);
    if (r.status == 77) GTEST_SKIP() << r.out;
    EXPECT_EQ(r.status, 0) << r.out << r.err;
}

}  // namespace mesh_test
