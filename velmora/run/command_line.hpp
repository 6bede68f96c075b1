// The command line of velmora: "velmora [OPTION]...". Without options the
// run is the one of record; the options choose the directory, the
// minimiser and the progress display, or ask for the help or the version.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "run/run.hpp"

namespace velmora {

struct command {
    bool help = false;
    bool version = false;
    std::vector<std::string> directories;  // -C DIR, entered in the order given
    run_settings settings;                 // --method, --increments
    std::optional<bool> progress;          // --progress or --no-progress, the last one given
};

// Reads the options; a malformed command line raises cli::usage_error
// before anything else happens.
command parse_command(int argc, char** argv);

// The text of --help.
std::string usage_text();

}  // namespace velmora
