#include "group_name.hpp"

#include <charconv>
#include <cmath>
#include <system_error>

namespace velmora::mesh {

namespace {

const char* const convention =
    "a physical point or curve is named \"fix x y\" (held), \"move x 0.25\" (prescribed displacement) "
    "or \"load y -10\" (total force), with directions x, y, z";

std::vector<std::string> words(std::string_view name) {
    std::vector<std::string> w;
    std::size_t i = 0;
    while (i < name.size()) {
        while (i < name.size() && (name[i] == ' ' || name[i] == '\t')) ++i;
        const std::size_t start = i;
        while (i < name.size() && name[i] != ' ' && name[i] != '\t') ++i;
        if (i > start) w.emplace_back(name.substr(start, i - start));
    }
    return w;
}

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

int direction_of(const std::string& word) {
    const std::string w = lower(word);
    if (w == "x") return 1;
    if (w == "y") return 2;
    if (w == "z") return 3;
    return 0;
}

bool number_of(std::string_view text, double& v) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && !text.empty() && std::isfinite(v);
}

}  // namespace

const char* direction_name(int direction) {
    switch (direction) {
    case 1:
        return "x";
    case 2:
        return "y";
    default:
        return "z";
    }
}

bool names_condition(std::string_view name) {
    const std::vector<std::string> w = words(name);
    if (w.empty()) return false;
    const std::string k = lower(w.front());
    return k == "fix" || k == "move" || k == "load";
}

condition parse_group_name(std::string_view name, const std::string& what) {
    const std::vector<std::string> w = words(name);
    const std::string shown = what + " \"" + std::string(name) + "\"";
    if (w.empty()) throw mesh_error(what + " has no name; " + convention);

    condition c;
    const std::string keyword = lower(w.front());
    if (keyword == "fix")
        c.kind = condition_kind::fix;
    else if (keyword == "move")
        c.kind = condition_kind::move;
    else if (keyword == "load")
        c.kind = condition_kind::load;
    else
        throw mesh_error("unknown group name: " + shown + "; " + convention);

    const bool with_values = c.kind != condition_kind::fix;
    bool given[4] = {false, false, false, false};
    for (std::size_t i = 1; i < w.size(); ++i) {
        const int d = direction_of(w[i]);
        if (d == 0) throw mesh_error(shown + ": expected a direction x, y or z, found \"" + w[i] + "\"; " + convention);
        if (given[d]) throw mesh_error(shown + ": direction " + direction_name(d) + " is given twice");
        given[d] = true;
        double v = 0;
        if (with_values) {
            if (i + 1 >= w.size())
                throw mesh_error(shown + ": direction " + direction_name(d) + " needs a value after it");
            if (!number_of(w[i + 1], v))
                throw mesh_error(shown + ": expected a finite number after " + direction_name(d) + ", found \"" +
                                 w[i + 1] + "\"");
            ++i;
        }
        c.items.push_back({d, v});
    }
    if (c.items.empty())
        throw mesh_error(shown + ": " + keyword + " needs at least one direction" +
                         (with_values ? " with its value" : "") + "; " + convention);
    return c;
}

}  // namespace velmora::mesh
