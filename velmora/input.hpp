// Reading the text of "input.txt": free-format numbers, rest-of-line
// discarding and the section finder. Failures name the file and the line.
#pragma once

#include <string>
#include <string_view>

#include "model.hpp"

namespace velmora {

// The whole contents of a file; when it could not be opened or read, error
// holds errno as the failure left it.
struct file_contents {
    std::string text;
    bool opened = false;
    bool read_failed = false;
    int error = 0;
};
file_contents read_whole_file(const char* name);

// Reads the six sections of a model file from text into m, as input()
// does with the contents of "input.txt"; file_name locates failures.
void read_model(model& m, std::string_view text, const std::string& file_name);

class input_text {
public:
    // text must outlive the reader.
    input_text(std::string_view text, std::string file_name);

    // Passes over lines up to and including the next header line (a line
    // whose first character is a colon). what names the section for the
    // message when the file ends first.
    void scan(const char* what);

    // Discards the rest of the current line with its line end. what names
    // the record for the message when the file ends first.
    void skip_line(const char* what);

    // Reads an integer or a real after blanks, tabs, line ends and form
    // feeds. what says what the number is, for the message.
    int read_integer(const char* what);
    double read_real(const char* what);

    // Bytes not yet read.
    std::size_t remaining() const { return static_cast<std::size_t>(end_ - p_); }

    // Raises a failure located at the current position.
    [[noreturn]] void fail(const char* name, const std::string& message) const;

private:
    struct number;
    void skip_blanks();
    number read_number(bool real, const char* what);
    [[noreturn]] void fail_at(const char* at, const char* name, const std::string& message) const;
    std::string found(const char* at) const;
    int line_of(const char* at) const;

    const char* begin_;
    const char* p_;
    const char* end_;
    std::string file_name_;
};

}  // namespace velmora
