// The subcommands of velmora-mesh besides the strip generator. Each takes
// the whole command line (argv[1] is the subcommand's name) and returns
// the exit status: 0 done, 1 the work could not be done (a message on
// standard error), 2 a malformed command line.
#pragma once

namespace velmora::mesh {

int import_command(int argc, char** argv);
int export_command(int argc, char** argv);
int plot_command(int argc, char** argv);
int arch_command(int argc, char** argv);

}  // namespace velmora::mesh
