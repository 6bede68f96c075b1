// The options of velmora and the text of --help.
#include "run/command_line.hpp"

#include <string_view>

#include "cli.hpp"
#include "run/methods.hpp"

namespace velmora {

namespace {

using cli::quoted;
using cli::refuse;

// "lbfgs, mbfgs or bfgs".
std::string method_names() {
    std::string names;
    const auto all = methods();
    for (std::size_t k = 0; k < all.size(); ++k) {
        if (k > 0) names += k + 1 == all.size() ? " or " : ", ";
        names += all[k].name;
    }
    return names;
}

// text broken at blanks into lines of at most width characters, each
// after indent blanks and ending with a line end.
std::string wrapped(std::string_view text, std::size_t indent, std::size_t width) {
    std::string lines, line;
    while (!text.empty()) {
        const std::size_t blank = text.find(' ');
        const std::string_view word = text.substr(0, blank);
        text = blank == std::string_view::npos ? std::string_view{} : text.substr(blank + 1);
        if (!line.empty() && indent + line.size() + 1 + word.size() > width) {
            lines += std::string(indent, ' ') + line + "\n";
            line.clear();
        }
        if (!line.empty()) line += ' ';
        line += word;
    }
    if (!line.empty()) lines += std::string(indent, ' ') + line + "\n";
    return lines;
}

// "57,12,3": node numbers of at least 1, each once, separated by commas.
std::vector<int> node_list(std::string_view option, std::string_view list) {
    std::vector<int> nodes;
    while (true) {
        const std::size_t comma = list.find(',');
        const int node = cli::whole_number(option, list.substr(0, comma));
        if (node < 1) refuse(std::string(option) + ": node numbers start at 1, found " + std::to_string(node));
        for (const int before : nodes)
            if (before == node) refuse(std::string(option) + ": node " + std::to_string(node) + " given twice");
        nodes.push_back(node);
        if (comma == std::string_view::npos) return nodes;
        list.remove_prefix(comma + 1);
    }
}

}  // namespace

command parse_command(int argc, char** argv) {
    command c;
    cli::arguments a(argc, argv, 1);
    while (a.next()) {
        const std::string_view name = a.name();
        if (name == "-h" || name == "--help")
            a.flag(), c.help = true;
        else if (name == "--version")
            a.flag(), c.version = true;
        else if (name == "-C" || name == "--directory") {
            const std::string_view dir = a.value();
            if (dir.empty()) refuse(std::string(name) + " needs a directory name");
            c.directories.emplace_back(dir);
        } else if (name == "--method") {
            const std::string_view value = a.value();
            if (find_method(value) == nullptr)
                refuse("--method: expected " + method_names() + ", found " + quoted(value));
            c.settings.method = std::string(value);
        } else if (name == "--increments") {
            c.settings.increments = a.whole();
            if (c.settings.increments < 1) refuse("--increments: expected a whole number of at least 1");
        } else if (name == "--path") {
            const std::string_view value = a.value();
            if (value != "increments" && value != "arclength")
                refuse("--path: expected increments or arclength, found " + quoted(value));
            c.settings.arc_length = value == "arclength";
        } else if (name == "--history") {
            const std::string_view file = a.value();
            if (file.empty()) refuse("--history needs a file name");
            c.settings.history = std::string(file);
        } else if (name == "--follow") {
            c.settings.follow = node_list(name, a.value());
        } else if (name == "--progress")
            a.flag(), c.progress = true;
        else if (name == "--no-progress")
            a.flag(), c.progress = false;
        else if (name.starts_with("-"))
            refuse("unknown option " + quoted(name));
        else
            refuse("unexpected argument " + quoted(a.arg()) + " (velmora reads \"input.txt\"; -C DIR runs in DIR)");
    }
    const bool newton = c.settings.method == "newton";
    if (!newton && (c.settings.arc_length || !c.settings.history.empty() || !c.settings.follow.empty()))
        refuse("--path, --history and --follow are options of --method newton");
    if (!c.settings.follow.empty() && c.settings.history.empty())
        refuse("--follow: the followed displacements go into the history; give --history FILE");
    return c;
}

std::string usage_text() {
    std::string text = R"(Usage: velmora [OPTION]...
Finds the static equilibrium of a hyperelastic solid meshed with triangles,
as the minimum of its total potential energy. Reads the model "input.txt"
from the working directory and writes there:
  ansys.txt     the model as an ANSYS input deck (before the minimisation)
  autocad.scr   an AutoCAD script drawing the initial and the deformed mesh
  output.txt    the report: energy, displacements, stresses, reactions
and the verdict on standard output: "Minor = " with the iteration count,
then "Optimal" or "NOT Optimal". Without options this is the whole run.
Options take their value as the next argument or after '='.

Options:
  -C DIR, --directory DIR  run in DIR: read DIR/input.txt and write the
                           three files there (default: the working
                           directory); several combine as git -C does:
                           -C a -C b runs in a/b, an absolute DIR starts
                           afresh
  --method NAME            the minimiser (default lbfgs):
)";
    // A method this build lacks says so under its entry, with what it needs.
    constexpr std::size_t description_column = 37, help_width = 80;
    for (const method& m : methods()) {
        std::string entry = "                             " + std::string(m.name);
        entry.resize(description_column, ' ');
        text += entry + std::string(m.description) + "\n";
        if (m.minimise == nullptr)
            text += wrapped("not in this build: it needs " + std::string(m.missing), description_column, help_width);
    }
    text += R"(                           each with the controls of "input.txt" (line search,
                           tolerance, iteration limit; memory: lbfgs only)
  --increments N           newton: apply the loads in N equal increments, each
                           halved where it fails (default: adaptive, the
                           whole load first, halved where it fails); with
                           --path arclength, arcs of the response to 1/N
  --path NAME              newton: how the loads are followed: increments
                           (default) or arclength, arc-length continuation
                           of one load factor through limit points, which
                           are reported
  --history FILE           newton: write the load history to FILE, a CSV of
                           one row per equilibrium reached
  --follow NODE[,NODE...]  with --history: the displacements of these nodes
                           in the history, columns u<node>_x, _y, _z
  --progress               show the progress of the minimisation on standard
                           error: at most five updates a second, then one line
                           with iterations, objective evaluations and time
  --no-progress            do not show it (default: shown when standard error
                           is a terminal)
  -h, --help               show this help and exit
  --version                show the version and exit

Exit status: 0 after a complete run, "Optimal" or not; 1 when the run failed
(a report "raised NAME : message" on standard error, and the files written
before the failure stay); 2 for a malformed command line (nothing is read
or written).
)";
    return text;
}

}  // namespace velmora
