// A text file that a writer creates anew and fills line by line. Output is
// gathered in a buffer and written in large blocks. The file is closed when
// the object goes away, also when a failure interrupts its writer: what was
// written stays, and an unfinished last line gets its line end.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "write/format.hpp"

namespace velmora {

class text_file {
public:
    // Creates the file name in directory, or in the working directory when
    // directory is empty; a failure names the file and where it is.
    explicit text_file(const std::string& name, const std::string& directory = {});
    ~text_file();
    text_file(const text_file&) = delete;
    text_file& operator=(const text_file&) = delete;

    void put(char c) {
        reserve(1);
        *end_++ = c;
    }
    void put(std::string_view text) {
        reserve(text.size());
        for (char c : text) *end_++ = c;
    }
    // Writes c count times; nothing when count is not positive.
    void put_repeat(char c, int count) {
        for (int k = 0; k < count; ++k) put(c);
    }
    void new_line() { put('\n'); }

    void put_integer(long long value, int width) {
        reserve(static_cast<std::size_t>(width > 0 ? width : 0) + max_number_chars);
        end_ = format_integer(end_, value, width);
    }
    void put_real(double value, int fore, int aft, int exp) {
        reserve(static_cast<std::size_t>(fore + aft) + max_number_chars);
        end_ = format_real(end_, value, fore, aft, exp);
    }
    void put_real_unpadded(double value, int fore, int aft, int exp) {
        reserve(static_cast<std::size_t>(fore + aft) + max_number_chars);
        end_ = format_real_unpadded(end_, value, fore, aft, exp);
    }

    // Writes what is buffered and closes the file; a failure to write raises
    // USE_ERROR. The destructor closes quietly.
    void close();

private:
    static constexpr std::size_t capacity = std::size_t{1} << 20;

    void reserve(std::size_t n) {
        if (static_cast<std::size_t>(limit_ - end_) < n) flush(n);
    }
    void flush(std::size_t need);
    void write_buffer();

    std::string name_;
    std::string where_;  // "in the working directory" or "in \"DIR\""
    std::FILE* file_ = nullptr;
    // Left unwritten until filled: pages of it that a small file never
    // reaches are never touched. It ends at limit_.
    std::unique_ptr<char[]> buffer_;
    char* begin_ = nullptr;
    char* end_ = nullptr;
    char* limit_ = nullptr;
    char last_ = '\n';  // last character handed to the file
};

}  // namespace velmora
