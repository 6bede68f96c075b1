#include "mesh_model.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <numeric>
#include <utility>

#include "group_name.hpp"
#include "numbers.hpp"

namespace velmora::mesh {

namespace {

// The reader keeps node numbers, and three degree-of-freedom numbers per
// node, in 32-bit integers.
constexpr std::size_t most_nodes = INT_MAX / 3;
constexpr std::size_t most_elements = INT_MAX;

std::string number(double v) { return shortest(v); }

std::string number(std::size_t v) { return std::to_string(v); }

std::string where(const std::array<double, 3>& p) {
    return "(" + number(p[0]) + ", " + number(p[1]) + ", " + number(p[2]) + ")";
}

// Printable ASCII only, so that a group name can stand in a comment.
std::string printable(const std::string& s) {
    std::string out = s;
    for (char& c : out)
        if (c < ' ' || c > '~') c = '?';
    return out;
}

std::string group_label(const source_group& g) {
    return std::string(g.dim == 0 ? "physical point " : "physical curve ") + std::to_string(g.tag);
}

double distance(const std::array<double, 3>& a, const std::array<double, 3>& b) {
    const double dx = b[0] - a[0], dy = b[1] - a[1], dz = b[2] - a[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

class numbering {
public:
    explicit numbering(std::vector<std::size_t> tags) : tags_(std::move(tags)) {}
    // The number 1..n of a node tag, or 0 when the node is not in the body.
    int of(std::size_t tag) const {
        const auto it = std::lower_bound(tags_.begin(), tags_.end(), tag);
        if (it == tags_.end() || *it != tag) return 0;
        return static_cast<int>(it - tags_.begin()) + 1;
    }

private:
    std::vector<std::size_t> tags_;
};

using key = std::pair<int, int>;  // node, direction

struct builder {
    imported_model& model;
    const numbering& numbers;
    std::map<key, imported_model::record> supports;
    std::map<key, imported_model::record> loads;

    std::string node_label(int k) const {
        const imported_model::node& n = model.nodes[static_cast<std::size_t>(k - 1)];
        return "node " + std::to_string(k) + " (source node " + number(n.tag) + " at " + where(n.at) + ")";
    }

    // The body's number of each node of a group, each once.
    std::vector<int> group_nodes(const source_group& g, const std::string& shown) const {
        std::vector<int> ks;
        ks.reserve(g.nodes.size());
        for (std::size_t tag : g.nodes) {
            const int k = numbers.of(tag);
            if (k == 0)
                throw mesh_error(shown + ": source node " + number(tag) +
                                 " belongs to no triangle of the body; supports and loads go on points and "
                                 "curves of the meshed surface");
            ks.push_back(k);
        }
        std::sort(ks.begin(), ks.end());
        ks.erase(std::unique(ks.begin(), ks.end()), ks.end());
        return ks;
    }

    void prescribe(int k, int d, double v, const std::string& shown, const std::string& name) {
        const auto [it, added] = supports.try_emplace({k, d}, imported_model::record{k, d, v, name});
        if (added) return;
        if (it->second.value != v)
            throw mesh_error("conflicting supports at " + node_label(k) + " in " + direction_name(d) + ": " +
                             number(it->second.value) + " from \"" + it->second.from + "\", " + number(v) + " from " +
                             shown + "; give each node one prescribed value per direction");
        if (it->second.from.find(name) == std::string::npos) it->second.from += ", " + name;
    }

    void add_force(int k, int d, double f, const std::string& name) {
        const auto [it, added] = loads.try_emplace({k, d}, imported_model::record{k, d, 0.0, name});
        it->second.value += f;
        if (!added && it->second.from.find(name) == std::string::npos) it->second.from += ", " + name;
    }

    void apply(const source_group& g) {
        const std::string label = group_label(g);
        const condition c = parse_group_name(g.name, label);
        const std::string name = printable(g.name);
        const std::string shown = label + " \"" + name + "\"";
        const std::vector<int> ks = group_nodes(g, shown);
        if (ks.empty()) {
            model.notes.push_back(shown + " has no mesh nodes; it is passed over");
            return;
        }
        if (c.kind != condition_kind::load) {
            for (int k : ks)
                for (const condition::item& i : c.items) prescribe(k, i.direction, i.value, shown, name);
            return;
        }
        if (g.dim == 0) {
            const double count = static_cast<double>(ks.size());
            for (int k : ks)
                for (const condition::item& i : c.items) add_force(k, i.direction, i.value / count, name);
            return;
        }
        // A curve: shares in proportion to the segment lengths, half of each
        // share to each end of its segment.
        if (g.segments.empty()) throw mesh_error(shown + " has no line elements in the mesh to spread its load over");
        std::vector<std::array<int, 2>> ends;
        std::vector<double> lengths;
        double total = 0;
        for (const auto& s : g.segments) {
            const int a = numbers.of(s[0]), b = numbers.of(s[1]);
            if (a == 0 || b == 0)
                throw mesh_error(shown + ": a line element ends at source node " + number(a == 0 ? s[0] : s[1]) +
                                 ", which belongs to no triangle of the body");
            ends.push_back({a, b});
            lengths.push_back(distance(model.nodes[static_cast<std::size_t>(a - 1)].at,
                                       model.nodes[static_cast<std::size_t>(b - 1)].at));
            total += lengths.back();
        }
        if (!(total > 0) || !std::isfinite(total))
            throw mesh_error(shown + ": its line elements have no length to spread the load over");
        for (std::size_t s = 0; s < ends.size(); ++s)
            for (const condition::item& i : c.items) {
                const double half = i.value * lengths[s] / total / 2;
                add_force(ends[s][0], i.direction, half, name);
                add_force(ends[s][1], i.direction, half, name);
            }
    }
};

}  // namespace

std::string options_problem(const import_options& o) {
    for (double v : {o.mu, o.c10, o.c01, o.bulk, o.thickness, o.eta, o.tolerance, o.reference_residue})
        if (!std::isfinite(v)) return "the material constants, the thickness and the solver controls must be finite";
    if (!(o.thickness > 0)) return "the thickness must be greater than 0";
    return {};
}

imported_model build_model(const source_mesh& mesh, const import_options& options) {
    if (mesh.triangles.empty())
        throw mesh_error("the mesh has no triangles: velmora models a surface meshed with 3-node triangles");

    // Coordinates by source tag.
    std::vector<std::size_t> by_tag(mesh.node_tags.size());
    std::iota(by_tag.begin(), by_tag.end(), std::size_t{0});
    std::sort(by_tag.begin(), by_tag.end(),
              [&](std::size_t a, std::size_t b) { return mesh.node_tags[a] < mesh.node_tags[b]; });
    const auto coordinates_of = [&](std::size_t tag) -> const std::array<double, 3>* {
        const auto it = std::lower_bound(by_tag.begin(), by_tag.end(), tag,
                                         [&](std::size_t i, std::size_t t) { return mesh.node_tags[i] < t; });
        if (it == by_tag.end() || mesh.node_tags[*it] != tag) return nullptr;
        return &mesh.coordinates[*it];
    };

    // The body's nodes: every corner of a triangle, in ascending tag order.
    std::vector<std::size_t> tags;
    tags.reserve(mesh.triangles.size() * 3);
    for (const auto& t : mesh.triangles) tags.insert(tags.end(), t.begin(), t.end());
    std::sort(tags.begin(), tags.end());
    tags.erase(std::unique(tags.begin(), tags.end()), tags.end());
    if (tags.size() > most_nodes)
        throw mesh_error("the mesh has " + number(tags.size()) + " nodes; velmora reads at most " + number(most_nodes));
    if (mesh.triangles.size() > most_elements)
        throw mesh_error("the mesh has " + number(mesh.triangles.size()) + " triangles; velmora reads at most " +
                         number(most_elements));

    imported_model model;
    model.nodes.reserve(tags.size());
    for (std::size_t tag : tags) {
        const std::array<double, 3>* at = coordinates_of(tag);
        if (at == nullptr)
            throw mesh_error("a triangle refers to source node " + number(tag) + ", which the mesh does not hold");
        model.nodes.push_back({tag, *at});
    }
    const numbering numbers(tags);

    std::vector<std::size_t> order(mesh.triangles.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return mesh.triangle_tags[a] < mesh.triangle_tags[b]; });
    model.elements.reserve(order.size());
    for (std::size_t i : order) {
        const auto& t = mesh.triangles[i];
        model.elements.push_back({mesh.triangle_tags[i], {numbers.of(t[0]), numbers.of(t[1]), numbers.of(t[2])}});
    }

    builder b{model, numbers, {}, {}};
    std::vector<const source_group*> groups;
    for (const source_group& g : mesh.groups) groups.push_back(&g);
    std::stable_sort(groups.begin(), groups.end(), [](const source_group* x, const source_group* y) {
        return std::pair(x->dim, x->tag) < std::pair(y->dim, y->tag);
    });
    for (const source_group* g : groups) b.apply(*g);

    if (options.hold_z) {
        const double z0 = model.nodes.front().at[2];
        const bool plane = std::all_of(model.nodes.begin(), model.nodes.end(),
                                       [z0](const imported_model::node& n) { return n.at[2] == z0; });
        if (plane) {
            const std::string from = "plane z = " + number(z0);
            for (std::size_t k = 1; k <= model.nodes.size(); ++k)
                b.supports.try_emplace({static_cast<int>(k), 3},
                                       imported_model::record{static_cast<int>(k), 3, 0.0, from});
        } else {
            model.notes.push_back(
                "the mesh does not lie in a plane z = constant: no node is held in z "
                "automatically");
        }
    }
    for (auto& [k, r] : b.supports) model.supports.push_back(std::move(r));
    for (auto& [k, r] : b.loads) model.loads.push_back(std::move(r));
    if (std::all_of(model.supports.begin(), model.supports.end(),
                    [](const imported_model::record& r) { return r.from.starts_with("plane z"); }))
        model.notes.push_back(
            "no group holds the body: nothing keeps it from moving as a rigid body in its "
            "plane (name a physical point or curve \"fix x y\")");
    if (model.loads.empty() && std::none_of(model.supports.begin(), model.supports.end(),
                                            [](const imported_model::record& r) { return r.value != 0; }))
        model.notes.push_back("no loads and no non-zero prescribed displacement: the body stays at rest");
    return model;
}

std::string model_text(const imported_model& model, const import_options& o) {
    std::string t;
    t.reserve(model.nodes.size() * 60 + model.elements.size() * 40 + (model.supports.size() + model.loads.size()) * 30 +
              1024);
    const auto line = [&t](const std::string& s) {
        t += s;
        t += '\n';
    };

    line("Imported by velmora-mesh from " + printable(o.source) + ": " + number(model.nodes.size()) + " nodes, " +
         number(model.elements.size()) + " triangles, " + law_name(o.law));
    t += settings_sections(o);

    line(": nodes, numbered in ascending order of their source node tag");
    line(number(model.nodes.size()));
    line("node x y z  (source node tag)");
    for (std::size_t k = 0; k < model.nodes.size(); ++k) {
        const imported_model::node& n = model.nodes[k];
        line(number(k + 1) + " " + number(n.at[0]) + " " + number(n.at[1]) + " " + number(n.at[2]) + "  (" +
             number(n.tag) + ")");
    }

    line(": elements, numbered in ascending order of their source element tag");
    line(number(model.elements.size()));
    line("element first second third  (source element tag)");
    for (std::size_t e = 0; e < model.elements.size(); ++e) {
        const imported_model::element& el = model.elements[e];
        line(number(e + 1) + " " + std::to_string(el.node[0]) + " " + std::to_string(el.node[1]) + " " +
             std::to_string(el.node[2]) + "  (" + number(el.tag) + ")");
    }

    const auto records = [&](const char* header, const std::vector<imported_model::record>& rs) {
        line(header);
        line(number(rs.size()));
        if (rs.empty()) return;
        line("node direction value  (group)");
        for (const imported_model::record& r : rs)
            line(std::to_string(r.node) + " " + std::to_string(r.direction) + " " + number(r.value) + "  (" + r.from +
                 ")");
    };
    records(": supports: prescribed displacements, directions 1 2 3 = x y z", model.supports);
    records(": loads: nodal forces, directions 1 2 3 = x y z", model.loads);
    return t;
}

}  // namespace velmora::mesh
