// velmora-mesh: writes the "input.txt" of a rectangular strip of triangles
// for velmora, to standard output or to a file; with a subcommand, imports
// a gmsh mesh ("import"), exports the results of a run ("export"), draws
// a load history ("plot") or writes a shallow arch ("arch").
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "commands.hpp"
#include "material_options.hpp"
#include "strip.hpp"

namespace {

using velmora::mesh::strip;
using velmora::mesh::cli::quoted;
using velmora::mesh::cli::refuse;
using velmora::mesh::cli::usage_error;

constexpr int output_status = velmora::mesh::cli::failure_status;  // the file could not be written

const char* const usage_text = R"(Usage: velmora-mesh --stretch DX|--load-x F|--load-y F [OPTION]...
       velmora-mesh import MESH [OPTION]...   (velmora-mesh import --help)
       velmora-mesh export [OPTION]...        (velmora-mesh export --help)
       velmora-mesh plot [HISTORY] [OPTION]...  (velmora-mesh plot --help)
       velmora-mesh arch --force F|--drop D [OPTION]...  (velmora-mesh arch --help)
With a subcommand: "import" writes "input.txt" from a gmsh mesh (.msh) or
geometry script (.geo); "export" writes result.vtu (for ParaView) and
result.svg (a picture) from the "input.txt" and "output.txt" of a run;
"plot" draws the load history of "velmora --history" as a curve (SVG);
"arch" writes "input.txt" for a shallow arch pressed at its crown.

Without one: writes the model file "input.txt" of velmora for a
rectangular strip of NX by NY cells over [0, LENGTH] x [0, HEIGHT] in the
plane z = 0, two triangles per cell, nodes numbered row by row from the
corner (0, 0).
The end x = 0 is held in x, its node at y = 0 also in y, every node in z;
the end x = LENGTH is stretched by a prescribed x displacement or loaded
by nodal forces (a uniform traction: the two corner nodes take half a
share). Options take their value as the next argument or after '='.

Mesh:
  --nx N                 cells along x (default 10)
  --ny N                 cells along y (default 2)
  --length L             extent in x (default NX: unit square cells)
  --height H             extent in y (default NY)
Material:
  --law neo|mr           neo-Hookean or Mooney-Rivlin (default neo)
  --mu MU                neo-Hookean shear parameter (default 1)
  --c10 C10, --c01 C01   Mooney-Rivlin constants (default 0.4, 0.1)
  --bulk K               bulk modulus (default 50)
  --thickness T          thickness (default 1)
End x = LENGTH (give --stretch, or --load-x and/or --load-y):
  --stretch DX           prescribed x displacement of every end node
  --load-x F             x forces summing to F
  --load-y F             y forces summing to F
Solver controls (defaults as in the strip example):
  --eta E                line-search slope factor (default 0.9)
  --search-limit N       interpolated trials per line search (default 20)
  --tolerance T          relative residue tolerance (default 0.001)
  --reference-residue R  reference force, 0: the start residue (default 0)
  --max-iterations N     iteration limit (default 500)
  --memory M             correction pairs kept (default 7)
Output:
  -o, --output FILE      write to FILE instead of standard output ('-': standard output)
  -h, --help             show this help and exit
  --version              show the version and exit

Once the model is written, one line on standard error says where it went,
with the numbers of nodes and elements.

Exit status: 0 when the file was written, 1 when it could not be written,
2 for a malformed command line.
Example: velmora-mesh --nx 1000 --ny 500 --load-x 5 --max-iterations 20 -o input.txt
)";

struct command {
    strip s;
    std::optional<double> length, height;
    std::string output = "-";
    bool help = false;
    bool version = false;
};

command parse(int argc, char** argv) {
    command c;
    strip& s = c.s;
    velmora::mesh::cli::material_flags flags;
    velmora::mesh::cli::arguments a(argc, argv, 1);
    while (a.next()) {
        const std::string_view name = a.name();
        if (a.arg() == "-h" || a.arg() == "--help")
            c.help = true;
        else if (name == "--version")
            a.flag(), c.version = true;
        else if (velmora::mesh::cli::take_setting(a, s, flags))
            continue;
        else if (name == "--nx")
            s.nx = a.whole();
        else if (name == "--ny")
            s.ny = a.whole();
        else if (name == "--length")
            c.length = a.real();
        else if (name == "--height")
            c.height = a.real();
        else if (name == "--stretch")
            s.stretch = a.real();
        else if (name == "--load-x")
            s.load_x = a.real();
        else if (name == "--load-y")
            s.load_y = a.real();
        else if (name == "-o" || name == "--output")
            c.output = std::string(a.value());
        else if (name.starts_with("-"))
            refuse("unknown option " + quoted(name));
        else
            refuse("unexpected argument " + quoted(a.arg()) + " (every value follows its option)");
    }
    if (c.help || c.version) return c;

    velmora::mesh::cli::settle_law(flags, s);
    if (s.nx < 1 || s.ny < 1) refuse("--nx and --ny must be at least 1");
    s.length = c.length.value_or(s.nx);
    s.height = c.height.value_or(s.ny);
    if (const std::string why = velmora::mesh::problem(s); !why.empty()) refuse(why);
    if (c.output.empty()) refuse("--output needs a file name");
    return c;
}

// Writes the strip to the named file ('-': standard output); false on
// failure, with errno telling why.
bool write_file(const std::string& name, const strip& s) {
    const bool to_stdout = name == "-";
    std::FILE* f = to_stdout ? stdout : std::fopen(name.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = true;
    velmora::mesh::write(s, [&](std::string_view block) {
        if (ok && std::fwrite(block.data(), 1, block.size(), f) != block.size()) ok = false;
    });
    const int write_error = errno;
    const bool closed = (to_stdout ? std::fflush(f) : std::fclose(f)) == 0;
    if (!ok) errno = write_error;
    return ok && closed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string_view(argv[1]) == "import") return velmora::mesh::import_command(argc, argv);
    if (argc > 1 && std::string_view(argv[1]) == "export") return velmora::mesh::export_command(argc, argv);
    if (argc > 1 && std::string_view(argv[1]) == "plot") return velmora::mesh::plot_command(argc, argv);
    if (argc > 1 && std::string_view(argv[1]) == "arch") return velmora::mesh::arch_command(argc, argv);
    command c;
    try {
        c = parse(argc, argv);
    } catch (const usage_error& e) {
        return velmora::mesh::cli::refused("velmora-mesh", e);
    }
    if (c.help) {
        std::fputs(usage_text, stdout);
        return 0;
    }
    if (c.version) {
        std::fputs("velmora-mesh " VELMORA_VERSION "\n", stdout);
        return 0;
    }
    errno = 0;
    if (!write_file(c.output, c.s)) {
        const int error = errno;
        std::fprintf(stderr, "velmora-mesh: cannot write %s: %s\n",
                     c.output == "-" ? "standard output" : quoted(c.output).c_str(),
                     error != 0 ? std::strerror(error) : "write error");
        return output_status;
    }
    // As import and export do: one line on standard error says what was written.
    std::fprintf(stderr, "velmora-mesh: wrote %s: %lld nodes, %lld elements\n",
                 c.output == "-" ? "the model to standard output" : quoted(c.output).c_str(),
                 velmora::mesh::node_count(c.s), velmora::mesh::element_count(c.s));
    return 0;
}
