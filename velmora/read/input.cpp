// The reader of "input.txt": the six sections that fill the model.
//
// The file holds six sections, each after a header line that begins with a
// colon: control values, thickness and material, nodes, elements, prescribed
// displacements, nodal forces. Numbers are free format; after the last
// number of a record the rest of its line is discarded. Record numbers say
// where a record goes, so records may come in any order.
#include "read/input.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "model/steps.hpp"

namespace velmora {

namespace {

constexpr const char* input_file_name = "input.txt";
constexpr double default_tolerance = 0.001;  // replaces a tolerance not greater than 0
constexpr int directions = 3;
// Bytes of "input.txt" read at a time: the reader never holds the whole
// text, only the lines at hand.
constexpr std::size_t input_piece = std::size_t{1} << 20;

// Shortest text a record of k numbers can take: each number one digit and
// one blank or line end. A count is checked against it before any storage
// is allocated for the count.
constexpr std::size_t min_record_bytes(int numbers) { return 2 * static_cast<std::size_t>(numbers); }

// Refuses a count that the rest of the file cannot hold, before storage is
// allocated for it. Called directly after the count, so that the failure
// names the count's line.
void check_count(input_text& in, long long count, int numbers, const char* records) {
    const auto fits = [&](std::size_t rest) {
        return count <= 0 || static_cast<unsigned long long>(count) <= rest / min_record_bytes(numbers);
    };
    if (fits(in.known_remaining())) return;
    const std::size_t rest = in.remaining();
    if (!fits(rest))
        in.fail(end_error, "the count " + std::to_string(count) + " of " + records +
                               " is more than the rest of the file can hold (" + std::to_string(rest) + " bytes)");
}

void read_controls(input_text& in, model& m) {
    in.scan("control");
    m.eta = in.read_real("eta, line-search accuracy");
    m.search_limit = in.read_integer("search limit");
    m.tolerance = in.read_real("tolerance");
    m.reference_residue = in.read_real("reference residue");
    m.max_iterations = in.read_integer("maximum iterations");
    m.memory = in.read_integer("memory");
    in.skip_line("control values");
    if (!(m.tolerance > 0.0)) m.tolerance = default_tolerance;
}

void read_material(input_text& in, model& m) {
    in.scan("material");
    m.thickness = in.read_real("thickness");
    m.material_input_kind = in.read_integer("material kind");
    if (m.material_input_kind == 1) {
        const double mu = in.read_real("mu");
        const double bulk = in.read_real("bulk modulus");
        m.material = mat_rec::neo_hookean(mu, bulk);
    } else if (m.material_input_kind == 2) {
        const double c10 = in.read_real("c10");
        const double c01 = in.read_real("c01");
        const double bulk = in.read_real("bulk modulus");
        m.material = mat_rec::mooney_rivlin(c10, c01, bulk);
    }
    // Any other kind leaves the model without a material; the run fails
    // where the material is first needed.
    in.skip_line("material line");
}

void check_record_number(input_text& in, int k, int count, std::vector<char>& seen, const char* record) {
    if (k < 1 || k > count)
        in.fail(range_error,
                std::string(record) + " number " + std::to_string(k) + " outside 1.." + std::to_string(count));
    if (seen[static_cast<std::size_t>(k - 1)])
        in.fail(data_error, std::string(record) + " " + std::to_string(k) + " is given twice");
    seen[static_cast<std::size_t>(k - 1)] = 1;
}

void read_nodes(input_text& in, model& m) {
    in.scan("nodes");
    const int count = in.read_integer("node count");
    check_count(in, count, 4, "nodes");
    constexpr int most_nodes = INT_MAX / directions;  // keeps degree-of-freedom numbers in range
    if (count > most_nodes)
        in.fail(data_error, "the node count " + std::to_string(count) + " exceeds " + std::to_string(most_nodes));
    in.skip_line("node count");
    m.node_count = count;
    m.x = fmat1(count);
    m.y = fmat1(count);
    m.z = fmat1(count);
    in.skip_line("title line of the nodes");
    std::vector<char> seen(static_cast<std::size_t>(std::max(count, 0)), 0);
    for (int r = 1; r <= count; ++r) {
        const int k = in.read_integer("node number");
        check_record_number(in, k, count, seen, "node");
        m.x(k) = in.read_real("first coordinate");
        m.y(k) = in.read_real("second coordinate");
        m.z(k) = in.read_real("third coordinate");
        in.skip_line("node record");
    }
}

void read_elements(input_text& in, model& m) {
    in.scan("elements");
    const int count = in.read_integer("element count");
    check_count(in, count, 4, "elements");
    in.skip_line("element count");
    m.elements = element_array(count);
    in.skip_line("title line of the elements");
    std::vector<char> seen(static_cast<std::size_t>(std::max(count, 0)), 0);
    for (int r = 1; r <= count; ++r) {
        const int k = in.read_integer("element number");
        check_record_number(in, k, count, seen, "element");
        element_rec& e = m.elements(k);
        e.node(1) = in.read_integer("first node of the element");
        e.node(2) = in.read_integer("second node of the element");
        e.node(3) = in.read_integer("third node of the element");
        in.skip_line("element record");
    }
}

// Reads the records of a support or load section: node, direction, value.
template <class Store>
void read_node_values(input_text& in, const model& m, const char* section, const char* record, Store store) {
    in.scan(section);
    const int count = in.read_integer("record count");
    in.skip_line("record count");
    if (count <= 0) return;
    in.skip_line("title line");
    for (int r = 1; r <= count; ++r) {
        const int k = in.read_integer("node number");
        const int d = in.read_integer("direction");
        const double v = in.read_real("value");
        if (k < 1 || k > m.node_count)
            in.fail(range_error, std::string(record) + ": node number " + std::to_string(k) + " outside 1.." +
                                     std::to_string(m.node_count));
        if (d < 1 || d > directions)
            in.fail(range_error, std::string(record) + ": direction " + std::to_string(d) + " outside 1..3");
        store(k, d, v);
        in.skip_line(record);
    }
}

void read_sections(input_text& in, model& m) {
    read_controls(in, m);
    read_material(in, m);
    read_nodes(in, m);
    read_elements(in, m);

    m.dof_number = imat2(m.node_count, directions);
    m.prescribed = fmat2(m.node_count, directions);
    m.dof_number.fill(0);
    m.prescribed.fill(0.0);
    read_node_values(in, m, "supports", "prescribed displacement record", [&m](int k, int d, double v) {
        m.prescribed(k, d) = v;
        m.dof_number(k, d) = 1;
    });

    m.force = fmat2(m.node_count, directions);
    m.force.fill(0.0);
    read_node_values(in, m, "loads", "force record", [&m](int k, int d, double v) { m.force(k, d) = v; });
}

struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Reads the model file at path; where follows its name in the message when
// it cannot be opened.
void read_path(model& m, const std::string& path, const char* where) {
    errno = 0;
    const std::unique_ptr<std::FILE, file_closer> file(std::fopen(path.c_str(), "rb"));
    if (file == nullptr) {
        const int error = errno;
        throw failure(name_error, "cannot open \"" + path + "\"" + where + ": " + std::strerror(error));
    }
    // A directory or a pipe has no size.
    std::error_code no_size;
    const std::uintmax_t size = std::filesystem::file_size(path, no_size);
    read_model(m, file.get(), no_size ? std::nullopt : std::optional<std::uintmax_t>(size), path, input_piece);
}

}  // namespace

void input(model& m) { read_path(m, input_file_name, " in the working directory"); }

void read_model_file(model& m, const std::string& path) { read_path(m, path, ""); }

void read_model(model& m, std::string_view text, const std::string& file_name) {
    input_text in(text, file_name);
    read_sections(in, m);
}

void read_model(model& m, std::FILE* file, std::optional<std::uintmax_t> size, const std::string& file_name,
                std::size_t piece) {
    input_text in(file, size, file_name, piece);
    read_sections(in, m);
}

}  // namespace velmora
