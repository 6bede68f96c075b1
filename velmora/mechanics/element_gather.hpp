// What the element evaluations share: the model's material and thickness
// as kernel constants, and the gathering of an element's corner
// displacements (free ones from the vector, prescribed ones from the model).
// Node numbers were checked by start, so the gathering reads the storage
// without bounds checks.
#pragma once

#include "mechanics/element_kernel.hpp"
#include "mechanics/mechanics.hpp"
#include "model/model.hpp"

namespace velmora {

// The displacements of an element's three corners and their numbers.
struct corners {
    kernel::vec3<double> u[3];
    int number[element_directions];  // dof_number of corner k, direction d at 3 k + d
};

inline kernel::geometry<double> geometry_of(const element_rec& el) {
    return {{el.a.component[0], el.a.component[1], el.a.component[2]},
            {el.b.component[0], el.b.component[1], el.b.component[2]},
            el.aa,
            el.ab,
            el.bb,
            el.twice_area};
}

// Gathers the corner displacements of elements at one point v of the
// minimisation, with the material constants of the model's law.
struct corner_gather {
    const int* dof;
    const double* prescribed;
    const double* free;
    int dof_count;
    kernel::constants<double> neo{}, mr{};

    corner_gather(const model& m, const fmat1& v)
        : dof(m.dof_number.data()), prescribed(m.prescribed.data()), free(v.data()), dof_count(m.dof_count) {
        if (m.material) {
            const mat_rec& mat = *m.material;
            if (mat.law() == material_law::neo_hookean)
                neo = {mat.mu(), 0.0, mat.bulk(), m.thickness};
            else
                mr = {mat.c10(), mat.c01(), mat.bulk(), m.thickness};
        }
    }

    void gather(const element_rec& el, corners& c) const {
        for (int k = 0; k < 3; ++k) {
            const std::size_t base = static_cast<std::size_t>(el.node.component[k] - 1) * 3;
            double v[3];
            for (int d = 0; d < 3; ++d) {
                const int number = dof[base + static_cast<std::size_t>(d)];
                c.number[3 * k + d] = number;
                v[d] = number > dof_count ? prescribed[base + static_cast<std::size_t>(d)] : free[number - 1];
            }
            c.u[k] = {v[0], v[1], v[2]};
        }
    }
};

// Runs the kernel of the model's law on element e at the free
// displacements v: returns f.template operator()<Law>(geometry, corners,
// constants), with the corners gathered and the constants of that law.
template <class Kernel>
decltype(auto) with_element(const model& m, int e, const fmat1& v, Kernel&& f) {
    const element_rec& el = m.elements(e);
    const mat_rec& mat = m.the_material();
    const corner_gather c(m, v);
    corners u;
    c.gather(el, u);
    const kernel::geometry<double> geo = geometry_of(el);
    if (mat.law() == material_law::neo_hookean) return f.template operator()<material_law::neo_hookean>(geo, u, c.neo);
    return f.template operator()<material_law::mooney_rivlin>(geo, u, c.mr);
}

}  // namespace velmora
