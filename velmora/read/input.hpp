// The reader of "input.txt": the six sections that fill the model, from a
// text in memory or from a file read in pieces.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "model/model.hpp"
#include "read/input_text.hpp"

namespace velmora {

// Reads the six sections of a model file from text into m, as input()
// does with "input.txt"; file_name locates failures.
void read_model(model& m, std::string_view text, const std::string& file_name);

// Reads the model file at path into m, as input() reads "input.txt";
// failures name the file by path.
void read_model_file(model& m, const std::string& path);

// The same from an open file, read a piece of about piece bytes at a time
// (a longer line is read whole), so that the text is never held whole.
// size is the file's size when known: a count is then checked against it
// without reading the rest of the file first.
void read_model(model& m, std::FILE* file, std::optional<std::uintmax_t> size, const std::string& file_name,
                std::size_t piece);

}  // namespace velmora
