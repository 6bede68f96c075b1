// Every failure name of the program, each a kind of failure a user can act
// on. A failure is raised as terms::failure with one of these names and a
// message that says where and what; only main catches it, reports
// "raised NAME : message" on standard error and ends with status 1.
#pragma once

#include "contract.hpp"
#include "failure.hpp"

namespace velmora {

using terms::failure;

inline constexpr const char* name_error = "NAME_ERROR";         // "input.txt" missing or unreadable, -C DIR not entered
inline constexpr const char* end_error = "END_ERROR";           // "input.txt" ends too early
inline constexpr const char* data_error = "DATA_ERROR";         // malformed or duplicated data
inline constexpr const char* range_error = terms::range_error;  // number outside its range (the arrays raise it)
inline constexpr const char* material_error = "MATERIAL_ERROR";  // the model has no material
inline constexpr const char* geometry_error = "GEOMETRY_ERROR";  // an element without area
inline constexpr const char* use_error = "USE_ERROR";            // an output file cannot be written
inline constexpr const char* storage_error = "STORAGE_ERROR";    // out of memory, or more than a method can hold
inline constexpr const char* method_error = "METHOD_ERROR";      // the chosen method is not in this build
inline constexpr const char* solver_error = "SOLVER_ERROR";      // the sparse solver failed (Newton)
inline constexpr const char* lapack_error = "LAPACK_ERROR";      // LAPACK failed (Newton; not expected)
inline constexpr const char* halt_error = nlp::halt_name;        // no descent direction: "Line Search Failure"
inline constexpr const char* program_error = "PROGRAM_ERROR";    // a fault of the program itself

}  // namespace velmora
