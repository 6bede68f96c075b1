// Whole text files in and out, with the reason of a failure.
#pragma once

#include <optional>
#include <string>

namespace velmora::mesh {

// The contents of the file, or nothing with why set to the reason.
std::optional<std::string> read_text(const std::string& file, std::string& why);

// Writes text to the file ('-': standard output); returns the reason of a
// failure, or an empty string.
std::string write_text(const std::string& file, const std::string& text);

}  // namespace velmora::mesh
