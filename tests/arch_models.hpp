// A shallow circular arch of triangles: the model on which the load path
// is followed through a limit point. Its mid-surface is an arc of span
// `span` and rise `rise` over the x axis, symmetric about x = 0; the
// section has `depth` across in `layers` layers of cells (an even count)
// and `cells` cells along the arc (an even count), each cell cut along the
// diagonal that points away from the crown, so that the mesh is the mirror
// image of itself. The mid-depth nodes of the two ends are pinned (held in
// x and y), every node is held in z, and the top node of the crown carries
// a downward force `force`, or, with a prescribed displacement `crown_y`,
// is moved down by it instead. Neo-Hookean, mu 100 and bulk 200.
#pragma once

#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace test {

struct arch {
    double span = 10, rise = 0.25, depth = 0.2;
    int cells = 40, layers = 2;
    double force = 1;               // downward force at the top node of the crown
    std::optional<double> crown_y;  // instead: that node moved in y by this
    double tolerance = 1e-10;
    int max_iterations = 500;

    int node(int i, int j) const { return j * (cells + 1) + i + 1; }
    int crown() const { return node(cells / 2, layers); }

    std::string text() const {
        const double half = span / 2, radius = (half * half + rise * rise) / (2 * rise);
        const double opening = std::asin(half / radius);
        std::string t = "Shallow arch\n: control\n0.9 20 " + real(tolerance) + " 0 " + std::to_string(max_iterations) +
                        " 7\n: material\n1 1 100 200\n: nodes\n" + std::to_string((cells + 1) * (layers + 1)) +
                        "\nnode x y z\n";
        for (int j = 0; j <= layers; ++j)
            for (int i = 0; i <= cells; ++i) {
                const double angle = opening * (2.0 * i / cells - 1);
                const double r = radius - depth / 2 + depth * j / layers;
                t += std::to_string(node(i, j)) + " " + real(r * std::sin(angle)) + " " +
                     real(r * std::cos(angle) - radius * std::cos(opening)) + " 0\n";
            }
        std::vector<std::string> elements;
        for (int j = 0; j < layers; ++j)
            for (int i = 0; i < cells; ++i) {
                const int a = node(i, j), b = node(i + 1, j), c = node(i + 1, j + 1), d = node(i, j + 1);
                if (i < cells / 2) {  // diagonal from b to d
                    elements.push_back(corners(a, b, d));
                    elements.push_back(corners(b, c, d));
                } else {  // diagonal from a to c
                    elements.push_back(corners(a, b, c));
                    elements.push_back(corners(a, c, d));
                }
            }
        t += ": elements\n" + std::to_string(elements.size()) + "\nelement corners\n";
        for (std::size_t e = 0; e < elements.size(); ++e) t += std::to_string(e + 1) + " " + elements[e] + "\n";
        std::vector<std::string> supports;
        for (const int end : {node(0, layers / 2), node(cells, layers / 2)})
            for (const int d : {1, 2}) supports.push_back(std::to_string(end) + " " + std::to_string(d) + " 0");
        for (int k = 1; k <= (cells + 1) * (layers + 1); ++k) supports.push_back(std::to_string(k) + " 3 0");
        if (crown_y) supports.push_back(std::to_string(crown()) + " 2 " + real(*crown_y));
        t += ": supports\n" + std::to_string(supports.size()) + "\nnode dir value\n";
        for (const std::string& s : supports) t += s + "\n";
        if (crown_y) return t + ": loads\n0\n";
        return t + ": loads\n1\nnode dir value\n" + std::to_string(crown()) + " 2 " + real(-force) + "\n";
    }

private:
    static std::string real(double v) {
        char text[32];
        std::snprintf(text, sizeof text, "%.17g", v);
        return text;
    }
    static std::string corners(int a, int b, int c) {
        return std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c);
    }
};

}  // namespace test
