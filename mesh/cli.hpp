// Command-line helpers shared by the commands of velmora-mesh: the
// malformed-command failure, the parsing of numbers given as option values
// and the options of the material and the solver controls.
#pragma once

#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "strip.hpp"  // material_law

namespace velmora::mesh::cli {

inline constexpr int usage_status = 2;  // a malformed command line
inline constexpr int failure_status = 1;  // the work could not be done

struct usage_error {
    std::string message;
};

[[noreturn]] inline void refuse(const std::string& message) { throw usage_error{message}; }

inline std::string quoted(std::string_view s) {
    std::string q;
    q.reserve(s.size() + 2);
    q += '"';
    q += s;
    q += '"';
    return q;
}

inline int whole_number(std::string_view option, std::string_view value) {
    int v = 0;
    const auto r = std::from_chars(value.data(), value.data() + value.size(), v);
    if (r.ec == std::errc::result_out_of_range)
        refuse(std::string(option) + ": " + quoted(value) + " lies outside -2147483648..2147483647");
    if (r.ec != std::errc() || r.ptr != value.data() + value.size() || value.empty())
        refuse(std::string(option) + ": expected a whole number, found " + quoted(value));
    return v;
}

inline double real_number(std::string_view option, std::string_view value) {
    double v = 0;
    // from_chars takes no leading '+'; allow it as people write it.
    std::string_view digits = value;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (r.ec != std::errc() || r.ptr != digits.data() + digits.size() || digits.empty() ||
        !(v - v == 0))  // rejects inf and nan
        refuse(std::string(option) + ": expected a finite number, found " + quoted(value));
    return v;
}

// Walks the arguments of one command: "--name value", "--name=value" and
// single words.
class arguments {
public:
    arguments(int argc, char** argv, int first) : argc_(argc), argv_(argv), next_(first) {}

    // Moves to the next argument; false when there is none.
    bool next() {
        if (next_ >= argc_) return false;
        arg_ = argv_[next_++];
        name_ = arg_;
        inline_value_ = {};
        has_inline_ = false;
        if (const auto eq = arg_.find('='); arg_.starts_with("--") && eq != std::string_view::npos) {
            name_ = arg_.substr(0, eq);
            inline_value_ = arg_.substr(eq + 1);
            has_inline_ = true;
        }
        return true;
    }

    std::string_view arg() const { return arg_; }    // the whole argument
    std::string_view name() const { return name_; }  // the option name, before any '='

    std::string_view value() {
        if (has_inline_) return inline_value_;
        if (next_ >= argc_) refuse(std::string(name_) + " needs a value");
        return argv_[next_++];
    }
    double real() { return real_number(name_, value()); }
    int whole() { return whole_number(name_, value()); }

private:
    int argc_;
    char** argv_;
    int next_;
    std::string_view arg_, name_, inline_value_;
    bool has_inline_ = false;
};

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
    if (name == "--law") f.law = std::string(a.value());
    else if (name == "--mu") s.mu = a.real(), f.mu = true;
    else if (name == "--c10") s.c10 = a.real(), f.c10 = true;
    else if (name == "--c01") s.c01 = a.real(), f.c01 = true;
    else if (name == "--bulk") s.bulk = a.real();
    else if (name == "--thickness") s.thickness = a.real();
    else if (name == "--eta") s.eta = a.real();
    else if (name == "--search-limit") s.search_limit = a.whole();
    else if (name == "--tolerance") s.tolerance = a.real();
    else if (name == "--reference-residue") s.reference_residue = a.real();
    else if (name == "--max-iterations") s.max_iterations = a.whole();
    else if (name == "--memory") s.memory = a.whole();
    else return false;
    return true;
}

// Sets the law given by --law and refuses constants of the other law.
template <class Settings>
void settle_law(const material_flags& f, Settings& s) {
    if (f.law) {
        if (*f.law == "neo") s.law = material_law::neo_hookean;
        else if (*f.law == "mr") s.law = material_law::mooney_rivlin;
        else refuse("--law: expected neo (neo-Hookean) or mr (Mooney-Rivlin), found " + cli::quoted(*f.law));
    }
    if (s.law == material_law::neo_hookean && (f.c10 || f.c01))
        refuse("--c10 and --c01 belong to the Mooney-Rivlin law; add --law mr, or give --mu");
    if (s.law == material_law::mooney_rivlin && f.mu)
        refuse("--mu belongs to the neo-Hookean law; give --c10 and --c01 with --law mr");
}

}  // namespace velmora::mesh::cli
