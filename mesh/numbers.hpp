// Numbers as text in the shortest form that reads back to the same double,
// independent of the locale.
#pragma once

#include <charconv>
#include <string>

namespace velmora::mesh {

inline std::string shortest(double v) {
    char buffer[32];  // "-2.2250738585072014e-308" is 24 characters
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, r.ptr);
}

// Appends the shortest form of v to out.
inline void append_shortest(std::string& out, double v) {
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    out.append(buffer, r.ptr);
}

}  // namespace velmora::mesh
