// velmora-mesh plot: the picture of a load history written by
// velmora --history.
#include <cstdio>
#include <new>
#include <string>

#include "commands.hpp"
#include "file_text.hpp"
#include "history_plot.hpp"
#include "material_options.hpp"
#include "mesh_error.hpp"

namespace velmora::mesh {

namespace {

const char* const plot_usage = R"(Usage: velmora-mesh plot [HISTORY] [OPTION]...
Reads HISTORY (default history.csv), the load history that
"velmora --method newton --history FILE" writes, and draws one of its
columns against another as a curve through its rows, in their order, on
axes with round ticks labelled with the column names: an SVG picture for
any browser, HISTORY with .svg in place of .csv unless -o says otherwise.

Options:
  --x COLUMN             the column across (default: of the displacements of
                         the first node followed, u<node>_x, _y or _z, the
                         one that varies the most; increment where no node
                         is followed)
  --y COLUMN             the column up (default: load, the load factor)
  -o, --output FILE      write the picture to FILE
  -h, --help             show this help and exit

Once it is written, one line on standard error names it with the columns.

Exit status: 0 when the picture was written, 1 when the history cannot be
read, is malformed or lacks a column, or the picture cannot be written, 2
for a malformed command line.
Example: velmora --method newton --path arclength --history history.csv --follow 103
         velmora-mesh plot history.csv --x u103_y
)";

struct plot_request {
    std::string history = "history.csv";
    std::string output, across, up = "load";
    bool help = false;
};

plot_request parse(int argc, char** argv) {
    plot_request c;
    bool named = false;
    cli::arguments a(argc, argv, 2);
    while (a.next()) {
        const std::string_view name = a.name();
        if (name == "-h" || name == "--help")
            c.help = true;
        else if (name == "--x")
            c.across = std::string(a.value());
        else if (name == "--y")
            c.up = std::string(a.value());
        else if (name == "-o" || name == "--output")
            c.output = std::string(a.value());
        else if (name.starts_with("-") && name != "-")
            cli::refuse("unknown option " + cli::quoted(name));
        else if (named)
            cli::refuse("unexpected argument " + cli::quoted(a.arg()) + " (one history at a time)");
        else
            c.history = std::string(a.arg()), named = true;
    }
    if (c.history.empty()) cli::refuse("the history needs a file name");
    if (c.up.empty()) cli::refuse("--y needs a column name");
    if (c.output.empty()) {
        const std::string csv = ".csv";
        const bool has_csv = c.history.size() > csv.size() && c.history.ends_with(csv);
        c.output = (has_csv ? c.history.substr(0, c.history.size() - csv.size()) : c.history) + ".svg";
    }
    return c;
}

int report_failure(const std::string& message) {
    std::fprintf(stderr, "velmora-mesh plot: %s\n", message.c_str());
    return cli::failure_status;
}

// The index of a column the history must have.
int column_of(const history_table& t, const std::string& name, const std::string& file) {
    const int at = t.column(name);
    if (at >= 0) return at;
    std::string names;
    for (const std::string& c : t.columns) names += (names.empty() ? "" : ", ") + c;
    fail(file, " has no column ", cli::quoted(name), " (its columns: ", names, ")");
}

}  // namespace

int plot_command(int argc, char** argv) {
    plot_request c;
    try {
        c = parse(argc, argv);
    } catch (const cli::usage_error& e) {
        return cli::refused("velmora-mesh plot", e);
    }
    if (c.help) {
        std::fputs(plot_usage, stdout);
        return 0;
    }
    std::string svg, across;
    try {
        std::string why;
        const std::optional<std::string> text = read_text(c.history, why);
        if (!text) fail("cannot read ", c.history, ": ", why, " (velmora --method newton --history FILE writes it)");
        const history_table t = read_history(*text, c.history);
        if (t.rows.empty()) fail(c.history, " has no rows: no equilibrium was reached");
        across = c.across.empty() ? default_across(t) : c.across;
        svg = history_svg(t, column_of(t, across, c.history), column_of(t, c.up, c.history), c.history);
    } catch (const mesh_error& e) {
        return report_failure(e.what());
    } catch (const std::bad_alloc&) {
        return report_failure("out of memory");
    }
    if (const std::string why = write_text(c.output, svg); !why.empty())
        return report_failure("cannot write " + cli::quoted(c.output) + ": " + why);
    std::fprintf(stderr, "velmora-mesh plot: wrote %s: %s against %s\n", cli::quoted(c.output).c_str(), c.up.c_str(),
                 across.c_str());
    return 0;
}

}  // namespace velmora::mesh
