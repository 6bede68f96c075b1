// "ansys.txt": the model as an ANSYS command deck (PLANE182 plane-strain
// elements, a TB,HYPER material table, supports, loads and the nonlinear
// solution controls), written before the minimisation for a cross-check.
#include "model/steps.hpp"
#include "write/text_file.hpp"

namespace velmora {

namespace {

// Integers in width 5, reals as (2, 6, 3): a blank or a minus sign, then
// d.dddddd E+xx.
constexpr int int_width = 5;
constexpr int fore = 2, aft = 6, exp_width = 3;
constexpr int substeps = 10;
constexpr int equilibrium_iterations = 25;

void line(text_file& f, std::string_view text) {
    f.put(text);
    f.new_line();
}

void real(text_file& f, double v) { f.put_real(v, fore, aft, exp_width); }

void number(text_file& f, int v) { f.put_integer(v, int_width); }

void material_lines(text_file& f, const mat_rec& mat) {
    if (mat.law() == material_law::mooney_rivlin) {
        line(f, "TB, HYPER, 1, , , MOONEY");
        f.put("TBDATA, 1, ");
        real(f, mat.c10());
        f.new_line();
        f.put("TBDATA, 2, ");
        real(f, mat.c01());
        f.new_line();
        f.put("TBDATA, 3, ");
    } else {
        line(f, "TB, HYPER, 1, , , NEO");
        f.put("TBDATA, 1, ");
        real(f, mat.mu());
        f.new_line();
        f.put("TBDATA, 2, ");
    }
    // The incompressibility parameter of the table is 2 / bulk.
    real(f, 2.0 / mat.bulk());
    f.new_line();
}

}  // namespace

void ansys(const model& m, const std::string& directory) {
    text_file f("ansys.txt", directory);
    f.new_line();
    line(f, "! ENTER THE MODEL CREATION PREPROCESSOR");
    line(f, "/PREP7");
    f.new_line();
    line(f, "! DEFINE NODES");
    for (int n = 1; n <= m.node_count; ++n) {
        f.put("N, ");
        number(f, n);
        f.put(", ");
        real(f, m.x(n));
        f.put(", ");
        real(f, m.y(n));
        f.new_line();
    }
    f.new_line();
    line(f, "! ACTIVATE DATA TABLE");
    material_lines(f, m.the_material());
    f.new_line();
    line(f, "! DEFINE ELEMENT TYPE");
    line(f, "! FULL INTEGRATION WITH B-BAR METHOD");
    line(f, "! PLANE STRAIN");
    line(f, "ET, 1, PLANE182, 0, , 2");
    f.new_line();
    line(f, "! DEFINE ELEMENTS");
    // The triangle is given as a quadrilateral whose last two corners coincide.
    for (int e = 1; e <= m.element_count(); ++e) {
        const element_rec& el = m.elements(e);
        f.put("EN, ");
        number(f, e);
        for (int k : {1, 2, 3, 3}) {
            f.put(", ");
            number(f, el.node(k));
        }
        f.new_line();
    }
    f.new_line();
    line(f, "FINISH");
    f.new_line();
    line(f, "! ENTER THE SOLUTION PROCESSOR");
    line(f, "/SOLU");
    f.new_line();
    line(f, "! STATIC ANALYSIS");
    line(f, "ANTYPE, STATIC, NEW");
    f.new_line();
    // Directions 1 and 2 only: the deck is a plane model.
    line(f, "! DEFINE CONSTRAINTS");
    for (int n = 1; n <= m.node_count; ++n) {
        if (m.is_prescribed(n, 1)) {
            f.put("D, ");
            number(f, n);
            f.put(", UX, ");
            real(f, m.prescribed(n, 1));
            f.new_line();
        }
        if (m.is_prescribed(n, 2)) {
            f.put("D, ");
            number(f, n);
            f.put(", UY, ");
            real(f, m.prescribed(n, 2));
            f.new_line();
        }
    }
    f.new_line();
    line(f, "! DELETE FORCE LOADS ON NODES");
    line(f, "FDELE, ALL, ALL");
    f.new_line();
    line(f, "! SPECIFY FORCES");
    for (int n = 1; n <= m.node_count; ++n) {
        if (m.force(n, 1) != 0.0) {
            f.put("F, ");
            number(f, n);
            f.put(", FX, ");
            real(f, m.force(n, 1));
            f.new_line();
        }
        if (m.force(n, 2) != 0.0) {
            f.put("F, ");
            number(f, n);
            f.put(", FY, ");
            real(f, m.force(n, 2));
            f.new_line();
        }
    }
    f.new_line();
    line(f, "! INCLUDE LARGE DEFORMATION EFFECTS");
    line(f, "NLGEOM, ON");
    f.new_line();
    line(f, "! SPECIFY NUMBER OF SUBSTEPS");
    f.put("NSUBST, ");
    number(f, substeps);
    f.new_line();
    f.new_line();
    line(f, "! SPECIFY MAXIMUM NUMBER OF EQUILIBRIUM ITERATIONS");
    f.put("NEQIT, ");
    number(f, equilibrium_iterations);
    f.new_line();
    f.new_line();
    line(f, "! SET CONVERGENCE VALUES");
    f.put("CNVTOL, F, 1.0, ");
    real(f, m.allowable_residue);
    f.put(", 0");
    f.new_line();
    f.new_line();
    line(f, "! SPECIFY NEWTON-RAPHSON OPTIONS");
    line(f, "NROPT, FULL, , OFF");
    f.new_line();
    line(f, "! SPECIFY TYPE OF EQUATION SOLVER");
    line(f, "EQSLV, FRONT");
    f.new_line();
    line(f, "FINISH");
    f.close();
}

}  // namespace velmora
