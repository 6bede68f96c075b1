#include "bench_models.hpp"

#include <cmath>
#include <map>
#include <memory>
#include <stdexcept>
#include <utility>

#include "model/steps.hpp"
#include "read/input.hpp"

namespace bench {

namespace {

constexpr double load_per_cell_height = 0.01;  // total end force per unit height, against mu = 1
constexpr double perturbation = 1e-3;          // displacement amplitude, in cell sizes

using key = std::pair<long long, velmora::mesh::material_law>;

}  // namespace

velmora::mesh::strip strip_for(long long elements, velmora::mesh::material_law law) {
    int nx = 0, ny = 0;
    if (elements == 10'000) {
        nx = 100, ny = 50;
    } else if (elements == 100'000) {
        nx = 250, ny = 200;
    } else if (elements == 1'000'000) {
        nx = 1000, ny = 500;
    } else {
        ny = static_cast<int>(std::lround(std::sqrt(static_cast<double>(elements) / 2)));
        nx = ny;
    }
    velmora::mesh::strip s = velmora::mesh::unit_cells(nx, ny);
    s.law = law;
    s.load_x = load_per_cell_height * ny;
    // A given reference residue spares the set-up its evaluation of the
    // objective, so that a profile of the objective benchmark counts
    // exactly the evaluations it times.
    s.reference_residue = 1.0;
    return s;
}

const std::string& model_text(long long elements, velmora::mesh::material_law law) {
    static std::map<key, std::string> texts;
    const key k{elements, law};
    auto found = texts.find(k);
    if (found == texts.end()) {
        const velmora::mesh::strip s = strip_for(elements, law);
        if (const std::string why = velmora::mesh::problem(s); !why.empty()) throw std::invalid_argument(why);
        std::string text;
        velmora::mesh::write(s, text);
        found = texts.emplace(k, std::move(text)).first;
    }
    return found->second;
}

std::unique_ptr<velmora::model> new_started_model(long long elements, velmora::mesh::material_law law) {
    auto m = std::make_unique<velmora::model>();
    velmora::read_model(*m, model_text(elements, law), "input.txt");
    velmora::start(*m);
    return m;
}

const velmora::model& started_model(long long elements, velmora::mesh::material_law law) {
    static std::map<key, std::unique_ptr<velmora::model>> models;
    const key k{elements, law};
    auto found = models.find(k);
    if (found == models.end()) found = models.emplace(k, new_started_model(elements, law)).first;
    return *found->second;
}

velmora::fmat1 small_displacements(const velmora::model& m) {
    velmora::fmat1 x(m.dof_count);
    double* v = x.data();
    for (int k = 0; k < m.dof_count; ++k) v[k] = perturbation * std::sin(0.37 * k);
    return x;
}

}  // namespace bench
