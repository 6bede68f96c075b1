// The rows of the load path. See load_path.hpp.
#include "newton/load_path.hpp"

#include <charconv>

#include "mechanics/mechanics.hpp"

namespace velmora {

namespace {

void put_real(std::string& line, double v) {
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, v);
    line.append(1, ',').append(text, r.ptr);
}

}  // namespace

void load_path::record(const model& m, const nlp::equilibrium_report& r) {
    load_path_row row{r.increment, r.load, r.iterations, r.energy, r.residue, {}, {}};
    fmat2 residual(m.node_count, 3);
    nodal_residuals(m, m.displacement, residual);
    bool moving = false;
    for (int n = 1; n <= m.node_count; ++n)
        for (int d = 1; d <= 3; ++d) moving = moving || (m.is_prescribed(n, d) && m.prescribed(n, d) != 0);
    for (int n = 1; n <= m.node_count; ++n)
        for (int d = 1; d <= 3; ++d)
            if (m.is_prescribed(n, d) && (!moving || m.prescribed(n, d) != 0))
                row.reaction[static_cast<std::size_t>(d - 1)] += residual(n, d);
    for (const int n : follow)
        for (int d = 1; d <= 3; ++d) {
            const int k = m.dof_number(n, d);
            row.followed.push_back(k > m.dof_count ? m.prescribed(n, d) : m.displacement(k));
        }
    rows.push_back(std::move(row));
}

std::string load_path::csv() const {
    std::string text = "increment,load,iterations,energy,residue,reaction_x,reaction_y,reaction_z";
    for (const int n : follow)
        for (const char* d : {"_x", "_y", "_z"}) text += ",u" + std::to_string(n) + d;
    text += '\n';
    for (const load_path_row& row : rows) {
        text += std::to_string(row.increment);
        put_real(text, row.load);
        text += ',' + std::to_string(row.iterations);
        for (const double v : {row.energy, row.residue, row.reaction[0], row.reaction[1], row.reaction[2]})
            put_real(text, v);
        for (const double v : row.followed) put_real(text, v);
        text += '\n';
    }
    return text;
}

}  // namespace velmora
