// velmora-mesh arch: the model of a shallow arch pressed or moved at its
// crown (arch.hpp).
#include <cstdio>
#include <string>

#include "arch.hpp"
#include "commands.hpp"
#include "file_text.hpp"
#include "material_options.hpp"

namespace velmora::mesh {

namespace {

const char* const arch_usage = R"(Usage: velmora-mesh arch --force F|--drop D [OPTION]...
Writes the model file "input.txt" of velmora for a shallow circular arch
in the plane z = 0: its mid-surface an arc of the given span and rise over
the x axis, symmetric about x = 0, the section DEPTH deep, in CELLS cells
along the arc and LAYERS layers through it (both even), each cell cut into
two triangles along the diagonal that points away from the crown. The
mid-depth node of each end is pinned (held in x and y), every node is held
in z, and the top node of the crown carries a downward force, or is moved
down. Past a limit load the arch snaps through: follow its load path with
velmora --method newton --path arclength. Options take their value as the
next argument or after '='.

Arch:
  --span S               distance between the ends (default 10)
  --rise R               height of the crown over the ends (default 0.4)
  --depth H              depth of the section (default 0.2)
  --cells N              cells along the arc, even (default 40)
  --layers N             layers of cells through the depth, even (default 2)
The crown (one of):
  --force F              a downward force F at the top node of the crown
  --drop D               the top node of the crown moved down by D
Material (default neo-Hookean, mu 100, bulk 200, thickness 1):
  --law neo|mr, --mu MU, --c10 C10, --c01 C01, --bulk K, --thickness T
Solver controls (default tolerance 1e-10, 500 iterations):
  --eta E, --search-limit N, --tolerance T, --reference-residue R,
  --max-iterations N, --memory M
Output:
  -o, --output FILE      write to FILE instead of standard output ('-': standard output)
  -h, --help             show this help and exit

Once the model is written, one line on standard error says where it went,
with the numbers of nodes and elements, and the node of the crown.

Exit status: 0 when the file was written, 1 when it could not be written,
2 for a malformed command line.
Example: velmora-mesh arch --force 0.03 -o input.txt
)";

struct arch_request {
    arch a;
    std::string output = "-";
    bool help = false;
};

arch_request parse(int argc, char** argv) {
    arch_request c;
    arch& a = c.a;
    cli::material_flags flags;
    cli::arguments args(argc, argv, 2);
    while (args.next()) {
        const std::string_view name = args.name();
        if (name == "-h" || name == "--help")
            c.help = true;
        else if (cli::take_setting(args, a, flags))
            continue;
        else if (name == "--span")
            a.span = args.real();
        else if (name == "--rise")
            a.rise = args.real();
        else if (name == "--depth")
            a.depth = args.real();
        else if (name == "--cells")
            a.cells = args.whole();
        else if (name == "--layers")
            a.layers = args.whole();
        else if (name == "--force")
            a.force = args.real();
        else if (name == "--drop")
            a.drop = args.real();
        else if (name == "-o" || name == "--output")
            c.output = std::string(args.value());
        else if (name.starts_with("-"))
            cli::refuse("unknown option " + cli::quoted(name));
        else
            cli::refuse("unexpected argument " + cli::quoted(args.arg()) + " (every value follows its option)");
    }
    if (c.help) return c;
    cli::settle_law(flags, a);
    if (const std::string why = problem(a); !why.empty()) cli::refuse(why);
    if (c.output.empty()) cli::refuse("--output needs a file name");
    return c;
}

}  // namespace

int arch_command(int argc, char** argv) {
    arch_request c;
    try {
        c = parse(argc, argv);
    } catch (const cli::usage_error& e) {
        return cli::refused("velmora-mesh arch", e);
    }
    if (c.help) {
        std::fputs(arch_usage, stdout);
        return 0;
    }
    std::string text;
    write(c.a, text);
    const bool to_stdout = c.output == "-";
    if (to_stdout) {
        if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
            std::fputs("velmora-mesh arch: cannot write standard output\n", stderr);
            return cli::failure_status;
        }
    } else if (const std::string why = write_text(c.output, text); !why.empty()) {
        std::fprintf(stderr, "velmora-mesh arch: cannot write %s: %s\n", cli::quoted(c.output).c_str(), why.c_str());
        return cli::failure_status;
    }
    std::fprintf(stderr, "velmora-mesh arch: wrote %s: %lld nodes, %lld elements, the crown node %lld\n",
                 to_stdout ? "the model to standard output" : cli::quoted(c.output).c_str(), node_count(c.a),
                 element_count(c.a), crown(c.a));
    return 0;
}

}  // namespace velmora::mesh
