#include "arch.hpp"

#include <cmath>
#include <vector>

#include "numbers.hpp"

namespace velmora::mesh {

namespace {

constexpr long long most_nodes = 2147483647;

bool finite(double v) { return std::isfinite(v); }

std::string record(long long a, long long b, long long c) {
    return std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c);
}

}  // namespace

long long node_at(const arch& a, int i, int j) { return static_cast<long long>(j) * (a.cells + 1) + i + 1; }
long long crown(const arch& a) { return node_at(a, a.cells / 2, a.layers); }
long long node_count(const arch& a) { return (a.cells + 1LL) * (a.layers + 1LL); }
long long element_count(const arch& a) { return 2LL * a.cells * a.layers; }

std::string problem(const arch& a) {
    if (a.cells < 2 || a.layers < 2 || a.cells % 2 != 0 || a.layers % 2 != 0)
        return "the arch needs an even number of cells along it and of layers through it, at least 2 each: its "
               "crown and the middle of its ends are nodes";
    if (2 * element_count(a) > most_nodes) return "the arch has more elements than the program reads";
    if (!finite(a.span) || !(a.span > 0)) return "the span must be a finite number greater than 0";
    if (!finite(a.rise) || !(a.rise > 0) || !(a.rise < a.span / 2))
        return "the rise must be a finite number greater than 0 and less than half the span";
    if (!finite(a.depth) || !(a.depth > 0)) return "the depth must be a finite number greater than 0";
    const double radius = (a.span * a.span / 4 + a.rise * a.rise) / (2 * a.rise);
    if (!(a.depth < radius)) return "the depth must be less than the radius of the arc";
    if (!finite(a.thickness) || !(a.thickness > 0)) return "the thickness must be a finite number greater than 0";
    if (!finite(a.mu) || !finite(a.c10) || !finite(a.c01) || !finite(a.bulk))
        return "the material constants must be finite numbers";
    if (!finite(a.eta) || !finite(a.tolerance) || !finite(a.reference_residue))
        return "eta, the tolerance and the reference residue must be finite numbers";
    if (a.force.has_value() == a.drop.has_value())
        return "the crown needs a force or a drop (a downward force, or a downward displacement), one of them";
    for (const auto& v : {a.force, a.drop})
        if (v && !finite(*v)) return "the force and the drop must be finite numbers";
    return {};
}

void write(const arch& a, std::string& out) {
    const double half = a.span / 2, radius = (half * half + a.rise * a.rise) / (2 * a.rise);
    const double opening = std::asin(half / radius);
    out += "Shallow arch of span " + shortest(a.span) + ", rise " + shortest(a.rise) + ", depth " + shortest(a.depth) +
           ": " + std::to_string(a.cells) + " by " + std::to_string(a.layers) + " cells, " +
           std::to_string(element_count(a)) + " triangles, " + law_name(a.law) + ", written by velmora-mesh\n";
    out += settings_sections(a);
    out += ": nodes\n" + std::to_string(node_count(a)) + "\nnode x y z\n";
    for (int j = 0; j <= a.layers; ++j)
        for (int i = 0; i <= a.cells; ++i) {
            // Angle from the crown, radius from the centre of the arc.
            const double angle = opening * (2.0 * i / a.cells - 1);
            const double r = radius - a.depth / 2 + a.depth * j / a.layers;
            out += std::to_string(node_at(a, i, j)) + " " + shortest(r * std::sin(angle)) + " " +
                   shortest(r * std::cos(angle) - radius * std::cos(opening)) + " 0\n";
        }
    out += ": elements\n" + std::to_string(element_count(a)) + "\nelement first second third\n";
    long long e = 0;
    for (int j = 0; j < a.layers; ++j)
        for (int i = 0; i < a.cells; ++i) {
            const long long inner_left = node_at(a, i, j), inner_right = node_at(a, i + 1, j);
            const long long outer_right = node_at(a, i + 1, j + 1), outer_left = node_at(a, i, j + 1);
            const bool left_half = i < a.cells / 2;  // the diagonal points away from the crown
            out += std::to_string(++e) + " " +
                   (left_half ? record(inner_left, inner_right, outer_left)
                              : record(inner_left, inner_right, outer_right)) +
                   "\n";
            out += std::to_string(++e) + " " +
                   (left_half ? record(inner_right, outer_right, outer_left)
                              : record(inner_left, outer_right, outer_left)) +
                   "\n";
        }
    std::vector<std::string> supports;
    for (const long long end : {node_at(a, 0, a.layers / 2), node_at(a, a.cells, a.layers / 2)})
        for (const char* direction : {" 1 0", " 2 0"}) supports.push_back(std::to_string(end) + direction);
    for (long long k = 1; k <= node_count(a); ++k) supports.push_back(std::to_string(k) + " 3 0");
    if (a.drop) supports.push_back(std::to_string(crown(a)) + " 2 " + shortest(-*a.drop));
    out += ": supports\n" + std::to_string(supports.size()) + "\nnode dir value\n";
    for (const std::string& s : supports) out += s + "\n";
    if (a.drop) {
        out += ": loads\n0\n";
        return;
    }
    out += ": loads\n1\nnode dir value\n" + std::to_string(crown(a)) + " 2 " + shortest(-*a.force) + "\n";
}

}  // namespace velmora::mesh
