#include "vtu_writer.hpp"

#include "numbers.hpp"

namespace velmora::mesh {

namespace {

constexpr int vtk_triangle = 5;
constexpr std::size_t per_line = 6;  // numbers on one line of a data array

void vectors(std::string& t, const char* name, const std::vector<std::array<double, 3>>& v) {
    t += "        <DataArray type=\"Float64\"";
    if (name != nullptr) {
        t += " Name=\"";
        t += name;
        t += '"';
    }
    t += " NumberOfComponents=\"3\" format=\"ascii\">\n";
    for (const auto& a : v) {
        t += "          ";
        append_shortest(t, a[0]);
        t += ' ';
        append_shortest(t, a[1]);
        t += ' ';
        append_shortest(t, a[2]);
        t += '\n';
    }
    t += "        </DataArray>\n";
}

void scalars(std::string& t, const char* name, const std::vector<std::array<double, 3>>& v, std::size_t column) {
    t += "        <DataArray type=\"Float64\" Name=\"";
    t += name;
    t += "\" format=\"ascii\">\n";
    for (std::size_t i = 0; i < v.size(); ++i) {
        t += i % per_line == 0 ? "          " : " ";
        append_shortest(t, v[i][column]);
        if (i % per_line == per_line - 1 || i + 1 == v.size()) t += '\n';
    }
    t += "        </DataArray>\n";
}

template <class Value>
void integers(std::string& t, const char* type, const char* name, std::size_t count, Value value) {
    t += "        <DataArray type=\"";
    t += type;
    t += "\" Name=\"";
    t += name;
    t += "\" format=\"ascii\">\n";
    for (std::size_t i = 0; i < count; ++i) {
        t += i % per_line == 0 ? "          " : " ";
        t += std::to_string(value(i));
        if (i % per_line == per_line - 1 || i + 1 == count) t += '\n';
    }
    t += "        </DataArray>\n";
}

}  // namespace

std::string vtu_text(const results& r) {
    std::string t;
    t.reserve(r.points.size() * 200 + r.triangles.size() * 100 + 2048);
    t += "<?xml version=\"1.0\"?>\n";
    t += "<VTKFile type=\"UnstructuredGrid\" version=\"0.1\" byte_order=\"LittleEndian\">\n";
    t += "  <UnstructuredGrid>\n";
    t += "    <Piece NumberOfPoints=\"" + std::to_string(r.points.size()) + "\" NumberOfCells=\"" +
         std::to_string(r.triangles.size()) + "\">\n";
    t += "      <PointData Vectors=\"displacement\">\n";
    vectors(t, "displacement", r.displacement);
    vectors(t, "reaction", r.reaction);
    t += "      </PointData>\n";
    t += "      <CellData Scalars=\"sigma1\">\n";
    scalars(t, "sigma1", r.sigma, 0);
    scalars(t, "sigma2", r.sigma, 1);
    scalars(t, "sigma3", r.sigma, 2);
    t += "      </CellData>\n";
    t += "      <Points>\n";
    vectors(t, nullptr, r.points);
    t += "      </Points>\n";
    t += "      <Cells>\n";
    integers(t, "Int64", "connectivity", 3 * r.triangles.size(),
             [&](std::size_t i) { return r.triangles[i / 3][i % 3]; });
    integers(t, "Int64", "offsets", r.triangles.size(), [](std::size_t i) { return 3 * (i + 1); });
    integers(t, "UInt8", "types", r.triangles.size(), [](std::size_t) { return vtk_triangle; });
    t += "      </Cells>\n";
    t += "    </Piece>\n";
    t += "  </UnstructuredGrid>\n";
    t += "</VTKFile>\n";
    return t;
}

}  // namespace velmora::mesh
