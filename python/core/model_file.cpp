// The model file of a model record. See model_file.hpp.
#include "model_file.hpp"

#include <charconv>
#include <cmath>
#include <string>

#include "write/text_file.hpp"

namespace velmora::python {

namespace {

void real(text_file& f, double v) {
    char buffer[32];  // "-2.2250738585072014e-308" is 24 characters
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    f.put(std::string_view(buffer, static_cast<std::size_t>(r.ptr - buffer)));
}

void integer(text_file& f, long long v) { f.put_integer(v, 0); }

void line(text_file& f, std::string_view text) {
    f.put(text);
    f.new_line();
}

// One support or load record per direction that has one.
template <class Has>
void records(text_file& f, const model& m, const fmat2& values, const char* header, Has has) {
    long long count = 0;
    for (int i = 1; i <= m.node_count; ++i)
        for (int d = 1; d <= 3; ++d) count += has(i, d) ? 1 : 0;
    line(f, header);
    integer(f, count);
    f.new_line();
    if (count == 0) return;
    line(f, "node direction value");
    for (int i = 1; i <= m.node_count; ++i)
        for (int d = 1; d <= 3; ++d)
            if (has(i, d)) {
                integer(f, i);
                f.put(' ');
                integer(f, d);
                f.put(' ');
                real(f, values(i, d));
                f.new_line();
            }
}

}  // namespace

void write_model_file(const model& m, const std::string& name, const std::string& directory) {
    text_file f(name, directory);
    f.put("velmora model: ");
    integer(f, m.node_count);
    f.put(" nodes, ");
    integer(f, m.element_count());
    line(f, " elements");
    line(f, ": control  eta, search limit, tolerance, reference residue, iteration limit, memory");
    real(f, m.eta);
    f.put(' ');
    integer(f, m.search_limit);
    f.put(' ');
    real(f, m.tolerance);
    f.put(' ');
    real(f, m.reference_residue);
    f.put(' ');
    integer(f, m.max_iterations);
    f.put(' ');
    integer(f, m.memory);
    f.new_line();

    line(f, ": material  thickness, kind (1 neo-Hookean: mu bulk; 2 Mooney-Rivlin: c10 c01 bulk)");
    real(f, m.thickness);
    f.put(' ');
    integer(f, m.material_input_kind);
    if (m.material) {
        const mat_rec& w = *m.material;
        const bool neo = w.kind() == material_law::neo_hookean;
        const double constants[3] = {neo ? w.mu() : w.c10(), neo ? w.bulk() : w.c01(), neo ? 0.0 : w.bulk()};
        for (int k = 0; k < (neo ? 2 : 3); ++k) {
            f.put(' ');
            real(f, constants[k]);
        }
    }
    f.new_line();

    line(f, ": nodes");
    integer(f, m.node_count);
    f.new_line();
    line(f, "node x y z");
    for (int i = 1; i <= m.node_count; ++i) {
        integer(f, i);
        for (const double v : {m.x(i), m.y(i), m.z(i)}) {
            f.put(' ');
            real(f, v);
        }
        f.new_line();
    }

    line(f, ": elements");
    integer(f, m.element_count());
    f.new_line();
    line(f, "element first second third");
    for (int e = 1; e <= m.element_count(); ++e) {
        integer(f, e);
        for (int k = 1; k <= 3; ++k) {
            f.put(' ');
            integer(f, m.elements(e).node(k));
        }
        f.new_line();
    }

    // A load of 0 is no record, unless it is -0, which the record keeps.
    records(f, m, m.prescribed, ": supports  directions 1 2 3 = x y z, prescribed displacement",
            [&m](int i, int d) { return m.dof_number(i, d) != 0; });
    records(f, m, m.force, ": loads  directions 1 2 3 = x y z, force",
            [&m](int i, int d) { return m.force(i, d) != 0.0 || std::signbit(m.force(i, d)); });
    f.close();
}

}  // namespace velmora::python
