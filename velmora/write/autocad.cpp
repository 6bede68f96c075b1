// "autocad.scr": an AutoCAD script that draws the initial mesh on layer
// Initial_2 and the deformed mesh on layer Final_2 as polyface meshes. In a
// script a blank or a line end is an Enter, so the trailing blanks and the
// empty lines below are commands.
#include "mechanics/mechanics.hpp"
#include "model/steps.hpp"
#include "write/text_file.hpp"

namespace velmora {

namespace {

// Coordinates as (1, 6, 3): no blank before a positive value, since a blank
// would end the input.
constexpr int fore = 1, aft = 6, exp_width = 3;

void line(text_file& f, std::string_view text) {
    f.put(text);
    f.new_line();
}

void vertex_line(text_file& f, const double p[3]) {
    for (int j = 0; j < 3; ++j) {
        if (j > 0) f.put(',');
        f.put_real_unpadded(p[j], fore, aft, exp_width);
    }
    f.new_line();
}

// The faces are the same for both meshes: vertex k of a mesh is node k.
void face_lines(text_file& f, const model& m) {
    for (int e = 1; e <= m.element_count(); ++e) {
        const element_rec& el = m.elements(e);
        for (int k = 1; k <= 3; ++k) {
            if (k > 1) f.put(' ');
            f.put_integer(el.node(k), 0);
        }
        f.new_line();
        f.new_line();
    }
}

}  // namespace

void autocad(const model& m, const std::string& directory) {
    text_file f("autocad.scr", directory);
    line(f, "osmode 0");
    line(f, "layer make Initial_2 ");
    line(f, "pface");
    for (int n = 1; n <= m.node_count; ++n) {
        const double p[3] = {m.x(n), m.y(n), m.z(n)};
        vertex_line(f, p);
    }
    f.new_line();
    face_lines(f, m);
    f.new_line();

    line(f, "layer make Final_2 ");
    line(f, "pface");
    for (int n = 1; n <= m.node_count; ++n) {
        double p[3];
        vertex(m, n, p);
        vertex_line(f, p);
    }
    f.new_line();
    face_lines(f, m);
    f.new_line();

    line(f, "layer off Initial_2 ");
    line(f, "layer set 0 ");
    line(f, "zoom ext ext");
    f.close();
}

}  // namespace velmora
