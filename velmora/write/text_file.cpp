#include "write/text_file.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "model/model.hpp"

namespace velmora {

namespace {

[[noreturn]] void write_failure(const std::string& name, const std::string& where, const char* what, int error) {
    throw failure(use_error,
                  "cannot " + std::string(what) + " \"" + name + "\" " + where + ": " + std::strerror(error));
}

}  // namespace

text_file::text_file(const std::string& name, const std::string& directory)
    : name_(name),
      where_(directory.empty() ? "in the working directory" : "in \"" + directory + "\""),
      buffer_(std::make_unique_for_overwrite<char[]>(capacity)) {
    const std::string path = directory.empty() ? name : (std::filesystem::path(directory) / name).string();
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) write_failure(name_, where_, "create", errno);
    begin_ = buffer_.get();
    end_ = begin_;
    limit_ = begin_ + capacity;
}

text_file::~text_file() {
    if (file_ == nullptr) return;
    try {
        close();
    } catch (...) {
        // Closing during the unwinding of another failure: that failure is
        // the one to report.
        if (file_ != nullptr) std::fclose(file_);
        file_ = nullptr;
    }
}

void text_file::write_buffer() {
    const std::size_t n = static_cast<std::size_t>(end_ - begin_);
    if (n == 0) return;
    last_ = end_[-1];
    end_ = begin_;
    if (std::fwrite(begin_, 1, n, file_) != n) write_failure(name_, where_, "write", errno);
}

void text_file::flush(std::size_t need) {
    write_buffer();
    if (need > static_cast<std::size_t>(limit_ - begin_)) {
        buffer_ = std::make_unique_for_overwrite<char[]>(need);
        begin_ = buffer_.get();
        end_ = begin_;
        limit_ = begin_ + need;
    }
}

void text_file::close() {
    if (file_ == nullptr) return;
    if (end_ == begin_ ? last_ != '\n' : end_[-1] != '\n') put('\n');
    write_buffer();
    std::FILE* file = file_;
    file_ = nullptr;
    if (std::fclose(file) != 0) write_failure(name_, where_, "close", errno);
}

}  // namespace velmora
