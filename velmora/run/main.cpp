// velmora: static large-deformation analysis of a hyperelastic solid meshed
// with constant-strain triangles. Reads "input.txt", writes "ansys.txt",
// "autocad.scr" and "output.txt" and a verdict on standard output.
//
// Every failure ends up here: a line end, "raised ", the failure's name,
// " : " and its message on standard error, and exit status 1. A malformed
// command line is refused before anything is read: status 2.
#include <unistd.h>

#include <cerrno>
#include <cfenv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "cli.hpp"
#include "model/failures.hpp"
#include "run/command_line.hpp"
#include "run/run.hpp"

namespace {

int report(const char* name, const char* message) {
    std::fflush(stdout);
    std::fprintf(stderr, "\nraised %s : %s\n", name, message);
    return 1;
}

// Changes the working directory, as -C asks.
void enter(const std::string& directory) {
    if (chdir(directory.c_str()) != 0)
        throw velmora::failure(velmora::name_error,
                               "cannot change to directory \"" + directory + "\": " + std::strerror(errno));
}

// Help and version on standard output; a text that cannot be written is a failure.
int print(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return report(velmora::use_error, "cannot write to standard output");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    velmora::stop_idle_threads();
    velmora::command c;
    try {
        c = velmora::parse_command(argc, argv);
    } catch (const velmora::cli::usage_error& e) {
        return velmora::cli::refused("velmora", e);
    }
    if (c.help) return print(velmora::usage_text());
    if (c.version) return print("velmora " VELMORA_VERSION "\n");
    const bool terminal = isatty(STDERR_FILENO) == 1;
    c.settings.progress = c.progress.value_or(terminal);
    c.settings.progress_in_place = terminal;

    // Every floating-point exception masked: x/0 gives an infinity, an
    // invalid operation a NaN, and the run goes on.
    std::fenv_t environment;
    std::feholdexcept(&environment);
    try {
        for (const std::string& directory : c.directories) enter(directory);
        velmora::run(c.settings);
        return 0;
    } catch (const terms::failure& f) {
        return report(f.name().c_str(), f.what());
    } catch (const std::bad_alloc&) {
        return report(velmora::storage_error, "out of memory");
    } catch (const std::exception& e) {
        return report(velmora::program_error, e.what());
    } catch (...) {
        return report(velmora::program_error, "unknown exception");
    }
}
