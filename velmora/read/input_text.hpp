// The text of "input.txt" as the reader sees it: a window of whole lines
// over the file (or over a text in memory), the section finder, the
// numbers, and failures that name the file and the line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

class input_text {
public:
    // The whole text in memory; text must outlive the reader.
    input_text(std::string_view text, std::string file_name);
    // A file read in pieces (see read_model); file must outlive the reader.
    input_text(std::FILE* file, std::optional<std::uintmax_t> size, std::string file_name, std::size_t piece);

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

    // Bytes not yet read. For a file read in pieces the rest of the file is
    // read first, so that the figure is exact.
    std::size_t remaining();
    // Bytes not yet read as far as known without reading: for a file of
    // known size exact, otherwise at most remaining().
    std::size_t known_remaining() const;

    // Raises a failure located at the current position.
    [[noreturn]] void fail(const char* name, const std::string& message) const;

private:
    static constexpr int longest_quote = 24;  // characters of the file quoted in a message

    // What read_number found: the sign and the value.
    struct number {
        bool negative = false;
        double real = 0.0;
        long long integer = 0;
    };

    void skip_blanks();
    number read_number(bool real, const char* what);
    [[noreturn]] void fail_at(const char* at, const char* name, const std::string& message) const;
    std::string found(const char* at) const;
    int line_of(const char* at) const;

    bool more();
    void fill(bool to_the_end);
    void grow();

    // The text at hand: [begin_, end_) holds whole lines, p_ the reading
    // position. A file read in pieces keeps after end_ the start of a line
    // not yet read to its end, up to data_end_.
    const char* begin_;
    const char* p_;
    const char* end_;
    const char* data_end_;
    std::string file_name_;

    std::FILE* file_ = nullptr;  // null when the whole text is in memory
    std::size_t capacity_ = 0;
    std::unique_ptr<char[]> buffer_;
    std::optional<std::uintmax_t> size_;
    std::uintmax_t read_ = 0;  // bytes read from the file so far
    bool file_ended_ = true;
    long long lines_before_ = 0;  // line ends in the text before begin_
    char last_before_ = 0;        // the character just before begin_, 0 at the start
};

}  // namespace velmora
