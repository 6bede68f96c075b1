// A model record written as a model file that the reader reads back to the
// same record: every real in the shortest form that reads back to the same
// double.
#pragma once

#include <string>

#include "model/model.hpp"

namespace velmora::python {

// Writes m, as the reader leaves it (direction flags, not yet numbered),
// to the file name in directory (the working directory when empty). A
// file that cannot be written is a USE_ERROR.
void write_model_file(const model& m, const std::string& name, const std::string& directory);

}  // namespace velmora::python
