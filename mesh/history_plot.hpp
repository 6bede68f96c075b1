// The load history of a Newton run (velmora --history) as a picture: one
// column against another as a curve through the rows, in the order of the
// path, on axes whose ticks are round numbers (1, 2 or 5 times a power of
// ten) labelled with the column names. SVG 1.1, for any browser.
#pragma once

#include <string>
#include <vector>

namespace velmora::mesh {

// A CSV of numbers under a header line of column names.
struct history_table {
    std::vector<std::string> columns;
    std::vector<std::vector<double>> rows;  // each as long as columns

    // The index of a column, or -1.
    int column(const std::string& name) const;
};

// Reads the text of a history; a malformed one is a mesh_error that names
// the file and the line.
history_table read_history(const std::string& text, const std::string& file);

// The column plotted across by default: of the columns u<node>_x, _y, _z
// of the first node followed, the one whose values spread the most;
// "increment" where no node is followed.
std::string default_across(const history_table& t);

// An axis from low to high in steps of step, each tick value a whole
// multiple of step, step 1, 2 or 5 times a power of ten, so that about
// `ticks` steps cover [least, most]. An interval of no length is widened
// about its value.
struct axis {
    double low, high, step;
};
axis nice_axis(double least, double most, int ticks = 5);

// The text of a tick value of the axis: as many decimals as the step needs.
std::string tick_label(double value, const axis& a);

// The picture of column y against column x; title names the history.
std::string history_svg(const history_table& t, int x, int y, const std::string& title);

}  // namespace velmora::mesh
