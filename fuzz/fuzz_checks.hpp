// What every failure of a run must look like, checked by the fuzz targets:
// a failure name the step may raise and a message that is one line of
// printable ASCII. A violation prints what was wrong and aborts, which the
// fuzzer records as a crash with the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>

#include "failure.hpp"

namespace fuzz {

[[noreturn]] inline void violation(const std::string& what) {
    std::fprintf(stderr, "\nfuzz check failed: %s\n", what.c_str());
    std::abort();
}

inline bool printable_line(std::string_view text) {
    for (const char c : text)
        if (c < ' ' || c > '~') return false;
    return true;
}

// Lines of text as the reader counts them: one more than the line feeds.
inline long long line_count(std::string_view text) {
    long long lines = 1;
    for (const char c : text)
        if (c == '\n') ++lines;
    return lines;
}

// The failure carries one of the expected names and a non-empty message
// that fits on the report's single line.
inline void check_failure(const terms::failure& f, std::initializer_list<const char*> names, const char* step) {
    bool known = false;
    for (const char* name : names) known = known || f.name() == name;
    if (!known) violation(std::string(step) + " raised " + f.name() + " : " + f.what());
    const std::string message = f.what();
    if (message.empty()) violation(std::string(step) + " raised " + f.name() + " without a message");
    if (!printable_line(message))
        violation(std::string(step) + " raised " + f.name() + " with a message that is not one printable line");
}

// A reader failure names "input.txt" and a line the text has:
// "input.txt:LINE: what was expected and found".
inline void check_located(const terms::failure& f, std::string_view text) {
    const std::string message = f.what();
    const std::string head = "input.txt:";
    if (message.rfind(head, 0) != 0) violation("reader message without its file: " + message);
    std::size_t at = head.size();
    long long line = 0;
    while (at < message.size() && message[at] >= '0' && message[at] <= '9' && line <= line_count(text))
        line = line * 10 + (message[at++] - '0');
    if (at == head.size() || message.compare(at, 2, ": ") != 0)
        violation("reader message without a line number: " + message);
    if (line < 1 || line > line_count(text))
        violation("reader message names line " + std::to_string(line) + " of a text of " +
                  std::to_string(line_count(text)) + " lines: " + message);
}

}  // namespace fuzz
