// "input.txt" texts of rectangular grids: nx by ny cells over [0, length]
// x [0, height] in the plane z = 0, two triangles per cell, nodes numbered
// row by row from the corner (0, 0), with any supports and loads.
#pragma once

#include <string>
#include <vector>

#include "test_models.hpp"

namespace test {

struct grid_text {
    int nx = 4, ny = 2;
    double length = 4, height = 2;
    std::string control = "0.9 20 1e-12 0 100 7";  // eta search_limit tolerance reference max_iterations memory
    std::string material = "1 1 1 10";             // thickness kind constants bulk
    struct record {
        int node, direction;
        double value;
    };
    std::vector<record> supports, loads;

    int node(int i, int j) const { return j * (nx + 1) + i + 1; }
    double x(int i) const { return length * i / nx; }
    double y(int j) const { return height * j / ny; }
    int node_count() const { return (nx + 1) * (ny + 1); }
    double x_of(int node) const { return x((node - 1) % (nx + 1)); }
    double y_of(int node) const { return y((node - 1) / (nx + 1)); }

    std::string text() const {
        std::string t = "grid\n: control\n" + control + "\n: material\n" + material + "\n: nodes\n" +
                        std::to_string(node_count()) + "\nnode x y z\n";
        for (int j = 0; j <= ny; ++j)
            for (int i = 0; i <= nx; ++i)
                t += std::to_string(node(i, j)) + " " + number_text(x(i)) + " " + number_text(y(j)) + " 0\n";
        t += ": elements\n" + std::to_string(2 * nx * ny) + "\nelement corners\n";
        int e = 0;
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i) {
                const int ll = node(i, j), lr = node(i + 1, j), ur = node(i + 1, j + 1), ul = node(i, j + 1);
                t += std::to_string(++e) + " " + std::to_string(ll) + " " + std::to_string(lr) + " " +
                     std::to_string(ur) + "\n";
                t += std::to_string(++e) + " " + std::to_string(ll) + " " + std::to_string(ur) + " " +
                     std::to_string(ul) + "\n";
            }
        const auto section = [](const char* header, const std::vector<record>& rs) {
            std::string s = std::string(": ") + header + "\n" + std::to_string(rs.size()) + "\n";
            if (!rs.empty()) s += "node direction value\n";
            for (const record& r : rs)
                s += std::to_string(r.node) + " " + std::to_string(r.direction) + " " + number_text(r.value) + "\n";
            return s;
        };
        return t + section("supports", supports) + section("loads", loads);
    }

    // The end x = 0 held in x, its node at y = 0 also in y, every node in z.
    void hold_left_end() {
        for (int j = 0; j <= ny; ++j) {
            supports.push_back({node(0, j), 1, 0});
            if (j == 0) supports.push_back({node(0, j), 2, 0});
        }
        for (int n = 1; n <= node_count(); ++n) supports.push_back({n, 3, 0});
    }

    // The end x = length moved by dx in x.
    void move_right_end(double dx) {
        for (int j = 0; j <= ny; ++j) supports.push_back({node(nx, j), 1, dx});
    }

    // Forces on the end x = length summing to total in direction d, a
    // uniform traction: the two corner nodes take half a share.
    void load_right_end(int d, double total) {
        for (int j = 0; j <= ny; ++j) loads.push_back({node(nx, j), d, total / ny * (j == 0 || j == ny ? 0.5 : 1.0)});
    }
};

}  // namespace test
