// The window of whole lines over "input.txt": a file is read a piece at a
// time and only the lines at hand are kept, with the count of the lines
// before them, so that a failure names its line whatever has been dropped.
#include "read/input_text.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "model/model.hpp"

namespace velmora {

namespace {

bool is_line_end(const char* p, const char* end) {
    return *p == '\n' || *p == '\f' || (*p == '\r' && p + 1 != end && p[1] == '\n');
}

}  // namespace

input_text::input_text(std::string_view text, std::string file_name)
    : begin_(text.data()),
      p_(text.data()),
      end_(text.data() + text.size()),
      data_end_(end_),
      file_name_(std::move(file_name)) {}

input_text::input_text(std::FILE* file, std::optional<std::uintmax_t> size, std::string file_name, std::size_t piece)
    : file_name_(std::move(file_name)),
      file_(file),
      capacity_(std::max<std::size_t>(piece, 1)),
      buffer_(new char[capacity_]),
      size_(size),
      file_ended_(false) {
    begin_ = p_ = end_ = data_end_ = buffer_.get();
    fill(false);
}

// Reads on from the file after the data at hand: until the data holds a
// line end past end_, which then moves to just after the last one, or,
// with to_the_end, until the file ends. When the file ends, end_ moves to
// the end of the data.
void input_text::fill(bool to_the_end) {
    while (!file_ended_) {
        if (data_end_ == buffer_.get() + capacity_) grow();
        const auto used = static_cast<std::size_t>(data_end_ - buffer_.get());
        char* const at = buffer_.get() + used;
        const std::size_t wanted = capacity_ - used;
        errno = 0;
        const std::size_t got = std::fread(at, 1, wanted, file_);
        data_end_ = at + got;
        read_ += got;
        if (got < wanted) {
            if (std::ferror(file_))
                throw failure(name_error, "cannot read \"" + file_name_ + "\": " + std::strerror(errno));
            file_ended_ = true;
            break;
        }
        if (!to_the_end)
            for (const char* q = data_end_; q != at; --q)
                if (q[-1] == '\n') {
                    end_ = q;
                    return;
                }
    }
    end_ = data_end_;
}

// Doubles the buffer for a line longer than it, keeping the positions.
void input_text::grow() {
    std::unique_ptr<char[]> larger(new char[2 * capacity_]);
    const char* const old = buffer_.get();
    std::memcpy(larger.get(), old, static_cast<std::size_t>(data_end_ - old));
    const auto moved = [&](const char* q) { return larger.get() + (q - old); };
    begin_ = moved(begin_);
    p_ = moved(p_);
    end_ = moved(end_);
    data_end_ = moved(data_end_);
    buffer_ = std::move(larger);
    capacity_ *= 2;
}

// Called when the text at hand is read to end_: drops it, keeping its line
// count, and reads the next lines. False when the file has no more.
bool input_text::more() {
    if (file_ == nullptr || (data_end_ == end_ && file_ended_)) return false;
    lines_before_ += std::count(begin_, end_, '\n');
    if (end_ != begin_) last_before_ = end_[-1];
    const auto rest = static_cast<std::size_t>(data_end_ - end_);
    std::memmove(buffer_.get(), end_, rest);
    begin_ = p_ = end_ = buffer_.get();
    data_end_ = begin_ + rest;
    fill(false);
    return p_ != end_;
}

std::size_t input_text::remaining() {
    if (!file_ended_) fill(true);
    return static_cast<std::size_t>(data_end_ - p_);
}

std::size_t input_text::known_remaining() const {
    std::size_t unread = 0;
    if (!file_ended_ && size_ && *size_ > read_) unread = static_cast<std::size_t>(*size_ - read_);
    return static_cast<std::size_t>(data_end_ - p_) + unread;
}

// The line that holds at; the end of the file counts as part of the last
// line, so a failure there names a line that the file has.
int input_text::line_of(const char* at) const {
    long long line = 1 + lines_before_;
    for (const char* q = begin_; q < at && q < end_; ++q)
        if (*q == '\n') ++line;
    const char last = end_ != begin_ ? end_[-1] : last_before_;
    if (at >= end_ && last == '\n') --line;
    return static_cast<int>(line);
}

std::string input_text::found(const char* at) const {
    if (at >= end_) return "the end of the file";
    std::string text;
    const char* q = at;
    while (q != end_ && static_cast<int>(text.size()) < longest_quote && *q != ' ' && *q != '\t' && *q != '\n' &&
           *q != '\r' && *q != '\f') {
        const auto c = static_cast<unsigned char>(*q++);
        if (c >= 32 && c < 127) {
            text += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            text += hex;
        }
    }
    if (text.empty()) {
        const auto c = static_cast<unsigned char>(*at);
        char hex[32];
        std::snprintf(hex, sizeof hex, "the character \\x%02X", c);
        return hex;
    }
    if (q != end_ && static_cast<int>(text.size()) >= longest_quote) text += "...";
    return "\"" + text + "\"";
}

void input_text::fail_at(const char* at, const char* name, const std::string& message) const {
    throw failure(name, file_name_ + ":" + std::to_string(line_of(at)) + ": " + message);
}

void input_text::fail(const char* name, const std::string& message) const { fail_at(p_, name, message); }

void input_text::skip_line(const char* what) {
    if (p_ == end_) more();
    const void* nl = std::memchr(p_, '\n', static_cast<std::size_t>(end_ - p_));
    if (nl == nullptr)
        fail_at(end_, end_error,
                std::string("the file ends without a line end after the ") + what +
                    "; every line up to the last section's records must end with a line end");
    p_ = static_cast<const char*>(nl) + 1;
}

void input_text::scan(const char* what) {
    for (;;) {
        while (p_ != end_ && is_line_end(p_, end_)) p_ += (*p_ == '\r') ? 2 : 1;
        if (p_ == end_ && more()) continue;
        if (p_ == end_)
            fail_at(end_, end_error,
                    std::string("the file ends before the header of the ") + what +
                        " section (a line that begins with a colon)");
        const char first = *p_++;
        if (first != ':' && std::memchr(p_, '\n', static_cast<std::size_t>(end_ - p_)) == nullptr)
            fail_at(end_, end_error,
                    std::string("the file ends before the header of the ") + what +
                        " section (a line that begins with a colon)");
        skip_line(first == ':' ? "section header" : "comment line");
        if (first == ':') return;
    }
}

void input_text::skip_blanks() {
    do {
        while (p_ != end_ && (*p_ == ' ' || *p_ == '\t' || is_line_end(p_, end_))) p_ += (*p_ == '\r') ? 2 : 1;
    } while (p_ == end_ && more());
}

}  // namespace velmora
