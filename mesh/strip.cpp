#include "strip.hpp"

#include <charconv>
#include <climits>
#include <cmath>

namespace velmora::mesh {

namespace {

// The reader keeps node and element numbers in 32-bit integers, and
// degree-of-freedom numbers (three per node) too.
constexpr long long most_nodes = INT_MAX / 3;
constexpr long long most_elements = INT_MAX;

// Longest text of one number: a shortest-form double such as
// "-2.2250738585072014e-308" is 24 characters.
constexpr std::size_t number_room = 32;

// Gathers the text in blocks and hands each full block to the sink.
class text {
public:
    static constexpr std::size_t block = std::size_t{1} << 20;

    explicit text(const sink& to) : to_(to) { out_.reserve(block + number_room * 8); }
    ~text() { flush(); }
    text(const text&) = delete;
    text& operator=(const text&) = delete;

    void flush() {
        if (!out_.empty()) to_(out_);
        out_.clear();
    }

    text& number(long long v) {
        char buffer[number_room];
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
        out_.append(buffer, r.ptr);
        return *this;
    }
    text& number(double v) {
        char buffer[number_room];
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
        out_.append(buffer, r.ptr);
        return *this;
    }
    text& put(const char* s) {
        out_ += s;
        return *this;
    }
    text& put(char c) {
        out_ += c;
        return *this;
    }
    text& blank() { return put(' '); }
    text& end() {
        out_ += '\n';
        if (out_.size() >= block) flush();
        return *this;
    }

private:
    const sink& to_;
    std::string out_;
};

bool finite(double v) { return std::isfinite(v); }

// Coordinate of grid line k of n over [0, extent]: exact at both ends.
double grid(double extent, int k, int n) { return k == n ? extent : extent * k / n; }

// Share of a total end force on node j of the ny + 1 end nodes.
double share(double total, int j, int ny) {
    const double interior = total / ny;
    return j == 0 || j == ny ? interior / 2 : interior;
}

}  // namespace

const char* law_name(material_law law) { return law == material_law::neo_hookean ? "neo-Hookean" : "Mooney-Rivlin"; }

long long node_at(const strip& s, int i, int j) { return static_cast<long long>(j) * (s.nx + 1) + i + 1; }

strip unit_cells(int nx, int ny) {
    strip s;
    s.nx = nx;
    s.ny = ny;
    s.length = nx;
    s.height = ny;
    return s;
}

long long node_count(const strip& s) { return (static_cast<long long>(s.nx) + 1) * (static_cast<long long>(s.ny) + 1); }

long long element_count(const strip& s) { return 2LL * s.nx * s.ny; }

std::string problem(const strip& s) {
    if (s.nx < 1 || s.ny < 1) return "the strip needs at least one cell in each direction (nx >= 1, ny >= 1)";
    if (node_count(s) > most_nodes)
        return "the strip has " + std::to_string(node_count(s)) + " nodes; the program reads at most " +
               std::to_string(most_nodes);
    if (element_count(s) > most_elements)
        return "the strip has " + std::to_string(element_count(s)) + " elements; the program reads at most " +
               std::to_string(most_elements);
    if (!finite(s.length) || !(s.length > 0)) return "the length must be a finite number greater than 0";
    if (!finite(s.height) || !(s.height > 0)) return "the height must be a finite number greater than 0";
    if (!finite(s.thickness) || !(s.thickness > 0)) return "the thickness must be a finite number greater than 0";
    if (!finite(s.mu) || !finite(s.c10) || !finite(s.c01) || !finite(s.bulk))
        return "the material constants must be finite numbers";
    if (!finite(s.eta) || !finite(s.tolerance) || !finite(s.reference_residue))
        return "eta, the tolerance and the reference residue must be finite numbers";
    if (!s.stretch && !s.load_x && !s.load_y)
        return "the end x = length needs a stretch or a load (a prescribed x displacement, or an x or y force)";
    if (s.stretch && (s.load_x || s.load_y)) return "the end x = length is either stretched or loaded, not both";
    for (const auto& v : {s.stretch, s.load_x, s.load_y})
        if (v && !finite(*v)) return "the stretch and the loads must be finite numbers";
    for (const support& r : s.extra_supports)
        if (r.node < 1 || r.node > node_count(s) || r.direction < 1 || r.direction > 3 || !finite(r.value))
            return "an extra support needs a node of the strip, a direction 1, 2 or 3 and a finite value";
    return {};
}

void write(const strip& s, std::string& out) {
    // About 25 bytes a node, 30 an element and 12 a support record.
    out.reserve(out.size() + static_cast<std::size_t>(node_count(s) * 40 + element_count(s) * 30 + 1024));
    write(s, [&out](std::string_view block) { out += block; });
}

void write(const strip& s, const sink& to) {
    const long long nodes = node_count(s);
    const long long elements = element_count(s);
    text t(to);

    t.put("Strip of ").number(static_cast<long long>(s.nx)).put(" by ").number(static_cast<long long>(s.ny));
    t.put(" cells, ").number(elements).put(" triangles, ").put(law_name(s.law)).put(", written by velmora-mesh").end();

    t.put(settings_sections(s).c_str());

    t.put(": nodes").end();
    t.number(nodes).end();
    t.put("node x y z").end();
    for (int j = 0; j <= s.ny; ++j) {
        const double y = grid(s.height, j, s.ny);
        for (int i = 0; i <= s.nx; ++i)
            t.number(node_at(s, i, j)).blank().number(grid(s.length, i, s.nx)).blank().number(y).put(" 0").end();
    }

    t.put(": elements").end();
    t.number(elements).end();
    t.put("element first second third").end();
    long long e = 0;
    for (int j = 0; j < s.ny; ++j)
        for (int i = 0; i < s.nx; ++i) {
            const long long lower_left = node_at(s, i, j), lower_right = node_at(s, i + 1, j);
            const long long upper_right = node_at(s, i + 1, j + 1), upper_left = node_at(s, i, j + 1);
            t.number(++e).blank().number(lower_left).blank().number(lower_right).blank().number(upper_right).end();
            t.number(++e).blank().number(lower_left).blank().number(upper_right).blank().number(upper_left).end();
        }

    // Supports: the held end in x, node 1 in y, the stretched end in x,
    // the extra ones, then every node in z.
    const long long end_nodes = s.ny + 1;
    const auto extra = static_cast<long long>(s.extra_supports.size());
    t.put(": supports").end();
    t.number(end_nodes + 1 + (s.stretch ? end_nodes : 0) + extra + nodes).end();
    t.put("node dir value").end();
    for (int j = 0; j <= s.ny; ++j) {
        t.number(node_at(s, 0, j)).put(" 1 0").end();
        if (j == 0) t.number(node_at(s, 0, 0)).put(" 2 0").end();
    }
    if (s.stretch)
        for (int j = 0; j <= s.ny; ++j) t.number(node_at(s, s.nx, j)).put(" 1 ").number(*s.stretch).end();
    for (const support& r : s.extra_supports)
        t.number(r.node).blank().number(static_cast<long long>(r.direction)).blank().number(r.value).end();
    for (long long k = 1; k <= nodes; ++k) t.number(k).put(" 3 0").end();

    t.put(": loads").end();
    const long long per_node = (s.load_x ? 1 : 0) + (s.load_y ? 1 : 0);
    t.number(per_node * end_nodes).end();
    if (per_node == 0) return;
    t.put("node dir value").end();
    for (int j = 0; j <= s.ny; ++j) {
        const long long k = node_at(s, s.nx, j);
        if (s.load_x) t.number(k).put(" 1 ").number(share(*s.load_x, j, s.ny)).end();
        if (s.load_y) t.number(k).put(" 2 ").number(share(*s.load_y, j, s.ny)).end();
    }
}

}  // namespace velmora::mesh
