// What several test files share: scratch directories, the strip example
// model and with() to replace one of its sections, text helpers for reading
// the report back, the closed form of a homogeneous plane-strain stretch
// that the mechanics, the stress recovery and the report are checked
// against, what the element tests share, and a grid of alternating
// diagonals. The strips of velmora-mesh are in strip_models.hpp.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace test {

namespace fs = std::filesystem;

inline std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh directory under the system's temporary directory, removed at the end.
class scratch_dir {
public:
    scratch_dir() {
        std::string pattern = (fs::temp_directory_path() / "velmora-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    ~scratch_dir() {
        std::error_code ignored;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path_, ignored);
    }
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;

    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    bool has(const std::string& name) const { return fs::exists(path_ / name); }
    std::string read(const std::string& name) const { return read_file(path_ / name); }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(path_ / name, std::ios::binary) << text;
    }

private:
    fs::path path_;
};

// The strip example, section by section; a test replaces the part it is about.
// Line numbers: 2 control header, 3 control values, 5 material, 7 node count,
// 8 node title, 9-12 nodes, 14 element count, 16-17 elements, 19 support
// count, 21-27 supports, 28 loads header, 29 force count, 31 force.
struct strip {
    std::string head = "Strip under tension\n";
    std::string control = ": control\n0.9  20  0.001  0  500  7\n";
    std::string material = ": material\n1.0  2  0.4  0.1  50.0\n";
    std::string nodes = ": nodes\n4\nnode  x  y  z\n1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n";
    std::string elements = ": elements\n2\nelement  first  second  third\n1 1 2 3\n2 1 3 4\n";
    std::string supports =
        ": supports\n7\nnode  dir  value\n1 1 0.0\n1 2 0.0\n4 1 0.0\n1 3 0.0\n2 3 0.0\n3 3 0.0\n4 3 0.0\n";
    std::string loads = ": loads\n1\nnode  dir  value\n3 1 0.5\n";

    std::string text() const { return head + control + material + nodes + elements + supports + loads; }
};

// The strip example with one section replaced.
inline std::string with(std::string strip::*section, const std::string& text) {
    strip s;
    s.*section = text;
    return s.text();
}

// A real written so that it reads back to the same double.
inline std::string number_text(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

// The lines of a text, without their line ends.
inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    for (char c : text) {
        if (c != '\n') {
            current += c;
            continue;
        }
        lines.push_back(current);
        current.clear();
    }
    if (!current.empty()) lines.push_back(current);
    return lines;
}

// Rows of the report table whose header line begins with `header`: from two
// lines below it up to the next empty or rule line.
inline std::vector<std::string> table_rows(const std::string& report, const std::string& header) {
    const std::vector<std::string> lines = lines_of(report);
    std::vector<std::string> rows;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind(header, 0) != 0) continue;
        for (std::size_t k = i + 2; k < lines.size() && !lines[k].empty() && lines[k][0] != '-'; ++k)
            rows.push_back(lines[k]);
        break;
    }
    return rows;
}

inline const char* const displacement_table = " Node             Displ X";
inline const char* const stress_table = " Elem            Sigma1";
inline const char* const reaction_table = " Node           Force X";

// Field j (1..3) of a report row: a first column of 5, then fields of
// `width` (20 for displacements, 18 for stresses and reactions); NaN for a
// field left blank or beyond the end of the row.
inline double field(const std::string& row, int j, int width) {
    const std::size_t begin = 5 + static_cast<std::size_t>(width * (j - 1));
    if (begin >= row.size()) return std::nan("");
    const std::string text = row.substr(begin, static_cast<std::size_t>(width));
    if (text.find_first_not_of(' ') == std::string::npos) return std::nan("");
    return std::stod(text);
}

// A homogeneous plane-strain stretch: l1, l2 in the plane, 1 across it,
// J = l1 l2, I1 = sum li^2, I2 = sum li^2 lj^2 over pairs:
//   neo-Hookean    W = mu/2 I1 J^(-2/3) + bulk/2 (J^2 - 2J)
//   Mooney-Rivlin  W = c10 I1 J^(-2/3) + c01 I2 J^(-4/3) + bulk/2 (J^2 - 2J)
// with principal Cauchy stresses sigma_i = (li / J) dW/dli, differentiated
// by hand.
struct law {
    int kind;     // 1 neo-Hookean, 2 Mooney-Rivlin, as the input writes it
    double a, b;  // mu and unused, or c10 and c01
    double bulk;

    std::string input_line(double thickness) const {
        return number_text(thickness) + " " + std::to_string(kind) + " " + number_text(a) + " " +
               (kind == 2 ? number_text(b) + " " : "") + number_text(bulk);
    }

    // W for in-plane stretches l1, l2.
    double density(double l1, double l2) const {
        const double J = l1 * l2, I1 = l1 * l1 + l2 * l2 + 1;
        const double I2 = l1 * l1 * l2 * l2 + l2 * l2 + l1 * l1;
        const double volumetric = bulk / 2 * (J * J - 2 * J);
        if (kind == 1) return a / 2 * I1 * std::pow(J, -2.0 / 3) + volumetric;
        return a * I1 * std::pow(J, -2.0 / 3) + b * I2 * std::pow(J, -4.0 / 3) + volumetric;
    }

    // sigma_i for i = 0, 1 (in the plane) and 2 (across it).
    double cauchy(double l1, double l2, int i) const {
        const double l[3] = {l1, l2, 1.0};
        const double J = l1 * l2, I1 = l1 * l1 + l2 * l2 + 1, I2 = l1 * l1 * l2 * l2 + l1 * l1 + l2 * l2;
        const double li2 = l[i] * l[i];
        const double volumetric = bulk * (J - 1);
        if (kind == 1) return a * std::pow(J, -5.0 / 3) * (li2 - I1 / 3) + volumetric;
        return 2 / J *
                   (a * std::pow(J, -2.0 / 3) * (li2 - I1 / 3) +
                    b * std::pow(J, -4.0 / 3) * (li2 * (I1 - li2) - 2 * I2 / 3)) +
               volumetric;
    }

    // The lateral stretch that leaves the lateral stress 0 under l1, by
    // bisection: sigma_2 rises through 0 between 0.2 and 3.
    double lateral_stretch(double l1) const {
        double low = 0.2, high = 3.0;
        for (int k = 0; k < 200; ++k) {
            const double mid = 0.5 * (low + high);
            if (mid <= low || mid >= high) break;
            (cauchy(l1, mid, 1) < 0 ? low : high) = mid;
        }
        return 0.5 * (low + high);
    }
};

// What the element tests share (mechanics_test.cpp, tangent_test.cpp):
// vectors in space with their sums and multiples, a law of each kind, and
// orthonormal pairs for triangles in tilted planes. A test file takes them
// with "using namespace test::element_tests".
namespace element_tests {

using test::law;
using test::number_text;
using vec = std::array<double, 3>;

inline vec operator+(const vec& a, const vec& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
inline vec operator-(const vec& a, const vec& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
inline vec operator*(double s, const vec& a) { return {s * a[0], s * a[1], s * a[2]}; }

inline const law neo_hookean{1, 1.5, 0.0, 3.0};
inline const law mooney_rivlin{2, 1.5, 0.7, 3.0};
inline const law both_laws[] = {neo_hookean, mooney_rivlin};

// Orthonormal pairs: e spans a plane tilted against every axis, f another.
inline const vec e1 = (1.0 / 3) * vec{2, 1, 2}, e2 = (1 / std::sqrt(5.0)) * vec{1, -2, 0};
inline const vec f1{0.6, 0, 0.8}, f2{0, 1, 0};
inline const vec corner{0.3, -0.7, 1.1};

}  // namespace element_tests

// A support line: node n, direction j, value v.
inline std::string held(int n, int j, double v) {
    return number_text(n) + " " + number_text(j) + " " + number_text(v) + "\n";
}

// The input of an n x n grid of square cells of side h in the plane z = 0
// with the given control values, material, supports and no loads.
// Nodes are numbered row by row from 1; each cell is cut into two triangles
// (into tris), the diagonal alternating and every second cell's triangles
// listed clockwise: elements of both orientations, which the strip
// (strip_models.hpp) does not give.
inline std::string alternating_grid(int n, double h, const std::string& control, const std::string& material,
                                    const std::string& supports, std::vector<std::array<int, 3>>& tris) {
    const int m = n + 1;
    std::string t =
        "grid\n: control\n" + control + "\n: material\n" + material + "\n: nodes\n" + std::to_string(m * m) + "\nn\n";
    for (int k = 0; k < m * m; ++k) {
        const int column = k % m, row = k / m;
        t += std::to_string(k + 1) + " " + number_text(column * h) + " " + number_text(row * h) + " 0\n";
    }
    t += ": elements\n" + std::to_string(2 * n * n) + "\ne\n";
    for (int k = 0; k < n * n; ++k) {  // cell (k % n, k / n)
        const int a = k / n * m + k % n + 1, b = a + 1, c = b + m, d = c - 1, odd = (k / n + k % n) % 2;
        tris.push_back(odd ? std::array{a, d, b} : std::array{a, b, c});
        tris.push_back(odd ? std::array{b, d, c} : std::array{a, c, d});
    }
    for (std::size_t e = 0; e < tris.size(); ++e)
        t += std::to_string(e + 1) + " " + std::to_string(tris[e][0]) + " " + std::to_string(tris[e][1]) + " " +
             std::to_string(tris[e][2]) + "\n";
    return t + ": supports\n" + std::to_string(std::count(supports.begin(), supports.end(), '\n')) + "\nn\n" +
           supports + ": loads\n0\n";
}

}  // namespace test
