// The options that the strip generator and the import of velmora-mesh
// share: the material and the solver controls, read with the parser common
// to velmora and velmora-mesh (common/cli.hpp).
#pragma once

#include <optional>
#include <string>

#include "cli.hpp"    // common/cli.hpp
#include "strip.hpp"  // material_law

namespace velmora::mesh::cli {

using velmora::cli::arguments;
using velmora::cli::failure_status;
using velmora::cli::quoted;
using velmora::cli::refuse;
using velmora::cli::refused;
using velmora::cli::usage_error;
using velmora::cli::usage_status;

// The material and solver-control options that the strip generator and
// import share. Settings is a strip or import_options: both hold the same
// fields under the same names.
struct material_flags {
    std::optional<std::string> law;  // as given to --law
    bool mu = false, c10 = false, c01 = false;
};

// Takes the option under a's cursor when it is one of the shared ones;
// false for any other option.
template <class Settings>
bool take_setting(arguments& a, Settings& s, material_flags& f) {
    const std::string_view name = a.name();
    if (name == "--law")
        f.law = std::string(a.value());
    else if (name == "--mu")
        s.mu = a.real(), f.mu = true;
    else if (name == "--c10")
        s.c10 = a.real(), f.c10 = true;
    else if (name == "--c01")
        s.c01 = a.real(), f.c01 = true;
    else if (name == "--bulk")
        s.bulk = a.real();
    else if (name == "--thickness")
        s.thickness = a.real();
    else if (name == "--eta")
        s.eta = a.real();
    else if (name == "--search-limit")
        s.search_limit = a.whole();
    else if (name == "--tolerance")
        s.tolerance = a.real();
    else if (name == "--reference-residue")
        s.reference_residue = a.real();
    else if (name == "--max-iterations")
        s.max_iterations = a.whole();
    else if (name == "--memory")
        s.memory = a.whole();
    else
        return false;
    return true;
}

// Sets the law given by --law and refuses constants of the other law.
template <class Settings>
void settle_law(const material_flags& f, Settings& s) {
    if (f.law) {
        if (*f.law == "neo")
            s.law = material_law::neo_hookean;
        else if (*f.law == "mr")
            s.law = material_law::mooney_rivlin;
        else
            refuse("--law: expected neo (neo-Hookean) or mr (Mooney-Rivlin), found " + cli::quoted(*f.law));
    }
    if (s.law == material_law::neo_hookean && (f.c10 || f.c01))
        refuse("--c10 and --c01 belong to the Mooney-Rivlin law; add --law mr, or give --mu");
    if (s.law == material_law::mooney_rivlin && f.mu)
        refuse("--mu belongs to the neo-Hookean law; give --c10 and --c01 with --law mr");
}

}  // namespace velmora::mesh::cli
