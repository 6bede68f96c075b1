// The program's one failure type: a name that says what kind of failure it
// is (RANGE_ERROR, DATA_ERROR, NLP.HALT, ...) and a message that says where
// and what. Only main catches it.
#pragma once

#include <stdexcept>
#include <string>

namespace terms {

class failure : public std::runtime_error {
public:
    failure(std::string name, const std::string& message) : std::runtime_error(message), name_(std::move(name)) {}

    const std::string& name() const noexcept { return name_; }
    std::string message() const { return what(); }

private:
    std::string name_;
};

// Failure names shared by every unit.
inline constexpr const char* range_error = "RANGE_ERROR";

}  // namespace terms
