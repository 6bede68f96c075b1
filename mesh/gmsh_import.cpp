#include "gmsh_import.hpp"

#include <gmsh.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>

#include "group_name.hpp"

namespace velmora::mesh {

namespace {

// gmsh element types (its fixed numbering of element kinds).
constexpr int gmsh_line2 = 1;
constexpr int gmsh_triangle3 = 2;
constexpr int gmsh_quadrangle4 = 3;

const char* const dimension_names[] = {"point", "curve", "surface", "volume"};

// One gmsh session: initialised without the user's configuration files,
// silent on the terminal, its messages collected.
class session {
public:
    session() {
        gmsh::initialize(0, nullptr, false);
        gmsh::option::setNumber("General.Terminal", 0);
        gmsh::logger::start();
    }
    ~session() {
        try {
            gmsh::logger::stop();
            gmsh::finalize();
        } catch (...) {  // nothing to be done at this point
        }
    }
    session(const session&) = delete;
    session& operator=(const session&) = delete;

    // The last error gmsh reported, or the given text when it kept none.
    static std::string last_error(const std::string& otherwise) {
        std::string error;
        try {
            gmsh::logger::getLastError(error);
        } catch (...) {
            error.clear();
        }
        return error.empty() ? otherwise : error;
    }

    // Warnings gmsh logged.
    static void warnings(std::vector<std::string>& notes) {
        std::vector<std::string> log;
        gmsh::logger::get(log);
        for (const std::string& line : log)
            if (line.starts_with("Warning")) notes.push_back("gmsh: " + line);
    }
};

std::string element_name(int type) {
    std::string name;
    int dim = 0, order = 0, count = 0, primary = 0;
    std::vector<double> local;
    gmsh::model::mesh::getElementProperties(type, name, dim, order, count, local, primary);
    return name;
}

std::string plural(std::size_t n, const std::string& word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

void read_body(source_mesh& mesh, const std::vector<int>& surfaces) {
    std::map<int, std::size_t> refused;  // element type -> count
    for (int surface : surfaces) {
        std::vector<int> types;
        std::vector<std::vector<std::size_t>> tags, nodes;
        gmsh::model::mesh::getElements(types, tags, nodes, 2, surface);
        for (std::size_t i = 0; i < types.size(); ++i) {
            if (types[i] != gmsh_triangle3) {
                refused[types[i]] += tags[i].size();
                continue;
            }
            for (std::size_t e = 0; e < tags[i].size(); ++e) {
                mesh.triangle_tags.push_back(tags[i][e]);
                mesh.triangles.push_back({nodes[i][3 * e], nodes[i][3 * e + 1], nodes[i][3 * e + 2]});
            }
        }
    }
    if (refused.empty()) return;
    const auto [type, count] = *refused.begin();
    if (type == gmsh_quadrangle4)
        throw mesh_error("the mesh has " + plural(count, "quadrilateral") +
                         ": velmora models 3-node triangles only (mesh without Recombine, or with "
                         "Mesh.RecombineAll = 0)");
    throw mesh_error("the mesh has " + plural(count, "element") + " of the kind \"" + element_name(type) +
                     "\": velmora models 3-node triangles only (mesh with Mesh.ElementOrder = 1 and no "
                     "recombination)");
}

source_group read_group(int dim, int tag) {
    source_group g;
    g.dim = dim;
    g.tag = tag;
    gmsh::model::getPhysicalName(dim, tag, g.name);
    std::vector<double> coordinates;
    gmsh::model::mesh::getNodesForPhysicalGroup(dim, tag, g.nodes, coordinates);
    if (dim != 1) return g;
    std::vector<int> curves;
    gmsh::model::getEntitiesForPhysicalGroup(dim, tag, curves);
    for (int curve : curves) {
        std::vector<int> types;
        std::vector<std::vector<std::size_t>> tags, nodes;
        gmsh::model::mesh::getElements(types, tags, nodes, 1, curve);
        for (std::size_t i = 0; i < types.size(); ++i) {
            if (types[i] != gmsh_line2)
                throw mesh_error("physical curve " + std::to_string(tag) + " \"" + g.name +
                                 "\" has elements of the kind \"" + element_name(types[i]) +
                                 "\": velmora models first-order meshes only");
            for (std::size_t e = 0; e < tags[i].size(); ++e)
                g.segments.push_back({nodes[i][2 * e], nodes[i][2 * e + 1]});
        }
    }
    return g;
}

source_mesh read_model(const std::string& file, const gmsh_options& options, std::vector<std::string>& notes) {
    source_mesh mesh;
    std::vector<double> flat, parametric;
    gmsh::model::mesh::getNodes(mesh.node_tags, flat, parametric, -1, -1, false, false);
    if (mesh.node_tags.empty()) {
        if (options.size_factor) gmsh::option::setNumber("Mesh.MeshSizeFactor", *options.size_factor);
        gmsh::model::mesh::generate(2);
    } else if (options.size_factor) {
        notes.push_back("--size-factor has no effect: " + file + " brings its own mesh");
    }
    gmsh::model::mesh::getNodes(mesh.node_tags, flat, parametric, -1, -1, false, false);
    mesh.coordinates.resize(mesh.node_tags.size());
    for (std::size_t k = 0; k < mesh.node_tags.size(); ++k)
        mesh.coordinates[k] = {flat[3 * k], flat[3 * k + 1], flat[3 * k + 2]};

    {
        std::vector<int> types;
        std::vector<std::vector<std::size_t>> tags, nodes;
        gmsh::model::mesh::getElements(types, tags, nodes, 3);
        std::size_t count = 0;
        for (const auto& t : tags) count += t.size();
        if (count > 0)
            throw mesh_error("the mesh has " + plural(count, "volume element") +
                             ": velmora models surfaces meshed with triangles (mesh in 2D)");
    }

    gmsh::vectorpair groups;
    gmsh::model::getPhysicalGroups(groups);
    std::vector<int> bodies;
    std::string body_names;
    gmsh::vectorpair conditions;  // physical points and curves
    for (const auto& [dim, tag] : groups) {
        std::string name;
        gmsh::model::getPhysicalName(dim, tag, name);
        const std::string shown = "physical " + std::string(dimension_names[std::clamp(dim, 0, 3)]) + " " +
                                  std::to_string(tag) + " \"" + name + "\"";
        if (dim == 3) throw mesh_error(shown + ": velmora models surfaces; remove the physical volume");
        if (dim == 2) {
            if (names_condition(name))
                throw mesh_error(shown +
                                 ": a physical surface is the body; supports and loads go on physical "
                                 "points and curves");
            bodies.push_back(tag);
            body_names += (body_names.empty() ? "" : ", ") + ("\"" + name + "\"");
            continue;
        }
        conditions.emplace_back(dim, tag);
    }
    if (bodies.size() > 1)
        throw mesh_error("the mesh has " + std::to_string(bodies.size()) + " physical surfaces (" + body_names +
                         "), but velmora models one material: put every surface of the body in one physical "
                         "surface");

    std::vector<int> surfaces;
    if (bodies.empty()) {
        gmsh::vectorpair entities;
        gmsh::model::getEntities(entities, 2);
        for (const auto& [dim, tag] : entities) surfaces.push_back(tag);
    } else {
        gmsh::model::getEntitiesForPhysicalGroup(2, bodies.front(), surfaces);
    }
    read_body(mesh, surfaces);
    if (mesh.triangles.empty())
        throw mesh_error(file + " has no triangles" +
                         (bodies.empty() ? std::string() : " in its physical surface " + body_names) +
                         ": velmora models a surface meshed with 3-node triangles (a .geo file needs a surface, "
                         "a .msh file triangles)");
    for (const auto& [dim, tag] : conditions) mesh.groups.push_back(read_group(dim, tag));
    return mesh;
}

}  // namespace

source_mesh read_gmsh(const std::string& file, const gmsh_options& options, std::vector<std::string>& notes) {
    // gmsh passes over a file it cannot open without a word; check first.
    errno = 0;
    if (!std::ifstream(file))
        throw mesh_error("cannot open " + file + ": " + (errno != 0 ? std::strerror(errno) : "it cannot be read"));
    const session s;
    try {
        gmsh::open(file);
    } catch (...) {
        throw mesh_error("gmsh cannot read " + file + ": " + session::last_error("unknown error"));
    }
    try {
        source_mesh mesh = read_model(file, options, notes);
        session::warnings(notes);
        return mesh;
    } catch (const mesh_error&) {
        throw;
    } catch (...) {
        throw mesh_error("gmsh failed on " + file + ": " + session::last_error("unknown error"));
    }
}

}  // namespace velmora::mesh
