// velmora-mesh import: the model file of velmora from a gmsh mesh or
// geometry script.
#include <cstddef>
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <string>

#include "commands.hpp"
#include "file_text.hpp"
#include "group_name.hpp"
#include "material_options.hpp"
#include "mesh_model.hpp"
#ifdef VELMORA_HAVE_GMSH
#include "gmsh_import.hpp"
#endif

namespace velmora::mesh {

namespace {

const char* const import_usage = R"(Usage: velmora-mesh import MESH [OPTION]...
Writes the model file "input.txt" of velmora from MESH, a gmsh mesh file
of any version gmsh reads (.msh) or a gmsh geometry script (.geo), which is
meshed in 2D on the fly when it brings no mesh of its own.

The body: the 3-node triangles of the one physical surface, or of every
surface when the file names none. Its nodes are numbered 1..n in ascending
order of their gmsh node tag, the triangles 1..m in ascending order of their
gmsh element tag (the input file notes each tag after its record).
Refused: quadrilaterals and other element kinds, volumes, two or more
physical surfaces (velmora has one material), a file without triangles.

Supports and loads: physical points and curves named
  fix x y           held (displacement 0) in x and y; any of x, y, z
  move x 0.25       moved by 0.25 in x; several: move x 0.25 y 0
  load y -10        a total force of -10 in y: on a curve spread in
                    proportion to length (a uniform line load, half of each
                    segment's share to each of its ends), on points split
                    equally; forces of several groups at a node add up
Any other name of a point or curve is refused. When every node lies in one
plane z = constant, every node is also held in z unless a group prescribes
its z displacement.

Material:
  --law neo|mr           neo-Hookean or Mooney-Rivlin (default neo)
  --mu MU                neo-Hookean shear parameter (default 1)
  --c10 C10, --c01 C01   Mooney-Rivlin constants (default 0.4, 0.1)
  --bulk K               bulk modulus (default 50)
  --thickness T          thickness (default 1)
Solver controls:
  --eta E                line-search slope factor (default 0.9)
  --search-limit N       interpolated trials per line search (default 20)
  --tolerance T          relative residue tolerance (default 0.001)
  --reference-residue R  reference force, 0: the start residue (default 0)
  --max-iterations N     iteration limit (default 10000)
  --memory M             correction pairs kept (default 7)
Meshing and supports:
  --size-factor F        multiply gmsh's element sizes by F when it meshes MESH
  --free-z               do not hold the nodes of a plane mesh in z
Output:
  -o, --output FILE      write to FILE instead of standard output ('-': standard output)
  -h, --help             show this help and exit

Once the file is written, one line on standard error says where it went
and how many nodes and elements it holds.

Exit status: 0 when the file was written, 1 when MESH cannot be read or
represented or the file cannot be written, 2 for a malformed command line.
Example: velmora-mesh import plate_with_hole.geo --bulk 5 -o input.txt
)";

struct import_request {
    std::string mesh;
    import_options options;
    std::optional<double> size_factor;
    std::string output = "-";
    bool help = false;
};

import_request parse(int argc, char** argv) {
    import_request c;
    import_options& o = c.options;
    cli::material_flags flags;
    cli::arguments a(argc, argv, 2);
    while (a.next()) {
        const std::string_view name = a.name();
        if (name == "-h" || name == "--help")
            c.help = true;
        else if (cli::take_setting(a, o, flags))
            continue;
        else if (name == "--size-factor")
            c.size_factor = a.real();
        else if (name == "--free-z")
            o.hold_z = false;
        else if (name == "-o" || name == "--output")
            c.output = std::string(a.value());
        else if (name.starts_with("-") && name != "-")
            cli::refuse("unknown option " + cli::quoted(name));
        else if (c.mesh.empty())
            c.mesh = std::string(a.arg());
        else
            cli::refuse("unexpected argument " + cli::quoted(a.arg()) +
                        " (one mesh file; every value follows its option)");
    }
    if (c.help) return c;
    if (c.mesh.empty()) cli::refuse("import needs a mesh file (.msh or .geo)");
    cli::settle_law(flags, o);
    if (c.size_factor && !(*c.size_factor > 0)) cli::refuse("--size-factor must be greater than 0");
    if (const std::string why = options_problem(o); !why.empty()) cli::refuse(why);
    if (c.output.empty()) cli::refuse("--output needs a file name");
    o.source = c.mesh;
    return c;
}

int report_failure(const std::string& message) {
    std::fprintf(stderr, "velmora-mesh import: %s\n", message.c_str());
    return cli::failure_status;
}

}  // namespace

int import_command(int argc, char** argv) {
    import_request c;
    try {
        c = parse(argc, argv);
    } catch (const cli::usage_error& e) {
        return cli::refused("velmora-mesh import", e);
    }
    if (c.help) {
        std::fputs(import_usage, stdout);
#ifndef VELMORA_HAVE_GMSH
        std::fputs("\nThis velmora-mesh was built without the gmsh SDK: import is not available.\n", stdout);
#endif
        return 0;
    }
#ifdef VELMORA_HAVE_GMSH
    std::string text;
    std::size_t nodes = 0, elements = 0;
    try {
        std::vector<std::string> notes;
        const source_mesh mesh = read_gmsh(c.mesh, gmsh_options{c.size_factor}, notes);
        const imported_model model = build_model(mesh, c.options);
        notes.insert(notes.end(), model.notes.begin(), model.notes.end());
        for (const std::string& note : notes) std::fprintf(stderr, "velmora-mesh import: note: %s\n", note.c_str());
        text = model_text(model, c.options);
        nodes = model.nodes.size(), elements = model.elements.size();
    } catch (const mesh_error& e) {
        return report_failure(e.what());
    } catch (const std::bad_alloc&) {
        return report_failure("out of memory");
    }
    const std::string destination = c.output == "-" ? std::string("standard output") : cli::quoted(c.output);
    if (const std::string why = write_text(c.output, text); !why.empty())
        return report_failure("cannot write " + destination + ": " + why);
    std::fprintf(stderr, "velmora-mesh import: wrote %s: %zu nodes, %zu elements\n",
                 c.output == "-" ? "the model to standard output" : destination.c_str(), nodes, elements);
    return 0;
#else
    return report_failure("this velmora-mesh was built without the gmsh SDK (libgmsh-dev), so it cannot read " +
                          cli::quoted(c.mesh) + "; install libgmsh-dev and build again");
#endif
}

}  // namespace velmora::mesh
