// velmora-mesh export: result.vtu and result.svg from the model and the
// report of a finished run.
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <new>
#include <string>

#include "commands.hpp"
#include "file_text.hpp"
#include "material_options.hpp"
#include "mesh_error.hpp"
#include "read/input.hpp"
#include "report_reader.hpp"
#include "results.hpp"
#include "svg_writer.hpp"
#include "vtu_writer.hpp"

namespace velmora::mesh {

namespace {

const char* const export_usage = R"(Usage: velmora-mesh export [OPTION]...
Reads "input.txt" and "output.txt" of a finished velmora run and writes
  result.vtu  a VTK XML unstructured grid (ASCII) for ParaView: the initial
              mesh as triangles, point data "displacement" and "reaction"
              (3 components; reaction 0 where the report lists none) and
              cell data "sigma1", "sigma2", "sigma3";
  result.svg  a picture for any browser: the initial outline (dashed) over
              the deformed mesh, each element coloured by its sigma1, with
              a colour bar.
A missing or truncated report, or one that does not belong to the model in
"input.txt", is refused.

Options:
  -C DIR, --dir DIR      the run's directory (default: the working directory);
                         the results are written there too. Several combine
                         as git -C does: -C a -C b is a/b, an absolute DIR
                         starts afresh
  --vtu FILE             write the grid to FILE instead of DIR/result.vtu
  --svg FILE             write the picture to FILE instead of DIR/result.svg
  --scale S              multiply the displacements of the picture by S (default 1)
  -h, --help             show this help and exit

Once both are written, one line on standard error names them with the
numbers of nodes and elements.

Exit status: 0 when both files were written, 1 when the run's files cannot
be read or do not match, or a result cannot be written, 2 for a malformed
command line.
Example: velmora-mesh export -C run --scale 1
)";

struct export_request {
    std::filesystem::path dir;  // empty: the working directory, and the files' names alone
    std::optional<std::string> vtu, svg;
    double scale = 1;
    bool help = false;
};

export_request parse(int argc, char** argv) {
    export_request c;
    cli::arguments a(argc, argv, 2);
    while (a.next()) {
        const std::string_view name = a.name();
        if (name == "-h" || name == "--help")
            c.help = true;
        else if (name == "-C" || name == "--dir") {
            const std::string_view dir = a.value();
            if (dir.empty()) cli::refuse(std::string(name) + " needs a directory name");
            c.dir /= dir;
        } else if (name == "--vtu")
            c.vtu = std::string(a.value());
        else if (name == "--svg")
            c.svg = std::string(a.value());
        else if (name == "--scale")
            c.scale = a.real();
        else if (name.starts_with("-"))
            cli::refuse("unknown option " + cli::quoted(name));
        else
            cli::refuse("unexpected argument " + cli::quoted(a.arg()) + " (give the run's directory with -C or --dir)");
    }
    if ((c.vtu && c.vtu->empty()) || (c.svg && c.svg->empty())) cli::refuse("--vtu and --svg need a file name");
    return c;
}

int report_failure(const std::string& message) {
    std::fprintf(stderr, "velmora-mesh export: %s\n", message.c_str());
    return cli::failure_status;
}

std::string read_or_throw(const std::string& file, const char* hint) {
    std::string why;
    std::optional<std::string> text = read_text(file, why);
    if (!text) throw mesh_error("cannot read " + file + ": " + why + hint);
    return std::move(*text);
}

}  // namespace

int export_command(int argc, char** argv) {
    export_request c;
    try {
        c = parse(argc, argv);
    } catch (const cli::usage_error& e) {
        return cli::refused("velmora-mesh export", e);
    }
    if (c.help) {
        std::fputs(export_usage, stdout);
        return 0;
    }
    const std::string input_name = (c.dir / "input.txt").string();
    const std::string report_name = (c.dir / "output.txt").string();
    const std::string vtu_name = c.vtu.value_or((c.dir / "result.vtu").string());
    const std::string svg_name = c.svg.value_or((c.dir / "result.svg").string());
    std::string vtu, svg;
    std::size_t nodes = 0, elements = 0;
    try {
        const std::string input = read_or_throw(input_name, "");
        const std::string text = read_or_throw(report_name, " (run velmora first: it writes the report)");
        velmora::model m;
        try {
            velmora::read_model(m, input, input_name);
        } catch (const terms::failure& f) {
            throw mesh_error(f.what());
        }
        const results r = combine(m, read_report(text, report_name), input_name, report_name);
        vtu = vtu_text(r);
        svg = svg_text(r, c.scale);
        nodes = r.points.size(), elements = r.triangles.size();
    } catch (const mesh_error& e) {
        return report_failure(e.what());
    } catch (const std::bad_alloc&) {
        return report_failure("out of memory");
    }
    for (const auto& [name, text] : {std::pair{&vtu_name, &vtu}, std::pair{&svg_name, &svg}})
        if (const std::string why = write_text(*name, *text); !why.empty())
            return report_failure("cannot write " + cli::quoted(*name) + ": " + why);
    std::fprintf(stderr, "velmora-mesh export: wrote %s and %s: %zu nodes, %zu elements\n",
                 cli::quoted(vtu_name).c_str(), cli::quoted(svg_name).c_str(), nodes, elements);
    return 0;
}

}  // namespace velmora::mesh
